#include "scriptedrestservice.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

using Bytes = QList<QByteArray>;

namespace {

// Keeps every byte written as waiting, like a socket whose peer stopped reading.
class StalledDevice : public QBuffer
{
public:
    StalledDevice() { open(QIODevice::ReadWrite); }
    qint64 bytesToWrite() const override { return buffer().size(); }
};

QByteArray randomText(QRandomGenerator& gen, int size)
{
    QByteArray text;
    for (int i = 0; i < size; ++i)
        text += "abcXYZ019-_ "[gen.bounded(12)];
    return text.trimmed().isEmpty() ? QByteArray("v") : "v" + text + "v";
}

// Writes bytes and lets the event loop run until the kernel took them and the
// peer could read, so that each call arrives as its own segment.
void writeSegment(QTcpSocket* socket, const QByteArray& bytes)
{
    socket->write(bytes);
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(5000)) {
    }
    QTest::qWait(30);
}

} // namespace

// RestMessage and RestConnection over a real socket pair; RestServer (a
// scripted service on the service port) over real TCP.  A message read back
// writes the bytes it came as when its header names sort before "Content-Length".
class tst_RestTransport : public QObject
{
    Q_OBJECT

    QTcpServer server;
    QScopedPointer<QTcpSocket> local, remote;

private slots:
    // A fresh connection on loopback for each test: `local` connected, `remote` was accepted.
    void init()
    {
        QVERIFY(server.listen(QHostAddress::LocalHost, 0));
        local.reset(new QTcpSocket);
        local->connectToHost(QHostAddress::LocalHost, server.serverPort());
        QVERIFY(server.waitForNewConnection(5000) && local->waitForConnected(5000));
        remote.reset(server.nextPendingConnection());
        server.close();
    }

