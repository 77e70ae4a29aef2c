#ifndef CONFIGURATOR_COMMON_ZIPREADER_H
#define CONFIGURATOR_COMMON_ZIPREADER_H

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QVector>

class ZipReaderData;

/// \file
/// ZipReader, the reader of ZIP archives.

/// Reads a ZIP archive (single disk, no ZIP64, stored or deflated entries) from
/// a file or a random-access device: lists it, returns the contents of an entry
/// and extracts the whole archive below a directory.  A damaged archive gives
/// fewer entries or empty contents with a "QZip: ..." warning, never a crash.
class ZipReader
{
public:
    /// The outcome of opening and reading the archive's device.
    enum Status {
        NoError,                ///< Nothing went wrong.
        FileReadError,          ///< The device cannot be read.
        FileOpenError,          ///< The file or device could not be opened.
        FilePermissionsError,   ///< The file may not be read.
        FileError               ///< Another file error.
    };

    /// One entry of the archive's central directory.
    struct FileInfo
    {
        /// An invalid entry: empty path, no kind, size 0.
        FileInfo();

        QString filePath;           ///< The entry's path inside the archive, '/'-separated.
        uint isDir : 1;             ///< The entry is a directory.
        uint isFile : 1;            ///< The entry is a regular file.
        uint isSymLink : 1;         ///< The entry is a symbolic link; its contents are the target.
        QFile::Permissions permissions; ///< From the Unix mode, or from the DOS read-only flag.
        uint crc;                   ///< CRC-32 of the uncompressed contents.
        qint64 size;                ///< Uncompressed size in bytes.
        QDateTime lastModified;     ///< Modification time in local time, to two seconds; invalid when impossible.
    };

    /// Opens the file \a fileName (owned by the reader) in \a mode; status()
    /// tells whether that worked.
    explicit ZipReader(const QString &fileName, QIODevice::OpenMode mode = QIODevice::ReadOnly);
    /// Not owned: the device stays the caller's; it is opened for reading on
    /// first use if it is not open.
    explicit ZipReader(QIODevice *device);
    /// Closes the device, and deletes the QFile the reader opened itself.
    ~ZipReader();

    /// The device read from.
    QIODevice *device() const;
    /// True when the device can be read.
    bool isReadable() const;
    /// True when the file exists (always true for a device that is not a file).
    bool exists() const;
    /// The outcome of opening and reading; see Status.
    Status status() const;

    /// The number of entries in the central directory.
    int count() const;
    /// The entry at \a index; an invalid FileInfo when out of range.
    FileInfo entryInfoAt(int index) const;
    /// Every entry, in the order of the central directory.
    QVector<FileInfo> fileInfoList() const;
    /// The uncompressed contents of the entry \a fileName; empty when there is
    /// no such entry or it cannot be read (encrypted, unknown method, damaged).
    QByteArray fileData(const QString &fileName) const;
    /// Writes every entry below \a destinationDir, directories first, with
    /// their permissions.  Entries whose path leaves the directory or runs
    /// through a symbolic link are refused with a warning; false when any
    /// entry was refused or could not be written.
    bool extractAll(const QString &destinationDir) const;

    /// Closes the device.
    void close();

private:
    Q_DISABLE_COPY(ZipReader)
    ZipReaderData *d;
};

#endif
