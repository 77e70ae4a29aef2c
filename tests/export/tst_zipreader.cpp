#include <configurator-common/zipreader.h>
#include <configurator-common/zipwriter.h>

#include "ziptestsupport.h"

#include <QBuffer>
#include <QDirIterator>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

using namespace ZipTest;

Q_DECLARE_METATYPE(ZipTest::RawEntry)

namespace {

// A reader over bytes held in memory.
struct BufferReader
{
    explicit BufferReader(const QByteArray &data) : bytes(data), buffer(&bytes), reader(&buffer) {}
    QByteArray bytes;
    QBuffer buffer;
    ZipReader reader;
};

// Every path below root, so that a test can show nothing appeared outside.
QStringList treeBelow(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        paths << QDir(root).relativeFilePath(it.next());
    paths.sort();
    return paths;
}

void writeFile(const QString &path, const QByteArray &data, int mode)
{
    QFile file(path);
    QVERIFY(QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(data) == data.size() && file.setPermissions(permissionsOfMode(mode)));
}

QStringList warningList(const QString &warning)
{
    return warning.isEmpty() ? QStringList() : QStringList{warning};
}

} // namespace

class TestZipReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void readsAndExtractsPeerArchives_data();
    void readsAndExtractsPeerArchives();
    void readsDirectoryAndData_data();
    void readsDirectoryAndData();
    void describesEntries_data();
    void describesEntries();
    void reportsUnreadableSources();
    void neverExtractsOutsideDestination_data();
    void neverExtractsOutsideDestination();
    void failsOnEntriesItCannotExtractWhole_data();
    void failsOnEntriesItCannotExtractWhole();
    void survivesTruncatedArchives();

private:
    QTemporaryDir work;
    QString peerDir;
};

void TestZipReader::initTestCase()
{
    QVERIFY(work.isValid());
    // A umask that removes bits, so that masking the stored modes shows.
    ::umask(022);
    peerDir = work.filePath(QStringLiteral("peers"));
    QVERIFY(QDir().mkpath(peerDir));
    QCOMPARE(runPeer(QStringLiteral("python3"), {peerScript(), QStringLiteral("make"), peerDir}).exitCode, 0);

    // A small tree with what Info-ZIP and 7-Zip record: modes, an empty
    // directory, a UTF-8 name and a symbolic link.
    const QString parent = work.filePath(QStringLiteral("src"));
    const QString tree = parent + QStringLiteral("/tree");
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "A line of ordinary report text, number " + QByteArray::number(i) + "\n";
    writeFile(tree + "/docs/readme.txt", text, 0644);
    writeFile(tree + "/bin/run.sh", "#!/bin/sh\necho run\n", 0755);
    writeFile(tree + "/data/blob.bin", incompressible(70000), 0600);
    writeFile(tree + QStringLiteral("/données.txt"), "accents", 0640);
    QVERIFY(QDir().mkpath(tree + "/docs/empty"));
    QVERIFY(QFile::link(QStringLiteral("docs/readme.txt"), tree + "/link"));

    const QString p = peerDir + QLatin1Char('/');
    QCOMPARE(runPeer("zip", {"-q", "-r", "-y", "-6", p + "infozip_deflated.zip", "tree"}, parent).exitCode, 0);
    QCOMPARE(runPeer("zip", {"-q", "-r", "-y", "-0", p + "infozip_stored.zip", "tree"}, parent).exitCode, 0);
    QCOMPARE(runPeer("zip", {"-q", "-r", "-y", "-", "tree"}, parent, p + "infozip_stream.zip").exitCode, 0);
    QCOMPARE(runPeer("7z", {"a", "-tzip", "-snl", "-mx=5", p + "7z_deflated.zip", "tree"}, parent).exitCode, 0);
    QCOMPARE(runPeer("7z", {"a", "-tzip", "-snl", "-mx=0", p + "7z_stored.zip", "tree"}, parent).exitCode, 0);
    // Data read from a pipe: a ZIP64 local header and version needed 45.
    QCOMPARE(runPeer("sh", {"-c", "printf 'piped data\\n' | zip -q - - | cat > infozip_stdin.zip"}, peerDir).exitCode, 0);

    // LibreOffice's own package: FAT-host entries, folders known by their names.
    const QString html = work.filePath(QStringLiteral("small.html"));
    QFile page(html);
    QVERIFY(page.open(QIODevice::WriteOnly));
    page.write("<html><body><p>A <b>small</b> page.</p></body></html>");
    page.close();
    const QString profile = QUrl::fromLocalFile(work.filePath(QStringLiteral("lo-profile"))).toString();
    QCOMPARE(runPeer("soffice", {"-env:UserInstallation=" + profile, "--headless", "--convert-to", "odt",
                                 "--outdir", peerDir, html}).exitCode, 0);
    QVERIFY(QFile::rename(peerDir + "/small.odt", peerDir + "/lo_odt.zip"));
}

