#include <configurator-common/odfwriter.h>
#include <configurator-common/zipreader.h>

#include <QtGui>
#include <QtTest>

using Properties = QVector<QPair<int, QVariant>>;
using Compose = void (*)(QTextCursor &);
Q_DECLARE_METATYPE(Properties)
Q_DECLARE_METATYPE(Compose)

namespace {

const qreal kPixelsPerMM = 2.835 * 96 / 72;

// An exported package as the tests look at it: the body of content.xml in
// one line, and every named style's attributes, its properties' included.
struct Exported { QString outline; QHash<QString, QHash<QString, QString>> styles; };

// Local names, a few identifying attribute values in brackets, children and
// text in parentheses: "p(span(a s[2]b))".
void read(Exported &exported, const QByteArray &xml)
{
    static const QStringList shown = {"c", "name", "href", "number-columns-spanned", "number-rows-spanned", "start-value"};
    QXmlStreamReader reader(xml);
    QString style;
    bool inText = false, inSpan = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() || reader.isEndElement())
            inSpan = reader.isStartElement() && reader.qualifiedName() == QLatin1String("text:span");
        if (reader.isStartElement()) {
            const QString name = reader.attributes().value(QStringLiteral("style:name")).toString();
            if (!name.isEmpty() && reader.qualifiedName() != QLatin1String("style:master-page"))
                style = name;
            for (const QXmlStreamAttribute &a : reader.attributes())
                if (!style.isEmpty() && !exported.styles[style].contains(a.qualifiedName().toString()))
                    exported.styles[style].insert(a.qualifiedName().toString(), a.value().toString());
            if (inText) {
                exported.outline += reader.name().toString();
                for (const QXmlStreamAttribute &a : reader.attributes())
                    if (shown.contains(a.name().toString()))
                        exported.outline += '[' + a.value().toString() + ']';
                exported.outline += '(';
            }
            inText = inText || reader.qualifiedName() == QLatin1String("office:text");
        } else if (reader.isEndElement()) {
            inText = inText && reader.qualifiedName() != QLatin1String("office:text");
            exported.outline += inText ? QStringLiteral(")") : QString();
        } else if (reader.isCharacters() && inText && (!reader.isWhitespace() || inSpan)) {
            exported.outline += reader.text().toString();
        }
    }
    exported.outline.replace(QLatin1String("()"), QString());
    QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
}

// As a package, or as one flat XML document written by a copy of the writer.
Exported exportDocument(const QTextDocument &document, bool archive = true)
{
    Exported exported;
    QBuffer buffer;
    OdfWriter original(document, &buffer);
    original.setCreateArchive(archive);
    OdfWriter writer(document, nullptr);
    writer = archive ? original : OdfWriter(original);
    if (!writer.writeAll() || !buffer.open(QIODevice::ReadOnly))
        return exported;
    if (!writer.createArchive()) {
        read(exported, buffer.data());
        return exported;
    }
    ZipReader reader(&buffer);
    for (const char *name : {"styles.xml", "content.xml"})
        read(exported, reader.fileData(QLatin1String(name)));
    return exported;
}

} // namespace

class tst_OdfWriter : public QObject
{
    Q_OBJECT

private slots:
    void content_data();
    void content();
    void styles_data();
    void styles();
};

