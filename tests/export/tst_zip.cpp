// ZipWriter and ZipReader against Python's zipfile, Info-ZIP's unzip and
// LibreOffice, on random trees from a fixed seed and on hostile archives.

#include <configurator-common/zipreader.h>
#include <configurator-common/zipwriter.h>

#include <QBuffer>
#include <QDirIterator>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <zlib.h>

namespace {

// The exit code, or -1 when the peer crashed or ran out of time.
int runPeer(const QString &program, const QStringList &arguments, QByteArray *output)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    const bool ours = program == QLatin1String("zippeer");
    process.start(ours ? QStringLiteral("python3") : program,
                  ours ? QStringList{QStringLiteral(CC_SOURCE_DIR "/tests/export/zippeer.py")} + arguments : arguments);
    if (!process.waitForFinished(120000))
        process.kill();
    process.waitForFinished();
    *output = process.readAll();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}
#define PEER(...) do { QByteArray out_; QVERIFY2(runPeer(__VA_ARGS__, &out_) == 0, out_.constData()); } while (0)

QStringList warnings;  // every warning since the last clear()

// One entry of a hand-made archive whose every field can lie; sizes and CRC default to the truth.
struct RawEntry
{
    RawEntry(const QByteArray &name = {}, const QByteArray &contents = {}, quint16 method = 0, quint16 flags = 0,
             quint32 attributes = 0x81a40000)    // method 0 stored, 8 deflated here
        : name(name), contents(contents), method(method), flags(flags), externalAttributes(attributes) {}
    QByteArray name, contents;
    quint16 method, flags;
    quint32 externalAttributes;
    quint16 versionMadeBy = 0x031e, versionNeeded = 20;   // made on Unix
    quint32 dosTimeDate = 0x50ad6d7d;
    qint64 compressedSize = -1, uncompressedSize = -1, localHeaderOffset = -1;
    QByteArray payload;             // replaces the stored or deflated contents
    template <typename T, typename V>
    RawEntry with(T RawEntry::*field, V value) const { RawEntry e = *this; e.*field = T(value); return e; }
};

struct Hostile
{
    QByteArray archive, truth;  // truth: what the entry really holds
    QString name;
    bool whole, extracted;      // fileData gives all of it, else a prefix; what extractAll returns
    QStringList warnings, tree; // tree: below the destination, beside the link "out" planted there
};

QByteArray buildArchive(const QVector<RawEntry> &entries)
{
    QByteArray out, directory;
    const auto le = [](QByteArray *to, quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            to->append(char(value >> (8 * i)));
    };
    for (const RawEntry &e : entries) {
        // qCompress puts 6 bytes before raw deflate data and 4 after.
        const QByteArray payload = !e.payload.isNull() ? e.payload
                : e.method == 8 ? qCompress(e.contents).mid(6).chopped(4) : e.contents;
        const std::pair<qint64, int> fields[] = {{e.versionNeeded, 2}, {e.flags, 2}, {e.method, 2},
                {e.dosTimeDate, 4}, {crc32(0, reinterpret_cast<const Bytef *>(e.contents.data()), uInt(e.contents.size())), 4},
                {e.compressedSize >= 0 ? e.compressedSize : payload.size(), 4},
                {e.uncompressedSize >= 0 ? e.uncompressedSize : e.contents.size(), 4}, {e.name.size(), 4}};
        QByteArray common;
        for (const auto &[value, bytes] : fields)
            le(&common, quint64(value), bytes);
        le(&directory, 0x02014b50 | quint64(e.versionMadeBy) << 32, 6);
        directory += common;
        le(&directory, 0, 6);
        le(&directory, e.externalAttributes | quint64(e.localHeaderOffset >= 0 ? e.localHeaderOffset : out.size()) << 32, 8);
        directory += e.name;
        le(&out, 0x04034b50, 4);
        out += common + e.name + payload;
    }
    const quint64 size = quint64(directory.size());
    le(&directory, 0x06054b50, 8);
    le(&directory, entries.size() * 0x10001ull | size << 32, 8);
    le(&directory, quint64(out.size()), 6);
    return out + directory;
}

