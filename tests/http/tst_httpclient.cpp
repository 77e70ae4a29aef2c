#include <QElapsedTimer>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <configurator-common/httpclient.h>

#include "httptestserver.h"


namespace {

const int kWaitMs = 5000;
const int kShortTimeoutMs = 200;
const int kLateDelayMs = 1000;
// Long enough that a loaded machine still answers at once within it.
const int kPromptMs = 1000;
const char kJsonObject[] = "{\"model\": \"T-100\", \"serialNumer\": \"0042\", \"channels\": [1, 2]}";

QVariantMap info(const QString& type, int status, const QString& method)
{
    QVariantMap map;
    map.insert(QStringLiteral("type"), type);
    map.insert(QStringLiteral("status"), status);
    map.insert(QStringLiteral("method"), method);
    return map;
}

// Every signal of one client, in the order emitted.
class SignalLog : public QObject
{
public:
    explicit SignalLog(HttpClient* client)
    {
        connect(client, &HttpClient::dataReceived, this,
                [this](QVariant id, const QUrl&, const QVariant&, const QVariant&) { append("data", id); });
        connect(client, &HttpClient::timeout, this,
                [this](QVariant id, const QUrl&, const QVariant&) { append("timeout", id); });
        connect(client, &HttpClient::authRequired, this,
                [this](QVariant id, const QUrl&) { append("auth", id); });
        connect(client, &HttpClient::error, this,
                [this](QNetworkReply::NetworkError) { events << QStringLiteral("error"); });
    }
    void append(const char* what, const QVariant& id)
    {
        events << QLatin1String(what) + QLatin1Char(' ') + id.toString();
    }
    QStringList events;
};

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void jsonReplyIsDecoded();
    void replyContentTypes_data();
    void replyContentTypes();
    void unauthorizedRequestMakesNextOneCarryBasicAuth_data();
    void unauthorizedRequestMakesNextOneCarryBasicAuth();
    void clearedAuthRequireSendsNoHeader();
    void httpErrorsEmitError_data();
    void httpErrorsEmitError();
    void refusedConnectionEmitsError();
    void postSendsBodyAndContentType_data();
    void postSendsBodyAndContentType();
    void lateReplyIsReportedAfterTimeout();
    void missingReplyTimesOutOnce();
    void negativeTimeoutDoesNotHang();
    void requestStartedInsideAnotherWaitNests();
    void replyFinishedInTimeStaysSuccessfulWhenNestedWaitOutlivesIt();
    void clientDeletedDuringItsWaitReturnsFalseSilently();
    void urlCarriesPortAndQuery();
    void defaultPortKeepsUrlWithoutPort();
    void ipv6AddressIsBracketed();

private:
    QUrl serverUrl(const QString& pathAndQuery) const;

    HttpTestServer* server = nullptr;
    HttpClient* client = nullptr;
};

void TestHttpClient::initTestCase()
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
}

void TestHttpClient::init()
{
    server = new HttpTestServer;
    QVERIFY(server->listen(QHostAddress::LocalHost));
    client = new HttpClient;
    client->connectToHost(QHostAddress::LocalHost, server->serverPort());
    client->setAuth(QStringLiteral("admin"), QStringLiteral("s3cret"));
}

void TestHttpClient::cleanup()
{
    // The client first: its pending replies must not see the server go.
    delete client;
    client = nullptr;
    delete server;
    server = nullptr;
}

QUrl TestHttpClient::serverUrl(const QString& pathAndQuery) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server->serverPort()).arg(pathAndQuery));
}

void TestHttpClient::jsonReplyIsDecoded()
{
    server->setReply("/info", HttpTestReply::make(200, "application/json; charset=utf-8", kJsonObject));
    QSignalSpy data(client, &HttpClient::dataReceived);

    QVERIFY(client->get(QStringLiteral("page-1"), QUrl(QStringLiteral("/info")), kWaitMs));

    QCOMPARE(data.count(), 1);
    const QList<QVariant> args = data.takeFirst();
    QCOMPARE(args.at(0), QVariant(QStringLiteral("page-1")));
    QCOMPARE(args.at(1).toUrl(), serverUrl(QStringLiteral("/info")));
    QCOMPARE(args.at(2).toMap(), info(QStringLiteral("data"), 200, QStringLiteral("get")));
    QCOMPARE(args.at(3).type(), QVariant::Map);
    const QVariantMap body = args.at(3).toMap();
    QCOMPARE(body.value(QStringLiteral("model")).toString(), QStringLiteral("T-100"));
    QCOMPARE(body.value(QStringLiteral("serialNumer")).toString(), QStringLiteral("0042"));
    QCOMPARE(body.value(QStringLiteral("channels")).toList().size(), 2);

    QCOMPARE(server->requests().size(), 1);
    QCOMPARE(server->requests().at(0).method, QByteArray("GET"));
    QCOMPARE(server->requests().at(0).target, QByteArray("/info"));
    QVERIFY(!server->requests().at(0).hasHeader("Authorization"));
}

