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
    /// Copies every setting and the progress of a run, but no output in progress.
    OdfWriter(const OdfWriter &other);
    /// As the copy constructor.
    OdfWriter &operator=(const OdfWriter &other);
    /// Destroys the writer; the document and the device stay.
    ~OdfWriter();

    /// Codec of content.xml (not owned; none, that is UTF-8, by default);
    /// styles.xml always uses UTF-8.  Characters that the codec cannot encode
    /// are written as numeric character references (for instance &amp;\#x41F; for П).
    void setCodec(QTextCodec *codec);
    /// The codec of content.xml, or null for UTF-8.
    QTextCodec *codec() const;

    /// True (the default) writes a ZIP package; false writes the content
    /// document alone as flat XML, without pictures.
    void setCreateArchive(bool on);
    /// Whether writeAll() writes a ZIP package.
    bool createArchive() const;

    /// Page width less the left and right page margins, in millimetres;
    /// known after writeAll().
    double textWidthMM() const;

    /// Writes the whole document and closes the device.
    /// \return false only when the device cannot be opened for writing.
    bool writeAll();

    /// Writes a table, a section or (without an element of its own) the root frame.
    void writeFrame(QXmlStreamWriter &writer, const QTextFrame *frame);
    /// Writes the frames and blocks from \a it to the end of its frame, skipping
    /// the empty paragraph that the document places after each table or section.
    void writeFrameIter(QXmlStreamWriter &writer, QTextFrame::iterator it);
    /// Writes one paragraph, opening and closing lists around it.  Spaces that
    /// a reader would drop become text:s; a numbered list opened again after
    /// a table or another paragraph carries its number on (text:start-value).
    void writeBlock(QXmlStreamWriter &writer, const QTextBlock &block);
    /// Writes the draw:frame of an inline picture and, in a package, stores the
    /// picture as PNG.  A name already given to a frame is followed by a copy
    /// number ("chart", "chart2", "chart3"), since readers keep one frame per name.
    void writeInlineCharacter(QXmlStreamWriter &writer, const QTextFragment &fragment) const;

    /// Writes office:automatic-styles with one style per format index of the set.
    void writeFormats(QXmlStreamWriter &writer, const QSet<int> &formatIndices) const;
    /// Writes the paragraph style "Paragraph<index>", or "MasterParagraph" for an
    /// index below 1, with the default font of \a charFormat.
    void writeBlockFormat(QXmlStreamWriter &writer, QTextBlockFormat format, int formatIndex,
                          QTextCharFormat charFormat) const;
    /// Writes the text style "T<index>".  A font weight becomes normal, bold or
    /// 100 to 900: the nearest of Qt's named weights (Thin 100, ExtraLight 200,
    /// Light 300, Normal, Medium 500, DemiBold 600, Bold, ExtraBold 800,
    /// Black 900), the lighter one when halfway.
    void writeCharacterFormat(QXmlStreamWriter &writer, QTextCharFormat format, int formatIndex) const;
    /// Writes the list style "L<index>".
    void writeListFormat(QXmlStreamWriter &writer, QTextListFormat format, int formatIndex) const;
    /// Writes the styles "Table<index>", "Table<index>Column<n>" and "Table<index>Cell".
    void writeTableFormat(QXmlStreamWriter &writer, QTextTableFormat format, int formatIndex) const;

    /// Document pixels (96 per inch) as points: "72pt" for 96.
    static QString pixelToPoint(qreal pixels);
    /// Document pixels (96 per inch) as millimetres of 2.835 points: "25.3968mm" for 96.
    static QString pixelToMM(qreal pixels);

private:
    OdfWriterPrivate *d;
};

#endif
