// configurator-demo: the configurator host for any device plug-in.  It loads
// every plug-in of the "plugins" directory beside it, picks one factory and
// runs the road of a request through it to an instrument and back, then saves
// the device's settings and exports a report; with --gui it shows the
// plug-in's pages.  With no --address it starts a simulated instrument of its
// own on loopback.
#include "demorunner.h"
#include "host.h"
#include "mainwindow.h"
#include "instrumentserver.h"
#include "simulatedinstrument.h"

#include <configurator-common/idevicefactory.h>
#include <configurator-common/pluginmanager.h>
#include <configurator-common/serviceprotoclient.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QLocale>
#include <QNetworkInterface>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

namespace {

const int kDiscoveryMs = 3000;
const int kScreenshotDelayMs = 1500;

bool isRussian(const QString& localeOption)
{
    const QLocale locale = localeOption.isEmpty() ? QLocale::system() : QLocale(localeOption);
    return locale.language() == QLocale::Russian;
}

int discover(const QString& interfaceName)
{
    QTextStream out(stdout);
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(interfaceName);
    if (!iface.isValid()) {
        QTextStream(stderr) << "demo: no network interface \"" << interfaceName << "\"\n";
        return 2;
    }
    ServiceProtoClient client;
    QEventLoop loop;
    QList<QUrl> found;
    QObject::connect(&client, &ServiceProtoClient::searchDone, &loop, [&](const QList<QUrl>& servers) {
        found = servers;
        loop.quit();
    });
    QTimer::singleShot(kDiscoveryMs * 2, &loop, &QEventLoop::quit);
    out << "discovery on " << interfaceName << " for " << kDiscoveryMs << " ms\n";
    out.flush();
    client.search(iface, kDiscoveryMs);
    loop.exec();
    out << "found " << found.size() << " instrument(s)\n";
    for (const QUrl& url : found)
        out << "  " << url.toString() << "\n";
    return 0;
}

bool verbose = false;

// The library reports each request on the debug stream; the demo shows those
// lines only with --verbose.
void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtDebugMsg && !verbose)
        return;
    Q_UNUSED(context);
    QTextStream(stderr) << message << "\n";
}

} // namespace

