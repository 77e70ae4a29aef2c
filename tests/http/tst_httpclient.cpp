#include <QElapsedTimer>
#include <QNetworkReply>
#include <QTest>

#include <configurator-common/httpclient.h>

#include "httptestserver.h"
#include "fakedevicefactory.h"

Q_DECLARE_METATYPE(HttpTestReply)

namespace {

const int kWaitMs = 5000;
const QByteArray kJson = "application/json";

// A signal of the client as the test logs it.
QString got(const char* id, const QString& url, const char* method = "get", int status = 200, const char* type = "data")
{
    return QStringLiteral("%1 %2 %3 method=%4 status=%5 type=%6")
        .arg(QLatin1String(status ? "data" : "timeout"), QLatin1String(id), url, QLatin1String(method),
             QString::number(status), QLatin1String(type));
}

QString error(QNetworkReply::NetworkError code)
{
    return QStringLiteral("error %1").arg(code);
}

// The smallest plug-in factory that drives a device over HTTP: the library's
// requests become GET requests of /api/status on the test server's port.
struct RoadFactory : StubDeviceFactory
{
    quint16 port = 0;
    Connection* createConnection(const QString&) override { return new HttpClient; }
    void requestData(Connection* connection, const QString& pageId, const QVariant&, int timeout) override
    {
        auto* client = static_cast<HttpClient*>(connection);
        client->connectToHost(connection->connectionSettings()->address, port);
        client->get(pageId, QUrl("/api/status"), timeout);
    }
};

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT
    HttpTestServer* server = nullptr;
    HttpClient* client = nullptr;
    RoadFactory factory;
    QStringList events; // every signal of the client, as text
    QVariant payload;   // of the last dataReceived

    void add(const char* what, const QVariant& id, const QUrl& url, const QVariant& info = QVariant())
    {
        QStringList entry{ QLatin1String(what), id.toString(), url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority) };
        const QVariantMap map = info.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            entry << it.key() + QLatin1Char('=') + it.value().toString();
        events << entry.join(QLatin1Char(' '));
    }

