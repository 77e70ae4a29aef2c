// Exported documents read back by independent readers: Python's zipfile
// and XML parser, and LibreOffice converting the package to text and PDF.

#include <configurator-common/odfwriter.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTextCodec>
#include <QTextList>
#include <QTextTable>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {

const int kProcessTimeoutMs = 120000;
const QString kTextFilter = QStringLiteral("txt:Text (encoded):UTF8");
const qreal kPixelsPerMM = 2.835 * 96 / 72;

// Runs a program to its end within the time-out; false (and the program
// killed) when it does not finish or fails.
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(kProcessTimeoutMs)) {
        process.kill();
        process.waitForFinished(kProcessTimeoutMs);
        qWarning() << program << "did not start or finish in time";
        return false;
    }
    const QByteArray text = process.readAll();
    if (output)
        *output = text;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << program << "failed:" << text;
        return false;
    }
    return true;
}

// Every expected text appears, in this order, in the converted output.
bool appearsInOrder(const QString &haystack, const QStringList &texts, QString *missing)
{
    int from = 0;
    for (const QString &text : texts) {
        const int at = haystack.indexOf(text, from);
        if (at < 0) {
            *missing = text;
            return false;
        }
        from = at + text.length();
    }
    return true;
}

QImage chartImage()
{
    QImage image(240, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QColor bars[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xff, 0x7f, 0x0e), QColor(0x2c, 0xa0, 0x2c)};
    const int heights[] = {90, 60, 100};
    for (int i = 0; i < 3; ++i)
        painter.fillRect(20 + i * 75, 110 - heights[i], 50, heights[i], bars[i]);
    painter.setPen(Qt::black);
    painter.drawLine(10, 110, 230, 110);
    return image;
}

// A verification report as the application composes it: headings,
// formatted runs, nested lists, a table with a header row and spans, a
// picture, a section and a link.
const char kReportHtml[] = R"(
<p align="center" style="font-size:18pt; font-weight:bold">Verification report</p>
<p align="justify">Device <b>TM-2040</b> serial <i>00417</i> passed, error
<span style="color:#c01010; text-decoration:underline">below 10</span><sup>-3</sup>
(Gr&#246;&#223;e, &#1055;&#1086;&#1074;&#1077;&#1088;&#1082;&#1072;).</p>
<h2>Checks performed</h2>
<ul><li>Visual inspection</li>
<li>Measurement series<ol><li>Zero point</li><li>Full scale</li></ol></li>
<li>Seal applied</li></ul>
<h2>Results</h2>
<table border="1" cellpadding="4" cellspacing="0" width="100%" style="border-color:#000000">
<thead><tr><th width="40%">Point</th><th width="30%">Reading</th><th width="30%">Limit</th></tr></thead>
<tr><td>0 %</td><td>0.0002</td><td>0.001</td></tr>
<tr><td>100 %</td><td>99.9991</td><td>0.001</td></tr>
<tr><td>Verdict</td><td colspan="2">Within tolerance</td></tr>
</table>
<p>Calibration curve:</p>
<p><img src="chart"></p>
)";

struct Report
{
    QTextDocument document;
    QStringList texts; // every run of text, in reading order

    Report()
    {
        document.setHtml(QString::fromUtf8(kReportHtml));
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("chart")), chartImage());
        document.setPageSize(QSizeF(210 * kPixelsPerMM, 297 * kPixelsPerMM));
        QTextFrameFormat root = document.rootFrame()->frameFormat();
        root.setMargin(18 * kPixelsPerMM);
        document.rootFrame()->setFrameFormat(root);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(10);
        document.setDefaultFont(font);

        // A section, then a paragraph with a link after it.
        QTextCursor cursor(&document);
        cursor.movePosition(QTextCursor::End);
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertFrame(QTextFrameFormat());
        QTextCharFormat italic;
        italic.setFontItalic(true);
        cursor.insertText(QStringLiteral("Signed by the inspector."), italic);
        cursor.movePosition(QTextCursor::End);
        QTextCharFormat link;
        link.setAnchor(true);
        link.setAnchorHref(QStringLiteral("https://example.org/certificates/00417"));
        link.setForeground(QColor(0x10, 0x40, 0xc0));
        cursor.insertText(QStringLiteral("Next verification due in 2027, certificate "), QTextCharFormat());
        cursor.insertText(QStringLiteral("00417-C"), link);

        for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
            for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
                const QString text = it.fragment().text().remove(QChar(0xfffc)).simplified();
                if (!text.isEmpty())
                    texts.append(text);
            }
    }
};

