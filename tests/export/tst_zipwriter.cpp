#include <configurator-common/zipreader.h>
#include <configurator-common/zipwriter.h>

#include "ziptestsupport.h"

#include <QBuffer>
#include <QDir>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace ZipTest;

namespace {

enum Kind { DirectoryKind, FileKind, DeviceFileKind, SymLinkKind };

struct Item
{
    Kind kind;
    QString name;       // as given to the writer
    QByteArray contents;
    int mode;           // permission bits
};

constexpr quint32 kDirectoryType = 0x4000;
constexpr quint32 kFileType = 0x8000;
constexpr quint32 kSymLinkType = 0xA000;

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

QByteArray incompressible(int size)
{
    QByteArray data(size, '\0');
    QRandomGenerator generator(7);
    for (char &c : data)
        c = char(generator.bounded(256));
    return data;
}

QVector<Item> sampleItems()
{
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "Measurement " + QByteArray::number(i) + ": value within tolerance\n";
    return {
        {DirectoryKind, QStringLiteral("docs"), QByteArray(), 0755},
        {FileKind, QStringLiteral("docs/report.txt"), text, 0644},
        {FileKind, QStringLiteral("empty.txt"), QByteArray(), 0600},
        {FileKind, QStringLiteral("63.bin"), QByteArray(63, 'x'), 0600},
        {FileKind, QStringLiteral("64.bin"), QByteArray(64, 'x'), 0600},
        {FileKind, QStringLiteral("random.bin"), incompressible(200000), 0640},
        {FileKind, QString::fromUtf8("r\xc3\xa9sum\xc3\xa9/\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf.txt"), "utf-8", 0644},
        {DeviceFileKind, QStringLiteral("from-device.txt"), text.left(5000), 0600},
        {SymLinkKind, QStringLiteral("latest"), "docs/report.txt", 0777},
        {FileKind, QStringLiteral("run.sh"), "#!/bin/sh\necho ok\n", 0755},
    };
}

QString storedName(const Item &item)
{
    return item.kind == DirectoryKind ? item.name + QLatin1Char('/') : item.name;
}

quint32 typeBits(Kind kind)
{
    return kind == DirectoryKind ? kDirectoryType : kind == SymLinkKind ? kSymLinkType : kFileType;
}

void writeItems(ZipWriter *writer, const QVector<Item> &items)
{
    for (const Item &item : items) {
        writer->setCreationPermissions(permissionsOfMode(item.mode));
        switch (item.kind) {
        case DirectoryKind:
            writer->addDirectory(item.name);
            break;
        case FileKind:
            writer->addFile(item.name, item.contents);
            break;
        case DeviceFileKind: {
            QBuffer source;
            source.setData(item.contents);
            writer->addFile(item.name, &source);
            QVERIFY(!source.isOpen());
            break;
        }
        case SymLinkKind:
            writer->addSymLink(item.name, QString::fromUtf8(item.contents));
            break;
        }
    }
}

QJsonObject fieldsOf(const QString &path)
{
    return pythonView(QStringLiteral("fields"), path);
}

// The offsets chain: each local header starts where the previous entry's data
// ended, the directory right after the last one, the end record after it.
void verifyLayout(const QJsonObject &fields, int entries)
{
    const QJsonArray records = fields.value("records").toArray();
    QCOMPARE(records.size(), entries);
    qint64 expectedOffset = 0;
    for (const QJsonValue &value : records) {
        const QJsonObject record = value.toObject();
        QCOMPARE(qint64(record.value("offset").toDouble()), expectedOffset);
        QVERIFY(record.value("localHeaderMatches").toBool());
        expectedOffset = qint64(record.value("dataEnd").toDouble());
    }
    QCOMPARE(qint64(fields.value("directoryOffset").toDouble()), expectedOffset);
    QCOMPARE(qint64(fields.value("endOffset").toDouble()),
             expectedOffset + qint64(fields.value("directorySize").toDouble()));
    QCOMPARE(qint64(fields.value("fileSize").toDouble()), qint64(fields.value("endOffset").toDouble()) + 22);
    QCOMPARE(fields.value("entries").toInt(), entries);
    QCOMPARE(fields.value("entriesOnDisk").toInt(), entries);
    QCOMPARE(fields.value("disk").toInt(), 0);
    QCOMPARE(fields.value("directoryDisk").toInt(), 0);
    QCOMPARE(fields.value("commentLength").toInt(), 0);
}

QJsonObject recordNamed(const QJsonObject &fields, const QString &name)
{
    for (const QJsonValue &value : fields.value("records").toArray()) {
        if (value.toObject().value("name").toString() == name)
            return value.toObject();
    }
    return QJsonObject();
}

} // namespace

