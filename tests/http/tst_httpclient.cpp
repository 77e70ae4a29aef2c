#include <QElapsedTimer>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <configurator-common/httpclient.h>

#include "httptestserver.h"

namespace {

const int kWaitMs = 5000;
const int kShortTimeoutMs = 200;
const int kLateDelayMs = 1000;
// Long enough that a loaded machine still answers at once within it.
const int kPromptMs = 1000;
const QByteArray kBasicAuth = "Basic " + QByteArray("admin:s3cret").toBase64();

QUrl path(const char* pathAndQuery)
{
    return QUrl(QString::fromLatin1(pathAndQuery));
}

// Every signal of one client, in the order emitted, as text:
// "<signal> <id> <url without `base`> <info map as key=value ...>".
class SignalLog : public QObject
{
public:
    SignalLog(HttpClient* client, const QString& base) : base(base)
    {
        connect(client, &HttpClient::dataReceived, this,
                [this](QVariant id, const QUrl& url, QVariant info, QVariant data) {
                    add("data", id, url, info);
                    payload = data;
                });
        connect(client, &HttpClient::timeout, this,
                [this](QVariant id, const QUrl& url, QVariant info) { add("timeout", id, url, info); });
        connect(client, &HttpClient::authRequired, this,
                [this](QVariant id, const QUrl& url) { add("auth", id, url); });
        connect(client, &HttpClient::error, this,
                [this](QNetworkReply::NetworkError code) { events << QStringLiteral("error %1").arg(int(code)); });
    }
    void add(const char* what, const QVariant& id, const QUrl& url, const QVariant& info = QVariant())
    {
        QString shown = url.toString();
        if (shown.startsWith(base))
            shown = shown.mid(base.size());
        QStringList entry{ QLatin1String(what), id.toString(), shown };
        const QVariantMap map = info.toMap();
        for (auto it = map.begin(); it != map.end(); ++it)
            entry << it.key() + QLatin1Char('=') + it.value().toString();
        events << entry.join(QLatin1Char(' '));
    }
    QString base;
    QStringList events;
    QVariant payload; // of the last dataReceived
};

} // namespace

class TestHttpClient : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qRegisterMetaType<QNetworkReply::NetworkError>(); }
    void init();
    void cleanup();

    void getReply_data();
    void getReply();
    void unauthorizedMakesLaterRequestsCarryBasicAuth_data();
    void unauthorizedMakesLaterRequestsCarryBasicAuth();
    void postSendsBodyAndContentType_data();
    void postSendsBodyAndContentType();
    void timedOutRequest_data();
    void timedOutRequest();
    void requestStartedInsideAnotherWaitNests_data();
    void requestStartedInsideAnotherWaitNests();
    void negativeTimeoutWaitsForTheReply();
    void heldRequestsAreGivenUpAfterTheGracePeriod();
    void oversizedReplyIsAborted_data();
    void oversizedReplyIsAborted();
    void clientDeletedDuringItsWaitReturnsFalseSilently();
    void urlForHost_data();
    void urlForHost();

private:
    HttpTestServer* server = nullptr;
    HttpClient* client = nullptr;
    SignalLog* log = nullptr;
};

void TestHttpClient::init()
{
    server = new HttpTestServer;
    QVERIFY(server->listen(QHostAddress::LocalHost));
    client = new HttpClient;
    client->connectToHost(QHostAddress::LocalHost, server->serverPort());
    client->setAuth(QStringLiteral("admin"), QStringLiteral("s3cret"));
    log = new SignalLog(client, QStringLiteral("http://127.0.0.1:%1").arg(server->serverPort()));
}

void TestHttpClient::cleanup()
{
    // The client first: its pending replies must not see the server go.
    delete client;
    delete log;
    delete server;
}

