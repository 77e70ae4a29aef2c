#include <configurator-common/dialogautorization.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const char kCatalogue[] = ":/translations/common_ru.qm";

struct Message
{
    QString context;
    QString source;
    QString translation;
};

bool isCyrillic(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF)
            return true;
    }
    return false;
}

QString catalogueSourcePath()
{
    return QDir(QString::fromLocal8Bit(CC_SOURCE_DIR)).filePath(QStringLiteral("src/resources/common_ru.ts"));
}

QList<Message> readCatalogueSource()
{
    QList<Message> messages;
    QFile file(catalogueSourcePath());
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context;
    Message message;
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("source")) {
            message = Message{context, xml.readElementText(), QString()};
        } else if (xml.name() == QLatin1String("translation")) {
            if (xml.attributes().hasAttribute(QLatin1String("type")))
                message.translation.clear();
            else
                message.translation = xml.readElementText();
            messages.append(message);
        }
    }
    return messages;
}

// The tr() calls of the library's sources, each with the class whose member
// function holds it (its translation context).
QList<Message> trCallsInSources()
{
    static const QRegularExpression function(QStringLiteral("^[A-Za-z_][\\w:<>*& ]*?\\b(\\w+)::~?\\w+\\("),
                                             QRegularExpression::MultilineOption);
    static const QRegularExpression call(QStringLiteral("\\btr\\(\\s*\"((?:[^\"\\\\]|\\\\.)*)\""));
    QList<Message> calls;
    QDirIterator it(QDir(QString::fromLocal8Bit(CC_SOURCE_DIR)).filePath(QStringLiteral("src")),
                    QStringList() << QStringLiteral("*.cpp"), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        QRegularExpressionMatchIterator matches = call.globalMatch(text);
        while (matches.hasNext()) {
            const QRegularExpressionMatch match = matches.next();
            QString context;
            QRegularExpressionMatchIterator defs = function.globalMatch(text.left(match.capturedStart()));
            while (defs.hasNext())
                context = defs.next().captured(1);
            QString source = match.captured(1);
            source.replace(QStringLiteral("\\\""), QStringLiteral("\""));
            calls.append(Message{context, source, QFileInfo(file.fileName()).fileName()});
        }
    }
    return calls;
}

} // namespace

class tst_Translations : public QObject
{
    Q_OBJECT

private slots:
    void catalogueIsEmbedded();
    void catalogueRegistrationFollowsResourceInit();
    void translatesEachContext_data();
    void translatesEachContext();
    void everyCatalogueEntryIsTranslated();
    void everyTrCallIsInCatalogue();
    void dialogRetranslatesOnLanguageChange();
};

void tst_Translations::catalogueIsEmbedded()
{
    QVERIFY(QFile::exists(QLatin1String(kCatalogue)));
    const QResource resource{QString::fromLatin1(kCatalogue)};
    QVERIFY(resource.isValid());
    QVERIFY(resource.size() > 0);
    QVERIFY(QDir(QStringLiteral(":/translations")).entryList().contains(QStringLiteral("common_ru.qm")));
}

// rcc's initializer runs these two when the library is loaded and unloaded.
void tst_Translations::catalogueRegistrationFollowsResourceInit()
{
    Q_CLEANUP_RESOURCE(translations);
    QVERIFY(!QFile::exists(QLatin1String(kCatalogue)));
    Q_INIT_RESOURCE(translations);
    QVERIFY(QFile::exists(QLatin1String(kCatalogue)));
}

void tst_Translations::translatesEachContext_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");

    QTest::newRow("dialog title") << "DialogAutorization" << "Autorization" << QString::fromUtf8("Авторизация");
    QTest::newRow("dialog password") << "DialogAutorization" << "Enter password"
                                     << QString::fromUtf8("Введите пароль");
    QTest::newRow("ssdp request") << "SsdpDevice" << "Can't send SSDP request"
                                  << QString::fromUtf8("Не удалось отправить SSDP-запрос");
    QTest::newRow("ssdp reply") << "SsdpDevice" << "Can't send SSDP reply"
                                << QString::fromUtf8("Не удалось отправить SSDP-ответ");
    QTest::newRow("plugins") << "PluginManagerPrivate" << "Plugins directory does not exist"
                             << QString::fromUtf8("Каталог подключаемых модулей не существует");
    QTest::newRow("report title") << "ReportGenerator" << "Device report"
                                  << QString::fromUtf8("Отчёт об устройстве");
    QTest::newRow("report serial") << "ReportGenerator" << "Serial number"
                                   << QString::fromUtf8("Заводской номер");
    QTest::newRow("report next") << "ReportGenerator" << "Next verification"
                                 << QString::fromUtf8("Следующая поверка");
}

void tst_Translations::translatesEachContext()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, translation);

    QTranslator translator;
    QVERIFY(translator.load(QLatin1String(kCatalogue)));
    QCOMPARE(translator.language(), QStringLiteral("ru_RU"));
    const QString text = translator.translate(context.toLatin1().constData(), source.toLatin1().constData());
    QCOMPARE(text, translation);
    QVERIFY(isCyrillic(text));
}

// Every entry of the catalogue's source reaches the embedded catalogue.
void tst_Translations::everyCatalogueEntryIsTranslated()
{
    const QList<Message> messages = readCatalogueSource();
    QVERIFY(messages.size() >= 30);
    QTranslator translator;
    QVERIFY(translator.load(QLatin1String(kCatalogue)));
    QSet<QString> contexts;
    for (const Message& message : messages) {
        contexts.insert(message.context);
        const QString text = translator.translate(message.context.toUtf8().constData(),
                                                  message.source.toUtf8().constData());
        QVERIFY2(!message.translation.isEmpty(), qPrintable(message.source));
        QCOMPARE(text, message.translation);
        QVERIFY2(isCyrillic(text), qPrintable(message.source));
    }
    for (const char* context : {"DialogAutorization", "SsdpDevice", "PluginManagerPrivate", "ReportGenerator"})
        QVERIFY2(contexts.contains(QLatin1String(context)), context);
}

// A text added with tr() somewhere in the library without a translation
// would stay English in a Russian application.
void tst_Translations::everyTrCallIsInCatalogue()
{
    const QList<Message> calls = trCallsInSources();
    QVERIFY(calls.size() >= 14);
    QTranslator translator;
    QVERIFY(translator.load(QLatin1String(kCatalogue)));
    for (const Message& call : calls) {
        const QString text = translator.translate(call.context.toUtf8().constData(), call.source.toUtf8().constData());
        QVERIFY2(isCyrillic(text), qPrintable(QStringLiteral("%1: %2 \"%3\"")
                                                  .arg(call.translation, call.context, call.source)));
    }
}

void tst_Translations::dialogRetranslatesOnLanguageChange()
{
    DialogAutorization dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));

    QTranslator translator;
    QVERIFY(translator.load(QLatin1String(kCatalogue)));
    QVERIFY(QCoreApplication::installTranslator(&translator));
    QTRY_COMPARE(dialog.windowTitle(), QString::fromUtf8("Авторизация"));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("label_3"))->text(), QString::fromUtf8("Имя пользователя:"));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("bCancel"))->text(), QString::fromUtf8("Отмена"));

    QCoreApplication::removeTranslator(&translator);
    QTRY_COMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));
}

QTEST_MAIN(tst_Translations)
#include "tst_translations.moc"
