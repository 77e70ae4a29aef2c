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
/// and extracts the whole archive below a directory.  Format problems are
/// reported as warnings beginning with "QZip: ".
class ZipReader
{
public:
    /// How opening or reading the device went.
    enum Status {
        NoError,              ///< no error
        FileReadError,        ///< the file could not be read, or the device is not open for reading
        FileOpenError,        ///< the file or device could not be opened
        FilePermissionsError, ///< the file could not be accessed for lack of permissions
        FileError             ///< any other file error
    };

    /// One entry as the central directory describes it.
    struct FileInfo
    {
        /// An empty path, no flags, no permissions, zero CRC and size, an invalid time.
        FileInfo();

        /// Path inside the archive, without leading "." or "/" and trailing "/".
        QString filePath;
        /// A directory: by its attributes, or by a name that ends in "/".
        uint isDir : 1;
        /// A regular file.
        uint isFile : 1;
        /// A symbolic link; its data are the link target.
        uint isSymLink : 1;
        /// Permissions stored for the entry, before any umask.
        QFile::Permissions permissions;
        /// CRC-32 stored for the entry.
        uint crc;
        /// Uncompressed size stored for the entry, in bytes.
        qint64 size;
        /// Modification time from the DOS fields, as local time.
        QDateTime lastModified;
    };

    /// Opens \a fileName with \a mode and owns the file; see status() for the outcome.
    explicit ZipReader(const QString &fileName, QIODevice::OpenMode mode = QIODevice::ReadOnly);
    /// Reads \a device, which need not be open yet.  Not owned: the device stays the caller's.
    explicit ZipReader(QIODevice *device);
    /// Closes the device, and deletes it when the reader opened it from a file name.
    ~ZipReader();

    /// The device read.
    QIODevice *device() const;
    /// Whether the device is readable.
    bool isReadable() const;
    /// For a file, whether it exists on disk; true for any other device.
    bool exists() const;
    /// The outcome of opening the device.
    Status status() const;

    /// Number of entries in the central directory (read on first need).
    int count() const;
    /// The entry at \a index, or a default FileInfo when out of range.
    FileInfo entryInfoAt(int index) const;
    /// Every entry, in central-directory order.
    QVector<FileInfo> fileInfoList() const;
    /// The whole uncompressed contents of the entry stored as \a fileName, or of
    /// the entry whose FileInfo path it is; empty when there is none or it cannot
    /// be read.  Damaged data yield only the bytes really inflated, with a
    /// warning; a CRC-32 mismatch gives a warning naming the entry.
    QByteArray fileData(const QString &fileName) const;
    /// Extracts every entry below \a destinationDir, streaming each file in
    /// bounded chunks.  Nothing is written outside the directory, and modes
    /// are masked by the process umask.  Archives whose entries share data are
    /// refused whole.  Returns false, with a warning for each, when any entry
    /// was refused or could not be extracted whole (unsupported version,
    /// encryption or method, damaged data, CRC-32 or size mismatch); the other
    /// entries are still extracted.
    bool extractAll(const QString &destinationDir) const;

    /// Closes the device.
    void close();

private:
    Q_DISABLE_COPY(ZipReader)
    ZipReaderData *d;
};

#endif