// Documents made from HTML, or composed with a cursor, and their content.
void tst_OdfWriter::content_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<Compose>("compose");
    QTest::addColumn<QString>("expected");
    auto row = [](const char *tag, const QString &html, const QString &expected, Compose compose = nullptr) {
        QTest::newRow(tag) << html << compose << expected;
    };
    // Readers collapse plain spaces: one that starts a paragraph or a line,
    // or follows another (in the fragment before too), is written as text:s.
    row("spaces", "<p style=\"white-space: pre-wrap\"> a  \tb<br> c <i> d  </i> e</p>",
        "p(span(sa stabbline-breaksc )span(sd s)span( e))");
    row("nested lists and back, anchor", "<ul><li>one<ol><li>two</li></ol></li><li>three</li></ul><p>see <a href=\"https://h/a?b=1&amp;c=2\">here</a></p>",
        "list(list-item(p(span(one)))list-item(list(list-item(p(span(two)))))list-item(p(span(three))))p(span(see )a[https://h/a?b=1&c=2](span(here)))");
    row("table grid with header, spans and covered cells",
        "<table><thead><tr><td colspan=2>wide</td><td></td></tr></thead><tr><td rowspan=2></td><td></td><td></td></tr>"
        "<tr><td></td><td></td></tr></table>",
        "ptable(table-columns(table-columntable-columntable-column)table-header-rows(table-row(table-cell[2](p(span(wide)))"
        "covered-table-celltable-cell(p)))table-row(table-cell[2](p)table-cell(p)table-cell(p))"
        "table-row(covered-table-celltable-cell(p)table-cell(p)))");
    row("sections have names of their own", {}, "psection[Section1](p(span(b)))section[Section2](p(span(c)))",
        [](QTextCursor &cursor) {
            for (const char *text : {"b", "c"})
                cursor.document()->rootFrame()->lastCursorPosition().insertFrame({})->firstCursorPosition().insertText(QLatin1String(text));
        });
    // Every text:list starts at 1 for a reader; the document numbers on.
    row("numbering goes on after a table", {},
        "list(list-item(p(span(one)))list-item(p(span(two))))table(table-columns(table-column)table-row(table-cell(p)))"
        "list(list-item[3](p(span(three))))", [](QTextCursor &cursor) {
            QTextList *list = cursor.createList(QTextListFormat::ListDecimal);
            cursor.insertText(QStringLiteral("one\u2029two"));
            cursor.insertTable(1, 1);
            cursor.movePosition(QTextCursor::End);
            list->add(cursor.block());
            cursor.insertText(QStringLiteral("three"));
        });
    // Readers keep one frame per name: a picture shown again gets a name
    // of its own, the first keeps its name; a missing one leaves an empty frame.
    row("pictures", "<img src=\":/odfwriter/picture.png\"><img src=\":/odfwriter/picture.png\"><img src=\":/odfwriter/picture.png\">"
        "<img src=\"/none.png\">", "p(span(frame[:/odfwriter/picture.png](image[Pictures/Picture1]))span(frame[:/odfwriter/picture.png2]"
        "(image[Pictures/Picture2]))span(frame[:/odfwriter/picture.png3](image[Pictures/Picture3]))span(frame[/none.png]))");
}

void tst_OdfWriter::content()
{
    QFETCH(QString, html);
    QFETCH(Compose, compose);
    QFETCH(QString, expected);
    QTextDocument document;
    document.setHtml(html);
    QTextCursor cursor(&document);
    if (compose)
        compose(cursor);
    QCOMPARE(exportDocument(document).outline, expected);
    QCOMPARE(exportDocument(document, false).outline, expected);
}

