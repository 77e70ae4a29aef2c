#include <configurator-common/zipreader.h>
#include <configurator-common/zipwriter.h>

#include "ziptestsupport.h"

#include <QBuffer>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace ZipTest;

namespace {

RawEntry entry(const QByteArray &name, const QByteArray &contents, quint16 method = 0)
{
    RawEntry e;
    e.name = name;
    e.contents = contents;
    e.method = method;
    return e;
}

RawEntry symlinkEntry(const QByteArray &name, const QByteArray &target)
{
    RawEntry e = entry(name, target);
    e.externalAttributes = 0xa1ff0000;
    return e;
}

QFile::Permissions permissionsOfMode(int mode)
{
    QFile::Permissions p;
    const struct { int bit; QFile::Permissions perms; } table[] = {
        {0400, QFile::ReadOwner | QFile::ReadUser}, {0200, QFile::WriteOwner | QFile::WriteUser},
        {0100, QFile::ExeOwner | QFile::ExeUser}, {040, QFile::ReadGroup}, {020, QFile::WriteGroup},
        {010, QFile::ExeGroup}, {04, QFile::ReadOther}, {02, QFile::WriteOther}, {01, QFile::ExeOther}};
    for (const auto &row : table) {
        if (mode & row.bit)
            p |= row.perms;
    }
    return p;
}

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

void writeFile(const QString &path, const QByteArray &data, QFile::Permissions permissions)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

QByteArray incompressible(int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator generator(42);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

} // namespace

class TestZipReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void readsPeerArchives_data();
    void readsPeerArchives();
    void extractsLikeUnzip_data();
    void extractsLikeUnzip();

    void rejectsFileWithoutLocalHeader_data();
    void rejectsFileWithoutLocalHeader();
    void readsArchiveComment();
    void listsArchiveWithGarbageAfterEndRecord();
    void reportsMissingEndRecord();
    void stopsIndexAtBadCentralRecord_data();
    void stopsIndexAtBadCentralRecord();
    void unsupportedHostGivesDefaultInfo();
    void fatDirectoryGetsAllPermissions();
    void fatReadOnlyFileLosesWrite();
    void unixModeBecomesPermissions();
    void cleansPaths_data();
    void cleansPaths();
    void decodesDosDateTime();
    void outOfRangeIndexGivesDefaultInfo();
    void storedDataIsCutToUncompressedSize();
    void deflatedBufferGrowsWhenDeclaredSizeTooSmall();
    void refusesUnsupportedEntries_data();
    void refusesUnsupportedEntries();
    void findsEntryByCleanedPath();
    void reportsOpenFailures();
    void reportsDeviceNotOpenForReading();

    void boundsMemoryForLyingSizes_data();
    void boundsMemoryForLyingSizes();
    void neverExtractsOutsideDestination_data();
    void neverExtractsOutsideDestination();
    void refusesPathThroughExistingSymLink();
    void survivesTruncatedArchives();

private:
    QTemporaryDir work;
    QString peerDir;
    QString treeDir;
};

