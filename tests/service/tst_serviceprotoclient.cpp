#include <configurator-common/serviceprotoclient.h>

#include "scriptedrestservice.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

namespace {

const quint16 kServicePort = 80;
const quint16 kOtherPort = 8080;
const quint16 kSsdpPort = 1900;
const char kSsdpGroup[] = "239.255.255.250";

QByteArray readAtLeast(QTcpSocket* socket, int size)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (bytes.size() < size && timer.elapsed() < 5000) {
        if (!socket->bytesAvailable())
            QTest::qWait(10);
        bytes += socket->readAll();
    }
    return bytes;
}

QNetworkInterface loopbackInterface()
{
    const QList<QNetworkInterface> all = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& iface : all) {
        if (iface.flags() & QNetworkInterface::IsLoopBack)
            return iface;
    }
    return QNetworkInterface();
}

// Answers SSDP searches on loopback: listens on the group and replies from
// its own unicast address with the given search target.
class SsdpResponder : public QObject
{
public:
    SsdpResponder(const QHostAddress& source, const QByteArray& target)
        : target(target)
    {
        ok = group.bind(QHostAddress::AnyIPv4, kSsdpPort, QUdpSocket::ShareAddress)
            && group.joinMulticastGroup(QHostAddress(QLatin1String(kSsdpGroup)), loopbackInterface())
            && unicast.bind(source, 0);
        connect(&group, &QUdpSocket::readyRead, this, &SsdpResponder::answer);
    }

    void answer()
    {
        while (group.hasPendingDatagrams()) {
            const QNetworkDatagram search = group.receiveDatagram();
            if (!search.data().startsWith("M-SEARCH"))
                continue;
            searches.append(search.data());
            const QByteArray reply = "HTTP/1.1 200 OK\r\nST: " + target
                + "\r\nUSN: uuid:0::" + target + "\r\nEXT: \r\n\r\n";
            unicast.writeDatagram(reply, search.senderAddress(), quint16(search.senderPort()));
        }
    }

    quint16 port() const { return unicast.localPort(); }

    bool ok = false;
    QByteArray target;
    QList<QByteArray> searches;
    QUdpSocket group;
    QUdpSocket unicast;
};

} // namespace

Q_DECLARE_METATYPE(RestMessage::ResponseStatus)

class tst_ServiceProtoClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void requestsAreNumberedWithHeaders();
    void authorizationWhenRequired();
    void unauthorizedResponseRequiresAuthorization();
    void responseKinds_data();
    void responseKinds();
    void waitForProtoDataTimesOut();
    void waitForProtoDataWakesOnData();
    void idsSurviveReconnection();
    void connectsToGivenPort();
    void searchFindsLoopbackResponders();

private:
    bool connectClient(ServiceProtoClient* client, quint16 port = kServicePort);

    ScriptedRestService* service = nullptr;
};

void tst_ServiceProtoClient::initTestCase()
{
    qRegisterMetaType<RestMessage::ResponseStatus>();
    qRegisterMetaType<QList<QUrl>>();
}

void tst_ServiceProtoClient::init()
{
    service = new ScriptedRestService;
    QVERIFY(service->listen(QHostAddress::LocalHost, kServicePort));
}

void tst_ServiceProtoClient::cleanup()
{
    delete service;
    service = nullptr;
}

bool tst_ServiceProtoClient::connectClient(ServiceProtoClient* client, quint16 port)
{
    QSignalSpy connected(client, &RestClient::connected);
    if (port == kServicePort)
        client->connectToHost(QHostAddress::LocalHost);
    else
        client->connectToHost(QHostAddress::LocalHost, port);
    return connected.wait(5000);
}

void tst_ServiceProtoClient::requestsAreNumberedWithHeaders()
{
    // A raw peer sees the bytes exactly as written.
    delete service;
    service = nullptr;
    QTcpServer raw;
    QVERIFY(raw.listen(QHostAddress::LocalHost, kServicePort));
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    QVERIFY(raw.hasPendingConnections() || raw.waitForNewConnection(5000));
    QTcpSocket* peer = raw.nextPendingConnection();

    QCOMPARE(client.get(QUrl(QStringLiteral("/status"))), 0);
    QCOMPARE(client.put(QUrl(QStringLiteral("/cfg")), QString(), QByteArray()), 1);
    QCOMPARE(client.post(QUrl(QStringLiteral("/cfg")), QString(), QByteArray("xy")), 2);
    QCOMPARE(client.post(QUrl(QStringLiteral("/j")), QStringLiteral("application/json"), QByteArray("{}")), 3);
    const QByteArray common = "Connection: Keep-Alive\r\nHost: 127.0.0.1:80\r\n";
    const QByteArray expected =
        "GET /status HTTP/1.1\r\n" + common + "request-id: 0\r\n\r\n"
        "PUT /cfg HTTP/1.1\r\n" + common + "content-type: \r\nrequest-id: 1\r\nContent-Length: 0\r\n\r\n"
        "POST /cfg HTTP/1.1\r\n" + common + "request-id: 2\r\nContent-Length: 2\r\n\r\nxy"
        "POST /j HTTP/1.1\r\n" + common + "content-type: application/json\r\nrequest-id: 3\r\nContent-Length: 2\r\n\r\n{}";
    QCOMPARE(readAtLeast(peer, expected.size()), expected);
}

