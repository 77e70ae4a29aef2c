#include "tst_odfwriter_support.h"

#include <configurator-common/odfwriter.h>
#include <configurator-common/zipreader.h>

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QXmlStreamWriter>
#include <QtTest>

Q_DECLARE_METATYPE(QTextCharFormat)

namespace {

const char kOdtMimeType[] = "application/vnd.oasis.opendocument.text";

struct Package
{
    QByteArray archive;
    QStringList entries;
    QByteArray content;
    QByteArray styles;
    QByteArray manifest;
    QSharedPointer<XmlNode> contentTree;
    QSharedPointer<XmlNode> stylesTree;
    QSharedPointer<XmlNode> manifestTree;
};

Package exportPackage(const QTextDocument &document, QTextCodec *codec = nullptr)
{
    Package package;
    QBuffer buffer(&package.archive);
    OdfWriter writer(document, &buffer);
    if (codec)
        writer.setCodec(codec);
    if (!writer.writeAll())
        return package;
    buffer.close();

    buffer.open(QIODevice::ReadOnly);
    ZipReader reader(&buffer);
    for (const ZipReader::FileInfo &info : reader.fileInfoList())
        package.entries.append(info.filePath);
    package.content = reader.fileData(QStringLiteral("content.xml"));
    package.styles = reader.fileData(QStringLiteral("styles.xml"));
    package.manifest = reader.fileData(QStringLiteral("META-INF/manifest.xml"));
    package.contentTree = parseXml(package.content);
    package.stylesTree = parseXml(package.styles);
    package.manifestTree = parseXml(package.manifest);
    return package;
}

const XmlNode *officeText(const Package &package)
{
    return package.contentTree ? package.contentTree->find(QStringLiteral("office:text")) : nullptr;
}

QStringList elementNames(const XmlNode *node)
{
    QStringList names;
    for (const XmlNode *child : node->elements())
        names.append(child->name);
    return names;
}

// A span's content as text, with [s], [s3], [tab] and [br] for the elements.
QString spanContent(const XmlNode *span)
{
    QString result;
    for (const auto &child : span->children) {
        if (child->name == QLatin1String("#text"))
            result += child->text;
        else if (child->name == QLatin1String("text:s"))
            result += child->hasAttribute(QStringLiteral("text:c"))
                ? QStringLiteral("[s%1]").arg(child->attribute(QStringLiteral("text:c")))
                : QStringLiteral("[s]");
        else if (child->name == QLatin1String("text:tab"))
            result += QStringLiteral("[tab]");
        else if (child->name == QLatin1String("text:line-break"))
            result += QStringLiteral("[br]");
        else
            result += QStringLiteral("[%1]").arg(child->name);
    }
    return result;
}

// The style element's properties child, e.g. style:text-properties.
QString styleProperty(const Package &package, const QString &styleName, const QString &propertiesElement,
                      const QString &attribute)
{
    const XmlNode *style = package.contentTree->style(styleName);
    if (!style)
        return QStringLiteral("<no style %1>").arg(styleName);
    const XmlNode *properties = style->find(propertiesElement);
    if (!properties)
        return QStringLiteral("<no %1>").arg(propertiesElement);
    if (!properties->hasAttribute(attribute))
        return QStringLiteral("<unset>");
    return properties->attribute(attribute);
}

QString paragraphProperty(const Package &package, int formatIndex, const QString &attribute)
{
    return styleProperty(package, QStringLiteral("Paragraph%1").arg(formatIndex),
                         QStringLiteral("style:paragraph-properties"), attribute);
}

QString textProperty(const Package &package, int formatIndex, const QString &attribute)
{
    return styleProperty(package, QStringLiteral("T%1").arg(formatIndex), QStringLiteral("style:text-properties"),
                         attribute);
}

// A document that is one paragraph whose single fragment has the format.
int charFormatIndexOf(QTextDocument &document, const QTextCharFormat &format)
{
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("x"), format);
    return document.begin().begin().fragment().charFormatIndex();
}

// A page of 210 mm with margins of 20 mm leaves a text area of 170 mm.
void setA4PageWith20mmMargins(QTextDocument &document)
{
    const qreal pixelsPerMM = 2.835 * 96 / 72;
    document.setPageSize(QSizeF(210 * pixelsPerMM, 297 * pixelsPerMM));
    QTextFrameFormat root = document.rootFrame()->frameFormat();
    root.setLeftMargin(20 * pixelsPerMM);
    root.setRightMargin(20 * pixelsPerMM);
    root.setTopMargin(20 * pixelsPerMM);
    root.setBottomMargin(20 * pixelsPerMM);
    document.rootFrame()->setFrameFormat(root);
}

QImage testImage(const QSize &size, const QColor &color)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(color);
    return image;
}


// The text of every paragraph in order, spaces, tabs and line breaks
// expanded, so that words stay apart.
void collectParagraphText(const XmlNode *node, QString *out)
{
    for (const auto &child : node->children) {
        if (child->name == QLatin1String("#text"))
            *out += child->text;
        else if (child->name == QLatin1String("text:s") || child->name == QLatin1String("text:tab")
                 || child->name == QLatin1String("text:line-break"))
            *out += QLatin1Char(' ');
        else
            collectParagraphText(child.data(), out);
    }
}