void TestZipReader::readsAndExtractsPeerArchives_data()
{
    QTest::addColumn<QString>("archive");
    for (const char *name : {"py_stored", "py_deflated", "py_comment", "py_dirs", "py_dirname", "py_utf8",
                             "py_perms", "py_descriptor", "infozip_deflated", "infozip_stored", "infozip_stream",
                             "7z_deflated", "7z_stored", "lo_odt"})
        QTest::newRow(name) << peerDir + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".zip");
}

void TestZipReader::readsAndExtractsPeerArchives()
{
    QFETCH(QString, archive);
    const QJsonArray expected = pythonView(QStringLiteral("dump"), archive).value("entries").toArray();
    QVERIFY(!expected.isEmpty());

    WarningCollector collector;
    ZipReader reader(archive);
    QCOMPARE(reader.status(), ZipReader::NoError);
    const QVector<ZipReader::FileInfo> infos = reader.fileInfoList();
    QCOMPARE(infos.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const QJsonObject peer = expected.at(i).toObject();
        const ZipReader::FileInfo &info = infos.at(i);
        // Without the UTF-8 flag, names are in the local encoding, as unzip reads them.
        const QByteArray rawName = QByteArray::fromBase64(peer.value("rawName").toString().toLatin1());
        const QString name = (peer.value("flags").toInt() & 0x0800) ? QString::fromUtf8(rawName)
                                                                     : QString::fromLocal8Bit(rawName);
        QCOMPARE(info.filePath, name.endsWith(QLatin1Char('/')) ? name.chopped(1) : name);
        QCOMPARE(bool(info.isDir), peer.value("isDir").toBool());
        QCOMPARE(info.crc, uint(peer.value("crc").toDouble()));
        QCOMPARE(info.size, qint64(peer.value("size").toDouble()));
        QVERIFY(info.lastModified.isValid());
        if (peer.value("createSystem").toInt() == 3) {
            const int mode = peer.value("mode").toInt();
            QCOMPARE(bool(info.isSymLink), (mode & 0xF000) == 0xA000);
            QCOMPARE(bool(info.isFile), (mode & 0xF000) != 0xA000 && !info.isDir);
            QCOMPARE(info.permissions, permissionsOfMode(mode & 0777));
        }
        if (!info.isDir)
            QCOMPARE(reader.fileData(info.filePath), QByteArray::fromBase64(peer.value("data").toString().toLatin1()));
    }

    // Extracted exactly as unzip extracts it: contents, modes and link targets.
    QTemporaryDir out;
    const QString mine = out.filePath(QStringLiteral("mine"));
    const QString theirs = out.filePath(QStringLiteral("theirs"));
    QVERIFY(QDir().mkpath(mine));
    QCOMPARE(runPeer(QStringLiteral("unzip"), {"-q", archive, "-d", theirs}).exitCode, 0);
    QVERIFY(reader.extractAll(mine));
    const PeerRun compare = runPeer(QStringLiteral("python3"), {peerScript(), "compare", mine, theirs});
    QVERIFY2(compare.exitCode == 0, compare.output.constData());
    QCOMPARE(collector.warnings(), QStringList());
}