void TestHttpClient::getReply_data()
{
    QTest::addColumn<int>("status"); // 0: nobody listens
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QVariant>("data");

    const QByteArray json = "{\"model\": \"T-100\", \"channels\": [1, 2.5]}";
    const QVariant decoded = QVariantMap{ { QStringLiteral("model"), QStringLiteral("T-100") },
                                          { QStringLiteral("channels"), QVariantList{ qulonglong(1), 2.5 } } };
    const QByteArray csv = "a;b\n1;2\n";
    const QByteArray binary("\x01\x00\x02", 3);
    const QByteArray app = "application/json";
    const auto got = [](const char* type, int status = 200) {
        return QStringLiteral("data p /r?from=0&count=10 method=get status=%1 type=%2")
            .arg(status)
            .arg(QLatin1String(type));
    };
    const auto error = [](QNetworkReply::NetworkError code) { return QStringLiteral("error %1").arg(int(code)); };

    QTest::newRow("json") << 200 << QByteArray("application/json; charset=utf-8") << json << got("data") << decoded;
    QTest::newRow("json inside another type") << 200 << QByteArray("application/json-patch") << json << got("data")
                                              << decoded;
    QTest::newRow("json cut at zero byte") << 200 << app << QByteArray(json + '\0' + "garbage") << got("data")
                                           << decoded;
    QTest::newRow("capitalised json is neither") << 200 << QByteArray("Application/JSON") << json << got("data")
                                                 << QVariant();
    QTest::newRow("json null") << 200 << app << QByteArray("null") << got("data") << QVariant();
    QTest::newRow("malformed json") << 200 << app << QByteArray("{\"a\": ") << got("data") << QVariant();
    QTest::newRow("csv") << 200 << QByteArray("text/csv") << csv << got("file") << QVariant(csv);
    QTest::newRow("html with charset") << 200 << QByteArray("text/html; charset=utf-8") << csv << got("file")
                                       << QVariant(csv);
    QTest::newRow("octet stream") << 200 << QByteArray("application/octet-stream") << binary << got("file")
                                  << QVariant(binary);
    QTest::newRow("plain text") << 200 << QByteArray("text/plain") << csv << got("data") << QVariant();
    QTest::newRow("no content type") << 200 << QByteArray() << json << got("data") << QVariant();
    QTest::newRow("no content") << 204 << QByteArray() << QByteArray() << got("data", 204) << QVariant();
    QTest::newRow("accepted json is not read") << 202 << app << json << got("data", 202) << QVariant();
    // Only a 401 switches authorization on: none of these.
    QTest::newRow("404") << 404 << app << json << error(QNetworkReply::ContentNotFoundError) << QVariant();
    QTest::newRow("403") << 403 << app << json << error(QNetworkReply::ContentAccessDenied) << QVariant();
    QTest::newRow("500") << 500 << app << json << error(QNetworkReply::InternalServerError) << QVariant();
    QTest::newRow("refused") << 0 << app << json << error(QNetworkReply::ConnectionRefusedError) << QVariant();
}

void TestHttpClient::getReply()
{
    QFETCH(int, status);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, event);
    QFETCH(QVariant, data);
    if (status == 0)
        server->close();
    server->setReply("/r", HttpTestReply::make(status, contentType, body));
    // A failed reply is also written to the debug stream: "Error:", status, reason.
    if (event.startsWith(QLatin1String("error"))) {
        for (int i = 0; i < 2; ++i)
            QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error: %1 \"").arg(status)));
    }

    // Twice: the outcome of the first must not change how the second is sent.
    for (int i = 0; i < 2; ++i)
        QVERIFY(client->get(QStringLiteral("p"), path("/r?from=0&count=10"), kWaitMs));

    QCOMPARE(log->events, (QStringList{ event, event }));
    QCOMPARE(log->payload.isValid(), data.isValid());
    QCOMPARE(log->payload, data);
    QCOMPARE(server->requests().size(), status ? 2 : 0);
    for (const HttpTestRequest& request : server->requests()) {
        QCOMPARE(request.method, QByteArray("GET"));
        QCOMPARE(request.target, QByteArray("/r?from=0&count=10"));
        QVERIFY(!request.hasHeader("Authorization"));
    }
}

void TestHttpClient::unauthorizedMakesLaterRequestsCarryBasicAuth_data()
{
    QTest::addColumn<bool>("withChallenge");
    QTest::newRow("bare 401") << false;
    QTest::newRow("401 with Basic challenge") << true;
}

