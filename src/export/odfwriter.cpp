#include "odfwriter.h"
#include "odfwriter_p.h"

#include "zipwriter.h"

#include <QBrush>
#include <QBuffer>
#include <QColor>
#include <QHash>
#include <QDebug>
#include <QFontInfo>
#include <QImage>
#include <QImageWriter>
#include <QTextCodec>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>
#include <QUrl>
#include <QVector>
#include <QtMath>

#include <algorithm>
#include <memory>

namespace {

const char kOdtMimeType[] = "application/vnd.oasis.opendocument.text";
const char kManifestNS[] = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0";
const int kManifestIndent = 1;
const int kDocumentIndent = 2;

const qreal kPixelsPerInch = 96;
const qreal kPointsPerInch = 72;
const qreal kPointsPerMM = 2.835;

// A document that was never given a page size reports -1; such a page is
// exported as A4 so that the page layout and the table widths stay sensible.
const qreal kFallbackPageWidthMM = 210;
const qreal kFallbackPageHeightMM = 297;

// Nesting levels that an OpenDocument list level style can carry.
const int kMinListLevel = 1;
const int kMaxListLevel = 10;
const int kListSpaceBeforeMM = 8;

const int kColumnWeightPerPercent = 655;
const ushort kObjectReplacement = 0xfffc;

// Every list level of a text:list-style is indented by the level, which
// must lie in the range that OpenDocument allows.
int listLevel(const QTextListFormat &format)
{
    return qBound(kMinListLevel, format.indent(), kMaxListLevel);
}

qreal mmToPixels(qreal mm)
{
    return mm * kPointsPerMM * kPixelsPerInch / kPointsPerInch;
}

float millimetres(const QString &text)
{
    return text.left(text.indexOf(QLatin1String("mm"))).toFloat();
}

QString fontSize(qreal points)
{
    return QString::fromLatin1("%1pt").arg(points, 0, 'g', -1);
}

QString alignmentName(Qt::Alignment alignment, bool *known)
{
    *known = true;
    switch (int(alignment & Qt::AlignHorizontal_Mask)) {
    case Qt::AlignLeft:
        return QStringLiteral("start");
    case Qt::AlignRight:
        return QStringLiteral("end");
    case Qt::AlignLeft | Qt::AlignAbsolute:
        return QStringLiteral("left");
    case Qt::AlignRight | Qt::AlignAbsolute:
        return QStringLiteral("right");
    case Qt::AlignHCenter:
        return QStringLiteral("center");
    case Qt::AlignJustify:
        return QStringLiteral("justify");
    default:
        *known = false;
        return QString();
    }
}

QString tabTypeName(QTextOption::TabType type)
{
    switch (type) {
    case QTextOption::RightTab:
        return QStringLiteral("right");
    case QTextOption::CenterTab:
        return QStringLiteral("center");
    case QTextOption::DelimiterTab:
        return QStringLiteral("char");
    case QTextOption::LeftTab:
    default:
        return QStringLiteral("left");
    }
}

QString underlineStyleName(QTextCharFormat::UnderlineStyle style)
{
    switch (style) {
    case QTextCharFormat::SingleUnderline:
        return QStringLiteral("solid");
    case QTextCharFormat::DashUnderline:
        return QStringLiteral("dash");
    case QTextCharFormat::DotLine:
        return QStringLiteral("dotted");
    case QTextCharFormat::DashDotLine:
        return QStringLiteral("dash-dot");
    case QTextCharFormat::DashDotDotLine:
        return QStringLiteral("dot-dot-dash");
    case QTextCharFormat::WaveUnderline:
        return QStringLiteral("wave");
    case QTextCharFormat::NoUnderline:
    case QTextCharFormat::SpellCheckUnderline:
    default:
        return QStringLiteral("none");
    }
}

QString textPositionName(QTextCharFormat::VerticalAlignment alignment)
{
    switch (alignment) {
    case QTextCharFormat::AlignSuperScript:
        return QStringLiteral("super");
    case QTextCharFormat::AlignSubScript:
        return QStringLiteral("sub");
    case QTextCharFormat::AlignTop:
        return QStringLiteral("100%");
    case QTextCharFormat::AlignBottom:
        return QStringLiteral("-100%");
    case QTextCharFormat::AlignNormal:
    case QTextCharFormat::AlignMiddle:
    default:
        return QStringLiteral("0%");
    }
}

// Qt's named font weights and the OpenDocument (XSL-FO) weights they stand
// for; the format allows only normal, bold and 100 to 900 in hundreds.
struct FontWeightStep
{
    int qtWeight;
    const char *odfWeight;
};

const FontWeightStep kFontWeightSteps[] = {
    {QFont::Thin, "100"},   {QFont::ExtraLight, "200"}, {QFont::Light, "300"},
    {QFont::Normal, "normal"}, {QFont::Medium, "500"}, {QFont::DemiBold, "600"},
    {QFont::Bold, "bold"},  {QFont::ExtraBold, "800"},  {QFont::Black, "900"},
};

// Qt 6 counts weights as OpenType does (1 to 1000), Qt 5 from 0 to 99; the
// named weights above are on the scale of the Qt in use.
const int kMaxQtFontWeight = QT_VERSION >= QT_VERSION_CHECK(6, 0, 0) ? 1000 : 99;

// Qt 6 keeps a character format's family as the first of FontFamilies.
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
const QTextFormat::Property kFontFamilyProperty = QTextFormat::FontFamilies;
#else
const QTextFormat::Property kFontFamilyProperty = QTextFormat::FontFamily;
#endif

QString fontFamilyOf(const QTextFormat &format)
{
    return format.property(kFontFamilyProperty).toStringList().value(0);
}

// The nearest named weight; a weight halfway between two takes the lighter,
// as Qt's own font matching does.
QString fontWeightName(int weight)
{
    weight = qBound(0, weight, kMaxQtFontWeight);
    const FontWeightStep *nearest = &kFontWeightSteps[0];
    for (const FontWeightStep &step : kFontWeightSteps)
        if (qAbs(step.qtWeight - weight) < qAbs(nearest->qtWeight - weight))
            nearest = &step;
    return QLatin1String(nearest->odfWeight);
}

bool isNumbered(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDecimal:
    case QTextListFormat::ListLowerAlpha:
    case QTextListFormat::ListUpperAlpha:
    case QTextListFormat::ListLowerRoman:
    case QTextListFormat::ListUpperRoman:
        return true;
    default:
        return false;
    }
}

QString bulletText(QTextListFormat::Style style)
{
    switch (style) {
    case QTextListFormat::ListDisc:
        return QString(QChar(0x25cf));
    case QTextListFormat::ListCircle:
        return QString(QChar(0x25cb));
    case QTextListFormat::ListSquare:
        return QString(QChar(0x25a1));
    case QTextListFormat::ListDecimal:
        return QStringLiteral("1");
    case QTextListFormat::ListLowerAlpha:
        return QStringLiteral("a");
    case QTextListFormat::ListUpperAlpha:
        return QStringLiteral("A");
    case QTextListFormat::ListLowerRoman:
        return QStringLiteral("i");
    case QTextListFormat::ListUpperRoman:
        return QStringLiteral("I");
    default:
        return QString();
    }
}