QStringList exportedWords(const XmlNode *text)
{
    QString all;
    for (const XmlNode *paragraph : text->findAll(QStringLiteral("text:p"))) {
        collectParagraphText(paragraph, &all);
        all += QLatin1Char('\n');
    }
    return all.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

QStringList documentWords(const QTextDocument &document)
{
    QString text = document.toPlainText();
    text.remove(QChar(0xfffc));
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

// Random rich text of the kinds a report is made of: headings, runs, links,
// nested lists, tables with spans (nested too) and pictures that are missing.
class RandomHtml
{
public:
    explicit RandomHtml(quint32 seed) : random(seed) {}

    QString document()
    {
        QString html;
        const int blocks = 1 + pick(6);
        for (int i = 0; i < blocks; ++i)
            html += block(0);
        return html;
    }

private:
    int pick(int n) { return int(random.bounded(n)); }

    QString words()
    {
        static const QStringList vocabulary = {"alpha", "beta", "gamma", "delta", "\u00fcber", "\u041f\u0440\u0438\u0431\u043e\u0440", "x&amp;y", "&lt;tag&gt;"};
        QString text;
        const int n = 1 + pick(5);
        for (int i = 0; i < n; ++i) {
            const QString word = vocabulary.at(pick(vocabulary.size())) + QString::number(counter++);
            switch (pick(6)) {
            case 0: text += "<b>" + word + "</b>"; break;
            case 1: text += "<i>" + word + "</i>"; break;
            case 2: text += "<a href=\"http://h/" + QString::number(i) + "\">" + word + "</a>"; break;
            case 3: text += "<sup>" + word + "</sup>"; break;
            case 4: text += "<img src=\"missing" + QString::number(i) + ".png\">" + word; break;
            default: text += word; break;
            }
            text += QLatin1Char(' ');
        }
        return text;
    }

    QString list(int depth)
    {
        const QString tag = pick(2) ? "ul" : "ol";
        QString html = "<" + tag + ">";
        const int items = 1 + pick(4);
        for (int i = 0; i < items; ++i) {
            html += "<li>" + words();
            if (depth < 3 && pick(3) == 0)
                html += list(depth + 1);
            html += "</li>";
        }
        return html + "</" + tag + ">";
    }

    QString table(int depth)
    {
        const int rows = 1 + pick(4);
        const int columns = 1 + pick(4);
        QString html = "<table border=\"1\">";
        for (int r = 0; r < rows; ++r) {
            html += "<tr>";
            for (int c = 0; c < columns; ++c) {
                const QString span = pick(4) == 0 ? QStringLiteral(" colspan=\"2\"")
                                   : pick(5) == 0 ? QStringLiteral(" rowspan=\"2\"") : QString();
                html += QString(r == 0 && pick(2) ? "<th%1>" : "<td%1>").arg(span);
                html += pick(3) == 0 ? block(depth + 1) : words();
                html += "</td>";
            }
            html += "</tr>";
        }
        return html + "</table>";
    }

    QString block(int depth)
    {
        switch (pick(depth < 2 ? 6 : 4)) {
        case 0: return "<h" + QString::number(1 + pick(3)) + ">" + words() + "</h1>";
        case 1: return "<p>" + words() + "</p>";
        case 2: return list(1);
        case 3: return "<p style=\"white-space: pre-wrap\">" + words() + "   \t  " + words() + "</p>";
        default: return table(depth) + (pick(2) ? "<p>" + words() + "</p>" : QString());
        }
    }

    QRandomGenerator random;
    int counter = 0;
};
} // namespace

class tst_OdfWriter : public QObject
{
    Q_OBJECT

private slots:
    void pixelConversions_data();
    void pixelConversions();
    void packageHoldsItsPartsInOrder();
    void firstParagraphIsMasterParagraph();
    void everyFragmentStyleIsWritten();
    void masterParagraphCarriesFirstBlockFormat();
    void stylesDocumentHasPageLayout();
    void unsetPageSizeFallsBackToA4();
    void tableWithSpanAndCoveredCell();
    void headerRowWrapsFirstRow();
    void headerRowCountBeyondRowsStaysNested();
    void blockAfterTable_data();
    void blockAfterTable();
    void sectionsAreWritten();
    void depthTwoListWithoutParent();
    void nestedListsAndBack();
    void listsCloseAtFrameBoundaries();
    void listWithIndentZeroIsStillAList();
    void deepListIndentIsBounded();
    void fragmentText_data();
    void fragmentText();
    void anchorsWrapTheirSpan();
    void flatXmlHoldsOnlyTheContent();
    void twoPicturesAreEmbedded();
    void picturesFromQrcAndFiles();
    void missingPictureLeavesEmptyFrame();
    void pictureWithOneSideGivenKeepsItsShape();
    void codecAppliesToContentOnly();
    void unopenableDeviceFails();
    void randomDocumentsKeepStructureAndText();
    void readOnlyDeviceFails();

    void paragraphStyleTakesNextCharacterFormat();
    void paragraphStyleDefaults();
    void paragraphMargins();
    void paragraphAlignment_data();
    void paragraphAlignment();
    void unsupportedAlignmentWarns();
    void paragraphBreaksTabsAndBackground();
    void fontWeight_data();
    void fontWeight();
    void characterProperties_data();
    void characterProperties();
    void listStyles_data();
    void listStyles();
    void tableColumnWeights();
    void tableWithMoreColumnsThanConstraints();
    void tableColumnsOfFixedAndVariableWidth();
    void tableCellBorderAndPadding();
};

void tst_OdfWriter::pixelConversions_data()
{
    QTest::addColumn<qreal>("pixels");
    QTest::addColumn<QString>("points");
    QTest::addColumn<QString>("millimetres");
    QTest::newRow("inch") << qreal(96) << "72pt" << "25.3968mm";
    QTest::newRow("zero") << qreal(0) << "0pt" << "0mm";
    QTest::newRow("indent") << qreal(22) << "16.5pt" << "5.82011mm";
    QTest::newRow("negative") << qreal(-8) << "-6pt" << "-2.1164mm";
    QTest::newRow("a4 width") << qreal(210 * 2.835 * 96 / 72) << "595.35pt" << "210mm";
}

void tst_OdfWriter::pixelConversions()
{
    QFETCH(qreal, pixels);
    QFETCH(QString, points);
    QFETCH(QString, millimetres);
    QCOMPARE(OdfWriter::pixelToPoint(pixels), points);
    QCOMPARE(OdfWriter::pixelToMM(pixels), millimetres);
}

void tst_OdfWriter::packageHoldsItsPartsInOrder()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("Hello"));
    const Package package = exportPackage(document);

    QCOMPARE(package.entries, QStringList({"mimetype", "META-INF/manifest.xml", "styles.xml", "content.xml"}));
    // The mimetype is stored first, uncompressed, so that its bytes sit at a
    // fixed offset right after the 30-byte local header and its name.
    QCOMPARE(package.archive.mid(30, 8), QByteArray("mimetype"));
    QCOMPARE(package.archive.mid(38, int(qstrlen(kOdtMimeType))), QByteArray(kOdtMimeType));

    QVERIFY(package.manifestTree);
    const QVector<const XmlNode *> entries = package.manifestTree->findAll(QStringLiteral("manifest:file-entry"));
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0]->attribute("manifest:full-path"), QStringLiteral("/"));
    QCOMPARE(entries[0]->attribute("manifest:media-type"), QString(kOdtMimeType));
    QCOMPARE(entries[1]->attribute("manifest:full-path"), QStringLiteral("content.xml"));
    QCOMPARE(entries[1]->attribute("manifest:media-type"), QStringLiteral("text/xml"));
    QCOMPARE(entries[2]->attribute("manifest:full-path"), QStringLiteral("styles.xml"));
    QVERIFY(package.contentTree);
    QVERIFY(package.stylesTree);
    QCOMPARE(package.contentTree->elements().first()->name, QStringLiteral("office:document-content"));
}

void tst_OdfWriter::firstParagraphIsMasterParagraph()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("First"));
    QTextBlockFormat second;
    second.setTopMargin(3);
    cursor.insertBlock(second);
    cursor.insertText(QStringLiteral("Second"));

    const Package package = exportPackage(document);
    const QVector<const XmlNode *> paragraphs = officeText(package)->findAll(QStringLiteral("text:p"));
    QCOMPARE(paragraphs.size(), 2);

    const QTextBlock firstBlock = document.begin();
    QCOMPARE(paragraphs[0]->attribute("text:style-name"), QStringLiteral("MasterParagraph"));
    QCOMPARE(paragraphs[0]->elements().size(), 1);
    const XmlNode *span = paragraphs[0]->elements().first();
    QCOMPARE(span->name, QStringLiteral("text:span"));
    QCOMPARE(span->attribute("text:style-name"),
             QStringLiteral("T%1").arg(firstBlock.begin().fragment().charFormatIndex()));
    QCOMPARE(span->allText(), QStringLiteral("First"));

    QCOMPARE(paragraphs[1]->attribute("text:style-name"),
             QStringLiteral("Paragraph%1").arg(firstBlock.next().blockFormatIndex()));
    QCOMPARE(paragraphProperty(package, firstBlock.next().blockFormatIndex(), "fo:margin-top"),
             QStringLiteral("2.25pt"));

    const XmlNode *master = package.contentTree->style(QStringLiteral("MasterParagraph"));
    QVERIFY(master);
    QCOMPARE(master->attribute("style:family"), QStringLiteral("paragraph"));
    QCOMPARE(master->attribute("style:master-page-name"), QStringLiteral("MP0"));
}

void tst_OdfWriter::everyFragmentStyleIsWritten()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat italic;
    italic.setFontItalic(true);
    cursor.insertText(QStringLiteral("plain "));
    cursor.insertText(QStringLiteral("bold "), bold);
    cursor.insertText(QStringLiteral("italic"), italic);

    const Package package = exportPackage(document);
    const QVector<const XmlNode *> spans = officeText(package)->findAll(QStringLiteral("text:span"));
    QCOMPARE(spans.size(), 3);
    for (const XmlNode *span : spans)
        QVERIFY2(package.contentTree->style(span->attribute("text:style-name")),
                 qPrintable(span->attribute("text:style-name")));
    QCOMPARE(styleProperty(package, spans[1]->attribute("text:style-name"), "style:text-properties",
                           "fo:font-weight"),
             QStringLiteral("bold"));
    QCOMPARE(styleProperty(package, spans[2]->attribute("text:style-name"), "style:text-properties",
                           "fo:font-style"),
             QStringLiteral("italic"));
}

void tst_OdfWriter::masterParagraphCarriesFirstBlockFormat()
{
    // The second paragraph keeps the document's first block format; the
    // first gets a newer one, so its index is not the lowest.
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Body"));
    cursor.movePosition(QTextCursor::Start);
    QTextBlockFormat heading;
    heading.setAlignment(Qt::AlignHCenter);
    cursor.insertBlock();
    cursor.movePosition(QTextCursor::Start);
    cursor.setBlockFormat(heading);
    cursor.insertText(QStringLiteral("Heading"));
    QVERIFY(document.begin().blockFormatIndex() > document.begin().next().blockFormatIndex());

    const Package package = exportPackage(document);
    const QVector<const XmlNode *> paragraphs = officeText(package)->findAll(QStringLiteral("text:p"));
    QCOMPARE(paragraphs.size(), 2);
    QCOMPARE(paragraphs[0]->attribute("text:style-name"), QStringLiteral("MasterParagraph"));
    QCOMPARE(paragraphs[0]->allText(), QStringLiteral("Heading"));
    QCOMPARE(styleProperty(package, QStringLiteral("MasterParagraph"), "style:paragraph-properties",
                           "fo:text-align"),
             QStringLiteral("center"));
}