void TestHttpClient::unauthorizedMakesLaterRequestsCarryBasicAuth()
{
    QFETCH(bool, withChallenge);
    HttpTestReply refusal = HttpTestReply::make(401, "text/plain", "who are you?");
    if (withChallenge)
        refusal.headers.append(qMakePair(QByteArray("WWW-Authenticate"), QByteArray("Basic realm=\"device\"")));
    server->queueReply("/status", refusal);
    server->setReply("/status", HttpTestReply::make(200, "application/json", "{\"ok\": true}"));

    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral("^Error: 401 \"")));
    // Not repeated by the client; the next requests carry the credentials.
    QVERIFY(client->get(QStringLiteral("p7"), path("/status"), kWaitMs));
    QVERIFY(client->get(QStringLiteral("p7"), path("/status"), kWaitMs));
    QVERIFY(client->post(QStringLiteral("p7"), path("/status"), QVariant(), kWaitMs));
    client->setAuthRequire(false);
    QVERIFY(client->get(QStringLiteral("p7"), path("/status"), kWaitMs));

    QCOMPARE(log->events, (QStringList{ QStringLiteral("auth p7 /status"),
                                        QStringLiteral("data p7 /status method=get status=200 type=data"),
                                        QStringLiteral("data p7 /status method=post status=200 type=data"),
                                        QStringLiteral("data p7 /status method=get status=200 type=data") }));
    const QList<HttpTestRequest> sent = server->requests();
    QCOMPARE(sent.size(), 4);
    QVERIFY(!sent.at(0).hasHeader("Authorization"));
    QCOMPARE(sent.at(1).header("Authorization"), kBasicAuth);
    QCOMPARE(sent.at(2).header("Authorization"), kBasicAuth);
    QVERIFY(!sent.at(3).hasHeader("Authorization"));
}

void TestHttpClient::postSendsBodyAndContentType_data()
{
    QTest::addColumn<QVariant>("data");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");

    const QByteArray octets = "application/octet-stream";
    QTest::newRow("no data") << QVariant() << QByteArray("application/x-www-form-urlencoded") << QByteArray();
    QTest::newRow("empty bytes") << QVariant(QByteArray("")) << octets << QByteArray();
    QTest::newRow("text as UTF-8") << QVariant(QStringLiteral("h\u00e9llo")) << octets << QByteArray("h\xc3\xa9llo");
    QTest::newRow("number") << QVariant(42) << octets << QByteArray("42");
    const QByteArray binary("\x00\xff\x00\r\n", 5);
    QTest::newRow("binary") << QVariant(binary) << octets << binary;
}

void TestHttpClient::postSendsBodyAndContentType()
{
    QFETCH(QVariant, data);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    server->setReply("/config", HttpTestReply::make(200, "application/json", "{\"saved\": true}"));

    QVERIFY(client->post(QStringLiteral("cfg"), path("/config?apply=1"), data, kWaitMs));

    QCOMPARE(log->events, QStringList{ QStringLiteral("data cfg /config?apply=1 method=post status=200 type=data") });
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
}

void TestHttpClient::timedOutRequest_data()
{
    QTest::addColumn<bool>("isPost");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("delay"); // -1: never answered
    QTest::addColumn<QStringList>("events");
    const QString timeout = QStringLiteral("timeout v /v method=%1 status=0 type=data");
    QTest::newRow("late reply is reported after")
        << false << kShortTimeoutMs << kLateDelayMs
        << QStringList{ timeout.arg("get"), "data v /v method=get status=200 type=data" };
    QTest::newRow("post never answered") << true << kShortTimeoutMs << -1 << QStringList{ timeout.arg("post") };
}

void TestHttpClient::timedOutRequest()
{
    QFETCH(bool, isPost);
    QFETCH(int, timeout);
    QFETCH(int, delay);
    QFETCH(QStringList, events);
    server->setReply("/v", HttpTestReply::make(200, "application/json", "{\"late\": true}", delay));
    QElapsedTimer clock;
    clock.start();

    QVERIFY(isPost ? !client->post(QStringLiteral("v"), path("/v"), QByteArray("x"), timeout)
                   : !client->get(QStringLiteral("v"), path("/v"), timeout));
    QVERIFY(clock.elapsed() < kLateDelayMs);
    QCOMPARE(log->events, events.mid(0, 1));
    QTRY_COMPARE_WITH_TIMEOUT(log->events.size(), events.size(), kWaitMs);
    QTest::qWait(2 * kShortTimeoutMs);
    QCOMPARE(log->events, events);
    QCOMPARE(log->payload.toMap().value(QStringLiteral("late")).toBool(), delay >= 0);
    QCOMPARE(server->requests().size(), 1);
}

