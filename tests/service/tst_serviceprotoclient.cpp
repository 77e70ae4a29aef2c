#include <configurator-common/serviceprotoclient.h>

#include "restsocketpair.h"
#include "scriptedrestservice.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

namespace {

const quint16 kServicePort = 80;
const quint16 kOtherPort = 8080;

bool connectClient(ServiceProtoClient* client, quint16 port = kServicePort)
{
    QSignalSpy connected(client, &RestClient::connected);
    if (port == kServicePort)
        client->connectToHost(QHostAddress::LocalHost); // the default port
    else
        client->connectToHost(QHostAddress::LocalHost, port);
    return connected.wait(5000);
}

// A plain TCP peer on the service port that takes the client's connection.
struct RawPeer
{
    QTcpServer server;
    QTcpSocket* socket = nullptr;

    bool accept(ServiceProtoClient* client)
    {
        if (!server.listen(QHostAddress::LocalHost, kServicePort) || !connectClient(client)
            || !(server.hasPendingConnections() || server.waitForNewConnection(5000)))
            return false;
        socket = server.nextPendingConnection();
        return socket != nullptr;
    }
};

} // namespace

Q_DECLARE_METATYPE(RestMessage::ResponseStatus)

class tst_ServiceProtoClient : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void requestsAreNumberedWithHeaders();
    void responseKinds();
    void responseWithoutLengthRunsToTheClose_data();
    void responseWithoutLengthRunsToTheClose();
    void waitForProtoData();
    void reconnectionKeepsNumberingAndTakesAPort();
    void searchFindsLoopbackResponders();

private:
    QScopedPointer<ScriptedRestService> service;
};

void tst_ServiceProtoClient::initTestCase()
{
    qRegisterMetaType<RestMessage::ResponseStatus>();
    qRegisterMetaType<QList<QUrl>>();
}

void tst_ServiceProtoClient::init()
{
    service.reset(new ScriptedRestService);
    QVERIFY(service->listen(QHostAddress::LocalHost, kServicePort));
}

void tst_ServiceProtoClient::requestsAreNumberedWithHeaders()
{
    // A raw peer sees the bytes exactly as written.
    service.reset();
    RawPeer raw;
    ServiceProtoClient client;
    QVERIFY(raw.accept(&client));
    QTcpSocket* peer = raw.socket;
    QSignalSpy auth(&client, &ServiceProtoClient::authRequired);
    client.setAuth(QStringLiteral("admin"), QStringLiteral("s3cr:t"));

    QCOMPARE(client.get(QUrl(QStringLiteral("/status"))), 0);
    client.setAuthRequire(true);
    QCOMPARE(client.put(QUrl(QStringLiteral("/cfg")), QString(), QByteArray()), 1);
    client.setAuthRequire(false);
    QCOMPARE(client.post(QUrl(QStringLiteral("/cfg")), QString(), QByteArray("xy")), 2);
    // A 401 makes every later request carry the authorization.
    peer->write("HTTP/1.1 401 Unauthorized\r\nrequest-id: 2\r\n\r\n");
    QTRY_COMPARE(auth.count(), 1);
    QCOMPARE(auth.first(), QVariantList{ 2 });
    QCOMPARE(client.post(QUrl(QStringLiteral("/j")), QStringLiteral("application/json"), QByteArray("{}")), 3);

    const QByteArray common = "Connection: Keep-Alive\r\nHost: 127.0.0.1:80\r\n";
    const QByteArray authorization = "Authorization: Basic YWRtaW46czNjcjp0\r\n";
    const QByteArray expected =
        "GET /status HTTP/1.1\r\n" + common + "request-id: 0\r\n\r\n"
        "PUT /cfg HTTP/1.1\r\n" + authorization + common + "content-type: \r\nrequest-id: 1\r\nContent-Length: 0\r\n\r\n"
        "POST /cfg HTTP/1.1\r\n" + common + "request-id: 2\r\nContent-Length: 2\r\n\r\nxy"
        "POST /j HTTP/1.1\r\n" + authorization + common
        + "content-type: application/json\r\nrequest-id: 3\r\nContent-Length: 2\r\n\r\n{}";
    QCOMPARE(readAtLeast(peer, expected.size()), expected);
}

