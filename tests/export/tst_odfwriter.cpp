#include <configurator-common/odfwriter.h>
#include <configurator-common/zipreader.h>

#include <QBuffer>
#include <QHash>
#include <QImage>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTextCodec>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtTest>

using Properties = QVector<QPair<int, QVariant>>;
Q_DECLARE_METATYPE(Properties)

namespace {

// A small element tree read with QXmlStreamReader, so that the tests look at
// exported documents by structure.  Names are "prefix:local" with the usual
// OpenDocument prefixes, whatever prefixes the document itself declares.
struct XmlNode
{
    QString name; // "text:p"; "#text" for character data
    QHash<QString, QString> attributes;
    QString text; // character data of a "#text" node
    QVector<QSharedPointer<XmlNode>> children;

    QString attribute(const QString &qualifiedName) const { return attributes.value(qualifiedName); }
    bool hasAttribute(const QString &qualifiedName) const { return attributes.contains(qualifiedName); }

    QVector<const XmlNode *> elements() const
    {
        QVector<const XmlNode *> result;
        for (const auto &child : children)
            if (child->name != QLatin1String("#text"))
                result.append(child.data());
        return result;
    }

    const XmlNode *child(const QString &qualifiedName) const
    {
        for (const auto &c : children)
            if (c->name == qualifiedName)
                return c.data();
        return nullptr;
    }

    // Every element of that name below this one, in document order.
    QVector<const XmlNode *> findAll(const QString &qualifiedName) const
    {
        QVector<const XmlNode *> result;
        for (const auto &c : children)
            result += (c->name == qualifiedName ? QVector<const XmlNode *>{c.data()} : QVector<const XmlNode *>())
                + c->findAll(qualifiedName);
        return result;
    }

    const XmlNode *find(const QString &qualifiedName) const { return findAll(qualifiedName).value(0); }

    // The style:style (or text:list-style) element with that style:name.
    const XmlNode *style(const QString &styleName) const
    {
        for (const XmlNode *node : findAll(QStringLiteral("style:style")) + findAll(QStringLiteral("text:list-style")))
            if (node->attribute(QStringLiteral("style:name")) == styleName)
                return node;
        return nullptr;
    }

    QString allText() const
    {
        QString result = text;
        for (const auto &c : children)
            result += c->allText();
        return result;
    }
};

QString odfName(QStringView namespaceUri, QStringView name)
{
    static const QHash<QString, QString> prefixes = {
        {"urn:oasis:names:tc:opendocument:xmlns:office:1.0", "office"},
        {"urn:oasis:names:tc:opendocument:xmlns:text:1.0", "text"},
        {"urn:oasis:names:tc:opendocument:xmlns:style:1.0", "style"},
        {"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0", "fo"},
        {"urn:oasis:names:tc:opendocument:xmlns:table:1.0", "table"},
        {"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0", "draw"},
        {"http://www.w3.org/1999/xlink", "xlink"},
        {"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0", "svg"},
        {"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0", "manifest"},
    };
    return prefixes.value(namespaceUri.toString(), QStringLiteral("?")) + QLatin1Char(':') + name.toString();
}

// Parses a whole document; a null pointer and the reader's message on error.
// Inside paragraphs every space is text; elsewhere whitespace is indentation.
QSharedPointer<XmlNode> parseXml(const QByteArray &bytes, QString *error = nullptr)
{
    static const QStringList keepsWhitespace = {"text:p", "text:span", "text:a", "text:h"};
    QXmlStreamReader reader(bytes);
    auto root = QSharedPointer<XmlNode>::create();
    QVector<XmlNode *> stack{root.data()};
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isEndElement())
            stack.removeLast();
        if (!reader.isStartElement()
            && !(reader.isCharacters() && (!reader.isWhitespace() || keepsWhitespace.contains(stack.last()->name))))
            continue;
        auto node = QSharedPointer<XmlNode>::create();
        node->name = reader.isStartElement() ? odfName(reader.namespaceUri(), reader.name()) : QStringLiteral("#text");
        node->text = reader.isCharacters() ? reader.text().toString() : QString();
        for (const QXmlStreamAttribute &a : reader.attributes())
            node->attributes.insert(odfName(a.namespaceUri(), a.name()), a.value().toString());
        stack.last()->children.append(node);
        if (reader.isStartElement())
            stack.append(node.data());
    }
    if (reader.hasError() && error)
        *error = reader.errorString();
    return reader.hasError() ? QSharedPointer<XmlNode>() : root;
}

const char kOdtMimeType[] = "application/vnd.oasis.opendocument.text";
const qreal kPixelsPerMM = 2.835 * 96 / 72;

struct Package
{
    QByteArray archive;
    QStringList entries;
    QHash<QString, QByteArray> files;
    QSharedPointer<XmlNode> contentTree;
    QSharedPointer<XmlNode> stylesTree;
    QSharedPointer<XmlNode> manifestTree;
    double textWidthMM = 0;

    const XmlNode *text() const { return contentTree ? contentTree->find(QStringLiteral("office:text")) : nullptr; }
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
    package.textWidthMM = writer.textWidthMM();
    buffer.open(QIODevice::ReadOnly);
    ZipReader reader(&buffer);
    for (const ZipReader::FileInfo &info : reader.fileInfoList()) {
        package.entries.append(info.filePath);
        package.files.insert(info.filePath, reader.fileData(info.filePath));
    }
    package.contentTree = parseXml(package.files.value(QStringLiteral("content.xml")));
    package.stylesTree = parseXml(package.files.value(QStringLiteral("styles.xml")));
    package.manifestTree = parseXml(package.files.value(QStringLiteral("META-INF/manifest.xml")));
    return package;
}

QStringList elementNames(const XmlNode *node)
{
    QStringList names;
    for (const XmlNode *child : node->elements())
        names.append(child->name);
    return names;
}

