// Generated documents read back by independent readers: Python's zipfile
// and XML parser, and LibreOffice converting the package to text and PDF.

#include <configurator-common/odfwriter.h>

#include <QTextCodec>
#include <QtGui>
#include <QtTest>

namespace {

// Runs a program to its end within two minutes (the process is killed
// after that); its output, or a null array when it fails.
QByteArray run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    const bool done = process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    return done && process.exitCode() == 0 ? process.readAll() + ' ' : QByteArray();
}

// Every span in content.xml: its text with text:s, text:tab and
// text:line-break expanded, and the properties of its style.
const char kSpans[] = R"(
import sys, json, zipfile, xml.dom.minidom as dom
z = zipfile.ZipFile(sys.argv[1])
assert z.testzip() is None and z.infolist()[0].compress_type == zipfile.ZIP_STORED and z.read('mimetype') == b'application/vnd.oasis.opendocument.text'
listed = {e.getAttribute('manifest:full-path'): e.getAttribute('manifest:media-type')
          for e in dom.parseString(z.read('META-INF/manifest.xml')).getElementsByTagName('manifest:file-entry')}
assert set(z.namelist()) - {'mimetype', 'META-INF/manifest.xml'} < set(listed) and listed['/'].endswith('text'), listed
assert all(listed[n] == 'image/png' and z.read(n).startswith(b'\x89PNG') for n in z.namelist() if n.startswith('Pictures/'))
c = dom.parseString(z.read('content.xml'))
styles = {s.getAttribute('style:name'): {k: v for n in s.getElementsByTagName('*') for k, v in n.attributes.items()}
          for s in c.getElementsByTagName('style:style')}
text = lambda n: (n.data if n.nodeType == n.TEXT_NODE else ' ' * int(n.getAttribute('text:c') or 1) if n.tagName == 'text:s'
                 else {'text:tab': '\t', 'text:line-break': '\u2028'}.get(n.tagName, ''))
keys = ['fo:font-style', 'fo:font-weight', 'style:text-underline-style', 'fo:font-family', 'fo:font-size', 'style:text-position']
print(json.dumps([[''.join(text(n) for n in s.childNodes)] + [styles[s.getAttribute('text:style-name')].get(k, '') for k in keys]
                  + [styles[s.parentNode.getAttribute('text:style-name')].get('fo:text-align', '')]
                  for s in c.getElementsByTagName('text:span') if not s.getElementsByTagName('draw:frame')]))
)";

} // namespace

class tst_OdfWriterReaders : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pythonReadsSpansAndTheirStyles();
    void libreOfficeReadsEveryLineAndPicture();

private:
    QTemporaryDir dir;
    QString package;
    QJsonArray spans;  // as the Python script prints them
    QStringList lines; // as LibreOffice's text shows them, in order
    int pictures = 0;
};