void tst_ServiceProtoClient::responseKinds()
{
    // One reply of each kind, to requests 0 to 9 in turn.
    const QList<ScriptedRestService::Reply> replies = {
        { 200, "application/json; charset=utf-8", "{\"a\":1}" }, // data, a "json" payload
        { 200, "application/json", "null" },                      // nothing
        { 200, "application/json", "{\"a\":" },                   // nothing
        { 200, "text/plain", "hello" },                           // data only
        { 200, "application/octet-stream", QByteArray("\x01\x02\x03", 3) }, // a file
        { 404 },                                                  // data and a "status" payload
        { 200, QString(), "x" },                                  // the same
        { 500, "application/json", "{}" },                        // the same
        { 299, "text/plain" },                                    // the same
        { 401, "application/json", "{}" },                        // authorization required
    };
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    QSignalSpy done(&client, &ServiceProtoClient::requestDone);
    QSignalSpy data(&client, &ServiceProtoClient::dataReceived);
    QSignalSpy files(&client, &ServiceProtoClient::fileReceived);
    QSignalSpy auth(&client, &ServiceProtoClient::authRequired);
    for (int i = 0; i < replies.size(); ++i) {
        service->addReply(replies.at(i));
        QCOMPARE(client.get(QUrl(QStringLiteral("/kind"))), i);
    }
    QTRY_COMPARE(done.count(), replies.size());
    QTest::qWait(20);

    for (int i = 0; i < replies.size(); ++i)
        QCOMPARE(done.at(i), QVariantList({ i, QVariant::fromValue(RestMessage::ResponseStatus(replies.at(i).status)) }));
    QCOMPARE(QList<QVariantList>(data), (QList<QVariantList>{ { 0 }, { 3 }, { 5 }, { 6 }, { 7 }, { 8 } }));
    QCOMPARE(QList<QVariantList>(files), (QList<QVariantList>{ { 4, QUrl(), replies.at(4).content } }));
    QCOMPARE(QList<QVariantList>(auth), QList<QVariantList>{ { 9 } });
    const QStringList payloads = { "{ \"json\" : { \"a\" : 1 } }", "{ \"status\" : { \"status\" : 404 } }",
                                   "{ \"status\" : { \"status\" : 200 } }", "{ \"status\" : { \"status\" : 500 } }",
                                   "{ \"status\" : { \"status\" : 299 } }" };
    for (const QString& json : payloads) {
        QScopedPointer<ServiceProtoData> payload(client.nextProtoData());
        QVERIFY(payload);
        QCOMPARE(QString::fromUtf8(payload->toJson()), json);
    }
    QVERIFY(!client.nextProtoData());
}

void tst_ServiceProtoClient::responseWithoutLengthRunsToTheClose_data()
{
    QTest::addColumn<QByteArray>("later");  // written after a pause, before the close
    QTest::newRow("one write, then the close") << QByteArray();
    QTest::newRow("body in two writes") << QByteArray("3,\"d\":[4]}");
}

// HTTP/1.1: a response without a length ends when the connection closes.
void tst_ServiceProtoClient::responseWithoutLengthRunsToTheClose()
{
    QFETCH(QByteArray, later);
    service.reset();
    RawPeer raw;
    ServiceProtoClient client;
    QVERIFY(raw.accept(&client));
    QTcpSocket* peer = raw.socket;
    QSignalSpy done(&client, &ServiceProtoClient::requestDone);
    QCOMPARE(client.get(QUrl(QStringLiteral("/c"))), 0);
    peer->write("HTTP/1.1 200 OK\r\nrequest-id: 0\r\nContent-Type: application/json\r\n\r\n{\"c\":"
                + (later.isEmpty() ? QByteArray("3}") : QByteArray()));
    if (!later.isEmpty()) {
        QVERIFY(peer->waitForBytesWritten(1000));
        QTest::qWait(100);
        QVERIFY(done.isEmpty());
        peer->write(later);
    }
    peer->disconnectFromHost();
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(done.first(), QVariantList({ 0, QVariant::fromValue(RestMessage::ResponseStatus(200)) }));
    QScopedPointer<ServiceProtoData> payload(client.nextProtoData());
    QVERIFY(payload);
    QCOMPARE(QString::fromUtf8(payload->toJson()),
             later.isEmpty() ? QStringLiteral("{ \"json\" : { \"c\" : 3 } }")
                             : QStringLiteral("{ \"json\" : { \"c\" : 3, \"d\" : [ 4 ] } }"));
}