void tst_OdfWriter::stylesDocumentHasPageLayout()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("x"));
    setA4PageWith20mmMargins(document);
    QBuffer buffer;
    OdfWriter writer(document, &buffer);
    QVERIFY(writer.writeAll());
    QCOMPARE(writer.textWidthMM(), 170.0);

    buffer.open(QIODevice::ReadOnly);
    ZipReader reader(&buffer);
    const QSharedPointer<XmlNode> styles = parseXml(reader.fileData(QStringLiteral("styles.xml")));
    QVERIFY(styles);
    const XmlNode *layout = styles->find(QStringLiteral("style:page-layout"));
    QVERIFY(layout);
    QCOMPARE(layout->attribute("style:name"), QStringLiteral("PL0"));
    const XmlNode *properties = layout->child(QStringLiteral("style:page-layout-properties"));
    QVERIFY(properties);
    QCOMPARE(properties->attribute("fo:page-width"), QStringLiteral("210mm"));
    QCOMPARE(properties->attribute("fo:page-height"), QStringLiteral("297mm"));
    QCOMPARE(properties->attribute("fo:margin-top"), QStringLiteral("20mm"));
    QCOMPARE(properties->attribute("fo:margin-left"), QStringLiteral("20mm"));
    QCOMPARE(properties->attribute("fo:margin-right"), QStringLiteral("20mm"));
    const XmlNode *master = styles->find(QStringLiteral("style:master-page"));
    QVERIFY(master);
    QCOMPARE(master->attribute("style:name"), QStringLiteral("MP0"));
    QCOMPARE(master->attribute("style:page-layout-name"), QStringLiteral("PL0"));
}

void tst_OdfWriter::unsetPageSizeFallsBackToA4()
{
    // A document never given a page size reports -1 x -1 pixels.
    QTextDocument document;
    document.setPlainText(QStringLiteral("x"));
    const Package package = exportPackage(document);
    const XmlNode *properties = package.stylesTree->find(QStringLiteral("style:page-layout-properties"));
    QVERIFY(properties);
    QCOMPARE(properties->attribute("fo:page-width"), QStringLiteral("210mm"));
    QCOMPARE(properties->attribute("fo:page-height"), QStringLiteral("297mm"));
}

void tst_OdfWriter::tableWithSpanAndCoveredCell()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTable *table = cursor.insertTable(2, 3);
    table->mergeCells(0, 0, 1, 2);
    table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("wide"));
    table->cellAt(0, 2).firstCursorPosition().insertText(QStringLiteral("third"));
    table->cellAt(1, 1).firstCursorPosition().insertText(QStringLiteral("middle"));

    const Package package = exportPackage(document);
    const XmlNode *odfTable = officeText(package)->find(QStringLiteral("table:table"));
    QVERIFY(odfTable);
    const QString tableStyle = QStringLiteral("Table%1").arg(table->formatIndex());
    QCOMPARE(odfTable->attribute("table:style-name"), tableStyle);

    const QVector<const XmlNode *> columns = odfTable->findAll(QStringLiteral("table:table-column"));
    QCOMPARE(columns.size(), 3);
    for (int c = 0; c < 3; ++c)
        QCOMPARE(columns[c]->attribute("table:style-name"), QStringLiteral("%1Column%2").arg(tableStyle).arg(c + 1));

    const QVector<const XmlNode *> rows = odfTable->findAll(QStringLiteral("table:table-row"));
    QCOMPARE(rows.size(), 2);
    QCOMPARE(elementNames(rows[0]),
             QStringList({"table:table-cell", "table:covered-table-cell", "table:table-cell"}));
    QCOMPARE(rows[0]->elements()[0]->attribute("table:number-columns-spanned"), QStringLiteral("2"));
    QVERIFY(!rows[0]->elements()[0]->hasAttribute("table:number-rows-spanned"));
    QCOMPARE(rows[0]->elements()[0]->allText(), QStringLiteral("wide"));
    QCOMPARE(rows[0]->elements()[2]->allText(), QStringLiteral("third"));
    QCOMPARE(rows[0]->elements()[2]->attribute("table:style-name"), tableStyle + QStringLiteral("Cell"));
    QCOMPARE(elementNames(rows[1]), QStringList({"table:table-cell", "table:table-cell", "table:table-cell"}));
    QCOMPARE(rows[1]->elements()[1]->allText(), QStringLiteral("middle"));
    QVERIFY(package.contentTree->style(tableStyle + QStringLiteral("Cell")));
    QVERIFY(package.contentTree->style(tableStyle + QStringLiteral("Column3")));
    QVERIFY(!odfTable->find(QStringLiteral("table:table-header-rows")));
}

void tst_OdfWriter::headerRowWrapsFirstRow()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setHeaderRowCount(1);
    QTextTable *table = cursor.insertTable(3, 2, format);
    table->mergeCells(1, 0, 2, 1);

    const Package package = exportPackage(document);
    const XmlNode *odfTable = officeText(package)->find(QStringLiteral("table:table"));
    QVERIFY(odfTable);
    QCOMPARE(elementNames(odfTable),
             QStringList({"table:table-columns", "table:table-header-rows", "table:table-row", "table:table-row"}));
    const XmlNode *header = odfTable->child(QStringLiteral("table:table-header-rows"));
    QCOMPARE(elementNames(header), QStringList({"table:table-row"}));
    const XmlNode *spanning = odfTable->elements()[2]->elements()[0];
    QCOMPARE(spanning->attribute("table:number-rows-spanned"), QStringLiteral("2"));
    QCOMPARE(elementNames(odfTable->elements()[3]), QStringList({"table:covered-table-cell", "table:table-cell"}));
}

void tst_OdfWriter::headerRowCountBeyondRowsStaysNested()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setHeaderRowCount(5);
    cursor.insertTable(2, 2, format);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("after"));

    const Package package = exportPackage(document);
    QVERIFY(package.contentTree);
    const XmlNode *odfTable = officeText(package)->find(QStringLiteral("table:table"));
    QCOMPARE(elementNames(odfTable), QStringList({"table:table-columns", "table:table-header-rows"}));
    QCOMPARE(odfTable->child(QStringLiteral("table:table-header-rows"))->elements().size(), 2);
    // The paragraph after the table is a sibling of the table, not inside it.
    QCOMPARE(elementNames(officeText(package)), QStringList({"text:p", "table:table", "text:p"}));
    QCOMPARE(officeText(package)->elements().last()->allText(), QStringLiteral("after"));
}

void tst_OdfWriter::blockAfterTable_data()
{
    QTest::addColumn<QString>("textAfter");
    QTest::addColumn<QStringList>("expectedElements");
    QTest::newRow("empty placeholder is skipped") << QString() << QStringList({"text:p", "table:table"});
    QTest::newRow("typed text is kept") << QStringLiteral("Typed after")
                                        << QStringList({"text:p", "table:table", "text:p"});
}

void tst_OdfWriter::blockAfterTable()
{
    QFETCH(QString, textAfter);
    QFETCH(QStringList, expectedElements);
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Before"));
    cursor.insertTable(1, 1);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(textAfter);

    const Package package = exportPackage(document);
    QCOMPARE(elementNames(officeText(package)), expectedElements);
    if (!textAfter.isEmpty())
        QCOMPARE(officeText(package)->elements().last()->allText(), textAfter);
}

void tst_OdfWriter::sectionsAreWritten()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Before"));
    cursor.insertFrame(QTextFrameFormat());
    cursor.insertText(QStringLiteral("Inside"));
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("Between"));
    cursor.insertFrame(QTextFrameFormat());
    cursor.insertText(QStringLiteral("Second"));
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QStringLiteral("After"));

    const Package package = exportPackage(document);
    QCOMPARE(elementNames(officeText(package)),
             QStringList({"text:p", "text:section", "text:p", "text:section", "text:p"}));
    const XmlNode *first = officeText(package)->elements()[1];
    const XmlNode *second = officeText(package)->elements()[3];
    QCOMPARE(first->allText(), QStringLiteral("Inside"));
    QCOMPARE(second->allText(), QStringLiteral("Second"));
    // Every section has a name of its own.
    QCOMPARE(first->attribute("text:name"), QStringLiteral("Section1"));
    QCOMPARE(second->attribute("text:name"), QStringLiteral("Section2"));
    QCOMPARE(officeText(package)->elements()[2]->allText(), QStringLiteral("Between"));
    QCOMPARE(officeText(package)->elements().last()->allText(), QStringLiteral("After"));
}