void TestZipReader::readsDirectoryAndData_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("expected");  // null: only the size bound holds
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<int>("maxSize");
    const auto row = [](const char *tag, const QByteArray &archive, int count, const QString &name,
                        const QByteArray &expected, const QString &warning = QString(), int maxSize = -1) {
        QTest::newRow(tag) << archive << count << name << expected << warningList(warning)
                           << (maxSize < 0 ? expected.size() : maxSize);
    };

    const QString notZip = QStringLiteral("QZip: not a zip file!");
    row("text", "this is not an archive at all, only text", 0, "a", "", notZip);
    row("empty file", QByteArray(), 0, "a", "", notZip);
    row("22-byte empty archive", buildArchive(RawArchive()), 0, "a", "", notZip);
    const RawArchive commented{{entry("b.txt", QByteArray(500, 'b'), 8), entry("a.txt", "alpha")}, "0123456789", -1, {}};
    row("comment", buildArchive(commented), 2, "b.txt", QByteArray(500, 'b'));
    const RawArchive trailing{{entry("a.txt", "alpha")}, {}, -1, "trailing garbage"};
    row("garbage after end record", buildArchive(trailing), 1, "a.txt", "alpha", "QZip: failed to parse zip file.");
    // The padding pushes any end record out of reach too.
    const QByteArray noEnd = buildArchive({entry("a.txt", "alpha")}).chopped(22) + QByteArray(70000, 'x');
    row("no end record", noEnd, 0, "a.txt", "", "QZip: EndOfDirectory not found");

    // A length in the second central record that runs past the end of the
    // file, or a broken signature, ends the index after the first entry.
    const RawArchive announcesThree{{entry("first.txt", "1"), entry("second.txt", "2")}, {}, 3, {}};
    row("announces more", buildArchive(announcesThree), 2, "first.txt", "1",
        "QZip: Failed to read complete header, index may be incomplete");
    const QByteArray two = buildArchive({entry("first.txt", "1"), entry("second.txt", "2")});
    const int second = two.size() - 22 - 46 - 10;
    const QVector<QPair<int, QString>> patches = {
        {0, "QZip: invalid header signature, index may be incomplete"},
        {28, "QZip: Failed to read filename from zip index, index may be incomplete"},
        {30, "QZip: Failed to read extra field in zip file, skipping file, index may be incomplete"},
        {32, "QZip: Failed to read read file comment, index may be incomplete"}};
    for (const auto &patch : patches) {
        const QByteArray tag = "bad field at " + QByteArray::number(patch.first);
        row(tag.constData(), QByteArray(two).replace(second + patch.first, 2, "\xff\xff"), 1, "first.txt", "1",
            patch.second);
    }

    RawEntry e = entry("e", "0123456789");
    e.uncompressedSize = 4;
    row("stored cut to declared size", buildArchive({e}), 1, "e", "0123",
        "QZip: CRC-32 mismatch in e: the data are damaged");
    const QByteArray zeros = QByteArray(1 << 20, '\0') + "end";
    e = entry("e", zeros, 8);
    e.uncompressedSize = 10;
    row("inflate grows past declared size", buildArchive({e}), 1, "e", zeros);
    // Here zlib has taken in all the input when the one-byte-short buffer
    // fills: the stream is not cut short, the buffer is.
    const QByteArray sentences = QByteArray("a short sentence that deflates. ").repeated(50).left(1581);
    e = entry("e", sentences, 8);
    e.uncompressedSize = sentences.size() - 1;
    row("inflate one byte short", buildArchive({e}), 1, "e", sentences);
    // The last match runs past a full output chunk after the last input byte was read.
    const QByteArray zeros256k = QByteArray((1 << 18) + 64, '\0');
    row("inflate past a full output chunk", buildArchive({entry("e", zeros256k, 8)}), 1, "e", zeros256k);

    e = entry("e", "secret contents");
    e.versionNeeded = 45;
    row("version 45", buildArchive({e}), 1, "e", "",
        "QZip: .ZIP specification version 45 implementationis needed to extract the data.");
    row("encrypted", buildArchive({entry("e", "secret contents", 0, 1)}), 1, "e", "",
        "QZip: Unsupported encryption method is needed to extract the data.");
    row("bzip2", buildArchive({entry("e", "secret contents", 12)}), 1, "e", "",
        "QZip: Unsupported compression method 12 is needed to extract the data.");

    const QByteArray named = buildArchive({entry("./docs/a.txt", "dotted"), entry("caf\xc3\xa9.txt", "utf8", 0, 0x0800)});
    row("stored name", named, 2, "./docs/a.txt", "dotted");
    row("cleaned name", named, 2, "docs/a.txt", "dotted");
    row("utf-8 name", named, 2, QString::fromUtf8("caf\xc3\xa9.txt"), "utf8");
    row("missing", named, 2, "missing", "");

    // Lying sizes: nothing is allocated beyond what the data can hold.
    const QString pastEnd = QStringLiteral("QZip: Entry data runs past the end of the archive, skipping file");
    e = entry("e", "tiny");
    e.compressedSize = 0xfffffff0;
    row("compressed size beyond device", buildArchive({e}), 1, "e", "", pastEnd);
    e = entry("e", "tiny");
    e.localHeaderOffset = 0x7ffffff0;
    row("local header beyond device", buildArchive({e}), 1, "e", "", pastEnd);
    const QByteArray text = QByteArray("a short sentence that deflates a little. ").repeated(5);
    e = entry("e", text, 8);
    e.uncompressedSize = 0xffffffff;
    row("declared size 4 GiB", buildArchive({e}), 1, "e", text);
    e.payload = incompressible(100);
    e.uncompressedSize = 0xfffffff0;
    row("corrupt stream declaring 4 GiB", buildArchive({e}), 1, "e", QByteArray(),
        "QZip: Z_DATA_ERROR: Input data is corrupted", 100 * 1032);
}

