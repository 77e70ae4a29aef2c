#include <configurator-common/dialogautorization.h>

#include <QLibraryInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

// (context, source, translation) of each message in a catalogue source; an
// unfinished entry counts as untranslated.
QList<QStringList> readCatalogueSource(const QString& path)
{
    QList<QStringList> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            messages << QStringList{context, source, xml.attributes().hasAttribute("type") ? "" : xml.readElementText()};
    }
    return messages;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT
    QTranslator m_translator;

    QString translate(const QStringList& message) const
    {
        return m_translator.translate(message.at(0).toUtf8().constData(), message.at(1).toUtf8().constData());
    }

private slots:
    // The Russian catalogue is embedded in the library.
    void initTestCase()
    {
        QVERIFY(m_translator.load(QStringLiteral(":/translations/common_ru.qm")));
        QCOMPARE(m_translator.language(), QStringLiteral("ru_RU"));
    }

    // Every entry of the catalogue's source reaches the embedded catalogue,
    // and every text the library passes through tr() (as lupdate finds them) is in it.
    void everyTextIsTranslated_data()
    {
        QTest::addColumn<QString>("ts");
        QTest::addColumn<int>("atLeast");
        QTest::newRow("catalogue source") << QStringLiteral(CC_SOURCE_DIR "/src/resources/common_ru.ts") << 30;
        QTest::newRow("tr() calls") << QString() << 14;
    }

    void everyTextIsTranslated()
    {
        QFETCH(QString, ts);
        QTemporaryDir dir;
        if (ts.isEmpty()) {
            ts = dir.filePath(QStringLiteral("found.ts"));
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
            const QString bin = QLibraryInfo::path(QLibraryInfo::BinariesPath);
#else
            const QString bin = QLibraryInfo::location(QLibraryInfo::BinariesPath);
#endif
            QString lupdate = QStandardPaths::findExecutable("lupdate", {bin});
            lupdate = lupdate.isEmpty() ? QStandardPaths::findExecutable("lupdate") : lupdate;
            QCOMPARE(QProcess::execute(lupdate, {"-silent", "-recursive", CC_SOURCE_DIR "/src", "-ts", ts}), 0);
        }
        const QList<QStringList> messages = readCatalogueSource(ts);
        QFETCH(int, atLeast);
        QVERIFY(messages.size() >= atLeast);
        static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
        for (const QStringList& message : messages) {
            QVERIFY2(translate(message).contains(cyrillic), qPrintable(message.join(": ")));
            if (!message.at(2).isEmpty())
                QCOMPARE(translate(message), message.at(2));
        }
    }

    void dialogRetranslatesOnLanguageChange()
    {
        DialogAutorization dialog;
        QVERIFY(QCoreApplication::installTranslator(&m_translator));
        QTRY_COMPARE(dialog.windowTitle(), QString::fromUtf8("Авторизация"));
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("bCancel"))->text(), QString::fromUtf8("Отмена"));
        QCoreApplication::removeTranslator(&m_translator);
        QTRY_COMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));
    }
};

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