// The block that the document model places after every table or section
// is skipped when it is only that placeholder; text typed there is kept.
bool isPlaceholderBlock(const QTextFrame::iterator &it)
{
    return !it.atEnd() && !it.currentFrame() && it.currentBlock().isValid()
        && it.currentBlock().length() == 1 && !it.currentBlock().textList();
}

} // namespace

QOutputStrategy::~QOutputStrategy() = default;

QString QOutputStrategy::createUniqueImageName()
{
    return QString::fromLatin1("Pictures/Picture%1").arg(counter++);
}

QXmlStreamStrategy::QXmlStreamStrategy(QIODevice *device)
{
    contentStream = device;
}

QXmlStreamStrategy::~QXmlStreamStrategy()
{
    if (contentStream)
        contentStream->close();
}

void QXmlStreamStrategy::addFile(const QString &, const QString &, const QByteArray &)
{
}

ZipStreamStrategy::ZipStreamStrategy(QIODevice *device)
    : zip(new ZipWriter(device)),
      manifestWriter(&manifest),
      manifestNS(QString::fromLatin1(kManifestNS))
{
    // The mimetype must be the first entry and stored, so that a reader can
    // identify the package from its first bytes.
    zip->setCompressionPolicy(ZipWriter::NeverCompress);
    zip->addFile(QStringLiteral("mimetype"), QByteArray(kOdtMimeType));
    zip->setCompressionPolicy(ZipWriter::AutoCompress);

    contentStream = &content;
    stylesStream = &styles;
    content.open(QIODevice::WriteOnly);
    styles.open(QIODevice::WriteOnly);
    manifest.open(QIODevice::WriteOnly);

    manifestWriter.setAutoFormatting(true);
    manifestWriter.setAutoFormattingIndent(kManifestIndent);
    manifestWriter.writeNamespace(manifestNS, QStringLiteral("manifest"));
    manifestWriter.writeStartDocument();
    manifestWriter.writeStartElement(manifestNS, QStringLiteral("manifest"));

    addManifestEntry(QStringLiteral("/"), QString::fromLatin1(kOdtMimeType));
    addManifestEntry(QStringLiteral("content.xml"), QStringLiteral("text/xml"));
    addManifestEntry(QStringLiteral("styles.xml"), QStringLiteral("text/xml"));
}

ZipStreamStrategy::~ZipStreamStrategy()
{
    manifestWriter.writeEndDocument();
    manifest.close();
    zip->addFile(QStringLiteral("META-INF/manifest.xml"), manifest.data());
    styles.close();
    zip->addFile(QStringLiteral("styles.xml"), styles.data());
    content.close();
    zip->addFile(QStringLiteral("content.xml"), content.data());
    zip->close();
    delete zip;
}

void ZipStreamStrategy::addFile(const QString &fileName, const QString &mimeType, const QByteArray &bytes)
{
    zip->addFile(fileName, bytes);
    addManifestEntry(fileName, mimeType);
}

void ZipStreamStrategy::addManifestEntry(const QString &path, const QString &mediaType)
{
    manifestWriter.writeEmptyElement(manifestNS, QStringLiteral("file-entry"));
    manifestWriter.writeAttribute(manifestNS, QStringLiteral("media-type"), mediaType);
    manifestWriter.writeAttribute(manifestNS, QStringLiteral("full-path"), path);
}

OdfWriterPrivate::OdfWriterPrivate(const QTextDocument *document, QIODevice *device)
    : officeNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:office:1.0")),
      textNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:text:1.0")),
      styleNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:style:1.0")),
      foNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0")),
      tableNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:table:1.0")),
      drawNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:drawing:1.0")),
      xlinkNS(QStringLiteral("http://www.w3.org/1999/xlink")),
      svgNS(QStringLiteral("urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0")),
      document(document),
      device(device)
{
}

// A copy never shares the strategy: that belongs to the writeAll() running.
OdfWriterPrivate::OdfWriterPrivate(const OdfWriterPrivate &other)
    : officeNS(other.officeNS), textNS(other.textNS), styleNS(other.styleNS), foNS(other.foNS),
      tableNS(other.tableNS), drawNS(other.drawNS), xlinkNS(other.xlinkNS), svgNS(other.svgNS),
      document(other.document), device(other.device), strategy(nullptr), codec(other.codec),
      createArchive(other.createArchive), masterParagraphWritten(other.masterParagraphWritten),
      textWidthMM(other.textWidthMM), listStack(other.listStack), sectionCount(other.sectionCount),
      frameNames(other.frameNames), listsWritten(other.listsWritten)
{
}

OdfWriter::OdfWriter(const QTextDocument &document, QIODevice *device)
    : d(new OdfWriterPrivate(&document, device))
{
}

OdfWriter::OdfWriter(const OdfWriter &other)
    : d(new OdfWriterPrivate(*other.d))
{
}

OdfWriter &OdfWriter::operator=(const OdfWriter &other)
{
    if (this != &other) {
        OdfWriterPrivate *copy = new OdfWriterPrivate(*other.d);
        delete d;
        d = copy;
    }
    return *this;
}

OdfWriter::~OdfWriter()
{
    delete d;
}

void OdfWriter::setCodec(QTextCodec *codec)
{
    d->codec = codec;
}

QTextCodec *OdfWriter::codec() const
{
    return d->codec;
}

void OdfWriter::setCreateArchive(bool on)
{
    d->createArchive = on;
}

bool OdfWriter::createArchive() const
{
    return d->createArchive;
}

double OdfWriter::textWidthMM() const
{
    return d->textWidthMM;
}

QString OdfWriter::pixelToPoint(qreal pixels)
{
    return QString::number(pixels * kPointsPerInch / kPixelsPerInch, 'g', 6) + QLatin1String("pt");
}

QString OdfWriter::pixelToMM(qreal pixels)
{
    return QString::number(pixels * kPointsPerInch / kPixelsPerInch / kPointsPerMM, 'g', 6)
        + QLatin1String("mm");
}