// "path:mode" of everything below root, links not followed.
QStringList treeBelow(const QString &root)
{
    QStringList paths;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    for (struct stat st; it.hasNext() && ::lstat(QFile::encodeName(it.next()).constData(), &st) == 0;)
        paths << QDir(root).relativeFilePath(it.filePath()) + QLatin1Char(':') + QString::number(st.st_mode & 0777, 8);
    paths.sort();
    return paths;
}

} // namespace

Q_DECLARE_METATYPE(Hostile)

class TestZip : public QObject
{
    Q_OBJECT

    QTemporaryDir work;

private slots:
    void initTestCase()
    {
        ::umask(022);   // removes bits, so that masking the stored modes shows
        qputenv("LC_ALL", "C.UTF-8");   // the peers' names are UTF-8 whatever the test's locale
        qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
            if (type == QtWarningMsg)
                warnings << message;
        });
    }

    void peersReadWrittenTrees_data()
    {
        QTest::addColumn<int>("seed");
        for (int seed = 1; seed <= 6; ++seed)
            QTest::newRow(qPrintable(QStringLiteral("seed %1").arg(seed))) << seed;
    }

    // A random tree, written with each policy in turn, reads back whole in zipfile
    // and extracts with unzip to the same tree.
    void peersReadWrittenTrees()
    {
        QFETCH(int, seed);
        QTemporaryDir dir;
        const QString tree = dir.filePath(QStringLiteral("tree")), archive = dir.filePath(QStringLiteral("out.zip"));
        PEER("zippeer", {"tree", QString::number(seed), tree});
        {
            ZipWriter writer(archive);
            writer.setCompressionPolicy(ZipWriter::CompressionPolicy(seed % 3));
            QDirIterator it(tree, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDirIterator::Subdirectories);
            for (int i = 0; it.hasNext(); ++i) {
                const QFileInfo info(it.next());
                const QString name = QDir(tree).relativeFilePath(info.filePath());
                writer.setCreationPermissions(info.isSymLink() ? QFile::Permissions(0x7777) : info.permissions());
                QFile source(info.filePath());
                if (info.isSymLink())
                    writer.addSymLink(name, info.dir().relativeFilePath(info.symLinkTarget()));
                else if (info.isDir())
                    writer.addDirectory(name);
                else if (i % 3 == 0 && source.open(QIODevice::ReadOnly))
                    writer.addFile(name, source.readAll());
                // A closed device is opened for the copy and closed again; an open one is left open.
                else if (i % 3 == 1 || source.open(QIODevice::ReadOnly))
                    writer.addFile(name, &source);
                QCOMPARE(source.isOpen(), info.isFile() && !info.isSymLink() && i % 3 != 1);
            }
        }
        PEER("zippeer", {"check", archive, tree});
        PEER("unzip", {"-q", archive, "-d", dir.filePath(QStringLiteral("unzipped"))});
        PEER("zippeer", {"compare", tree, dir.filePath(QStringLiteral("unzipped"))});
    }

    void writerEdgeCases()
    {
        warnings.clear();
        const QString empty = work.filePath(QStringLiteral("empty.zip")), chopped = work.filePath(QStringLiteral("long.zip"));
        {
            ZipWriter writer(empty);
            QCOMPARE(writer.compressionPolicy(), ZipWriter::AlwaysCompress);
            QCOMPARE(writer.creationPermissions(), QFile::ReadOwner | QFile::WriteOwner);
            ZipWriter(chopped).addFile(QString(70000, QLatin1Char('n')), QByteArray("x"));
        }
        QCOMPARE(warnings, QStringList{"QZip: Filename is too long, chopping it to 65535 bytes"});
        QByteArray out;
        QCOMPARE(runPeer(QStringLiteral("python3"), {"-c", "import os, sys, zipfile\nfor a in sys.argv[1:]:\n z = zipfile.ZipFile(a); "
                         "print([(len(i.filename), z.read(i), z.testzip()) for i in z.infolist()], os.path.getsize(a))",
                         empty, chopped}, &out), 0);
        QCOMPARE(out, QByteArray("[] 22\n[(65535, b'x', None)] 131171\n"));

        QCOMPARE(ZipWriter(work.filePath(QStringLiteral("no/such/dir/out.zip"))).status(), ZipWriter::FileOpenError);
        // A device whose only entry failed is left untouched.
        QBuffer archive;
        QFile missing(work.filePath(QStringLiteral("no-such-source")));
        ZipWriter writer(&archive);
        writer.addFile(QStringLiteral("missing"), &missing);
        QCOMPARE(writer.status(), ZipWriter::FileOpenError);
        writer.close();
        QVERIFY(archive.data().isEmpty() && writer.device() == &archive && writer.exists() && !writer.isWritable());
        // An archive that cannot be read gives a status, not an empty list.
        ZipReader missingArchive(work.filePath(QStringLiteral("no-such.zip")));
        QVERIFY(missingArchive.status() == ZipReader::FileOpenError && !missingArchive.exists() && !missingArchive.isReadable());
        QVERIFY(archive.open(QIODevice::WriteOnly));
        ZipReader writeOnly(&archive);
        QVERIFY(writeOnly.fileInfoList().isEmpty() && writeOnly.status() == ZipReader::FileReadError && writeOnly.device() == &archive);
    }

    void extractsAsUnzipDoes_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QString>("tree");    // what the archive holds; empty: unzip's extraction alone
        for (int seed = 1; seed <= 3; ++seed) {
            const QString tree = work.filePath(QStringLiteral("tree%1").arg(seed));
            PEER("zippeer", {"tree", QString::number(seed), tree});
            for (const QString how : {"stored", "deflated", "stream"}) {
                PEER("zippeer", {"pack", tree, tree + how + ".zip", how});
                QTest::newRow(qPrintable(QStringLiteral("seed %1 %2").arg(seed).arg(how))) << tree + how + ".zip" << tree;
            }
        }
        // LibreOffice's own package: FAT-host entries, folders known by their names.
        QFile page(work.filePath(QStringLiteral("small.html")));
        QVERIFY(page.open(QIODevice::WriteOnly) && page.write("<html><body><p>A <b>small</b> page.</p></body></html>") > 0);
        page.close();
        PEER("soffice", {"-env:UserInstallation=" + QUrl::fromLocalFile(work.filePath(QStringLiteral("lo"))).toString(),
                         "--headless", "--convert-to", "odt", "--outdir", work.path(), page.fileName()});
        QTest::newRow("libreoffice odt") << work.filePath(QStringLiteral("small.odt")) << QString();
    }

    void extractsAsUnzipDoes()
    {
        QFETCH(QString, archive);
        QFETCH(QString, tree);
        QTemporaryDir dir;
        const QString mine = dir.filePath(QStringLiteral("mine")), theirs = dir.filePath(QStringLiteral("theirs"));
        warnings.clear();
        ZipReader reader(archive);
        QVERIFY(QDir().mkpath(mine) && reader.extractAll(mine));
        PEER("unzip", {"-q", archive, "-d", theirs});
        PEER("zippeer", {"compare", mine, theirs, "022"});
        PEER("zippeer", {"compare", mine, tree.isEmpty() ? theirs : tree, "022"});
        for (const ZipReader::FileInfo &info : reader.fileInfoList()) {
            QFile file(mine + QLatin1Char('/') + info.filePath);
            QVERIFY(!info.isFile || (file.open(QIODevice::ReadOnly) && reader.fileData(info.filePath) == file.readAll()));
        }
        QCOMPARE(warnings, QStringList());
    }

    void hostileArchives_data()
    {
        QTest::addColumn<Hostile>("c");
        const auto row = [](const char *tag, const QVector<RawEntry> &entries, const char *name, const QByteArray &truth,
                            bool whole, bool extracted, const QString &warning, const QStringList &tree) {
            QTest::newRow(tag) << Hostile{buildArchive(entries), truth, QString::fromUtf8(name), whole, extracted,
                                          warning.isEmpty() ? QStringList() : QStringList{warning}, tree};
        };
        const QByteArray text = QByteArray("plain text that deflates well enough. ").repeated(110);
        row("corrupt stream after a secret", {{"secret", QByteArray("SECRET-").repeated(600)}, RawEntry("e", text, 8)
            .with(&RawEntry::payload, qCompress(text).mid(6).chopped(12)).with(&RawEntry::uncompressedSize, 4200)}, "e",
            text, false, false, "QZip: Z_DATA_ERROR: Input data is corrupted", {"e:644", "secret:644"});
        const QByteArray damaged = QByteArray(text).replace(7, 1, "X");
        row("crc mismatch", {RawEntry("e", text).with(&RawEntry::payload, damaged)}, "e", damaged, true, false,
            "QZip: CRC-32 mismatch in e: the data are damaged", {"e:644"});
        row("version needed 45", {RawEntry("e", text).with(&RawEntry::versionNeeded, 45)}, "e", text, false, false,
            "QZip: .ZIP specification version 45 implementationis needed to extract the data.", {});
        row("encrypted", {{"e", text, 0, 1}}, "e", text, false, false,
            "QZip: Unsupported encryption method is needed to extract the data.", {});
        row("bzip2", {{"e", text, 12}}, "e", text, false, false,
            "QZip: Unsupported compression method 12 is needed to extract the data.", {});
        row("inflates past its declared size", {RawEntry("e", text, 8).with(&RawEntry::uncompressedSize, 100)}, "e", text,
            true, false, "QZip: Data of e cut at the size limit of 100 bytes", {"e:644"});
        // zlib has taken in all the input when the one-byte-short buffer fills.
        const QByteArray sentences = QByteArray("a short sentence that deflates. ").repeated(50).left(1581);
        row("declared one byte short", {RawEntry("e", sentences, 8).with(&RawEntry::uncompressedSize, 1580)}, "e",
            sentences, true, false, "QZip: Data of e cut at the size limit of 1580 bytes", {"e:644"});
        // The last match runs past a full output chunk after the last input byte was read.
        const QByteArray zeros((1 << 18) + 64, '\0');
        row("inflates past a full output chunk", {{"e", zeros, 8}}, "e", zeros, true, true, {}, {"e:644"});
        row("declared size 4 GiB", {RawEntry("e", text, 8).with(&RawEntry::uncompressedSize, 0xffffffff)}, "e", text,
            true, false, "QZip: e holds 4180 bytes where its header declares 4294967295", {"e:644"});
        // Three central records for one local entry: unzip calls it a possible zip bomb.
        const RawEntry copy("copy", QByteArray(1 << 20, 'z'), 8);
        row("overlapping entries", {copy, copy.with(&RawEntry::localHeaderOffset, 0),
            copy.with(&RawEntry::name, "shifted").with(&RawEntry::localHeaderOffset, 10)}, "copy", copy.contents, true,
            false, "QZip: Refusing to extract: the data of copy and copy overlap (a possible zip bomb)", {});
        const QString pastEnd = QStringLiteral("QZip: Entry data runs past the end of the archive, skipping file");
        row("compressed size beyond the device", {RawEntry("e", "tiny").with(&RawEntry::compressedSize, 0xfffffff0)}, "e",
            "tiny", false, false, pastEnd, {});
        row("local header beyond the device", {RawEntry("e", "tiny").with(&RawEntry::localHeaderOffset, 0x7ffffff0)}, "e",
            "tiny", false, false, pastEnd, {});
        row("hour 24 is no time", {RawEntry("u", "u").with(&RawEntry::dosTimeDate, 0x50ad0000 | 24 << 11)}, "u", "u",
            true, true, {}, {"u:644"});
        row("empty archive", {}, "e", "", true, true, "QZip: not a zip file!", {});
        // FAT hosts start from 0666 and 0777, Unix hosts from the stored modes; the umask masks both.
        row("fat modes, folders by name, unix 0666 and 0777", {RawEntry("F.TXT", "fat", 0, 0, 0).with(
            &RawEntry::versionMadeBy, 0x14), RawEntry("Configurations2/toolbar/", {}, 0, 0, 0).with(&RawEntry::versionMadeBy,
            0x14), {"open/", {}, 0, 0, 0x41ff0000}, {"open/shared", "shared", 0, 0, 0x81b60000}}, "F.TXT", "fat", true, true,
            {}, {"Configurations2:755", "Configurations2/toolbar:755", "F.TXT:644", "open:755", "open/shared:644"});

        const RawEntry good("good.txt", "good");
        const QString refused = QStringLiteral("QZip: Refusing to extract %1: ");
        const QString leaves = refused + "its path leaves the destination directory";
        const QString through = refused + "its path runs through a symbolic link";
        const QString points = refused + "the symbolic link points outside the destination directory";
        row("climbing name", {{"x/../../../../../../tmp/zip-escape.txt", "evil"}, good}, "good.txt", "good", true, false,
            leaves.arg("x/../../../../../../tmp/zip-escape.txt"), {"good.txt:644"});
        row("leading dot dot and absolute names stay inside", {{"../up.txt", "up"}, {"/abs/f.txt", "abs"}}, "up.txt", "up",
            true, true, {}, {"abs:755", "abs/f.txt:644", "up.txt:644"});
        row("absolute link target", {{"etc", "/etc", 0, 0, 0xa1ff0000}, good}, "good.txt", "good", true, false,
            points.arg("etc"), {"good.txt:644"});
        row("climbing link target", {{"sub/up", "../../..", 0, 0, 0xa1ff0000}, good}, "good.txt", "good", true, false,
            points.arg("sub/up"), {"good.txt:644"});
        row("link inside is kept", {good, {"sub/alias", "../good.txt", 0, 0, 0xa1ff0000}}, "good.txt", "good", true, true,
            {}, {"good.txt:644", "sub:755", "sub/alias:777"});
        row("file through a link", {{"here", ".", 0, 0, 0xa1ff0000}, {"here/through.txt", "x"}, good}, "good.txt", "good",
            true, false, through.arg("here/through.txt"), {"good.txt:644", "here:777"});
        row("file through a link on disk", {{"out/planted.txt", "evil"}, good}, "good.txt", "good", true, false,
            through.arg("out/planted.txt"), {"good.txt:644"});
    }

    void hostileArchives()
    {
        QFETCH(Hostile, c);
        QTemporaryDir root;
        const QString destination = root.filePath(QStringLiteral("dest"));
        QVERIFY(QDir().mkpath(destination) && QDir().mkpath(root.filePath(QStringLiteral("outside"))));
        QVERIFY(QFile::link(QStringLiteral("../outside"), destination + QStringLiteral("/out")));
        warnings.clear();
        QBuffer buffer(&c.archive);
        ZipReader reader(&buffer);
        const QByteArray data = reader.fileData(c.name);
        QVERIFY2(c.whole ? data == c.truth : c.truth.startsWith(data), qPrintable(QString::number(data.size())));
        QCOMPARE(reader.extractAll(destination), c.extracted);
        warnings.removeDuplicates();
        QCOMPARE(warnings, c.warnings);
        // Only bytes really inflated were written, and nothing outside the destination.
        QFile file(destination + QLatin1Char('/') + c.name);
        QVERIFY(!file.exists() || (file.open(QIODevice::ReadOnly) && c.truth.startsWith(file.readAll())));
        c.tree << QStringLiteral("out:777");
        c.tree.sort();
        QCOMPARE(treeBelow(destination), c.tree);
        QCOMPARE(treeBelow(root.path()).size(), c.tree.size() + 2);
        QVERIFY(!QFile::exists(QStringLiteral("/tmp/zip-escape.txt")));
        QCOMPARE(reader.entryInfoAt(0).lastModified.isValid(), reader.count() > 0 && c.name != "u");
        // Every prefix is listed and read within what deflate can expand to.
        for (int length = 0; length < c.archive.size(); length += 1 + length / 64) {
            QByteArray prefix = c.archive.left(length);
            QBuffer cut(&prefix);
            ZipReader cutReader(&cut);
            for (const ZipReader::FileInfo &info : cutReader.fileInfoList())
                QVERIFY(cutReader.fileData(info.filePath).size() <= 1032 * length);
        }
    }

    // Names are found through an index, also where the archive writes them with "./".
    void findsEveryEntryOfALargeIndex()
    {
        QVector<RawEntry> entries;
        for (int i = 0; i < 3000; ++i)
            entries.append(RawEntry("./dir" + QByteArray::number(i % 50) + "/entry" + QByteArray::number(i) + ".txt", QByteArray::number(i)));
        QByteArray archive = buildArchive(entries);
        QBuffer buffer(&archive);
        ZipReader reader(&buffer);
        for (const RawEntry &e : entries)
            QCOMPARE(reader.fileData(QString::fromLatin1(e.name.mid(2))), e.contents);
    }
};

QTEST_GUILESS_MAIN(TestZip)
#include "tst_zip.moc"