void tst_ServiceProtoClient::authorizationWhenRequired()
{
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    client.get(QUrl(QStringLiteral("/open")));
    client.setAuth(QStringLiteral("user"), QStringLiteral("pass"));
    client.setAuthRequire(true);
    client.get(QUrl(QStringLiteral("/closed")));
    QTRY_COMPARE(service->requests.size(), 2);
    QVERIFY(!service->requests.at(0).headers.contains(QStringLiteral("Authorization")));
    QCOMPARE(service->requests.at(1).headerNames.first(), QStringLiteral("Authorization"));
    QCOMPARE(service->requests.at(1).headers.value(QStringLiteral("Authorization")),
             QStringLiteral("Basic dXNlcjpwYXNz"));
}

void tst_ServiceProtoClient::unauthorizedResponseRequiresAuthorization()
{
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    client.setAuth(QStringLiteral("admin"), QStringLiteral("s3cr:t"));
    QSignalSpy auth(&client, &ServiceProtoClient::authRequired);
    QSignalSpy done(&client, &ServiceProtoClient::requestDone);
    QSignalSpy data(&client, &ServiceProtoClient::dataReceived);
    service->addReply(ScriptedRestService::reply(401));

    const int id = client.get(QUrl(QStringLiteral("/secret")));
    QVERIFY(!client.waitForProtoData(300));
    QCOMPARE(auth.count(), 1);
    QCOMPARE(auth.first().first().toInt(), id);
    QCOMPARE(done.count(), 1);
    QCOMPARE(done.first().at(1).value<RestMessage::ResponseStatus>(), RestMessage::Unauthorized);
    QCOMPARE(data.count(), 0);
    QVERIFY(!client.nextProtoData());

    client.get(QUrl(QStringLiteral("/secret")));
    QTRY_COMPARE(service->requests.size(), 2);
    QCOMPARE(service->requests.at(1).headers.value(QStringLiteral("Authorization")),
             QString("Basic " + QByteArray("admin:s3cr:t").toBase64()));
}

void tst_ServiceProtoClient::responseKinds_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("dataSignals");
    QTest::addColumn<bool>("file");
    QTest::addColumn<QString>("payloadType");
    QTest::addColumn<QVariant>("payload");

    QVariantMap a;
    a.insert(QStringLiteral("a"), 1);
    QTest::newRow("json with charset") << 200 << "application/json; charset=utf-8"
                                       << QByteArray("{\"a\":1}") << 1 << false << "json" << QVariant(a);
    QTest::newRow("json null") << 200 << "application/json" << QByteArray("null") << 0 << false
                               << QString() << QVariant();
    QTest::newRow("json broken") << 200 << "application/json" << QByteArray("{\"a\":") << 0 << false
                                 << QString() << QVariant();
    QTest::newRow("text") << 200 << "text/plain" << QByteArray("hello") << 1 << false << QString() << QVariant();
    QTest::newRow("file") << 200 << "application/octet-stream" << QByteArray("\x01\x02\x03", 3) << 0 << true
                          << QString() << QVariant();
    QTest::newRow("404") << 404 << QString() << QByteArray() << 1 << false << "status" << QVariant(404);
    QTest::newRow("200 without type") << 200 << QString() << QByteArray("x") << 1 << false
                                      << "status" << QVariant(200);
    QTest::newRow("500 with json") << 500 << "application/json" << QByteArray("{}") << 1 << false
                                   << "status" << QVariant(500);
    QTest::newRow("unlisted 299") << 299 << "text/plain" << QByteArray() << 1 << false
                                  << "status" << QVariant(299);
    QTest::newRow("401") << 401 << "application/json" << QByteArray("{}") << 0 << false
                         << QString() << QVariant();
}

void tst_ServiceProtoClient::responseKinds()
{
    QFETCH(int, status);
    QFETCH(QString, contentType);
    QFETCH(QByteArray, body);
    QFETCH(int, dataSignals);
    QFETCH(bool, file);
    QFETCH(QString, payloadType);
    QFETCH(QVariant, payload);

    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    QSignalSpy done(&client, &ServiceProtoClient::requestDone);
    QSignalSpy data(&client, &ServiceProtoClient::dataReceived);
    QSignalSpy files(&client, &ServiceProtoClient::fileReceived);
    QSignalSpy auth(&client, &ServiceProtoClient::authRequired);
    client.get(QUrl(QStringLiteral("/first")));
    service->addReply(ScriptedRestService::reply(200));
    service->addReply(ScriptedRestService::reply(status, contentType, body));
    const int id = client.get(QUrl(QStringLiteral("/kind")));
    QCOMPARE(id, 1);
    QTRY_COMPARE(done.count(), 2);
    QTest::qWait(20);

    QCOMPARE(done.at(1), QVariantList({ id, QVariant::fromValue(RestMessage::ResponseStatus(status)) }));
    QCOMPARE(data.count(), 1 + dataSignals);
    if (dataSignals)
        QCOMPARE(data.at(1).first().toInt(), id);
    QCOMPARE(files.count(), file ? 1 : 0);
    if (file)
        QCOMPARE(files.first(), QVariantList({ id, QUrl(), body }));
    QCOMPARE(auth.count(), status == 401 ? 1 : 0);

    // The first reply left a status payload of 200.
    ServiceProtoData* first = client.nextProtoData();
    QVERIFY(first);
    QCOMPARE(first->typeName(), QStringLiteral("status"));
    delete first;

    ServiceProtoData* next = client.nextProtoData();
    if (payloadType.isEmpty()) {
        QVERIFY(!next);
        return;
    }
    QVERIFY(next);
    QCOMPARE(next->typeName(), payloadType);
    if (payloadType == QLatin1String("json")) {
        QCOMPARE(next->toVariant().toMap().value(QStringLiteral("a")).toInt(), 1);
        QCOMPARE(next->toVariant().toMap().size(), 1);
    } else {
        QCOMPARE(next->toVariant().toMap().value(QStringLiteral("status")).toInt(), payload.toInt());
    }
    delete next;
    QVERIFY(!client.nextProtoData());
}

