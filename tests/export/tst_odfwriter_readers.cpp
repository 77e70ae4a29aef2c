// Exported documents read back by independent readers: Python's zipfile
// and XML parser, and LibreOffice converting the package to text and PDF.

#include <configurator-common/odfwriter.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

namespace {

const int kProcessTimeoutMs = 120000;
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

} // namespace

class tst_OdfWriterReaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pythonReadsPackage();
    void libreOfficeReadsTextAndPdf();

private:
    QString convert(const QString &format, const QString &extension);

    QTemporaryDir dir;
    Report report;
    QString package;
};

void tst_OdfWriterReaders::initTestCase()
{
    QVERIFY(dir.isValid());
    package = dir.filePath(QStringLiteral("report.odt"));
    QFile file(package);
    QVERIFY(OdfWriter(report.document, &file).writeAll());
    QVERIFY(report.texts.size() > 20);
}

// Converts with a profile of its own, so that no other office instance or
// earlier run is involved; returns the converted file's path.
QString tst_OdfWriterReaders::convert(const QString &format, const QString &extension)
{
    QTemporaryDir profile;
    const QString outDir = dir.filePath(QStringLiteral("out-") + extension);
    QByteArray output;
    if (!run(QStringLiteral("soffice"),
             {QStringLiteral("--headless"),
              QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
              QStringLiteral("--convert-to"), format, QStringLiteral("--outdir"), outDir, package},
             &output))
        return QString();
    const QString result = outDir + QStringLiteral("/report.") + extension;
    if (!QFile::exists(result))
        qWarning().noquote() << "soffice wrote no" << result << output;
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

    QFile txt(convert(QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("txt")));
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

QTEST_MAIN(tst_OdfWriterReaders)
#include "tst_odfwriter_readers.moc"