    // Random messages written by one end are read back whole by the other, and
    // their bytes are exactly start line, headers, the length of any content, content.
    void roundTrip()
    {
        QRandomGenerator gen(1234);
        RestConnection writer(local.data(), nullptr);
        RestConnection reader(remote.data(), nullptr);
        QSignalSpy received(&reader, &RestConnection::messageReceived);
        Bytes sent;
        for (int i = 0; i < 40; ++i) {
            const bool response = i % 2 && i != 39;
            auto* message = new RestMessage;
            if (response)
                message->setStartLine(RestMessage::ResponseStatus(200));
            else // one-pass substitution: the "%2" in the method stays
                message->setStartLine(QStringLiteral("PUT%2"), QUrl(QStringLiteral("/%1").arg(i)));
            QByteArray bytes =
                (response ? "HTTP/1.1 200 OK" : "PUT%2 /" + QByteArray::number(i) + " HTTP/1.1") + "\r\n";
            for (int h = 1, n = gen.bounded(4); h <= n; ++h) { // written in name order
                const QByteArray value = randomText(gen, gen.bounded(40));
                message->setHeader(QStringLiteral("A-%1").arg(h), QString::fromLatin1(value));
                bytes += "A-" + QByteArray::number(h) + ": " + value + "\r\n";
            }
            const int size = gen.bounded(4) == 0 ? 30000 + gen.bounded(5000) : gen.bounded(300) - 30;
            const QByteArray content = randomText(gen, qMax(size, 0)).left(qMax(size, 0));
            if (size >= 0 || response) {
                message->setContent(content);
                bytes += "Content-Length: " + QByteArray::number(content.size()) + "\r\n\r\n" + content;
            } else {
                bytes += "\r\n";
            }
            QCOMPARE(message->toByteArray(), bytes);
            sent.append(bytes);
            writer.sendMessage(message);
        }
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), sent.size(), 10000);
        for (const QByteArray& expected : qAsConst(sent))
            QCOMPARE(QScopedPointer<RestMessage>(reader.nextMessage())->toByteArray(), expected);
        QVERIFY(!reader.nextMessage());
    }

    // Segments from the peer and the messages they give, as written back.
    void streams_data()
    {
        QTest::addColumn<Bytes>("segments");
        QTest::addColumn<bool>("close"); // the peer closes after the last segment
        QTest::addColumn<Bytes>("messages");
        QTest::addColumn<QString>("warning"); // set: the connection is closed
        const auto row = [](const char* name, const Bytes& segments, const Bytes& messages = {},
                            const QString& warning = {}, bool close = false) {
            QTest::newRow(name) << segments << close << messages << warning;
        };
        const QByteArray one = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n{\"a\":1}";
        const QByteArray two = "HTTP/1.1 404 Not found\r\nContent-Length: 6\r\n\r\nsecond";
        const QByteArray big = "HTTP/1.1 200 OK\r\nContent-Length: 30000\r\n\r\n" + QByteArray(30000, 'b');
        const QByteArray zero = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n";
        row("body in a later segment", { one.left(38), one.mid(38) }, { one });
        row("header line split", { one.left(20), one.mid(20) }, { one });
        row("body split", { big.left(100), big.mid(100, 12000), big.mid(12100) }, { big });
        row("second starts in the first body's segment", { one.left(43), one.mid(43) + two.left(5), two.mid(5) },
            { one, two });
        row("zero length, then a response", { zero + two }, { zero, two });
        row("requests without length", { "GET /1 HTTP/1.1\r\n\r\nGET /2 HTTP/1.1\r\n\r\n" },
            { "GET /1 HTTP/1.1\r\n\r\n", "GET /2 HTTP/1.1\r\n\r\n" });
        row("response without length, nothing waiting", { "HTTP/1.1 200 OK\r\n\r\n" }, { "HTTP/1.1 200 OK\r\n\r\n" });
        row("response without length, body waiting: runs to the end of the stream",
            { "HTTP/1.1 200 OK\r\n\r\n{\"c\":", "3}" }, { "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\n{\"c\":3}" }, {},
            true);
        const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: ";
        for (const QByteArray& length : Bytes{ "-1", "abc", "", "0x10", "+3", "1 2", "99999999999999999999999",
                                               QByteArray::number(RestConnection::kMaxContentLength + 1) })
            row(("length " + length).constData(), { head + length + "\r\n\r\nabc" }, {}, "invalid Content-Length");
        row("largest length waits", { head + QByteArray::number(RestConnection::kMaxContentLength) + "\r\n\r\nab" });
        row("overlong line", { "HTTP/1.1 200 OK\r\nX: " + QByteArray(RestConnection::kMaxLineLength, 'x') }, {},
            "header line too long");
        QByteArray block = "HTTP/1.1 200 OK\r\n";
        for (int i = 0; block.size() <= RestConnection::kMaxHeaderBlockSize; ++i)
            block += "X" + QByteArray::number(i) + ": " + QByteArray(60000, 'x') + "\r\n";
        row("header block too large", { block }, {}, "header block too large");
    }
    void streams()
    {
        QFETCH(Bytes, segments);
        QFETCH(bool, close);
        QFETCH(Bytes, messages);
        QFETCH(QString, warning);
        RestConnection connection(local.data(), nullptr);
        QSignalSpy received(&connection, &RestConnection::messageReceived);
        QSignalSpy peerGone(remote.data(), &QTcpSocket::disconnected);
        if (!warning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable("RestConnection: closing the connection, " + warning));
        for (const QByteArray& segment : segments)
            writeSegment(remote.data(), segment);
        if (close)
            remote->disconnectFromHost();
        if (!warning.isEmpty()) {
            QTRY_COMPARE(peerGone.count(), 1);
            QVERIFY(!local->isOpen());
        }
        QTRY_COMPARE(received.count(), messages.size());
        for (const QByteArray& expected : messages)
            QCOMPARE(QScopedPointer<RestMessage>(connection.nextMessage())->toByteArray(), expected);
        QVERIFY(!connection.nextMessage());
        const bool waiting = warning.isEmpty() && messages.isEmpty();
        QCOMPARE(connection.readState(), waiting ? RestConnection::StateContent : RestConnection::StateStartLine);
    }

    // A peer that stops reading must not hang flushAndClose(); queued messages are dropped.
    void flushAndCloseEndsWhenDeviceStalls()
    {
        StalledDevice device;
        RestConnection connection(&device, nullptr);
        QSignalSpy sent(&connection, &RestConnection::messageSent);
        for (int i = 0; i < 3; ++i) {
            auto* message = new RestMessage(QStringLiteral("HTTP/1.1 200 OK"));
            message->setContent(QByteArray(30000, 'c'));
            connection.sendMessage(message);
        }
        QElapsedTimer timer;
        timer.start();
        connection.flushAndClose();
        QVERIFY(timer.elapsed() < RestConnection::kFlushTimeout);
        QCOMPARE(sent.count(), 0);
        QVERIFY(!device.isOpen());
    }

    // Pipelined requests are answered in order; a bad start line closes the connection unanswered.
    void serverDispatch()
    {
        ScriptedRestService service;
        QVERIFY2(service.listen(QHostAddress::LocalHost, 80), qPrintable(service.errorString()));
        service.addReply({ 200, QStringLiteral("text/plain"), "first" });
        service.addReply({ 404 });
        QTcpSocket peer;
        peer.connectToHost(QHostAddress::LocalHost, 80);
        QVERIFY(peer.waitForConnected(5000));
        peer.write("POST /a%20b HTTP/1.1\r\nrequest-id: 1\r\nContent-Length: 2\r\n\r\nab"
                   "GET /2 HTTP/1.1\r\nrequest-id: 2\r\n\r\nGET /3 HTTP/1.1\r\nrequest-id: 3\r\n\r\n");
        QByteArray answers; // grows at each try
        QTRY_COMPARE(answers += peer.readAll(),
                     QByteArray("HTTP/1.1 200 OK\r\ncontent-type: text/plain\r\nrequest-id: 1\r\n"
                                "Content-Length: 5\r\n\r\nfirstHTTP/1.1 404 Not found\r\nrequest-id: 2\r\n\r\n"
                                "HTTP/1.1 501 Not implemented\r\nrequest-id: 3\r\n\r\n"));
        QCOMPARE(service.requests.size(), 3);
        QCOMPARE(service.requests.at(0).url.path(), QStringLiteral("/a b"));
        QCOMPARE(service.requests.at(0).content, QByteArray("ab"));
        QVERIFY(service.requests.at(1).content.isNull());

        for (const QByteArray& line : Bytes{ "GET  /a HTTP/1.1", "GET /a", "GET /a FTP/1.0", "GET /a HTTP/1.1 x",
                                            "HTTP/1.1 200 OK" }) {
            QTcpSocket bad;
            bad.connectToHost(QHostAddress::LocalHost, 80);
            QVERIFY(bad.waitForConnected(5000));
            QSignalSpy gone(&bad, &QTcpSocket::disconnected);
            bad.write(line + "\r\n\r\n");
            QTRY_COMPARE(gone.count(), 1);
            QCOMPARE(bad.readAll(), QByteArray());
        }
        QCOMPARE(service.requests.size(), 3);
    }
};

QTEST_GUILESS_MAIN(tst_RestTransport)
#include "tst_resttransport.moc"
