#include "simulatedinstrument.h"
#include "simulatorprocess.h"

#include <configurator-common/zipreader.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

// The demo program against the device simulator, each as its own process, on
// 127.0.0.x:80 inside the test's private network namespace.
class TestDemo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void demoRunsTheWholeRoad_data();
    void demoRunsTheWholeRoad();
    void failureNamesItsCause_data();
    void failureNamesItsCause();

private:
    QString convertWithLibreOffice(const QString& document, const QString& format);

    QTemporaryDir dir;
    SimulatorProcess simulator;
};

void TestDemo::initTestCase()
{
    if (qgetenv("CC_IN_NETNS") != "1")
        QSKIP("binds port 80: runs only inside scripts/netns-run");
    QVERIFY(dir.isValid());
    QVERIFY2(simulator.start({"--address", "127.0.0.1", "--http-port", "80", "--duration", "300"}),
             qPrintable(simulator.output()));
}

void TestDemo::demoRunsTheWholeRoad_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("english") << "en_GB";
    QTest::newRow("russian") << "ru_RU";
}

static QString translated(const QString& locale, const char* text)
{
    QTranslator translator;
    if (locale.startsWith(QLatin1String("ru")) && translator.load(QStringLiteral(":/translations/common_ru.qm")))
        return translator.translate("ReportGenerator", text);
    return QString::fromLatin1(text);
}

void TestDemo::demoRunsTheWholeRoad()
{
    QFETCH(QString, locale);
    const QString report = dir.filePath(locale + ".odt");
    const QString settingsFile = dir.filePath(locale + ".ini");
    QByteArray out, err;
    const int code = runProgram(QStringLiteral(CC_DEMO_PATH),
        {"--address", "127.0.0.1", "--report", report, "--settings", settingsFile, "--locale", locale},
        &out, &err);
    QVERIFY2(code == 0, err.constData());

    // What the demo printed is what the simulator serves.
    SimulatedInstrument expected(0);
    const QVariantMap info = expected.identification();
    const QString text = QString::fromUtf8(out);
    QVERIFY2(text.contains("  serial: " + info.value("serialNumer").toString() + "\n"), qPrintable(text));
    QVERIFY(text.contains("  model: " + info.value("model").toString() + "\n"));
    QVERIFY(text.contains("  certificate: " + info.value("certificateSerial").toString() + "\n"));
    QVERIFY(text.contains("  production date: 2021-03-15\n"));
    QVERIFY(text.contains("  accuracy class: 0.5\n"));
    QVERIFY(text.contains(" (HTTP 200): { \"reading\" : "));
    QVERIFY(text.endsWith("done\n"));

    // The settings file holds the keys of the settings layout.
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.beginGroup("devices/instrument");
    QVERIFY(QUuid(settings.value("uuid").toString()).isNull() == false);
    QCOMPARE(settings.value("system/serial").toString(), info.value("serialNumer").toString());
    QCOMPARE(settings.value("system/model").toString(), info.value("model").toString());
    QCOMPARE(settings.value("system/productionDate").toUInt(), info.value("productionDate").toUInt());
    QCOMPARE(settings.value("connection/ip").toString(), QString("127.0.0.1"));
    QCOMPARE(settings.value("connection/login").toString(), QString("user"));
    QCOMPARE(settings.value("connection/password").toString(), QString("qvxj"));
    // The sample page read its group from the instrument into the record.
    QCOMPARE(settings.value("groupConfigs").toString(), QString("measurement"));
    QVERIFY(text.contains("  measurement: { \"interval\" : " + settings.value("measurement/interval").toString() + ","));
    QVERIFY(!settings.contains("connection/port"));

    // The report, read back with the library's reader and by LibreOffice.
    const QStringList captions = {translated(locale, "Device report"), translated(locale, "Serial number"),
                                  translated(locale, "Accuracy class"), translated(locale, "Next verification"),
                                  translated(locale, "Measurement log")};
    if (locale.startsWith("ru"))
        QVERIFY(captions.at(1).contains(QChar(0x0417)));   // "З", the report is translated
    ZipReader reader(report, QIODevice::ReadOnly);
    QCOMPARE(reader.status(), ZipReader::NoError);
    const QString content = QString::fromUtf8(reader.fileData("content.xml"));
    QVERIFY(content.contains(info.value("serialNumer").toString()));
    for (const QString& caption : captions)
        QVERIFY2(content.contains(caption), qPrintable(caption));

    const QString plain = convertWithLibreOffice(report, "txt");
    QVERIFY2(!plain.isEmpty(), "LibreOffice did not convert the report");
    int at = 0;
    for (const QString& caption : captions) {
        const int found = plain.indexOf(caption, at);
        QVERIFY2(found >= at, qPrintable(caption + " not in order in: " + plain));
        at = found;
    }
    QVERIFY(plain.contains(info.value("serialNumer").toString()));
}

