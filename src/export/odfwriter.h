#ifndef CONFIGURATOR_COMMON_ODFWRITER_H
#define CONFIGURATOR_COMMON_ODFWRITER_H

#include <QSet>
#include <QString>
#include <QTextFormat>
#include <QTextObject>

class QIODevice;
class QTextCodec;
class QTextDocument;
class QXmlStreamWriter;
class OdfWriterPrivate;

/// \file
/// OdfWriter, the exporter of text documents to OpenDocument text.

/// Exports a QTextDocument as an OpenDocument text document: a ZIP package
/// (mimetype, pictures, manifest, styles.xml, content.xml) or, without the
/// archive, the content document alone as flat XML.  One writer exports one
/// document: build it, optionally set the codec and the archive choice, then
/// call writeAll() once.
///
/// The write... members are the steps of writeAll(), public for subclasses
/// and tests; each writes one element of content.xml to \a writer.
class OdfWriter
{
public:
    /// Neither the document nor the device is owned; both must outlive writeAll().
    OdfWriter(const QTextDocument &document, QIODevice *device);
    /// Copies the settings; the copy writes the same document to the same device.
    OdfWriter(const OdfWriter &other);
    /// Copies the settings of \a other.
    OdfWriter &operator=(const OdfWriter &other);
    /// Destroys the writer; the document and the device stay.
    ~OdfWriter();

    /// Codec of content.xml (not owned); styles.xml always uses the XML
    /// writer's default, UTF-8.  Null, the default, means UTF-8 too.
    void setCodec(QTextCodec *codec);
    /// The codec set last, or null.
    QTextCodec *codec() const;

    /// With true (the default) writeAll() writes the ZIP package, with false
    /// the flat content document alone.
    void setCreateArchive(bool on);
    /// Whether writeAll() writes the ZIP package.
    bool createArchive() const;

    /// Page width less the left and right page margins, in millimetres;
    /// known after writeAll().
    double textWidthMM() const;

    /// Writes the whole document to the device, opening it for writing when
    /// it is not open.  False only when the device cannot be opened for
    /// writing (with a warning).
    bool writeAll();

    /// Writes a frame: a table, a section, or the root frame's contents.
    void writeFrame(QXmlStreamWriter &writer, const QTextFrame *frame);
    /// Writes the blocks and frames from \a it to the end of its frame.
    void writeFrameIter(QXmlStreamWriter &writer, QTextFrame::iterator it);
    /// Writes one paragraph (inside its list item when it belongs to a list).
    void writeBlock(QXmlStreamWriter &writer, const QTextBlock &block);
    /// Writes an inline object: an image as a frame with its picture; other
    /// objects as an empty frame.
    void writeInlineCharacter(QXmlStreamWriter &writer, const QTextFragment &fragment) const;

    /// office:automatic-styles with one style per format index of the set.
    void writeFormats(QXmlStreamWriter &writer, const QSet<int> &formatIndices) const;
    /// The paragraph style "Paragraph" + \a formatIndex ("MasterParagraph" below 1).
    void writeBlockFormat(QXmlStreamWriter &writer, QTextBlockFormat format, int formatIndex,
                          QTextCharFormat charFormat) const;
    /// The text style "T" + \a formatIndex.
    void writeCharacterFormat(QXmlStreamWriter &writer, QTextCharFormat format, int formatIndex) const;
    /// The list style "L" + \a formatIndex.
    void writeListFormat(QXmlStreamWriter &writer, QTextListFormat format, int formatIndex) const;
    /// The table style "Table" + \a formatIndex, with its column and cell styles.
    void writeTableFormat(QXmlStreamWriter &writer, QTextTableFormat format, int formatIndex) const;

    /// \a pixels as a length in points, with its unit ("12pt").  Document pixels
    /// are taken at 96 per inch.
    static QString pixelToPoint(qreal pixels);
    /// \a pixels as a length in millimetres, with its unit ("25.4mm"); a
    /// millimetre has 2.835 points.
    static QString pixelToMM(qreal pixels);

private:
    OdfWriterPrivate *d;
};

#endif