void TestZipReader::readsDirectoryAndData()
{
    QFETCH(QByteArray, archive);
    QFETCH(int, count);
    QFETCH(QString, name);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, warnings);
    QFETCH(int, maxSize);
    WarningCollector collector;
    BufferReader r(archive);
    QCOMPARE(r.reader.count(), count);
    QCOMPARE(r.reader.count(), count);  // a final scan is not repeated, nor its warning
    const QByteArray data = r.reader.fileData(name);
    QVERIFY2(data.size() <= maxSize, qPrintable(QString::number(data.size())));
    if (!expected.isNull())
        QCOMPARE(data, expected);
    QCOMPARE(r.reader.status(), ZipReader::NoError);
    QCOMPARE(collector.warnings(), warnings);
}

void TestZipReader::describesEntries_data()
{
    QTest::addColumn<RawEntry>("raw");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("permissions");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<QStringList>("warnings");

    // The time stamp every entry carries unless a row says otherwise.
    const QDateTime stamp(QDate(2020, 5, 13), QTime(13, 43, 58), Qt::LocalTime);
    const QDateTime invalid(QDate(), QTime(0, 0));
    const auto row = [&](const char *tag, const RawEntry &e, const QString &path, const char *kind = "file",
                         int permissions = 0x6644, const QDateTime &modified = QDateTime(),
                         const QString &warning = QString()) {
        QTest::newRow(tag) << e << path << QString::fromLatin1(kind) << permissions
                           << (modified.isNull() ? stamp : modified) << warningList(warning);
    };
    row("unix 0x81a40000", entry("f", "x"), "f");
    row("unix link", symlinkEntry("l", "f"), "l", "link", 0x7777);
    RawEntry fatDir = entry("./docs/", QByteArray());
    fatDir.versionMadeBy = 0x0014;
    fatDir.externalAttributes = 0x10;
    row("fat directory", fatDir, "docs", "dir", 0x7777);
    RawEntry readOnly = entry("RO.TXT", "x");
    readOnly.versionMadeBy = 0x0b14;     // NTFS
    readOnly.externalAttributes = 0x21;  // archive, read-only
    row("ntfs read-only", readOnly, "RO.TXT", "file", 0x4444);
    RawEntry host19 = entry("odd.txt", "odd");
    host19.versionMadeBy = 0x1314;
    row("host 19", host19, QString(), "", 0, invalid, "QZip: Zip entry format at 0 is not supported.");
    RawEntry month13 = entry("u", "u");
    month13.dosTimeDate = quint32((40 << 9) | (13 << 5) | 1) << 16;
    row("month 13", month13, "u", "file", 0x6644, invalid);
    RawEntry hour24 = entry("u", "u");
    hour24.dosTimeDate = (quint32((40 << 9) | (5 << 5) | 13) << 16) | (24 << 11);
    row("hour 24", hour24, "u", "file", 0x6644, invalid);

    row("dot dir", entry("./a/", "d"), "a", "dir");
    row("leading dot dot", entry("../x", "d"), "x");
    row("hidden", entry(".profile", "d"), "profile");
    row("absolute", entry("/etc/passwd", "d"), "etc/passwd");
    row("trailing slashes", entry("a/b///", "d"), "a/b", "dir");
    RawEntry fatNamedDir = entry("Configurations2/toolbar/", QByteArray());
    fatNamedDir.versionMadeBy = 0x0014;
    fatNamedDir.externalAttributes = 0;
    row("fat directory by name", fatNamedDir, "Configurations2/toolbar", "dir", 0x7777);
    row("inner dots kept", entry("a/../b", "d"), "a/../b");
    row("utf-8 flag", entry("r\xc3\xa9sum\xc3\xa9", "d", 0, 0x0800), QString::fromUtf8("r\xc3\xa9sum\xc3\xa9"));
}

