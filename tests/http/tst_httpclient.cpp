#include <QElapsedTimer>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <configurator-common/device.h>
#include <configurator-common/httpclient.h>

#include "httptestserver.h"
#include "stubdevicefactory.h"

namespace {

const int kWaitMs = 5000;
const int kShortTimeoutMs = 200;
const QByteArray kJson = "application/json";

QUrl path(const char* pathAndQuery)
{
    return QUrl(QString::fromLatin1(pathAndQuery));
}

// The text of a dataReceived signal, as the test logs it.
QString got(const char* id, const QString& url, const char* method = "get", int status = 200, const char* type = "data")
{
    return QStringLiteral("data %1 %2 method=%3 status=%4 type=%5").arg(id, url, method).arg(status).arg(type);
}

QString error(QNetworkReply::NetworkError code)
{
    return QStringLiteral("error %1").arg(code);
}

struct RoadDevice : Device
{
    explicit RoadDevice(IDeviceFactory* factory) : Device(factory, nullptr) {}
};

// The smallest plug-in factory that drives a device over HTTP: the library's
// status and info requests become GET requests to the test server's port.
struct RoadFactory : StubDeviceFactory
{
    explicit RoadFactory(quint16 port) : port(port) {}
    Device* createDevice(QObject*) override { return new RoadDevice(this); }
    Connection* createConnection(const QString&) override { return new HttpClient; }
    bool prepareConnection(Connection* connection) override
    {
        const ConnectionSettings* settings = connection->connectionSettings();
        static_cast<HttpClient*>(connection)->connectToHost(settings->address, port);
        static_cast<HttpClient*>(connection)->setAuth(settings->login, settings->password);
        return true;
    }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data, int timeout) override
    {
        const bool status = data.toMap().value(QStringLiteral("request")) == QStringLiteral("deviceStatus");
        static_cast<HttpClient*>(connection)->get(pageId, path(status ? "/api/status" : "/api/info"), timeout);
    }
    quint16 port;
};

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT
    HttpTestServer* server = nullptr;
    HttpClient* client = nullptr;
    RoadFactory* factory = nullptr;
    Device* device = nullptr;
    QString base;
    QStringList events; // every signal of the client, as text
    QVariant payload;   // of the last dataReceived

    void add(const char* what, const QVariant& id, const QUrl& url, const QVariant& info = QVariant())
    {
        QStringList entry{ QLatin1String(what), id.toString(), url.toString().remove(base) };
        const QVariantMap map = info.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            entry << it.key() + QLatin1Char('=') + it.value().toString();
        events << entry.join(QLatin1Char(' '));
    }

