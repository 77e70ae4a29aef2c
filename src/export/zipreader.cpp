#include "zipreader.h"

#include "ziparchivedata_p.h"

#include "crc32.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <algorithm>
#include <limits>
#include <sys/stat.h>
#include <zlib.h>

namespace {

// zlib checks only that the major version matches the library it links.
constexpr char kZlibVersion[] = "1.2.8";
constexpr int kUnixHost = 3;
constexpr quint32 kFileTypeMask = 0xF000;
constexpr quint32 kDirectoryType = 0x4000;
constexpr quint32 kSymLinkType = 0xA000;
constexpr quint32 kDosReadOnly = 0x01;
constexpr quint32 kDosDirectory = 0x10;
constexpr quint32 kDosDirectoryMask = 0x90;
constexpr QFile::Permissions kAllRead(0x4444);
constexpr QFile::Permissions kAllWrite(0x2222);
constexpr QFile::Permissions kAllExecute(0x1111);
// A deflate stream cannot expand by more than about 1032 to 1 (a 258-byte
// match for every two bits), so a larger declared size is a lie.
constexpr qint64 kMaxDeflateRatio = 1032;
constexpr qint64 kMaxBufferLength = std::numeric_limits<int>::max() - 64;
// Entries are read and inflated in chunks, so that extraction holds a few
// hundred KiB of an entry at a time whatever its size.
constexpr qint64 kReadChunkSize = 64 * 1024;
constexpr int kInflateChunkSize = 256 * 1024;
// A declared size is only a hint for the first allocation of fileData.
constexpr qint64 kMaxReserve = 16 << 20;
constexpr int kMaxLinkTargetLength = 4096;

bool isFatFamilyHost(int host)
{
    return host == 0 || host == 6 || host == 11 || host == 14;
}

QFile::Permissions unixModeToPermissions(quint32 mode)
{
    QFile::Permissions permissions;
    if (mode & 0x100)
        permissions |= QFile::ReadOwner | QFile::ReadUser;
    if (mode & 0x080)
        permissions |= QFile::WriteOwner | QFile::WriteUser;
    if (mode & 0x040)
        permissions |= QFile::ExeOwner | QFile::ExeUser;
    if (mode & 0x020)
        permissions |= QFile::ReadGroup;
    if (mode & 0x010)
        permissions |= QFile::WriteGroup;
    if (mode & 0x008)
        permissions |= QFile::ExeGroup;
    if (mode & 0x004)
        permissions |= QFile::ReadOther;
    if (mode & 0x002)
        permissions |= QFile::WriteOther;
    if (mode & 0x001)
        permissions |= QFile::ExeOther;
    return permissions;
}

QDateTime decodeDosDateTime(const uchar *timeAndDate)
{
    const quint32 w = readUInt32(timeAndDate);
    const QTime time(int((w >> 11) & 31), int((w >> 5) & 63), int(w & 31) * 2);
    const QDate date(int(w >> 25) + 1980, int((w >> 21) & 15), int((w >> 16) & 31));
    // QDateTime would turn an impossible time on a valid date into midnight.
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::LocalTime);
}

QString cleanedPath(const ZipEntryRecord &record)
{
    QString path = (record.field16(kCdFlags) & kFlagUtf8Name)
            ? QString::fromUtf8(record.fileName)
            : QString::fromLocal8Bit(record.fileName);
    path = QDir::fromNativeSeparators(path);
    int start = 0;
    while (start < path.size() && (path.at(start) == QLatin1Char('.') || path.at(start) == QLatin1Char('/')))
        ++start;
    int end = path.size();
    while (end > start && path.at(end - 1) == QLatin1Char('/'))
        --end;
    return path.mid(start, end - start);
}

ZipReader::Status statusFromFileError(QFileDevice::FileError error)
{
    switch (error) {
    case QFile::NoError:
        return ZipReader::NoError;
    case QFile::ReadError:
        return ZipReader::FileReadError;
    case QFile::OpenError:
        return ZipReader::FileOpenError;
    case QFile::PermissionsError:
        return ZipReader::FilePermissionsError;
    default:
        return ZipReader::FileError;
    }
}