class TestZipWriter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void peersAcceptWrittenArchives_data();
    void peersAcceptWrittenArchives();
    void autoCompressStoresShortContents_data();
    void autoCompressStoresShortContents();
    void directoryIsDeflatedToEmptyStream();
    void defaultPermissionsGiveMode0600();
    void directoryNameGetsOneTrailingSlash_data();
    void directoryNameGetsOneTrailingSlash();
    void emptyArchiveIsOnlyTheEndRecord();
    void neverOpenedDeviceGetsNothing();
    void longNameIsChopped();
    void addsFileFromOpenDeviceAndLeavesItOpen();
    void reportsSourceDeviceThatCannotOpen();
    void reportsOpenFailure();
    void destructorFinishesArchive();
    void readsBackWhatItWrote();

private:
    QTemporaryDir work;
};

void TestZipWriter::initTestCase()
{
    QVERIFY(work.isValid());
    for (const char *peer : {"python3", "unzip", "7z"}) {
        if (!hasPeer(QString::fromLatin1(peer)))
            QSKIP(qPrintable(QStringLiteral("peer program %1 is missing").arg(QLatin1String(peer))));
    }
}

void TestZipWriter::peersAcceptWrittenArchives_data()
{
    QTest::addColumn<int>("policy");
    QTest::newRow("always") << int(ZipWriter::AlwaysCompress);
    QTest::newRow("never") << int(ZipWriter::NeverCompress);
    QTest::newRow("auto") << int(ZipWriter::AutoCompress);
}

void TestZipWriter::peersAcceptWrittenArchives()
{
    QFETCH(int, policy);
    const QString path = work.filePath(QStringLiteral("written-%1.zip").arg(policy));
    const QVector<Item> items = sampleItems();
    {
        ZipWriter writer(path);
        QCOMPARE(writer.status(), ZipWriter::NoError);
        QVERIFY(writer.isWritable());
        writer.setCompressionPolicy(ZipWriter::CompressionPolicy(policy));
        QCOMPARE(writer.compressionPolicy(), ZipWriter::CompressionPolicy(policy));
        writeItems(&writer, items);
        writer.close();
    }

    const PeerRun unzip = runPeer(QStringLiteral("unzip"), {"-t", path});
    QVERIFY2(unzip.exitCode == 0 && unzip.output.contains("No errors detected"), unzip.output.constData());
    const PeerRun sevenZip = runPeer(QStringLiteral("7z"), {"t", path});
    QVERIFY2(sevenZip.exitCode == 0 && sevenZip.output.contains("Everything is Ok"), sevenZip.output.constData());

    const QJsonObject fields = fieldsOf(path);
    QVERIFY(fields.contains("testzip"));
    QVERIFY2(fields.value("testzip").isNull(), qPrintable(fields.value("testzip").toString()));
    verifyLayout(fields, items.size());

    const QJsonArray records = fields.value("records").toArray();
    for (int i = 0; i < items.size(); ++i) {
        const Item &item = items.at(i);
        const QJsonObject record = records.at(i).toObject();
        const bool deflated = policy == ZipWriter::AlwaysCompress
                || (policy == ZipWriter::AutoCompress && item.contents.size() >= 64);
        QCOMPARE(record.value("name").toString(), storedName(item));
        QCOMPARE(record.value("method").toInt(), deflated ? 8 : 0);
        QCOMPARE(qint64(record.value("size").toDouble()), qint64(item.contents.size()));
        if (!deflated)
            QCOMPARE(qint64(record.value("compressedSize").toDouble()), qint64(item.contents.size()));
        QCOMPARE(quint32(record.value("crc").toDouble()), crcOf(item.contents));
        QCOMPARE(quint32(record.value("externalAttributes").toDouble()),
                 (quint32(item.mode) | typeBits(item.kind)) << 16);
        QCOMPARE(record.value("flags").toInt(), 0x0800);
        QCOMPARE(record.value("createSystem").toInt(), 3);
        QCOMPARE(record.value("createVersion").toInt(), 0);
        QCOMPARE(record.value("extractVersion").toInt(), 20);
    }

    // What zipfile reads back is what was given.
    const QJsonArray dumped = pythonView(QStringLiteral("dump"), path).value("entries").toArray();
    QCOMPARE(dumped.size(), items.size());
    for (int i = 0; i < items.size(); ++i)
        QCOMPARE(QByteArray::fromBase64(dumped.at(i).toObject().value("data").toString().toLatin1()),
                 items.at(i).contents);
}