// Paragraphs of runs of random formats, with runs of spaces, tabs and
// characters ISO-8859-1 cannot encode; items of one numbered list between
// them, tables and a picture shown again and again.
void tst_OdfWriterReaders::initTestCase()
{
    QTextDocument document;
    QRandomGenerator gen(1234);
    auto pick = [&gen](int n) { return int(gen.bounded(n)); };
    const QStringList vocabulary = {"alpha", "Gr\u00fc\u00dfe", "\u041f\u0440\u0438\u0431\u043e\u0440",
                                    "\u4e2d\u6587", "\u20ac5", "\U0001F600", "<&>", "\ttab"};
    const QMap<int, QString> weights = {{QFont::Normal, ""}, {QFont::Bold, "bold"}, {QFont::DemiBold, "600"}, {QFont::Light, "300"}};
    const QMap<int, QString> underlines = {{QTextCharFormat::NoUnderline, "none"}, {QTextCharFormat::SingleUnderline, "solid"},
        {QTextCharFormat::DashUnderline, "dash"}, {QTextCharFormat::DotLine, "dotted"}, {QTextCharFormat::DashDotLine, "dash-dot"},
        {QTextCharFormat::DashDotDotLine, "dot-dot-dash"}, {QTextCharFormat::WaveUnderline, "wave"}};
    const QMap<int, QString> positions = {{QTextCharFormat::AlignNormal, "0%"}, {QTextCharFormat::AlignSuperScript, "super"},
        {QTextCharFormat::AlignSubScript, "sub"}, {QTextCharFormat::AlignTop, "100%"}, {QTextCharFormat::AlignBottom, "-100%"}};
    const QMap<int, QString> alignments = {{Qt::AlignLeft, "start"}, {Qt::AlignRight, "end"}, {Qt::AlignHCenter, "center"},
        {Qt::AlignJustify, "justify"}, {Qt::AlignLeft | Qt::AlignAbsolute, "left"}, {Qt::AlignRight | Qt::AlignAbsolute, "right"}};
    QImage seal(60, 30, QImage::Format_RGB32);
    seal.fill(QColor(0xff, 0x7f, 0x0e));
    document.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("seal")), seal);
    QTextCursor cursor(&document);
    QTextList *list = nullptr;
    int counter = 0;
    auto words = [&](bool last) {
        QString text = pick(3) ? QString() : QString(1 + pick(3), ' ');
        for (int i = pick(3); i >= 0; --i)
            text += vocabulary.at(pick(vocabulary.size())) + QString::number(counter++) + QString(i ? 1 + pick(3) : 0, ' ');
        return text + (last || pick(2) ? QString() : QString(1 + pick(2), ' '));
    };
    auto randomFormat = [&]() {
        QTextCharFormat format;
        format.setFontItalic(pick(2));
        format.setFontWeight(weights.keys().at(pick(weights.size())));
        format.setUnderlineStyle(QTextCharFormat::UnderlineStyle(underlines.keys().at(pick(underlines.size()))));
        format.setVerticalAlignment(QTextCharFormat::VerticalAlignment(positions.keys().at(pick(positions.size()))));
        format.setFontFamily(pick(2) ? "DejaVu Sans" : "DejaVu Serif"); // installed: the resolved family is written
        format.setFontPointSize(QVector<qreal>{9, 10.5, 14}.at(pick(3)));
        return format;
    };
    for (int b = 0; b < 40; ++b) {
        const int kind = pick(6);
        QTextBlockFormat block;
        block.setAlignment(Qt::Alignment(alignments.keys().at(pick(alignments.size()))));
        cursor.insertBlock(block, QTextCharFormat());
        if (kind == 4) {
            const int columns = 1 + pick(3);
            QTextTable *table = cursor.insertTable(1, columns);
            for (int c = 0; c < columns; ++c)
                table->cellAt(0, c).firstCursorPosition().insertText(QStringLiteral("cell%1").arg(counter++), randomFormat());
            cursor.movePosition(QTextCursor::End);
        } else if (kind == 5) {
            for (int i = pick(3); i >= 0; --i, ++pictures)
                cursor.insertImage(QStringLiteral("seal"));
        } else {
            if (kind == 3)
                list ? list->add(cursor.block()) : void(list = cursor.createList(QTextListFormat::ListDecimal));
            for (int f = pick(3); f >= 0; --f)
                cursor.insertText(words(f == 0), randomFormat());
        }
    }
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (!QString(block.text()).remove(QChar::ObjectReplacementCharacter).isEmpty())
            lines << (block.textList() ? QStringLiteral("%1. ").arg(block.textList()->itemNumber(block) + 1) : QString())
                         + block.text();
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat f = it.fragment().charFormat();
            if (!f.isImageFormat())
                spans.append(QJsonArray{it.fragment().text(), f.fontItalic() ? "italic" : "", weights.value(f.fontWeight()),
                                        underlines.value(f.underlineStyle()), f.font().family(),
                                        QString::number(f.fontPointSize()) + "pt", positions.value(f.verticalAlignment()),
                                        alignments.value(block.blockFormat().intProperty(QTextFormat::BlockAlignment), "")});
        }
    }
    QVERIFY(dir.isValid() && spans.size() > 40 && pictures > 2);
    package = dir.filePath(QStringLiteral("generated.odt"));
    QFile file(package);
    OdfWriter writer(document, &file);
    writer.setCodec(QTextCodec::codecForName("ISO-8859-1"));
    QVERIFY(writer.writeAll());
    // One run for both conversions (LibreOffice is slow to start), with a
    // profile of its own so that no other office instance is involved.
    QTemporaryDir profile;
    for (const char *format : {"txt:Text (encoded):UTF8", "pdf"})
        QVERIFY2(!run(QStringLiteral("soffice"),
                      {QStringLiteral("--headless"), "-env:UserInstallation=" + QUrl::fromLocalFile(profile.path()).toString(),
                       QStringLiteral("--convert-to"), QLatin1String(format), QStringLiteral("--outdir"), dir.path(), package})
                      .isNull(),
                 "LibreOffice (libreoffice-writer-nogui) is needed as the real reader");
}

void tst_OdfWriterReaders::pythonReadsSpansAndTheirStyles()
{
    const QByteArray output = run(QStringLiteral("python3"), {QStringLiteral("-c"), QLatin1String(kSpans), package});
    QVERIFY2(!output.isNull(), "python3 is needed as an independent ZIP and XML reader");
    const QJsonArray read = QJsonDocument::fromJson(output).array();
    QCOMPARE(read.size(), spans.size());
    for (int i = 0; i < read.size(); ++i)
        QCOMPARE(QJsonDocument(read.at(i).toArray()).toJson(), QJsonDocument(spans.at(i).toArray()).toJson());
}

// Each line comes back whole, spaces and numbers included, in this order;
// every picture is placed.
void tst_OdfWriterReaders::libreOfficeReadsEveryLineAndPicture()
{
    QFile txt(dir.filePath(QStringLiteral("generated.txt")));
    QVERIFY(txt.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(txt.readAll());
    QStringList actual = text.split(QRegularExpression(QStringLiteral("\\r?\\n")));
    for (QString &line : actual)
        line.remove(QRegularExpression(QStringLiteral("^\\W*(?=\\d+\\. )")));
    int from = 0;
    for (const QString &line : qAsConst(lines)) {
        from = actual.indexOf(line, from);
        QVERIFY2(from >= 0, qPrintable(QStringLiteral("missing: \"%1\" in\n%2").arg(line, text)));
    }
    // LibreOffice keeps one frame per name, so each copy needs a name of its own.
    const QByteArray images = run(QStringLiteral("pdfimages"), {QStringLiteral("-list"), dir.filePath("generated.pdf")});
    QVERIFY2(!images.isNull(), "poppler-utils is needed");
    QCOMPARE(images.trimmed().split('\n').mid(2).size(), pictures);
}

QTEST_MAIN(tst_OdfWriterReaders)
#include "tst_odfwriter_readers.moc"