// Each property set on a paragraph's, a run's, a list's or a table's format;
// each "attribute=value" looked up in the style named after the format's
// index ("<unset>" for an attribute not written).
void tst_OdfWriter::styles_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<Properties>("properties");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const QString &tag, const char *style, const Properties &properties, const QStringList &expected) {
        QTest::newRow(qPrintable(tag)) << QString(style) << properties << expected;
    };
    row("page", "PL0", {}, {"fo:page-width=210mm", "fo:page-height=297mm", "fo:margin-top=20mm"});
    const char *paragraph = "Paragraph%1";
    row("margins, alignment and defaults", paragraph,
        {{QTextFormat::BlockAlignment, int(Qt::AlignRight | Qt::AlignAbsolute)}, {QTextFormat::BlockLeftMargin, 20.0}, {QTextFormat::BlockIndent, 2}, {QTextFormat::BlockTopMargin, -5.0},
         {QTextFormat::TextIndent, -16.0}, {QTextFormat::LineHeight, 150.0},
         {QTextFormat::LineHeightType, QTextBlockFormat::ProportionalHeight}},
        {"fo:text-align=right", "fo:margin-left=16.5pt", "fo:margin-top=0pt", "fo:text-indent=-12pt", "fo:line-height=150%",
         "fo:margin-bottom=0pt", "fo:font-family=Liberation Serif", "fo:font-size=9pt"});
    row("breaks, background and tab stops", paragraph,
        {{QTextFormat::BlockRightMargin, 10.0}, {QTextFormat::PageBreakPolicy, int(QTextFormat::PageBreak_AlwaysBefore | QTextFormat::PageBreak_AlwaysAfter)},
         {QTextFormat::BackgroundBrush, QBrush(QColor(0xffeedd))}, {QTextFormat::BlockNonBreakableLines, true},
         {QTextFormat::TabPositions, QVariantList{QVariant::fromValue(QTextOption::Tab(40, QTextOption::DelimiterTab, ','))}}},
        {"fo:margin-right=7.5pt", "fo:break-before=page", "fo:break-after=page", "fo:background-color=#ffeedd",
         "fo:keep-together=true", "style:position=30pt", "style:type=char", "style:char=,"});
    const char *text = "T%1";
    // Qt 6 reads a run's family from the list of families.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    const QPair<int, QVariant> kFamily(QTextFormat::FontFamilies, QStringList{"DejaVu Sans"});
#else
    const QPair<int, QVariant> kFamily(QTextFormat::FontFamily, QStringLiteral("DejaVu Sans"));
#endif
    row("italic, family and size", text,
        {{QTextFormat::FontItalic, true}, {QTextFormat::FontPointSize, 10.5}, kFamily},
        {"fo:font-style=italic", "fo:font-size=10.5pt", "fo:font-family=DejaVu Sans"});
    // The nearest of Qt's named weights; halfway between two, the lighter.
    // On Qt 5 (0 to 99) DemiBold is 63, on Qt 6 (1 to 1000) 600.
    for (const auto &w : QVector<QPair<int, QString>>{{QFont::DemiBold, "600"}, {-3, "100"}, {QFont::Black * 7, "900"},
                                                      {(QFont::Normal + QFont::Medium) / 2, "normal"}, {(QFont::DemiBold + QFont::Bold) / 2 + 1, "bold"}})
        row(QStringLiteral("weight %1").arg(w.first), text, {{QTextFormat::FontWeight, w.first}}, {"fo:font-weight=" + w.second});
    row("lines, position and colours", text,
        {{QTextFormat::TextUnderlineStyle, QTextCharFormat::DashDotLine}, {QTextFormat::FontStrikeOut, true},
         {QTextFormat::TextVerticalAlignment, QTextCharFormat::AlignSuperScript}, {QTextFormat::ForegroundBrush, QBrush(QColor(0x102030))}},
        {"style:text-underline-style=dash-dot", "style:text-line-through-type=single", "style:text-position=super", "fo:color=#102030"});
    for (const auto &c : QVector<QPair<int, QString>>{{QFont::MixedCase, "fo:text-transform=none"}, {QFont::AllUppercase, "fo:text-transform=uppercase"},
                                                      {QFont::AllLowercase, "fo:text-transform=lowercase"}, {QFont::SmallCaps, "fo:font-variant=small-caps"},
                                                      {QFont::Capitalize, "fo:text-transform=capitalize"}})
        row(c.second, text, {{QTextFormat::FontCapitalization, c.first}, {QTextFormat::FontLetterSpacing, 4.0}}, {c.second, "fo:letter-spacing=3pt"});
    for (const auto &l : QVector<QPair<int, QString>>{{QTextListFormat::ListCircle, "text:bullet-char=\u25cb"}, {QTextListFormat::ListSquare, "text:bullet-char=\u25a1"},
                                                      {QTextListFormat::ListLowerAlpha, "style:num-format=a"}, {QTextListFormat::ListLowerRoman, "style:num-format=i"},
                                                      {QTextListFormat::ListUpperRoman, "style:num-format=I"}, {QTextListFormat::ListDecimal, "style:num-format=1"}})
        row(l.second, "L%1", {{QTextFormat::ListStyle, l.first}}, {l.second});
    row("disc", "L%1", {{QTextFormat::ListStyle, QTextListFormat::ListDisc}, {QTextFormat::ListIndent, 2}},
        {"text:bullet-char=\u25cf", "text:level=2", "style:num-format=<unset>"});
    row("alpha with suffix", "L%1", {{QTextFormat::ListStyle, QTextListFormat::ListUpperAlpha}, {QTextFormat::ListNumberSuffix, ")"}},
        {"style:num-format=A", "style:num-suffix=)"});
    // On a text width of 170 mm; wide percentages are not cut to 16 bits.
    QTextTableFormat columns;
    columns.setColumnWidthConstraints({QTextLength(QTextLength::FixedLength, 34 * kPixelsPerMM), QTextLength(),
                                       QTextLength(QTextLength::PercentageLength, 150)});
    const Properties table = {{QTextFormat::TableColumnWidthConstraints, columns.property(QTextFormat::TableColumnWidthConstraints)},
                              {QTextFormat::FrameBorder, 1.0}, {QTextFormat::TableCellPadding, 4.0},
                              {QTextFormat::FrameBorderBrush, QBrush(Qt::black)}};
    row("fixed column", "Table%1Column1", table, {"style:rel-column-width=13100*", "style:column-width=34.0000mm"});
    row("wide column", "Table%1Column3", table, {"style:rel-column-width=98250*", "style:column-width=255.0000mm"});
    row("cell", "Table%1Cell", table, {"fo:border=0.0138in solid #000000", "fo:padding=3pt"});
    row("table margins and width", "Table%1", {{QTextFormat::FrameTopMargin, 8.0}, {QTextFormat::FrameBottomMargin, -2.0},
        {QTextFormat::FrameLeftMargin, 4.0}, {QTextFormat::FrameRightMargin, 4.0}, {QTextFormat::FrameWidth, QTextLength(QTextLength::PercentageLength, 50)}},
        {"fo:margin-top=6pt", "fo:margin-bottom=0pt", "fo:margin-left=3pt", "fo:margin-right=3pt", "style:rel-width=50%"});
}