// The element tree in one line: local names, a few identifying attributes
// in brackets, children in parentheses and a span's text in braces.
QString outline(const XmlNode *node)
{
    static const QVector<QPair<QString, QString>> shown = {{"xlink:href", ""}, {"text:name", ""},
                                                           {"table:number-columns-spanned", "cols="},
                                                           {"table:number-rows-spanned", "rows="}};
    QStringList parts;
    for (const XmlNode *element : node->elements()) {
        QString part = element->name.section(QLatin1Char(':'), 1);
        for (const auto &attribute : shown)
            if (element->hasAttribute(attribute.first))
                part += '[' + attribute.second + element->attribute(attribute.first) + ']';
        if (part == QLatin1String("span"))
            part += '{' + element->allText() + '}';
        else if (!element->elements().isEmpty())
            part += '(' + outline(element) + ')';
        parts << part;
    }
    return parts.join(QLatin1Char(' '));
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
                ? QStringLiteral("[s%1]").arg(child->attribute(QStringLiteral("text:c"))) : QStringLiteral("[s]");
        else if (child->name == QLatin1String("text:tab"))
            result += QStringLiteral("[tab]");
        else if (child->name == QLatin1String("text:line-break"))
            result += QStringLiteral("[br]");
        else
            result += QStringLiteral("[%1]").arg(child->name);
    }
    return result;
}

// The attribute as found first on the style's properties elements, in
// document order; "<unset>" when none has it.
QString styleAttribute(const XmlNode *tree, const QString &styleName, const QString &attribute)
{
    const XmlNode *style = tree->style(styleName);
    if (!style)
        return QStringLiteral("<no style %1>").arg(styleName);
    if (style->hasAttribute(attribute))
        return style->attribute(attribute);
    std::function<const XmlNode *(const XmlNode *)> search = [&](const XmlNode *node) -> const XmlNode * {
        for (const XmlNode *child : node->elements()) {
            if (child->hasAttribute(attribute))
                return child;
            if (const XmlNode *found = search(child))
                return found;
        }
        return nullptr;
    };
    const XmlNode *holder = search(style);
    return holder ? holder->attribute(attribute) : QStringLiteral("<unset>");
}

QString styleAttribute(const Package &package, const QString &styleName, const QString &attribute)
{
    return styleAttribute(package.contentTree.data(), styleName, attribute);
}

// A page of 210 mm with margins of 20 mm leaves a text area of 170 mm.
void setA4PageWith20mmMargins(QTextDocument &document)
{
    document.setPageSize(QSizeF(210 * kPixelsPerMM, 297 * kPixelsPerMM));
    QTextFrameFormat root = document.rootFrame()->frameFormat();
    root.setMargin(20 * kPixelsPerMM);
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

QStringList words(QString text)
{
    text.remove(QChar(0xfffc));
    return text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
}

QStringList exportedWords(const XmlNode *text)
{
    QString all;
    for (const XmlNode *paragraph : text->findAll(QStringLiteral("text:p"))) {
        collectParagraphText(paragraph, &all);
        all += QLatin1Char('\n');
    }
    return words(all);
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
        for (int i = pick(6); i >= 0; --i)
            html += block(0);
        return html;
    }

private:
    int pick(int n) { return int(random.bounded(n)); }

    QString words()
    {
        static const QStringList vocabulary = {"alpha", "\u00fcber", "\u041f\u0440\u0438\u0431\u043e\u0440",
                                               "x&amp;y", "&lt;tag&gt;"};
        static const QStringList wrappers = {"<b>%1</b>", "<i>%1</i>", "<a href=\"http://h/\">%1</a>",
                                             "<sup>%1</sup>", "<img src=\"missing.png\">%1", "%1"};
        QString text;
        for (int i = pick(5); i >= 0; --i)
            text += wrappers.at(pick(wrappers.size()))
                        .arg(vocabulary.at(pick(vocabulary.size())) + QString::number(counter++)) + ' ';
        return text;
    }

    QString list(int depth)
    {
        const QString tag = pick(2) ? "ul" : "ol";
        QString html = "<" + tag + ">";
        for (int i = pick(4); i >= 0; --i)
            html += "<li>" + words() + (depth < 3 && pick(3) == 0 ? list(depth + 1) : QString()) + "</li>";
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
                html += (pick(3) == 0 ? block(depth + 1) : words()) + "</td>";
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
    void pageLayout_data();
    void pageLayout();
    void masterParagraphAndSpans();
    void tableGrid();
    void structure_data();
    void structure();
    void sectionsAreWritten();
    void listNesting_data();
    void listNesting();
    void fragmentText_data();
    void fragmentText();
    void pictures();
    void flatXmlHoldsOnlyTheContent();
    void codecAppliesToContentOnly_data();
    void codecAppliesToContentOnly();
    void unwritableDeviceFails();
    void randomDocumentsKeepStructureAndText();

    void paragraphStyleTakesNextCharacterFormat();
    void tabStops();
    void styles_data();
    void styles();
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
    QTest::newRow("a4 width") << qreal(210 * kPixelsPerMM) << "595.35pt" << "210mm";
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
    QCOMPARE(package.archive.mid(30, 8 + int(qstrlen(kOdtMimeType))), QByteArray("mimetype") + kOdtMimeType);

    QVERIFY(package.manifestTree && package.contentTree && package.stylesTree);
    QStringList manifest;
    for (const XmlNode *entry : package.manifestTree->findAll(QStringLiteral("manifest:file-entry")))
        manifest << entry->attribute("manifest:full-path") + QLatin1Char(' ') + entry->attribute("manifest:media-type");
    QCOMPARE(manifest, QStringList({QStringLiteral("/ ") + kOdtMimeType, "content.xml text/xml", "styles.xml text/xml"}));
    QCOMPARE(elementNames(package.contentTree.data()), QStringList({"office:document-content"}));
}

void tst_OdfWriter::pageLayout_data()
{
    QTest::addColumn<bool>("pageGiven");
    QTest::addColumn<QString>("margin");
    QTest::newRow("A4 with 20 mm margins") << true << "20mm";
    // A document never given a page size reports -1 x -1 pixels; its own
    // margin is 4 pixels.
    QTest::newRow("no page size falls back to A4") << false << "1.0582mm";
}

void tst_OdfWriter::pageLayout()
{
    QFETCH(bool, pageGiven);
    QFETCH(QString, margin);
    QTextDocument document;
    document.setPlainText(QStringLiteral("x"));
    if (pageGiven)
        setA4PageWith20mmMargins(document);
    const Package package = exportPackage(document);
    QVERIFY(package.stylesTree);
    const XmlNode *layout = package.stylesTree->find(QStringLiteral("style:page-layout"));
    const XmlNode *master = package.stylesTree->find(QStringLiteral("style:master-page"));
    QVERIFY(layout && master);
    const XmlNode *properties = layout->child(QStringLiteral("style:page-layout-properties"));
    QStringList actual = {layout->attribute("style:name"), master->attribute("style:name"),
                          master->attribute("style:page-layout-name")};
    for (const char *key : {"fo:page-width", "fo:page-height", "fo:margin-top", "fo:margin-left", "fo:margin-right"})
        actual << properties->attribute(key);
    QCOMPARE(actual, QStringList({"PL0", "MP0", "PL0", "210mm", "297mm", margin, margin, margin}));
    if (pageGiven)
        QCOMPARE(package.textWidthMM, 170.0);
}

void tst_OdfWriter::masterParagraphAndSpans()
{
    // The second paragraph keeps the document's first block format; the
    // first gets a newer one, so its index is not the lowest.
    QTextDocument document;
    document.setHtml(QStringLiteral("<p>plain <b>bold </b><i>italic</i></p>"));
    QTextCursor cursor(&document);
    cursor.insertBlock();
    cursor.movePosition(QTextCursor::Start);
    QTextBlockFormat heading;
    heading.setAlignment(Qt::AlignHCenter);
    cursor.setBlockFormat(heading);
    cursor.insertText(QStringLiteral("Heading"));
    const QTextBlock first = document.begin();
    QVERIFY(first.blockFormatIndex() > first.next().blockFormatIndex());

    const Package package = exportPackage(document);
    QCOMPARE(outline(package.text()), QStringLiteral("p(span{Heading}) p(span{plain } span{bold } span{italic})"));
    const QVector<const XmlNode *> paragraphs = package.text()->findAll(QStringLiteral("text:p"));
    const QVector<const XmlNode *> spans = package.text()->findAll(QStringLiteral("text:span"));
    QCOMPARE(paragraphs[0]->attribute("text:style-name"), QStringLiteral("MasterParagraph"));
    QCOMPARE(spans[0]->attribute("text:style-name"), QStringLiteral("T%1").arg(first.begin().fragment().charFormatIndex()));
    QCOMPARE(paragraphs[1]->attribute("text:style-name"),
             QStringLiteral("Paragraph%1").arg(first.next().blockFormatIndex()));
    const XmlNode *master = package.contentTree->style(QStringLiteral("MasterParagraph"));
    QVERIFY(master);
    QCOMPARE(master->attribute("style:family"), QStringLiteral("paragraph"));
    QCOMPARE(master->attribute("style:master-page-name"), QStringLiteral("MP0"));
    QCOMPARE(styleAttribute(package, "MasterParagraph", "fo:text-align"), QStringLiteral("center"));
    // Every span's style is written.
    QVERIFY(package.contentTree->style(spans[1]->attribute("text:style-name")));
    QCOMPARE(styleAttribute(package, spans[2]->attribute("text:style-name"), "fo:font-weight"), QStringLiteral("bold"));
    QCOMPARE(styleAttribute(package, spans[3]->attribute("text:style-name"), "fo:font-style"), QStringLiteral("italic"));
}

// Header row, a column span with its covered cell and a row span with its
// covered cell below.
void tst_OdfWriter::tableGrid()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextTableFormat format;
    format.setHeaderRowCount(1);
    QTextTable *table = cursor.insertTable(3, 3, format);
    table->mergeCells(0, 0, 1, 2);
    table->mergeCells(1, 0, 2, 1);
    table->cellAt(0, 0).firstCursorPosition().insertText(QStringLiteral("wide"));
    table->cellAt(0, 2).firstCursorPosition().insertText(QStringLiteral("third"));
    table->cellAt(1, 0).firstCursorPosition().insertText(QStringLiteral("tall"));
    table->cellAt(2, 1).firstCursorPosition().insertText(QStringLiteral("middle"));

    const Package package = exportPackage(document);
    const XmlNode *odfTable = package.text()->find(QStringLiteral("table:table"));
    QVERIFY(odfTable);
    QCOMPARE(outline(odfTable),
             QStringLiteral("table-columns(table-column table-column table-column) "
                            "table-header-rows(table-row(table-cell[cols=2](p(span{wide})) covered-table-cell "
                            "table-cell(p(span{third})))) "
                            "table-row(table-cell[rows=2](p(span{tall})) table-cell(p) table-cell(p)) "
                            "table-row(covered-table-cell table-cell(p(span{middle})) table-cell(p))"));
    const QString tableStyle = QStringLiteral("Table%1").arg(table->formatIndex());
    QStringList styles = {odfTable->attribute("table:style-name")};
    for (const XmlNode *column : odfTable->findAll(QStringLiteral("table:table-column")))
        styles << column->attribute("table:style-name");
    styles << odfTable->find(QStringLiteral("table:table-cell"))->attribute("table:style-name");
    QCOMPARE(styles, QStringList({tableStyle, tableStyle + "Column1", tableStyle + "Column2", tableStyle + "Column3",
                                  tableStyle + "Cell"}));
    for (const QString &style : styles)
        QVERIFY2(package.contentTree->style(style), qPrintable(style));
}

