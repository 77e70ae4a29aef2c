// Exported documents read back by independent readers: Python's zipfile
// and XML parser, and LibreOffice converting the package to text and PDF.

#include <configurator-common/odfwriter.h>
#include <configurator-common/zipreader.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QtTest>

namespace {

const int kProcessTimeoutMs = 120000;
const qreal kPixelsPerMM = 2.835 * 96 / 72;

// Runs a program to its end within the time-out; false (and the program
// killed) when it does not finish or fails.
bool run(const QString &program, const QStringList &arguments, QByteArray *output = nullptr,
         const QString &workingDirectory = QString())
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForStarted(kProcessTimeoutMs))
        return false;
    if (!process.waitForFinished(kProcessTimeoutMs)) {
        process.kill();
        process.waitForFinished(kProcessTimeoutMs);
        qWarning() << program << "did not finish in time";
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

// A verification report as the application composes it; texts() lists its
// texts in reading order.
struct Report
{
    QTextDocument document;
    QStringList texts;

    Report()
    {
        document.setPageSize(QSizeF(210 * kPixelsPerMM, 297 * kPixelsPerMM));
        QTextFrameFormat root = document.rootFrame()->frameFormat();
        root.setMargin(18 * kPixelsPerMM);
        document.rootFrame()->setFrameFormat(root);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPointSize(10);
        document.setDefaultFont(font);

        QTextCursor cursor(&document);
        QTextBlockFormat centered;
        centered.setAlignment(Qt::AlignHCenter);
        centered.setBottomMargin(12);
        QTextCharFormat title;
        title.setFontPointSize(18);
        title.setFontWeight(QFont::Bold);
        cursor.setBlockFormat(centered);
        add(cursor, QStringLiteral("Verification report"), title);

        QTextBlockFormat body;
        body.setBottomMargin(6);
        body.setAlignment(Qt::AlignJustify);
        cursor.insertBlock(body, QTextCharFormat());
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextCharFormat italic;
        italic.setFontItalic(true);
        QTextCharFormat red;
        red.setForeground(QColor(0xc0, 0x10, 0x10));
        red.setUnderlineStyle(QTextCharFormat::SingleUnderline);
        QTextCharFormat superscript;
        superscript.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
        add(cursor, QStringLiteral("Device "), QTextCharFormat());
        add(cursor, QStringLiteral("TM-2040"), bold);
        add(cursor, QStringLiteral(" serial "), QTextCharFormat());
        add(cursor, QStringLiteral("00417"), italic);
        add(cursor, QStringLiteral(" passed, error "), QTextCharFormat());
        add(cursor, QStringLiteral("below 10"), red);
        add(cursor, QStringLiteral("-3"), superscript);
        add(cursor, QStringLiteral(" (Gr\u00f6\u00dfe, \u041f\u043e\u0432\u0435\u0440\u043a\u0430)."),
            QTextCharFormat());

        QTextCharFormat heading;
        heading.setFontPointSize(14);
        heading.setFontWeight(QFont::Bold);
        QTextBlockFormat headingBlock;
        headingBlock.setTopMargin(10);
        headingBlock.setBottomMargin(4);
        cursor.insertBlock(headingBlock, QTextCharFormat());
        add(cursor, QStringLiteral("Checks performed"), heading);

        QTextListFormat bullets;
        bullets.setStyle(QTextListFormat::ListDisc);
        bullets.setIndent(1);
        QTextListFormat numbers;
        numbers.setStyle(QTextListFormat::ListDecimal);
        numbers.setIndent(2);
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        QTextList *outer = cursor.createList(bullets);
        add(cursor, QStringLiteral("Visual inspection"), QTextCharFormat());
        cursor.insertBlock();
        add(cursor, QStringLiteral("Measurement series"), QTextCharFormat());
        cursor.insertBlock();
        cursor.createList(numbers);
        add(cursor, QStringLiteral("Zero point"), QTextCharFormat());
        cursor.insertBlock();
        add(cursor, QStringLiteral("Full scale"), QTextCharFormat());
        cursor.insertBlock();
        outer->add(cursor.block());
        add(cursor, QStringLiteral("Seal applied"), QTextCharFormat());

        cursor.insertBlock(headingBlock, QTextCharFormat());
        outer->remove(cursor.block());
        cursor.setBlockFormat(headingBlock);
        add(cursor, QStringLiteral("Results"), heading);

        QTextTableFormat tableFormat;
        tableFormat.setHeaderRowCount(1);
        tableFormat.setBorder(1);
        tableFormat.setBorderBrush(QBrush(QColor(QStringLiteral("#000000")), Qt::SolidPattern));
        tableFormat.setCellPadding(4);
        tableFormat.setCellSpacing(0);
        tableFormat.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        tableFormat.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 40),
                                               QTextLength(QTextLength::PercentageLength, 30),
                                               QTextLength(QTextLength::PercentageLength, 30)});
        QTextTable *table = cursor.insertTable(4, 3, tableFormat);
        table->mergeCells(3, 1, 1, 2);
        const QStringList cells = {QStringLiteral("Point"), QStringLiteral("Reading"), QStringLiteral("Limit"),
                                   QStringLiteral("0 %"),   QStringLiteral("0.0002"),  QStringLiteral("0.001"),
                                   QStringLiteral("100 %"), QStringLiteral("99.9991"), QStringLiteral("0.001"),
                                   QStringLiteral("Verdict"), QStringLiteral("Within tolerance")};
        int n = 0;
        for (int r = 0; r < 4; ++r) {
            for (int c = 0; c < 3; ++c) {
                const QTextTableCell cell = table->cellAt(r, c);
                if (cell.row() != r || cell.column() != c)
                    continue;
                QTextCursor cellCursor = cell.firstCursorPosition();
                add(cellCursor, cells.value(n++), r == 0 ? bold : QTextCharFormat());
            }
        }

        cursor.movePosition(QTextCursor::End);
        add(cursor, QStringLiteral("Calibration curve:"), QTextCharFormat());
        document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("chart")), chartImage());
        QTextImageFormat image;
        image.setName(QStringLiteral("chart"));
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertImage(image);
        cursor.insertBlock(QTextBlockFormat(), QTextCharFormat());
        cursor.insertFrame(QTextFrameFormat());
        add(cursor, QStringLiteral("Signed by the inspector."), italic);
        cursor.movePosition(QTextCursor::End);
        QTextCharFormat link;
        link.setAnchor(true);
        link.setAnchorHref(QStringLiteral("https://example.org/certificates/00417"));
        link.setForeground(QColor(0x10, 0x40, 0xc0));
        add(cursor, QStringLiteral("Next verification due in 2027, certificate "), QTextCharFormat());
        add(cursor, QStringLiteral("00417-C"), link);
        add(cursor, QStringLiteral("."), QTextCharFormat());
    }

    void add(QTextCursor &cursor, const QString &text, const QTextCharFormat &format)
    {
        cursor.insertText(text, format);
        texts.append(text);
    }
};

} // namespace