void TestZipReader::initTestCase()
{
    QVERIFY(work.isValid());
    for (const char *peer : {"python3", "zip", "unzip", "7z"}) {
        if (!hasPeer(QString::fromLatin1(peer)))
            QSKIP(qPrintable(QStringLiteral("peer program %1 is missing").arg(QLatin1String(peer))));
    }
    peerDir = work.filePath(QStringLiteral("peers"));
    QVERIFY(QDir().mkpath(peerDir));
    QCOMPARE(runPeer(QStringLiteral("python3"), {peerScript(), QStringLiteral("make"), peerDir}).exitCode, 0);

    // A small tree with what Info-ZIP and 7-Zip record: modes, an empty
    // directory, a UTF-8 name and a symbolic link.
    treeDir = work.filePath(QStringLiteral("src/tree"));
    QByteArray text;
    for (int i = 0; i < 2000; ++i)
        text += "A line of ordinary report text, number " + QByteArray::number(i) + "\n";
    writeFile(treeDir + "/docs/readme.txt", text, permissionsOfMode(0644));
    writeFile(treeDir + "/bin/run.sh", "#!/bin/sh\necho run\n", permissionsOfMode(0755));
    writeFile(treeDir + "/data/blob.bin", incompressible(70000), permissionsOfMode(0600));
    writeFile(treeDir + QStringLiteral("/données.txt"), "accents", permissionsOfMode(0640));
    QVERIFY(QDir().mkpath(treeDir + "/docs/empty"));
    QVERIFY(QFile::link(QStringLiteral("docs/readme.txt"), treeDir + "/link"));

    const QString parent = work.filePath(QStringLiteral("src"));
    const QString zip = QStringLiteral("zip");
    QCOMPARE(runPeer(zip, {"-q", "-r", "-y", "-6", peerDir + "/infozip_deflated.zip", "tree"}, parent).exitCode, 0);
    QCOMPARE(runPeer(zip, {"-q", "-r", "-y", "-0", peerDir + "/infozip_stored.zip", "tree"}, parent).exitCode, 0);
    QCOMPARE(runPeer(zip, {"-q", "-r", "-y", "-", "tree"}, parent, peerDir + "/infozip_stream.zip").exitCode, 0);
    QCOMPARE(runPeer(QStringLiteral("7z"), {"a", "-tzip", "-snl", "-mx=5", peerDir + "/7z_deflated.zip", "tree"},
                     parent).exitCode, 0);
    QCOMPARE(runPeer(QStringLiteral("7z"), {"a", "-tzip", "-snl", "-mx=0", peerDir + "/7z_stored.zip", "tree"},
                     parent).exitCode, 0);
}

void TestZipReader::readsPeerArchives_data()
{
    QTest::addColumn<QString>("archive");
    for (const char *name : {"py_stored", "py_deflated", "py_comment", "py_dirs", "py_utf8", "py_perms",
                             "py_descriptor", "infozip_deflated", "infozip_stored", "infozip_stream",
                             "7z_deflated", "7z_stored"})
        QTest::newRow(name) << QString::fromLatin1(name) + QStringLiteral(".zip");
}

void TestZipReader::readsPeerArchives()
{
    QFETCH(QString, archive);
    const QString path = peerDir + QLatin1Char('/') + archive;
    const QJsonArray expected = pythonView(QStringLiteral("dump"), path).value(QStringLiteral("entries")).toArray();
    QVERIFY(!expected.isEmpty());

    WarningCollector collector;
    ZipReader reader(path);
    QCOMPARE(reader.status(), ZipReader::NoError);
    QCOMPARE(reader.count(), expected.size());
    const QVector<ZipReader::FileInfo> infos = reader.fileInfoList();
    for (int i = 0; i < expected.size(); ++i) {
        const QJsonObject peer = expected.at(i).toObject();
        const ZipReader::FileInfo &info = infos.at(i);
        // Without the UTF-8 flag, names are in the local encoding, as unzip reads them.
        const QByteArray rawName = QByteArray::fromBase64(peer.value("rawName").toString().toLatin1());
        QString name = (peer.value("flags").toInt() & 0x0800) ? QString::fromUtf8(rawName)
                                                               : QString::fromLocal8Bit(rawName);
        while (name.endsWith(QLatin1Char('/')))
            name.chop(1);
        QCOMPARE(info.filePath, name);
        QCOMPARE(bool(info.isDir), peer.value("isDir").toBool());
        QCOMPARE(info.crc, uint(peer.value("crc").toDouble()));
        QCOMPARE(info.size, qint64(peer.value("size").toDouble()));
        QVERIFY(info.lastModified.isValid());
        if (peer.value("createSystem").toInt() == 3) {
            const int mode = peer.value("mode").toInt();
            QCOMPARE(bool(info.isSymLink), (mode & 0xF000) == 0xA000);
            QCOMPARE(bool(info.isFile), (mode & 0xF000) != 0xA000 && (mode & 0xF000) != 0x4000);
            QCOMPARE(info.permissions, permissionsOfMode(mode & 0777));
        }
        if (!info.isDir) {
            const QByteArray data = QByteArray::fromBase64(peer.value("data").toString().toLatin1());
            QCOMPARE(reader.fileData(info.filePath), data);
        }
    }
    QCOMPARE(collector.warnings, QStringList());
}

void TestZipReader::extractsLikeUnzip_data()
{
    readsPeerArchives_data();
}