void TestHttpClient::replyContentTypes_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QVariant>("data");

    const QByteArray csv = "a;b\n1;2\n";
    const QByteArray json = "{\"a\": 1}";
    QVariantMap a;
    a.insert(QStringLiteral("a"), qulonglong(1));

    QTest::newRow("json") << 200 << QByteArray("application/json") << json << "data" << QVariant(a);
    QTest::newRow("json inside another type") << 200 << QByteArray("application/json-patch") << json << "data"
                                              << QVariant(a);
    QTest::newRow("json cut at zero byte") << 200 << QByteArray("application/json")
                                           << QByteArray(json + QByteArray(1, '\0') + "garbage") << "data"
                                           << QVariant(a);
    QTest::newRow("capitalised json is neither") << 200 << QByteArray("Application/JSON") << json << "data"
                                                 << QVariant();
    QTest::newRow("json null") << 200 << QByteArray("application/json") << QByteArray("null") << "data" << QVariant();
    QTest::newRow("malformed json") << 200 << QByteArray("application/json") << QByteArray("{\"a\": ") << "data"
                                    << QVariant();
    QTest::newRow("csv") << 200 << QByteArray("text/csv") << csv << "file" << QVariant(csv);
    QTest::newRow("html with charset") << 200 << QByteArray("text/html; charset=utf-8") << QByteArray("<p>x</p>")
                                       << "file" << QVariant(QByteArray("<p>x</p>"));
    QTest::newRow("octet stream") << 200 << QByteArray("application/octet-stream") << QByteArray("\x01\x00\x02", 3)
                                  << "file" << QVariant(QByteArray("\x01\x00\x02", 3));
    QTest::newRow("plain text") << 200 << QByteArray("text/plain") << QByteArray("hello") << "data" << QVariant();
    QTest::newRow("no content type") << 200 << QByteArray() << json << "data" << QVariant();
    QTest::newRow("no content") << 204 << QByteArray() << QByteArray() << "data" << QVariant();
    QTest::newRow("accepted json is not read") << 202 << QByteArray("application/json") << json << "data"
                                               << QVariant();
}

void TestHttpClient::replyContentTypes()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, type);
    QFETCH(QVariant, data);

    server->setReply("/x", HttpTestReply::make(status, contentType, body));
    QSignalSpy received(client, &HttpClient::dataReceived);
    QSignalSpy errors(client, &HttpClient::error);

    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/x")), kWaitMs));

    QCOMPARE(errors.count(), 0);
    QCOMPARE(received.count(), 1);
    const QList<QVariant> args = received.takeFirst();
    QCOMPARE(args.at(2).toMap(), info(type, status, QStringLiteral("get")));
    QCOMPARE(args.at(3).isValid(), data.isValid());
    QCOMPARE(args.at(3), data);
}

void TestHttpClient::unauthorizedRequestMakesNextOneCarryBasicAuth_data()
{
    QTest::addColumn<bool>("withChallenge");
    QTest::newRow("bare 401") << false;
    QTest::newRow("401 with Basic challenge") << true;
}