// Text that readers used to lose: a leading space, two spaces split over two
// fragments, a numbered list that goes on after a table, and a picture shown
// three times.
void composeRepairedCases(QTextDocument &document)
{
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("seal")), chartImage());
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral(" one leading space"));
    cursor.insertBlock();
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    cursor.insertText(QStringLiteral("across "), bold);
    cursor.insertText(QStringLiteral(" fragments"), QTextCharFormat());

    cursor.insertBlock();
    QTextList *list = cursor.createList(QTextListFormat::ListDecimal);
    cursor.insertText(QStringLiteral("one"));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("two"));
    cursor.insertTable(1, 1)->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("in the table"));
    cursor.movePosition(QTextCursor::End);
    list->add(cursor.block());
    cursor.insertText(QStringLiteral("three"));

    cursor.insertBlock(QTextBlockFormat());
    QTextImageFormat seal;
    seal.setName(QStringLiteral("seal"));
    for (int i = 0; i < 3; ++i)
        cursor.insertImage(seal);
}

const char kEncodedText[] = "Gr\u00fc\u00dfe, \u041f\u0440\u0438\u0431\u043e\u0440, \u4e2d\u6587 \u20ac";

} // namespace

class tst_OdfWriterReaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pythonReadsPackage();
    void libreOfficeReadsTextAndPdf();
    void libreOfficeKeepsRepairedText_data();
    void libreOfficeKeepsRepairedText();
    void libreOfficePlacesEveryCopyOfAPicture();

private:
    bool write(const QString &name, const QTextDocument &document, QTextCodec *codec = nullptr);
    QString convert(const QString &format, const QString &extension, const QString &name = QStringLiteral("report"));

    QTemporaryDir dir;
    Report report;
    QTextDocument repaired;
    QTextDocument encoded;
    QString package;
    QStringList documents;            // every package written, converted together
    QHash<QString, QString> outDirs;  // per extension, once converted
};

void tst_OdfWriterReaders::initTestCase()
{
    QVERIFY(dir.isValid());
    package = dir.filePath(QStringLiteral("report.odt"));
    QVERIFY(write(QStringLiteral("report"), report.document));
    QVERIFY(report.texts.size() > 20);

    composeRepairedCases(repaired);
    QVERIFY(write(QStringLiteral("repaired"), repaired));
    encoded.setPlainText(QString::fromUtf8(kEncodedText));
    for (const char *codec : {"ISO-8859-1", "KOI8-R"})
        QVERIFY(write(QString::fromLatin1(codec), encoded, QTextCodec::codecForName(codec)));
}

bool tst_OdfWriterReaders::write(const QString &name, const QTextDocument &document, QTextCodec *codec)
{
    const QString path = dir.filePath(name + QStringLiteral(".odt"));
    QFile file(path);
    OdfWriter writer(document, &file);
    if (codec)
        writer.setCodec(codec);
    documents << path;
    return writer.writeAll();
}

