#include <configurator-common/pluginmanager.h>

#include <QtTest>

class tst_Translations : public QObject
{
    Q_OBJECT
    QTranslator m_translator;

private slots:
    // The Russian catalogue is embedded in the library, here linked through
    // the one call that needs it.
    void initTestCase()
    {
        QVERIFY(!PluginManager::instance());
        QVERIFY(m_translator.load(QStringLiteral(":/translations/common_ru.qm")));
    }

    // Every entry of the catalogue's source reaches the embedded catalogue,
    // and every text the library passes through tr() (as lupdate finds them)
    // is in it; an unfinished entry counts as untranslated.
    void everyTextIsTranslated()
    {
        QTemporaryDir dir;
        const QString found = dir.filePath(QStringLiteral("found.ts"));
        QCOMPARE(QProcess::execute(CC_LUPDATE, {"-silent", "-recursive", CC_SOURCE_DIR "/src", "-ts", found}), 0);
        for (const QString& ts : {QStringLiteral(CC_SOURCE_DIR "/src/resources/common_ru.ts"), found}) {
            QFile file(ts);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(&file);
            QByteArray context, source;
            int count = 0;
            while (!xml.atEnd()) {
                if (!xml.readNextStartElement())
                    continue;
                if (xml.name() == QLatin1String("name"))
                    context = xml.readElementText().toUtf8();
                else if (xml.name() == QLatin1String("source"))
                    source = xml.readElementText().toUtf8();
                else if (xml.name() == QLatin1String("translation")) {
                    const QString ours = m_translator.translate(context.constData(), source.constData());
                    QVERIFY2(ours.contains(QRegularExpression("[\\x{0400}-\\x{04FF}]")), (context + ": " + source).constData());
                    if (!xml.attributes().hasAttribute("type"))
                        QCOMPARE(ours, xml.readElementText());
                    ++count;
                }
            }
            QVERIFY(count >= 14);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Translations)
#include "tst_translations.moc"
