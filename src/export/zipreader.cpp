#include "zipreader.h"

#include "ziparchivedata_p.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <limits>
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

int inflateRaw(uchar *dest, ulong *destLen, const uchar *source, ulong sourceLen)
{
    z_stream stream = {};
    stream.next_in = const_cast<Bytef *>(source);
    stream.avail_in = uInt(sourceLen);
    stream.next_out = dest;
    stream.avail_out = uInt(*destLen);

    int result = inflateInit2_(&stream, -MAX_WBITS, kZlibVersion, int(sizeof(z_stream)));
    if (result != Z_OK)
        return result;
    result = inflate(&stream, Z_FINISH);
    if (result != Z_STREAM_END) {
        // Input used up while output space is left means the stream is cut short.
        const bool truncated = stream.avail_in == 0 && stream.avail_out > 0;
        inflateEnd(&stream);
        if (result == Z_NEED_DICT || (result == Z_BUF_ERROR && truncated))
            return Z_DATA_ERROR;
        return result;
    }
    *destLen = stream.total_out;
    return inflateEnd(&stream);
}

QByteArray inflateEntry(const QByteArray &compressed, qint64 uncompressedSize)
{
    const qint64 bound = qMin(qMax<qint64>(compressed.size() * kMaxDeflateRatio, 1),
                              kMaxBufferLength);
    qint64 length = qMin(qMax<qint64>(uncompressedSize, 1), bound);
    QByteArray data;
    for (;;) {
        data.resize(int(length));
        ulong produced = ulong(length);
        const int result = inflateRaw(reinterpret_cast<uchar *>(data.data()), &produced,
                                      reinterpret_cast<const uchar *>(compressed.constData()),
                                      ulong(compressed.size()));
        if (result == Z_OK) {
            if (qint64(produced) != length)
                data.resize(int(produced));
            break;
        }
        if (result == Z_BUF_ERROR && length < bound) {
            length = qMin(length * 2, bound);
            continue;
        }
        // A stream still short of room at the bound cannot be valid deflate data.
        if (result == Z_MEM_ERROR)
            qWarning("QZip: Z_MEM_ERROR: Not enough memory");
        else if (result == Z_DATA_ERROR || result == Z_BUF_ERROR)
            qWarning("QZip: Z_DATA_ERROR: Input data is corrupted");
        break;
    }
    return data;
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

    info.filePath = cleanedPath(record);
    info.crc = record.field32(kCdCrc);
    info.size = record.field32(kCdUncompressedSize);
    info.lastModified = decodeDosDateTime(record.header + kCdModTime);
    return info;
}

int ZipReaderData::indexOf(const QString &fileName) const
{
    for (int i = 0; i < fileHeaders.size(); ++i) {
        if (QString::fromLocal8Bit(fileHeaders.at(i).fileName) == fileName)
            return i;
    }
    // Extraction and callers holding a FileInfo know the entry by its cleaned path.
    for (int i = 0; i < fileHeaders.size(); ++i) {
        if (cleanedPath(fileHeaders.at(i)) == fileName)
            return i;
    }
    return -1;
}

QByteArray ZipReaderData::entryData(int index) const
{
    const ZipEntryRecord &record = fileHeaders.at(index);
    const int versionNeeded = record.field16(kCdVersionNeeded);
    if (versionNeeded > kZipVersion) {
        qWarning("QZip: .ZIP specification version %d implementationis needed to extract the data.",
                 versionNeeded);
        return QByteArray();
    }

    uchar local[kLocalHeaderSize];
    const qint64 headerPos = record.field32(kCdLocalHeaderOffset);
    if (!seekWithin(device, headerPos)
            || device->read(reinterpret_cast<char *>(local), kLocalHeaderSize) != kLocalHeaderSize
            || !seekWithin(device, headerPos + kLocalHeaderSize + readUInt16(local + kLhNameLength)
                                       + readUInt16(local + kLhExtraLength))) {
        qWarning("QZip: Entry data runs past the end of the archive, skipping file");
        return QByteArray();
    }
    const int method = readUInt16(local + kLhMethod);

    if (record.field16(kCdFlags) & kFlagEncrypted) {
        qWarning("QZip: Unsupported encryption method is needed to extract the data.");
        return QByteArray();
    }

    const qint64 compressedSize = record.field32(kCdCompressedSize);
    const qint64 uncompressedSize = record.field32(kCdUncompressedSize);
    if (compressedSize > device->size() - device->pos() || compressedSize > kMaxBufferLength) {
        qWarning("QZip: Entry data runs past the end of the archive, skipping file");
        return QByteArray();
    }
    QByteArray compressed = device->read(compressedSize);

    if (method == kMethodStored) {
        if (uncompressedSize < compressed.size())
            compressed.truncate(int(uncompressedSize));
        return compressed;
    }
    if (method == kMethodDeflated)
        return inflateEntry(compressed, uncompressedSize);

    qWarning("QZip: Unsupported compression method %d is needed to extract the data.", method);
    return QByteArray();
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
    const ExtractionGuard guard(destinationDir, entries);
    const QDir baseDir(destinationDir);
    const QString prefix = destinationDir + QDir::separator();
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

    for (const FileInfo &info : entries) {
        if (!info.isDir)
            continue;
        if (!admissible(info, true)) {
            allExtracted = false;
            continue;
        }
        if (!baseDir.mkpath(info.filePath) || !QFile::setPermissions(prefix + info.filePath, info.permissions))
            return false;
    }

    for (int i = 0; i < entries.size(); ++i) {
        const FileInfo &info = entries.at(i);
        if (!info.isSymLink)
            continue;
        if (!admissible(info, false)) {
            allExtracted = false;
            continue;
        }
        const QString linkTarget = QFile::decodeName(d->entryData(i));
        if (linkTarget.isEmpty())
            return false;
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
        // Many archivers record no entries for the directories of their files.
        const QString parent = QFileInfo(info.filePath).path();
        if (parent != QLatin1String(".") && !baseDir.mkpath(parent))
            return false;
        QFile file(prefix + info.filePath);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(d->entryData(i));
        file.setPermissions(info.permissions);
        file.close();
    }
    return allExtracted;
}

void ZipReader::close()
{
    d->device->close();
}
