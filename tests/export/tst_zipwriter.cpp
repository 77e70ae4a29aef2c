#include <configurator-common/zipreader.h>
#include <configurator-common/zipwriter.h>

#include "ziptestsupport.h"

#include <QBuffer>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

using namespace ZipTest;

Q_DECLARE_METATYPE(ZipWriter::CompressionPolicy)

namespace {

enum Kind { DirectoryKind, FileKind, DeviceFileKind, OpenDeviceFileKind, SymLinkKind };

struct Item
{
    Kind kind;
    QString name;       // as given to the writer
    QByteArray contents;
    int mode;           // permission bits
};

QVector<Item> sampleItems()
{
    QByteArray text;
    for (int i = 0; i < 3000; ++i)
        text += "Measurement " + QByteArray::number(i) + ": value within tolerance\n";
    return {
        {FileKind, QStringLiteral("empty.txt"), QByteArray(), 0600},   // the writer's default mode
        {DirectoryKind, QStringLiteral("docs"), QByteArray(), 0755},
        {DirectoryKind, QStringLiteral("docs/sub/"), QByteArray(), 0750},
        {FileKind, QStringLiteral("docs/report.txt"), text, 0644},
        {FileKind, QStringLiteral("63.bin"), QByteArray(63, 'x'), 0600},
        {FileKind, QStringLiteral("64.bin"), QByteArray(64, 'x'), 0600},
        {FileKind, QStringLiteral("random.bin"), incompressible(200000), 0640},
        {FileKind, QString::fromUtf8("r\xc3\xa9sum\xc3\xa9/\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf.txt"), "utf-8", 0644},
        {DeviceFileKind, QStringLiteral("from-device.txt"), text.left(5000), 0600},
        {OpenDeviceFileKind, QStringLiteral("from-open-device.txt"), "tail of the device", 0600},
        {SymLinkKind, QStringLiteral("latest"), "docs/report.txt", 0777},
        {FileKind, QStringLiteral("run.sh"), "#!/bin/sh\necho ok\n", 0755},
    };
}

// Directories are stored with exactly one trailing slash.
QString storedName(const Item &item)
{
    return item.kind == DirectoryKind && !item.name.endsWith(QLatin1Char('/')) ? item.name + QLatin1Char('/')
                                                                             : item.name;
}

quint32 typeBits(Kind kind)
{
    return kind == DirectoryKind ? 0x4000 : kind == SymLinkKind ? 0xA000 : 0x8000;
}

void writeItems(ZipWriter *writer, const QVector<Item> &items)
{
    for (const Item &item : items) {
        if (writer->creationPermissions() != permissionsOfMode(item.mode))
            writer->setCreationPermissions(permissionsOfMode(item.mode));
        if (item.kind == DirectoryKind) {
            writer->addDirectory(item.name);
        } else if (item.kind == FileKind) {
            writer->addFile(item.name, item.contents);
        } else if (item.kind == SymLinkKind) {
            writer->addSymLink(item.name, QString::fromUtf8(item.contents));
        } else {
            // A closed device is opened for the copy and closed again; an open
            // one is read from where it stands and left open.
            const bool open = item.kind == OpenDeviceFileKind;
            QBuffer source;
            source.setData(open ? "skipped " + item.contents : item.contents);
            QVERIFY(!open || (source.open(QIODevice::ReadOnly) && source.seek(8)));
            writer->addFile(item.name, &source);
            QCOMPARE(source.isOpen(), open);
        }
    }
}

// The offsets chain: each local header starts where the previous entry's data
// ended, the directory right after the last one, the end record after it.
void verifyLayout(const QJsonObject &fields, int entries)
{
    const QJsonArray records = fields.value("records").toArray();
    QCOMPARE(records.size(), entries);
    qint64 expectedOffset = 0;
    for (const QJsonValue &value : records) {
        QCOMPARE(qint64(value["offset"].toDouble()), expectedOffset);
        QVERIFY(value["localHeaderMatches"].toBool());
        expectedOffset = qint64(value["dataEnd"].toDouble());
    }
    const qint64 endOffset = qint64(fields.value("endOffset").toDouble());
    QCOMPARE(qint64(fields.value("directoryOffset").toDouble()), expectedOffset);
    QCOMPARE(endOffset, expectedOffset + qint64(fields.value("directorySize").toDouble()));
    QCOMPARE(qint64(fields.value("fileSize").toDouble()), endOffset + 22);
    QCOMPARE(fields.value("entries").toInt(), entries);
    QCOMPARE(fields.value("entriesOnDisk").toInt(), entries);
    QCOMPARE(fields.value("disk").toInt() + fields.value("directoryDisk").toInt()
             + fields.value("commentLength").toInt(), 0);
}

} // namespace

class TestZipWriter : public QObject
{
    Q_OBJECT

private slots:
    void peersAcceptWrittenArchives_data();
    void peersAcceptWrittenArchives();
    void emptyArchiveIsOnlyTheEndRecord();
    void longNameIsChopped();
    void reportsFailuresAndWritesNothing();

private:
    QTemporaryDir work;
};

void TestZipWriter::peersAcceptWrittenArchives_data()
{
    QTest::addColumn<ZipWriter::CompressionPolicy>("policy");
    QTest::newRow("always") << ZipWriter::AlwaysCompress;
    QTest::newRow("never") << ZipWriter::NeverCompress;
    QTest::newRow("auto") << ZipWriter::AutoCompress;
}

