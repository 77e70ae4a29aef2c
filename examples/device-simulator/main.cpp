// device-simulator: plays one or more networked measuring instruments on
// loopback addresses, with the HTTP API that the sample plug-in talks to, the
// service protocol on a second port and, when an interface is named, SSDP
// announcements.  It stops by itself after --duration seconds.
#include "instrumentserver.h"
#include "simulatedinstrument.h"

#include <configurator-common/serviceprotoclient.h>
#include <configurator-common/ssdpdevice.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QNetworkInterface>
#include <QTextStream>
#include <QTimer>

namespace {

const int kDefaultDurationSecs = 600;

struct Options
{
    QHostAddress firstAddress;
    int count = 1;
    quint16 httpPort = 80;
    quint16 servicePort = 0;
    QString login;
    QString password;
    int delay = 0;
    double lateShare = 0.0;
    int lateDelay = 0;
    double dropShare = 0.0;
    int dropEvery = 0;
    QString interfaceName;
    int duration = kDefaultDurationSecs;
};

QHostAddress addressAt(const QHostAddress& first, int offset)
{
    return QHostAddress(first.toIPv4Address() + quint32(offset));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("device-simulator"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated networked measuring instruments on loopback."));
    parser.addHelpOption();
    const QList<QCommandLineOption> list = {
        {QStringLiteral("address"), QStringLiteral("Address of the first instrument (default 127.0.0.1)."), QStringLiteral("ip"), QStringLiteral("127.0.0.1")},
        {QStringLiteral("count"), QStringLiteral("Number of instruments on consecutive addresses (default 1)."), QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("http-port"), QStringLiteral("HTTP API port (default 80)."), QStringLiteral("port"), QStringLiteral("80")},
        {QStringLiteral("service-port"), QStringLiteral("Service protocol port (default: none)."), QStringLiteral("port"), QStringLiteral("0")},
        {QStringLiteral("login"), QStringLiteral("Login (default user)."), QStringLiteral("login"), QStringLiteral("user")},
        {QStringLiteral("password"), QStringLiteral("Password (default qvxj)."), QStringLiteral("password"), QStringLiteral("qvxj")},
        {QStringLiteral("delay"), QStringLiteral("Delay of every answer in ms (default 0)."), QStringLiteral("ms"), QStringLiteral("0")},
        {QStringLiteral("late-share"), QStringLiteral("Share of requests answered late (0..1)."), QStringLiteral("share"), QStringLiteral("0")},
        {QStringLiteral("late-delay"), QStringLiteral("Delay of a late answer in ms (default 3000)."), QStringLiteral("ms"), QStringLiteral("3000")},
        {QStringLiteral("drop-share"), QStringLiteral("Share of requests never answered (0..1)."), QStringLiteral("share"), QStringLiteral("0")},
        {QStringLiteral("drop-every"), QStringLiteral("Never answer every n-th request of each instrument (default 0: none)."), QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("interface"), QStringLiteral("Announce the instruments by SSDP on this interface."), QStringLiteral("name")},
        {QStringLiteral("duration"), QStringLiteral("Stop after this many seconds (default 600)."), QStringLiteral("s"), QString::number(kDefaultDurationSecs)},
    };
    parser.addOptions(list);
    parser.process(app);

    Options options;
    options.firstAddress = QHostAddress(parser.value(QStringLiteral("address")));
    options.count = parser.value(QStringLiteral("count")).toInt();
    options.httpPort = quint16(parser.value(QStringLiteral("http-port")).toUInt());
    options.servicePort = quint16(parser.value(QStringLiteral("service-port")).toUInt());
    options.login = parser.value(QStringLiteral("login"));
    options.password = parser.value(QStringLiteral("password"));
    options.delay = parser.value(QStringLiteral("delay")).toInt();
    options.lateShare = parser.value(QStringLiteral("late-share")).toDouble();
    options.lateDelay = parser.value(QStringLiteral("late-delay")).toInt();
    options.dropShare = parser.value(QStringLiteral("drop-share")).toDouble();
    options.dropEvery = parser.value(QStringLiteral("drop-every")).toInt();
    options.interfaceName = parser.value(QStringLiteral("interface"));
    options.duration = parser.value(QStringLiteral("duration")).toInt();

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (options.firstAddress.protocol() != QAbstractSocket::IPv4Protocol || !options.firstAddress.isLoopback()
        || options.count < 1 || !addressAt(options.firstAddress, options.count - 1).isLoopback()) {
        err << "device-simulator: instruments live on loopback IPv4 addresses only (127.0.0.0/8)\n";
        return 2;
    }
    if (options.duration <= 0) {
        err << "device-simulator: --duration must be positive\n";
        return 2;
    }

    for (int i = 0; i < options.count; ++i) {
        const QHostAddress address = addressAt(options.firstAddress, i);
        SimulatedInstrument* instrument = new SimulatedInstrument(i, &app);
        instrument->setCredentials(options.login, options.password);

        QList<quint16> ports;
        ports << options.httpPort;
        if (options.servicePort)
            ports << options.servicePort;
        for (quint16 port : ports) {
            InstrumentServer* server = new InstrumentServer(instrument, instrument);
            server->setReplyDelay(options.delay);
            server->setLateShare(options.lateShare, options.lateDelay);
            server->setDropShare(options.dropShare);
            server->setDropEvery(options.dropEvery);
            if (!server->listen(address, port)) {
                err << "device-simulator: cannot listen on " << address.toString() << ":" << port
                    << ": " << server->errorString() << "\n";
                return 1;
            }
        }

        if (!options.interfaceName.isEmpty()) {
            SsdpDevice* ssdp = new SsdpDevice(instrument);
            ssdp->setNotificationType(QLatin1String(kServiceDeviceType));
            ssdp->setNetworkInterface(QNetworkInterface::interfaceFromName(options.interfaceName));
            ssdp->start();
        }
        out << "instrument " << instrument->serial() << " on " << address.toString()
            << " http:" << options.httpPort;
        if (options.servicePort)
            out << " service:" << options.servicePort;
        out << "\n";
    }
    out << "device-simulator: ready, stopping after " << options.duration << " s\n";
    out.flush();

    QTimer::singleShot(options.duration * 1000, &app, &QCoreApplication::quit);
    return app.exec();
}