// Seeking a writable QBuffer past its end would pad it with zeros, so offsets
// taken from the archive are checked against the size first.
bool seekWithin(QIODevice *device, qint64 pos)
{
    return pos >= 0 && pos <= device->size() && device->seek(pos);
}

bool readExactly(QIODevice *device, qint64 length, QByteArray *out)
{
    *out = device->read(length);
    return out->size() == length;
}

// Decides which entries may be written below the destination directory: no
// entry may land outside it, now or later by following a link made here.
class ExtractionGuard
{
public:
    ExtractionGuard(const QString &destinationDir, const QVector<ZipReader::FileInfo> &entries)
        : base(destinationDir)
    {
        for (const ZipReader::FileInfo &info : entries) {
            if (info.isSymLink)
                archiveLinks.insert(info.filePath);
        }
    }

    // A cleaned path is relative; it must not climb with "..".
    static bool staysInside(const QString &filePath)
    {
        if (filePath.isEmpty() || QDir::isAbsolutePath(filePath))
            return false;
        return !filePath.split(QLatin1Char('/')).contains(QStringLiteral(".."));
    }

    // Writing through a link (one of the archive's or one already on disk)
    // could reach any place the link points to.
    bool runsThroughSymLink(const QString &filePath, bool includingLast) const
    {
        const QStringList parts = filePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QString prefix;
        const int checked = includingLast ? parts.size() : parts.size() - 1;
        for (int i = 0; i < checked; ++i) {
            prefix += (i ? QStringLiteral("/") : QString()) + parts.at(i);
            if (isLink(prefix))
                return true;
        }
        return false;
    }

    // Resolves the target from the link's own directory, refusing absolute
    // targets, any climb above the destination, and any walk through another
    // link (whose own target could move the walk elsewhere).
    bool linkTargetStaysInside(const QString &linkPath, const QString &target) const
    {
        if (target.isEmpty() || QDir::isAbsolutePath(target) || target.startsWith(QLatin1Char('/')))
            return false;
        QStringList walk = linkPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        if (!walk.isEmpty())
            walk.removeLast();
        const QStringList parts = target.split(QLatin1Char('/'));
        for (const QString &part : parts) {
            if (part.isEmpty() || part == QLatin1String("."))
                continue;
            if (!walk.isEmpty() && isLink(walk.join(QLatin1Char('/'))))
                return false;
            if (part == QLatin1String("..")) {
                if (walk.isEmpty())
                    return false;
                walk.removeLast();
            } else {
                walk.append(part);
            }
        }
        return true;
    }

private:
    bool isLink(const QString &relativePath) const
    {
        return archiveLinks.contains(relativePath)
                || QFileInfo(base + QLatin1Char('/') + relativePath).isSymLink();
    }

    QString base;
    QSet<QString> archiveLinks;
};

void warnRefused(const QString &filePath, const char *reason)
{
    qWarning("QZip: Refusing to extract %s: %s", qPrintable(filePath), reason);
}

// The permissions that the process umask lets a new file or folder have.
// Linux shows the umask in /proc; elsewhere it is read by setting it twice.
QFile::Permissions permittedByUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine()) {
            bool ok = false;
            const uint mask = line.startsWith("Umask:") ? line.mid(6).trimmed().toUInt(&ok, 8) : 0;
            if (ok)
                return unixModeToPermissions(~mask & 0777);
        }
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return unixModeToPermissions(~mask & 0777);
}

bool endsWithSlash(const ZipEntryRecord &record)
{
    return record.fileName.endsWith('/');
}

} // namespace

ZipReader::FileInfo::FileInfo()
    : isDir(false), isFile(false), isSymLink(false), crc(0), size(0)
{
}