private slots:
    void initTestCase() { qRegisterMetaType<QNetworkReply::NetworkError>(); }

    void init()
    {
        server = new HttpTestServer;
        QVERIFY(server->listen(QHostAddress::LocalHost));
        base = QStringLiteral("http://127.0.0.1:%1").arg(server->serverPort());
        client = new HttpClient;
        client->connectToHost(QHostAddress::LocalHost, server->serverPort());
        client->setAuth(QStringLiteral("admin"), QStringLiteral("s3cret"));
        connect(client, &HttpClient::dataReceived, this, [this](QVariant id, const QUrl& url, QVariant info, QVariant data) {
            add("data", id, url, info);
            payload = data;
        });
        connect(client, &HttpClient::timeout, this, [this](QVariant id, const QUrl& url, QVariant info) { add("timeout", id, url, info); });
        connect(client, &HttpClient::authRequired, this, [this](QVariant id, const QUrl& url) { add("auth", id, url); });
        connect(client, &HttpClient::error, this, [this](QNetworkReply::NetworkError code) { events << error(code); });
        factory = new RoadFactory(server->serverPort());
        device = factory->createDevice(nullptr);
        device->config()->address = QHostAddress(QStringLiteral("127.0.0.1"));
        device->config()->login = QStringLiteral("operator");
        device->config()->password = QStringLiteral("pa:ss");
    }

    void cleanup()
    {
        // The clients first: their pending replies must not see the server go;
        // the device's connection goes with deleteLater(), before its factory.
        delete client;
        delete device;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete factory;
        delete server;
        events.clear();
        payload.clear();
    }

    void request_data()
    {
        QTest::addColumn<int>("status"); // 0: nobody listens
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QVariant>("data");
        QTest::addColumn<QVariant>("posted"); // "get": a GET
        QTest::addColumn<QByteArray>("postType");

        const QByteArray json = "{\"model\": \"T-100\", \"channels\": [1, 2.5]}";
        const QVariant decoded = QVariantMap{ { "model", "T-100" }, { "channels", QVariantList{ qulonglong(1), 2.5 } } };
        const QString url = QStringLiteral("/r?from=0&count=10");
        const auto row = [&](const char* name, int status, const QByteArray& type, const QString& event, const QVariant& data,
                             const QVariant& posted = QStringLiteral("get"), const QByteArray& postType = {}) {
            QTest::newRow(name) << status << type << event << data << posted << postType;
        };
        row("json", 200, "application/json; charset=utf-8", got("p", url), decoded);
        row("capitalised json is neither", 200, "Application/JSON", got("p", url), QVariant());
        row("csv", 200, "text/csv", got("p", url, "get", 200, "file"), json);
        row("no content", 204, {}, got("p", url, "get", 204), QVariant());
        // Only a 401 switches authorization on: none of these.
        row("404", 404, kJson, error(QNetworkReply::ContentNotFoundError), QVariant());
        row("500", 500, kJson, error(QNetworkReply::InternalServerError), QVariant());
        row("refused", 0, kJson, error(QNetworkReply::ConnectionRefusedError), QVariant());
        row("post without data", 200, kJson, got("p", url, "post"), decoded, QVariant(), "application/x-www-form-urlencoded");
        row("post text as UTF-8", 200, kJson, got("p", url, "post"), decoded, QStringLiteral("h\u00e9llo\r\n"),
            "application/octet-stream");
    }

    void request()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, contentType);
        QFETCH(QString, event);
        QFETCH(QVariant, data);
        QFETCH(QVariant, posted);
        QFETCH(QByteArray, postType);
        const bool post = posted != QStringLiteral("get");
        if (status == 0)
            server->close();
        server->setReply("/r", HttpTestReply::make(status, contentType, "{\"model\": \"T-100\", \"channels\": [1, 2.5]}"));
        // A failed reply is also written to the debug stream: "Error:", status, reason.
        for (int i = 0; i < 2 && event.startsWith(QLatin1String("error")); ++i)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error: %1 \"").arg(status)));

        // Twice: the outcome of the first must not change how the second is sent.
        for (int i = 0; i < 2; ++i)
            QVERIFY(post ? client->post("p", path("/r?from=0&count=10"), posted, kWaitMs) : client->get("p", path("/r?from=0&count=10"), kWaitMs));
        QCOMPARE(events, (QStringList{ event, event }));
        QCOMPARE(payload.isValid(), data.isValid());
        QCOMPARE(payload, data);
        QCOMPARE(server->requests().size(), status ? 2 : 0);
        for (const HttpTestRequest& request : server->requests()) {
            QCOMPARE(request.method + " " + request.target, QByteArray(post ? "POST" : "GET") + " /r?from=0&count=10");
            QVERIFY(request.header("Authorization").isNull());
            QCOMPARE(request.header("Content-Type"), postType);
            QCOMPARE(request.body, post ? posted.toString().toUtf8() : QByteArray());
        }
    }

    void unauthorizedMakesLaterRequestsCarryBasicAuth()
    {
        HttpTestReply refusal = HttpTestReply::make(401, "text/plain", "who are you?");
        refusal.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"device\"")));
        server->queueReply("/status", refusal);
        server->setReply("/status", HttpTestReply::make(200, kJson, "{\"ok\": true}"));
        QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error: 401 \"")));
        // Not repeated by the client; the next requests carry the credentials.
        QVERIFY(client->get("p7", path("/status"), kWaitMs));
        QVERIFY(client->get("p7", path("/status"), kWaitMs));
        QVERIFY(client->post("p7", path("/status"), QVariant(), kWaitMs));
        client->setAuthRequire(false);
        QVERIFY(client->get("p7", path("/status"), kWaitMs));

        QCOMPARE(events, (QStringList{ "auth p7 /status", got("p7", "/status"), got("p7", "/status", "post"), got("p7", "/status") }));
        QStringList sent;
        for (const HttpTestRequest& request : server->requests())
            sent << QString::fromLatin1(request.header("Authorization"));
        const QString basic = "Basic " + QByteArray("admin:s3cret").toBase64();
        QCOMPARE(sent, (QStringList{ QString(), basic, basic, QString() }));
    }

    void timedOut_data()
    {
        QTest::addColumn<bool>("isPost");
        QTest::addColumn<int>("timeout"); // negative: no limit
        QTest::addColumn<int>("delay");   // negative: never answered
        QTest::addColumn<QStringList>("expected");
        const QString timeout = QStringLiteral("timeout v /v method=%1 status=0 type=data");
        // Within the grace period (10 s by default) a reply that finishes late is still reported.
        QTest::newRow("late reply is reported after") << false << kShortTimeoutMs << 1000
                                                      << QStringList{ timeout.arg("get"), got("v", "/v") };
        QTest::newRow("post never answered") << true << kShortTimeoutMs << -1 << QStringList{ timeout.arg("post") };
        QTest::newRow("negative time-out waits for the reply") << false << -1 << 1000 << QStringList{ got("v", "/v") };
    }

    void timedOut()
    {
        QFETCH(bool, isPost);
        QFETCH(int, timeout);
        QFETCH(int, delay);
        QFETCH(QStringList, expected);
        server->setReply("/v", HttpTestReply::make(200, kJson, "{\"late\": true}", delay));
        QCOMPARE(isPost ? client->post("v", path("/v"), QByteArray("x"), timeout) : client->get("v", path("/v"), timeout), timeout < 0);
        QCOMPARE(events, expected.mid(0, 1));
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), expected.size(), kWaitMs);
        QTest::qWait(2 * kShortTimeoutMs);
        QCOMPARE(events, expected);
        QCOMPARE(payload.toMap().value(QStringLiteral("late")).toBool(), delay >= 0);
        QCOMPARE(server->requests().size(), 1);
    }

    // Qt opens at most six connections to one host, and a reply that never
    // finishes holds its connection: without giving held replies up, every
    // later request to that device would time out although it answers at once.
    void heldRequestsAreGivenUpAfterTheGracePeriod()
    {
        client->setLateReplyGrace(300);
        server->setReply("/held", HttpTestReply::make(200, {}, {}, -1));
        server->setReply("/ok", HttpTestReply::make(200, kJson, "{}"));
        for (int i = 0; i < 6; ++i)
            QVERIFY(!client->get("h", path("/held"), 50));
        QTest::qWait(600);
        QVERIFY(client->get("ok", path("/ok"), kWaitMs));
        QCOMPARE(events.mid(5), (QStringList{ "timeout h /held method=get status=0 type=data", got("ok", "/ok") }));
    }

    void oversizedReplyIsAborted_data()
    {
        QTest::addColumn<QByteArray>("declared"); // Content-Length
        QTest::addColumn<qint64>("streamed");     // negative: a plain reply of 64 KiB
        QTest::newRow("within the bound") << QByteArray() << qint64(-1);
        QTest::newRow("declared beyond") << QByteArray("1073741824") << (qint64(32) << 20);
        QTest::newRow("streamed beyond without length") << QByteArray() << (qint64(32) << 20);
    }

    // A device that sends far more than a reply can be must not take the
    // configurator's memory: the reply is cut off while it streams in.
    void oversizedReplyIsAborted()
    {
        QFETCH(QByteArray, declared);
        QFETCH(qint64, streamed);
        HttpTestReply reply = HttpTestReply::make(200, "application/octet-stream", QByteArray(65536, 'x'));
        reply.streamed = streamed;
        if (!declared.isNull())
            reply.headers.append(qMakePair(QByteArray("Content-Length"), declared));
        server->setReply("/log", reply);
        client->setMaxReplySize(256 * 1024);
        if (streamed > 0)
            QTest::ignoreMessage(QtWarningMsg, qPrintable("HttpClient: reply larger than 262144 bytes, aborted: \"" + base + "/log\""));
        QVERIFY(client->get("big", path("/log"), kWaitMs));
        QCOMPARE(events, QStringList{ streamed > 0 ? error(QNetworkReply::UnknownContentError) : got("big", "/log", "get", 200, "file") });
        QCOMPARE(payload.toByteArray().size(), streamed > 0 ? 0 : 65536);
        QVERIFY2(server->streamedBytes <= streamed / 2, qPrintable(QString::number(server->streamedBytes)));
    }

    // The outer reply comes at once but the nested wait outlives its time-out:
    // it finished in time and stays a success.
    void requestStartedInsideAnotherWaitNests()
    {
        server->setReply("/outer", HttpTestReply::make(200, kJson, "{\"n\": 1}"));
        server->setReply("/inner", HttpTestReply::make(200, kJson, "{\"n\": 2}", 1600));
        QStringList order;
        connect(server, &HttpTestServer::requestReceived, this, [&](const QByteArray& target) {
            if (target == "/outer")
                order << QStringLiteral("inner %1").arg(client->get("inner", path("/inner"), kWaitMs));
        });
        order << QStringLiteral("outer %1").arg(client->get("outer", path("/outer"), 1000));
        QCOMPARE(order, (QStringList{ "inner 1", "outer 1" }));
        QCOMPARE(events, (QStringList{ got("outer", "/outer"), got("inner", "/inner") }));
    }

    void clientDeletedDuringItsWaitReturnsFalseSilently()
    {
        server->setReply("/void", HttpTestReply::make(200, {}, {}, -1));
        HttpClient* doomed = client;
        connect(server, &HttpTestServer::requestReceived, this, [&]() { delete client; client = nullptr; });
        QVERIFY(!doomed->get("gone", path("/void"), kWaitMs));
        QVERIFY(client == nullptr);
        QCOMPARE(events, QStringList());
    }

    void hostHeader_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("port");     // 0: any free one
        QTest::addColumn<QString>("host"); // %1: the port
        QTest::newRow("default port stays out") << "127.0.0.1" << 80 << "127.0.0.1";
        QTest::newRow("IPv6 is bracketed") << "::1" << 0 << "[::1]:%1";
    }

    void hostHeader()
    {
        QFETCH(QString, address);
        QFETCH(int, port);
        QFETCH(QString, host);
        // Port 80 is bound only inside the private namespace of scripts/netns-run.
        if (port == 80 && qgetenv("CC_IN_NETNS") != "1")
            QSKIP("port 80 is used only inside scripts/netns-run");
        HttpTestServer peer;
        if (!peer.listen(QHostAddress(address), quint16(port)))
            QSKIP("cannot listen on that loopback address here");
        peer.setReply("/status", HttpTestReply::make(200, kJson, "{}"));
        client->connectToHost(QHostAddress(address), peer.serverPort());
        host.replace(QLatin1String("%1"), QString::number(peer.serverPort()));
        QVERIFY(client->get("p", path("/status"), kWaitMs));
        QCOMPARE(events, QStringList{ got("p", QStringLiteral("http://%1/status").arg(host)) });
        QCOMPARE(QString::fromLatin1(peer.requests().value(0).header("Host")), host);
    }

    // A device of a plug-in, driven through the library over HttpClient.
    void deviceRoad()
    {
        server->queueReply("/api/status", HttpTestReply::make(401, "text/html", "<h1>401</h1>"));
        server->setReply("/api/status", HttpTestReply::make(200, "application/json; charset=utf-8", "{\"state\": 1}"));
        server->setReply("/api/info", HttpTestReply::make(200, kJson, "{\"model\": \"Thermo-7\", \"description\": \"\\u0422\\u0435\", "
            "\"serialNumer\": \"SN-0042\", \"productionDate\": 1600000000, \"certificateSerial\": \"C-77\", "
            "\"lastVerificationDate\": 1700000000, \"nextVerificationDate\": 1800000000, \"accuracyClass\": 0.25}"));
        QSignalSpy data(device, &Device::dataUpdated);
        device->requestStatus();
        QCOMPARE(device->status(), StatusAuthRequired);
        device->requestStatus();
        QCOMPARE(device->status(), StatusOnline);
        QCOMPARE(data.count(), 1);
        QCOMPARE(data.last().at(0).toMap(), (QVariantMap{ { "type", "data" }, { "page", "device" }, { "url", base + "/api/status" },
                                                          { "method", "get" }, { "status", 200 },
                                                          { "data", QVariantMap{ { "state", qulonglong(1) } } } }));
        QCOMPARE(server->requests().last().header("Authorization"), "Basic " + QByteArray("operator:pa:ss").toBase64());
        QSignalSpy info(device, &Device::deviceInfoUpdated);
        device->requestDeviceInfo();
        QCOMPARE(info.count(), 1);
        const DeviceConfig* c = device->config();
        QCOMPARE(QStringList({ c->model, c->description, c->serial, c->certificateSerial }),
                 QStringList({ "Thermo-7", QString::fromUtf8("\xd0\xa2\xd0\xb5"), "SN-0042", "C-77" }));
        QCOMPARE(QList<qint64>({ c->productionDate.toSecsSinceEpoch(), c->lastVerificationDate.toSecsSinceEpoch(),
                                 c->nextVerificationDate.toSecsSinceEpoch() }), QList<qint64>({ 1600000000, 1700000000, 1800000000 }));
        QCOMPARE(c->accuracyClass, 0.25);
    }

    // The probe is short: a device that takes the connection and never answers
    // must not hold the caller for the request's default time-out (61 s before).
    void checkAuthIsShortOnASilentDevice()
    {
        server->setReply("/api/status", HttpTestReply::make(200, {}, {}, -1));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(device->checkAuth());
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device->status(), StatusNoResponse);
    }
};

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