void tst_OdfWriter::depthTwoListWithoutParent()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Intro"));
    QTextListFormat format;
    format.setIndent(2);
    format.setStyle(QTextListFormat::ListSquare);
    cursor.insertBlock();
    QTextList *list = cursor.createList(format);
    cursor.insertText(QStringLiteral("deep"));

    const Package package = exportPackage(document);
    const XmlNode *text = officeText(package);
    QCOMPARE(elementNames(text), QStringList({"text:p", "text:list"}));
    const XmlNode *outer = text->elements()[1];
    QVERIFY(!outer->hasAttribute("text:style-name"));
    QCOMPARE(elementNames(outer), QStringList({"text:list-item"}));
    const XmlNode *inner = outer->elements()[0]->elements().value(0);
    QVERIFY(inner);
    QCOMPARE(inner->name, QStringLiteral("text:list"));
    QCOMPARE(inner->attribute("text:style-name"), QStringLiteral("L%1").arg(list->formatIndex()));
    QCOMPARE(elementNames(inner), QStringList({"text:list-item"}));
    QCOMPARE(elementNames(inner->elements()[0]), QStringList({"text:p"}));
    QCOMPARE(inner->allText(), QStringLiteral("deep"));
    // The list style named by the content is written among the automatic styles.
    QVERIFY(package.contentTree->style(QStringLiteral("L%1").arg(list->formatIndex())));
}

void tst_OdfWriter::nestedListsAndBack()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextListFormat top;
    top.setIndent(1);
    QTextList *topList = cursor.createList(top);
    cursor.insertText(QStringLiteral("one"));
    QTextListFormat sub;
    sub.setIndent(2);
    sub.setStyle(QTextListFormat::ListDecimal);
    cursor.insertBlock();
    cursor.createList(sub);
    cursor.insertText(QStringLiteral("one.a"));
    cursor.insertBlock();
    cursor.insertText(QStringLiteral("one.b"));
    cursor.insertBlock();
    topList->add(cursor.block());
    cursor.insertText(QStringLiteral("two"));
    cursor.insertBlock();
    topList->remove(cursor.block());
    cursor.setBlockFormat(QTextBlockFormat());
    cursor.insertText(QStringLiteral("outside"));

    const Package package = exportPackage(document);
    const XmlNode *text = officeText(package);
    QCOMPARE(elementNames(text), QStringList({"text:list", "text:p"}));
    const XmlNode *list = text->elements()[0];
    QCOMPARE(elementNames(list), QStringList({"text:list-item", "text:list-item", "text:list-item"}));
    QCOMPARE(list->elements()[0]->allText(), QStringLiteral("one"));
    QCOMPARE(elementNames(list->elements()[1]), QStringList({"text:list"}));
    QCOMPARE(list->elements()[1]->findAll(QStringLiteral("text:p")).size(), 2);
    QCOMPARE(list->elements()[1]->allText(), QStringLiteral("one.aone.b"));
    QCOMPARE(list->elements()[2]->allText(), QStringLiteral("two"));
    QCOMPARE(text->elements()[1]->allText(), QStringLiteral("outside"));
}

void tst_OdfWriter::listsCloseAtFrameBoundaries()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.createList(QTextListFormat::ListDisc);
    cursor.insertText(QStringLiteral("item before table"));
    QTextTable *table = cursor.insertTable(1, 2);
    QTextCursor cell = table->cellAt(0, 0).firstCursorPosition();
    cell.createList(QTextListFormat::ListCircle);
    cell.insertText(QStringLiteral("listed cell"));
    table->cellAt(0, 1).firstCursorPosition().insertText(QStringLiteral("plain cell"));

    const Package package = exportPackage(document);
    QVERIFY(package.contentTree);
    const XmlNode *text = officeText(package);
    QCOMPARE(elementNames(text), QStringList({"text:list", "table:table"}));
    const QVector<const XmlNode *> cells = text->findAll(QStringLiteral("table:table-cell"));
    QCOMPARE(cells.size(), 2);
    QCOMPARE(elementNames(cells[0]), QStringList({"text:list"}));
    QCOMPARE(elementNames(cells[1]), QStringList({"text:p"}));
    QCOMPARE(cells[1]->allText(), QStringLiteral("plain cell"));
}

void tst_OdfWriter::listWithIndentZeroIsStillAList()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextListFormat format;
    format.setIndent(0);
    QTextList *list = cursor.createList(format);
    cursor.insertText(QStringLiteral("flat"));

    const Package package = exportPackage(document);
    const XmlNode *text = officeText(package);
    QCOMPARE(elementNames(text), QStringList({"text:list"}));
    QCOMPARE(text->elements()[0]->attribute("text:style-name"), QStringLiteral("L%1").arg(list->formatIndex()));
    const XmlNode *levelStyle =
        package.contentTree->style(QStringLiteral("L%1").arg(list->formatIndex()))->elements().value(0);
    QVERIFY(levelStyle);
    QCOMPARE(levelStyle->attribute("text:level"), QStringLiteral("1"));
}

void tst_OdfWriter::deepListIndentIsBounded()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextListFormat format;
    format.setIndent(100000);
    QTextList *list = cursor.createList(format);
    cursor.insertText(QStringLiteral("deep"));

    const Package package = exportPackage(document);
    QVERIFY(package.contentTree);
    QCOMPARE(officeText(package)->findAll(QStringLiteral("text:list")).size(), 10);
    const XmlNode *levelStyle =
        package.contentTree->style(QStringLiteral("L%1").arg(list->formatIndex()))->elements().value(0);
    QCOMPARE(levelStyle->attribute("text:level"), QStringLiteral("10"));
    QCOMPARE(officeText(package)->allText(), QStringLiteral("deep"));
}

void tst_OdfWriter::fragmentText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("single spaces stay text") << "a b c" << "a b c";
    QTest::newRow("three between words") << "a   b" << "a [s2]b";
    QTest::newRow("two between words") << "a  b" << "a [s]b";
    QTest::newRow("three at start") << "   x" << "[s3]x";
    QTest::newRow("two at start") << "  x" << "[s2]x";
    QTest::newRow("one at start") << " x" << " x";
    QTest::newRow("run at end") << "x   " << "x [s2]";
    QTest::newRow("only spaces") << "    " << "[s4]";
    QTest::newRow("tab") << "a\tb" << "a[tab]b";
    QTest::newRow("spaces before tab") << "a   \tb" << "a [s2][tab]b";
    QTest::newRow("line separator") << QString("a") + QChar(0x2028) + "b" << "a[br]b";
    QTest::newRow("spaces around line separator")
        << QString("a ") + QChar(0x2028) + "  b" << "a [br] [s]b";
    QTest::newRow("markup characters") << "<&>\"" << "<&>\"";
}

void tst_OdfWriter::fragmentText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(text);

    const Package package = exportPackage(document);
    const QVector<const XmlNode *> spans = officeText(package)->findAll(QStringLiteral("text:span"));
    QCOMPARE(spans.size(), 1);
    QCOMPARE(spanContent(spans[0]), expected);
}

void tst_OdfWriter::anchorsWrapTheirSpan()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.org/a?b=1&c=2"));
    cursor.insertText(QStringLiteral("see "));
    cursor.insertText(QStringLiteral("here"), link);

    const Package package = exportPackage(document);
    const XmlNode *paragraph = officeText(package)->find(QStringLiteral("text:p"));
    QCOMPARE(elementNames(paragraph), QStringList({"text:span", "text:a"}));
    const XmlNode *anchor = paragraph->elements()[1];
    QCOMPARE(anchor->attribute("xlink:href"), QStringLiteral("https://example.org/a?b=1&c=2"));
    QCOMPARE(elementNames(anchor), QStringList({"text:span"}));
    QCOMPARE(anchor->allText(), QStringLiteral("here"));
}

void tst_OdfWriter::flatXmlHoldsOnlyTheContent()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Flat"));
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic")),
                         testImage(QSize(4, 4), Qt::red));
    QTextImageFormat image;
    image.setName(QStringLiteral("pic"));
    cursor.insertImage(image);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    OdfWriter writer(document, &buffer);
    writer.setCreateArchive(false);
    QVERIFY(!writer.createArchive());
    QVERIFY(writer.writeAll());
    QVERIFY(!buffer.isOpen());

    QVERIFY(!bytes.startsWith("PK"));
    QString error;
    const QSharedPointer<XmlNode> tree = parseXml(bytes, &error);
    QVERIFY2(tree, qPrintable(error));
    QCOMPARE(elementNames(tree.data()), QStringList({"office:document-content"}));
    QVERIFY(!tree->find(QStringLiteral("office:document-styles")));
    QCOMPARE(tree->find(QStringLiteral("text:p"))->allText(), QStringLiteral("Flat"));
    // The picture is named but not embedded: there is no package to hold it.
    const XmlNode *picture = tree->find(QStringLiteral("draw:image"));
    QVERIFY(picture);
    QCOMPARE(picture->attribute("xlink:href"), QStringLiteral("Pictures/Picture1"));
    QVERIFY(!bytes.contains("\x89PNG"));
}