void TestHttpClient::unauthorizedRequestMakesNextOneCarryBasicAuth()
{
    QFETCH(bool, withChallenge);

    HttpTestReply refusal = HttpTestReply::make(401, "text/plain", "who are you?");
    if (withChallenge)
        refusal.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"device\"")));
    server->queueReply("/status", refusal);
    server->setReply("/status", HttpTestReply::make(200, "application/json", "{\"ok\": true}"));
    QSignalSpy auth(client, &HttpClient::authRequired);
    QSignalSpy data(client, &HttpClient::dataReceived);
    QSignalSpy errors(client, &HttpClient::error);

    QVERIFY(client->get(QStringLiteral("page-7"), QUrl(QStringLiteral("/status")), kWaitMs));
    QCOMPARE(auth.count(), 1);
    QCOMPARE(auth.at(0).at(0), QVariant(QStringLiteral("page-7")));
    QCOMPARE(auth.at(0).at(1).toUrl(), serverUrl(QStringLiteral("/status")));
    QCOMPARE(data.count(), 0);
    QCOMPARE(errors.count(), 0);
    // The refused request is not repeated by the client.
    QCOMPARE(server->requests().size(), 1);
    QVERIFY(!server->requests().at(0).hasHeader("Authorization"));

    QVERIFY(client->get(QStringLiteral("page-7"), QUrl(QStringLiteral("/status")), kWaitMs));
    QCOMPARE(server->requests().size(), 2);
    QCOMPARE(server->requests().at(1).header("Authorization"), "Basic " + QByteArray("admin:s3cret").toBase64());
    QCOMPARE(data.count(), 1);
    QCOMPARE(data.at(0).at(2).toMap().value(QStringLiteral("status")).toInt(), 200);

    // It stays on for every later request, POST included.
    QVERIFY(client->post(QStringLiteral("page-7"), QUrl(QStringLiteral("/status")), QVariant(), kWaitMs));
    QCOMPARE(server->requests().at(2).header("Authorization"), "Basic " + QByteArray("admin:s3cret").toBase64());
}

void TestHttpClient::clearedAuthRequireSendsNoHeader()
{
    server->setReply("/s", HttpTestReply::make(200));
    client->setAuthRequire(true);
    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/s")), kWaitMs));
    client->setAuthRequire(false);
    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/s")), kWaitMs));

    QCOMPARE(server->requests().size(), 2);
    QVERIFY(server->requests().at(0).hasHeader("Authorization"));
    QVERIFY(!server->requests().at(1).hasHeader("Authorization"));
}

void TestHttpClient::httpErrorsEmitError_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QNetworkReply::NetworkError>("code");
    QTest::newRow("404") << 404 << QNetworkReply::ContentNotFoundError;
    QTest::newRow("403") << 403 << QNetworkReply::ContentAccessDenied;
    QTest::newRow("500") << 500 << QNetworkReply::InternalServerError;
}

void TestHttpClient::httpErrorsEmitError()
{
    QFETCH(int, status);
    QFETCH(QNetworkReply::NetworkError, code);

    server->setReply("/missing", HttpTestReply::make(status, "application/json", "{\"a\": 1}"));
    QSignalSpy errors(client, &HttpClient::error);
    SignalLog log(client);

    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/missing")), kWaitMs));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<QNetworkReply::NetworkError>(), code);
    QCOMPARE(log.events, QStringList{ QStringLiteral("error") });

    // Only a 401 switches authorization on.
    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/missing")), kWaitMs));
    QCOMPARE(server->requests().size(), 2);
    QVERIFY(!server->requests().at(1).hasHeader("Authorization"));
}

void TestHttpClient::refusedConnectionEmitsError()
{
    server->close();
    QSignalSpy errors(client, &HttpClient::error);

    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/x")), kWaitMs));
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.at(0).at(0).value<QNetworkReply::NetworkError>(), QNetworkReply::ConnectionRefusedError);
}

void TestHttpClient::postSendsBodyAndContentType_data()
{
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("no data") << QVariant() << QByteArray("application/x-www-form-urlencoded") << QByteArray();
    QTest::newRow("five bytes") << QVariant(QByteArray("hello")) << QByteArray("application/octet-stream")
                                << QByteArray("hello");
    QTest::newRow("empty bytes") << QVariant(QByteArray("")) << QByteArray("application/octet-stream") << QByteArray();
    QTest::newRow("text as UTF-8") << QVariant(QStringLiteral("h\u00e9llo")) << QByteArray("application/octet-stream")
                                   << QByteArray("h\xc3\xa9llo");
    QTest::newRow("encoded JSON") << QVariant(QByteArray("{ \"a\" : 1 }")) << QByteArray("application/octet-stream")
                                  << QByteArray("{ \"a\" : 1 }");
    QTest::newRow("number") << QVariant(42) << QByteArray("application/octet-stream") << QByteArray("42");
    QTest::newRow("binary") << QVariant(QByteArray("\x00\xff\x00\r\n", 5)) << QByteArray("application/octet-stream")
                            << QByteArray("\x00\xff\x00\r\n", 5);
}