namespace {

void writeStylesDocument(OdfWriterPrivate *d, QIODevice *stream)
{
    QXmlStreamWriter writer(stream);
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(kDocumentIndent);
    writer.writeNamespace(d->officeNS, QStringLiteral("office"));
    writer.writeNamespace(d->styleNS, QStringLiteral("style"));
    writer.writeNamespace(d->foNS, QStringLiteral("fo"));
    writer.writeStartDocument();
    writer.writeStartElement(d->officeNS, QStringLiteral("document-styles"));
    writer.writeStartElement(d->officeNS, QStringLiteral("automatic-styles"));
    writer.writeStartElement(d->styleNS, QStringLiteral("page-layout"));
    writer.writeAttribute(d->styleNS, QStringLiteral("name"), QStringLiteral("PL0"));
    writer.writeStartElement(d->styleNS, QStringLiteral("page-layout-properties"));

    QSizeF page = d->document->pageSize();
    if (page.width() <= 0)
        page.setWidth(mmToPixels(kFallbackPageWidthMM));
    if (page.height() <= 0)
        page.setHeight(mmToPixels(kFallbackPageHeightMM));
    const QTextFrameFormat root = d->document->rootFrame()->frameFormat();
    const QString width = OdfWriter::pixelToMM(page.width());
    const QString left = OdfWriter::pixelToMM(root.leftMargin());
    const QString right = OdfWriter::pixelToMM(root.rightMargin());
    writer.writeAttribute(d->foNS, QStringLiteral("page-width"), width);
    writer.writeAttribute(d->foNS, QStringLiteral("page-height"), OdfWriter::pixelToMM(page.height()));
    writer.writeAttribute(d->foNS, QStringLiteral("margin-top"), OdfWriter::pixelToMM(root.topMargin()));
    writer.writeAttribute(d->foNS, QStringLiteral("margin-bottom"),
                          OdfWriter::pixelToMM(root.bottomMargin()));
    writer.writeAttribute(d->foNS, QStringLiteral("margin-left"), left);
    writer.writeAttribute(d->foNS, QStringLiteral("margin-right"), right);
    // Taken from the written texts so that tables add up to the page exactly
    // as a reader of styles.xml sees it.
    d->textWidthMM =
        millimetres(width) - millimetres(left) - millimetres(right);

    writer.writeEndElement(); // page-layout-properties
    writer.writeEndElement(); // page-layout
    writer.writeEndElement(); // automatic-styles
    writer.writeStartElement(d->officeNS, QStringLiteral("master-styles"));
    writer.writeEmptyElement(d->styleNS, QStringLiteral("master-page"));
    writer.writeAttribute(d->styleNS, QStringLiteral("name"), QStringLiteral("MP0"));
    writer.writeAttribute(d->styleNS, QStringLiteral("page-layout-name"), QStringLiteral("PL0"));
    writer.writeEndElement(); // master-styles
    writer.writeEndElement(); // document-styles
    writer.writeEndDocument();
}

// Every format that a style name in the content document can refer to.
QSet<int> collectFormatIndices(const QTextDocument *document)
{
    QSet<int> indices;
    QVector<const QTextFrame *> frames;
    frames.append(document->rootFrame());
    while (!frames.isEmpty()) {
        const QTextFrame *frame = frames.takeLast();
        indices.insert(frame->formatIndex());
        const QList<QTextFrame *> children = frame->childFrames();
        for (const QTextFrame *child : children)
            frames.append(child);
    }

    // Spans name the style of their own fragment, so every fragment's
    // format is collected, not only the block's character format.
    for (QTextBlock block = document->begin(); block != document->end(); block = block.next()) {
        indices.insert(block.blockFormatIndex());
        indices.insert(block.charFormatIndex());
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it)
            indices.insert(it.fragment().charFormatIndex());
    }

    const QVector<QTextFormat> formats = document->allFormats();
    const QList<int> collected = indices.values();
    for (int index : collected) {
        if (index < 0 || index >= formats.size())
            continue;
        if (const QTextObject *object = document->objectForFormat(formats.at(index)))
            indices.insert(object->formatIndex());
    }
    return indices;
}

const char kUndeclaredStart[] = "<?xml version=\"1.0\"?>";
const int kHexadecimal = 16;

QByteArray characterReference(uint codePoint)
{
    return "&#x" + QByteArray::number(codePoint, kHexadecimal).toUpper() + ';';
}

// Characters that the codec cannot encode become numeric character
// references.  Markup is ASCII, so they only ever occur in text and in
// attribute values, where a reference means the same character.
QByteArray encodeCharacters(const QString &text, QTextCodec *codec)
{
    std::unique_ptr<QTextEncoder> encoder(codec->makeEncoder(QTextCodec::IgnoreHeader));
    QByteArray bytes = encoder->fromUnicode(text);
    if (!encoder->hasFailure())
        return bytes;

    encoder.reset(codec->makeEncoder(QTextCodec::IgnoreHeader));
    bytes.clear();
    const QChar *characters = text.constData();
    const int length = text.length();
    int pending = 0;
    // Asking the codec is slow, and a document has few distinct characters.
    QHash<uint, bool> encodable;
    for (int i = 0; i < length;) {
        const bool isPair = characters[i].isHighSurrogate() && i + 1 < length && characters[i + 1].isLowSurrogate();
        const int width = isPair ? 2 : 1;
        const uint codePoint = isPair ? QChar::surrogateToUcs4(characters[i], characters[i + 1])
                                      : uint(characters[i].unicode());
        auto known = encodable.find(codePoint);
        if (known == encodable.end())
            known = encodable.insert(codePoint, codec->canEncode(QString(characters + i, width)));
        if (!known.value()) {
            bytes += encoder->fromUnicode(characters + pending, i - pending);
            // A lone surrogate is no character at all: it stands for U+FFFD.
            const bool isLone = !isPair && characters[i].isSurrogate();
            bytes += encoder->fromUnicode(
                QString::fromLatin1(characterReference(isLone ? uint(QChar::ReplacementCharacter) : codePoint)));
            pending = i + width;
        }
        i += width;
    }
    bytes += encoder->fromUnicode(characters + pending, length - pending);
    return bytes;
}

// The content document as text, encoded with the codec and declared so, as
// QXmlStreamWriter would write it with that codec.
QByteArray encodeDocument(QString text, QTextCodec *codec)
{
    const QString declared = QStringLiteral("<?xml version=\"1.0\" encoding=\"%1\"?>")
                                 .arg(QString::fromLatin1(codec->name()));
    if (text.startsWith(QLatin1String(kUndeclaredStart)))
        text.replace(0, int(qstrlen(kUndeclaredStart)), declared);
    return encodeCharacters(text, codec);
}

} // namespace