void TestZipReader::describesEntries()
{
    QFETCH(RawEntry, raw);
    QFETCH(QString, path);
    QFETCH(QString, kind);
    QFETCH(int, permissions);
    QFETCH(QDateTime, modified);
    QFETCH(QStringList, warnings);
    WarningCollector collector;
    BufferReader r(buildArchive({raw}));
    const ZipReader::FileInfo info = r.reader.entryInfoAt(0);
    QCOMPARE(info.filePath, path);
    QCOMPARE(bool(info.isFile), kind == "file");
    QCOMPARE(bool(info.isDir), kind == "dir");
    QCOMPARE(bool(info.isSymLink), kind == "link");
    QCOMPARE(int(info.permissions), permissions);
    QCOMPARE(info.lastModified.toString(Qt::ISODate), modified.toString(Qt::ISODate));
    QCOMPARE(info.size, kind.isEmpty() ? 0 : qint64(raw.contents.size()));
    QCOMPARE(info.crc, kind.isEmpty() ? 0 : crcOf(raw.contents));
    // Out of range gives a default info, silently.
    QVERIFY(r.reader.entryInfoAt(-1).filePath.isEmpty() && !r.reader.entryInfoAt(1).isFile);
    QCOMPARE(collector.warnings(), warnings);
}

void TestZipReader::reportsUnreadableSources()
{
    ZipReader missing(work.filePath(QStringLiteral("no/such/archive.zip")));
    QCOMPARE(missing.status(), ZipReader::FileOpenError);
    QVERIFY(!missing.exists());
    QCOMPARE(missing.count(), 0);
    QCOMPARE(missing.status(), ZipReader::FileOpenError);

    BufferReader r(buildArchive({entry("a", "a")}));
    QVERIFY(r.buffer.open(QIODevice::WriteOnly));
    QVERIFY(r.reader.exists() && !r.reader.isReadable());
    QCOMPARE(r.reader.count(), 0);
    QCOMPARE(r.reader.status(), ZipReader::FileReadError);
    // The scan was not final: once readable, the archive is listed.
    r.buffer.close();
    QVERIFY(r.buffer.open(QIODevice::ReadOnly));
    QCOMPARE(r.reader.count(), 1);
}

