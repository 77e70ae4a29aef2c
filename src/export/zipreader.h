#ifndef CONFIGURATOR_COMMON_ZIPREADER_H
#define CONFIGURATOR_COMMON_ZIPREADER_H

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QVector>

class ZipReaderData;

// Reads a ZIP archive (single disk, no ZIP64, stored or deflated entries) from
// a file or a random-access device: lists it, returns the contents of an entry
// and extracts the whole archive below a directory.
class ZipReader
{
public:
    enum Status {
        NoError,
        FileReadError,
        FileOpenError,
        FilePermissionsError,
        FileError
    };

    struct FileInfo
    {
        FileInfo();

        QString filePath;
        uint isDir : 1;
        uint isFile : 1;
        uint isSymLink : 1;
        QFile::Permissions permissions;
        uint crc;
        qint64 size;
        QDateTime lastModified;
    };

    explicit ZipReader(const QString &fileName, QIODevice::OpenMode mode = QIODevice::ReadOnly);
    // Not owned: the device stays the caller's.
    explicit ZipReader(QIODevice *device);
    ~ZipReader();

    QIODevice *device() const;
    bool isReadable() const;
    bool exists() const;
    Status status() const;

    int count() const;
    FileInfo entryInfoAt(int index) const;
    QVector<FileInfo> fileInfoList() const;
    QByteArray fileData(const QString &fileName) const;
    bool extractAll(const QString &destinationDir) const;

    void close();

private:
    Q_DISABLE_COPY(ZipReader)
    ZipReaderData *d;
};

#endif