void TestHttpClient::requestStartedInsideAnotherWaitNests_data()
{
    QTest::addColumn<int>("outerDelay");
    QTest::addColumn<int>("innerDelay");
    QTest::addColumn<int>("outerTimeout");
    QTest::addColumn<QStringList>("events");
    // The outer reply held back until the inner request has been served.
    QTest::newRow("outer answers last") << 400 << 0 << kWaitMs << QStringList{ "inner", "outer" };
    // The outer reply comes at once but the nested wait outlives its time-out:
    // it finished in time and stays a success.
    QTest::newRow("nested wait outlives outer time-out") << 0 << kPromptMs + 600 << kPromptMs
                                                         << QStringList{ "outer", "inner" };
}

void TestHttpClient::requestStartedInsideAnotherWaitNests()
{
    QFETCH(int, outerDelay);
    QFETCH(int, innerDelay);
    QFETCH(int, outerTimeout);
    QFETCH(QStringList, events);
    server->setReply("/outer", HttpTestReply::make(200, "application/json", "{\"n\": 1}", outerDelay));
    server->setReply("/inner", HttpTestReply::make(200, "application/json", "{\"n\": 2}", innerDelay));
    QStringList order;
    connect(server, &HttpTestServer::requestReceived, this, [&](const QByteArray& target) {
        if (target == "/outer")
            order << QStringLiteral("inner returned %1")
                         .arg(client->get(QStringLiteral("inner"), path("/inner"), kWaitMs));
    });

    order << QStringLiteral("outer returned %1")
                 .arg(client->get(QStringLiteral("outer"), path("/outer"), outerTimeout));
    QCOMPARE(order, (QStringList{ QStringLiteral("inner returned 1"), QStringLiteral("outer returned 1") }));
    for (QString& id : events)
        id = QStringLiteral("data %1 /%1 method=get status=200 type=data").arg(id);
    QCOMPARE(log->events, events);
}

void TestHttpClient::negativeTimeoutWaitsForTheReply()
{
    server->setReply("/slow", HttpTestReply::make(200, "application/json", "{}", kLateDelayMs));
    QVERIFY(client->get(QStringLiteral("s"), path("/slow"), -1));
    QCOMPARE(log->events, QStringList{ "data s /slow method=get status=200 type=data" });
}

// Qt opens at most six connections to one host, and a reply that never
// finishes holds its connection: without giving held replies up, every later
// request to that device would time out although it answers at once.
void TestHttpClient::heldRequestsAreGivenUpAfterTheGracePeriod()
{
    constexpr int kHeld = 8;
    constexpr int kGraceMs = 300;
    client->setLateReplyGrace(kGraceMs);
    server->setReply("/held", HttpTestReply::make(200, {}, {}, -1));
    server->setReply("/ok", HttpTestReply::make(200, "application/json", "{}"));
    QStringList expected;
    for (int i = 0; i < kHeld; ++i) {
        QVERIFY(!client->get(QStringLiteral("h"), path("/held"), 50));
        expected << "timeout h /held method=get status=0 type=data";
    }
    QTest::qWait(2 * kGraceMs);
    QVERIFY(client->get(QStringLiteral("ok"), path("/ok"), kPromptMs));
    expected << "data ok /ok method=get status=200 type=data";
    QCOMPARE(log->events, expected);
}

void TestHttpClient::oversizedReplyIsAborted_data()
{
    QTest::addColumn<QByteArray>("lengthHeader");
    QTest::addColumn<int>("sent");  // bytes the peer would send
    QTest::addColumn<bool>("accepted");
    QTest::newRow("within the bound") << QByteArray("Content-Length: 65536\r\n") << 65536 << true;
    QTest::newRow("announced beyond") << QByteArray("Content-Length: 1073741824\r\n") << 32 << false;
    QTest::newRow("streamed beyond without length") << QByteArray() << 32 << false;
}