void tst_OdfWriter::structure_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<int>("headerRows");
    QTest::addColumn<QString>("expected");
    const QString table = "<p>Before</p><table><tr><td>x</td></tr><tr><td>y</td></tr></table>";
    const QString rows = "table-row(table-cell(p(span{x}))) table-row(table-cell(p(span{y})))";
    const QString tableOutline = "p(span{Before}) table(table-columns(table-column) %1)";
    QTest::newRow("empty block after a table is skipped") << table << 0 << tableOutline.arg(rows);
    QTest::newRow("text after a table is kept")
        << table + "<p>after</p>" << 0 << tableOutline.arg(rows) + " p(span{after})";
    // More header rows than rows: the paragraph after is still the table's sibling.
    QTest::newRow("header rows beyond the rows")
        << table + "<p>after</p>" << 5 << tableOutline.arg("table-header-rows(" + rows + ")") + " p(span{after})";
    QTest::newRow("nested lists and back")
        << "<ul><li>one<ol><li>one.a</li><li>one.b</li></ol></li><li>two</li></ul><p>outside</p>" << 0
        << "list(list-item(p(span{one})) list-item(list(list-item(p(span{one.a})) list-item(p(span{one.b})))) "
           "list-item(p(span{two}))) p(span{outside})";
    QTest::newRow("lists close at frame boundaries")
        << "<ul><li>item</li></ul><table><tr><td><ul type=\"circle\"><li>listed</li></ul></td><td>plain</td></tr>"
           "</table><ol><li>after</li></ol>" << 0
        << "list(list-item(p(span{item}))) table(table-columns(table-column table-column) "
           "table-row(table-cell(list(list-item(p(span{listed})))) table-cell(p(span{plain})))) "
           "list(list-item(p(span{after})))";
    QTest::newRow("anchor wraps its span") << "see <a href=\"https://example.org/a?b=1&amp;c=2\">here</a>" << 0
                                           << "p(span{see } a[https://example.org/a?b=1&c=2](span{here}))";
}