void TestZipWriter::autoCompressStoresShortContents_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("method");
    QTest::newRow("63 stored") << 63 << 0;
    QTest::newRow("64 deflated") << 64 << 8;
}

void TestZipWriter::autoCompressStoresShortContents()
{
    QFETCH(int, size);
    QFETCH(int, method);
    const QString path = work.filePath(QStringLiteral("auto-%1.zip").arg(size));
    {
        ZipWriter writer(path);
        writer.setCompressionPolicy(ZipWriter::AutoCompress);
        writer.addFile(QStringLiteral("f"), QByteArray(size, 'a'));
    }
    const QJsonObject record = fieldsOf(path).value("records").toArray().at(0).toObject();
    QCOMPARE(record.value("method").toInt(), method);
    if (method == 0)
        QCOMPARE(record.value("compressedSize").toInt(), size);
    else
        QVERIFY(record.value("compressedSize").toInt() < size);
}

void TestZipWriter::directoryIsDeflatedToEmptyStream()
{
    const QString path = work.filePath(QStringLiteral("dir.zip"));
    {
        ZipWriter writer(path);
        writer.addDirectory(QStringLiteral("d"));
    }
    const QJsonObject record = fieldsOf(path).value("records").toArray().at(0).toObject();
    QCOMPARE(record.value("method").toInt(), 8);
    QCOMPARE(record.value("size").toInt(), 0);
    QCOMPARE(record.value("crc").toInt(), 0);
    QCOMPARE(QByteArray::fromBase64(record.value("rawData").toString().toLatin1()), QByteArray("\x03\x00", 2));
}

void TestZipWriter::defaultPermissionsGiveMode0600()
{
    const QString path = work.filePath(QStringLiteral("default.zip"));
    {
        ZipWriter writer(path);
        QCOMPARE(writer.creationPermissions(), QFile::ReadOwner | QFile::WriteOwner);
        writer.addFile(QStringLiteral("f"), QByteArray("data"));
        writer.setCreationPermissions(permissionsOfMode(0755));
        QCOMPARE(writer.creationPermissions(), permissionsOfMode(0755));
        writer.addFile(QStringLiteral("g"), QByteArray("data"));
    }
    const QJsonObject fields = fieldsOf(path);
    QCOMPARE(quint32(recordNamed(fields, "f").value("externalAttributes").toDouble()), 0x81800000u);
    QCOMPARE(quint32(recordNamed(fields, "g").value("externalAttributes").toDouble()), 0x81ed0000u);
}

void TestZipWriter::directoryNameGetsOneTrailingSlash_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("stored");
    QTest::newRow("native separators") << QDir::toNativeSeparators(QStringLiteral("a/b")) << "a/b/";
    QTest::newRow("already slashed") << QStringLiteral("a/b/") << "a/b/";
}

void TestZipWriter::directoryNameGetsOneTrailingSlash()
{
    QFETCH(QString, given);
    QFETCH(QString, stored);
    const QString path = work.filePath(QStringLiteral("dirname.zip"));
    {
        ZipWriter writer(path);
        writer.setCreationPermissions(permissionsOfMode(0750));
        writer.addDirectory(given);
    }
    const QJsonObject record = fieldsOf(path).value("records").toArray().at(0).toObject();
    QCOMPARE(record.value("name").toString(), stored);
    QCOMPARE(quint32(record.value("externalAttributes").toDouble()), (0x4000u | 0750u) << 16);
}

void TestZipWriter::emptyArchiveIsOnlyTheEndRecord()
{
    const QString path = work.filePath(QStringLiteral("empty.zip"));
    {
        ZipWriter writer(path);
        writer.close();
    }
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    QCOMPARE(runPeer(QStringLiteral("python3"),
                     {"-c", "import sys, zipfile; sys.exit(len(zipfile.ZipFile(sys.argv[1]).infolist()))", path})
                 .exitCode, 0);
    // unzip only warns that the archive is empty (exit 1); 7-Zip accepts it.
    QCOMPARE(runPeer(QStringLiteral("7z"), {"t", path}).exitCode, 0);
}

