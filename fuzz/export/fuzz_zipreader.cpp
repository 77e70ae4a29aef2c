// Arbitrary bytes as a ZIP archive: list it, build every entry's information,
// read every entry and extract the whole archive into a temporary folder,
// through a read-only QBuffer.  Extraction may write nothing outside its
// folder, and every byte it writes must have come from inflating the entry.
#include <configurator-common/zipreader.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QTemporaryDir>
#include <QTextCodec>

#include <cstddef>
#include <cstdint>

namespace {

void discardMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

// Every path below root, relative to it, links not followed.
QStringList treeBelow(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    return paths;
}

void checkExtraction(const ZipReader &reader)
{
    QTemporaryDir root;
    if (!root.isValid())
        return;
    const QString destination = root.filePath(QStringLiteral("dest"));
    QDir().mkpath(destination);
    reader.extractAll(destination);

    // Paths that several entries share may hold any of them, so only a path
    // of one entry is compared with that entry's data.  An entry of an
    // unknown host has no path of its own, yet fileData finds it first by its
    // raw name, so any of them makes the comparison ambiguous.
    QHash<QString, int> entriesPerPath;
    bool comparable = true;
    for (const ZipReader::FileInfo &info : reader.fileInfoList()) {
        ++entriesPerPath[info.filePath];
        comparable = comparable && (info.isFile || info.isDir || info.isSymLink);
    }

    for (const QString &path : treeBelow(root.path())) {
        check(path == QLatin1String("dest") || path.startsWith(QLatin1String("dest/")));
        if (path == QLatin1String("dest"))
            continue;
        const QString inside = path.mid(5);
        const QFileInfo written(root.filePath(path));
        const bool single = comparable && entriesPerPath.value(inside) == 1;
        if (written.isSymLink()) {
            // Resolved lexically from the link's folder, dangling or not.
            const QString target = written.symLinkTarget();
            check(target == destination || target.startsWith(destination + QLatin1Char('/')));
        } else if (written.isFile() && single) {
            QFile file(written.filePath());
            check(file.open(QIODevice::ReadOnly));
            check(reader.fileData(inside).startsWith(file.readAll()));
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QtMessageHandler previous = qInstallMessageHandler(discardMessage);
    Q_UNUSED(previous);
    // Raw names are then decoded alike with or without their UTF-8 flag, so
    // fileData finds an entry by the path its FileInfo gives.
    static QTextCodec *const utf8 = [] {
        QTextCodec *codec = QTextCodec::codecForName("UTF-8");
        QTextCodec::setCodecForLocale(codec);
        return codec;
    }();
    Q_UNUSED(utf8);

    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ZipReader reader(&buffer);
    const int count = reader.count();
    for (int i = 0; i < count; ++i) {
        const ZipReader::FileInfo info = reader.entryInfoAt(i);
        const QByteArray contents = reader.fileData(info.filePath);
        // Deflate cannot expand more than about 1032:1, so neither may a result.
        check(contents.size() <= qMax<qint64>(1, qint64(size) * 1032));
    }
    reader.fileInfoList();
    checkExtraction(reader);
    return 0;
}