QString TestDemo::convertWithLibreOffice(const QString& document, const QString& format)
{
    QTemporaryDir profile;
    QByteArray out, err;
    const int code = runProgram("soffice",
        {"--headless", "-env:UserInstallation=file://" + profile.path(), "--convert-to", format,
         "--outdir", dir.path(), document}, &out, &err, 180000);
    if (code != 0)
        return QString();
    QFile converted(dir.filePath(QFileInfo(document).completeBaseName() + "." + format));
    if (!converted.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(converted.readAll());
}

void TestDemo::failureNamesItsCause_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::newRow("wrong password") << QStringList{"--password", "wrong"} << 2
        << "demo: the instrument at 127.0.0.1:80 refused the login \"user\": wrong login or password\n";
    QTest::newRow("connection refused") << QStringList{"--port", "81"} << 2
        << "demo: the connection to 127.0.0.1:81 was refused: nothing listens on that port\n";
    QTest::newRow("silent instrument") << QStringList{"--address", "127.0.0.2", "--timeout", "700"} << 2
        << "demo: no answer from 127.0.0.2:80 within the time-out of 700 ms\n";
    QTest::newRow("port out of range") << QStringList{"--port", "65616"} << 2
        << "demo: --port 65616 is not a port from 1 to 65535\n";
    QTest::newRow("factory not loaded") << QStringList{"--factory", "Other"} << 3
        << "choose one with --factory NAME or --factory {UUID}:\n  \"Sample instrument\" {";
    // The window under the offscreen platform: its pages and its status line.
    QTest::newRow("window, wrong password") << QStringList{"--gui", "--screenshot", dir.filePath("gui.png"), "--password", "wrong"} << 0
        << "; pages: Instrument; status: The instrument at 127.0.0.1:80 refused the login \"user\"";
    QTest::newRow("window in Russian") << QStringList{"--gui", "--screenshot", dir.filePath("gui.png"), "--locale", "ru"} << 0
        << QString::fromUtf8("window: Конфигуратор: Sample instrument; pages: Прибор; status: VX-420 ")
           + SimulatedInstrument(0).serial() + QString::fromUtf8(" по адресу 127.0.0.1:80: на связи");
}

void TestDemo::failureNamesItsCause()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    SimulatorProcess silent;
    if (arguments.contains("127.0.0.2"))
        QVERIFY(silent.start({"--address", "127.0.0.2", "--drop-share", "1", "--duration", "60"}));
    if (!arguments.contains("--address"))
        arguments << "--address" << "127.0.0.1";
    QByteArray out, err;
    const int code = runProgram(QStringLiteral(CC_DEMO_PATH),
        arguments + QStringList{"--report", dir.filePath("failed.odt"), "--settings", dir.filePath("failed.ini")},
        &out, &err);
    const QString text = QString::fromUtf8(out + err);
    QTEST(code, "code");
    QVERIFY2(text.contains(message), qPrintable(text));
    QVERIFY(!QFile::exists(dir.filePath("failed.odt")));
}

QTEST_MAIN(TestDemo)
#include "tst_demo.moc"
