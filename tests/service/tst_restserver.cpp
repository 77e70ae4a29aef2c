#include <configurator-common/restserver.h>

#include "scriptedrestservice.h"

#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

namespace {

const quint16 kServicePort = 80;

// Runs the event loop (the server lives in this thread) until size bytes came.
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

} // namespace

class tst_RestServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void requestPathIsPercentDecoded();
    void requestContentArrivesWhole();
    void badRequestLineClosesConnection_data();
    void badRequestLineClosesConnection();
    void pipelinedRequestsAreAnsweredInOrder();
    void defaultHandlerAnswersNotImplemented();
    void disconnectedClientsAreDiscarded();

private:
    QTcpSocket* connectPeer();

    ScriptedRestService* service = nullptr;
    QList<QTcpSocket*> peers;
};

void tst_RestServer::init()
{
    service = new ScriptedRestService;
    QVERIFY2(service->listen(QHostAddress::LocalHost, kServicePort), qPrintable(service->errorString()));
}

void tst_RestServer::cleanup()
{
    qDeleteAll(peers);
    peers.clear();
    delete service;
    service = nullptr;
}

QTcpSocket* tst_RestServer::connectPeer()
{
    QTcpSocket* peer = new QTcpSocket;
    peers.append(peer);
    peer->connectToHost(QHostAddress::LocalHost, kServicePort);
    if (!peer->waitForConnected(5000))
        return nullptr;
    return peer;
}

void tst_RestServer::requestPathIsPercentDecoded()
{
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    peer->write("GET /a%20b HTTP/1.1\r\nrequest-id: 3\r\n\r\n");
    QTRY_COMPARE(service->requests.size(), 1);
    QCOMPARE(service->requests.first().method, QStringLiteral("GET"));
    QCOMPARE(service->requests.first().url.path(), QStringLiteral("/a b"));
    QCOMPARE(service->requests.first().hasContent, false);
    const QByteArray expected = "HTTP/1.1 200 OK\r\nrequest-id: 3\r\n\r\n";
    QCOMPARE(readAtLeast(peer, expected.size()), expected);
}

void tst_RestServer::requestContentArrivesWhole()
{
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    const QByteArray body(20000, 'z');
    peer->write("PUT /f HTTP/1.1\r\nContent-Length: 20000\r\n\r\n");
    peer->waitForBytesWritten(1000);
    QTest::qWait(30);
    peer->write(body.left(7000));
    peer->waitForBytesWritten(1000);
    QTest::qWait(30);
    peer->write(body.mid(7000));
    QTRY_COMPARE(service->requests.size(), 1);
    QCOMPARE(service->requests.first().content, body);
}

void tst_RestServer::badRequestLineClosesConnection_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("two blanks") << QByteArray("GET  /a HTTP/1.1");
    QTest::newRow("no protocol") << QByteArray("GET /a");
    QTest::newRow("other protocol") << QByteArray("GET /a FTP/1.0");
    QTest::newRow("four parts") << QByteArray("GET /a HTTP/1.1 x");
    QTest::newRow("a response") << QByteArray("HTTP/1.1 200 OK");
}

void tst_RestServer::badRequestLineClosesConnection()
{
    QFETCH(QByteArray, line);
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    QSignalSpy gone(peer, &QTcpSocket::disconnected);
    peer->write(line + "\r\n\r\n");
    QTRY_COMPARE(gone.count(), 1);
    QCOMPARE(service->requests.size(), 0);
    QCOMPARE(peer->readAll(), QByteArray());
    QTRY_COMPARE(service->connections().size(), 0);
}

void tst_RestServer::pipelinedRequestsAreAnsweredInOrder()
{
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    service->addReply(ScriptedRestService::reply(200, QStringLiteral("text/plain"), "first"));
    service->addReply(ScriptedRestService::reply(404));
    peer->write("POST /1 HTTP/1.1\r\nrequest-id: 1\r\nContent-Length: 2\r\n\r\nabGET /2 HTTP/1.1\r\nrequest-id: 2\r\n\r\n");
    const QByteArray expected =
        "HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\nrequest-id: 1\r\nContent-Length: 5\r\n\r\nfirst"
        "HTTP/1.1 404 Not found\r\nrequest-id: 2\r\n\r\n";
    QCOMPARE(readAtLeast(peer, expected.size()), expected);
    QCOMPARE(service->requests.size(), 2);
    QCOMPARE(service->requests.at(0).content, QByteArray("ab"));
    QCOMPARE(service->requests.at(1).url, QUrl(QStringLiteral("/2")));
}

void tst_RestServer::defaultHandlerAnswersNotImplemented()
{
    RestServer plain;
    QVERIFY(plain.listen(QHostAddress::LocalHost, 0));
    QTcpSocket peer;
    peer.connectToHost(QHostAddress::LocalHost, plain.serverPort());
    QVERIFY(peer.waitForConnected(5000));
    peer.write("GET /x HTTP/1.1\r\nrequest-id: 5\r\n\r\n");
    const QByteArray expected = "HTTP/1.1 501 Not implemented\r\nrequest-id: 5\r\n\r\n";
    QCOMPARE(readAtLeast(&peer, expected.size()), expected);
}

void tst_RestServer::disconnectedClientsAreDiscarded()
{
    QTcpSocket* first = connectPeer();
    QTcpSocket* second = connectPeer();
    QVERIFY(first && second);
    QTRY_COMPARE(service->connections().size(), 2);
    QPointer<RestConnection> served = service->connections().first();
    first->disconnectFromHost();
    QTRY_COMPARE(service->connections().size(), 1);
    second->write("GET /still HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(service->requests.size(), 1);
    second->disconnectFromHost();
    QTRY_COMPARE(service->connections().size(), 0);
    QTRY_VERIFY(!served);
}

QTEST_GUILESS_MAIN(tst_RestServer)
#include "tst_restserver.moc"
