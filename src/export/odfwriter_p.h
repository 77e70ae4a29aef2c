#ifndef CONFIGURATOR_COMMON_ODFWRITER_P_H
#define CONFIGURATOR_COMMON_ODFWRITER_P_H

#include <QBuffer>
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>
#include <QXmlStreamWriter>

class QIODevice;
class QTextCodec;
class QTextDocument;
class QTextList;
class ZipWriter;

// Where the parts of an exported document go.
class QOutputStrategy
{
public:
    QOutputStrategy() = default;
    virtual ~QOutputStrategy();
    virtual void addFile(const QString &fileName, const QString &mimeType, const QByteArray &bytes) = 0;

    // "Pictures/Picture1", "Pictures/Picture2", ...
    QString createUniqueImageName();

    QIODevice *contentStream = nullptr;
    QIODevice *stylesStream = nullptr;
    int counter = 1;

private:
    Q_DISABLE_COPY(QOutputStrategy)
};

// Flat XML: the content document goes straight to the device; pictures and
// styles.xml have no place in it.
class QXmlStreamStrategy : public QOutputStrategy
{
public:
    explicit QXmlStreamStrategy(QIODevice *device);
    ~QXmlStreamStrategy() override;
    void addFile(const QString &fileName, const QString &mimeType, const QByteArray &bytes) override;
};

// The OpenDocument package.  The archive is assembled when the strategy is
// destroyed: mimetype, the pictures, the manifest, styles.xml, content.xml.
class ZipStreamStrategy : public QOutputStrategy
{
public:
    explicit ZipStreamStrategy(QIODevice *device);
    ~ZipStreamStrategy() override;
    void addFile(const QString &fileName, const QString &mimeType, const QByteArray &bytes) override;

private:
    void addManifestEntry(const QString &path, const QString &mediaType);

    QBuffer content;
    QBuffer manifest;
    QBuffer styles;
    ZipWriter *zip;   // Owned.
    QXmlStreamWriter manifestWriter;
    QString manifestNS;
};

class OdfWriterPrivate
{
public:
    OdfWriterPrivate(const QTextDocument *document, QIODevice *device);
    OdfWriterPrivate(const OdfWriterPrivate &other);

    QString officeNS;
    QString textNS;
    QString styleNS;
    QString foNS;
    QString tableNS;
    QString drawNS;
    QString xlinkNS;
    QString svgNS;
    const QTextDocument *document;
    QIODevice *device;
    QOutputStrategy *strategy = nullptr;   // Owned, and alive only inside writeAll().
    QTextCodec *codec = nullptr;
    bool createArchive = true;
    bool masterParagraphWritten = false;
    double textWidthMM = 0;
    QVector<const QTextList *> listStack;   // null where a level has no list of its own
    int sectionCount = 0;
    QHash<QString, int> frameNames;         // draw:names written, each with its last copy number
    QSet<const QTextList *> listsWritten;   // lists whose text:list has been opened
};

#endif