void TestZipReader::extractsLikeUnzip()
{
    QFETCH(QString, archive);
    const QString path = peerDir + QLatin1Char('/') + archive;
    QTemporaryDir out;
    const QString mine = out.filePath(QStringLiteral("mine"));
    const QString theirs = out.filePath(QStringLiteral("theirs"));
    QVERIFY(QDir().mkpath(mine));
    QCOMPARE(runPeer(QStringLiteral("unzip"), {"-q", path, "-d", theirs}).exitCode, 0);

    ZipReader reader(path);
    QVERIFY(reader.extractAll(mine));
    const PeerRun compare = runPeer(QStringLiteral("python3"), {peerScript(), "compare", mine, theirs});
    QVERIFY2(compare.exitCode == 0, compare.output.constData());
}

void TestZipReader::rejectsFileWithoutLocalHeader_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("text") << QByteArray("this is not an archive at all, only text");
    QTest::newRow("empty") << QByteArray();
    RawArchive onlyEnd;
    QTest::newRow("end record only") << buildArchive(onlyEnd);
}

void TestZipReader::rejectsFileWithoutLocalHeader()
{
    QFETCH(QByteArray, bytes);
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QTest::ignoreMessage(QtWarningMsg, "QZip: not a zip file!");
    QCOMPARE(reader.count(), 0);
    QCOMPARE(reader.fileData(QStringLiteral("a")), QByteArray());
    QCOMPARE(reader.status(), ZipReader::NoError);
}

void TestZipReader::readsArchiveComment()
{
    RawArchive archive;
    archive.entries = {entry("a.txt", "alpha"), entry("b.txt", QByteArray(500, 'b'), 8)};
    archive.comment = "0123456789";
    QByteArray bytes = buildArchive(archive);
    QBuffer buffer(&bytes);
    WarningCollector collector;
    ZipReader reader(&buffer);
    QCOMPARE(reader.count(), 2);
    QCOMPARE(reader.fileData(QStringLiteral("b.txt")), QByteArray(500, 'b'));
    QCOMPARE(collector.warnings, QStringList());
}

void TestZipReader::listsArchiveWithGarbageAfterEndRecord()
{
    RawArchive archive;
    archive.entries = {entry("a.txt", "alpha")};
    archive.trailing = "trailing garbage";
    QByteArray bytes = buildArchive(archive);
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QTest::ignoreMessage(QtWarningMsg, "QZip: failed to parse zip file.");
    QCOMPARE(reader.count(), 1);
    QCOMPARE(reader.fileData(QStringLiteral("a.txt")), QByteArray("alpha"));
}

void TestZipReader::reportsMissingEndRecord()
{
    QByteArray bytes = buildArchive({entry("a.txt", "alpha")});
    bytes.chop(22);
    bytes += QByteArray(70000, 'x');    // pushes any end record out of reach too
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QTest::ignoreMessage(QtWarningMsg, "QZip: EndOfDirectory not found");
    QCOMPARE(reader.count(), 0);
    QCOMPARE(reader.count(), 0);    // a final scan is not repeated, nor its warning
}

void TestZipReader::stopsIndexAtBadCentralRecord_data()
{
    QTest::addColumn<int>("patchOffset");   // in the second central record; -1: none
    QTest::addColumn<int>("announced");     // entries announced by the end record
    QTest::addColumn<int>("listed");
    QTest::addColumn<QString>("warning");
    QTest::newRow("header") << -1 << 3 << 2
        << "QZip: Failed to read complete header, index may be incomplete";
    QTest::newRow("signature") << 0 << 2 << 1
        << "QZip: invalid header signature, index may be incomplete";
    QTest::newRow("name") << 28 << 2 << 1
        << "QZip: Failed to read filename from zip index, index may be incomplete";
    QTest::newRow("extra") << 30 << 2 << 1
        << "QZip: Failed to read extra field in zip file, skipping file, index may be incomplete";
    QTest::newRow("comment") << 32 << 2 << 1
        << "QZip: Failed to read read file comment, index may be incomplete";
}

