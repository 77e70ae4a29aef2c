#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <configurator-common/device.h>
#include <configurator-common/httpclient.h>
#include <configurator-common/idevicefactory.h>

#include "httptestserver.h"

namespace {

const char kStatusPath[] = "/api/status";
const char kInfoPath[] = "/api/info";
const int kLateDelayMs = 1500; // past the 900 ms of a status request

struct RoadDevice : Device
{
    explicit RoadDevice(IDeviceFactory* factory) : Device(factory, nullptr) {}
};

// The smallest plug-in factory that drives a device over HTTP: it reaches the
// device on the port of the test server and turns the library's two request
// maps into GET requests.
class RoadFactory : public IDeviceFactory
{
public:
    explicit RoadFactory(quint16 port) : port(port) {}

    QString name() const override { return QStringLiteral("road"); }
    QUuid factoryUuid() const override { return QUuid(QStringLiteral("{5b1c7f9e-3c59-4d0e-9d8f-6a2f1f0d4e11}")); }
    QString description() const override { return QString(); }
    Device* createDevice(QObject*) override { return new RoadDevice(this); }
    QList<Page*> createPages(Device*, QWidget*) override { return {}; }
    Connection* createConnection(const QString& type) override
    {
        return type == QLatin1String("http") ? new HttpClient : nullptr;
    }
    bool prepareConnection(Connection* connection) override
    {
        HttpClient* http = qobject_cast<HttpClient*>(connection);
        const ConnectionSettings* settings = connection->connectionSettings();
        if (http && settings) {
            http->connectToHost(settings->address, port);
            http->setAuth(settings->login, settings->password);
        }
        return http && settings;
    }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data, int timeout) override
    {
        const QString request = data.toMap().value(QStringLiteral("request")).toString();
        const char* path = request == QLatin1String("deviceStatus") ? kStatusPath
                           : request == QLatin1String("deviceInfo") ? kInfoPath : nullptr;
        if (path)
            qobject_cast<HttpClient*>(connection)->get(pageId, QUrl(QLatin1String(path)), timeout);
    }
    void releaseConnection(Connection*) override {}

    quint16 port;
};

QVariantMap lastMap(const QSignalSpy& spy)
{
    return spy.isEmpty() ? QVariantMap() : spy.last().at(0).toMap();
}

} // namespace

class TestHttpRoad : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void statusRequestBringsDeviceOnline();
    void infoRequestFillsIdentification();
    void troubledStatusRequest_data();
    void troubledStatusRequest();
    void checkAuthIsShortOnASilentDevice();

private:
    HttpTestServer* server = nullptr;
    RoadFactory* factory = nullptr;
    Device* device = nullptr;
};

void TestHttpRoad::init()
{
    server = new HttpTestServer;
    QVERIFY(server->listen(QHostAddress::LocalHost));
    factory = new RoadFactory(server->serverPort());
    device = factory->createDevice(nullptr);
    device->config()->address = QHostAddress(QStringLiteral("127.0.0.1"));
    device->config()->login = QStringLiteral("operator");
    device->config()->password = QStringLiteral("pa:ss");
}

void TestHttpRoad::cleanup()
{
    delete device;
    // The connection goes with deleteLater(); let it go before its factory.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete factory;
    delete server;
}

void TestHttpRoad::statusRequestBringsDeviceOnline()
{
    server->setReply(kStatusPath, HttpTestReply::make(200, "application/json; charset=utf-8", "{\"state\": 1}"));
    QSignalSpy status(device, &Device::statusUpdated);
    QSignalSpy data(device, &Device::dataUpdated);

    device->requestStatus();

    QCOMPARE(device->status(), StatusOnline);
    QCOMPARE(lastMap(status).value(QStringLiteral("status")).toInt(), 2);
    QCOMPARE(data.count(), 1);
    const QVariantMap reply{ { QStringLiteral("type"), QStringLiteral("data") },
                             { QStringLiteral("page"), QStringLiteral("device") },
                             { QStringLiteral("url"), QStringLiteral("http://127.0.0.1:%1%2").arg(server->serverPort())
                                                          .arg(QLatin1String(kStatusPath)) },
                             { QStringLiteral("method"), QStringLiteral("get") },
                             { QStringLiteral("status"), 200 },
                             { QStringLiteral("data"), QVariantMap{ { QStringLiteral("state"), qulonglong(1) } } } };
    QCOMPARE(lastMap(data), reply);
    QCOMPARE(server->requests().size(), 1);
    QCOMPARE(server->requests().at(0).target, QByteArray(kStatusPath));
}