void tst_OdfWriter::structure()
{
    QFETCH(QString, html);
    QFETCH(int, headerRows);
    QFETCH(QString, expected);
    QTextDocument document;
    document.setHtml(html);
    if (headerRows) {
        QTextTable *table = qobject_cast<QTextTable *>(document.rootFrame()->childFrames().value(0));
        QVERIFY(table);
        QTextTableFormat format = table->format();
        format.setHeaderRowCount(headerRows);
        table->setFormat(format);
    }
    const Package package = exportPackage(document);
    QVERIFY(package.contentTree);
    QCOMPARE(outline(package.text()), expected);
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
    // Every section has a name of its own.
    QCOMPARE(outline(exportPackage(document).text()),
             QStringLiteral("p(span{Before}) section[Section1](p(span{Inside})) p(span{Between}) "
                            "section[Section2](p(span{Second})) p(span{After})"));
}

void tst_OdfWriter::listNesting_data()
{
    QTest::addColumn<int>("indent");
    QTest::addColumn<int>("depth");
    QTest::newRow("indent zero is still a list") << 0 << 1;
    QTest::newRow("depth two without a parent list") << 2 << 2;
    QTest::newRow("deep indent is bounded") << 100000 << 10;
}

// Levels above the list get a text:list without a style of their own.
void tst_OdfWriter::listNesting()
{
    QFETCH(int, indent);
    QFETCH(int, depth);
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Intro"));
    cursor.insertBlock();
    QTextListFormat format;
    format.setIndent(indent);
    format.setStyle(QTextListFormat::ListSquare);
    QTextList *list = cursor.createList(format);
    cursor.insertText(QStringLiteral("item"));
    const QString listStyle = QStringLiteral("L%1").arg(list->formatIndex());

    const Package package = exportPackage(document);
    QVERIFY(package.contentTree);
    QString nested = QStringLiteral("list(list-item(p(span{item})))");
    for (int i = 1; i < depth; ++i)
        nested = "list(list-item(" + nested + "))";
    QCOMPARE(outline(package.text()), "p(span{Intro}) " + nested);
    // Only the list's own level names its style.
    QStringList styles;
    for (const XmlNode *level : package.text()->findAll(QStringLiteral("text:list")))
        styles << level->attribute("text:style-name");
    QCOMPARE(styles, QVector<QString>(depth - 1).toList() << listStyle);
    // The list style named by the content is written, at the list's level.
    QCOMPARE(styleAttribute(package, listStyle, "text:level"), QString::number(depth));
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
    QTest::newRow("one at start") << " x" << "[s]x";
    QTest::newRow("run at end") << "x   " << "x [s2]";
    QTest::newRow("only spaces") << "    " << "[s4]";
    QTest::newRow("tab") << "a\tb" << "a[tab]b";
    QTest::newRow("spaces before tab") << "a   \tb" << "a [s2][tab]b";
    QTest::newRow("line separator") << QString("a") + QChar(0x2028) + "b" << "a[br]b";
    QTest::newRow("spaces around line separator") << QString("a ") + QChar(0x2028) + "  b" << "a [br][s2]b";
    QTest::newRow("one space on each side of a line separator") << QString("a ") + QChar(0x2028) + " b" << "a [br][s]b";
    QTest::newRow("one after a line separator") << QString("a") + QChar(0x2028) + " b" << "a[br][s]b";
    QTest::newRow("one after a tab") << "a\t b" << "a[tab] b";
    // "|" starts a fragment of another format.
    QTest::newRow("one after a space in the fragment before") << "a | b" << "a |[s]b";
    QTest::newRow("one after a word in the fragment before") << "a| b" << "a| b";
    QTest::newRow("one after a run in the fragment before") << "a  | b" << "a [s]| b";
    QTest::newRow("markup characters") << "<&>\"" << "<&>\"";
}

void tst_OdfWriter::fragmentText()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QTextDocument document;
    QTextCursor cursor(&document);
    const QStringList fragments = text.split(QLatin1Char('|'));
    for (int i = 0; i < fragments.size(); ++i) {
        QTextCharFormat format;
        format.setFontItalic(i % 2);
        cursor.insertText(fragments[i], format);
    }
    const Package package = exportPackage(document);
    const QVector<const XmlNode *> spans = package.text()->findAll(QStringLiteral("text:span"));
    QCOMPARE(spans.size(), fragments.size());
    QStringList contents;
    for (const XmlNode *span : spans)
        contents << spanContent(span);
    QCOMPARE(contents.join(QLatin1Char('|')), expected);
}

