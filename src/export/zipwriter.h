#ifndef CONFIGURATOR_COMMON_ZIPWRITER_H
#define CONFIGURATOR_COMMON_ZIPWRITER_H

#include <QByteArray>
#include <QFile>
#include <QIODevice>
#include <QString>

class ZipWriterData;

/// \file
/// ZipWriter, the writer of ZIP archives.

/// Writes a new ZIP archive (single disk, no ZIP64) to a file or to a writable,
/// seekable device: files, directories and symbolic links, each with Unix
/// permissions, deflated or stored.  The central directory is written by close().
/// Entries are written as they are added; names are stored as UTF-8.
class ZipWriter
{
public:
    /// The outcome of opening and writing the archive's device.
    enum Status {
        NoError,                ///< Nothing went wrong.
        FileWriteError,         ///< The device cannot be written.
        FileOpenError,          ///< The file or a device could not be opened.
        FilePermissionsError,   ///< The file may not be written.
        FileError               ///< Another file error.
    };

    /// How the entries added from now on are stored.
    enum CompressionPolicy {
        AlwaysCompress,     ///< Deflated (the default).
        NeverCompress,      ///< Stored as they are.
        AutoCompress        ///< Stored when shorter than 64 bytes, deflated otherwise.
    };

    /// Opens the file \a fileName (owned by the writer) in \a mode; status()
    /// tells whether that worked.
    explicit ZipWriter(const QString &fileName, QIODevice::OpenMode mode = QIODevice::WriteOnly);
    /// Not owned: the device stays the caller's; it is opened for writing on
    /// first use if it is not open.
    explicit ZipWriter(QIODevice *device);
    /// Calls close(), and deletes the QFile the writer opened itself.
    ~ZipWriter();

    /// The device written to.
    QIODevice *device() const;
    /// True when the device can be written.
    bool isWritable() const;
    /// True when the file exists (always true for a device that is not a file).
    bool exists() const;
    /// The outcome of opening and writing; see Status.
    Status status() const;

    /// Sets how the entries added from now on are stored.
    void setCompressionPolicy(CompressionPolicy policy);
    /// The policy set last; AlwaysCompress by default.
    CompressionPolicy compressionPolicy() const;

    /// Sets the Unix permissions of the entries added from now on.
    void setCreationPermissions(QFile::Permissions permissions);
    /// The permissions set last; read and write for the owner by default.
    QFile::Permissions creationPermissions() const;

    /// Adds a file entry with \a data as its contents.
    void addFile(const QString &fileName, const QByteArray &data);
    /// Adds a file entry with everything \a device (not owned) holds; a device
    /// that is not open is opened and closed again, and one that cannot be
    /// opened sets FileOpenError and adds nothing.
    void addFile(const QString &fileName, QIODevice *device);
    /// Adds a directory entry; a '/' is appended to the name when missing.
    void addDirectory(const QString &dirName);
    /// Adds a symbolic link entry pointing at \a destination.
    void addSymLink(const QString &fileName, const QString &destination);

    /// Writes the central directory and closes the device; add no entries
    /// afterwards.
    void close();

private:
    Q_DISABLE_COPY(ZipWriter)
    ZipWriterData *d;
};

#endif