class tst_OdfWriterReaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pythonReadsPackage();
    void libreOfficeReadsText();
    void libreOfficeRendersPdf();

private:
    QString exportReport(const QString &fileName);
    QString convert(const QString &input, const QString &format, const QString &extension);

    QTemporaryDir dir;
    Report report;
};

void tst_OdfWriterReaders::initTestCase()
{
    QVERIFY(dir.isValid());
}

QString tst_OdfWriterReaders::exportReport(const QString &fileName)
{
    const QString path = dir.filePath(fileName);
    QFile file(path);
    OdfWriter writer(report.document, &file);
    if (!writer.writeAll())
        return QString();
    return path;
}

// Converts with a profile of its own, so that no other office instance or
// earlier run is involved; returns the converted file's path.
QString tst_OdfWriterReaders::convert(const QString &input, const QString &format, const QString &extension)
{
    QTemporaryDir profile;
    const QString outDir = dir.filePath(QStringLiteral("out-") + extension);
    const QStringList arguments = {QStringLiteral("--headless"),
                                   QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
                                   QStringLiteral("--convert-to"), format,
                                   QStringLiteral("--outdir"), outDir, input};
    QByteArray output;
    if (!run(QStringLiteral("soffice"), arguments, &output))
        return QString();
    const QString result = outDir + QLatin1Char('/') + QFileInfo(input).completeBaseName() + QLatin1Char('.') + extension;
    if (!QFile::exists(result))
        qWarning().noquote() << "soffice wrote no" << result << output;
    return result;
}