void TestZipWriter::peersAcceptWrittenArchives()
{
    QFETCH(ZipWriter::CompressionPolicy, policy);
    const QString path = work.filePath(QStringLiteral("written-%1.zip").arg(int(policy)));
    const QVector<Item> items = sampleItems();
    const QDateTime before = QDateTime::currentDateTime().addSecs(-2);
    {
        ZipWriter writer(path);
        QCOMPARE(writer.status(), ZipWriter::NoError);
        QVERIFY(writer.isWritable());
        writer.setCompressionPolicy(policy);
        writeItems(&writer, items);
    }   // the destructor finishes the archive
    const QDateTime after = QDateTime::currentDateTime().addSecs(2);

    const PeerRun unzip = runPeer(QStringLiteral("unzip"), {"-t", path});
    QVERIFY2(unzip.exitCode == 0 && unzip.output.contains("No errors detected"), unzip.output.constData());
    const PeerRun sevenZip = runPeer(QStringLiteral("7z"), {"t", path});
    QVERIFY2(sevenZip.exitCode == 0 && sevenZip.output.contains("Everything is Ok"), sevenZip.output.constData());
    const QJsonObject fields = pythonView(QStringLiteral("fields"), path);
    QVERIFY(fields.contains("testzip"));
    QVERIFY2(fields.value("testzip").isNull(), qPrintable(fields.value("testzip").toString()));
    verifyLayout(fields, items.size());

    const QJsonArray records = fields.value("records").toArray();
    const QJsonArray dumped = pythonView(QStringLiteral("dump"), path).value("entries").toArray();
    QCOMPARE(dumped.size(), items.size());
    for (int i = 0; i < items.size(); ++i) {
        const Item &item = items.at(i);
        const QJsonObject record = records.at(i).toObject();
        const bool deflated = policy == ZipWriter::AlwaysCompress
                || (policy == ZipWriter::AutoCompress && item.contents.size() >= 64);
        const QJsonObject expected{{"name", storedName(item)}, {"method", deflated ? 8 : 0},
                {"size", item.contents.size()}, {"crc", double(crcOf(item.contents))},
                {"externalAttributes", double((quint32(item.mode) | typeBits(item.kind)) << 16)},
                {"flags", 0x0800}, {"createSystem", 3}, {"createVersion", 0}, {"extractVersion", 20}};
        for (const QString &key : expected.keys())
            QVERIFY2(record.value(key) == expected.value(key), qPrintable(storedName(item) + ": " + key));
        const QByteArray rawData = QByteArray::fromBase64(record.value("rawData").toString().toLatin1());
        if (!deflated)
            QCOMPARE(rawData, item.contents);
        else if (item.contents.isEmpty())
            QCOMPARE(rawData, QByteArray("\x03\x00", 2));   // the empty deflate stream
        QCOMPARE(QByteArray::fromBase64(dumped.at(i)["data"].toString().toLatin1()), item.contents);
    }

    // zipfile has checked names, modes and contents; the time stamps are the writing time.
    ZipReader reader(path);
    for (const ZipReader::FileInfo &info : reader.fileInfoList())
        QVERIFY2(info.lastModified >= before && info.lastModified <= after, qPrintable(info.filePath));
    QCOMPARE(reader.count(), items.size());
}

void TestZipWriter::emptyArchiveIsOnlyTheEndRecord()
{
    const QString path = work.filePath(QStringLiteral("empty.zip"));
    ZipWriter writer(path);
    writer.close();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    QCOMPARE(runPeer(QStringLiteral("python3"),
                     {"-c", "import sys, zipfile; sys.exit(len(zipfile.ZipFile(sys.argv[1]).infolist()))", path})
                 .exitCode, 0);
    // unzip only warns that the archive is empty (exit 1); 7-Zip accepts it.
    QCOMPARE(runPeer(QStringLiteral("7z"), {"t", path}).exitCode, 0);
}

void TestZipWriter::longNameIsChopped()
{
    const QString path = work.filePath(QStringLiteral("long.zip"));
    {
        ZipWriter writer(path);
        QTest::ignoreMessage(QtWarningMsg, "QZip: Filename is too long, chopping it to 65535 bytes");
        writer.addFile(QString(70000, QLatin1Char('n')), QByteArray("x"));
    }
    const QJsonObject fields = pythonView(QStringLiteral("fields"), path);
    QCOMPARE(fields.value("records")[0]["name"].toString(), QString(65535, QLatin1Char('n')));
    verifyLayout(fields, 1);
}

void TestZipWriter::reportsFailuresAndWritesNothing()
{
    ZipWriter badPath(work.filePath(QStringLiteral("no/such/dir/out.zip")));
    QCOMPARE(badPath.status(), ZipWriter::FileOpenError);
    QVERIFY(!badPath.exists() && !badPath.isWritable());

    // A device that never got an entry is neither opened nor written.
    QBuffer untouched;
    {
        ZipWriter writer(&untouched);
        QCOMPARE(writer.status(), ZipWriter::NoError);
        QVERIFY(writer.exists());
        QCOMPARE(writer.compressionPolicy(), ZipWriter::AlwaysCompress);
        QCOMPARE(writer.creationPermissions(), QFile::ReadOwner | QFile::WriteOwner);
    }
    QVERIFY(!untouched.isOpen() && untouched.data().isEmpty());

    QFile missing(work.filePath(QStringLiteral("no-such-source")));
    QBuffer archive;
    ZipWriter writer(&archive);
    writer.addFile(QStringLiteral("missing"), &missing);
    QCOMPARE(writer.status(), ZipWriter::FileOpenError);
    writer.close();
    QVERIFY(archive.data().isEmpty());
}

QTEST_GUILESS_MAIN(TestZipWriter)
#include "tst_zipwriter.moc"
