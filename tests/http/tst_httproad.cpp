#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <configurator-common/device.h>
#include <configurator-common/httpclient.h>
#include <configurator-common/idevicefactory.h>

#include "httptestserver.h"

namespace {

const char kStatusPath[] = "/api/status";
const char kInfoPath[] = "/api/info";
const int kLateDelayMs = 1500; // past the 900 ms of a status request

class RoadDevice : public Device
{
public:
    RoadDevice(IDeviceFactory* factory, QObject* parent) : Device(factory, parent) {}
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
    Device* createDevice(QObject* parent) override { return new RoadDevice(this, parent); }
    QList<Page*> createPages(Device*, QWidget*) override { return {}; }

    Connection* createConnection(const QString& type) override
    {
        return type == QLatin1String("http") ? new HttpClient : nullptr;
    }

    bool prepareConnection(Connection* connection) override
    {
        HttpClient* http = qobject_cast<HttpClient*>(connection);
        const ConnectionSettings* settings = connection->connectionSettings();
        if (!http || !settings)
            return false;
        http->connectToHost(settings->address, port);
        http->setAuth(settings->login, settings->password);
        return true;
    }

    void requestData(Connection* connection, const QString& pageId, const QVariant& data, int timeout) override
    {
        HttpClient* http = qobject_cast<HttpClient*>(connection);
        const QString request = data.toMap().value(QStringLiteral("request")).toString();
        ++requests;
        if (request == QLatin1String("deviceStatus"))
            http->get(pageId, QUrl(QLatin1String(kStatusPath)), timeout);
        else if (request == QLatin1String("deviceInfo"))
            http->get(pageId, QUrl(QLatin1String(kInfoPath)), timeout);
    }

    void releaseConnection(Connection*) override { ++released; }

    quint16 port;
    int requests = 0;
    int released = 0;
};

QVariantMap lastMap(const QSignalSpy& spy)
{
    return spy.isEmpty() ? QVariantMap() : spy.last().at(0).toMap();
}

QDateTime utc(qint64 seconds)
{
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
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
    void refusedCredentialsThenAuthorizedRequest();
    void lateStatusReplyAfterTimeout();

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
    device = nullptr;
    // The connection goes with deleteLater(); let it go before its factory.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete factory;
    factory = nullptr;
    delete server;
    server = nullptr;
}

void TestHttpRoad::statusRequestBringsDeviceOnline()
{
    server->setReply(kStatusPath, HttpTestReply::make(200, "application/json; charset=utf-8", "{\"state\": \"ready\"}"));
    QSignalSpy status(device, &Device::statusUpdated);
    QSignalSpy data(device, &Device::dataUpdated);

    device->requestStatus();

    QCOMPARE(factory->requests, 1);
    QCOMPARE(device->status(), StatusOnline);
    QCOMPARE(lastMap(status).value(QStringLiteral("status")).toInt(), 2);
    QCOMPARE(lastMap(status).value(QStringLiteral("uuid")).toString(), device->uuid().toString());
    QCOMPARE(data.count(), 1);
    const QVariantMap reply = lastMap(data);
    QCOMPARE(reply.value(QStringLiteral("type")).toString(), QStringLiteral("data"));
    QCOMPARE(reply.value(QStringLiteral("page")).toString(), QStringLiteral("device"));
    QCOMPARE(reply.value(QStringLiteral("url")).toString(),
             QStringLiteral("http://127.0.0.1:%1/api/status").arg(server->serverPort()));
    QCOMPARE(reply.value(QStringLiteral("method")).toString(), QStringLiteral("get"));
    QCOMPARE(reply.value(QStringLiteral("status")).toInt(), 200);
    QCOMPARE(reply.value(QStringLiteral("data")).toMap().value(QStringLiteral("state")).toString(),
             QStringLiteral("ready"));

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
    QCOMPARE(config->productionDate.toUTC(), utc(1600000000));
    QCOMPARE(config->certificateSerial, QStringLiteral("C-77"));
    QCOMPARE(config->lastVerificationDate.toUTC(), utc(1700000000));
    QCOMPARE(config->nextVerificationDate.toUTC(), utc(1800000000));
    QCOMPARE(config->accuracyClass, 0.25);
    QCOMPARE(server->requests().at(0).target, QByteArray(kInfoPath));
}

void TestHttpRoad::refusedCredentialsThenAuthorizedRequest()
{
    server->queueReply(kStatusPath, HttpTestReply::make(401, "text/html", "<h1>401</h1>"));
    server->setReply(kStatusPath, HttpTestReply::make(200, "application/json", "{}"));
    QSignalSpy data(device, &Device::dataUpdated);

    device->requestStatus();
    QCOMPARE(device->status(), StatusAuthRequired);
    QCOMPARE(data.count(), 0);

    device->requestStatus();
    QCOMPARE(device->status(), StatusOnline);
    QCOMPARE(data.count(), 1);
    QCOMPARE(server->requests().size(), 2);
    QVERIFY(!server->requests().at(0).hasHeader("Authorization"));
    QCOMPARE(server->requests().at(1).header("Authorization"), "Basic " + QByteArray("operator:pa:ss").toBase64());
}

void TestHttpRoad::lateStatusReplyAfterTimeout()
{
    server->setReply(kStatusPath, HttpTestReply::make(200, "application/json", "{\"late\": 1}", kLateDelayMs));
    QSignalSpy data(device, &Device::dataUpdated);

    device->requestStatus();
    QCOMPARE(device->status(), StatusNoResponse);
    QCOMPARE(data.count(), 1);
    QVERIFY(!lastMap(data).value(QStringLiteral("data")).isValid());
    QCOMPARE(lastMap(data).value(QStringLiteral("status")).toInt(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(data.count(), 2, 5000);
    QCOMPARE(device->status(), StatusOnline);
    QCOMPARE(lastMap(data).value(QStringLiteral("status")).toInt(), 200);
}

QTEST_GUILESS_MAIN(TestHttpRoad)
#include "tst_httproad.moc"
