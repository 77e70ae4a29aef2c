#include <configurator-common/restclient.h>
#include <configurator-common/restconnection.h>
#include <configurator-common/restmessage.h>
#include <configurator-common/restserver.h>

#include "restsocketpair.h"
#include "scriptedrestservice.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

namespace {

const quint16 kServicePort = 80;

class RecordingClient : public RestClient
{
public:
    QList<int> statuses;

protected:
    void processResponse(RestMessage::ResponseStatus status, RestMessage*) override
    {
        statuses.append(int(status));
    }
};

bool connectClient(RestClient* client)
{
    QSignalSpy connected(client, &RestClient::connected);
    client->connectToHost(QHostAddress::LocalHost, kServicePort);
    return connected.wait(5000);
}

// Counts live instances so that tests can see which messages were deleted.
class TrackedMessage : public RestMessage
{
public:
    explicit TrackedMessage(int contentSize) : RestMessage(QStringLiteral("HTTP/1.1 200 OK"))
    {
        ++alive;
        setContent(QByteArray(contentSize, 'c'));
    }
    ~TrackedMessage() override { --alive; }
    static int alive;
};
int TrackedMessage::alive = 0;

// Keeps every byte written as waiting, like a socket whose peer stopped
// reading; each wait for written bytes fails.
class StalledDevice : public QBuffer
{
public:
    StalledDevice() { open(QIODevice::ReadWrite); }
    qint64 bytesToWrite() const override { return buffer().size(); }
};

QByteArray response(const QByteArray& body, const QByteArray& line = "HTTP/1.1 200 OK")
{
    return line + "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 23);
    return bytes;
}

using Bytes = QList<QByteArray>;

} // namespace

// RestConnection over a socket pair; RestClient and RestServer (a scripted
// service on the service port) over real TCP.
class tst_RestTransport : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void sendingWritesHeaderBlocksAndChunks();
    void messagesArriveWholeInAnySplit_data();
    void messagesArriveWholeInAnySplit();
    void badInputClosesConnection_data();
    void badInputClosesConnection();
    void flushAndCloseEndsWhenDeviceStalls();
    void destroyingDeletesEveryMessage();
    void startLineDispatch_data();
    void startLineDispatch();
    void pipelinedRequestsAreDecodedAndAnsweredInOrder();
    void lostConnectionsAreRelayedAndDiscarded();

private:
    QTcpSocket* connectPeer();

    RestSocketPair pair;
    QScopedPointer<ScriptedRestService> service;
};

void tst_RestTransport::init()
{
    QVERIFY(pair.open());
    service.reset(new ScriptedRestService);
    QVERIFY2(service->listen(QHostAddress::LocalHost, kServicePort), qPrintable(service->errorString()));
}

void tst_RestTransport::sendingWritesHeaderBlocksAndChunks()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy progress(&connection, &RestConnection::uploadProgress);
    QSignalSpy sent(&connection, &RestConnection::messageSent);
    QList<qint64> writeBufferAtProgress;
    connect(&connection, &RestConnection::uploadProgress, this,
            [&]() { writeBufferAtProgress.append(pair.local->bytesToWrite()); });
    RestMessage* first = new RestMessage(QStringLiteral("GET /1 HTTP/1.1"));
    RestMessage* second = new RestMessage(QStringLiteral("PUT /file HTTP/1.1"));
    second->setContent(pattern(25000));
    const QByteArray expected = first->toByteArray() + second->toByteArray();
    const qint64 firstHeader = first->headerBlock().size();
    const qint64 headers = firstHeader + second->headerBlock().size();

    connection.sendMessage(first);
    QCOMPARE(pair.local->bytesToWrite(), firstHeader);
    QCOMPARE(progress.count(), 0);
    connection.sendMessage(second);
    // The first message is finished before the second header block goes
    // out, and no content follows that header in the same call.
    QCOMPARE(sent.count(), 1);
    QCOMPARE(pair.local->bytesToWrite(), headers);

    // Flushing writes the rest in chunks, each only after the last has left.
    connection.flushAndClose();
    QCOMPARE(sent.count(), 2);
    QVERIFY(!pair.local->isOpen());
    const qint64 progressArgs[][2] = { { 0, 0 }, { 0, 25000 }, { 10240, 25000 }, { 20480, 25000 }, { 25000, 25000 } };
    QCOMPARE(progress.count(), 5);
    for (int i = 0; i < 5; ++i)
        QCOMPARE(progress.at(i), QVariantList({ progressArgs[i][0], progressArgs[i][1] }));
    for (qint64 waiting : writeBufferAtProgress)
        QVERIFY2(waiting < RestConnection::kChunkSize, qPrintable(QString::number(waiting)));
    QCOMPARE(readAtLeast(pair.remote.data(), expected.size()), expected);
}