void tst_ServiceProtoClient::waitForProtoData()
{
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    service->addReply({ 200, QStringLiteral("application/json"), "[1, 2, 3]", 1500 });
    client.get(QUrl(QStringLiteral("/slow")));
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!client.waitForProtoData(500));
    const qint64 elapsed = timer.elapsed();
    QVERIFY2(elapsed >= 450 && elapsed < 1400, qPrintable(QString::number(elapsed)));

    // 0 waits without limit, until the data comes.
    QVERIFY(client.waitForProtoData(0));
    QScopedPointer<ServiceProtoData> payload(client.nextProtoData());
    QVERIFY(payload);
    QCOMPARE(payload->toVariant(), QVariant(QVariantList{ 1, 2, 3 }));
    // A payload left queued is the destructor's to delete.
    client.get(QUrl(QStringLiteral("/more")));
    QVERIFY(client.waitForProtoData(5000));
    QVERIFY(client.waitForProtoData(1));
}

void tst_ServiceProtoClient::reconnectionKeepsNumberingAndTakesAPort()
{
    ScriptedRestService other;
    QVERIFY(other.listen(QHostAddress::LocalHost, kOtherPort));
    ServiceProtoClient client;
    QVERIFY(connectClient(&client));
    QCOMPARE(client.get(QUrl(QStringLiteral("/a"))), 0);
    QTRY_COMPARE(service->requests.size(), 1);
    QSignalSpy gone(&client, &RestClient::disconnected);
    service->connections().first()->device()->close();
    QTRY_COMPARE(gone.count(), 1);

    QVERIFY(connectClient(&client, kOtherPort));
    QCOMPARE(client.get(QUrl(QStringLiteral("/b"))), 1);
    QTRY_COMPARE(other.requests.size(), 1);
    QCOMPARE(other.requests.at(0).headers.value(QStringLiteral("request-id")), QStringLiteral("1"));
    QCOMPARE(service->requests.size(), 1);
}

void tst_ServiceProtoClient::searchFindsLoopbackResponders()
{
    const QNetworkInterface loopback = QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
    // Responders on their own loopback addresses; the last one is some other device.
    QUdpSocket group;
    QVERIFY(group.bind(QHostAddress::AnyIPv4, 1900, QUdpSocket::ShareAddress));
    QVERIFY(group.joinMulticastGroup(QHostAddress(QStringLiteral("239.255.255.250")), loopback));
    QUdpSocket responders[3];
    const QByteArray targets[3] = { kServiceDeviceType, kServiceDeviceType, "upnp:rootdevice" };
    for (int i = 0; i < 3; ++i)
        QVERIFY(responders[i].bind(QHostAddress(QStringLiteral("127.0.0.%1").arg(i + 2)), 0));
    QList<QByteArray> searches;
    connect(&group, &QUdpSocket::readyRead, this, [&]() {
        while (group.hasPendingDatagrams()) {
            const QNetworkDatagram search = group.receiveDatagram();
            if (!search.data().startsWith("M-SEARCH"))
                continue;
            searches.append(search.data());
            for (int i = 0; i < 3; ++i)
                responders[i].writeDatagram("HTTP/1.1 200 OK\r\nST: " + targets[i] + "\r\nUSN: uuid:0::"
                                                + targets[i] + "\r\nEXT: \r\n\r\n",
                                            search.senderAddress(), quint16(search.senderPort()));
        }
    });

    ServiceProtoClient client;
    QSignalSpy done(&client, &ServiceProtoClient::searchDone);
    client.search(loopback, 1000);
    QVERIFY(done.wait(5000));
    QCOMPARE(done.count(), 1);
    QCOMPARE(searches.size(), 1);
    QVERIFY(searches.first().contains(QByteArray("ST: ") + kServiceDeviceType));

    const QList<QUrl> servers = done.first().first().value<QList<QUrl>>();
    QCOMPARE(QSet<QUrl>(servers.begin(), servers.end()),
             QSet<QUrl>({ QUrl(QStringLiteral("udp://127.0.0.2:%1").arg(responders[0].localPort())),
                          QUrl(QStringLiteral("udp://127.0.0.3:%1").arg(responders[1].localPort())) }));
    QCOMPARE(servers.size(), 2);
}

QTEST_GUILESS_MAIN(tst_ServiceProtoClient)
#include "tst_serviceprotoclient.moc"