void ZipReaderData::scanDirectory()
{
    if (!dirtyFileTree)
        return;
    if (!device->isOpen() && !device->open(QIODevice::ReadOnly)) {
        status = ZipReader::FileOpenError;
        return;
    }
    if (!(device->openMode() & QIODevice::ReadOnly)) {
        status = ZipReader::FileReadError;
        return;
    }
    dirtyFileTree = false;
    indexBuilt = false;

    uchar signature[4];
    if (device->read(reinterpret_cast<char *>(signature), 4) != 4
            || readUInt32(signature) != kLocalHeaderSignature) {
        qWarning("QZip: not a zip file!");
        return;
    }

    // The end record sits at most a maximal comment before the last place it fits.
    const qint64 lastPos = device->size() - kEndOfDirectorySize;
    const qint64 firstPos = qMax<qint64>(0, lastPos - kMaxCommentLength);
    QByteArray tail;
    if (lastPos >= 0 && seekWithin(device, firstPos))
        tail = device->read(device->size() - firstPos);
    qint64 found = -1;
    for (qint64 pos = lastPos; pos >= firstPos; --pos) {
        const qint64 at = pos - firstPos;
        if (at + kEndOfDirectorySize <= tail.size()
                && readUInt32(reinterpret_cast<const uchar *>(tail.constData() + at))
                    == kEndOfDirectorySignature) {
            found = at;
            break;
        }
    }
    if (found < 0) {
        qWarning("QZip: EndOfDirectory not found");
        return;
    }

    const uchar *end = reinterpret_cast<const uchar *>(tail.constData() + found);
    const int entries = readUInt16(end + kEodEntries);
    const quint32 directoryOffset = readUInt32(end + kEodDirectoryOffset);
    const int commentLength = readUInt16(end + kEodCommentLength);
    const qint64 trailing = tail.size() - found - kEndOfDirectorySize;
    if (commentLength != trailing)
        qWarning("QZip: failed to parse zip file.");
    comment = tail.mid(int(found) + kEndOfDirectorySize, int(qMin<qint64>(commentLength, trailing)));

    if (entries > 0 && !seekWithin(device, directoryOffset)) {
        qWarning("QZip: Failed to read complete header, index may be incomplete");
        return;
    }
    fileHeaders.reserve(int(qMin<qint64>(entries, device->size() / kCentralHeaderSize)));
    for (int i = 0; i < entries; ++i) {
        ZipEntryRecord record;
        if (device->read(reinterpret_cast<char *>(record.header), kCentralHeaderSize)
                != kCentralHeaderSize) {
            qWarning("QZip: Failed to read complete header, index may be incomplete");
            break;
        }
        if (record.field32(kCdSignature) != kCentralHeaderSignature) {
            qWarning("QZip: invalid header signature, index may be incomplete");
            break;
        }
        if (!readExactly(device, record.field16(kCdNameLength), &record.fileName)) {
            qWarning("QZip: Failed to read filename from zip index, index may be incomplete");
            break;
        }
        if (!readExactly(device, record.field16(kCdExtraLength), &record.extraField)) {
            qWarning("QZip: Failed to read extra field in zip file, skipping file, index may be incomplete");
            break;
        }
        if (!readExactly(device, record.field16(kCdCommentLength), &record.fileComment)) {
            qWarning("QZip: Failed to read read file comment, index may be incomplete");
            break;
        }
        fileHeaders.append(record);
    }
}