void tst_RestTransport::messagesArriveWholeInAnySplit_data()
{
    QTest::addColumn<Bytes>("segments");
    QTest::addColumn<QStringList>("startLines");
    QTest::addColumn<Bytes>("contents");

    const QByteArray one = response("{\"a\":1}");
    const QByteArray two = response("second", "HTTP/1.1 404 Not found");
    const QByteArray big = response(pattern(30000));
    const int oneHeader = one.indexOf("\r\n\r\n") + 4;
    const QStringList both = { "HTTP/1.1 200 OK", "HTTP/1.1 404 Not found" };

    QTest::newRow("header and body in one read") << Bytes{ one } << QStringList{ both.first() }
                                                 << Bytes{ "{\"a\":1}" };
    QTest::newRow("body in a later segment") << Bytes{ one.left(oneHeader), one.mid(oneHeader) }
                                             << QStringList{ both.first() } << Bytes{ "{\"a\":1}" };
    QTest::newRow("body split across segments")
        << Bytes{ big.left(100), big.mid(100, 12000), big.mid(12100, 9), big.mid(12109) }
        << QStringList{ both.first() } << Bytes{ pattern(30000) };
    QTest::newRow("header line split") << Bytes{ one.left(20), one.mid(20) } << QStringList{ both.first() }
                                       << Bytes{ "{\"a\":1}" };
    QTest::newRow("zero length followed at once by a response") << Bytes{ response("") + two } << both
                                                                << Bytes{ "", "second" };
    QTest::newRow("response pipelined behind another") << Bytes{ one + two } << both
                                                       << Bytes{ "{\"a\":1}", "second" };
    QTest::newRow("second response starts inside the first body's segment")
        << Bytes{ one.left(one.size() - 2), one.right(2) + two.left(5), two.mid(5) } << both
        << Bytes{ "{\"a\":1}", "second" };
    QTest::newRow("requests without length back to back")
        << Bytes{ "GET /1 HTTP/1.1\r\nrequest-id: 0\r\n\r\nGET /2 HTTP/1.1\r\n\r\n" }
        << QStringList{ "GET /1 HTTP/1.1", "GET /2 HTTP/1.1" } << Bytes{ QByteArray(), QByteArray() };
}

void tst_RestTransport::messagesArriveWholeInAnySplit()
{
    QFETCH(Bytes, segments);
    QFETCH(QStringList, startLines);
    QFETCH(Bytes, contents);

    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy received(&connection, &RestConnection::messageReceived);
    QSignalSpy progress(&connection, &RestConnection::downloadProgress);
    for (const QByteArray& segment : segments)
        writeSegment(pair.remote.data(), segment);
    QTRY_COMPARE(received.count(), startLines.size());

    for (int i = 0; i < startLines.size(); ++i) {
        QScopedPointer<RestMessage> message(connection.nextMessage());
        QVERIFY(message);
        QCOMPARE(message->startLine(), startLines.at(i));
        QIODevice* content = message->content();
        QCOMPARE(content != nullptr, !contents.at(i).isNull());
        if (content) {
            QCOMPARE(content->pos(), content->size());
            QVERIFY(content->seek(0));
            QCOMPARE(content->readAll(), contents.at(i));
        }
    }
    QVERIFY(!connection.nextMessage());
    QCOMPARE(connection.readState(), RestConnection::StateStartLine);
    QVERIFY(pair.local->isOpen());

    // Progress is reported as content arrives, growing to each declared length.
    QVERIFY(progress.count() >= segments.size() - 1);
    QList<qint64> declared, ends;
    for (const QByteArray& content : contents) {
        if (!content.isEmpty())
            declared.append(content.size());
    }
    qint64 last = 0;
    for (const QList<QVariant>& args : progress) {
        QCOMPARE(args.at(1).toLongLong(), declared.value(ends.size()));
        QVERIFY(args.at(0).toLongLong() > last);
        last = args.at(0).toLongLong();
        if (last == args.at(1).toLongLong())
            ends.append(std::exchange(last, 0));
    }
    QCOMPARE(ends, declared);
}