bool OdfWriter::writeAll()
{
    // A device already open for reading only is not reopened behind its
    // owner's back.
    if (!d->device || (!d->device->isWritable()
                       && (d->device->isOpen() || !d->device->open(QIODevice::WriteOnly)))) {
        qWarning("OdfWriter::writeAll: the device can not be opened for writing");
        return false;
    }
    if (d->createArchive)
        d->strategy = new ZipStreamStrategy(d->device);
    else
        d->strategy = new QXmlStreamStrategy(d->device);

    // The flat form has no place for styles.xml, but the page layout still
    // gives the text width that the table styles are computed from.
    QBuffer discardedStyles;
    QIODevice *stylesStream = d->strategy->stylesStream;
    if (!stylesStream) {
        discardedStyles.open(QIODevice::WriteOnly);
        stylesStream = &discardedStyles;
    }
    writeStylesDocument(d, stylesStream);

    // With a codec, the content is written as text first and encoded here,
    // so that characters the codec cannot encode become references.
    QString contentText;
    std::unique_ptr<QXmlStreamWriter> contentWriter(d->codec ? new QXmlStreamWriter(&contentText)
                                                             : new QXmlStreamWriter(d->strategy->contentStream));
    QXmlStreamWriter &writer = *contentWriter;
    writer.setAutoFormatting(true);
    writer.setAutoFormattingIndent(kDocumentIndent);
    writer.writeNamespace(d->officeNS, QStringLiteral("office"));
    writer.writeNamespace(d->textNS, QStringLiteral("text"));
    writer.writeNamespace(d->styleNS, QStringLiteral("style"));
    writer.writeNamespace(d->foNS, QStringLiteral("fo"));
    writer.writeNamespace(d->tableNS, QStringLiteral("table"));
    writer.writeNamespace(d->drawNS, QStringLiteral("draw"));
    writer.writeNamespace(d->xlinkNS, QStringLiteral("xlink"));
    writer.writeNamespace(d->svgNS, QStringLiteral("svg"));
    writer.writeStartDocument();
    writer.writeStartElement(d->officeNS, QStringLiteral("document-content"));

    writeFormats(writer, collectFormatIndices(d->document));

    writer.writeStartElement(d->officeNS, QStringLiteral("body"));
    writer.writeStartElement(d->officeNS, QStringLiteral("text"));
    writeFrame(writer, d->document->rootFrame());
    writer.writeEndElement(); // text
    writer.writeEndElement(); // body
    writer.writeEndElement(); // document-content
    writer.writeEndDocument();
    if (d->codec)
        d->strategy->contentStream->write(encodeDocument(contentText, d->codec));

    delete d->strategy;
    d->strategy = nullptr;
    return true;
}

void OdfWriter::writeFrame(QXmlStreamWriter &writer, const QTextFrame *frame)
{
    if (!frame)
        return;
    const QTextTable *table = qobject_cast<const QTextTable *>(frame);
    if (!table) {
        const bool isSection = frame != d->document->rootFrame();
        if (isSection) {
            // Readers need the section's name: without one LibreOffice joins
            // the section's last paragraph with the one after it.
            writer.writeStartElement(d->textNS, QStringLiteral("section"));
            writer.writeAttribute(d->textNS, QStringLiteral("name"),
                                  QString::fromLatin1("Section%1").arg(++d->sectionCount));
        }
        writeFrameIter(writer, frame->begin());
        if (isSection)
            writer.writeEndElement(); // section
        return;
    }

    const int formatIndex = table->formatIndex();
    const QTextTableFormat format = table->format();
    writer.writeStartElement(d->tableNS, QStringLiteral("table"));
    if (format.isTableFormat())
        writer.writeAttribute(d->tableNS, QStringLiteral("style-name"),
                              QString::fromLatin1("Table%1").arg(formatIndex));

    const int rows = table->rows();
    const int columns = table->columns();
    writer.writeStartElement(d->tableNS, QStringLiteral("table-columns"));
    for (int c = 1; c <= columns; ++c) {
        writer.writeEmptyElement(d->tableNS, QStringLiteral("table-column"));
        writer.writeAttribute(d->tableNS, QStringLiteral("style-name"),
                              QString::fromLatin1("Table%1Column%2").arg(formatIndex).arg(c));
    }
    writer.writeEndElement(); // table-columns

    // A header count beyond the last row would leave table-header-rows open.
    const int headerRows = qMin(format.headerRowCount(), rows);
    for (int r = 0; r < rows; ++r) {
        if (headerRows > 0 && r == 0)
            writer.writeStartElement(d->tableNS, QStringLiteral("table-header-rows"));
        writer.writeStartElement(d->tableNS, QStringLiteral("table-row"));
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = table->cellAt(r, c);
            if (cell.row() != r || cell.column() != c) {
                writer.writeEmptyElement(d->tableNS, QStringLiteral("covered-table-cell"));
                continue;
            }
            writer.writeStartElement(d->tableNS, QStringLiteral("table-cell"));
            if (cell.format().isTableCellFormat())
                writer.writeAttribute(d->tableNS, QStringLiteral("style-name"),
                                      QString::fromLatin1("Table%1Cell").arg(formatIndex));
            if (cell.columnSpan() > 1)
                writer.writeAttribute(d->tableNS, QStringLiteral("number-columns-spanned"),
                                      QString::number(cell.columnSpan()));
            if (cell.rowSpan() > 1)
                writer.writeAttribute(d->tableNS, QStringLiteral("number-rows-spanned"),
                                      QString::number(cell.rowSpan()));
            writeFrameIter(writer, cell.begin());
            writer.writeEndElement(); // table-cell
        }
        writer.writeEndElement(); // table-row
        if (r + 1 == headerRows)
            writer.writeEndElement(); // table-header-rows
    }
    writer.writeEndElement(); // table
}

namespace {

void closeLists(QXmlStreamWriter &writer, QVector<const QTextList *> &listStack)
{
    while (!listStack.isEmpty()) {
        listStack.removeLast();
        writer.writeEndElement(); // list
        if (!listStack.isEmpty())
            writer.writeEndElement(); // list-item
    }
}

} // namespace

void OdfWriter::writeFrameIter(QXmlStreamWriter &writer, QTextFrame::iterator it)
{
    // Lists are closed at every frame boundary: a table or section may not
    // sit inside a text:list, and a list must not outlive its cell.
    while (!it.atEnd()) {
        if (QTextFrame *child = it.currentFrame()) {
            closeLists(writer, d->listStack);
            writeFrame(writer, child);
            ++it;
            if (isPlaceholderBlock(it))
                ++it;
        } else {
            writeBlock(writer, it.currentBlock());
            ++it;
        }
    }
    closeLists(writer, d->listStack);
}