ZipReader::FileInfo ZipReaderData::makeFileInfo(int index) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    const int host = record.field16(kCdVersionMadeBy) >> 8;
    const quint32 attributes = record.field32(kCdExternalAttributes);

    ZipReader::FileInfo info;
    if (host == kUnixHost) {
        const quint32 mode = (attributes >> 16) & 0xffff;
        const quint32 type = mode & kFileTypeMask;
        info.isDir = type == kDirectoryType;
        info.isSymLink = type == kSymLinkType;
        info.isFile = !info.isDir && !info.isSymLink;
        info.permissions = unixModeToPermissions(mode);
    } else if (isFatFamilyHost(host)) {
        info.isDir = (attributes & kDosDirectoryMask) == kDosDirectory;
        info.isFile = !info.isDir;
        info.permissions = kAllRead;
        if (!(attributes & kDosReadOnly))
            info.permissions |= kAllWrite;
        if (info.isDir)
            info.permissions |= kAllExecute;
    } else {
        qWarning("QZip: Zip entry format at %d is not supported.", index);
        return ZipReader::FileInfo();
    }
    // Jar-like tools and office packages mark folders by the name alone.
    if (endsWithSlash(record) && !info.isDir) {
        info.isDir = true;
        info.isFile = info.isSymLink = false;
        if (isFatFamilyHost(host))
            info.permissions |= kAllExecute;
    }

    info.filePath = cleanedPath(record);
    info.crc = record.field32(kCdCrc);
    info.size = record.field32(kCdUncompressedSize);
    info.lastModified = decodeDosDateTime(record.header + kCdModTime);
    return info;
}

void ZipReaderData::buildIndex()
{
    rawNameIndex.clear();
    cleanedPathIndex.clear();
    rawNameIndex.reserve(fileHeaders.size());
    cleanedPathIndex.reserve(fileHeaders.size());
    // Walked backwards, so that the first of several equal names wins.
    for (int i = fileHeaders.size() - 1; i >= 0; --i) {
        rawNameIndex.insert(QString::fromLocal8Bit(fileHeaders.at(i).fileName), i);
        cleanedPathIndex.insert(cleanedPath(fileHeaders.at(i)), i);
    }
    indexBuilt = true;
}

int ZipReaderData::indexOf(const QString &fileName)
{
    if (!indexBuilt)
        buildIndex();
    // Extraction and callers holding a FileInfo know the entry by its cleaned path.
    return rawNameIndex.value(fileName, cleanedPathIndex.value(fileName, -1));
}

bool ZipReaderData::isSupported(int index) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    const int versionNeeded = record.field16(kCdVersionNeeded);
    if (versionNeeded > kZipVersion) {
        qWarning("QZip: .ZIP specification version %d implementationis needed to extract the data.",
                 versionNeeded);
        return false;
    }
    if (record.field16(kCdFlags) & kFlagEncrypted) {
        qWarning("QZip: Unsupported encryption method is needed to extract the data.");
        return false;
    }
    const int method = record.field16(kCdMethod);
    if (method != kMethodStored && method != kMethodDeflated) {
        qWarning("QZip: Unsupported compression method %d is needed to extract the data.", method);
        return false;
    }
    return true;
}

bool ZipReaderData::locate(int index, EntrySpan *span) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    uchar local[kLocalHeaderSize];
    span->headerStart = record.field32(kCdLocalHeaderOffset);
    if (!seekWithin(device, span->headerStart)
            || device->read(reinterpret_cast<char *>(local), kLocalHeaderSize) != kLocalHeaderSize)
        return false;
    span->dataStart = span->headerStart + kLocalHeaderSize + readUInt16(local + kLhNameLength)
            + readUInt16(local + kLhExtraLength);
    span->compressedSize = record.field32(kCdCompressedSize);
    span->method = readUInt16(local + kLhMethod);
    return span->dataStart + span->compressedSize <= device->size()
            && span->compressedSize <= kMaxBufferLength;
}

bool ZipReaderData::isReadable(int index, EntrySpan *span) const
{
    if (!isSupported(index))
        return false;
    if (!locate(index, span)) {
        qWarning("QZip: Entry data runs past the end of the archive, skipping file");
        return false;
    }
    return true;
}