// A device that sends far more than a reply can be must not take the
// configurator's memory: the reply is cut off while it streams in.
void TestHttpClient::oversizedReplyIsAborted()
{
    QFETCH(QByteArray, lengthHeader);
    QFETCH(int, sent);
    QFETCH(bool, accepted);
    constexpr int kBound = 256 * 1024;
    constexpr int kChunk = 64 * 1024;
    const int total = sent >= kChunk ? sent : sent * 1024 * 1024; // small numbers in MiB
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost));
    qint64 written = 0;
    QPointer<QTcpSocket> socket;
    connect(&peer, &QTcpServer::newConnection, this, [&]() {
        socket = peer.nextPendingConnection();
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
            + lengthHeader + "Connection: close\r\n\r\n";
        written = -head.size();
        socket->write(head);
        // Streams as the client takes it, up to `total` bytes, then closes.
        connect(socket.data(), &QTcpSocket::bytesWritten, socket.data(), [&](qint64 n) {
            written += n;
            if (socket->bytesToWrite() == 0 && written < total)
                socket->write(QByteArray(qMin<qint64>(kChunk, total - written), 'x'));
            else if (written >= total)
                socket->disconnectFromHost();
        });
    });
    client->connectToHost(QHostAddress::LocalHost, peer.serverPort());
    log->base = QStringLiteral("http://127.0.0.1:%1").arg(peer.serverPort());
    client->setMaxReplySize(kBound);
    if (!accepted)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^HttpClient: reply larger than 262144 bytes, aborted:"));

    QVERIFY(client->get(QStringLiteral("big"), path("/log"), kWaitMs));
    if (accepted) {
        QCOMPARE(log->events, QStringList{ "data big /log method=get status=200 type=file" });
        QCOMPARE(log->payload.toByteArray().size(), sent);
    } else {
        QCOMPARE(log->events, QStringList{ QStringLiteral("error %1").arg(int(QNetworkReply::UnknownContentError)) });
        QVERIFY2(written < total / 2, qPrintable(QString::number(written)));
    }
}

void TestHttpClient::clientDeletedDuringItsWaitReturnsFalseSilently()
{
    server->setReply("/void", HttpTestReply::make(200, {}, {}, -1));
    connect(server, &HttpTestServer::requestReceived, this, [&]() {
        delete client;
        client = nullptr;
    });
    HttpClient* doomed = client;
    QVERIFY(!doomed->get(QStringLiteral("gone"), path("/void"), kWaitMs));
    QVERIFY(client == nullptr);
    QCOMPARE(log->events, QStringList());
}

void TestHttpClient::urlForHost_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port"); // 0: any free one
    QTest::addColumn<QString>("url"); // %1: the port
    QTest::addColumn<QString>("host");
    QTest::newRow("default port stays out of the URL") << "127.0.0.1" << 80 << "http://127.0.0.1/status" << "127.0.0.1";
    QTest::newRow("IPv6 is bracketed") << "::1" << 0 << "http://[::1]:%1/status" << "[::1]:%1";
}

void TestHttpClient::urlForHost()
{
    QFETCH(QString, address);
    QFETCH(int, port);
    QFETCH(QString, url);
    QFETCH(QString, host);
    // Port 80 is bound only inside the private namespace of scripts/netns-run.
    if (port == 80 && qgetenv("CC_IN_NETNS") != "1")
        QSKIP("port 80 is used only inside scripts/netns-run");
    HttpTestServer peer;
    if (!peer.listen(QHostAddress(address), quint16(port)))
        QSKIP("cannot listen on that loopback address here");
    peer.setReply("/status", HttpTestReply::make(200, "application/json", "{}"));
    if (port == 80)
        client->connectToHost(QHostAddress(address));
    else
        client->connectToHost(QHostAddress(address), peer.serverPort());

    const QString portText = QString::number(peer.serverPort());
    url.replace(QLatin1String("%1"), portText);
    host.replace(QLatin1String("%1"), portText);

    QVERIFY(client->get(QStringLiteral("p"), path("/status"), kWaitMs));
    QCOMPARE(log->events, QStringList{ QStringLiteral("data p %1 method=get status=200 type=data").arg(url) });
    QCOMPARE(peer.requests().size(), 1);
    QCOMPARE(QString::fromLatin1(peer.requests().at(0).header("Host")), host);
}

QTEST_GUILESS_MAIN(TestHttpClient)
#include "tst_httpclient.moc"
