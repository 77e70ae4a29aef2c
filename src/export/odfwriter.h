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

// Exports a QTextDocument as an OpenDocument text document: a ZIP package
// (mimetype, pictures, manifest, styles.xml, content.xml) or, without the
// archive, the content document alone as flat XML.  One writer exports one
// document: build it, optionally set the codec and the archive choice, then
// call writeAll() once.
class OdfWriter
{
public:
    // Neither the document nor the device is owned.
    OdfWriter(const QTextDocument &document, QIODevice *device);
    OdfWriter(const OdfWriter &other);
    OdfWriter &operator=(const OdfWriter &other);
    ~OdfWriter();

    // Codec of content.xml; styles.xml always uses the XML writer's default.
    void setCodec(QTextCodec *codec);
    QTextCodec *codec() const;

    void setCreateArchive(bool on);
    bool createArchive() const;

    // Page width less the left and right page margins; known after writeAll().
    double textWidthMM() const;

    // False only when the device cannot be opened for writing.
    bool writeAll();

    void writeFrame(QXmlStreamWriter &writer, const QTextFrame *frame);
    void writeFrameIter(QXmlStreamWriter &writer, QTextFrame::iterator it);
    void writeBlock(QXmlStreamWriter &writer, const QTextBlock &block);
    void writeInlineCharacter(QXmlStreamWriter &writer, const QTextFragment &fragment) const;

    // office:automatic-styles with one style per format index of the set.
    void writeFormats(QXmlStreamWriter &writer, const QSet<int> &formatIndices) const;
    void writeBlockFormat(QXmlStreamWriter &writer, QTextBlockFormat format, int formatIndex,
                          QTextCharFormat charFormat) const;
    void writeCharacterFormat(QXmlStreamWriter &writer, QTextCharFormat format, int formatIndex) const;
    void writeListFormat(QXmlStreamWriter &writer, QTextListFormat format, int formatIndex) const;
    void writeTableFormat(QXmlStreamWriter &writer, QTextTableFormat format, int formatIndex) const;

    // Document pixels are taken at 96 per inch; a millimetre has 2.835 points.
    static QString pixelToPoint(qreal pixels);
    static QString pixelToMM(qreal pixels);

private:
    OdfWriterPrivate *d;
};

#endif