void tst_OdfWriterReaders::pythonReadsPackage()
{
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    QVERIFY2(!python.isEmpty(), "python3 is needed as an independent ZIP and XML reader");
    const QString package = exportReport(QStringLiteral("report.odt"));
    QVERIFY(!package.isEmpty());

    // The same package through the library's own reader.
    ZipReader reader(package);
    QCOMPARE(reader.status(), ZipReader::NoError);
    QStringList names;
    for (const ZipReader::FileInfo &info : reader.fileInfoList())
        names.append(info.filePath);
    QCOMPARE(names, QStringList({"mimetype", "Pictures/Picture1", "META-INF/manifest.xml", "styles.xml", "content.xml"}));
    QCOMPARE(reader.fileData(QStringLiteral("mimetype")), QByteArray("application/vnd.oasis.opendocument.text"));
    QVERIFY(!QImage::fromData(reader.fileData(QStringLiteral("Pictures/Picture1")), "PNG").isNull());

    const QString script = QStringLiteral(R"(
import sys, zipfile, xml.dom.minidom
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None, 'bad CRC'
infos = z.infolist()
names = [i.filename for i in infos]
assert names[0] == 'mimetype', names
assert infos[0].compress_type == zipfile.ZIP_STORED, 'mimetype compressed'
assert z.read('mimetype') == b'application/vnd.oasis.opendocument.text'
assert names[-3:] == ['META-INF/manifest.xml', 'styles.xml', 'content.xml'], names
for name in names:
    if name.endswith('.xml'):
        xml.dom.minidom.parseString(z.read(name))
manifest = xml.dom.minidom.parseString(z.read('META-INF/manifest.xml'))
ns = 'urn:oasis:names:tc:opendocument:xmlns:manifest:1.0'
listed = {e.getAttributeNS(ns, 'full-path'): e.getAttributeNS(ns, 'media-type')
          for e in manifest.getElementsByTagNameNS(ns, 'file-entry')}
for name in names[1:]:
    if name != 'META-INF/manifest.xml':
        assert name in listed, name
assert listed['/'] == 'application/vnd.oasis.opendocument.text'
assert listed['Pictures/Picture1'] == 'image/png'
content = xml.dom.minidom.parseString(z.read('content.xml'))
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

void tst_OdfWriterReaders::libreOfficeReadsText()
{
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty(),
             "LibreOffice (libreoffice-writer-nogui) is needed as the real reader");
    const QString package = exportReport(QStringLiteral("report-text.odt"));
    QVERIFY(!package.isEmpty());
    const QString converted = convert(package, QStringLiteral("txt:Text (encoded):UTF8"), QStringLiteral("txt"));
    QFile file(converted);
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(converted));
    const QString text = QString::fromUtf8(file.readAll());
    QString missing;
    QVERIFY2(appearsInOrder(text, report.texts, &missing), qPrintable(QStringLiteral("missing or out of order: ")
                                                                      + missing + QStringLiteral("\n") + text));
    // Lists come out with their bullets and numbers.
    QVERIFY(text.contains(QStringLiteral("\u2022 Visual inspection")) || text.contains(QStringLiteral("\u25cf Visual inspection")));
    QVERIFY(text.contains(QStringLiteral("1. Zero point")));
    QVERIFY(text.contains(QStringLiteral("2. Full scale")));
}

void tst_OdfWriterReaders::libreOfficeRendersPdf()
{
    QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty(), "poppler-utils is needed");
    const QString package = exportReport(QStringLiteral("report.odt"));
    QVERIFY(!package.isEmpty());
    const QString pdf = convert(package, QStringLiteral("pdf"), QStringLiteral("pdf"));
    QVERIFY2(QFile::exists(pdf), qPrintable(pdf));

    QByteArray pdfText;
    QVERIFY(run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")}, &pdfText));
    // Justified lines are spread with extra spaces, so spacing is compared simplified.
    const QString text = QString::fromUtf8(pdfText).simplified();
    for (const QString &expected : report.texts)
        QVERIFY2(text.contains(expected.simplified()), qPrintable(expected));

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
            if (qAbs(c.red() - 0xff) < 24 && qAbs(c.green() - 0x7f) < 24 && c.blue() < 40)
                ++orange;
        }
    QVERIFY2(orange > 100, qPrintable(QString::number(orange)));
    const QString kept = QStringLiteral(CC_BINARY_DIR "/odf-report-page.png");
    QFile::remove(kept);
    QVERIFY(QFile::copy(pagePrefix + QStringLiteral(".png"), kept));
}

QTEST_MAIN(tst_OdfWriterReaders)
#include "tst_odfwriter_readers.moc"