void tst_ServiceProtoClient::waitForProtoDataTimesOut()
{
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    ScriptedRestService::Reply late = ScriptedRestService::reply(404);
    late.delayMs = 3000;
    service->addReply(late);
    client.get(QUrl(QStringLiteral("/slow")));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client.waitForProtoData(500));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 450 && elapsed < 2500, qPrintable(QString::number(elapsed)));
}

void tst_ServiceProtoClient::waitForProtoDataWakesOnData()
{
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    ScriptedRestService::Reply soon = ScriptedRestService::reply(200, QStringLiteral("application/json"),
                                                                 "[1, 2, 3]");
    soon.delayMs = 100;
    service->addReply(soon);
    client.get(QUrl(QStringLiteral("/data")));
    QVERIFY(client.waitForProtoData(0));
    ServiceProtoData* payload = client.nextProtoData();
    QVERIFY(payload);
    QCOMPARE(payload->toVariant().toList().size(), 3);
    delete payload;
    // A payload left unqueued is the destructor's to delete.
    service->addReply(ScriptedRestService::reply(404));
    client.get(QUrl(QStringLiteral("/data")));
    QVERIFY(client.waitForProtoData(5000));
    QVERIFY(client.waitForProtoData(1));
}

void tst_ServiceProtoClient::idsSurviveReconnection()
{
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    QCOMPARE(client.get(QUrl(QStringLiteral("/a"))), 0);
    QTRY_COMPARE(service->requests.size(), 1);
    QSignalSpy gone(&client, &RestClient::disconnected);
    const QList<RestConnection*> served = service->connections();
    QCOMPARE(served.size(), 1);
    served.first()->device()->close();
    QTRY_COMPARE(gone.count(), 1);

    QVERIFY(connectClient(&client));
    QCOMPARE(client.get(QUrl(QStringLiteral("/b"))), 1);
    QTRY_COMPARE(service->requests.size(), 2);
    QCOMPARE(service->requests.at(1).headers.value(QStringLiteral("request-id")), QStringLiteral("1"));
}

void tst_ServiceProtoClient::connectsToGivenPort()
{
    ScriptedRestService other;
    QVERIFY(other.listen(QHostAddress::LocalHost, kOtherPort));
    ServiceProtoClient client;
    QVERIFY(connectClient(&client, kOtherPort));
    client.get(QUrl(QStringLiteral("/here")));
    QTRY_COMPARE(other.requests.size(), 1);
    QCOMPARE(service->requests.size(), 0);
}

void tst_ServiceProtoClient::searchFindsLoopbackResponders()
{
    SsdpResponder first(QHostAddress(QStringLiteral("127.0.0.2")), kServiceDeviceType);
    SsdpResponder second(QHostAddress(QStringLiteral("127.0.0.3")), kServiceDeviceType);
    SsdpResponder stranger(QHostAddress(QStringLiteral("127.0.0.4")), "upnp:rootdevice");
    QVERIFY(first.ok && second.ok && stranger.ok);

    ServiceProtoClient client;
    QSignalSpy done(&client, &ServiceProtoClient::searchDone);
    client.search(loopbackInterface(), 1000);
    QVERIFY(done.wait(5000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(first.searches.size(), 1);
    QVERIFY(first.searches.first().contains(QByteArray("ST: ") + kServiceDeviceType));

    QList<QUrl> servers = done.first().first().value<QList<QUrl>>();
    std::sort(servers.begin(), servers.end(),
              [](const QUrl& a, const QUrl& b) { return a.toString() < b.toString(); });
    QCOMPARE(servers.size(), 2);
    QCOMPARE(servers.at(0), QUrl(QStringLiteral("udp://127.0.0.2:%1").arg(first.port())));
    QCOMPARE(servers.at(1), QUrl(QStringLiteral("udp://127.0.0.3:%1").arg(second.port())));
}

QTEST_GUILESS_MAIN(tst_ServiceProtoClient)
#include "tst_serviceprotoclient.moc"