// Pictures from the document's resources (an image and PNG bytes), from qrc,
// from a file (twice, sharing a fragment), scaled by one side, and missing.
// A picture shown again gets a frame name of its own.
void tst_OdfWriter::pictures()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("green.png"));
    QVERIFY(testImage(QSize(7, 2), Qt::green).save(file, "PNG"));
    QByteArray bluePng;
    QBuffer pngBuffer(&bluePng);
    QVERIFY(pngBuffer.open(QIODevice::WriteOnly) && testImage(QSize(6, 5), Qt::blue).save(&pngBuffer, "PNG"));
    const QString qrc = QStringLiteral(":/odfwriter/picture.png");
    const QSize qrcSize = QImage(qrc).size();
    QVERIFY(!qrcSize.isEmpty());

    QTextDocument document;
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("red")), testImage(QSize(4, 3), Qt::red));
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("blue")), bluePng);
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("wide")), testImage(QSize(40, 10), Qt::red));
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Pictures: "));
    auto insert = [&cursor](const QString &name, qreal width, qreal height) {
        QTextImageFormat format;
        format.setName(name);
        if (width > 0)
            format.setWidth(width);
        if (height > 0)
            format.setHeight(height);
        cursor.insertImage(format);
    };
    insert(QStringLiteral("red"), 0, 0);
    insert(QStringLiteral("blue"), 96, 48);
    insert(qrc, 0, 0);
    insert(file, 0, 0);
    insert(file, 0, 0);
    insert(QStringLiteral("wide"), 96, 0);
    insert(QStringLiteral("wide"), 0, 96);
    insert(QStringLiteral("/nonexistent/picture.png"), 0, 0);

    // Per picture: frame name, size on the page, link, manifest type, pixels
    // and the colour of the last pixel.
    const QString qrcLine = QStringLiteral("%1 %2x%3 Pictures/Picture3 image/png %4x%5 ")
                                .arg(qrc, OdfWriter::pixelToPoint(qrcSize.width()),
                                     OdfWriter::pixelToPoint(qrcSize.height()))
                                .arg(qrcSize.width()).arg(qrcSize.height());
    const QStringList expected = {
        "red 3ptx2.25pt Pictures/Picture1 image/png 4x3 #ff0000",
        "blue 72ptx36pt Pictures/Picture2 image/png 6x5 #0000ff",
        qrcLine + QImage(qrc).pixelColor(qrcSize.width() - 1, qrcSize.height() - 1).name(),
        file + " 5.25ptx1.5pt Pictures/Picture4 image/png 7x2 #00ff00",
        file + "2 5.25ptx1.5pt Pictures/Picture5 image/png 7x2 #00ff00",
        "wide 72ptx18pt Pictures/Picture6 image/png 40x10 #ff0000",
        "wide2 288ptx72pt Pictures/Picture7 image/png 40x10 #ff0000",
    };
    const Package package = exportPackage(document);
    QCOMPARE(package.entries.mid(1, expected.size() + 1),
             QStringList({"Pictures/Picture1", "Pictures/Picture2", "Pictures/Picture3", "Pictures/Picture4",
                          "Pictures/Picture5", "Pictures/Picture6", "Pictures/Picture7", "META-INF/manifest.xml"}));
    const QVector<const XmlNode *> manifest = package.manifestTree->findAll(QStringLiteral("manifest:file-entry"));
    const QVector<const XmlNode *> frames = package.text()->findAll(QStringLiteral("draw:frame"));
    QCOMPARE(manifest.size(), 3 + expected.size());
    QCOMPARE(frames.size(), expected.size() + 1);
    QStringList actual;
    for (int i = 0; i < expected.size(); ++i) {
        const QString href = frames[i]->child("draw:image")->attribute("xlink:href");
        const QImage image = QImage::fromData(package.files.value(href), "PNG");
        QCOMPARE(manifest[3 + i]->attribute("manifest:full-path"), href);
        actual << QStringLiteral("%1 %2x%3 %4 %5 %6x%7 %8")
                      .arg(frames[i]->attribute("draw:name"), frames[i]->attribute("svg:width"),
                           frames[i]->attribute("svg:height"), href, manifest[3 + i]->attribute("manifest:media-type"))
                      .arg(image.width()).arg(image.height())
                      .arg(image.pixelColor(image.width() - 1, image.height() - 1).name());
    }
    QCOMPARE(actual, expected);
    // A missing picture leaves a named, empty frame.
    QCOMPARE(frames.last()->attribute("draw:name"), QStringLiteral("/nonexistent/picture.png"));
    QVERIFY(frames.last()->elements().isEmpty());
    QVERIFY(!frames.last()->hasAttribute("svg:width"));
    // Each picture sits alone in a span without a style.
    const QVector<const XmlNode *> spans = package.text()->findAll(QStringLiteral("text:span"));
    QCOMPARE(spans.size(), 1 + frames.size());
    for (const XmlNode *span : spans.mid(1)) {
        QVERIFY(!span->hasAttribute("text:style-name"));
        QCOMPARE(spanContent(span), QStringLiteral("[draw:frame]"));
    }
}

void tst_OdfWriter::flatXmlHoldsOnlyTheContent()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("Flat"));
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("pic")), testImage(QSize(4, 4), Qt::red));
    QTextImageFormat image;
    image.setName(QStringLiteral("pic"));
    cursor.insertImage(image);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    OdfWriter writer(document, &buffer);
    writer.setCreateArchive(false);
    QVERIFY(writer.writeAll());
    QVERIFY(!buffer.isOpen());
    QString error;
    const QSharedPointer<XmlNode> tree = parseXml(bytes, &error);
    QVERIFY2(tree, qPrintable(error));
    QCOMPARE(elementNames(tree.data()), QStringList({"office:document-content"}));
    QCOMPARE(tree->find(QStringLiteral("text:p"))->allText(), QStringLiteral("Flat"));
    // The picture is named but not embedded: there is no package to hold it.
    QCOMPARE(tree->find(QStringLiteral("draw:image"))->attribute("xlink:href"), QStringLiteral("Pictures/Picture1"));
    QVERIFY(!bytes.contains("\x89PNG"));
}

// Characters that the codec cannot encode, in text and in attribute values,
// become character references; the document stays whole.
void tst_OdfWriter::codecAppliesToContentOnly_data()
{
    QTest::addColumn<QByteArray>("codec");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("ISO-8859-1") << QByteArray("ISO-8859-1")
                                << QByteArray("Gr\xfc\xdf" "e &#x41F;&#x440;&#x438;&#x431;&#x43E;&#x440; &#x1F600;");
    QTest::newRow("KOI8-R") << QByteArray("KOI8-R") << QByteArray("Gr&#xFC;&#xDF;e \xf0\xd2\xc9\xc2\xcf\xd2 &#x1F600;");
}

