#include <configurator-common/dialogautorization.h>

#include <QLibraryInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QLabel>
#include <QPushButton>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QString kCatalogue = QStringLiteral(":/translations/common_ru.qm");

struct Message
{
    QString context;
    QString source;
    QString translation;
};

bool isCyrillic(const QString& text)
{
    static const QRegularExpression cyrillic(QStringLiteral("[\\x{0400}-\\x{04FF}]"));
    return text.contains(cyrillic);
}

// Messages of a catalogue source; an unfinished entry counts as untranslated.
QList<Message> readCatalogueSource(const QString& path)
{
    QList<Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    Message message;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1String("name"))
            message.context = xml.readElementText();
        else if (xml.name() == QLatin1String("source"))
            message.source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation"))
            messages.append({message.context, message.source,
                             xml.attributes().hasAttribute(QLatin1String("type")) ? QString() : xml.readElementText()});
    }
    return messages;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_translator.load(kCatalogue)); }
    void catalogueRegistrationFollowsResourceInit();
    void translatesEachContext_data();
    void translatesEachContext();
    void everyCatalogueEntryIsTranslated();
    void everyTrCallIsInCatalogue();
    void dialogRetranslatesOnLanguageChange();

private:
    QString translate(const QString& context, const QString& source) const
    {
        return m_translator.translate(context.toUtf8().constData(), source.toUtf8().constData());
    }

    QTranslator m_translator;
};

// rcc's initializer runs these two when the library is loaded and unloaded.
void tst_Translations::catalogueRegistrationFollowsResourceInit()
{
    QVERIFY(QFileInfo(kCatalogue).size() > 0);
    Q_CLEANUP_RESOURCE(translations);
    QVERIFY(!QFile::exists(kCatalogue));
    Q_INIT_RESOURCE(translations);
    QVERIFY(QFile::exists(kCatalogue));
}

void tst_Translations::translatesEachContext_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");

    QTest::newRow("dialog title") << "DialogAutorization" << "Autorization" << QString::fromUtf8("Авторизация");
    QTest::newRow("ssdp request") << "SsdpDevice" << "Can't send SSDP request"
                                  << QString::fromUtf8("Не удалось отправить SSDP-запрос");
    QTest::newRow("plugins") << "PluginManagerPrivate" << "Plugins directory does not exist"
                             << QString::fromUtf8("Каталог подключаемых модулей не существует");
    QTest::newRow("report title") << "ReportGenerator" << "Device report" << QString::fromUtf8("Отчёт об устройстве");
    QTest::newRow("report next") << "ReportGenerator" << "Next verification" << QString::fromUtf8("Следующая поверка");
}

void tst_Translations::translatesEachContext()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, translation);

    QCOMPARE(m_translator.language(), QStringLiteral("ru_RU"));
    QCOMPARE(translate(context, source), translation);
}

// Every entry of the catalogue's source reaches the embedded catalogue.
void tst_Translations::everyCatalogueEntryIsTranslated()
{
    const QList<Message> messages = readCatalogueSource(QStringLiteral(CC_SOURCE_DIR "/src/resources/common_ru.ts"));
    QVERIFY(messages.size() >= 30);
    QSet<QString> contexts;
    for (const Message& message : messages) {
        contexts.insert(message.context);
        QVERIFY2(isCyrillic(message.translation), qPrintable(message.source));
        QCOMPARE(translate(message.context, message.source), message.translation);
    }
    for (const char* context : {"DialogAutorization", "SsdpDevice", "PluginManagerPrivate", "ReportGenerator"})
        QVERIFY2(contexts.contains(QLatin1String(context)), context);
}

// A text added with tr() somewhere in the library without a translation
// would stay English in a Russian application; lupdate finds them all.
void tst_Translations::everyTrCallIsInCatalogue()
{
    QTemporaryDir dir;
    const QString ts = dir.filePath(QStringLiteral("found.ts"));
    QString lupdate = QStandardPaths::findExecutable(QStringLiteral("lupdate"),
                                                     {QLibraryInfo::location(QLibraryInfo::BinariesPath)});
    if (lupdate.isEmpty())
        lupdate = QStandardPaths::findExecutable(QStringLiteral("lupdate"));
    QCOMPARE(QProcess::execute(lupdate, {"-silent", "-recursive", CC_SOURCE_DIR "/src", "-ts", ts}), 0);
    const QList<Message> calls = readCatalogueSource(ts);
    QVERIFY(calls.size() >= 14);
    for (const Message& call : calls)
        QVERIFY2(isCyrillic(translate(call.context, call.source)), qPrintable(call.context + ": " + call.source));
}

void tst_Translations::dialogRetranslatesOnLanguageChange()
{
    DialogAutorization dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));
    QVERIFY(QCoreApplication::installTranslator(&m_translator));
    QTRY_COMPARE(dialog.windowTitle(), QString::fromUtf8("Авторизация"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label_3"))->text(), QString::fromUtf8("Имя пользователя:"));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("bCancel"))->text(), QString::fromUtf8("Отмена"));
    QCoreApplication::removeTranslator(&m_translator);
    QTRY_COMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));
}

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