void tst_OdfWriter::twoPicturesAreEmbedded()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("red")),
                         testImage(QSize(4, 3), Qt::red));
    QByteArray bluePng;
    {
        QBuffer pngBuffer(&bluePng);
        pngBuffer.open(QIODevice::WriteOnly);
        testImage(QSize(6, 5), Qt::blue).save(&pngBuffer, "PNG");
    }
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("blue")), bluePng);
    QTextImageFormat red;
    red.setName(QStringLiteral("red"));
    QTextImageFormat blue;
    blue.setName(QStringLiteral("blue"));
    blue.setWidth(96);
    blue.setHeight(48);
    cursor.insertText(QStringLiteral("Pictures: "));
    cursor.insertImage(red);
    cursor.insertImage(blue);

    const Package package = exportPackage(document);
    QCOMPARE(package.entries, QStringList({"mimetype", "Pictures/Picture1", "Pictures/Picture2",
                                           "META-INF/manifest.xml", "styles.xml", "content.xml"}));
    const QVector<const XmlNode *> entries = package.manifestTree->findAll(QStringLiteral("manifest:file-entry"));
    QCOMPARE(entries.size(), 5);
    QCOMPARE(entries[3]->attribute("manifest:full-path"), QStringLiteral("Pictures/Picture1"));
    QCOMPARE(entries[3]->attribute("manifest:media-type"), QStringLiteral("image/png"));
    QCOMPARE(entries[4]->attribute("manifest:full-path"), QStringLiteral("Pictures/Picture2"));
    QCOMPARE(entries[4]->attribute("manifest:media-type"), QStringLiteral("image/png"));

    QBuffer archive(const_cast<QByteArray *>(&package.archive));
    archive.open(QIODevice::ReadOnly);
    ZipReader reader(&archive);
    const QImage first = QImage::fromData(reader.fileData(QStringLiteral("Pictures/Picture1")), "PNG");
    const QImage second = QImage::fromData(reader.fileData(QStringLiteral("Pictures/Picture2")), "PNG");
    QCOMPARE(first.size(), QSize(4, 3));
    QCOMPARE(first.pixelColor(0, 0), QColor(Qt::red));
    QCOMPARE(second.size(), QSize(6, 5));
    QCOMPARE(second.pixelColor(5, 4), QColor(Qt::blue));

    const QVector<const XmlNode *> frames = officeText(package)->findAll(QStringLiteral("draw:frame"));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0]->attribute("draw:name"), QStringLiteral("red"));
    QCOMPARE(frames[0]->attribute("svg:width"), QStringLiteral("3pt"));
    QCOMPARE(frames[0]->attribute("svg:height"), QStringLiteral("2.25pt"));
    QCOMPARE(frames[0]->child("draw:image")->attribute("xlink:href"), QStringLiteral("Pictures/Picture1"));
    QCOMPARE(frames[1]->attribute("svg:width"), QStringLiteral("72pt"));
    QCOMPARE(frames[1]->attribute("svg:height"), QStringLiteral("36pt"));
    QCOMPARE(frames[1]->child("draw:image")->attribute("xlink:href"), QStringLiteral("Pictures/Picture2"));
    // Pictures sit in spans without a style, and nothing else is in those spans.
    const QVector<const XmlNode *> spans = officeText(package)->findAll(QStringLiteral("text:span"));
    QCOMPARE(spans.size(), 3);
    QVERIFY(!spans[1]->hasAttribute("text:style-name"));
    QCOMPARE(spanContent(spans[1]), QStringLiteral("[draw:frame]"));
}

void tst_OdfWriter::picturesFromQrcAndFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("green.png"));
    QVERIFY(testImage(QSize(7, 2), Qt::green).save(file, "PNG"));

    QTextDocument document;
    QTextCursor cursor(&document);
    QTextImageFormat fromResource;
    fromResource.setName(QStringLiteral(":/odfwriter/picture.png"));
    QTextImageFormat fromFile;
    fromFile.setName(file);
    cursor.insertImage(fromResource);
    cursor.insertText(QStringLiteral(" and "));
    cursor.insertImage(fromFile);
    // Two equal pictures side by side share one text fragment.
    cursor.insertImage(fromFile);

    const Package package = exportPackage(document);
    QCOMPARE(package.entries.mid(1, 3),
             QStringList({"Pictures/Picture1", "Pictures/Picture2", "Pictures/Picture3"}));
    QBuffer archive(const_cast<QByteArray *>(&package.archive));
    archive.open(QIODevice::ReadOnly);
    ZipReader reader(&archive);
    const QImage qrcImage = QImage::fromData(reader.fileData(QStringLiteral("Pictures/Picture1")), "PNG");
    QCOMPARE(qrcImage.size(), QImage(QStringLiteral(":/odfwriter/picture.png")).size());
    QVERIFY(!qrcImage.isNull());
    const QImage fileImage = QImage::fromData(reader.fileData(QStringLiteral("Pictures/Picture3")), "PNG");
    QCOMPARE(fileImage.size(), QSize(7, 2));
    QCOMPARE(officeText(package)->findAll(QStringLiteral("draw:image")).size(), 3);
}

void tst_OdfWriter::missingPictureLeavesEmptyFrame()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextImageFormat missing;
    missing.setName(QStringLiteral("/nonexistent/picture.png"));
    cursor.insertImage(missing);

    const Package package = exportPackage(document);
    QCOMPARE(package.entries, QStringList({"mimetype", "META-INF/manifest.xml", "styles.xml", "content.xml"}));
    const XmlNode *frame = officeText(package)->find(QStringLiteral("draw:frame"));
    QVERIFY(frame);
    QCOMPARE(frame->attribute("draw:name"), QStringLiteral("/nonexistent/picture.png"));
    QVERIFY(frame->elements().isEmpty());
    QVERIFY(!frame->hasAttribute("svg:width"));
}

void tst_OdfWriter::pictureWithOneSideGivenKeepsItsShape()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("wide")),
                         testImage(QSize(40, 10), Qt::red));
    QTextImageFormat byWidth;
    byWidth.setName(QStringLiteral("wide"));
    byWidth.setWidth(96);
    QTextImageFormat byHeight;
    byHeight.setName(QStringLiteral("wide"));
    byHeight.setHeight(96);
    cursor.insertImage(byWidth);
    cursor.insertImage(byHeight);

    const Package package = exportPackage(document);
    const QVector<const XmlNode *> frames = officeText(package)->findAll(QStringLiteral("draw:frame"));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(frames[0]->attribute("svg:width"), QStringLiteral("72pt"));
    QCOMPARE(frames[0]->attribute("svg:height"), QStringLiteral("18pt"));
    QCOMPARE(frames[1]->attribute("svg:width"), QStringLiteral("288pt"));
    QCOMPARE(frames[1]->attribute("svg:height"), QStringLiteral("72pt"));
}

void tst_OdfWriter::codecAppliesToContentOnly()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("Gr\u00fc\u00dfe"));
    QTextCodec *latin1 = QTextCodec::codecForName("ISO-8859-1");
    QVERIFY(latin1);
    const Package package = exportPackage(document, latin1);
    QVERIFY(package.content.startsWith("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>"));
    QVERIFY(package.content.contains("Gr\xfc\xdf" "e"));
    QVERIFY(package.styles.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    QVERIFY(package.contentTree);
    QCOMPARE(officeText(package)->allText(), QStringLiteral("Gr\u00fc\u00dfe"));
}

void tst_OdfWriter::unopenableDeviceFails()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("x"));
    QFile file(QStringLiteral("/nonexistent-directory/report.odt"));
    OdfWriter writer(document, &file);
    QTest::ignoreMessage(QtWarningMsg, "OdfWriter::writeAll: the device can not be opened for writing");
    QVERIFY(!writer.writeAll());
    QVERIFY(!QFile::exists(file.fileName()));
}

void tst_OdfWriter::readOnlyDeviceFails()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("x"));
    QByteArray bytes("untouched");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    OdfWriter writer(document, &buffer);
    QTest::ignoreMessage(QtWarningMsg, "OdfWriter::writeAll: the device can not be opened for writing");
    QVERIFY(!writer.writeAll());
    QCOMPARE(bytes, QByteArray("untouched"));
}