void TestZipReader::neverExtractsOutsideDestination_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QStringList>("extracted");   // what must appear below the destination
    QTest::addColumn<int>("refusals");
    QTest::addColumn<bool>("linkOut");   // dest/inner/out already links to a directory outside

    const RawEntry good = entry("good.txt", "good");
    QTest::newRow("deep climb")
        << buildArchive({entry("x/../../../../../../tmp/zip-escape.txt", "evil"), good})
        << QStringList{"good.txt"} << 1 << false;
    QTest::newRow("absolute name is rooted below destination")
        << buildArchive({entry("/abs/file.txt", "abs")}) << QStringList{"abs", "abs/file.txt"} << 0 << false;
    QTest::newRow("dotted and utf-8 names found by their cleaned paths")
        << buildArchive({entry("./docs/a.txt", "dotted"), entry("caf\xc3\xa9.txt", "utf8", 0, 0x0800)})
        << QStringList{"docs", "docs/a.txt", QString::fromUtf8("caf\xc3\xa9.txt")} << 0 << false;
    QTest::newRow("absolute link target")
        << buildArchive({symlinkEntry("etc", "/etc"), good}) << QStringList{"good.txt"} << 1 << false;
    QTest::newRow("climbing link target")
        << buildArchive({symlinkEntry("sub/up", "../../.."), good}) << QStringList{"good.txt"} << 1 << false;
    QTest::newRow("link inside is kept")
        << buildArchive({good, symlinkEntry("sub/alias", "../good.txt")})
        << QStringList{"good.txt", "sub", "sub/alias"} << 0 << false;
    QTest::newRow("file through link")
        << buildArchive({symlinkEntry("here", "."), entry("here/through.txt", "x"), good})
        << QStringList{"good.txt", "here"} << 1 << false;
    QTest::newRow("file replacing link")
        << buildArchive({symlinkEntry("victim", "good.txt"), entry("victim", "overwrite"), good})
        << QStringList{"good.txt", "victim"} << 1 << false;
    QTest::newRow("link walking through link")
        << buildArchive({symlinkEntry("s/x", ".."), symlinkEntry("s/a", "x/.."), good})
        << QStringList{"good.txt", "s", "s/x"} << 1 << false;
    QTest::newRow("file through an existing link")
        << buildArchive({entry("out/planted.txt", "evil"), good}) << QStringList{"good.txt"} << 1 << true;
    RawEntry dotDir = entry("d/../../outdir/", QByteArray());
    dotDir.externalAttributes = 0x41ed0000;
    QTest::newRow("climbing directory") << buildArchive({dotDir, good}) << QStringList{"good.txt"} << 1 << false;
}

void TestZipReader::neverExtractsOutsideDestination()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, extracted);
    QFETCH(int, refusals);
    QFETCH(bool, linkOut);
    QTemporaryDir root;
    const QString destination = root.filePath(QStringLiteral("dest/inner"));
    QVERIFY(QDir().mkpath(destination));
    QStringList expectedTree{"dest", "dest/inner"};
    if (linkOut) {
        QVERIFY(QDir().mkpath(root.filePath(QStringLiteral("outside"))));
        QVERIFY(QFile::link(root.filePath(QStringLiteral("outside")), destination + QStringLiteral("/out")));
        expectedTree << "outside" << "dest/inner/out";
    }

    WarningCollector collector;
    BufferReader r(archive);
    QCOMPARE(r.reader.extractAll(destination), refusals == 0);
    QCOMPARE(collector.warnings().filter(QStringLiteral("QZip: Refusing to extract")).size(), refusals);

    for (const QString &path : extracted) {
        expectedTree << QStringLiteral("dest/inner/") + path;
        const QFileInfo file(destination + QLatin1Char('/') + path);
        QVERIFY(!file.isFile() || file.isSymLink() || file.size() > 0);  // contents were found
    }
    expectedTree.sort();
    QCOMPARE(treeBelow(root.path()), expectedTree);
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/zip-escape.txt")));
}