bool ZipReaderData::findOverlap(int *first, int *second) const
{
    struct Range { qint64 start; qint64 end; int index; };
    QVector<Range> ranges;
    ranges.reserve(fileHeaders.size());
    for (int i = 0; i < fileHeaders.size(); ++i) {
        EntrySpan span;
        if (locate(i, &span))
            ranges.append({span.headerStart, span.dataStart + span.compressedSize, i});
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range &a, const Range &b) {
        return a.start < b.start || (a.start == b.start && a.index < b.index);
    });
    for (int k = 1; k < ranges.size(); ++k) {
        if (ranges.at(k).start < ranges.at(k - 1).end) {
            *first = qMin(ranges.at(k - 1).index, ranges.at(k).index);
            *second = qMax(ranges.at(k - 1).index, ranges.at(k).index);
            return true;
        }
    }
    return false;
}

ZipReaderData::ReadOutcome ZipReaderData::readEntry(int index, qint64 limit, const ChunkSink &sink) const
{
    ReadOutcome outcome;
    EntrySpan span;
    if (!isReadable(index, &span) || !seekWithin(device, span.dataStart))
        return outcome;
    // Passes every byte on, up to the limit, and keeps the running checksum.
    const auto deliver = [&](const char *data, qint64 size) {
        const bool cut = outcome.size + size > limit;
        if (cut)
            size = limit - outcome.size;
        outcome.crc = tarvel_crc32_stream(outcome.crc, data, uint(size));
        outcome.size += size;
        if (size > 0 && !sink(data, size))
            return false;
        if (cut) {
            qWarning("QZip: Data of %s cut at the size limit of %lld bytes",
                     qPrintable(cleanedPath(fileHeaders.at(index))), limit);
        }
        return !cut;
    };
    const qint64 declaredSize = fileHeaders.at(index).field32(kCdUncompressedSize);
    if (span.method == kMethodStored) {
        for (qint64 left = qMin(span.compressedSize, declaredSize); left > 0;) {
            const QByteArray chunk = device->read(qMin(left, kReadChunkSize));
            if (chunk.isEmpty() || !deliver(chunk.constData(), chunk.size()))
                return outcome;
            left -= chunk.size();
        }
        outcome.complete = true;
        return outcome;
    }
    if (span.method != kMethodDeflated) {
        qWarning("QZip: Unsupported compression method %d is needed to extract the data.", span.method);
        return outcome;
    }
    outcome.complete = inflateEntry(span, deliver);
    return outcome;
}

bool ZipReaderData::inflateEntry(const EntrySpan &span, const ChunkSink &deliver) const
{
    z_stream stream = {};
    if (inflateInit2_(&stream, -MAX_WBITS, kZlibVersion, int(sizeof(z_stream))) != Z_OK) {
        qWarning("QZip: Z_MEM_ERROR: Not enough memory");
        return false;
    }
    QByteArray input;
    QByteArray output(kInflateChunkSize, Qt::Uninitialized);
    qint64 left = span.compressedSize;
    int result = Z_OK;
    // A full output chunk may hold back output (and the end of the stream)
    // for the next call, so only a call that left room unused wanted input.
    bool starved = false;
    while (result != Z_STREAM_END) {
        if (stream.avail_in == 0 && left > 0) {
            input = device->read(qMin(left, kReadChunkSize));
            if (input.isEmpty()) {
                result = Z_DATA_ERROR;
                break;
            }
            left -= input.size();
            stream.next_in = reinterpret_cast<Bytef *>(input.data());
            stream.avail_in = uInt(input.size());
        } else if (stream.avail_in == 0 && starved) {
            // Input used up before the end of the stream: it is cut short.
            result = Z_DATA_ERROR;
            break;
        }
        stream.next_out = reinterpret_cast<Bytef *>(output.data());
        stream.avail_out = uInt(output.size());
        result = inflate(&stream, Z_NO_FLUSH);
        // With input and room both left, zlib cannot be short of either.
        if (result == Z_NEED_DICT || (result == Z_BUF_ERROR && stream.avail_in > 0))
            result = Z_DATA_ERROR;
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            break;
        const qint64 produced = output.size() - qint64(stream.avail_out);
        starved = stream.avail_out > 0;
        if (produced > 0 && !deliver(output.constData(), produced)) {
            inflateEnd(&stream);
            return false;
        }
    }
    inflateEnd(&stream);
    if (result == Z_MEM_ERROR)
        qWarning("QZip: Z_MEM_ERROR: Not enough memory");
    else if (result != Z_STREAM_END)
        qWarning("QZip: Z_DATA_ERROR: Input data is corrupted");
    return result == Z_STREAM_END;
}