// Converts every document in one run (LibreOffice is slow to start), with a
// profile of its own so that no other office instance or earlier run is
// involved; returns the path of the named document's converted file.
QString tst_OdfWriterReaders::convert(const QString &format, const QString &extension, const QString &name)
{
    if (!outDirs.contains(extension)) {
        QTemporaryDir profile;
        const QString outDir = dir.filePath(QStringLiteral("out-") + extension);
        QByteArray output;
        if (!run(QStringLiteral("soffice"),
                 QStringList({QStringLiteral("--headless"),
                              QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
                              QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), outDir})
                     + documents,
                 &output))
            return QString();
        outDirs.insert(extension, outDir);
    }
    const QString result = outDirs.value(extension) + QLatin1Char('/') + name + QLatin1Char('.') + extension;
    if (!QFile::exists(result))
        qWarning().noquote() << "soffice wrote no" << result;
    return result;
}

void tst_OdfWriterReaders::pythonReadsPackage()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is needed as an independent ZIP and XML reader");

    const QString script = QStringLiteral(R"(
import sys, zipfile, xml.dom.minidom
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None, 'bad CRC'
infos = z.infolist()
names = [i.filename for i in infos]
assert names == ['mimetype', 'Pictures/Picture1', 'META-INF/manifest.xml', 'styles.xml', 'content.xml'], names
assert infos[0].compress_type == zipfile.ZIP_STORED, 'mimetype compressed'
assert z.read('mimetype') == b'application/vnd.oasis.opendocument.text'
assert z.read('Pictures/Picture1').startswith(b'\x89PNG')
for name in names:
    if name.endswith('.xml'):
        xml.dom.minidom.parseString(z.read(name))
manifest = xml.dom.minidom.parseString(z.read('META-INF/manifest.xml'))
ns = 'urn:oasis:names:tc:opendocument:xmlns:manifest:1.0'
listed = {e.getAttributeNS(ns, 'full-path'): e.getAttributeNS(ns, 'media-type')
          for e in manifest.getElementsByTagNameNS(ns, 'file-entry')}
assert set(names) - {'mimetype', 'META-INF/manifest.xml'} <= set(listed), listed
assert listed['/'] == 'application/vnd.oasis.opendocument.text'
assert listed['Pictures/Picture1'] == 'image/png'
content = xml.dom.minidom.parseString(z.read('content.xml'))
for element in ['table:table-header-rows', 'table:covered-table-cell', 'text:section', 'draw:image', 'text:a']:
    assert content.getElementsByTagName(element), element
text = ''.join(n.data for n in content.getElementsByTagName('*') for n in n.childNodes if n.nodeType == n.TEXT_NODE)
print('entries', len(names))
print('text', text)
)");
    QByteArray output;
    QVERIFY(run(python, {QStringLiteral("-c"), script, package}, &output));
    QVERIFY2(output.startsWith("entries 5"), output.constData());
    QString missing;
    QVERIFY2(appearsInOrder(QString::fromUtf8(output), report.texts, &missing), qPrintable(missing));
}

void tst_OdfWriterReaders::libreOfficeReadsTextAndPdf()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(),
             "LibreOffice (libreoffice-writer-nogui) is needed as the real reader");
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty(), "poppler-utils is needed");

    QFile txt(convert(kTextFilter, QStringLiteral("txt")));
    QVERIFY2(txt.open(QIODevice::ReadOnly), qPrintable(txt.fileName()));
    const QString text = QString::fromUtf8(txt.readAll());
    QString missing;
    QVERIFY2(appearsInOrder(text, report.texts, &missing),
             qPrintable(QStringLiteral("missing or out of order: ") + missing + QLatin1Char('\n') + text));
    // Lists come out with their bullets and numbers.
    QVERIFY(text.contains(QStringLiteral("\u2022 Visual inspection")) || text.contains(QStringLiteral("\u25cf Visual inspection")));
    QVERIFY(text.contains(QStringLiteral("1. Zero point")));
    QVERIFY(text.contains(QStringLiteral("2. Full scale")));
    // The section's last paragraph stays apart from the one after it.
    QVERIFY(text.contains(QRegularExpression(QStringLiteral("inspector\\.\\r?\\nNext"))));

    const QString pdf = convert(QStringLiteral("pdf"), QStringLiteral("pdf"));
    QVERIFY2(QFile::exists(pdf), qPrintable(pdf));
    QByteArray pdfText;
    QVERIFY(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}, &pdfText));
    // Justified lines are spread with extra spaces, so spacing is compared simplified.
    const QString pageText = QString::fromUtf8(pdfText).simplified();
    for (const QString &expected : report.texts)
        QVERIFY2(pageText.contains(expected), qPrintable(expected));

    // The first page as a picture, kept in the build tree for the README.
    const QString pagePrefix = dir.filePath(QStringLiteral("page"));
    QVERIFY(run(QStringLiteral("pdftoppm"), {QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("80"),
                                             QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                             QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, pagePrefix}));
    const QImage page(pagePrefix + QStringLiteral(".png"));
    QVERIFY(!page.isNull());
    // The chart's orange bar is drawn on the page: the picture arrived.
    int orange = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const QColor c = page.pixelColor(x, y);
            orange += qAbs(c.red() - 0xff) < 24 && qAbs(c.green() - 0x7f) < 24 && c.blue() < 40;
        }
    QVERIFY2(orange > 100, qPrintable(QString::number(orange)));
    const QString kept = QStringLiteral(CC_BINARY_DIR "/odf-report-page.png");
    QFile::remove(kept);
    QVERIFY(QFile::copy(pagePrefix + QStringLiteral(".png"), kept));
}