namespace {

// The text of one fragment, with runs of spaces, tabs and line separators
// turned into the elements that keep them in OpenDocument.  Readers collapse
// plain spaces: one at the start of a paragraph, or after another plain
// space (in an earlier fragment too), is lost.  *spaceDropped tells whether
// a plain space would be lost here, from fragment to fragment of a paragraph.
void writeText(QXmlStreamWriter &writer, const QString &textNS, const QString &text, bool *spaceDropped)
{
    const int length = text.length();
    int exported = 0;
    int spaces = 0;
    auto writePending = [&](int end) {
        if (end > exported)
            writer.writeCharacters(text.mid(exported, end - exported));
    };
    // The empty run keeps auto-formatting from indenting the element.
    auto writeElement = [&](const QString &name) {
        writer.writeCharacters(QString());
        writer.writeEmptyElement(textNS, name);
    };
    for (int i = 0; i <= length; ++i) {
        const bool isSpace = i < length && text.at(i) == QLatin1Char(' ');
        if (!isSpace && spaces > 0) {
            const int runStart = i - spaces;
            // A run is written whole as text:s where its first space would
            // be lost, and when it starts the fragment; otherwise its first
            // space stays plain.
            const bool whole = *spaceDropped || (runStart == 0 && spaces > 1);
            if (whole || spaces > 1) {
                writePending(whole ? runStart : runStart + 1);
                writeElement(QStringLiteral("s"));
                const int count = whole ? spaces : spaces - 1;
                if (count > 1)
                    writer.writeAttribute(textNS, QStringLiteral("c"), QString::number(count));
                exported = i;
                *spaceDropped = false;
            } else {
                *spaceDropped = true;
            }
            spaces = 0;
        }
        if (i == length)
            break;
        const QChar ch = text.at(i);
        if (ch == QChar::LineSeparator) {
            writePending(i);
            writeElement(QStringLiteral("line-break"));
            // Spaces that start a line are kept as text:s, so that no reader
            // drops one as leading white space.
            exported = i + 1;
            *spaceDropped = true;
        } else if (ch == QLatin1Char('\t')) {
            writePending(i);
            writeElement(QStringLiteral("tab"));
            exported = i + 1;
            *spaceDropped = false;
        } else if (isSpace) {
            ++spaces;
        } else {
            *spaceDropped = false;
        }
    }
    writePending(length);
}

// Closes the lists deeper than or beside the block's list and opens the
// levels down to it; a level above it without a list of its own gets a
// text:list without a style.  True when the block's list is opened again
// after a table, a section or a paragraph outside it had closed it.
bool enterList(QXmlStreamWriter &writer, OdfWriterPrivate *d, const QTextList *list)
{
    QVector<const QTextList *> &listStack = d->listStack;
    if (!listStack.isEmpty() && listStack.last() == list)
        return false;
    bool reopened = false;
    const int depth = listLevel(list->format());
    while (listStack.size() >= depth && listStack.last() != list) {
        listStack.removeLast();
        writer.writeEndElement(); // list
        if (!listStack.isEmpty())
            writer.writeEndElement(); // list-item
    }
    while (listStack.size() < depth) {
        if (!listStack.isEmpty())
            writer.writeStartElement(d->textNS, QStringLiteral("list-item"));
        writer.writeStartElement(d->textNS, QStringLiteral("list"));
        if (listStack.size() == depth - 1) {
            listStack.append(list);
            writer.writeAttribute(d->textNS, QStringLiteral("style-name"),
                                  QString::fromLatin1("L%1").arg(list->formatIndex()));
            reopened = d->listsWritten.contains(list);
            d->listsWritten.insert(list);
        } else {
            listStack.append(nullptr);
        }
    }
    return reopened;
}

} // namespace

void OdfWriter::writeBlock(QXmlStreamWriter &writer, const QTextBlock &block)
{
    const QTextList *list = block.textList();
    const bool listReopened = list && enterList(writer, d, list);
    if (!list)
        closeLists(writer, d->listStack);
    if (list) {
        writer.writeStartElement(d->textNS, QStringLiteral("list-item"));
        // A reader starts every text:list at 1; the document numbers on.
        if (listReopened && isNumbered(list->format().style()))
            writer.writeAttribute(d->textNS, QStringLiteral("start-value"),
                                  QString::number(list->itemNumber(block) + 1));
    }

    writer.writeStartElement(d->textNS, QStringLiteral("p"));
    if (d->masterParagraphWritten) {
        writer.writeAttribute(d->textNS, QStringLiteral("style-name"),
                              QString::fromLatin1("Paragraph%1").arg(block.blockFormatIndex()));
    } else {
        writer.writeAttribute(d->textNS, QStringLiteral("style-name"), QStringLiteral("MasterParagraph"));
        d->masterParagraphWritten = true;
    }

    if (block.length() > 1) {
        bool spaceDropped = true;
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const bool isAnchor = !format.anchorHref().isEmpty();
            if (isAnchor) {
                writer.writeStartElement(d->textNS, QStringLiteral("a"));
                writer.writeAttribute(d->xlinkNS, QStringLiteral("href"), format.anchorHref());
            }
            const QString text = fragment.text();
            const bool isObject = !text.isEmpty()
                && std::all_of(text.cbegin(), text.cend(),
                               [](QChar ch) { return ch.unicode() == kObjectReplacement; });
            if (isObject) {
                // Equal images next to each other share one fragment; each
                // replacement character is one picture.
                for (int i = 0; i < text.length(); ++i) {
                    writer.writeCharacters(QString());
                    writer.writeStartElement(d->textNS, QStringLiteral("span"));
                    writer.writeCharacters(QString());
                    writeInlineCharacter(writer, fragment);
                    writer.writeCharacters(QString());
                    writer.writeEndElement(); // span
                }
                spaceDropped = false;
            } else {
                writer.writeCharacters(QString());
                writer.writeStartElement(d->textNS, QStringLiteral("span"));
                writer.writeAttribute(d->textNS, QStringLiteral("style-name"),
                                      QString::fromLatin1("T%1").arg(fragment.charFormatIndex()));
                // Auto-formatting would indent an element at either end of
                // the span, and that indentation would become text.
                writer.writeCharacters(QString());
                writeText(writer, d->textNS, text, &spaceDropped);
                writer.writeCharacters(QString());
                writer.writeEndElement(); // span
            }
            writer.writeCharacters(QString());
            if (isAnchor)
                writer.writeEndElement(); // a
        }
        writer.writeCharacters(QString());
    }
    writer.writeEndElement(); // p
    if (list)
        writer.writeEndElement(); // list-item
}

namespace {

// Readers keep one frame per draw:name, so a picture shown twice needs a
// name of its own for the second frame: "chart", then "chart2", "chart3".
QString uniqueFrameName(QHash<QString, int> &names, const QString &name)
{
    if (name.isEmpty())
        return name;
    if (!names.contains(name)) {
        names.insert(name, 1);
        return name;
    }
    int copy = names.value(name);
    QString candidate;
    do {
        candidate = name + QString::number(++copy);
    } while (names.contains(candidate));
    names.insert(name, copy);
    names.insert(candidate, 1);
    return candidate;
}

} // namespace

