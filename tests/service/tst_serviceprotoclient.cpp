#include <configurator-common/serviceprotoclient.h>
#include <configurator-common/serviceprotodata.h>

#include "scriptedrestservice.h"
#include "ssdptestpeer.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

Q_DECLARE_METATYPE(RestMessage::ResponseStatus)

// ServiceProtoClient against a raw peer or the scripted service on port 80.
class tst_ServiceProtoClient : public QObject
{
    Q_OBJECT

    QTcpServer raw;
    QTcpSocket* peer = nullptr;
    // Connects the client to a raw peer, or to the service when one is given.
    bool connectClient(ServiceProtoClient* client, ScriptedRestService* service = nullptr)
    {
        QSignalSpy connected(client, &RestClient::connected);
        if (!(service ? service : static_cast<QTcpServer*>(&raw))->listen(QHostAddress::LocalHost, 80))
            return false;
        client->connectToHost(QHostAddress::LocalHost); // the default port
        if (!connected.wait(5000) || (!service && !raw.hasPendingConnections() && !raw.waitForNewConnection(5000)))
            return false;
        peer = service ? nullptr : raw.nextPendingConnection();
        return service || peer;
    }

private slots:
    void initTestCase() { qRegisterMetaType<RestMessage::ResponseStatus>(); }
    void cleanup() { raw.close(); }

    void payloadsFromJson()
    {
        ServiceProtoStatus status;
        QVERIFY(status.fromJson(QByteArray("{\"a\": 1, \"status\": {\"status\": 7}}\0x", 35))); // ends at the zero
        QCOMPARE(status.status, 7);
        QVERIFY(!status.fromJson("[1]"));
        ProtoData data;
        QVERIFY(!data.fromJson("{\"status\": {\"status\": 1}}"));
        QVERIFY(data.fromJson("{\"json\": [1, 2]}"));
        QCOMPARE(data.toJson(), QByteArray("{ \"json\" : [ 1, 2 ] }"));
    }

    void requestsAreNumberedWithHeaders()
    {
        ServiceProtoClient client;
        QVERIFY(connectClient(&client));
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
        QCOMPARE(client.post(QUrl(QStringLiteral("/j")), QStringLiteral("application/json"), "{}"), 3);
        const QByteArray common = "Connection: Keep-Alive\r\nHost: 127.0.0.1:80\r\n";
        const QByteArray authorization = "Authorization: Basic YWRtaW46czNjcjp0\r\n";
        const QByteArray expected =
            "GET /status HTTP/1.1\r\n" + common + "request-id: 0\r\n\r\nPUT /cfg HTTP/1.1\r\n" + authorization
            + common + "content-type: \r\nrequest-id: 1\r\nContent-Length: 0\r\n\r\nPOST /cfg HTTP/1.1\r\n" + common
            + "request-id: 2\r\nContent-Length: 2\r\n\r\nxyPOST /j HTTP/1.1\r\n" + authorization + common
            + "content-type: application/json\r\nrequest-id: 3\r\nContent-Length: 2\r\n\r\n{}";
        QByteArray written; // grows at each try
        QTRY_COMPARE(written += peer->readAll(), expected);
    }

    void responseKinds()
    {
        const QList<ScriptedRestService::Reply> replies = {
            { 200, "application/json; charset=utf-8", "{\"a\":1}" }, // data, a "json" payload
            { 200, "application/json", "null" },                      // nothing
            { 200, "application/json", "{\"a\":" },                   // nothing
            { 200, "text/plain", "hello" },                           // data only
            { 200, "application/octet-stream", QByteArray("\x01\x02\x03", 3) }, // a file
            { 404 },                                                  // data and a "status" payload
            { 500, "application/json", "{}" },                        // the same
            { 401, "application/json", "{}" },                        // authorization required
            { 200, "application/json", "[1, 2, 3]", 1500 },           // late
        };
        ScriptedRestService service;
        ServiceProtoClient client;
        QVERIFY(connectClient(&client, &service));
        QSignalSpy done(&client, &ServiceProtoClient::requestDone);
        QSignalSpy data(&client, &ServiceProtoClient::dataReceived);
        QSignalSpy files(&client, &ServiceProtoClient::fileReceived);
        QSignalSpy auth(&client, &ServiceProtoClient::authRequired);
        for (int i = 0; i < replies.size(); ++i) {
            service.addReply(replies.at(i));
            QCOMPARE(client.get(QUrl(QStringLiteral("/kind"))), i);
        }
        QTRY_COMPARE(done.count(), replies.size() - 1);
        for (const QString& json : QStringList{ "{ \"json\" : { \"a\" : 1 } }", "{ \"status\" : { \"status\" : 404 } }",
                                     "{ \"status\" : { \"status\" : 500 } }" }) {
            QScopedPointer<ServiceProtoData> payload(client.nextProtoData());
            QVERIFY(payload);
            QCOMPARE(QString::fromUtf8(payload->toJson()), json);
        }
        QVERIFY(!client.waitForProtoData(300));
        QVERIFY(client.waitForProtoData(0)); // 0 waits without limit
        QCOMPARE(done.count(), replies.size());
        for (int i = 0; i < replies.size(); ++i)
            QCOMPARE(done.at(i).at(1).value<RestMessage::ResponseStatus>(), replies.at(i).status);
        QCOMPARE(QList<QVariantList>(data), (QList<QVariantList>{ { 0 }, { 3 }, { 5 }, { 6 }, { 8 } }));
        QCOMPARE(QList<QVariantList>(files), (QList<QVariantList>{ { 4, QUrl(), replies.at(4).content } }));
        QCOMPARE(QList<QVariantList>(auth), QList<QVariantList>{ { 7 } });
    }

    // Two responders on their own loopback addresses; the second is some other device.
    void searchFindsLoopbackResponders()
    {
        SsdpTestPeer device, other;
        QVERIFY(device.listen(QHostAddress(QStringLiteral("127.0.0.2"))));
        QVERIFY(other.listen(QHostAddress(QStringLiteral("127.0.0.3"))));
        ServiceProtoClient client;
        QSignalSpy done(&client, &ServiceProtoClient::searchDone);
        client.search(QNetworkInterface::interfaceFromName(QStringLiteral("lo")), 1000);
        QTRY_COMPARE(device.groupReceived.size(), 1);
        const QNetworkDatagram search = device.groupReceived.first();
        QVERIFY(search.data().startsWith("M-SEARCH"));
        QVERIFY(search.data().contains(QByteArray("ST: ") + kServiceDeviceType));
        for (auto* peer : { &device, &other }) {
            const QByteArray target = peer == &device ? kServiceDeviceType : "upnp:rootdevice";
            const QByteArray answer =
                "HTTP/1.1 200 OK\r\nST: " + target + "\r\nUSN: uuid:0::" + target + "\r\nEXT: \r\n\r\n";
            QVERIFY(peer->sendTo(answer, search.senderAddress(), quint16(search.senderPort())));
        }
        QVERIFY(done.wait(5000));
        QCOMPARE(device.groupReceived.size(), 1);
        QCOMPARE(done.first().first().value<QList<QUrl>>(),
                 QList<QUrl>{ QUrl(QStringLiteral("udp://127.0.0.2:%1").arg(device.unicast.localPort())) });
    }
};

QTEST_GUILESS_MAIN(tst_ServiceProtoClient)
#include "tst_serviceprotoclient.moc"