void TestZipReader::stopsIndexAtBadCentralRecord()
{
    QFETCH(int, patchOffset);
    QFETCH(int, announced);
    QFETCH(int, listed);
    QFETCH(QString, warning);
    RawArchive archive;
    archive.entries = {entry("first.txt", "1"), entry("second.txt", "2")};
    archive.entryCountField = announced;
    QByteArray bytes = buildArchive(archive);
    const int second = bytes.size() - 22 - 46 - 10;
    if (patchOffset >= 0) {
        // A length that runs past the end of the file, or a broken signature.
        bytes[second + patchOffset] = char(0xff);
        bytes[second + patchOffset + 1] = char(0xff);
    }
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QCOMPARE(reader.count(), listed);
    QCOMPARE(reader.fileData(QStringLiteral("first.txt")), QByteArray("1"));
}

void TestZipReader::unsupportedHostGivesDefaultInfo()
{
    RawEntry odd = entry("odd.txt", "odd");
    odd.versionMadeBy = 0x1314;    // host 19
    QByteArray bytes = buildArchive({entry("a.txt", "a"), odd});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QCOMPARE(reader.count(), 2);
    QTest::ignoreMessage(QtWarningMsg, "QZip: Zip entry format at 1 is not supported.");
    const ZipReader::FileInfo info = reader.entryInfoAt(1);
    QVERIFY(info.filePath.isEmpty());
    QVERIFY(!info.isDir && !info.isFile && !info.isSymLink);
    QCOMPARE(info.size, qint64(0));
    QVERIFY(!info.lastModified.isValid());
}

void TestZipReader::fatDirectoryGetsAllPermissions()
{
    RawEntry dir = entry("./docs/", QByteArray());
    dir.versionMadeBy = 0x0014;
    dir.externalAttributes = 0x10;
    QByteArray bytes = buildArchive({dir});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    const ZipReader::FileInfo info = reader.entryInfoAt(0);
    QCOMPARE(info.filePath, QStringLiteral("docs"));
    QVERIFY(info.isDir);
    QVERIFY(!info.isFile);
    QCOMPARE(int(info.permissions), 0x7777);
}

void TestZipReader::fatReadOnlyFileLosesWrite()
{
    RawEntry file = entry("RO.TXT", "x");
    file.versionMadeBy = 0x0b14;   // NTFS
    file.externalAttributes = 0x21; // archive, read-only
    QByteArray bytes = buildArchive({file});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    const ZipReader::FileInfo info = reader.entryInfoAt(0);
    QVERIFY(info.isFile);
    QCOMPARE(int(info.permissions), 0x4444);
}

void TestZipReader::unixModeBecomesPermissions()
{
    RawEntry file = entry("f", "x");
    file.externalAttributes = 0x81a40000;
    RawEntry link = symlinkEntry("l", "f");
    QByteArray bytes = buildArchive({file, link});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    const ZipReader::FileInfo info = reader.entryInfoAt(0);
    QVERIFY(info.isFile && !info.isDir && !info.isSymLink);
    QCOMPARE(info.permissions, QFile::ReadOwner | QFile::ReadUser | QFile::WriteOwner | QFile::WriteUser
                                   | QFile::ReadGroup | QFile::ReadOther);
    QVERIFY(reader.entryInfoAt(1).isSymLink);
    QCOMPARE(int(reader.entryInfoAt(1).permissions), 0x7777);
}

void TestZipReader::cleansPaths_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<quint16>("flags");
    QTest::addColumn<QString>("path");
    QTest::newRow("dot dir") << QByteArray("./a/") << quint16(0) << "a";
    QTest::newRow("dot dot") << QByteArray("../x") << quint16(0) << "x";
    QTest::newRow("hidden") << QByteArray(".profile") << quint16(0) << "profile";
    QTest::newRow("absolute") << QByteArray("/etc/passwd") << quint16(0) << "etc/passwd";
    QTest::newRow("trailing") << QByteArray("a/b///") << quint16(0) << "a/b";
    QTest::newRow("inner dots kept") << QByteArray("a/../b") << quint16(0) << "a/../b";
    QTest::newRow("utf8") << QByteArray("r\xc3\xa9sum\xc3\xa9") << quint16(0x0800)
                          << QString::fromUtf8("r\xc3\xa9sum\xc3\xa9");
}

void TestZipReader::cleansPaths()
{
    QFETCH(QByteArray, raw);
    QFETCH(quint16, flags);
    QFETCH(QString, path);
    RawEntry e = entry(raw, "data");
    e.flags = flags;
    QByteArray bytes = buildArchive({e});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QCOMPARE(reader.entryInfoAt(0).filePath, path);
}