void tst_RestTransport::badInputClosesConnection_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("warning"); // none: accepted

    const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: ";
    const Bytes badLengths = { "-1", "abc", "", "0x10", "+3", "\xa0" "3", "1 2",
                               QByteArray::number(RestConnection::kMaxContentLength + 1),
                               "99999999999999999999999" };
    for (const QByteArray& length : badLengths)
        QTest::addRow("length '%s'", length.toPercentEncoding().constData())
            << head + length + "\r\n\r\nabc"
            << "RestConnection: closing the connection, invalid Content-Length";
    QTest::newRow("largest length")
        << head + QByteArray::number(RestConnection::kMaxContentLength) + "\r\n\r\nab" << QString();
    QTest::newRow("overlong header line")
        << "HTTP/1.1 200 OK\r\nX: " + QByteArray(RestConnection::kMaxLineLength, 'x')
        << "RestConnection: closing the connection, header line too long";
}

void tst_RestTransport::badInputClosesConnection()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, warning);
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy peerGone(pair.remote.data(), &QTcpSocket::disconnected);
    if (warning.isEmpty()) {
        writeSegment(pair.remote.data(), bytes);
        QTRY_COMPARE(connection.readState(), RestConnection::StateContent);
        QVERIFY(pair.local->isOpen());
        return;
    }
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    pair.remote->write(bytes);
    QTRY_COMPARE(peerGone.count(), 1);
    QVERIFY(!pair.local->isOpen());
    QVERIFY(!connection.nextMessage());
    QCOMPARE(connection.readState(), RestConnection::StateStartLine);
}

void tst_RestTransport::flushAndCloseEndsWhenDeviceStalls()
{
    StalledDevice device;
    RestConnection connection(&device, nullptr);
    QSignalSpy sent(&connection, &RestConnection::messageSent);
    TrackedMessage::alive = 0;
    for (int i = 0; i < 3; ++i)
        connection.sendMessage(new TrackedMessage(30000));
    QCOMPARE(TrackedMessage::alive, 3);
    QElapsedTimer timer;
    timer.start();
    connection.flushAndClose();
    QVERIFY(timer.elapsed() < RestConnection::kFlushTimeout);
    QCOMPARE(TrackedMessage::alive, 0);
    QCOMPARE(sent.count(), 0);
    QVERIFY(!device.isOpen());
    QCOMPARE(connection.writeState(), RestConnection::StateStartLine);
}

void tst_RestTransport::destroyingDeletesEveryMessage()
{
    TrackedMessage::alive = 0;
    {
        // Small kernel buffers and a peer that does not read keep the first
        // message half written and the other two queued.  The peer's socket
        // would otherwise read everything into memory while events run, and
        // Qt 6 writes fast enough for that to drain a whole message.
        pair.local->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 8192);
        pair.remote->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8192);
        pair.remote->setReadBufferSize(8192);
        RestConnection connection(pair.local.data(), nullptr);
        for (int i = 0; i < 3; ++i)
            connection.sendMessage(new TrackedMessage(4 * 1024 * 1024));
        // One received and not taken, one half read.
        writeSegment(pair.remote.data(), response("whole") + response(pattern(5000)).left(200));
        QTRY_COMPARE(connection.readState(), RestConnection::StateContent);
        QCOMPARE(TrackedMessage::alive, 3);
        QCOMPARE(connection.writeState(), RestConnection::StateContent);
    }
    QCOMPARE(TrackedMessage::alive, 0);
}

// A raw client of the service, deleted with it.
QTcpSocket* tst_RestTransport::connectPeer()
{
    QTcpSocket* peer = new QTcpSocket(service.data());
    peer->connectToHost(QHostAddress::LocalHost, kServicePort);
    return peer->waitForConnected(5000) ? peer : nullptr;
}

void tst_RestTransport::startLineDispatch_data()
{
    QTest::addColumn<bool>("toClient");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("status"); // -1: the receiver flushes and closes

    QTest::newRow("response 200") << true << QByteArray("HTTP/1.1 200 OK") << 200;
    QTest::newRow("response without reason") << true << QByteArray("HTTP/1.1 404") << 404;
    QTest::newRow("response HTTP/1.0") << true << QByteArray("HTTP/1.0 503 Service unavailable") << 503;
    QTest::newRow("response status not a number") << true << QByteArray("HTTP/1.1 abc") << 0;
    QTest::newRow("response lower-case protocol") << true << QByteArray("http/1.1 200 OK") << -1;
    QTest::newRow("response single word") << true << QByteArray("HTTP/1.1") << -1;
    QTest::newRow("request to a client") << true << QByteArray("GET / HTTP/1.1") << -1;
    QTest::newRow("request with two blanks") << false << QByteArray("GET  /a HTTP/1.1") << -1;
    QTest::newRow("request without protocol") << false << QByteArray("GET /a") << -1;
    QTest::newRow("request other protocol") << false << QByteArray("GET /a FTP/1.0") << -1;
    QTest::newRow("request in four parts") << false << QByteArray("GET /a HTTP/1.1 x") << -1;
    QTest::newRow("response to a server") << false << QByteArray("HTTP/1.1 200 OK") << -1;
}