void OdfWriter::writeInlineCharacter(QXmlStreamWriter &writer, const QTextFragment &fragment) const
{
    writer.writeStartElement(d->drawNS, QStringLiteral("frame"));
    const QTextCharFormat charFormat = fragment.charFormat();
    if (!d->strategy || !charFormat.isImageFormat()) {
        writer.writeEndElement(); // frame
        return;
    }
    const QTextImageFormat format = charFormat.toImageFormat();
    const QString name = format.name();
    writer.writeAttribute(d->drawNS, QStringLiteral("name"), uniqueFrameName(d->frameNames, name));

    QString resourceName = name;
    if (resourceName.startsWith(QLatin1String(":/")))
        resourceName.prepend(QLatin1String("qrc"));
    const QVariant resource = d->document->resource(QTextDocument::ImageResource, QUrl(resourceName));
    QImage image;
    if (resource.userType() == QMetaType::QImage)
        image = resource.value<QImage>();
    else if (resource.userType() == QMetaType::QByteArray)
        image.loadFromData(resource.toByteArray());
    if (image.isNull() && !name.isEmpty())
        image.load(name);

    if (!image.isNull()) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImageWriter imageWriter(&buffer, "png");
        imageWriter.write(image);
        buffer.close();
        const QString fileName = d->strategy->createUniqueImageName();
        d->strategy->addFile(fileName, QStringLiteral("image/png"), bytes);

        // One given side scales the other, as the picture is shown on screen.
        const bool hasWidth = format.hasProperty(QTextFormat::ImageWidth);
        const bool hasHeight = format.hasProperty(QTextFormat::ImageHeight);
        qreal width = hasWidth ? format.width() : image.width();
        qreal height = hasHeight ? format.height() : image.height();
        if (hasWidth && !hasHeight)
            height = image.height() * width / image.width();
        else if (hasHeight && !hasWidth)
            width = image.width() * height / image.height();
        writer.writeAttribute(d->svgNS, QStringLiteral("width"), pixelToPoint(width));
        writer.writeAttribute(d->svgNS, QStringLiteral("height"), pixelToPoint(height));
        writer.writeEmptyElement(d->drawNS, QStringLiteral("image"));
        writer.writeAttribute(d->xlinkNS, QStringLiteral("href"), fileName);
    }
    writer.writeEndElement(); // frame
}

void OdfWriter::writeFormats(QXmlStreamWriter &writer, const QSet<int> &formatIndices) const
{
    writer.writeStartElement(d->officeNS, QStringLiteral("automatic-styles"));
    const QVector<QTextFormat> allFormats = d->document->allFormats();

    // Ascending order, except that the format of the document's first block
    // comes first: the first paragraph written is bound to "MasterParagraph",
    // so that style must carry its properties.
    QVector<int> order(formatIndices.cbegin(), formatIndices.cend());
    std::sort(order.begin(), order.end());
    const int firstBlockFormat = d->document->begin().blockFormatIndex();
    const auto first = std::find(order.begin(), order.end(), firstBlockFormat);
    if (first != order.end())
        std::rotate(order.begin(), first, first + 1);

    bool masterWritten = false;
    for (int i : qAsConst(order)) {
        if (i < 0 || i >= allFormats.size())
            continue;
        const QTextFormat &format = allFormats.at(i);
        switch (format.type()) {
        case QTextFormat::BlockFormat: {
            const QTextCharFormat charFormat = i + 1 < allFormats.size()
                ? allFormats.at(i + 1).toCharFormat()
                : format.toCharFormat();
            if (!masterWritten) {
                writeBlockFormat(writer, format.toBlockFormat(), -1, charFormat);
                masterWritten = true;
            }
            writeBlockFormat(writer, format.toBlockFormat(), i, charFormat);
            break;
        }
        case QTextFormat::CharFormat:
            if (format.objectType() != QTextFormat::TableCellObject)
                writeCharacterFormat(writer, format.toCharFormat(), i);
            break;
        case QTextFormat::ListFormat:
            writeListFormat(writer, format.toListFormat(), i);
            break;
        case QTextFormat::FrameFormat:
            if (format.objectType() == QTextFormat::TableObject)
                writeTableFormat(writer, format.toTableFormat(), i);
            break;
        default:
            break;
        }
    }
    writer.writeEndElement(); // automatic-styles
}

void OdfWriter::writeBlockFormat(QXmlStreamWriter &writer, QTextBlockFormat format, int formatIndex,
                                 QTextCharFormat charFormat) const
{
    const QString &styleNS = d->styleNS;
    const QString &foNS = d->foNS;
    writer.writeStartElement(styleNS, QStringLiteral("style"));
    if (formatIndex < 1) {
        writer.writeAttribute(styleNS, QStringLiteral("name"), QStringLiteral("MasterParagraph"));
        writer.writeAttribute(styleNS, QStringLiteral("family"), QStringLiteral("paragraph"));
        writer.writeAttribute(styleNS, QStringLiteral("master-page-name"), QStringLiteral("MP0"));
    } else {
        writer.writeAttribute(styleNS, QStringLiteral("name"), QString::fromLatin1("Paragraph%1").arg(formatIndex));
        writer.writeAttribute(styleNS, QStringLiteral("family"), QStringLiteral("paragraph"));
    }

    writer.writeStartElement(styleNS, QStringLiteral("paragraph-properties"));
    if (format.hasProperty(QTextFormat::BlockAlignment)) {
        bool known = false;
        const QString align = alignmentName(format.alignment(), &known);
        if (known)
            writer.writeAttribute(foNS, QStringLiteral("text-align"), align);
        else
            qWarning().nospace() << "OdfWriter: unsupported paragraph alignment; " << format.alignment();
    }
    writer.writeAttribute(foNS, QStringLiteral("line-height"),
                          format.hasProperty(QTextFormat::LineHeight)
                              ? QString::fromLatin1("%1%").arg(format.lineHeight(), 0, 'g', -1)
                              : QStringLiteral("100%"));
    if (format.hasProperty(QTextFormat::BlockTopMargin))
        writer.writeAttribute(foNS, QStringLiteral("margin-top"), pixelToPoint(qMax(qreal(0), format.topMargin())));
    writer.writeAttribute(foNS, QStringLiteral("margin-bottom"),
                          format.hasProperty(QTextFormat::BlockBottomMargin)
                              ? pixelToPoint(qMax(qreal(0), format.bottomMargin()))
                              : QStringLiteral("0pt"));
    if (format.hasProperty(QTextFormat::BlockLeftMargin) || format.hasProperty(QTextFormat::BlockIndent))
        writer.writeAttribute(foNS, QStringLiteral("margin-left"),
                              pixelToPoint(qMax(qreal(0), format.leftMargin() + format.indent())));
    if (format.hasProperty(QTextFormat::BlockRightMargin))
        writer.writeAttribute(foNS, QStringLiteral("margin-right"),
                              pixelToPoint(qMax(qreal(0), format.rightMargin())));
    if (format.hasProperty(QTextFormat::TextIndent))
        writer.writeAttribute(foNS, QStringLiteral("text-indent"), pixelToPoint(format.textIndent()));
    if (format.hasProperty(QTextFormat::PageBreakPolicy)) {
        const QTextFormat::PageBreakFlags policy = format.pageBreakPolicy();
        if (policy & QTextFormat::PageBreak_AlwaysBefore)
            writer.writeAttribute(foNS, QStringLiteral("break-before"), QStringLiteral("page"));
        if (policy & QTextFormat::PageBreak_AlwaysAfter)
            writer.writeAttribute(foNS, QStringLiteral("break-after"), QStringLiteral("page"));
    }
    if (format.hasProperty(QTextFormat::BackgroundBrush))
        writer.writeAttribute(foNS, QStringLiteral("background-color"), format.background().color().name());
    if (format.hasProperty(QTextFormat::BlockNonBreakableLines))
        writer.writeAttribute(foNS, QStringLiteral("keep-together"),
                              format.nonBreakableLines() ? QStringLiteral("true") : QStringLiteral("false"));
    if (format.hasProperty(QTextFormat::TabPositions)) {
        writer.writeStartElement(styleNS, QStringLiteral("tab-stops"));
        const QList<QTextOption::Tab> tabs = format.tabPositions();
        for (const QTextOption::Tab &tab : tabs) {
            writer.writeEmptyElement(styleNS, QStringLiteral("tab-stop"));
            writer.writeAttribute(styleNS, QStringLiteral("position"), pixelToPoint(tab.position));
            writer.writeAttribute(styleNS, QStringLiteral("type"), tabTypeName(tab.type));
            if (!tab.delimiter.isNull())
                writer.writeAttribute(styleNS, QStringLiteral("char"), QString(tab.delimiter));
        }
        writer.writeEndElement(); // tab-stops
    }
    writer.writeEndElement(); // paragraph-properties

    const QFont defaultFont = d->document->defaultFont();
    writer.writeStartElement(styleNS, QStringLiteral("text-properties"));
    if (charFormat.hasProperty(kFontFamilyProperty))
        writer.writeAttribute(foNS, QStringLiteral("font-family"), fontFamilyOf(charFormat));
    else if (!defaultFont.family().isEmpty())
        writer.writeAttribute(foNS, QStringLiteral("font-family"), defaultFont.family());
    // A pixel-sized default font reports -1 points: no size is better than that.
    if (charFormat.hasProperty(QTextFormat::FontPointSize))
        writer.writeAttribute(foNS, QStringLiteral("font-size"), fontSize(charFormat.fontPointSize()));
    else if (defaultFont.pointSize() > 0)
        writer.writeAttribute(foNS, QStringLiteral("font-size"), QString::fromLatin1("%1pt").arg(defaultFont.pointSize()));
    writer.writeEndElement(); // text-properties
    writer.writeEndElement(); // style
}