void tst_OdfWriter::randomDocumentsKeepStructureAndText()
{
    const int kDocuments = 150;
    for (int seed = 1; seed <= kDocuments; ++seed) {
        QTextDocument document;
        document.setHtml(RandomHtml(quint32(seed)).document());
        const Package package = exportPackage(document);
        QVERIFY2(package.contentTree, qPrintable(QStringLiteral("seed %1").arg(seed)));
        const XmlNode *text = officeText(package);
        QVERIFY(text);

        for (const XmlNode *table : text->findAll(QStringLiteral("table:table"))) {
            const int columns = table->child(QStringLiteral("table:table-columns"))->elements().size();
            QVector<const XmlNode *> rows;
            for (const XmlNode *child : table->elements()) {
                if (child->name == QLatin1String("table:table-row"))
                    rows.append(child);
                else if (child->name == QLatin1String("table:table-header-rows"))
                    rows += child->elements();
            }
            QVERIFY(!rows.isEmpty());
            for (const XmlNode *row : rows) {
                int cells = 0;
                for (const XmlNode *cell : row->elements())
                    cells += cell->name.endsWith(QLatin1String("table-cell")) ? 1 : 0;
                QVERIFY2(cells == columns && row->elements().size() == columns,
                         qPrintable(QStringLiteral("seed %1: %2 cells, %3 columns").arg(seed).arg(cells).arg(columns)));
            }
        }
        for (const XmlNode *list : text->findAll(QStringLiteral("text:list")))
            for (const XmlNode *item : list->elements()) {
                QCOMPARE(item->name, QStringLiteral("text:list-item"));
                for (const XmlNode *inside : item->elements())
                    QVERIFY2(inside->name == QLatin1String("text:p") || inside->name == QLatin1String("text:list"),
                             qPrintable(QStringLiteral("seed %1: %2 in a list item").arg(seed).arg(inside->name)));
            }
        for (const XmlNode *span : text->findAll(QStringLiteral("text:span"))) {
            const QString style = span->attribute(QStringLiteral("text:style-name"));
            QVERIFY2(style.isEmpty() || package.contentTree->style(style),
                     qPrintable(QStringLiteral("seed %1: no style %2").arg(seed).arg(style)));
        }
        for (const XmlNode *paragraph : text->findAll(QStringLiteral("text:p")))
            QVERIFY(package.contentTree->style(paragraph->attribute(QStringLiteral("text:style-name"))));

        QCOMPARE(exportedWords(text), documentWords(document));
    }
}

void tst_OdfWriter::paragraphStyleTakesNextCharacterFormat()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat block;
    block.setAlignment(Qt::AlignHCenter);
    QTextCharFormat arial;
    arial.setFontFamily(QStringLiteral("Arial"));
    arial.setFontPointSize(12);
    cursor.setBlockFormat(block);
    cursor.setBlockCharFormat(arial);
    const int blockIndex = document.begin().blockFormatIndex();
    const QVector<QTextFormat> formats = document.allFormats();
    QVERIFY(formats.value(blockIndex).isBlockFormat());
    QVERIFY(formats.value(blockIndex + 1).isCharFormat());
    QCOMPARE(formats.value(blockIndex + 1).toCharFormat().fontFamily(), QStringLiteral("Arial"));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("root"));
    OdfWriter writer(document, nullptr);
    writer.writeFormats(xml, QSet<int>{blockIndex});
    xml.writeEndDocument();
    QString error;
    const QSharedPointer<XmlNode> tree = parseXml(buffer.data(), &error);
    QVERIFY2(tree, qPrintable(error));

    const QVector<const XmlNode *> styles = tree->findAll(QStringLiteral("style:style"));
    QCOMPARE(styles.size(), 2);
    QCOMPARE(styles[0]->attribute("style:name"), QStringLiteral("MasterParagraph"));
    QCOMPARE(styles[0]->attribute("style:master-page-name"), QStringLiteral("MP0"));
    QCOMPARE(styles[1]->attribute("style:name"), QStringLiteral("Paragraph%1").arg(blockIndex));
    for (const XmlNode *style : styles) {
        const XmlNode *text = style->child(QStringLiteral("style:text-properties"));
        QVERIFY(text);
        QCOMPARE(text->attribute("fo:font-family"), QStringLiteral("Arial"));
        QCOMPARE(text->attribute("fo:font-size"), QStringLiteral("12pt"));
        QCOMPARE(style->child(QStringLiteral("style:paragraph-properties"))->attribute("fo:text-align"),
                 QStringLiteral("center"));
    }
}

void tst_OdfWriter::paragraphStyleDefaults()
{
    QTextDocument document;
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSize(11);
    document.setDefaultFont(font);
    document.setPlainText(QStringLiteral("x"));
    const Package package = exportPackage(document);
    const int index = document.begin().blockFormatIndex();
    QCOMPARE(paragraphProperty(package, index, "fo:margin-bottom"), QStringLiteral("0pt"));
    QCOMPARE(paragraphProperty(package, index, "fo:line-height"), QStringLiteral("100%"));
    QCOMPARE(paragraphProperty(package, index, "fo:margin-top"), QStringLiteral("<unset>"));
    QCOMPARE(paragraphProperty(package, index, "fo:text-align"), QStringLiteral("<unset>"));
    QCOMPARE(styleProperty(package, QStringLiteral("Paragraph%1").arg(index), "style:text-properties",
                           "fo:font-family"),
             QStringLiteral("Liberation Serif"));
    QCOMPARE(styleProperty(package, QStringLiteral("Paragraph%1").arg(index), "style:text-properties",
                           "fo:font-size"),
             QStringLiteral("11pt"));
}

void tst_OdfWriter::paragraphMargins()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat format;
    format.setLeftMargin(20);
    format.setIndent(2);
    format.setTopMargin(-5);
    format.setBottomMargin(8);
    format.setRightMargin(4);
    format.setTextIndent(-16);
    format.setLineHeight(150, QTextBlockFormat::ProportionalHeight);
    cursor.insertText(QStringLiteral("first"));
    cursor.insertBlock(format);
    cursor.insertText(QStringLiteral("second"));
    const int index = document.begin().next().blockFormatIndex();

    const Package package = exportPackage(document);
    QCOMPARE(paragraphProperty(package, index, "fo:margin-left"), QStringLiteral("16.5pt"));
    QCOMPARE(paragraphProperty(package, index, "fo:margin-top"), QStringLiteral("0pt"));
    QCOMPARE(paragraphProperty(package, index, "fo:margin-bottom"), QStringLiteral("6pt"));
    QCOMPARE(paragraphProperty(package, index, "fo:margin-right"), QStringLiteral("3pt"));
    QCOMPARE(paragraphProperty(package, index, "fo:text-indent"), QStringLiteral("-12pt"));
    QCOMPARE(paragraphProperty(package, index, "fo:line-height"), QStringLiteral("150%"));
}

void tst_OdfWriter::paragraphAlignment_data()
{
    QTest::addColumn<int>("alignment");
    QTest::addColumn<QString>("expected");
    QTest::newRow("leading") << int(Qt::AlignLeft) << "start";
    QTest::newRow("trailing") << int(Qt::AlignRight) << "end";
    QTest::newRow("absolute left") << int(Qt::AlignLeft | Qt::AlignAbsolute) << "left";
    QTest::newRow("absolute right") << int(Qt::AlignRight | Qt::AlignAbsolute) << "right";
    QTest::newRow("center") << int(Qt::AlignHCenter) << "center";
    QTest::newRow("vertical part ignored") << int(Qt::AlignHCenter | Qt::AlignVCenter) << "center";
    QTest::newRow("justify") << int(Qt::AlignJustify) << "justify";
}

void tst_OdfWriter::paragraphAlignment()
{
    QFETCH(int, alignment);
    QFETCH(QString, expected);
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat format;
    format.setAlignment(Qt::Alignment(alignment));
    cursor.setBlockFormat(format);
    cursor.insertText(QStringLiteral("aligned"));
    const Package package = exportPackage(document);
    QCOMPARE(paragraphProperty(package, document.begin().blockFormatIndex(), "fo:text-align"), expected);
}

void tst_OdfWriter::unsupportedAlignmentWarns()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat format;
    format.setAlignment(Qt::AlignAbsolute);
    cursor.setBlockFormat(format);
    // One warning for the master paragraph's style, one for its own.
    const QRegularExpression message(QStringLiteral("^OdfWriter: unsupported paragraph alignment; QFlags.*AlignAbsolute"));
    QTest::ignoreMessage(QtWarningMsg, message);
    QTest::ignoreMessage(QtWarningMsg, message);
    const Package package = exportPackage(document);
    QCOMPARE(paragraphProperty(package, document.begin().blockFormatIndex(), "fo:text-align"),
             QStringLiteral("<unset>"));
}