void TestHttpClient::postSendsBodyAndContentType()
{
    QFETCH(QVariant, data);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);

    server->setReply("/config", HttpTestReply::make(200, "application/json", "{\"saved\": true}"));
    QSignalSpy received(client, &HttpClient::dataReceived);

    QVERIFY(client->post(QStringLiteral("cfg"), QUrl(QStringLiteral("/config?apply=1")), data, kWaitMs));

    QCOMPARE(server->requests().size(), 1);
    const HttpTestRequest request = server->requests().at(0);
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.target, QByteArray("/config?apply=1"));
    QCOMPARE(request.header("Content-Type"), contentType);
    QCOMPARE(request.body, body);
    // With no data the client sets no length of its own; the transport's
    // length of the empty body is all there may be.
    const QByteArray length = request.header("Content-Length");
    if (data.isNull())
        QVERIFY2(length.isNull() || length == "0", length.constData());
    else
        QCOMPARE(length, QByteArray::number(body.size()));

    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(0), QVariant(QStringLiteral("cfg")));
    QCOMPARE(received.at(0).at(1).toUrl(), serverUrl(QStringLiteral("/config?apply=1")));
    QCOMPARE(received.at(0).at(2).toMap(), info(QStringLiteral("data"), 200, QStringLiteral("post")));
}

void TestHttpClient::lateReplyIsReportedAfterTimeout()
{
    server->setReply("/slow", HttpTestReply::make(200, "application/json", "{\"late\": true}", kLateDelayMs));
    QSignalSpy timeouts(client, &HttpClient::timeout);
    QSignalSpy received(client, &HttpClient::dataReceived);
    SignalLog log(client);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client->get(QStringLiteral("slow-page"), QUrl(QStringLiteral("/slow")), kShortTimeoutMs));
    QVERIFY(clock.elapsed() < kLateDelayMs);

    QCOMPARE(timeouts.count(), 1);
    QCOMPARE(timeouts.at(0).at(0), QVariant(QStringLiteral("slow-page")));
    QCOMPARE(timeouts.at(0).at(1).toUrl(), serverUrl(QStringLiteral("/slow")));
    QCOMPARE(timeouts.at(0).at(2).toMap(), info(QStringLiteral("data"), 0, QStringLiteral("get")));
    QCOMPARE(received.count(), 0);

    QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, kWaitMs);
    QCOMPARE(received.at(0).at(0), QVariant(QStringLiteral("slow-page")));
    QCOMPARE(received.at(0).at(2).toMap(), info(QStringLiteral("data"), 200, QStringLiteral("get")));
    QCOMPARE(received.at(0).at(3).toMap().value(QStringLiteral("late")), QVariant(true));
    QCOMPARE(log.events, (QStringList{ QStringLiteral("timeout slow-page"), QStringLiteral("data slow-page") }));
}

void TestHttpClient::missingReplyTimesOutOnce()
{
    server->setReply("/void", HttpTestReply::silent());
    SignalLog log(client);

    QVERIFY(!client->post(QStringLiteral("v"), QUrl(QStringLiteral("/void")), QByteArray("x"), kShortTimeoutMs));
    QTest::qWait(2 * kShortTimeoutMs);
    QCOMPARE(log.events, QStringList{ QStringLiteral("timeout v") });
    QCOMPARE(server->requestCount(), 1);
}

void TestHttpClient::negativeTimeoutDoesNotHang()
{
    server->setReply("/void", HttpTestReply::silent());
    QSignalSpy timeouts(client, &HttpClient::timeout);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!client->get(QStringLiteral("n"), QUrl(QStringLiteral("/void")), -1));
    QVERIFY(clock.elapsed() < kWaitMs);
    QCOMPARE(timeouts.count(), 1);
}

void TestHttpClient::requestStartedInsideAnotherWaitNests()
{
    // The outer reply is held back until the inner request has been served.
    server->setReply("/outer", HttpTestReply::make(200, "application/json", "{\"n\": 1}", 400));
    server->setReply("/inner", HttpTestReply::make(200, "application/json", "{\"n\": 2}"));
    QStringList order;
    bool innerResult = false;
    connect(server, &HttpTestServer::requestReceived, this, [&](const QByteArray& path) {
        if (path == "/outer") {
            innerResult = client->get(QStringLiteral("inner"), QUrl(QStringLiteral("/inner")), kWaitMs);
            order << QStringLiteral("inner returned");
        }
    });
    SignalLog log(client);

    const bool outerResult = client->get(QStringLiteral("outer"), QUrl(QStringLiteral("/outer")), kWaitMs);
    order << QStringLiteral("outer returned");

    QVERIFY(outerResult);
    QVERIFY(innerResult);
    QCOMPARE(order, (QStringList{ QStringLiteral("inner returned"), QStringLiteral("outer returned") }));
    QCOMPARE(log.events, (QStringList{ QStringLiteral("data inner"), QStringLiteral("data outer") }));
}