void TestZipReader::decodesDosDateTime()
{
    RawEntry e = entry("t", "t");
    // 2020-02-29 13:45:58: date (40 << 9 | 2 << 5 | 29), time (13 << 11 | 45 << 5 | 29).
    e.dosTimeDate = (quint32((40 << 9) | (2 << 5) | 29) << 16) | quint32((13 << 11) | (45 << 5) | 29);
    RawEntry bad = entry("u", "u");
    bad.dosTimeDate = (quint32((40 << 9) | (13 << 5) | 1) << 16);  // month 13
    QByteArray bytes = buildArchive({e, bad});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QCOMPARE(reader.entryInfoAt(0).lastModified,
             QDateTime(QDate(2020, 2, 29), QTime(13, 45, 58), Qt::LocalTime));
    QVERIFY(!reader.entryInfoAt(1).lastModified.isValid());
}

void TestZipReader::outOfRangeIndexGivesDefaultInfo()
{
    QByteArray bytes = buildArchive({entry("a", "a")});
    QBuffer buffer(&bytes);
    WarningCollector collector;
    ZipReader reader(&buffer);
    for (int index : {-1, reader.count()}) {
        const ZipReader::FileInfo info = reader.entryInfoAt(index);
        QVERIFY(info.filePath.isEmpty());
        QVERIFY(!info.isFile);
        QCOMPARE(info.crc, 0u);
    }
    QCOMPARE(collector.warnings, QStringList());
}

void TestZipReader::storedDataIsCutToUncompressedSize()
{
    RawEntry e = entry("s", "0123456789");
    e.uncompressedSize = 4;
    QByteArray bytes = buildArchive({e});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QCOMPARE(reader.fileData(QStringLiteral("s")), QByteArray("0123"));
}

void TestZipReader::deflatedBufferGrowsWhenDeclaredSizeTooSmall()
{
    const QByteArray contents = QByteArray(1 << 20, '\0') + "end";
    RawEntry e = entry("z", contents, 8);
    e.uncompressedSize = 10;
    QByteArray bytes = buildArchive({e});
    QBuffer buffer(&bytes);
    WarningCollector collector;
    ZipReader reader(&buffer);
    QCOMPARE(reader.fileData(QStringLiteral("z")), contents);
    QCOMPARE(collector.warnings, QStringList());
}

void TestZipReader::refusesUnsupportedEntries_data()
{
    QTest::addColumn<quint16>("versionNeeded");
    QTest::addColumn<quint16>("flags");
    QTest::addColumn<quint16>("method");
    QTest::addColumn<QString>("warning");
    QTest::newRow("version 45") << quint16(45) << quint16(0) << quint16(0)
        << "QZip: .ZIP specification version 45 implementationis needed to extract the data.";
    QTest::newRow("encrypted") << quint16(20) << quint16(1) << quint16(0)
        << "QZip: Unsupported encryption method is needed to extract the data.";
    QTest::newRow("bzip2") << quint16(20) << quint16(0) << quint16(12)
        << "QZip: Unsupported compression method 12 is needed to extract the data.";
}

void TestZipReader::refusesUnsupportedEntries()
{
    QFETCH(quint16, versionNeeded);
    QFETCH(quint16, flags);
    QFETCH(quint16, method);
    QFETCH(QString, warning);
    RawEntry e = entry("e", "secret contents");
    e.versionNeeded = versionNeeded;
    e.flags = flags;
    e.method = method;
    e.payload = "secret contents";
    QByteArray bytes = buildArchive({e});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QCOMPARE(reader.count(), 1);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    QCOMPARE(reader.fileData(QStringLiteral("e")), QByteArray());
}

void TestZipReader::findsEntryByCleanedPath()
{
    RawEntry dotted = entry("./docs/a.txt", "dotted");
    RawEntry utf8 = entry("caf\xc3\xa9.txt", "utf8");
    utf8.flags = 0x0800;
    QByteArray bytes = buildArchive({dotted, utf8});
    QBuffer buffer(&bytes);
    ZipReader reader(&buffer);
    QCOMPARE(reader.fileData(QStringLiteral("./docs/a.txt")), QByteArray("dotted"));
    QCOMPARE(reader.fileData(reader.entryInfoAt(0).filePath), QByteArray("dotted"));
    QCOMPARE(reader.fileData(reader.entryInfoAt(1).filePath), QByteArray("utf8"));
    QCOMPARE(reader.fileData(QStringLiteral("missing")), QByteArray());

    QTemporaryDir out;
    QVERIFY(reader.extractAll(out.path()));
    QFile extracted(out.filePath(QStringLiteral("docs/a.txt")));
    QVERIFY(extracted.open(QIODevice::ReadOnly));
    QCOMPARE(extracted.readAll(), QByteArray("dotted"));
}

