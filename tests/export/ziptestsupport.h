#ifndef ZIPTESTSUPPORT_H
#define ZIPTESTSUPPORT_H

// Helpers shared by the ZIP tests: the peer programs (Python's zipfile through
// zippeer.py, Info-ZIP, 7-Zip), a collector of warnings and a builder of
// hand-made archives whose every field can lie.

#include <QByteArray>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStringList>
#include <QVector>

#include <utility>
#include <zlib.h>

namespace ZipTest {

constexpr int kPeerTimeoutMs = 120000;

struct PeerRun
{
    int exitCode = -1;  // -1 also when the peer crashed or timed out
    QByteArray output;
};

inline PeerRun runPeer(const QString &program, const QStringList &arguments,
                       const QString &workingDir = QString(), const QString &stdoutFile = QString())
{
    QProcess process;
    // The peers read and write names as UTF-8 whatever the test's own locale.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDir);
    if (!stdoutFile.isEmpty())
        process.setStandardOutputFile(stdoutFile);
    process.start(program, arguments);
    PeerRun run;
    if (process.waitForFinished(kPeerTimeoutMs) && process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    } else {
        process.kill();
        process.waitForFinished();
    }
    run.output = process.readAllStandardOutput();
    return run;
}

inline QString peerScript()
{
    return QStringLiteral(CC_SOURCE_DIR "/tests/export/zippeer.py");
}

// zippeer.py COMMAND ARCHIVE, parsed as JSON; an empty object when it failed.
inline QJsonObject pythonView(const QString &command, const QString &archive)
{
    const PeerRun run = runPeer(QStringLiteral("python3"), {peerScript(), command, archive});
    return run.exitCode == 0 ? QJsonDocument::fromJson(run.output).object() : QJsonObject();
}

// Collects the warnings emitted while it lives.
struct WarningCollector
{
    WarningCollector()
    {
        warnings().clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtWarningMsg)
                warnings().append(message);
        });
    }
    ~WarningCollector() { qInstallMessageHandler(previous); }
    static QStringList &warnings()
    {
        static QStringList list;
        return list;
    }
    QtMessageHandler previous;
};

inline QFile::Permissions permissionsOfMode(int mode)
{
    // Owner bits map to both the owner and the user flags.
    const int owner = (mode >> 6) & 7;
    return QFile::Permissions((owner << 12) | (owner << 8) | (((mode >> 3) & 7) << 4) | (mode & 7));
}

inline QByteArray incompressible(int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator generator(42);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

inline void appendLe(QByteArray *out, quint64 value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out->append(char((value >> (8 * i)) & 0xff));
}

// qCompress wraps a zlib stream in a 4-byte length and a 2-byte header before
// and a 4-byte checksum after; what is between is raw deflate.
inline QByteArray rawDeflate(const QByteArray &data)
{
    return qCompress(data, 6).mid(6).chopped(4);
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
    quint32 dosTimeDate = 0x50ad6d7d;   // 2020-05-13 13:43:58
    qint64 compressedSize = -1;
    qint64 uncompressedSize = -1;
    qint64 localHeaderOffset = -1;
    QByteArray payload;             // overrides the stored/deflated contents
};

struct RawArchive
{
    QVector<RawEntry> entries;
    QByteArray comment;
    qint64 entryCountField = -1;
    QByteArray trailing;            // bytes after the comment
};

inline QByteArray buildArchive(const RawArchive &archive)
{
    QByteArray out;
    QByteArray directory;
    for (const RawEntry &e : archive.entries) {
        const QByteArray payload = !e.payload.isNull() ? e.payload
                : (e.method == 8 ? rawDeflate(e.contents) : e.contents);
        const qint64 offset = e.localHeaderOffset >= 0 ? e.localHeaderOffset : out.size();
        // Shared by the local header and the central record: value and width.
        const std::pair<qint64, int> fields[] = {{e.versionNeeded, 2}, {e.flags, 2}, {e.method, 2},
                {e.dosTimeDate, 4}, {crcOf(e.contents), 4},
                {e.compressedSize >= 0 ? e.compressedSize : payload.size(), 4},
                {e.uncompressedSize >= 0 ? e.uncompressedSize : e.contents.size(), 4},
                {e.name.size(), 2}, {0, 2}};
        QByteArray common;
        for (const auto &[value, bytes] : fields)
            appendLe(&common, quint32(value), bytes);
        appendLe(&out, 0x04034b50, 4);
        out += common + e.name + payload;

        appendLe(&directory, 0x02014b50, 4);
        appendLe(&directory, e.versionMadeBy, 2);
        directory += common;
        appendLe(&directory, 0, 6);     // comment length, disk, internal attributes
        appendLe(&directory, e.externalAttributes, 4);
        appendLe(&directory, quint32(offset), 4);
        directory += e.name;
    }
    const quint32 count = quint32(archive.entryCountField >= 0 ? archive.entryCountField
                                                               : archive.entries.size());
    const int directoryOffset = out.size();
    out += directory;
    appendLe(&out, 0x06054b50, 4);
    appendLe(&out, 0, 4);
    appendLe(&out, count, 2);
    appendLe(&out, count, 2);
    appendLe(&out, quint32(directory.size()), 4);
    appendLe(&out, quint32(directoryOffset), 4);
    appendLe(&out, quint32(archive.comment.size()), 2);
    return out + archive.comment + archive.trailing;
}

inline QByteArray buildArchive(const QVector<RawEntry> &entries)
{
    return buildArchive(RawArchive{entries, {}, -1, {}});
}

inline RawEntry entry(const QByteArray &name, const QByteArray &contents, quint16 method = 0, quint16 flags = 0)
{
    RawEntry e;
    e.name = name;
    e.contents = contents;
    e.method = method;
    e.flags = flags;
    return e;
}

inline RawEntry symlinkEntry(const QByteArray &name, const QByteArray &target)
{
    RawEntry e = entry(name, target);
    e.externalAttributes = 0xa1ff0000;
    return e;
}

} // namespace ZipTest

#endif