void TestHttpRoad::infoRequestFillsIdentification()
{
    const QByteArray body = "{\"model\": \"Thermo-7\", \"description\": \"\\u0422\\u0435\\u0440\\u043c\\u043e\", "
                            "\"serialNumer\": \"SN-0042\", \"productionDate\": 1600000000, "
                            "\"certificateSerial\": \"C-77\", \"lastVerificationDate\": 1700000000, "
                            "\"nextVerificationDate\": 1800000000, \"accuracyClass\": 0.25, "
                            "\"serialNumber\": \"ignored\"}";
    server->setReply(kInfoPath, HttpTestReply::make(200, "application/json", body));
    QSignalSpy info(device, &Device::deviceInfoUpdated);

    device->requestDeviceInfo();

    QCOMPARE(device->status(), StatusOnline);
    QCOMPARE(info.count(), 1);
    QCOMPARE(info.at(0).at(0).toUuid(), device->uuid());
    const DeviceConfig* config = device->config();
    QCOMPARE(config->model, QStringLiteral("Thermo-7"));
    QCOMPARE(config->description, QString::fromUtf8("\xd0\xa2\xd0\xb5\xd1\x80\xd0\xbc\xd0\xbe"));
    QCOMPARE(config->serial, QStringLiteral("SN-0042"));
    QCOMPARE(config->productionDate.toSecsSinceEpoch(), 1600000000);
    QCOMPARE(config->certificateSerial, QStringLiteral("C-77"));
    QCOMPARE(config->lastVerificationDate.toSecsSinceEpoch(), 1700000000);
    QCOMPARE(config->nextVerificationDate.toSecsSinceEpoch(), 1800000000);
    QCOMPARE(config->accuracyClass, 0.25);
    QCOMPARE(server->requests().at(0).target, QByteArray(kInfoPath));
}

void TestHttpRoad::troubledStatusRequest_data()
{
    QTest::addColumn<bool>("refuseFirst"); // else the reply comes after the time-out
    QTest::addColumn<int>("firstStatus");
    QTest::addColumn<int>("firstData");
    QTest::newRow("refused, then authorized") << true << int(StatusAuthRequired) << 0;
    QTest::newRow("late reply") << false << int(StatusNoResponse) << 1;
}

void TestHttpRoad::troubledStatusRequest()
{
    QFETCH(bool, refuseFirst);
    QFETCH(int, firstStatus);
    QFETCH(int, firstData);
    if (refuseFirst)
        server->queueReply(kStatusPath, HttpTestReply::make(401, "text/html", "<h1>401</h1>"));
    server->setReply(kStatusPath, HttpTestReply::make(200, "application/json", "{}", refuseFirst ? 0 : kLateDelayMs));
    QSignalSpy data(device, &Device::dataUpdated);

    device->requestStatus();
    QCOMPARE(int(device->status()), firstStatus);
    QCOMPARE(data.count(), firstData);
    if (firstData)
        QCOMPARE(lastMap(data).value(QStringLiteral("status")).toInt(), 0);
    if (refuseFirst)
        device->requestStatus();

    QTRY_COMPARE_WITH_TIMEOUT(data.count(), firstData + 1, 5000);
    QCOMPARE(device->status(), StatusOnline);
    QCOMPARE(lastMap(data).value(QStringLiteral("status")).toInt(), 200);
    QVERIFY(!server->requests().first().hasHeader("Authorization"));
    QCOMPARE(server->requests().last().header("Authorization"),
             refuseFirst ? "Basic " + QByteArray("operator:pa:ss").toBase64() : QByteArray());
}

// The probe is short: a device that takes the connection and never answers
// must not hold the caller for the request's default time-out.
void TestHttpRoad::checkAuthIsShortOnASilentDevice()
{
    server->setReply(kStatusPath, HttpTestReply::make(200, {}, {}, -1));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(device->checkAuth());
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(device->status(), StatusNoResponse);
}

QTEST_GUILESS_MAIN(TestHttpRoad)
#include "tst_httproad.moc"