void tst_OdfWriter::paragraphBreaksTabsAndBackground()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat format;
    format.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore | QTextFormat::PageBreak_AlwaysAfter);
    format.setBackground(QColor(0x12, 0x34, 0x56));
    format.setNonBreakableLines(true);
    format.setTabPositions({QTextOption::Tab(96, QTextOption::LeftTab),
                            QTextOption::Tab(192, QTextOption::DelimiterTab, QLatin1Char(',')),
                            QTextOption::Tab(288, QTextOption::RightTab)});
    cursor.setBlockFormat(format);
    cursor.insertText(QStringLiteral("a\tb"));
    const int index = document.begin().blockFormatIndex();

    const Package package = exportPackage(document);
    QCOMPARE(paragraphProperty(package, index, "fo:break-before"), QStringLiteral("page"));
    QCOMPARE(paragraphProperty(package, index, "fo:break-after"), QStringLiteral("page"));
    QCOMPARE(paragraphProperty(package, index, "fo:background-color"), QStringLiteral("#123456"));
    QCOMPARE(paragraphProperty(package, index, "fo:keep-together"), QStringLiteral("true"));
    const XmlNode *tabs = package.contentTree->style(QStringLiteral("Paragraph%1").arg(index))
                              ->find(QStringLiteral("style:tab-stops"));
    QVERIFY(tabs);
    const QVector<const XmlNode *> stops = tabs->elements();
    QCOMPARE(stops.size(), 3);
    QCOMPARE(stops[0]->attribute("style:position"), QStringLiteral("72pt"));
    QCOMPARE(stops[0]->attribute("style:type"), QStringLiteral("left"));
    QVERIFY(!stops[0]->hasAttribute("style:char"));
    QCOMPARE(stops[1]->attribute("style:type"), QStringLiteral("char"));
    QCOMPARE(stops[1]->attribute("style:char"), QStringLiteral(","));
    QCOMPARE(stops[2]->attribute("style:position"), QStringLiteral("216pt"));
    QCOMPARE(stops[2]->attribute("style:type"), QStringLiteral("right"));
}

void tst_OdfWriter::fontWeight_data()
{
    QTest::addColumn<int>("weight");
    QTest::addColumn<QString>("expected");
    QTest::newRow("bold") << 75 << "bold";
    QTest::newRow("normal") << 50 << "<unset>";
    QTest::newRow("zero") << 0 << "<unset>";
    QTest::newRow("demi") << 63 << "630";
    QTest::newRow("light") << 25 << "250";
}

void tst_OdfWriter::fontWeight()
{
    QFETCH(int, weight);
    QFETCH(QString, expected);
    QTextDocument document;
    QTextCharFormat format;
    format.setFontWeight(weight);
    const int index = charFormatIndexOf(document, format);
    const Package package = exportPackage(document);
    QCOMPARE(textProperty(package, index, "fo:font-weight"), expected);
}

void tst_OdfWriter::characterProperties_data()
{
    QTest::addColumn<QTextCharFormat>("format");
    QTest::addColumn<QString>("attribute");
    QTest::addColumn<QString>("expected");

    QTextCharFormat f;
    QTest::newRow("no italic") << f << "fo:font-style" << "<unset>";
    QTest::newRow("no size given") << f << "fo:font-size" << "9pt";
    f.setFontItalic(true);
    QTest::newRow("italic") << f << "fo:font-style" << "italic";

    f = QTextCharFormat();
    f.setFontPointSize(10.5);
    QTest::newRow("size") << f << "fo:font-size" << "10.5pt";

    f = QTextCharFormat();
    f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    QTest::newRow("superscript") << f << "style:text-position" << "super";
    f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    QTest::newRow("subscript") << f << "style:text-position" << "sub";
    f.setVerticalAlignment(QTextCharFormat::AlignBottom);
    QTest::newRow("bottom") << f << "style:text-position" << "-100%";
    f.setVerticalAlignment(QTextCharFormat::AlignTop);
    QTest::newRow("top") << f << "style:text-position" << "100%";
    f.setVerticalAlignment(QTextCharFormat::AlignMiddle);
    QTest::newRow("middle") << f << "style:text-position" << "0%";

    const QVector<QPair<QFont::Capitalization, QPair<QString, QString>>> caps = {
        {QFont::MixedCase, {"fo:text-transform", "none"}},
        {QFont::AllUppercase, {"fo:text-transform", "uppercase"}},
        {QFont::AllLowercase, {"fo:text-transform", "lowercase"}},
        {QFont::SmallCaps, {"fo:font-variant", "small-caps"}},
        {QFont::Capitalize, {"fo:text-transform", "capitalize"}},
    };
    for (const auto &cap : caps) {
        f = QTextCharFormat();
        f.setFontCapitalization(cap.first);
        QTest::newRow(qPrintable("caps " + cap.second.second)) << f << cap.second.first << cap.second.second;
    }

    f = QTextCharFormat();
    f.setFontLetterSpacing(4);
    f.setFontWordSpacing(8);
    QTest::newRow("letter spacing") << f << "fo:letter-spacing" << "3pt";
    QTest::newRow("word spacing") << f << "fo:word-spacing" << "6pt";
    f.setFontWordSpacing(0);
    QTest::newRow("zero word spacing") << f << "fo:word-spacing" << "<unset>";

    f = QTextCharFormat();
    f.setProperty(QTextFormat::FontUnderline, true);
    QTest::newRow("underline type") << f << "style:text-underline-type" << "single";
    f.setProperty(QTextFormat::FontUnderline, false);
    QTest::newRow("no underline type") << f << "style:text-underline-type" << "none";
    f = QTextCharFormat();
    f.setFontStrikeOut(true);
    QTest::newRow("strike out") << f << "style:text-line-through-type" << "single";

    const QVector<QPair<QTextCharFormat::UnderlineStyle, QString>> underlines = {
        {QTextCharFormat::NoUnderline, "none"},       {QTextCharFormat::SingleUnderline, "solid"},
        {QTextCharFormat::DashUnderline, "dash"},     {QTextCharFormat::DotLine, "dotted"},
        {QTextCharFormat::DashDotLine, "dash-dot"},   {QTextCharFormat::DashDotDotLine, "dot-dot-dash"},
        {QTextCharFormat::WaveUnderline, "wave"},     {QTextCharFormat::SpellCheckUnderline, "none"},
    };
    for (const auto &underline : underlines) {
        f = QTextCharFormat();
        f.setUnderlineStyle(underline.first);
        QTest::newRow(qPrintable(QStringLiteral("underline style %1").arg(int(underline.first))))
            << f << "style:text-underline-style" << underline.second;
    }
    f = QTextCharFormat();
    f.setUnderlineColor(QColor(0xaa, 0xbb, 0xcc));
    QTest::newRow("underline colour") << f << "style:text-underline-color" << "#aabbcc";
    f = QTextCharFormat();
    f.setTextOutline(QPen(Qt::red));
    QTest::newRow("outline") << f << "style:text-outline" << "true";
    f = QTextCharFormat();
    f.setForeground(QColor(0x10, 0x20, 0x30));
    f.setBackground(QColor(0xff, 0xff, 0x00));
    QTest::newRow("colour") << f << "fo:color" << "#102030";
    QTest::newRow("background") << f << "fo:background-color" << "#ffff00";
}

void tst_OdfWriter::characterProperties()
{
    QFETCH(QTextCharFormat, format);
    QFETCH(QString, attribute);
    QFETCH(QString, expected);
    QTextDocument document;
    QFont font = document.defaultFont();
    font.setPointSize(9);
    document.setDefaultFont(font);
    const int index = charFormatIndexOf(document, format);
    const Package package = exportPackage(document);
    QCOMPARE(textProperty(package, index, attribute), expected);
    QVERIFY(!textProperty(package, index, QStringLiteral("fo:font-family")).startsWith(QLatin1Char('<')));
}

void tst_OdfWriter::listStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("indent");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<QString>("expectedElement");
    QTest::addColumn<QStringList>("expectedAttributes");

    const QString bullet = QStringLiteral("text:list-level-style-bullet");
    const QString number = QStringLiteral("text:list-level-style-number");
    QTest::newRow("disc at 2") << int(QTextListFormat::ListDisc) << 2 << QString() << QString() << bullet
                               << QStringList({"text:bullet-char=\u25cf", "text:level=2"});
    QTest::newRow("circle") << int(QTextListFormat::ListCircle) << 1 << QString() << QString() << bullet
                            << QStringList({"text:bullet-char=\u25cb", "text:level=1"});
    QTest::newRow("square") << int(QTextListFormat::ListSquare) << 1 << QString() << QString() << bullet
                            << QStringList({"text:bullet-char=\u25a1"});
    QTest::newRow("decimal") << int(QTextListFormat::ListDecimal) << 1 << QString() << QString() << number
                             << QStringList({"style:num-format=1", "style:num-suffix=.", "style:num-prefix"});
    QTest::newRow("lower alpha with suffix") << int(QTextListFormat::ListLowerAlpha) << 3 << QString() << ")"
                                             << number
                                             << QStringList({"style:num-format=a", "style:num-suffix=)", "text:level=3"});
    QTest::newRow("upper alpha with prefix") << int(QTextListFormat::ListUpperAlpha) << 1 << "(" << QString()
                                             << number
                                             << QStringList({"style:num-format=A", "style:num-prefix=("});
    QTest::newRow("lower roman") << int(QTextListFormat::ListLowerRoman) << 1 << QString() << QString() << number
                                 << QStringList({"style:num-format=i"});
    QTest::newRow("upper roman") << int(QTextListFormat::ListUpperRoman) << 1 << QString() << QString() << number
                                 << QStringList({"style:num-format=I"});
}