void TestZipWriter::neverOpenedDeviceGetsNothing()
{
    QBuffer buffer;
    {
        ZipWriter writer(&buffer);
        QCOMPARE(writer.status(), ZipWriter::NoError);
        QVERIFY(writer.exists());
        writer.close();
    }
    QVERIFY(!buffer.isOpen());
    QVERIFY(buffer.data().isEmpty());
}

void TestZipWriter::longNameIsChopped()
{
    const QString path = work.filePath(QStringLiteral("long.zip"));
    {
        ZipWriter writer(path);
        QTest::ignoreMessage(QtWarningMsg, "QZip: Filename is too long, chopping it to 65535 bytes");
        writer.addFile(QString(70000, QLatin1Char('n')), QByteArray("x"));
    }
    const QJsonObject fields = fieldsOf(path);
    QCOMPARE(fields.value("records").toArray().at(0).toObject().value("name").toString(),
             QString(65535, QLatin1Char('n')));
    verifyLayout(fields, 1);
}

void TestZipWriter::addsFileFromOpenDeviceAndLeavesItOpen()
{
    QBuffer source;
    source.setData("0123456789");
    QVERIFY(source.open(QIODevice::ReadOnly));
    QVERIFY(source.seek(4));
    QBuffer archive;
    {
        ZipWriter writer(&archive);
        writer.addFile(QStringLiteral("tail"), &source);
        QVERIFY(source.isOpen());
    }
    ZipReader reader(&archive);
    QCOMPARE(reader.fileData(QStringLiteral("tail")), QByteArray("456789"));
}

void TestZipWriter::reportsSourceDeviceThatCannotOpen()
{
    QFile missing(work.filePath(QStringLiteral("no-such-source")));
    QBuffer archive;
    ZipWriter writer(&archive);
    writer.addFile(QStringLiteral("missing"), &missing);
    QCOMPARE(writer.status(), ZipWriter::FileOpenError);
    writer.close();
    QVERIFY(archive.data().isEmpty());
}

void TestZipWriter::reportsOpenFailure()
{
    ZipWriter writer(work.filePath(QStringLiteral("no/such/dir/out.zip")));
    QCOMPARE(writer.status(), ZipWriter::FileOpenError);
    QVERIFY(!writer.exists());
    QVERIFY(!writer.isWritable());
}

void TestZipWriter::destructorFinishesArchive()
{
    const QString path = work.filePath(QStringLiteral("destructor.zip"));
    {
        ZipWriter writer(path);
        writer.addFile(QStringLiteral("a.txt"), QByteArray("kept by the destructor"));
    }
    QCOMPARE(runPeer(QStringLiteral("unzip"), {"-t", path}).exitCode, 0);
}

void TestZipWriter::readsBackWhatItWrote()
{
    QBuffer archive;
    const QVector<Item> items = sampleItems();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    {
        ZipWriter writer(&archive);
        writer.setCompressionPolicy(ZipWriter::AutoCompress);
        writeItems(&writer, items);
    }
    const QDateTime after = QDateTime::currentDateTime().addSecs(2);
    ZipReader reader(&archive);
    QCOMPARE(reader.count(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        const Item &item = items.at(i);
        const ZipReader::FileInfo info = reader.entryInfoAt(i);
        QCOMPARE(info.filePath, item.name);
        QCOMPARE(bool(info.isDir), item.kind == DirectoryKind);
        QCOMPARE(bool(info.isSymLink), item.kind == SymLinkKind);
        QCOMPARE(info.permissions, permissionsOfMode(item.mode));
        QCOMPARE(info.size, qint64(item.contents.size()));
        QVERIFY(info.lastModified >= before && info.lastModified <= after);
        QCOMPARE(reader.fileData(info.filePath), item.contents);
    }

    QTemporaryDir out;
    QVERIFY(reader.extractAll(out.path()));
    QCOMPARE(QFile::symLinkTarget(out.filePath(QStringLiteral("latest"))),
             out.filePath(QStringLiteral("docs/report.txt")));
    QCOMPARE(QFile::permissions(out.filePath(QStringLiteral("run.sh"))), permissionsOfMode(0755));
}

QTEST_GUILESS_MAIN(TestZipWriter)
#include "tst_zipwriter.moc"