private slots:
    void init()
    {
        server = new HttpTestServer;
        QVERIFY(server->listen(QHostAddress::LocalHost));
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
        factory.port = server->serverPort();
    }

    void cleanup()
    {
        // The clients first: their pending replies must not see the server go;
        // the device's connection goes with deleteLater(), before the server.
        delete client;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        delete server;
        events.clear();
        payload.clear();
    }

    void exchange_data()
    {
        QTest::addColumn<HttpTestReply>("reply"); // status 0: nobody listens
        QTest::addColumn<QVariant>("posted");     // "get": a GET
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QVariant>("data");
        const QByteArray json = "{\"model\": \"T-100\", \"channels\": [1, 2.5]}", big(1 << 16, 'x');
        const QVariant decoded = QVariantMap{ { "model", "T-100" }, { "channels", QVariantList{ qulonglong(1), 2.5 } } };
        const QString r = QStringLiteral("/r?a=1");
        const QStringList tooLarge{ error(QNetworkReply::UnknownContentError) };
        QTest::newRow("refused") << HttpTestReply::make(0) << QVariant("get") << kWaitMs
                                 << QStringList{ error(QNetworkReply::ConnectionRefusedError) } << QVariant();
        QTest::newRow("post without data") << HttpTestReply::make(200, kJson, json) << QVariant() << kWaitMs
                                           << QStringList{ got("p", r, "post") } << decoded;
        // Within the grace period (10 s by default) a reply that finishes late is still reported.
        QTest::newRow("late reply is reported after the time-out")
            << HttpTestReply::make(200, kJson + "; charset=utf-8", json, 1000) << QVariant("get") << 200
            << QStringList{ got("p", r, "get", 0), got("p", r) } << decoded;
        QTest::newRow("post never answered") << HttpTestReply::make(200, kJson, json, -1) << QVariant("h\u00e9llo\r\n") << 200
                                             << QStringList{ got("p", r, "post", 0) } << QVariant();
        QTest::newRow("negative time-out waits for the reply") << HttpTestReply::make(200, kJson, json, 1000) << QVariant("get") << -1
                                                               << QStringList{ got("p", r) } << decoded;
        // A device that sends far more than a reply may be must not take the
        // configurator's memory: the reply is cut off while it streams in.
        QTest::newRow("within the bound") << HttpTestReply::make(200, "application/octet-stream", big) << QVariant("get") << kWaitMs
                                          << QStringList{ got("p", r, "get", 200, "file") } << QVariant(big);
        QTest::newRow("declared beyond the bound") << HttpTestReply::make(200, "text/csv", {}, 0, "Content-Length: 1073741824\r\n", 32 << 20)
                                                   << QVariant("get") << kWaitMs << tooLarge << QVariant();
        QTest::newRow("streamed beyond the bound") << HttpTestReply::make(200, "text/csv", {}, 0, {}, 32 << 20) << QVariant("get")
                                                   << kWaitMs << tooLarge << QVariant();
    }

    void exchange()
    {
        QFETCH(HttpTestReply, reply);
        QFETCH(QVariant, posted);
        QFETCH(int, timeout);
        QFETCH(QStringList, expected);
        QFETCH(QVariant, data);
        const bool post = posted != QStringLiteral("get");
        if (reply.status == 0)
            server->close();
        server->setReply("/r", reply);
        client->setMaxReplySize(256 * 1024);
        const QString url = QStringLiteral("http://127.0.0.1:%1/r?a=1").arg(server->serverPort());
        if (reply.streamed >= 0)
            QTest::ignoreMessage(QtWarningMsg, qPrintable("HttpClient: reply larger than 262144 bytes, aborted: \"" + url + "\""));

        QCOMPARE(post ? client->post("p", QUrl("/r?a=1"), posted, timeout) : client->get("p", QUrl("/r?a=1"), timeout),
                 !expected.value(0).startsWith(QLatin1String("timeout")));
        QCOMPARE(events, expected.mid(0, 1));
        QTRY_COMPARE_WITH_TIMEOUT(events.size(), expected.size(), kWaitMs);
        QTest::qWait(400);
        QCOMPARE(events, expected);
        QCOMPARE(payload, data);
        QCOMPARE(server->requests.size(), reply.status ? 1 : 0);
        for (const HttpTestRequest& request : server->requests) {
            QCOMPARE(request.method + " " + request.target, QByteArray(post ? "POST" : "GET") + " /r?a=1");
            QCOMPARE(request.headers.value("content-type"), QByteArray(!post ? "" : posted.isValid() ? "application/octet-stream"
                                                                                            : "application/x-www-form-urlencoded"));
            QCOMPARE(request.body, post ? posted.toString().toUtf8() : QByteArray());
        }
        QVERIFY2(server->streamedBytes <= reply.streamed / 2, qPrintable(QString::number(server->streamedBytes)));
    }

    // Only a 401 switches authorization on, and the client does not repeat
    // the request; the next requests carry the credentials.
    void unauthorizedMakesLaterRequestsCarryBasicAuth()
    {
        server->setReply("/deny", HttpTestReply::make(401, "text/plain", "who?", 0, "WWW-Authenticate: Basic realm=\"device\"\r\n"));
        server->setReply("/s", HttpTestReply::make(200, kJson, "{\"ok\": true}"));
        QVERIFY(client->get("p", QUrl("/missing"), kWaitMs));
        QVERIFY(client->get("p", QUrl("/s"), kWaitMs));
        QVERIFY(client->get("p", QUrl("/deny"), kWaitMs));
        QVERIFY(client->post("p", QUrl("/s"), QVariant(), kWaitMs));
        client->setAuthRequire(false);
        QVERIFY(client->get("p", QUrl("/s"), kWaitMs));
        QCOMPARE(events, (QStringList{ error(QNetworkReply::ContentNotFoundError), got("p", "/s"), "auth p /deny",
                                       got("p", "/s", "post"), got("p", "/s") }));
        QStringList sent;
        for (const HttpTestRequest& request : server->requests)
            sent << request.headers.value("authorization");
        const QString basic = "Basic " + QByteArray("admin:s3cret").toBase64();
        QCOMPARE(sent, (QStringList{ QString(), QString(), QString(), basic, QString() }));
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
            QVERIFY(!client->get("h", QUrl("/held"), 50));
        QTest::qWait(600);
        QVERIFY(client->get("ok", QUrl("/ok"), kWaitMs));
        QCOMPARE(events.mid(5), (QStringList{ got("h", "/held", "get", 0), got("ok", "/ok") }));
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
                order << QStringLiteral("inner %1").arg(client->get("inner", QUrl("/inner"), kWaitMs));
        });
        order << QStringLiteral("outer %1").arg(client->get("outer", QUrl("/outer"), 1000));
        QCOMPARE(order, (QStringList{ "inner 1", "outer 1" }));
        QCOMPARE(events, (QStringList{ got("outer", "/outer"), got("inner", "/inner") }));
    }

    void clientDeletedDuringItsWaitReturnsFalseSilently()
    {
        server->setReply("/void", HttpTestReply::make(200, {}, {}, -1));
        HttpClient* doomed = client;
        connect(server, &HttpTestServer::requestReceived, this, [&]() { delete client; client = nullptr; });
        QVERIFY(!doomed->get("gone", QUrl("/void"), kWaitMs));
        QVERIFY(client == nullptr && events.isEmpty());
    }

    void ipv6HostIsBracketed()
    {
        HttpTestServer peer;
        if (!peer.listen(QHostAddress::LocalHostIPv6))
            QSKIP("no IPv6 loopback here");
        peer.setReply("/s", HttpTestReply::make(200, kJson, "{}"));
        client->connectToHost(QHostAddress::LocalHostIPv6, peer.serverPort());
        QVERIFY(client->get("p", QUrl("/s"), kWaitMs));
        QCOMPARE(events, QStringList{ got("p", "/s") });
        QCOMPARE(peer.requests.value(0).headers.value("host"), QStringLiteral("[::1]:%1").arg(peer.serverPort()).toLatin1());
    }

    // The probe of a plug-in's device is short: a device that takes the
    // connection and never answers must not hold the caller for the request's
    // time-out (61 s before).
    void checkAuthIsShortOnASilentDevice()
    {
        server->setReply("/api/status", HttpTestReply::make(200, {}, {}, -1));
        FakeDevice device(&factory);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(device.checkAuth());
        QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(device.status(), StatusNoResponse);
        QCOMPARE(server->requests.value(0).headers.value("authorization"), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
