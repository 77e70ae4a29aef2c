#ifndef ZIPTESTSUPPORT_H
#define ZIPTESTSUPPORT_H

// Helpers shared by the ZIP tests: the peer programs (Python's zipfile through
// zippeer.py, Info-ZIP, 7-Zip), a collector of warnings and a builder of
// hand-made archives whose every field can lie.

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QVector>

#include <zlib.h>

namespace ZipTest {

constexpr int kPeerTimeoutMs = 120000;

struct PeerRun
{
    bool finished = false;
    int exitCode = -1;
    QByteArray output;
    QByteArray errors;
};

inline PeerRun runPeer(const QString &program, const QStringList &arguments,
                       const QString &workingDir = QString(), const QString &stdoutFile = QString())
{
    QProcess process;
    // The peers read and write names as UTF-8 whatever the test's own locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    if (!workingDir.isEmpty())
        process.setWorkingDirectory(workingDir);
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(program, arguments);
    PeerRun run;
    run.finished = process.waitForFinished(kPeerTimeoutMs) && process.exitStatus() == QProcess::NormalExit;
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitCode = process.exitCode();
    run.output = process.readAllStandardOutput();
    run.errors = process.readAllStandardError();
    return run;
}

inline bool hasPeer(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

inline QString peerScript()
{
    return QStringLiteral(CC_SOURCE_DIR "/tests/export/zippeer.py");
}

// zippeer.py COMMAND ARGS, parsed as JSON; an empty object when it failed.
inline QJsonObject pythonView(const QString &command, const QString &archive)
{
    const PeerRun run = runPeer(QStringLiteral("python3"), {peerScript(), command, archive});
    if (!run.finished || run.exitCode != 0)
        return QJsonObject();
    return QJsonDocument::fromJson(run.output).object();
}

// Collects the warnings emitted while it lives.
class WarningCollector
{
public:
    WarningCollector()
    {
        current = this;
        previous = qInstallMessageHandler(&WarningCollector::handle);
    }
    ~WarningCollector()
    {
        qInstallMessageHandler(previous);
        current = nullptr;
    }

    QStringList warnings;

private:
    static void handle(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (current && type == QtWarningMsg)
            current->warnings.append(message);
    }

    static inline WarningCollector *current = nullptr;
    QtMessageHandler previous;
};

inline void appendLe16(QByteArray *out, quint32 value)
{
    out->append(char(value & 0xff));
    out->append(char((value >> 8) & 0xff));
}

inline void appendLe32(QByteArray *out, quint32 value)
{
    appendLe16(out, value & 0xffff);
    appendLe16(out, value >> 16);
}

inline quint32 le32At(const QByteArray &bytes, int offset)
{
    const auto b = [&](int i) { return quint32(uchar(bytes.at(offset + i))); };
    return b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24);
}

inline quint16 le16At(const QByteArray &bytes, int offset)
{
    return quint16(uchar(bytes.at(offset)) | (uchar(bytes.at(offset + 1)) << 8));
}

inline QByteArray rawDeflate(const QByteArray &data)
{
    z_stream stream = {};
    deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return out;
}

inline quint32 crcOf(const QByteArray &data)
{
    return quint32(crc32(0, reinterpret_cast<const Bytef *>(data.constData()), uInt(data.size())));
}

// One entry of a hand-made archive.  Sizes and CRC default to the truth.
struct RawEntry
{
    QByteArray name;
    QByteArray contents;            // uncompressed
    quint16 method = 0;             // 0 stored, 8 deflated (payload made here)
    quint16 versionMadeBy = 0x031e; // Unix
    quint16 versionNeeded = 20;
    quint16 flags = 0;
    quint32 externalAttributes = 0x81a40000;
    quint32 dosTimeDate = 0x50ad6d7d;
    qint64 compressedSize = -1;
    qint64 uncompressedSize = -1;
    qint64 localHeaderOffset = -1;
    QByteArray payload;             // overrides the stored/deflated contents
};

struct RawArchive
{
    QVector<RawEntry> entries;
    QByteArray comment;
    qint64 commentLengthField = -1;
    qint64 entryCountField = -1;
    qint64 directoryOffsetField = -1;
    QByteArray trailing;            // bytes after the comment
};

inline QByteArray buildArchive(const RawArchive &archive)
{
    QByteArray out;
    QByteArray directory;
    for (const RawEntry &e : archive.entries) {
        const QByteArray payload = !e.payload.isNull() ? e.payload
                : (e.method == 8 ? rawDeflate(e.contents) : e.contents);
        const quint32 compressed = quint32(e.compressedSize >= 0 ? e.compressedSize : payload.size());
        const quint32 uncompressed = quint32(e.uncompressedSize >= 0 ? e.uncompressedSize : e.contents.size());
        const quint32 offset = quint32(e.localHeaderOffset >= 0 ? e.localHeaderOffset : out.size());
        const quint32 crc = crcOf(e.contents);

        QByteArray common;
        appendLe16(&common, e.versionNeeded);
        appendLe16(&common, e.flags);
        appendLe16(&common, e.method);
        appendLe32(&common, e.dosTimeDate);
        appendLe32(&common, crc);
        appendLe32(&common, compressed);
        appendLe32(&common, uncompressed);
        appendLe16(&common, quint32(e.name.size()));
        appendLe16(&common, 0);

        appendLe32(&out, 0x04034b50);
        out += common + e.name + payload;

        appendLe32(&directory, 0x02014b50);
        appendLe16(&directory, e.versionMadeBy);
        directory += common;
        appendLe16(&directory, 0);      // comment length
        appendLe16(&directory, 0);      // disk
        appendLe16(&directory, 0);      // internal attributes
        appendLe32(&directory, e.externalAttributes);
        appendLe32(&directory, offset);
        directory += e.name;
    }
    const quint32 directoryOffset = quint32(archive.directoryOffsetField >= 0
                                            ? archive.directoryOffsetField : out.size());
    const quint32 count = quint32(archive.entryCountField >= 0 ? archive.entryCountField
                                                               : archive.entries.size());
    out += directory;
    appendLe32(&out, 0x06054b50);
    appendLe16(&out, 0);
    appendLe16(&out, 0);
    appendLe16(&out, count);
    appendLe16(&out, count);
    appendLe32(&out, quint32(directory.size()));
    appendLe32(&out, directoryOffset);
    appendLe16(&out, quint32(archive.commentLengthField >= 0 ? archive.commentLengthField
                                                             : archive.comment.size()));
    out += archive.comment + archive.trailing;
    return out;
}

inline QByteArray buildArchive(const QVector<RawEntry> &entries)
{
    RawArchive archive;
    archive.entries = entries;
    return buildArchive(archive);
}

} // namespace ZipTest

#endif
