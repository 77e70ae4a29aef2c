#ifndef CONFIGURATOR_COMMON_ZIPWRITER_H
#define CONFIGURATOR_COMMON_ZIPWRITER_H

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

class ZipWriterData;

// Writes a new ZIP archive (single disk, no ZIP64) to a file or to a writable,
// seekable device: files, directories and symbolic links, each with Unix
// permissions, deflated or stored.  The central directory is written by close().
class ZipWriter
{
public:
    enum Status {
        NoError,
        FileWriteError,
        FileOpenError,
        FilePermissionsError,
        FileError
    };

    enum CompressionPolicy {
        AlwaysCompress,
        NeverCompress,
        AutoCompress
    };

    explicit ZipWriter(const QString &fileName, QIODevice::OpenMode mode = QIODevice::WriteOnly);
    // Not owned: the device stays the caller's.
    explicit ZipWriter(QIODevice *device);
    ~ZipWriter();

    QIODevice *device() const;
    bool isWritable() const;
    bool exists() const;
    Status status() const;

    void setCompressionPolicy(CompressionPolicy policy);
    CompressionPolicy compressionPolicy() const;

    void setCreationPermissions(QFile::Permissions permissions);
    QFile::Permissions creationPermissions() const;

    void addFile(const QString &fileName, const QByteArray &data);
    void addFile(const QString &fileName, QIODevice *device);
    void addDirectory(const QString &dirName);
    void addSymLink(const QString &fileName, const QString &destination);

    void close();

private:
    Q_DISABLE_COPY(ZipWriter)
    ZipWriterData *d;
};

#endif