void OdfWriter::writeCharacterFormat(QXmlStreamWriter &writer, QTextCharFormat format, int formatIndex) const
{
    const QString &styleNS = d->styleNS;
    const QString &foNS = d->foNS;
    const QFontInfo fontInfo(format.font());
    const QFont defaultFont = d->document->defaultFont();
    const QFontInfo defaultFontInfo(defaultFont);

    writer.writeStartElement(styleNS, QStringLiteral("style"));
    writer.writeAttribute(styleNS, QStringLiteral("name"), QString::fromLatin1("T%1").arg(formatIndex));
    writer.writeAttribute(styleNS, QStringLiteral("family"), QStringLiteral("text"));
    writer.writeEmptyElement(styleNS, QStringLiteral("text-properties"));

    if (format.fontItalic())
        writer.writeAttribute(foNS, QStringLiteral("font-style"), QStringLiteral("italic"));
    if (format.hasProperty(QTextFormat::FontWeight)) {
        const int weight = format.fontWeight();
        if (weight != 0 && weight != QFont::Normal)
            writer.writeAttribute(foNS, QStringLiteral("font-weight"), fontWeightName(weight));
    }
    QString family;
    if (format.hasProperty(kFontFamilyProperty))
        family = fontInfo.family();
    else if (!defaultFontInfo.family().isEmpty())
        family = defaultFontInfo.family();
    else
        family = QStringLiteral("Sans");
    writer.writeAttribute(foNS, QStringLiteral("font-family"), family);
    if (format.hasProperty(QTextFormat::FontPointSize))
        writer.writeAttribute(foNS, QStringLiteral("font-size"), fontSize(format.fontPointSize()));
    else if (defaultFont.pointSize() > 0)
        writer.writeAttribute(foNS, QStringLiteral("font-size"), QString::fromLatin1("%1pt").arg(defaultFont.pointSize()));
    if (format.hasProperty(QTextFormat::FontCapitalization)) {
        switch (format.fontCapitalization()) {
        case QFont::MixedCase:
            writer.writeAttribute(foNS, QStringLiteral("text-transform"), QStringLiteral("none"));
            break;
        case QFont::AllUppercase:
            writer.writeAttribute(foNS, QStringLiteral("text-transform"), QStringLiteral("uppercase"));
            break;
        case QFont::AllLowercase:
            writer.writeAttribute(foNS, QStringLiteral("text-transform"), QStringLiteral("lowercase"));
            break;
        case QFont::SmallCaps:
            writer.writeAttribute(foNS, QStringLiteral("font-variant"), QStringLiteral("small-caps"));
            break;
        case QFont::Capitalize:
            writer.writeAttribute(foNS, QStringLiteral("text-transform"), QStringLiteral("capitalize"));
            break;
        }
    }
    if (format.hasProperty(QTextFormat::FontLetterSpacing))
        writer.writeAttribute(foNS, QStringLiteral("letter-spacing"), pixelToPoint(format.fontLetterSpacing()));
    if (format.hasProperty(QTextFormat::FontWordSpacing) && format.fontWordSpacing() != 0)
        writer.writeAttribute(foNS, QStringLiteral("word-spacing"), pixelToPoint(format.fontWordSpacing()));
    if (format.hasProperty(QTextFormat::FontUnderline))
        writer.writeAttribute(styleNS, QStringLiteral("text-underline-type"),
                              format.fontUnderline() ? QStringLiteral("single") : QStringLiteral("none"));
    if (format.hasProperty(QTextFormat::FontStrikeOut))
        writer.writeAttribute(styleNS, QStringLiteral("text-line-through-type"),
                              format.fontStrikeOut() ? QStringLiteral("single") : QStringLiteral("none"));
    if (format.hasProperty(QTextFormat::TextUnderlineColor))
        writer.writeAttribute(styleNS, QStringLiteral("text-underline-color"), format.underlineColor().name());
    if (format.hasProperty(QTextFormat::TextUnderlineStyle))
        writer.writeAttribute(styleNS, QStringLiteral("text-underline-style"),
                              underlineStyleName(format.underlineStyle()));
    if (format.hasProperty(QTextFormat::TextVerticalAlignment))
        writer.writeAttribute(styleNS, QStringLiteral("text-position"),
                              textPositionName(format.verticalAlignment()));
    if (format.hasProperty(QTextFormat::TextOutline))
        writer.writeAttribute(styleNS, QStringLiteral("text-outline"), QStringLiteral("true"));
    if (format.hasProperty(QTextFormat::ForegroundBrush))
        writer.writeAttribute(foNS, QStringLiteral("color"), format.foreground().color().name());
    if (format.hasProperty(QTextFormat::BackgroundBrush))
        writer.writeAttribute(foNS, QStringLiteral("background-color"), format.background().color().name());

    writer.writeEndElement(); // style
}