void tst_RestTransport::startLineDispatch()
{
    QFETCH(bool, toClient);
    QFETCH(QByteArray, line);
    QFETCH(int, status);

    if (toClient) {
        RecordingClient client;
        QVERIFY(connectClient(&client));
        QSignalSpy gone(&client, &RestClient::disconnected);
        ScriptedRestService::Reply reply;
        reply.raw = line + "\r\n\r\n";
        service->addReply(reply);
        client.sendMessage(new RestMessage(QStringLiteral("GET / HTTP/1.1")));
        QTRY_VERIFY(gone.count() + client.statuses.size() > 0);
        QTest::qWait(50);
        QCOMPARE(gone.count(), status < 0 ? 1 : 0);
        QCOMPARE(client.statuses, status < 0 ? QList<int>() : QList<int>{ status });
        return;
    }
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    QSignalSpy gone(peer, &QTcpSocket::disconnected);
    peer->write(line + "\r\n\r\n");
    QTRY_COMPARE(gone.count(), 1);
    QCOMPARE(service->requests.size(), 0);
    QCOMPARE(peer->readAll(), QByteArray());
    QTRY_COMPARE(service->connections().size(), 0);
}

void tst_RestTransport::pipelinedRequestsAreDecodedAndAnsweredInOrder()
{
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    service->addReply({ 200, QStringLiteral("text/plain"), "first" });
    service->addReply({ 404 });
    peer->write("POST /a%20b HTTP/1.1\r\nrequest-id: 1\r\nContent-Length: 2\r\n\r\nab"
                "GET /2 HTTP/1.1\r\nrequest-id: 2\r\n\r\nGET /3 HTTP/1.1\r\nrequest-id: 3\r\n\r\n");
    // The third is left to RestServer's own handler.
    const QByteArray expected =
        "HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\nrequest-id: 1\r\nContent-Length: 5\r\n\r\nfirst"
        "HTTP/1.1 404 Not found\r\nrequest-id: 2\r\n\r\nHTTP/1.1 501 Not implemented\r\nrequest-id: 3\r\n\r\n";
    QCOMPARE(readAtLeast(peer, expected.size()), expected);
    QCOMPARE(service->requests.size(), 3);
    QCOMPARE(service->requests.at(0).method, QStringLiteral("POST"));
    QCOMPARE(service->requests.at(0).url.path(), QStringLiteral("/a b"));
    QCOMPARE(service->requests.at(0).content, QByteArray("ab"));
    QCOMPARE(service->requests.at(1).url, QUrl(QStringLiteral("/2")));
    QVERIFY(!service->requests.at(1).hasContent);
}

void tst_RestTransport::lostConnectionsAreRelayedAndDiscarded()
{
    RecordingClient client;
    QVERIFY(connectClient(&client));
    QTRY_COMPARE(service->connections().size(), 1);
    QTcpSocket* peer = connectPeer();
    QVERIFY(peer);
    QTRY_COMPARE(service->connections().size(), 2);
    QSignalSpy gone(&client, &RestClient::disconnected);
    QSignalSpy errors(&client, &RestClient::networkError);
    QPointer<RestConnection> served = service->connections().first();
    served->device()->close();
    QTRY_COMPARE(gone.count(), 1);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().value<QAbstractSocket::SocketError>(),
             QAbstractSocket::RemoteHostClosedError);
    QTRY_VERIFY(!served);
    QCOMPARE(service->connections().size(), 1);

    // The other client is still served; its own disconnection is noticed too.
    peer->write("GET /still HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(service->requests.size(), 1);
    peer->disconnectFromHost();
    QTRY_COMPARE(service->connections().size(), 0);
}

QTEST_GUILESS_MAIN(tst_RestTransport)
#include "tst_resttransport.moc"
