#include <configurator-common/restclient.h>

#include <QBuffer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

const quint16 kServicePort = 80;
const quint16 kClosedPort = 81;

class RecordingClient : public RestClient
{
public:
    struct Response
    {
        int status;
        QString startLine;
        QByteArray content;
    };
    QList<Response> responses;

protected:
    void processResponse(RestMessage::ResponseStatus status, RestMessage* response) override
    {
        Response r{ int(status), response->startLine(), QByteArray() };
        if (QIODevice* content = response->content()) {
            content->seek(0);
            r.content = content->readAll();
        }
        responses.append(r);
    }
};

} // namespace

class tst_RestClient : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void requestCarriesHostAndKeepAlive();
    void responseDispatch_data();
    void responseDispatch();
    void socketStateIsRelayed();
    void refusedConnectionIsANetworkError();

private:
    bool connectClient(RecordingClient* client);

    QTcpServer* server = nullptr;
    QTcpSocket* peer = nullptr;
};

void tst_RestClient::init()
{
    server = new QTcpServer;
    QVERIFY2(server->listen(QHostAddress::LocalHost, kServicePort), qPrintable(server->errorString()));
}

void tst_RestClient::cleanup()
{
    delete server;
    server = nullptr;
    peer = nullptr;
}

bool tst_RestClient::connectClient(RecordingClient* client)
{
    QSignalSpy connected(client, &RestClient::connected);
    client->connectToHost(QHostAddress::LocalHost, kServicePort);
    if (!server->waitForNewConnection(5000))
        return false;
    peer = server->nextPendingConnection();
    return connected.count() == 1 || connected.wait(5000);
}

void tst_RestClient::requestCarriesHostAndKeepAlive()
{
    RecordingClient client;
    QVERIFY(connectClient(&client));
    RestMessage* request = new RestMessage;
    client.prepareRequest(request, QStringLiteral("GET"), QUrl(QStringLiteral("/status")));
    QCOMPARE(request->startLine(), QStringLiteral("GET /status HTTP/1.1"));
    client.sendMessage(request);

    const QByteArray expected = "GET /status HTTP/1.1\r\nConnection: Keep-Alive\r\nHost: 127.0.0.1:80\r\n\r\n";
    QByteArray arrived;
    QTRY_VERIFY((arrived += peer->readAll()).size() >= expected.size());
    QCOMPARE(arrived, expected);
}

void tst_RestClient::responseDispatch_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("closes");

    QTest::newRow("200 with body")
        << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nabc") << 200 << QByteArray("abc") << false;
    QTest::newRow("404 without reason") << QByteArray("HTTP/1.1 404\r\n\r\n") << 404 << QByteArray() << false;
    QTest::newRow("HTTP/1.0") << QByteArray("HTTP/1.0 503 Service unavailable\r\n\r\n") << 503 << QByteArray() << false;
    QTest::newRow("status not a number") << QByteArray("HTTP/1.1 abc\r\n\r\n") << 0 << QByteArray() << false;
    QTest::newRow("lower-case protocol") << QByteArray("http/1.1 200 OK\r\n\r\n") << -1 << QByteArray() << true;
    QTest::newRow("single word") << QByteArray("HTTP/1.1\r\n\r\n") << -1 << QByteArray() << true;
    QTest::newRow("a request") << QByteArray("GET / HTTP/1.1\r\n\r\n") << -1 << QByteArray() << true;
}

void tst_RestClient::responseDispatch()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, status);
    QFETCH(QByteArray, content);
    QFETCH(bool, closes);

    RecordingClient client;
    QVERIFY(connectClient(&client));
    QSignalSpy clientGone(&client, &RestClient::disconnected);
    QSignalSpy peerGone(peer, &QTcpSocket::disconnected);
    peer->write(bytes);
    if (closes) {
        QTRY_COMPARE(peerGone.count(), 1);
        QTRY_COMPARE(clientGone.count(), 1);
        QVERIFY(client.responses.isEmpty());
        return;
    }
    QTRY_COMPARE(client.responses.size(), 1);
    QCOMPARE(client.responses.first().status, status);
    QCOMPARE(client.responses.first().content, content);
    QTest::qWait(50);
    QCOMPARE(peerGone.count(), 0);
}

void tst_RestClient::socketStateIsRelayed()
{
    RecordingClient client;
    QVERIFY(connectClient(&client));
    QSignalSpy disconnected(&client, &RestClient::disconnected);
    QSignalSpy errors(&client, &RestClient::networkError);
    peer->disconnectFromHost();
    QTRY_COMPARE(disconnected.count(), 1);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().value<QAbstractSocket::SocketError>(),
             QAbstractSocket::RemoteHostClosedError);
}

void tst_RestClient::refusedConnectionIsANetworkError()
{
    RecordingClient client;
    QSignalSpy errors(&client, &RestClient::networkError);
    QSignalSpy connected(&client, &RestClient::connected);
    client.connectToHost(QHostAddress::LocalHost, kClosedPort);
    QTRY_COMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().value<QAbstractSocket::SocketError>(),
             QAbstractSocket::ConnectionRefusedError);
    QCOMPARE(connected.count(), 0);
}

QTEST_GUILESS_MAIN(tst_RestClient)
#include "tst_restclient.moc"