void tst_OdfWriter::listStyles()
{
    QFETCH(int, style);
    QFETCH(int, indent);
    QFETCH(QString, prefix);
    QFETCH(QString, suffix);
    QFETCH(QString, expectedElement);
    QFETCH(QStringList, expectedAttributes);

    QTextDocument document;
    QTextCursor cursor(&document);
    QTextListFormat format;
    format.setStyle(QTextListFormat::Style(style));
    format.setIndent(indent);
    if (!prefix.isNull())
        format.setNumberPrefix(prefix);
    if (!suffix.isNull())
        format.setNumberSuffix(suffix);
    QTextList *list = cursor.createList(format);
    cursor.insertText(QStringLiteral("item"));

    const Package package = exportPackage(document);
    const XmlNode *listStyle = package.contentTree->style(QStringLiteral("L%1").arg(list->formatIndex()));
    QVERIFY(listStyle);
    QCOMPARE(listStyle->name, QStringLiteral("text:list-style"));
    QCOMPARE(listStyle->elements().size(), 1);
    const XmlNode *level = listStyle->elements().first();
    QCOMPARE(level->name, expectedElement);
    for (const QString &expected : expectedAttributes) {
        const QStringList pair = expected.split(QLatin1Char('='));
        if (pair.size() == 1)
            QVERIFY2(!level->hasAttribute(pair[0]), qPrintable(pair[0]));
        else
            QCOMPARE(level->attribute(pair[0]), pair[1]);
    }
    const XmlNode *properties = level->child(QStringLiteral("style:list-level-properties"));
    QVERIFY(properties);
    QCOMPARE(properties->attribute("fo:text-align"), QStringLiteral("start"));
    QCOMPARE(properties->attribute("text:space-before"), QStringLiteral("%1mm").arg(indent * 8));
}

void tst_OdfWriter::tableColumnWeights()
{
    QTextDocument document;
    setA4PageWith20mmMargins(document);
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setWidth(QTextLength(QTextLength::PercentageLength, 50));
    format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 50),
                                      QTextLength(QTextLength::PercentageLength, 50)});
    format.setTopMargin(8);
    format.setLeftMargin(-4);
    QTextTable *table = cursor.insertTable(1, 2, format);
    const QString name = QStringLiteral("Table%1").arg(table->formatIndex());

    const Package package = exportPackage(document);
    QCOMPARE(styleProperty(package, name, "style:table-properties", "style:rel-width"), QStringLiteral("50%"));
    QCOMPARE(styleProperty(package, name, "style:table-properties", "fo:margin-top"), QStringLiteral("6pt"));
    QCOMPARE(styleProperty(package, name, "style:table-properties", "fo:margin-left"), QStringLiteral("0pt"));
    QCOMPARE(styleProperty(package, name, "style:table-properties", "table:align"), QStringLiteral("margins"));
    QCOMPARE(styleProperty(package, name, "style:table-properties", "style:shadow"), QStringLiteral("none"));
    QCOMPARE(styleProperty(package, name, "style:table-properties", "table:border-model"),
             QStringLiteral("collapsing"));
    QCOMPARE(package.contentTree->style(name)->attribute("style:family"), QStringLiteral("table"));
    for (int c = 1; c <= 2; ++c) {
        const QString column = name + QStringLiteral("Column%1").arg(c);
        QCOMPARE(package.contentTree->style(column)->attribute("style:family"), QStringLiteral("table-column"));
        QCOMPARE(styleProperty(package, column, "style:table-column-properties", "style:rel-column-width"),
                 QStringLiteral("32750*"));
        QCOMPARE(styleProperty(package, column, "style:table-column-properties", "style:column-width"),
                 QStringLiteral("42.5000mm"));
    }
}

void tst_OdfWriter::tableWithMoreColumnsThanConstraints()
{
    QTextDocument document;
    setA4PageWith20mmMargins(document);
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setColumnWidthConstraints({QTextLength(QTextLength::PercentageLength, 100),
                                      QTextLength(QTextLength::PercentageLength, 20)});
    QTextTable *table = cursor.insertTable(1, 3, format);
    const QString name = QStringLiteral("Table%1Column").arg(table->formatIndex());

    const Package package = exportPackage(document);
    QCOMPARE(styleProperty(package, name + "1", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("65500*"));
    QCOMPARE(styleProperty(package, name + "1", "style:table-column-properties", "style:column-width"),
             QStringLiteral("170.0000mm"));
    QCOMPARE(styleProperty(package, name + "2", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("13100*"));
    QCOMPARE(styleProperty(package, name + "3", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("<unset>"));
    QCOMPARE(styleProperty(package, name + "3", "style:table-column-properties", "style:column-width"),
             QStringLiteral("<unset>"));
}

void tst_OdfWriter::tableColumnsOfFixedAndVariableWidth()
{
    QTextDocument document;
    setA4PageWith20mmMargins(document);
    QTextCursor cursor(&document);
    const qreal pixelsPerMM = 2.835 * 96 / 72;
    QTextTableFormat format;
    format.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 34 * pixelsPerMM),
                                      QTextLength(QTextLength::FixedLength, 17 * pixelsPerMM),
                                      QTextLength(QTextLength::VariableLength, 0),
                                      QTextLength(QTextLength::PercentageLength, 150)});
    QTextTable *table = cursor.insertTable(1, 4, format);
    const QString name = QStringLiteral("Table%1Column").arg(table->formatIndex());

    // 34 mm of 170 mm is 20 %, 17 mm is 10 %: the weights keep the 2 : 1.
    const Package package = exportPackage(document);
    QCOMPARE(styleProperty(package, name + "1", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("13100*"));
    QCOMPARE(styleProperty(package, name + "1", "style:table-column-properties", "style:column-width"),
             QStringLiteral("34.0000mm"));
    QCOMPARE(styleProperty(package, name + "2", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("6550*"));
    QCOMPARE(styleProperty(package, name + "3", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("<unset>"));
    // Wide percentages are not cut to 16 bits.
    QCOMPARE(styleProperty(package, name + "4", "style:table-column-properties", "style:rel-column-width"),
             QStringLiteral("98250*"));
    QCOMPARE(styleProperty(package, name + "4", "style:table-column-properties", "style:column-width"),
             QStringLiteral("255.0000mm"));
}

void tst_OdfWriter::tableCellBorderAndPadding()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat plain;
    plain.setBorder(1);
    plain.setCellPadding(0);
    QTextTable *plainTable = cursor.insertTable(1, 1, plain);
    cursor.movePosition(QTextCursor::End);
    QTextTableFormat black;
    black.setBorder(1);
    black.setBorderBrush(QBrush(QColor(QStringLiteral("#000000")), Qt::SolidPattern));
    black.setCellPadding(4);
    QTextTable *blackTable = cursor.insertTable(1, 1, black);

    const Package package = exportPackage(document);
    const QString plainCell = QStringLiteral("Table%1Cell").arg(plainTable->formatIndex());
    const QString blackCell = QStringLiteral("Table%1Cell").arg(blackTable->formatIndex());
    QCOMPARE(styleProperty(package, plainCell, "style:table-cell-properties", "fo:border"), QStringLiteral("<unset>"));
    QCOMPARE(styleProperty(package, plainCell, "style:table-cell-properties", "fo:padding"), QStringLiteral("<unset>"));
    QCOMPARE(styleProperty(package, blackCell, "style:table-cell-properties", "fo:border"),
             QStringLiteral("0.0138in solid #000000"));
    QCOMPARE(styleProperty(package, blackCell, "style:table-cell-properties", "fo:padding"), QStringLiteral("3pt"));
    QCOMPARE(package.contentTree->style(blackCell)->attribute("style:family"), QStringLiteral("table-cell"));
}

QTEST_MAIN(tst_OdfWriter)
#include "tst_odfwriter.moc"