bool ZipReaderData::isIntact(int index, const ReadOutcome &outcome) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    if (!outcome.complete)
        return false;
    if (outcome.size != qint64(record.field32(kCdUncompressedSize))) {
        qWarning("QZip: %s holds %lld bytes where its header declares %u",
                 qPrintable(cleanedPath(record)), outcome.size, record.field32(kCdUncompressedSize));
        return false;
    }
    return hasMatchingCrc(index, outcome);
}

bool ZipReaderData::hasMatchingCrc(int index, const ReadOutcome &outcome) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    if (outcome.crc == record.field32(kCdCrc))
        return true;
    qWarning("QZip: CRC-32 mismatch in %s: the data are damaged", qPrintable(cleanedPath(record)));
    return false;
}

QByteArray ZipReaderData::entryData(int index) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    QByteArray data;
    // The declared size is believed only as far as deflate can expand the data.
    data.reserve(int(std::min({qint64(record.field32(kCdUncompressedSize)),
                               qint64(record.field32(kCdCompressedSize)) * kMaxDeflateRatio, kMaxReserve})));
    const ReadOutcome outcome = readEntry(index, kMaxBufferLength, [&data](const char *chunk, qint64 size) {
        data.append(chunk, int(size));
        return true;
    });
    if (outcome.complete)
        hasMatchingCrc(index, outcome);
    return data;
}

bool ZipReaderData::extractFile(int index, QFile *file) const
{
    bool written = true;
    const qint64 declaredSize = fileHeaders.at(index).field32(kCdUncompressedSize);
    const ReadOutcome outcome = readEntry(index, declaredSize, [&](const char *chunk, qint64 size) {
        written = file->write(chunk, size) == size;
        return written;
    });
    if (!written) {
        qWarning("QZip: Failed to write %s", qPrintable(file->fileName()));
        return false;
    }
    return isIntact(index, outcome);
}

QString ZipReaderData::linkTarget(int index) const
{
    QByteArray target;
    const ReadOutcome outcome = readEntry(index, kMaxLinkTargetLength, [&target](const char *chunk, qint64 size) {
        target.append(chunk, int(size));
        return true;
    });
    return isIntact(index, outcome) ? QFile::decodeName(target) : QString();
}

ZipReader::ZipReader(const QString &fileName, QIODevice::OpenMode mode)
{
    QFile *file = new QFile(fileName);
    file->open(mode);
    d = new ZipReaderData(file, true);
    d->status = statusFromFileError(file->error());
}

ZipReader::ZipReader(QIODevice *device)
    : d(new ZipReaderData(device, false))
{
}

ZipReader::~ZipReader()
{
    close();
    delete d;
}

QIODevice *ZipReader::device() const
{
    return d->device;
}

bool ZipReader::isReadable() const
{
    return d->device->isReadable();
}

bool ZipReader::exists() const
{
    return d->deviceExists();
}

ZipReader::Status ZipReader::status() const
{
    return d->status;
}

int ZipReader::count() const
{
    d->scanDirectory();
    return d->fileHeaders.size();
}

ZipReader::FileInfo ZipReader::entryInfoAt(int index) const
{
    d->scanDirectory();
    if (index < 0 || index >= d->fileHeaders.size())
        return FileInfo();
    return d->makeFileInfo(index);
}

QVector<ZipReader::FileInfo> ZipReader::fileInfoList() const
{
    d->scanDirectory();
    QVector<FileInfo> list;
    list.reserve(d->fileHeaders.size());
    for (int i = 0; i < d->fileHeaders.size(); ++i)
        list.append(d->makeFileInfo(i));
    return list;
}