void TestHttpClient::replyFinishedInTimeStaysSuccessfulWhenNestedWaitOutlivesIt()
{
    // The outer reply arrives at once, but a request started in the outer
    // wait keeps the call nested well past the outer time-out.
    server->setReply("/outer", HttpTestReply::make(200, "application/json", "{\"n\": 1}"));
    server->setReply("/inner", HttpTestReply::make(200, "application/json", "{\"n\": 2}", kPromptMs + 600));
    bool innerResult = false;
    connect(server, &HttpTestServer::requestReceived, this, [&](const QByteArray& path) {
        if (path == "/outer")
            innerResult = client->get(QStringLiteral("inner"), QUrl(QStringLiteral("/inner")), kWaitMs);
    });
    SignalLog log(client);

    QVERIFY(client->get(QStringLiteral("outer"), QUrl(QStringLiteral("/outer")), kPromptMs));
    QVERIFY(innerResult);
    QCOMPARE(log.events, (QStringList{ QStringLiteral("data outer"), QStringLiteral("data inner") }));
}

void TestHttpClient::clientDeletedDuringItsWaitReturnsFalseSilently()
{
    server->setReply("/void", HttpTestReply::silent());
    SignalLog* log = new SignalLog(client);
    connect(server, &HttpTestServer::requestReceived, this, [&]() {
        delete client;
        client = nullptr;
    });

    HttpClient* doomed = client;
    QVERIFY(!doomed->get(QStringLiteral("gone"), QUrl(QStringLiteral("/void")), kWaitMs));
    QVERIFY(client == nullptr);
    QCOMPARE(log->events, QStringList());
    delete log;
}

void TestHttpClient::urlCarriesPortAndQuery()
{
    server->setReply("/cgi/read", HttpTestReply::make(200, "text/csv", "1;2"));
    QSignalSpy received(client, &HttpClient::dataReceived);
    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/cgi/read?from=0&count=10")), kWaitMs));

    QCOMPARE(server->requests().at(0).target, QByteArray("/cgi/read?from=0&count=10"));
    const QUrl url = received.at(0).at(1).toUrl();
    QCOMPARE(url.toString(), QStringLiteral("http://127.0.0.1:%1/cgi/read?from=0&count=10").arg(server->serverPort()));
    QCOMPARE(url.port(), int(server->serverPort()));
}

void TestHttpClient::defaultPortKeepsUrlWithoutPort()
{
    // Port 80 is bound only inside the private namespace of scripts/netns-run.
    if (qgetenv("CC_IN_NETNS") != "1")
        QSKIP("port 80 is used only inside scripts/netns-run");
    HttpTestServer port80;
    QVERIFY(port80.listen(QHostAddress::LocalHost, 80));
    port80.setReply("/status", HttpTestReply::make(200, "application/json", "{}"));
    HttpClient plain;
    plain.connectToHost(QHostAddress(QStringLiteral("127.0.0.1")));
    QSignalSpy received(&plain, &HttpClient::dataReceived);

    QVERIFY(plain.get(QStringLiteral("p"), QUrl(QStringLiteral("/status")), kWaitMs));
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(1).toUrl().toString(), QStringLiteral("http://127.0.0.1/status"));
    QCOMPARE(port80.requests().size(), 1);
    QCOMPARE(port80.requests().at(0).header("Host"), QByteArray("127.0.0.1"));
}

void TestHttpClient::ipv6AddressIsBracketed()
{
    HttpTestServer v6;
    if (!v6.listen(QHostAddress::LocalHostIPv6))
        QSKIP("no IPv6 loopback here");
    v6.setReply("/status", HttpTestReply::make(200, "application/json", "{}"));
    client->connectToHost(QHostAddress::LocalHostIPv6, v6.serverPort());
    QSignalSpy received(client, &HttpClient::dataReceived);

    QVERIFY(client->get(QStringLiteral("p"), QUrl(QStringLiteral("/status")), kWaitMs));
    QCOMPARE(received.count(), 1);
    QCOMPARE(received.at(0).at(1).toUrl().toString(), QStringLiteral("http://[::1]:%1/status").arg(v6.serverPort()));
    QCOMPARE(v6.requests().size(), 1);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