// Each line must come back whole, in this order, in LibreOffice's text.
void tst_OdfWriterReaders::libreOfficeKeepsRepairedText_data()
{
    QTest::addColumn<QString>("document");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("leading space") << "repaired" << QStringList{" one leading space"};
    QTest::newRow("two spaces over two fragments") << "repaired" << QStringList{"across  fragments"};
    QTest::newRow("numbering goes on after a table")
        << "repaired" << QStringList{"1. one", "2. two", "in the table", "3. three"};
    const QString text = QString::fromUtf8(kEncodedText);
    QTest::newRow("ISO-8859-1 cannot encode everything") << "ISO-8859-1" << QStringList{text};
    QTest::newRow("KOI8-R cannot encode everything") << "KOI8-R" << QStringList{text};
}

void tst_OdfWriterReaders::libreOfficeKeepsRepairedText()
{
    QFETCH(QString, document);
    QFETCH(QStringList, lines);
    QFile txt(convert(kTextFilter, QStringLiteral("txt"), document));
    QVERIFY2(txt.open(QIODevice::ReadOnly), qPrintable(txt.fileName()));
    QString text = QString::fromUtf8(txt.readAll());
    if (text.startsWith(QChar(0xfeff)))
        text.remove(0, 1);
    // List items are indented by their level.
    QStringList actual = text.split(QRegularExpression(QStringLiteral("\\r?\\n")));
    for (QString &line : actual)
        if (line.trimmed().contains(QRegularExpression(QStringLiteral("^\\d+\\. "))))
            line = line.trimmed();
    int from = 0;
    for (const QString &line : qAsConst(lines)) {
        from = actual.indexOf(line, from);
        QVERIFY2(from >= 0, qPrintable(QStringLiteral("missing: \"%1\" in\n%2").arg(line, text)));
    }
}

// LibreOffice keeps one frame per name, so each copy needs a name of its own.
void tst_OdfWriterReaders::libreOfficePlacesEveryCopyOfAPicture()
{
    const QString pdf = convert(QStringLiteral("pdf"), QStringLiteral("pdf"), QStringLiteral("repaired"));
    QVERIFY2(QFile::exists(pdf), qPrintable(pdf));
    QByteArray list;
    QVERIFY(run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), pdf}, &list));
    // A heading of two lines, then one line per picture drawn.
    const QList<QByteArray> images = list.trimmed().split('\n').mid(2);
    QCOMPARE(images.size(), 3);
    for (const QByteArray &image : images)
        QVERIFY2(image.simplified().startsWith("1 "), image.constData());
}

QTEST_MAIN(tst_OdfWriterReaders)
#include "tst_odfwriter_readers.moc"