QByteArray ZipReader::fileData(const QString &fileName) const
{
    d->scanDirectory();
    const int index = d->indexOf(fileName);
    return index < 0 ? QByteArray() : d->entryData(index);
}

bool ZipReader::extractAll(const QString &destinationDir) const
{
    const QVector<FileInfo> entries = fileInfoList();
    int first = -1;
    int second = -1;
    // Several entries sharing data are how a small archive writes without end.
    if (d->findOverlap(&first, &second)) {
        qWarning("QZip: Refusing to extract: the data of %s and %s overlap (a possible zip bomb)",
                 qPrintable(entries.at(first).filePath), qPrintable(entries.at(second).filePath));
        return false;
    }
    const ExtractionGuard guard(destinationDir, entries);
    const QDir baseDir(destinationDir);
    const QString prefix = destinationDir + QDir::separator();
    const QFile::Permissions permitted = permittedByUmask();
    bool allExtracted = true;

    auto admissible = [&](const FileInfo &info, bool includingLast) {
        if (!ExtractionGuard::staysInside(info.filePath)) {
            warnRefused(info.filePath, "its path leaves the destination directory");
            return false;
        }
        if (guard.runsThroughSymLink(info.filePath, includingLast)) {
            warnRefused(info.filePath, "its path runs through a symbolic link");
            return false;
        }
        return true;
    };

    QVector<QPair<QString, QFile::Permissions>> createdDirs;
    for (const FileInfo &info : entries) {
        if (!info.isDir)
            continue;
        if (!admissible(info, true)) {
            allExtracted = false;
            continue;
        }
        if (!baseDir.mkpath(info.filePath))
            return false;
        createdDirs.append(qMakePair(info.filePath, info.permissions & permitted));
    }

    for (int i = 0; i < entries.size(); ++i) {
        const FileInfo &info = entries.at(i);
        if (!info.isSymLink)
            continue;
        if (!admissible(info, false)) {
            allExtracted = false;
            continue;
        }
        const QString linkTarget = d->linkTarget(i);
        if (linkTarget.isEmpty()) {
            allExtracted = false;
            continue;
        }
        if (!guard.linkTargetStaysInside(info.filePath, linkTarget)) {
            warnRefused(info.filePath, "the symbolic link points outside the destination directory");
            allExtracted = false;
            continue;
        }
        const QString target = prefix + info.filePath;
        const QString linkDir = QFileInfo(target).absolutePath();
        if (!QFile::exists(linkDir) && !QDir::root().mkpath(linkDir))
            return false;
        if (!QFile::link(linkTarget, target))
            return false;
    }

    for (int i = 0; i < entries.size(); ++i) {
        const FileInfo &info = entries.at(i);
        if (!info.isFile)
            continue;
        if (!admissible(info, true)) {
            allExtracted = false;
            continue;
        }
        // An entry that cannot be read leaves no empty file behind.
        ZipReaderData::EntrySpan span;
        if (!d->isReadable(i, &span)) {
            allExtracted = false;
            continue;
        }
        // Many archivers record no entries for the directories of their files.
        const QString parent = QFileInfo(info.filePath).path();
        if (parent != QLatin1String(".") && !baseDir.mkpath(parent))
            return false;
        QFile file(prefix + info.filePath);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        if (!d->extractFile(i, &file))
            allExtracted = false;
        file.setPermissions(info.permissions & permitted);
        file.close();
    }

    // Last, and inner folders before outer ones (a path sorts after its
    // parent's), since a folder's own mode may forbid writing into it.
    std::sort(createdDirs.begin(), createdDirs.end(),
              [](const auto &a, const auto &b) { return a.first > b.first; });
    for (const auto &dir : qAsConst(createdDirs)) {
        if (!QFile::setPermissions(prefix + dir.first, dir.second))
            return false;
    }
    return allExtracted;
}

void ZipReader::close()
{
    d->device->close();
}