int main(int argc, char** argv)
{
    bool gui = false;
    for (int i = 1; i < argc; ++i) {
        gui = gui || qstrcmp(argv[i], "--gui") == 0;
        verbose = verbose || qstrcmp(argv[i], "--verbose") == 0;
    }
    qInstallMessageHandler(messageHandler);
    // Pages are widgets, so the console run needs a GUI application too.
    if (!gui && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("configurator-demo"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Drives a networked instrument through a device plug-in of the plugins directory beside "
        "the program. Without --address it starts a simulated instrument of its own on 127.0.0.1."));
    parser.addHelpOption();
    QCommandLineOption addressOption(QStringLiteral("address"), QStringLiteral("Instrument address."), QStringLiteral("ip"));
    QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Instrument HTTP port (default 80)."), QStringLiteral("port"), QStringLiteral("80"));
    QCommandLineOption loginOption(QStringLiteral("login"), QStringLiteral("Login (default user)."), QStringLiteral("login"), QStringLiteral("user"));
    QCommandLineOption passwordOption(QStringLiteral("password"), QStringLiteral("Password (default qvxj)."), QStringLiteral("password"), QStringLiteral("qvxj"));
    QCommandLineOption reportOption(QStringLiteral("report"), QStringLiteral("Report file (default device-report.odt)."), QStringLiteral("file"), QStringLiteral("device-report.odt"));
    QCommandLineOption settingsOption(QStringLiteral("settings"), QStringLiteral("Settings file (default device-settings.ini)."), QStringLiteral("file"), QStringLiteral("device-settings.ini"));
    QCommandLineOption timeoutOption(QStringLiteral("timeout"), QStringLiteral("Request time-out in ms (default 5000)."), QStringLiteral("ms"), QStringLiteral("5000"));
    QCommandLineOption localeOption(QStringLiteral("locale"), QStringLiteral("Locale of the window and the report, e.g. ru (default: the system's)."), QStringLiteral("name"));
    QCommandLineOption factoryOption(QStringLiteral("factory"), QStringLiteral("The device factory to use, by name or {UUID} (needed when several are loaded)."), QStringLiteral("name"));
    QCommandLineOption discoverOption(QStringLiteral("discover"), QStringLiteral("Search for instruments by SSDP on an interface and exit."), QStringLiteral("interface"));
    QCommandLineOption guiOption(QStringLiteral("gui"), QStringLiteral("Open the configurator window."));
    QCommandLineOption screenshotOption(QStringLiteral("screenshot"), QStringLiteral("With --gui: save a picture of the window and exit."), QStringLiteral("png"));
    QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Show the library's debug lines."));
    parser.addOptions({addressOption, portOption, factoryOption, loginOption, passwordOption, reportOption,
                       settingsOption, timeoutOption, localeOption, discoverOption, guiOption, screenshotOption, verboseOption});
    parser.process(app);

    // Plug-ins read the default locale for texts of their own.
    if (parser.isSet(localeOption))
        QLocale::setDefault(QLocale(parser.value(localeOption)));
    QTranslator libraryTranslator;
    QTranslator hostTranslator;
    if (isRussian(parser.value(localeOption))) {
        if (libraryTranslator.load(QStringLiteral(":/translations/common_ru.qm")))
            app.installTranslator(&libraryTranslator);
        if (hostTranslator.load(QStringLiteral(":/host/configurator-demo_ru.qm")))
            app.installTranslator(&hostTranslator);
    }

    if (parser.isSet(discoverOption))
        return discover(parser.value(discoverOption));

    Host::Options options;
    options.login = parser.value(loginOption);
    options.password = parser.value(passwordOption);
    options.reportPath = parser.value(reportOption);
    options.settingsPath = parser.value(settingsOption);
    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        QTextStream(stderr) << "demo: --port " << parser.value(portOption) << " is not a port from 1 to 65535\n";
        return 2;
    }
    options.port = quint16(port);
    options.timeout = parser.value(timeoutOption).toInt(&ok);
    if (!ok || options.timeout <= 0) {
        QTextStream(stderr) << "demo: --timeout " << parser.value(timeoutOption) << " is not a positive number of ms\n";
        return 2;
    }

    PluginManager plugins;
    QString message;
    IDeviceFactory* factory = Host::chooseFactory(parser.value(factoryOption), &message);
    if (!factory) {
        QTextStream(stderr) << "demo: " << message << "\n";
        return 3;
    }

    SimulatedInstrument instrument;
    InstrumentServer server(&instrument);
    if (parser.isSet(addressOption)) {
        options.address = QHostAddress(parser.value(addressOption));
        if (options.address.isNull()) {
            QTextStream(stderr) << "demo: \"" << parser.value(addressOption) << "\" is no IP address\n";
            return 2;
        }
    } else {
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            QTextStream(stderr) << "demo: cannot start the simulated instrument: " << server.errorString() << "\n";
            return 2;
        }
        options.address = QHostAddress::LocalHost;
        options.port = server.serverPort();
        QTextStream(stdout) << "simulated instrument " << instrument.serial() << " on 127.0.0.1:"
                            << server.serverPort() << "\n";
    }

    if (parser.isSet(guiOption)) {
        MainWindow window(factory, options);
        window.show();
        if (parser.isSet(screenshotOption)) {
            const QString picture = parser.value(screenshotOption);
            QTimer::singleShot(kScreenshotDelayMs, &window, [&window, picture]() {
                window.grab().save(picture);
                QTextStream(stdout) << window.summary() << "\n";
                QCoreApplication::quit();
            });
        }
        return app.exec();
    }
    DemoRunner runner(factory, options);
    return runner.run();
}
