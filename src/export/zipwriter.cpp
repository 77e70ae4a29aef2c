#include "zipwriter.h"

#include "ziparchivedata_p.h"

#include <QDateTime>
#include <QDir>

#include <limits>
#include <zlib.h>

namespace {

// zlib checks only that the major version matches the library it links.
constexpr char kZlibVersion[] = "1.2.8";
constexpr int kZlibMemLevel = 8;
constexpr int kAutoCompressThreshold = 64;
constexpr int kMaxNameLength = 0xffff;
constexpr quint16 kVersionMadeByUnix = 0x0300;
constexpr quint32 kDirectoryType = 0x4000;
constexpr quint32 kRegularFileType = 0x8000;
constexpr quint32 kSymLinkType = 0xA000;
constexpr qint64 kMaxBufferLength = std::numeric_limits<int>::max() - 64;

int deflateRaw(uchar *dest, ulong *destLen, const uchar *source, ulong sourceLen)
{
    z_stream stream = {};
    stream.next_in = const_cast<Bytef *>(source);
    stream.avail_in = uInt(sourceLen);
    stream.next_out = dest;
    stream.avail_out = uInt(*destLen);

    int result = deflateInit2_(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS,
                               kZlibMemLevel, Z_DEFAULT_STRATEGY, kZlibVersion,
                               int(sizeof(z_stream)));
    if (result != Z_OK)
        return result;
    result = deflate(&stream, Z_FINISH);
    if (result != Z_STREAM_END) {
        deflateEnd(&stream);
        return result == Z_OK ? Z_BUF_ERROR : result;
    }
    *destLen = stream.total_out;
    return deflateEnd(&stream);
}

// Deflates the whole of contents; false when zlib could not (out of memory).
bool deflateContents(const QByteArray &contents, QByteArray *data)
{
    const qint64 n = contents.size();
    qint64 length = n + (n >> 12) + (n >> 14) + 11;
    for (;;) {
        data->resize(int(qMin(length, kMaxBufferLength)));
        ulong produced = ulong(data->size());
        const int result = deflateRaw(reinterpret_cast<uchar *>(data->data()), &produced,
                                      reinterpret_cast<const uchar *>(contents.constData()),
                                      ulong(n));
        if (result == Z_OK) {
            data->resize(int(produced));
            return true;
        }
        if (result != Z_BUF_ERROR || length >= kMaxBufferLength)
            break;
        length *= 2;
    }
    data->clear();
    return false;
}

quint32 permissionsToUnixMode(QFile::Permissions permissions)
{
    quint32 mode = 0;
    if (permissions & (QFile::ReadOwner | QFile::ReadUser))
        mode |= 0x100;
    if (permissions & (QFile::WriteOwner | QFile::WriteUser))
        mode |= 0x080;
    if (permissions & (QFile::ExeOwner | QFile::ExeUser))
        mode |= 0x040;
    if (permissions & QFile::ReadGroup)
        mode |= 0x020;
    if (permissions & QFile::WriteGroup)
        mode |= 0x010;
    if (permissions & QFile::ExeGroup)
        mode |= 0x008;
    if (permissions & QFile::ReadOther)
        mode |= 0x004;
    if (permissions & QFile::WriteOther)
        mode |= 0x002;
    if (permissions & QFile::ExeOther)
        mode |= 0x001;
    return mode;
}

void encodeDosDateTime(const QDateTime &dateTime, uchar *timeAndDate)
{
    if (!dateTime.isValid()) {
        writeUInt32(timeAndDate, 0);
        return;
    }
    const QTime time = dateTime.time();
    const QDate date = dateTime.date();
    writeUInt16(timeAndDate,
                quint16((time.hour() << 11) | (time.minute() << 5) | (time.second() >> 1)));
    writeUInt16(timeAndDate + 2,
                quint16(((date.year() - 1980) << 9) | (date.month() << 5) | date.day()));
}

quint32 fileTypeBits(ZipWriterData::EntryKind kind)
{
    switch (kind) {
    case ZipWriterData::Directory:
        return kDirectoryType;
    case ZipWriterData::SymLink:
        return kSymLinkType;
    case ZipWriterData::File:
        break;
    }
    return kRegularFileType;
}

ZipWriter::Status statusFromFileError(QFileDevice::FileError error)
{
    switch (error) {
    case QFile::NoError:
        return ZipWriter::NoError;
    case QFile::WriteError:
        return ZipWriter::FileWriteError;
    case QFile::OpenError:
        return ZipWriter::FileOpenError;
    case QFile::PermissionsError:
        return ZipWriter::FilePermissionsError;
    default:
        return ZipWriter::FileError;
    }
}

// The local header repeats the central header from "version needed" to
// "extra field length".
QByteArray localHeader(const ZipEntryRecord &record)
{
    QByteArray header(kLocalHeaderSize, '\0');
    uchar *p = reinterpret_cast<uchar *>(header.data());
    writeUInt32(p + kLhSignature, kLocalHeaderSignature);
    memcpy(p + kLhVersionNeeded, record.header + kCdVersionNeeded,
           kLocalHeaderSize - kLhVersionNeeded);
    return header;
}

} // namespace