void TestZipReader::failsOnEntriesItCannotExtractWhole_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("inflated");  // what the entry's data really inflate to
    QTest::addColumn<bool>("written");         // false: nothing may appear at all
    QTest::addColumn<QString>("warning");

    const QByteArray secret = QByteArray("SECRET-").repeated(600);
    const QByteArray text = QByteArray("plain text that deflates well enough. ").repeated(110);
    RawEntry cutStream = entry("e", text, 8);
    cutStream.payload = rawDeflate(text).chopped(8);
    cutStream.uncompressedSize = 4200;
    QTest::newRow("corrupt stream after a secret") << buildArchive({entry("secret", secret), cutStream})
        << "e" << text << true << "QZip: Z_DATA_ERROR: Input data is corrupted";
    RawEntry damaged = entry("e", text);
    damaged.payload = QByteArray(text).replace(7, 1, "X");
    QTest::newRow("crc mismatch") << buildArchive({damaged}) << "e" << damaged.payload << true
                                  << "QZip: CRC-32 mismatch in e: the data are damaged";
    RawEntry grows = entry("e", text, 8);
    grows.uncompressedSize = 100;
    QTest::newRow("inflates past its declared size") << buildArchive({grows}) << "e" << text << true
        << "QZip: Data of e cut at the size limit of 100 bytes";

    QFile piped(peerDir + QStringLiteral("/infozip_stdin.zip"));
    QVERIFY(piped.open(QIODevice::ReadOnly));
    QTest::newRow("zip64 stream") << piped.readAll() << "-" << QByteArray() << false
        << "QZip: .ZIP specification version 45 implementationis needed to extract the data.";
    QTest::newRow("encrypted") << buildArchive({entry("e", text, 0, 1)}) << "e" << QByteArray() << false
                               << "QZip: Unsupported encryption method is needed to extract the data.";
    QTest::newRow("bzip2") << buildArchive({entry("e", text, 12)}) << "e" << QByteArray() << false
                           << "QZip: Unsupported compression method 12 is needed to extract the data.";
    // Three central records for one local entry: unzip calls it a possible zip bomb.
    RawEntry again = entry("copy", QByteArray(1 << 20, 'z'), 8);
    again.localHeaderOffset = 0;
    RawEntry shifted = again;
    shifted.name = "shifted";
    shifted.localHeaderOffset = 10;
    QTest::newRow("overlapping entries")
        << buildArchive({entry("copy", again.contents, 8), again, shifted}) << "copy" << again.contents
        << false << "QZip: Refusing to extract: the data of copy and copy overlap (a possible zip bomb)";
}

void TestZipReader::failsOnEntriesItCannotExtractWhole()
{
    QFETCH(QByteArray, archive);
    QFETCH(QString, name);
    QFETCH(QByteArray, inflated);
    QFETCH(bool, written);
    QFETCH(QString, warning);
    QTemporaryDir root;
    WarningCollector collector;
    BufferReader r(archive);
    QVERIFY(!r.reader.extractAll(root.path()));
    QVERIFY2(collector.warnings().contains(warning), qPrintable(collector.warnings().join('\n')));

    // Whatever was written came from the entry's own data.
    QFile file(root.filePath(name));
    QCOMPARE(file.exists(), written);
    QVERIFY(!file.exists() || file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(inflated.startsWith(bytes));
    if (!written)
        QCOMPARE(treeBelow(root.path()), QStringList());
    QVERIFY(inflated.startsWith(r.reader.fileData(name)));
}

void TestZipReader::survivesTruncatedArchives()
{
    QBuffer source;
    {
        ZipWriter writer(&source);
        writer.setCompressionPolicy(ZipWriter::AutoCompress);
        writer.addDirectory(QStringLiteral("dir"));
        writer.addFile(QStringLiteral("dir/text.txt"), QByteArray("some text to deflate ").repeated(40));
        writer.addFile(QStringLiteral("small"), QByteArray("stored"));
        writer.addSymLink(QStringLiteral("link"), QStringLiteral("small"));
    }
    const QByteArray whole = source.data();
    QTemporaryDir root;
    WarningCollector collector;
    for (int length = 0; length <= whole.size(); ++length) {
        BufferReader r(whole.left(length));
        const QVector<ZipReader::FileInfo> infos = r.reader.fileInfoList();
        QVERIFY(infos.size() <= 4);
        for (const ZipReader::FileInfo &info : infos)
            QVERIFY(r.reader.fileData(info.filePath).size() <= info.size);
        if (length % 16 == 0 || length == whole.size()) {
            const QString destination = root.filePath(QString::number(length));
            QVERIFY(QDir().mkpath(destination));
            QVERIFY(r.reader.extractAll(destination) || length < whole.size());
        }
    }
    QCOMPARE(treeBelow(root.path()).filter(QRegularExpression(QStringLiteral("^[^/]*\\.\\."))).size(), 0);
}

QTEST_GUILESS_MAIN(TestZipReader)
#include "tst_zipreader.moc"