void OdfWriter::writeListFormat(QXmlStreamWriter &writer, QTextListFormat format, int formatIndex) const
{
    const QString &styleNS = d->styleNS;
    const QString &textNS = d->textNS;
    writer.writeStartElement(textNS, QStringLiteral("list-style"));
    writer.writeAttribute(styleNS, QStringLiteral("name"), QString::fromLatin1("L%1").arg(formatIndex));

    const QTextListFormat::Style style = format.style();
    if (isNumbered(style)) {
        writer.writeStartElement(textNS, QStringLiteral("list-level-style-number"));
        writer.writeAttribute(styleNS, QStringLiteral("num-format"), bulletText(style));
        writer.writeAttribute(styleNS, QStringLiteral("num-suffix"),
                              format.hasProperty(QTextFormat::ListNumberSuffix) ? format.numberSuffix()
                                                                                 : QStringLiteral("."));
        if (format.hasProperty(QTextFormat::ListNumberPrefix))
            writer.writeAttribute(styleNS, QStringLiteral("num-prefix"), format.numberPrefix());
    } else {
        writer.writeStartElement(textNS, QStringLiteral("list-level-style-bullet"));
        writer.writeAttribute(textNS, QStringLiteral("bullet-char"), bulletText(style));
    }
    const int level = listLevel(format);
    writer.writeAttribute(textNS, QStringLiteral("level"), QString::number(level));
    writer.writeEmptyElement(styleNS, QStringLiteral("list-level-properties"));
    writer.writeAttribute(d->foNS, QStringLiteral("text-align"), QStringLiteral("start"));
    writer.writeAttribute(textNS, QStringLiteral("space-before"),
                          QString::fromLatin1("%1mm").arg(level * kListSpaceBeforeMM));
    writer.writeEndElement(); // list-level-style-*
    writer.writeEndElement(); // list-style
}

void OdfWriter::writeTableFormat(QXmlStreamWriter &writer, QTextTableFormat format, int formatIndex) const
{
    const QString &styleNS = d->styleNS;
    const QString &foNS = d->foNS;
    const QString &tableNS = d->tableNS;

    writer.writeStartElement(styleNS, QStringLiteral("style"));
    writer.writeAttribute(styleNS, QStringLiteral("name"), QString::fromLatin1("Table%1").arg(formatIndex));
    writer.writeAttribute(styleNS, QStringLiteral("family"), QStringLiteral("table"));
    writer.writeEmptyElement(styleNS, QStringLiteral("table-properties"));
    if (format.hasProperty(QTextFormat::FrameTopMargin))
        writer.writeAttribute(foNS, QStringLiteral("margin-top"), pixelToPoint(qMax(qreal(0), format.topMargin())));
    if (format.hasProperty(QTextFormat::FrameBottomMargin))
        writer.writeAttribute(foNS, QStringLiteral("margin-bottom"),
                              pixelToPoint(qMax(qreal(0), format.bottomMargin())));
    if (format.hasProperty(QTextFormat::FrameLeftMargin))
        writer.writeAttribute(foNS, QStringLiteral("margin-left"), pixelToPoint(qMax(qreal(0), format.leftMargin())));
    if (format.hasProperty(QTextFormat::FrameRightMargin))
        writer.writeAttribute(foNS, QStringLiteral("margin-right"),
                              pixelToPoint(qMax(qreal(0), format.rightMargin())));
    const QTextLength width = format.width();
    const bool isPercentWidth = format.hasProperty(QTextFormat::FrameWidth)
        && width.type() == QTextLength::PercentageLength;
    if (isPercentWidth)
        writer.writeAttribute(styleNS, QStringLiteral("rel-width"),
                              QString::fromLatin1("%1%").arg(width.rawValue(), 0, 'g', -1));
    writer.writeAttribute(tableNS, QStringLiteral("align"), QStringLiteral("margins"));
    writer.writeAttribute(styleNS, QStringLiteral("shadow"), QStringLiteral("none"));
    writer.writeAttribute(tableNS, QStringLiteral("border-model"), QStringLiteral("collapsing"));
    writer.writeEndElement(); // style

    double tableWidthMM = d->textWidthMM;
    if (width.type() == QTextLength::PercentageLength)
        tableWidthMM = d->textWidthMM * width.rawValue() / 100;
    const QVector<QTextLength> constraints = format.columnWidthConstraints();
    const int columns = qMax(1, format.columns());
    for (int c = 1; c <= columns; ++c) {
        writer.writeStartElement(styleNS, QStringLiteral("style"));
        writer.writeAttribute(styleNS, QStringLiteral("name"),
                              QString::fromLatin1("Table%1Column%2").arg(formatIndex).arg(c));
        writer.writeAttribute(styleNS, QStringLiteral("family"), QStringLiteral("table-column"));
        writer.writeEmptyElement(styleNS, QStringLiteral("table-column-properties"));
        const QTextLength constraint = constraints.value(c - 1);
        if (constraint.type() != QTextLength::VariableLength) {
            // Fixed widths are pixels: their share of the table is taken from
            // their size in millimetres, so that they weigh against
            // percentages as they would on the page.  The weight is not cut
            // to 16 bits, which would scramble the proportions of wide columns.
            qreal widthMM = constraint.rawValue() * tableWidthMM / 100;
            qreal percent = constraint.rawValue();
            if (constraint.type() == QTextLength::FixedLength) {
                widthMM = constraint.rawValue() * kPointsPerInch / kPixelsPerInch / kPointsPerMM;
                percent = tableWidthMM > 0 ? widthMM * 100 / tableWidthMM : 0;
            }
            const int weight = qMax(1, int(qCeil(percent)) * kColumnWeightPerPercent);
            writer.writeAttribute(styleNS, QStringLiteral("rel-column-width"), QString::fromLatin1("%1*").arg(weight));
            writer.writeAttribute(styleNS, QStringLiteral("column-width"),
                                  QString::number(widthMM, 'f', 4) + QLatin1String("mm"));
        }
        writer.writeEndElement(); // style
    }

    writer.writeStartElement(styleNS, QStringLiteral("style"));
    writer.writeAttribute(styleNS, QStringLiteral("name"), QString::fromLatin1("Table%1Cell").arg(formatIndex));
    writer.writeAttribute(styleNS, QStringLiteral("family"), QStringLiteral("table-cell"));
    writer.writeEmptyElement(styleNS, QStringLiteral("table-cell-properties"));
    if (format.cellPadding() > 0)
        writer.writeAttribute(foNS, QStringLiteral("padding"), pixelToPoint(format.cellPadding()));
    if (format.border() > 0 && format.borderBrush() == QBrush(QColor(QStringLiteral("#000000")), Qt::SolidPattern))
        writer.writeAttribute(foNS, QStringLiteral("border"), QStringLiteral("0.0138in solid #000000"));
    writer.writeEndElement(); // style
}
