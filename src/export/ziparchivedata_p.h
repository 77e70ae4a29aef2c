#ifndef CONFIGURATOR_COMMON_ZIPARCHIVEDATA_P_H
#define CONFIGURATOR_COMMON_ZIPARCHIVEDATA_P_H

#include "zipreader.h"
#include "zipwriter.h"

#include <QByteArray>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QVector>

#include <functional>

// Record signatures and sizes of the single-disk, non-ZIP64 archive layout.
constexpr quint32 kLocalHeaderSignature = 0x04034b50;
constexpr quint32 kCentralHeaderSignature = 0x02014b50;
constexpr quint32 kEndOfDirectorySignature = 0x06054b50;
constexpr int kLocalHeaderSize = 30;
constexpr int kCentralHeaderSize = 46;
constexpr int kEndOfDirectorySize = 22;
constexpr int kMaxCommentLength = 0xffff;

// Field offsets inside the 46-byte central file header.
enum CentralHeaderOffset {
    kCdSignature = 0,
    kCdVersionMadeBy = 4,
    kCdVersionNeeded = 6,
    kCdFlags = 8,
    kCdMethod = 10,
    kCdModTime = 12,
    kCdModDate = 14,
    kCdCrc = 16,
    kCdCompressedSize = 20,
    kCdUncompressedSize = 24,
    kCdNameLength = 28,
    kCdExtraLength = 30,
    kCdCommentLength = 32,
    kCdDiskStart = 34,
    kCdInternalAttributes = 36,
    kCdExternalAttributes = 38,
    kCdLocalHeaderOffset = 42
};

// Field offsets inside the 30-byte local file header.
enum LocalHeaderOffset {
    kLhSignature = 0,
    kLhVersionNeeded = 4,
    kLhMethod = 8,
    kLhNameLength = 26,
    kLhExtraLength = 28
};

// Field offsets inside the 22-byte end-of-central-directory record.
enum EndOfDirectoryOffset {
    kEodSignature = 0,
    kEodEntriesOnDisk = 8,
    kEodEntries = 10,
    kEodDirectorySize = 12,
    kEodDirectoryOffset = 16,
    kEodCommentLength = 20
};

constexpr quint16 kFlagEncrypted = 0x0001;
constexpr quint16 kFlagUtf8Name = 0x0800;
constexpr quint16 kMethodStored = 0;
constexpr quint16 kMethodDeflated = 8;
constexpr quint16 kZipVersion = 20;

// Little-endian fields are assembled byte by byte, so the layout never depends
// on the host's byte order or alignment.
inline quint16 readUInt16(const uchar *p)
{
    return quint16(p[0] | (p[1] << 8));
}

inline quint32 readUInt32(const uchar *p)
{
    return quint32(p[0]) | (quint32(p[1]) << 8) | (quint32(p[2]) << 16) | (quint32(p[3]) << 24);
}

inline void writeUInt16(uchar *p, quint16 value)
{
    p[0] = uchar(value & 0xff);
    p[1] = uchar((value >> 8) & 0xff);
}

inline void writeUInt32(uchar *p, quint32 value)
{
    p[0] = uchar(value & 0xff);
    p[1] = uchar((value >> 8) & 0xff);
    p[2] = uchar((value >> 16) & 0xff);
    p[3] = uchar((value >> 24) & 0xff);
}

// One central-directory entry as it stands in the archive.
struct ZipEntryRecord
{
    uchar header[kCentralHeaderSize] = {};
    QByteArray fileName;
    QByteArray extraField;
    QByteArray fileComment;

    quint16 field16(int offset) const { return readUInt16(header + offset); }
    quint32 field32(int offset) const { return readUInt32(header + offset); }
    void setField16(int offset, quint16 value) { writeUInt16(header + offset, value); }
    void setField32(int offset, quint32 value) { writeUInt32(header + offset, value); }
};

class ZipArchiveData
{
public:
    explicit ZipArchiveData(QIODevice *device, bool ownDevice);
    virtual ~ZipArchiveData();

    bool deviceExists() const;

    QIODevice *device;
    bool ownDevice;
    bool dirtyFileTree = true;
    QVector<ZipEntryRecord> fileHeaders;
    QByteArray comment;
    quint32 startOfDirectory = 0;

private:
    Q_DISABLE_COPY(ZipArchiveData)
};

class ZipReaderData : public ZipArchiveData
{
public:
    using ZipArchiveData::ZipArchiveData;

    // Where an entry's local header and data lie, and the method its local header names.
    struct EntrySpan
    {
        qint64 headerStart = 0;
        qint64 dataStart = 0;
        qint64 compressedSize = 0;
        int method = 0;
    };
    // What reading an entry produced; complete when its data ended properly.
    struct ReadOutcome
    {
        bool complete = false;
        qint64 size = 0;
        quint32 crc = 0;
    };
    // Takes each chunk of an entry's data; false stops the reading.
    using ChunkSink = std::function<bool(const char *data, qint64 size)>;

    void scanDirectory();
    ZipReader::FileInfo makeFileInfo(int index) const;
    int indexOf(const QString &fileName);
    QByteArray entryData(int index) const;
    bool extractFile(int index, QFile *file) const;
    QString linkTarget(int index) const;
    bool findOverlap(int *first, int *second) const;
    bool isReadable(int index, EntrySpan *span) const;

    ZipReader::Status status = ZipReader::NoError;

private:
    void buildIndex();
    bool isSupported(int index) const;
    bool locate(int index, EntrySpan *span) const;
    ReadOutcome readEntry(int index, qint64 limit, const ChunkSink &sink) const;
    bool inflateEntry(const EntrySpan &span, const ChunkSink &deliver) const;
    bool isIntact(int index, const ReadOutcome &outcome) const;
    bool hasMatchingCrc(int index, const ReadOutcome &outcome) const;

    // First entry of each raw name and of each cleaned path, built on the first look-up.
    QHash<QString, int> rawNameIndex;
    QHash<QString, int> cleanedPathIndex;
    bool indexBuilt = false;
};

class ZipWriterData : public ZipArchiveData
{
public:
    using ZipArchiveData::ZipArchiveData;

    enum EntryKind { Directory, File, SymLink };

    void appendEntry(EntryKind kind, const QString &name, const QByteArray &contents);

    ZipWriter::Status status = ZipWriter::NoError;
    QFile::Permissions permissions = QFile::ReadOwner | QFile::WriteOwner;
    ZipWriter::CompressionPolicy compressionPolicy = ZipWriter::AlwaysCompress;
};

#endif