void tst_OdfWriter::codecAppliesToContentOnly()
{
    QFETCH(QByteArray, codec);
    QFETCH(QByteArray, expected);
    const QString text = QStringLiteral("Gr\u00fc\u00dfe \u041f\u0440\u0438\u0431\u043e\u0440 \U0001F600");
    const QString href = QStringLiteral("http://h/\u041f\u00fc");
    QTextDocument document;
    QTextCursor cursor(&document);
    cursor.insertText(text);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(href);
    cursor.insertText(QStringLiteral("."), link);
    QTextCodec *textCodec = QTextCodec::codecForName(codec);
    QVERIFY(textCodec);
    const Package package = exportPackage(document, textCodec);
    const QByteArray content = package.files.value(QStringLiteral("content.xml"));
    QVERIFY(content.startsWith(textCodec->fromUnicode(
        QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>").arg(QString::fromLatin1(textCodec->name())))));
    QVERIFY2(content.contains(expected), content.constData());
    QVERIFY(package.files.value(QStringLiteral("styles.xml")).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    QVERIFY(package.contentTree);
    QCOMPARE(package.text()->allText(), text + QLatin1Char('.'));
    QCOMPARE(package.text()->find(QStringLiteral("text:a"))->attribute(QStringLiteral("xlink:href")), href);
}

void tst_OdfWriter::unwritableDeviceFails()
{
    QTextDocument document;
    document.setPlainText(QStringLiteral("x"));
    const char *warning = "OdfWriter::writeAll: the device can not be opened for writing";
    QFile file(QStringLiteral("/nonexistent-directory/report.odt"));
    QTest::ignoreMessage(QtWarningMsg, warning);
    QVERIFY(!OdfWriter(document, &file).writeAll());
    QVERIFY(!QFile::exists(file.fileName()));

    QByteArray bytes("untouched");
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QTest::ignoreMessage(QtWarningMsg, warning);
    QVERIFY(!OdfWriter(document, &buffer).writeAll());
    QCOMPARE(bytes, QByteArray("untouched"));
}

void tst_OdfWriter::randomDocumentsKeepStructureAndText()
{
    const int kDocuments = 150;
    for (int seed = 1; seed <= kDocuments; ++seed) {
        const QString tag = QStringLiteral("seed %1: ").arg(seed);
        QTextDocument document;
        document.setHtml(RandomHtml(quint32(seed)).document());
        const Package package = exportPackage(document);
        QVERIFY2(package.contentTree, qPrintable(tag));
        const XmlNode *text = package.text();

        // Every row of a table has as many cells as the table has columns.
        for (const XmlNode *table : text->findAll(QStringLiteral("table:table"))) {
            const int columns = table->child(QStringLiteral("table:table-columns"))->elements().size();
            QVector<const XmlNode *> rows;
            for (const XmlNode *child : table->elements())
                rows += child->name == QLatin1String("table:table-header-rows") ? child->elements()
                      : child->name == QLatin1String("table:table-row") ? QVector<const XmlNode *>{child}
                                                                         : QVector<const XmlNode *>();
            QVERIFY(!rows.isEmpty());
            for (const XmlNode *row : rows) {
                const QStringList cells = elementNames(row).filter(QRegularExpression(QStringLiteral("table-cell$")));
                QVERIFY2(cells.size() == columns && row->elements().size() == columns, qPrintable(tag + "bad row"));
            }
        }
        for (const XmlNode *list : text->findAll(QStringLiteral("text:list")))
            for (const XmlNode *item : list->elements()) {
                QCOMPARE(item->name, QStringLiteral("text:list-item"));
                for (const QString &inside : elementNames(item))
                    QVERIFY2(inside == QLatin1String("text:p") || inside == QLatin1String("text:list"),
                             qPrintable(tag + inside + " in a list item"));
            }
        // Every named style is written; only picture spans go without one.
        for (const XmlNode *node : text->findAll(QStringLiteral("text:span")) + text->findAll(QStringLiteral("text:p"))) {
            const QString style = node->attribute(QStringLiteral("text:style-name"));
            QVERIFY2(package.contentTree->style(style) || (style.isEmpty() && node->name == QLatin1String("text:span")),
                     qPrintable(tag + "no style " + style));
        }

        QCOMPARE(exportedWords(text), words(document.toPlainText()));
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
    QCOMPARE(document.allFormats().value(blockIndex + 1).toCharFormat().fontFamily(), QStringLiteral("Arial"));

    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QXmlStreamWriter xml(&buffer);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("root"));
    OdfWriter(document, nullptr).writeFormats(xml, QSet<int>{blockIndex});
    xml.writeEndDocument();
    QString error;
    const QSharedPointer<XmlNode> tree = parseXml(buffer.data(), &error);
    QVERIFY2(tree, qPrintable(error));

    const QVector<const XmlNode *> styles = tree->findAll(QStringLiteral("style:style"));
    QCOMPARE(styles.size(), 2);
    QCOMPARE(styles[0]->attribute("style:name"), QStringLiteral("MasterParagraph"));
    QCOMPARE(styles[1]->attribute("style:name"), QStringLiteral("Paragraph%1").arg(blockIndex));
    for (const XmlNode *style : styles) {
        const QString name = style->attribute("style:name");
        QCOMPARE(styleAttribute(tree.data(), name, "fo:font-family"), QStringLiteral("Arial"));
        QCOMPARE(styleAttribute(tree.data(), name, "fo:font-size"), QStringLiteral("12pt"));
        QCOMPARE(styleAttribute(tree.data(), name, "fo:text-align"), QStringLiteral("center"));
    }
}

void tst_OdfWriter::tabStops()
{
    QTextDocument document;
    QTextCursor cursor(&document);
    QTextBlockFormat format;
    format.setAlignment(Qt::AlignAbsolute);
    format.setTabPositions({QTextOption::Tab(96, QTextOption::LeftTab),
                            QTextOption::Tab(192, QTextOption::DelimiterTab, QLatin1Char(',')),
                            QTextOption::Tab(288, QTextOption::RightTab)});
    cursor.setBlockFormat(format);
    cursor.insertText(QStringLiteral("a\tb"));
    // An alignment without a direction is refused with a warning, once for
    // the master paragraph's style and once for its own.
    const QRegularExpression message(QStringLiteral("^OdfWriter: unsupported paragraph alignment; QFlags.*AlignAbsolute"));
    QTest::ignoreMessage(QtWarningMsg, message);
    QTest::ignoreMessage(QtWarningMsg, message);

    const Package package = exportPackage(document);
    const QString style = QStringLiteral("Paragraph%1").arg(document.begin().blockFormatIndex());
    QCOMPARE(styleAttribute(package, style, "fo:text-align"), QStringLiteral("<unset>"));
    const XmlNode *tabs = package.contentTree->style(style)->find(QStringLiteral("style:tab-stops"));
    QVERIFY(tabs);
    QStringList stops;
    for (const XmlNode *stop : tabs->elements())
        stops << QStringList({stop->attribute("style:position"), stop->attribute("style:type"),
                              stop->hasAttribute("style:char") ? stop->attribute("style:char") : "-"}).join(' ');
    QCOMPARE(stops, QStringList({"72pt left -", "144pt char ,", "216pt right -"}));
}

// The properties are set on a paragraph's, a text run's, a list's or a
// table's format; each "attribute=value" is looked up in the style named
// after that format's index ("<unset>" for an attribute not written).
void tst_OdfWriter::styles_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<Properties>("properties");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const QString &tag, const char *style, const Properties &properties, const QStringList &expected) {
        QTest::newRow(qPrintable(tag)) << QString(style) << properties << expected;
    };

    const char *paragraph = "Paragraph%1";
    row("paragraph defaults", paragraph, {},
        {"fo:margin-bottom=0pt", "fo:line-height=100%", "fo:margin-top=<unset>", "fo:text-align=<unset>",
         "fo:font-family=Liberation Serif", "fo:font-size=9pt"});
    row("margins", paragraph,
        {{QTextFormat::BlockLeftMargin, 20.0}, {QTextFormat::BlockIndent, 2}, {QTextFormat::BlockTopMargin, -5.0},
         {QTextFormat::BlockBottomMargin, 8.0}, {QTextFormat::BlockRightMargin, 4.0}, {QTextFormat::TextIndent, -16.0},
         {QTextFormat::LineHeight, 150.0}, {QTextFormat::LineHeightType, QTextBlockFormat::ProportionalHeight}},
        {"fo:margin-left=16.5pt", "fo:margin-top=0pt", "fo:margin-bottom=6pt", "fo:margin-right=3pt",
         "fo:text-indent=-12pt", "fo:line-height=150%"});
    const QVector<QPair<int, QString>> alignments = {
        {Qt::AlignLeft, "start"}, {Qt::AlignRight, "end"}, {Qt::AlignLeft | Qt::AlignAbsolute, "left"},
        {Qt::AlignRight | Qt::AlignAbsolute, "right"}, {Qt::AlignHCenter, "center"},
        {Qt::AlignHCenter | Qt::AlignVCenter, "center"}, {Qt::AlignJustify, "justify"}};
    for (const auto &a : alignments)
        row(QString::asprintf("alignment %x", a.first), paragraph, {{QTextFormat::BlockAlignment, a.first}},
            {"fo:text-align=" + a.second});
    row("breaks and background", paragraph,
        {{QTextFormat::PageBreakPolicy, int(QTextFormat::PageBreak_AlwaysBefore | QTextFormat::PageBreak_AlwaysAfter)},
         {QTextFormat::BackgroundBrush, QBrush(QColor(0x12, 0x34, 0x56))}, {QTextFormat::BlockNonBreakableLines, true}},
        {"fo:break-before=page", "fo:break-after=page", "fo:background-color=#123456", "fo:keep-together=true"});

    const char *text = "T%1";
    row("text defaults", text, {}, {"fo:font-style=<unset>", "fo:font-size=9pt", "fo:font-weight=<unset>"});
    row("italic and size", text, {{QTextFormat::FontItalic, true}, {QTextFormat::FontPointSize, 10.5}},
        {"fo:font-style=italic", "fo:font-size=10.5pt"});
    // The nearest of Qt's named weights; halfway between two, the lighter.
    // Qt 6 weighs from 1 to 1000, Qt 5 from 0 to 99.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    for (const auto &w : QVector<QPair<int, QString>>{{700, "bold"}, {400, "<unset>"}, {0, "<unset>"}, {600, "600"},
                                                      {300, "300"}, {1, "100"}, {200, "200"}, {450, "normal"},
                                                      {451, "500"}, {649, "600"}, {650, "600"}, {651, "bold"},
                                                      {800, "800"}, {1000, "900"}, {7000, "900"}, {-3, "100"}})
#else
    for (const auto &w : QVector<QPair<int, QString>>{{75, "bold"}, {50, "<unset>"}, {0, "<unset>"}, {63, "600"},
                                                      {25, "300"}, {1, "100"}, {12, "200"}, {45, "normal"},
                                                      {57, "500"}, {69, "600"}, {70, "bold"}, {81, "800"},
                                                      {99, "900"}, {700, "900"}, {-3, "100"}})
#endif
        row(QStringLiteral("weight %1").arg(w.first), text, {{QTextFormat::FontWeight, w.first}},
            {"fo:font-weight=" + w.second});
    const QVector<QPair<int, QString>> positions = {
        {QTextCharFormat::AlignSuperScript, "super"}, {QTextCharFormat::AlignSubScript, "sub"},
        {QTextCharFormat::AlignBottom, "-100%"}, {QTextCharFormat::AlignTop, "100%"}, {QTextCharFormat::AlignMiddle, "0%"}};
    for (const auto &p : positions)
        row("position " + p.second, text, {{QTextFormat::TextVerticalAlignment, p.first}},
            {"style:text-position=" + p.second});
    const QStringList caps = {"fo:text-transform=none", "fo:text-transform=uppercase", "fo:text-transform=lowercase",
                              "fo:font-variant=small-caps", "fo:text-transform=capitalize"};
    for (int c = QFont::MixedCase; c <= QFont::Capitalize; ++c)
        row(QStringLiteral("caps %1").arg(c), text, {{QTextFormat::FontCapitalization, c}}, {caps.at(c)});
    row("spacing", text, {{QTextFormat::FontLetterSpacing, 4.0}, {QTextFormat::FontWordSpacing, 8.0}},
        {"fo:letter-spacing=3pt", "fo:word-spacing=6pt"});
    row("zero word spacing", text, {{QTextFormat::FontWordSpacing, 0.0}}, {"fo:word-spacing=<unset>"});
    row("underline and strike out", text, {{QTextFormat::FontUnderline, true}, {QTextFormat::FontStrikeOut, true}},
        {"style:text-underline-type=single", "style:text-line-through-type=single"});
    row("no underline", text, {{QTextFormat::FontUnderline, false}}, {"style:text-underline-type=none"});
    const QStringList underlines = {"none", "solid", "dash", "dotted", "dash-dot", "dot-dot-dash", "wave", "none"};
    for (int u = QTextCharFormat::NoUnderline; u <= QTextCharFormat::SpellCheckUnderline; ++u)
        row(QStringLiteral("underline style %1").arg(u), text, {{QTextFormat::TextUnderlineStyle, u}},
            {"style:text-underline-style=" + underlines.at(u)});
    row("colours and outline", text,
        {{QTextFormat::TextUnderlineColor, QColor(0xaa, 0xbb, 0xcc)}, {QTextFormat::TextOutline, QPen(Qt::red)},
         {QTextFormat::ForegroundBrush, QBrush(QColor(0x10, 0x20, 0x30))},
         {QTextFormat::BackgroundBrush, QBrush(QColor(0xff, 0xff, 0x00))}},
        {"style:text-underline-color=#aabbcc", "style:text-outline=true", "fo:color=#102030",
         "fo:background-color=#ffff00"});

    auto list = [&row](const char *tag, int style, int indent, const QStringList &expected, const QString &prefix = {},
                       const QString &suffix = {}) {
        Properties properties = {{QTextFormat::ListStyle, style}, {QTextFormat::ListIndent, indent}};
        if (!prefix.isEmpty())
            properties.append({QTextFormat::ListNumberPrefix, prefix});
        if (!suffix.isEmpty())
            properties.append({QTextFormat::ListNumberSuffix, suffix});
        row(tag, "L%1", properties, expected);
    };
    list("disc at 2", QTextListFormat::ListDisc, 2,
         {"text:bullet-char=\u25cf", "text:level=2", "text:space-before=16mm", "fo:text-align=start",
          "style:num-format=<unset>"});
    list("circle", QTextListFormat::ListCircle, 1, {"text:bullet-char=\u25cb", "text:level=1", "text:space-before=8mm"});
    list("square", QTextListFormat::ListSquare, 1, {"text:bullet-char=\u25a1"});
    list("decimal", QTextListFormat::ListDecimal, 1,
         {"style:num-format=1", "style:num-suffix=.", "style:num-prefix=<unset>", "text:bullet-char=<unset>"});
    list("lower alpha with suffix", QTextListFormat::ListLowerAlpha, 3,
         {"style:num-format=a", "style:num-suffix=)", "text:level=3"}, {}, ")");
    list("upper alpha with prefix", QTextListFormat::ListUpperAlpha, 1, {"style:num-format=A", "style:num-prefix=("}, "(");
    list("lower roman", QTextListFormat::ListLowerRoman, 1, {"style:num-format=i"});
    list("upper roman", QTextListFormat::ListUpperRoman, 1, {"style:num-format=I"});

    const Properties table = {{QTextFormat::FrameWidth, QVariant::fromValue(QTextLength(QTextLength::PercentageLength, 50))},
                              {QTextFormat::FrameTopMargin, 8.0}, {QTextFormat::FrameLeftMargin, -4.0},
                              {QTextFormat::FrameBorder, 1.0},
                              {QTextFormat::FrameBorderBrush, QBrush(QColor(0, 0, 0), Qt::SolidPattern)},
                              {QTextFormat::TableCellPadding, 4.0}};
    row("table", "Table%1", table,
        {"style:family=table", "style:rel-width=50%", "fo:margin-top=6pt", "fo:margin-left=0pt", "table:align=margins",
         "style:shadow=none", "table:border-model=collapsing"});
    row("column", "Table%1Column1", table, {"style:family=table-column"});
    row("cell", "Table%1Cell", table, {"style:family=table-cell", "fo:border=0.0138in solid #000000", "fo:padding=3pt"});
    row("cell without brush or padding", "Table%1Cell",
        {{QTextFormat::FrameBorder, 1.0}, {QTextFormat::TableCellPadding, 0.0}}, {"fo:border=<unset>", "fo:padding=<unset>"});

    // Column weights and widths of a four-column table on a text width of 170 mm.
    auto columns = [](const QVector<QTextLength> &constraints, qreal width = 0) {
        QTextTableFormat format;
        format.setColumnWidthConstraints(constraints);
        if (width > 0)
            format.setWidth(QTextLength(QTextLength::PercentageLength, width));
        return Properties{{QTextFormat::TableColumnWidthConstraints, format.property(QTextFormat::TableColumnWidthConstraints)},
                          {QTextFormat::FrameWidth, format.property(QTextFormat::FrameWidth)}};
    };
    auto percent = [](qreal value) { return QTextLength(QTextLength::PercentageLength, value); };
    auto fixedMM = [](qreal mm) { return QTextLength(QTextLength::FixedLength, mm * kPixelsPerMM); };
    auto column = [](const QString &weight, const QString &width) {
        return QStringList({"style:rel-column-width=" + weight, "style:column-width=" + width});
    };
    const Properties halves = columns({percent(50), percent(50)}, 50);
    row("half of a half-wide table", "Table%1Column2", halves, column("32750*", "42.5000mm"));
    const Properties some = columns({percent(100), percent(20)});
    row("full-width column", "Table%1Column1", some, column("65500*", "170.0000mm"));
    row("fifth column", "Table%1Column2", some, column("13100*", "34.0000mm"));
    row("column without constraint", "Table%1Column3", some, column("<unset>", "<unset>"));
    // 34 mm of 170 mm is 20 %, 17 mm is 10 %: the weights keep the 2 : 1.
    const Properties mixed = columns({fixedMM(34), fixedMM(17), QTextLength(), percent(150)});
    row("fixed column", "Table%1Column1", mixed, column("13100*", "34.0000mm"));
    row("half as wide fixed column", "Table%1Column2", mixed, column("6550*", "17.0000mm"));
    row("variable column", "Table%1Column3", mixed, column("<unset>", "<unset>"));
    // Wide percentages are not cut to 16 bits.
    row("wide column", "Table%1Column4", mixed, column("98250*", "255.0000mm"));
}

