#include "ziparchivedata_p.h"

ZipArchiveData::ZipArchiveData(QIODevice *device, bool ownDevice)
    : device(device), ownDevice(ownDevice)
{
}

ZipArchiveData::~ZipArchiveData()
{
    if (ownDevice)
        delete device;
}

bool ZipArchiveData::deviceExists() const
{
    const QFile *file = qobject_cast<const QFile *>(device);
    return file ? file->exists() : true;
}