void TestZipReader::reportsOpenFailures()
{
    ZipReader reader(work.filePath(QStringLiteral("no/such/archive.zip")));
    QCOMPARE(reader.status(), ZipReader::FileOpenError);
    QVERIFY(!reader.exists());
    QCOMPARE(reader.count(), 0);
    QCOMPARE(reader.status(), ZipReader::FileOpenError);
}

void TestZipReader::reportsDeviceNotOpenForReading()
{
    QByteArray bytes = buildArchive({entry("a", "a")});
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    ZipReader reader(&buffer);
    QVERIFY(reader.exists());
    QVERIFY(!reader.isReadable());
    QCOMPARE(reader.count(), 0);
    QCOMPARE(reader.status(), ZipReader::FileReadError);

    // The scan was not final: once readable, the archive is listed.
    buffer.close();
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(reader.count(), 1);
}

void TestZipReader::boundsMemoryForLyingSizes_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<int>("maxSize");

    const QByteArray text = QByteArray("a short sentence that deflates a little. ").repeated(5);
    RawEntry huge = entry("e", "tiny");
    huge.compressedSize = 0xfffffff0;
    QTest::newRow("compressed size beyond device") << buildArchive({huge}) << QByteArray()
        << "QZip: Entry data runs past the end of the archive, skipping file" << 0;

    RawEntry offset = entry("e", "tiny");
    offset.localHeaderOffset = 0x7ffffff0;
    QTest::newRow("local header beyond device") << buildArchive({offset}) << QByteArray()
        << "QZip: Entry data runs past the end of the archive, skipping file" << 0;

    RawEntry declared = entry("e", text, 8);
    declared.uncompressedSize = 0xffffffff;
    const int bound = rawDeflate(text).size() * 1032;
    QTest::newRow("declared size 4 GiB") << buildArchive({declared}) << text << QString() << bound;

    RawEntry corrupt = entry("e", text);
    corrupt.method = 8;
    corrupt.payload = incompressible(100);
    corrupt.uncompressedSize = 0xfffffff0;
    QTest::newRow("corrupt stream declaring 4 GiB") << buildArchive({corrupt}) << QByteArray("?")
        << "QZip: Z_DATA_ERROR: Input data is corrupted" << 100 * 1032;
}

void TestZipReader::boundsMemoryForLyingSizes()
{
    QFETCH(QByteArray, archive);
    QFETCH(QByteArray, expected);
    QFETCH(QString, warning);
    QFETCH(int, maxSize);
    QBuffer buffer(&archive);
    WarningCollector collector;
    ZipReader reader(&buffer);
    QCOMPARE(reader.count(), 1);
    const QByteArray data = reader.fileData(QStringLiteral("e"));
    QVERIFY2(data.size() <= maxSize, qPrintable(QString::number(data.size())));
    if (expected != "?")
        QCOMPARE(data, expected);
    QCOMPARE(collector.warnings, warning.isEmpty() ? QStringList() : QStringList{warning});
}