void tst_OdfWriter::styles()
{
    QFETCH(QString, style);
    QFETCH(Properties, properties);
    QFETCH(QStringList, expected);
    QTextDocument document;
    setA4PageWith20mmMargins(document);
    QFont font(QStringLiteral("Liberation Serif"));
    font.setPointSize(9);
    document.setDefaultFont(font);
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("first"));
    auto apply = [&properties](QTextFormat &&format) {
        for (const auto &property : properties)
            if (property.second.isValid())
                format.setProperty(property.first, property.second);
        return format;
    };
    int index = -1;
    if (style.startsWith(QLatin1String("Table"))) {
        index = cursor.insertTable(1, 4, apply(QTextTableFormat()).toTableFormat())->formatIndex();
    } else if (style.startsWith(QLatin1String("Paragraph"))) {
        cursor.insertBlock(apply(QTextBlockFormat()).toBlockFormat());
        cursor.insertText(QStringLiteral("second"));
        index = document.lastBlock().blockFormatIndex();
    } else if (style.startsWith(QLatin1Char('L'))) {
        cursor.insertBlock();
        index = cursor.createList(apply(QTextListFormat()).toListFormat())->formatIndex();
        cursor.insertText(QStringLiteral("item"));
    } else {
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("x"), apply(QTextCharFormat()).toCharFormat());
        index = document.lastBlock().begin().fragment().charFormatIndex();
    }
    const Package package = exportPackage(document);
    QVERIFY(package.contentTree);
    QStringList actual;
    for (const QString &e : expected)
        actual << e.section(QLatin1Char('='), 0, 0) + QLatin1Char('=')
                      + styleAttribute(package, style.arg(index), e.section(QLatin1Char('='), 0, 0));
    QCOMPARE(actual, expected);
}

QTEST_MAIN(tst_OdfWriter)
#include "tst_odfwriter.moc"