void ZipWriterData::appendEntry(EntryKind kind, const QString &name, const QByteArray &contents)
{
    if (!device->isOpen() && !device->open(QIODevice::WriteOnly)) {
        status = ZipWriter::FileOpenError;
        return;
    }
    device->seek(startOfDirectory);

    const bool store = compressionPolicy == ZipWriter::NeverCompress
            || (compressionPolicy == ZipWriter::AutoCompress
                && contents.size() < kAutoCompressThreshold);

    ZipEntryRecord record;
    record.setField32(kCdSignature, kCentralHeaderSignature);
    record.setField16(kCdVersionMadeBy, kVersionMadeByUnix);
    record.setField16(kCdVersionNeeded, kZipVersion);
    record.setField16(kCdFlags, kFlagUtf8Name);
    record.setField32(kCdUncompressedSize, quint32(contents.size()));
    encodeDosDateTime(QDateTime::currentDateTime(), record.header + kCdModTime);

    QByteArray data;
    if (store) {
        record.setField16(kCdMethod, kMethodStored);
        data = contents;
    } else {
        record.setField16(kCdMethod, kMethodDeflated);
        if (!deflateContents(contents, &data)) {
            // An entry without its data would be a corrupt member, so none is written.
            qWarning("QZip: Z_MEM_ERROR: Not enough memory to compress file, skipping");
            return;
        }
    }
    record.setField32(kCdCompressedSize, quint32(data.size()));
    record.setField32(kCdCrc, quint32(crc32(crc32(0, nullptr, 0),
                                            reinterpret_cast<const Bytef *>(contents.constData()),
                                            uInt(contents.size()))));

    record.fileName = name.toUtf8();
    if (record.fileName.size() > kMaxNameLength) {
        qWarning("QZip: Filename is too long, chopping it to 65535 bytes");
        record.fileName.truncate(kMaxNameLength);
    }
    record.setField16(kCdNameLength, quint16(record.fileName.size()));
    record.setField32(kCdExternalAttributes,
                      (permissionsToUnixMode(permissions) | fileTypeBits(kind)) << 16);
    record.setField32(kCdLocalHeaderOffset, startOfDirectory);
    fileHeaders.append(record);

    device->write(localHeader(record));
    device->write(record.fileName);
    device->write(data);
    startOfDirectory = quint32(device->pos());
    dirtyFileTree = true;
}

ZipWriter::ZipWriter(const QString &fileName, QIODevice::OpenMode mode)
{
    QFile *file = new QFile(fileName);
    file->open(mode);
    d = new ZipWriterData(file, true);
    d->status = statusFromFileError(file->error());
}

ZipWriter::ZipWriter(QIODevice *device)
    : d(new ZipWriterData(device, false))
{
}

ZipWriter::~ZipWriter()
{
    close();
    delete d;
}

QIODevice *ZipWriter::device() const
{
    return d->device;
}

bool ZipWriter::isWritable() const
{
    return d->device->isWritable();
}

bool ZipWriter::exists() const
{
    return d->deviceExists();
}

ZipWriter::Status ZipWriter::status() const
{
    return d->status;
}

void ZipWriter::setCompressionPolicy(CompressionPolicy policy)
{
    d->compressionPolicy = policy;
}

ZipWriter::CompressionPolicy ZipWriter::compressionPolicy() const
{
    return d->compressionPolicy;
}

void ZipWriter::setCreationPermissions(QFile::Permissions permissions)
{
    d->permissions = permissions;
}

QFile::Permissions ZipWriter::creationPermissions() const
{
    return d->permissions;
}

void ZipWriter::addFile(const QString &fileName, const QByteArray &data)
{
    d->appendEntry(ZipWriterData::File, QDir::fromNativeSeparators(fileName), data);
}

void ZipWriter::addFile(const QString &fileName, QIODevice *device)
{
    const bool opened = !(device->openMode() & QIODevice::ReadOnly);
    if (opened && !device->open(QIODevice::ReadOnly)) {
        d->status = FileOpenError;
        return;
    }
    d->appendEntry(ZipWriterData::File, QDir::fromNativeSeparators(fileName), device->readAll());
    if (opened)
        device->close();
}

void ZipWriter::addDirectory(const QString &dirName)
{
    QString name = QDir::fromNativeSeparators(dirName);
    if (!name.endsWith(QLatin1Char('/')))
        name.append(QLatin1Char('/'));
    d->appendEntry(ZipWriterData::Directory, name, QByteArray());
}

void ZipWriter::addSymLink(const QString &fileName, const QString &destination)
{
    d->appendEntry(ZipWriterData::SymLink, QDir::fromNativeSeparators(fileName),
                   QFile::encodeName(destination));
}

void ZipWriter::close()
{
    QIODevice *device = d->device;
    if (!(device->openMode() & QIODevice::WriteOnly)) {
        device->close();
        return;
    }
    device->seek(d->startOfDirectory);
    for (const ZipEntryRecord &record : qAsConst(d->fileHeaders)) {
        device->write(reinterpret_cast<const char *>(record.header), kCentralHeaderSize);
        device->write(record.fileName);
        device->write(record.extraField);
        device->write(record.fileComment);
    }
    const qint64 directorySize = device->pos() - d->startOfDirectory;

    uchar end[kEndOfDirectorySize] = {};
    writeUInt32(end + kEodSignature, kEndOfDirectorySignature);
    writeUInt16(end + kEodEntriesOnDisk, quint16(d->fileHeaders.size()));
    writeUInt16(end + kEodEntries, quint16(d->fileHeaders.size()));
    writeUInt32(end + kEodDirectorySize, quint32(directorySize));
    writeUInt32(end + kEodDirectoryOffset, d->startOfDirectory);
    writeUInt16(end + kEodCommentLength, quint16(d->comment.size()));
    device->write(reinterpret_cast<const char *>(end), kEndOfDirectorySize);
    device->write(d->comment);
    device->close();
}