void tst_OdfWriter::styles()
{
    QFETCH(QString, style);
    QFETCH(Properties, properties);
    QFETCH(QStringList, expected);
    QTextDocument document;
    document.setPageSize(QSizeF(210 * kPixelsPerMM, 297 * kPixelsPerMM));
    document.setDocumentMargin(20 * kPixelsPerMM);
    document.setDefaultFont(QFont(QStringLiteral("Liberation Serif"), 9));
    QTextCursor cursor(&document);
    cursor.insertText(QStringLiteral("first"));
    auto apply = [&properties](QTextFormat &&format) {
        for (const auto &property : properties)
            format.setProperty(property.first, property.second);
        return format;
    };
    int index = -1;
    if (style.startsWith(QLatin1String("Table"))) {
        index = cursor.insertTable(1, 3, apply(QTextTableFormat()).toTableFormat())->formatIndex();
    } else if (style.startsWith(QLatin1String("Paragraph"))) {
        cursor.insertBlock(apply(QTextBlockFormat()).toBlockFormat());
        index = document.lastBlock().blockFormatIndex();
    } else if (style.startsWith(QLatin1Char('L'))) {
        cursor.insertBlock();
        index = cursor.createList(apply(QTextListFormat()).toListFormat())->formatIndex();
    } else {
        cursor.insertBlock();
        cursor.insertText(QStringLiteral("x"), apply(QTextCharFormat()).toCharFormat());
        index = document.lastBlock().begin().fragment().charFormatIndex();
    }
    const QHash<QString, QString> attributes = exportDocument(document).styles.value(style.contains(QLatin1Char('%')) ? style.arg(index) : style);
    QStringList actual;
    for (const QString &e : expected)
        actual << e.section('=', 0, 0) + '=' + attributes.value(e.section('=', 0, 0), QStringLiteral("<unset>"));
    QCOMPARE(actual, expected);
}

QTEST_MAIN(tst_OdfWriter)
#include "tst_odfwriter.moc"