void TestZipReader::neverExtractsOutsideDestination_data()
{
    QTest::addColumn<QByteArray>("archive");
    QTest::addColumn<QStringList>("extracted");   // what must appear below the destination
    QTest::addColumn<int>("refusals");

    const RawEntry good = entry("good.txt", "good");
    QTest::newRow("dot dot inside path")
        << buildArchive({entry("a/../../evil.txt", "evil"), good}) << QStringList{"good.txt"} << 1;
    QTest::newRow("deep climb")
        << buildArchive({entry("x/../../../../../../tmp/zip-escape.txt", "evil"), good})
        << QStringList{"good.txt"} << 1;
    QTest::newRow("absolute name is rooted below destination")
        << buildArchive({entry("/abs/file.txt", "abs")}) << QStringList{"abs", "abs/file.txt"} << 0;
    QTest::newRow("absolute link target")
        << buildArchive({symlinkEntry("etc", "/etc"), good}) << QStringList{"good.txt"} << 1;
    QTest::newRow("climbing link target")
        << buildArchive({symlinkEntry("sub/up", "../../.."), good}) << QStringList{"good.txt"} << 1;
    QTest::newRow("link inside is kept")
        << buildArchive({good, symlinkEntry("sub/alias", "../good.txt")})
        << QStringList{"good.txt", "sub", "sub/alias"} << 0;
    QTest::newRow("file through link")
        << buildArchive({symlinkEntry("here", "."), entry("here/through.txt", "x"), good})
        << QStringList{"good.txt", "here"} << 1;
    QTest::newRow("file replacing link")
        << buildArchive({symlinkEntry("victim", "good.txt"), entry("victim", "overwrite"), good})
        << QStringList{"good.txt", "victim"} << 1;
    QTest::newRow("link walking through link")
        << buildArchive({symlinkEntry("s/x", ".."), symlinkEntry("s/a", "x/.."), good})
        << QStringList{"good.txt", "s", "s/x"} << 1;
    RawEntry dotDir = entry("d/../../outdir/", QByteArray());
    dotDir.externalAttributes = 0x41ed0000;
    QTest::newRow("climbing directory") << buildArchive({dotDir, good}) << QStringList{"good.txt"} << 1;
}

void TestZipReader::neverExtractsOutsideDestination()
{
    QFETCH(QByteArray, archive);
    QFETCH(QStringList, extracted);
    QFETCH(int, refusals);
    QTemporaryDir root;
    const QString destination = root.filePath(QStringLiteral("dest/inner"));
    QVERIFY(QDir().mkpath(destination));

    QBuffer buffer(&archive);
    WarningCollector collector;
    ZipReader reader(&buffer);
    QCOMPARE(reader.extractAll(destination), refusals == 0);
    QCOMPARE(collector.warnings.filter(QStringLiteral("QZip: Refusing to extract")).size(), refusals);

    QStringList expectedTree{"dest", "dest/inner"};
    for (const QString &path : extracted)
        expectedTree << QStringLiteral("dest/inner/") + path;
    expectedTree.sort();
    QCOMPARE(treeBelow(root.path()), expectedTree);
    QVERIFY(!QFile::exists(QStringLiteral("/tmp/zip-escape.txt")));
}

void TestZipReader::refusesPathThroughExistingSymLink()
{
    QTemporaryDir root;
    const QString destination = root.filePath(QStringLiteral("dest"));
    const QString outside = root.filePath(QStringLiteral("outside"));
    QVERIFY(QDir().mkpath(destination) && QDir().mkpath(outside));
    QVERIFY(QFile::link(outside, destination + QStringLiteral("/out")));

    QByteArray bytes = buildArchive({entry("out/planted.txt", "evil"), entry("kept.txt", "kept")});
    QBuffer buffer(&bytes);
    WarningCollector collector;
    ZipReader reader(&buffer);
    QVERIFY(!reader.extractAll(destination));
    QCOMPARE(collector.warnings, QStringList{
        "QZip: Refusing to extract out/planted.txt: its path runs through a symbolic link"});
    QVERIFY(QDir(outside).isEmpty());
    QVERIFY(QFile::exists(destination + QStringLiteral("/kept.txt")));
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
        QByteArray cut = whole.left(length);
        QBuffer buffer(&cut);
        ZipReader reader(&buffer);
        const QVector<ZipReader::FileInfo> infos = reader.fileInfoList();
        QVERIFY(infos.size() <= 4);
        for (const ZipReader::FileInfo &info : infos)
            QVERIFY(reader.fileData(info.filePath).size() <= info.size);
        if (length % 16 == 0 || length == whole.size()) {
            const QString destination = root.filePath(QString::number(length));
            QVERIFY(QDir().mkpath(destination));
            const bool complete = reader.extractAll(destination);
            QCOMPARE(complete || length < whole.size(), true);
        }
    }
    QCOMPARE(treeBelow(root.path()).filter(QRegularExpression(QStringLiteral("^[^/]*\\.\\."))).size(), 0);
}

QTEST_GUILESS_MAIN(TestZipReader)
#include "tst_zipreader.moc"
