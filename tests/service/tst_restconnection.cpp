#include <configurator-common/restconnection.h>
#include <configurator-common/restmessage.h>

#include "restsocketpair.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

// Counts live instances so that tests can see which messages were deleted.
class TrackedMessage : public RestMessage
{
public:
    explicit TrackedMessage(const QString& line) : RestMessage(line) { ++alive; }
    ~TrackedMessage() override { --alive; }
    static int alive;
};
int TrackedMessage::alive = 0;

// A device that takes every byte but never gets rid of them, like a socket
// whose peer stopped reading: each wait for written bytes fails.
class StalledDevice : public QIODevice
{
public:
    StalledDevice() { open(QIODevice::ReadWrite); }
    bool isSequential() const override { return true; }
    qint64 bytesToWrite() const override { return pending.size(); }
    bool waitForBytesWritten(int) override { return false; }
    QByteArray pending;

protected:
    qint64 readData(char*, qint64) override { return 0; }
    qint64 writeData(const char* data, qint64 size) override
    {
        pending.append(data, int(size));
        return size;
    }
};

struct Received
{
    QString startLine;
    QStringList headerNames;
    bool hasContent;
    QByteArray content;
};

QList<Received> takeAll(RestConnection* connection)
{
    QList<Received> all;
    while (RestMessage* message = connection->nextMessage()) {
        Received r;
        r.startLine = message->startLine();
        r.headerNames = message->headers();
        r.hasContent = message->content() != nullptr;
        if (r.hasContent) {
            // Left positioned at its end by the reader.
            if (message->content()->pos() != message->content()->size())
                r.startLine += QStringLiteral(" <not at end>");
            message->content()->seek(0);
            r.content = message->content()->readAll();
        }
        all.append(r);
        delete message;
    }
    return all;
}

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

} // namespace

Q_DECLARE_METATYPE(QList<QByteArray>)

class tst_RestConnection : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void backToBackMessagesWriteOneHeaderBlockPerCall();
    void contentGoesOutInChunksWithProgress();
    void messageArrivesWholeInAnySplit_data();
    void messageArrivesWholeInAnySplit();
    void downloadProgressEndsAtDeclaredLength();
    void withoutLengthNothingIsContent();
    void badLengthClosesConnection_data();
    void badLengthClosesConnection();
    void largestLengthIsAccepted();
    void overlongLineClosesConnection();
    void flushAndCloseWritesEverythingThenCloses();
    void flushAndCloseEndsWhenDeviceStalls();
    void destroyingDeletesEveryMessage();
    void disconnectedIsRelayed();

private:
    RestSocketPair pair;
};

void tst_RestConnection::init()
{
    QVERIFY(pair.open());
}

void tst_RestConnection::backToBackMessagesWriteOneHeaderBlockPerCall()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy progress(&connection, &RestConnection::uploadProgress);
    QSignalSpy sent(&connection, &RestConnection::messageSent);

    RestMessage* first = new RestMessage(QStringLiteral("GET /1 HTTP/1.1"));
    const QByteArray firstBytes = first->toByteArray();
    connection.sendMessage(first);
    QCOMPARE(pair.local->bytesToWrite(), qint64(firstBytes.size()));
    QCOMPARE(progress.count(), 0);
    QCOMPARE(connection.writeState(), RestConnection::StateContent);

    RestMessage* second = new RestMessage(QStringLiteral("GET /2 HTTP/1.1"));
    const QByteArray secondBytes = second->toByteArray();
    connection.sendMessage(second);
    // The first message is finished before the second header block goes out.
    QCOMPARE(progress.count(), 1);
    QCOMPARE(progress.at(0), QVariantList({ qint64(0), qint64(0) }));
    QCOMPARE(sent.count(), 1);
    QCOMPARE(pair.local->bytesToWrite(), qint64(firstBytes.size() + secondBytes.size()));

    QByteArray arrived;
    QTRY_VERIFY((arrived += pair.remote->readAll()).size() >= firstBytes.size() + secondBytes.size());
    QCOMPARE(arrived, firstBytes + secondBytes);
    QTRY_COMPARE(sent.count(), 2);
    QCOMPARE(progress.count(), 2);
    QCOMPARE(connection.writeState(), RestConnection::StateStartLine);
}

void tst_RestConnection::contentGoesOutInChunksWithProgress()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy progress(&connection, &RestConnection::uploadProgress);
    QSignalSpy sent(&connection, &RestConnection::messageSent);
    QList<qint64> writeBufferAtProgress;
    connect(&connection, &RestConnection::uploadProgress, this,
            [&]() { writeBufferAtProgress.append(pair.local->bytesToWrite()); });

    RestMessage* message = new RestMessage(QStringLiteral("PUT /file HTTP/1.1"));
    const QByteArray content = pattern(25000);
    message->setContent(content);
    const QByteArray header = message->headerBlock();
    connection.sendMessage(message);

    QTRY_COMPARE(sent.count(), 1);
    QCOMPARE(progress.count(), 4);
    const qint64 readies[] = { 0, 10240, 20480, 25000 };
    for (int i = 0; i < 4; ++i)
        QCOMPARE(progress.at(i), QVariantList({ readies[i], qint64(25000) }));
    // Writing pauses while a chunk waits in the socket.
    for (qint64 waiting : writeBufferAtProgress)
        QVERIFY2(waiting < RestConnection::kChunkSize, qPrintable(QString::number(waiting)));

    QByteArray arrived;
    QTRY_VERIFY((arrived += pair.remote->readAll()).size() >= header.size() + content.size());
    QCOMPARE(arrived, header + content);
}

void tst_RestConnection::messageArrivesWholeInAnySplit_data()
{
    QTest::addColumn<QList<QByteArray>>("segments");
    QTest::addColumn<QStringList>("startLines");
    QTest::addColumn<QList<QByteArray>>("contents");

    const QByteArray one = response("{\"a\":1}");
    const QByteArray two = response("second", "HTTP/1.1 404 Not found");
    const QByteArray big = response(pattern(30000));
    const QByteArray empty = response(QByteArray());

    QTest::newRow("header and body in one read")
        << QList<QByteArray>({ one }) << QStringList({ "HTTP/1.1 200 OK" })
        << QList<QByteArray>({ "{\"a\":1}" });
    QTest::newRow("body in a later segment")
        << QList<QByteArray>({ one.left(one.indexOf("\r\n\r\n") + 4), one.mid(one.indexOf("\r\n\r\n") + 4) })
        << QStringList({ "HTTP/1.1 200 OK" }) << QList<QByteArray>({ "{\"a\":1}" });
    QTest::newRow("body split across segments")
        << QList<QByteArray>({ big.left(100), big.mid(100, 12000), big.mid(12100, 9), big.mid(12109) })
        << QStringList({ "HTTP/1.1 200 OK" }) << QList<QByteArray>({ pattern(30000) });
    QTest::newRow("header line split")
        << QList<QByteArray>({ one.left(20), one.mid(20) })
        << QStringList({ "HTTP/1.1 200 OK" }) << QList<QByteArray>({ "{\"a\":1}" });
    QTest::newRow("zero length followed at once by a response")
        << QList<QByteArray>({ empty + two })
        << QStringList({ "HTTP/1.1 200 OK", "HTTP/1.1 404 Not found" })
        << QList<QByteArray>({ "", "second" });
    QTest::newRow("response pipelined behind another")
        << QList<QByteArray>({ one + two })
        << QStringList({ "HTTP/1.1 200 OK", "HTTP/1.1 404 Not found" })
        << QList<QByteArray>({ "{\"a\":1}", "second" });
    QTest::newRow("second response starts inside the first body's segment")
        << QList<QByteArray>({ one.left(one.size() - 2), one.right(2) + two.left(5), two.mid(5) })
        << QStringList({ "HTTP/1.1 200 OK", "HTTP/1.1 404 Not found" })
        << QList<QByteArray>({ "{\"a\":1}", "second" });
    QTest::newRow("no content without length")
        << QList<QByteArray>({ QByteArray("HTTP/1.1 200 OK\r\nX: y\r\n\r\n") })
        << QStringList({ "HTTP/1.1 200 OK" }) << QList<QByteArray>({ QByteArray() });
}

void tst_RestConnection::messageArrivesWholeInAnySplit()
{
    QFETCH(QList<QByteArray>, segments);
    QFETCH(QStringList, startLines);
    QFETCH(QList<QByteArray>, contents);

    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy received(&connection, &RestConnection::messageReceived);
    for (const QByteArray& segment : segments)
        writeSegment(pair.remote.data(), segment);
    QTRY_COMPARE(received.count(), startLines.size());

    const QList<Received> all = takeAll(&connection);
    QCOMPARE(all.size(), startLines.size());
    for (int i = 0; i < all.size(); ++i) {
        QCOMPARE(all.at(i).startLine, startLines.at(i));
        QCOMPARE(all.at(i).content, contents.at(i));
        QCOMPARE(all.at(i).hasContent, !contents.at(i).isNull());
    }
    QCOMPARE(connection.readState(), RestConnection::StateStartLine);
    QVERIFY(pair.local->isOpen());
}

void tst_RestConnection::downloadProgressEndsAtDeclaredLength()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy progress(&connection, &RestConnection::downloadProgress);
    QSignalSpy received(&connection, &RestConnection::messageReceived);
    const QByteArray bytes = response(pattern(25000));
    const int headerSize = bytes.indexOf("\r\n\r\n") + 4;
    writeSegment(pair.remote.data(), bytes.left(headerSize + 1000));
    writeSegment(pair.remote.data(), bytes.mid(headerSize + 1000, 5000));
    writeSegment(pair.remote.data(), bytes.mid(headerSize + 6000));
    QTRY_COMPARE(received.count(), 1);

    QVERIFY(progress.count() >= 3);
    qint64 last = 0;
    for (const QList<QVariant>& args : progress) {
        QVERIFY(args.at(0).toLongLong() > last);
        QCOMPARE(args.at(1).toLongLong(), qint64(25000));
        last = args.at(0).toLongLong();
    }
    QCOMPARE(progress.first().at(0).toLongLong(), qint64(1000));
    QCOMPARE(last, qint64(25000));
    delete connection.nextMessage();
}

void tst_RestConnection::withoutLengthNothingIsContent()
{
    // Two requests without content, written back to back as a client does.
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy received(&connection, &RestConnection::messageReceived);
    writeSegment(pair.remote.data(), "GET /1 HTTP/1.1\r\nrequest-id: 0\r\n\r\nGET /2 HTTP/1.1\r\n\r\n");
    QTRY_COMPARE(received.count(), 2);
    const QList<Received> all = takeAll(&connection);
    QCOMPARE(all.size(), 2);
    QCOMPARE(all.at(0).startLine, QStringLiteral("GET /1 HTTP/1.1"));
    QCOMPARE(all.at(0).hasContent, false);
    QCOMPARE(all.at(1).startLine, QStringLiteral("GET /2 HTTP/1.1"));
}

void tst_RestConnection::badLengthClosesConnection_data()
{
    QTest::addColumn<QByteArray>("length");
    QTest::newRow("negative") << QByteArray("-1");
    QTest::newRow("not a number") << QByteArray("abc");
    QTest::newRow("empty") << QByteArray("");
    QTest::newRow("hexadecimal") << QByteArray("0x10");
    QTest::newRow("plus sign") << QByteArray("+3");
    QTest::newRow("no-break space before digits") << QByteArray("\xa0" "3");
    QTest::newRow("inner blank") << QByteArray("1 2");
    QTest::newRow("one over the bound")
        << QByteArray::number(RestConnection::kMaxContentLength + 1);
    QTest::newRow("beyond 64 bits") << QByteArray("99999999999999999999999");
}

void tst_RestConnection::badLengthClosesConnection()
{
    QFETCH(QByteArray, length);
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy received(&connection, &RestConnection::messageReceived);
    QSignalSpy peerGone(pair.remote.data(), &QTcpSocket::disconnected);
    QTest::ignoreMessage(QtWarningMsg, "RestConnection: closing the connection, invalid Content-Length");
    pair.remote->write("HTTP/1.1 200 OK\r\nContent-Length: " + length + "\r\n\r\nabc");
    QTRY_COMPARE(peerGone.count(), 1);
    QCOMPARE(received.count(), 0);
    QVERIFY(!pair.local->isOpen());
    QVERIFY(!connection.nextMessage());
    QCOMPARE(connection.readState(), RestConnection::StateStartLine);
}

void tst_RestConnection::largestLengthIsAccepted()
{
    RestConnection connection(pair.local.data(), nullptr);
    writeSegment(pair.remote.data(), "HTTP/1.1 200 OK\r\nContent-Length: "
                 + QByteArray::number(RestConnection::kMaxContentLength) + "\r\n\r\nab");
    QTRY_COMPARE(connection.readState(), RestConnection::StateContent);
    QVERIFY(pair.local->isOpen());
}

void tst_RestConnection::overlongLineClosesConnection()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy peerGone(pair.remote.data(), &QTcpSocket::disconnected);
    QTest::ignoreMessage(QtWarningMsg, "RestConnection: closing the connection, header line too long");
    pair.remote->write("HTTP/1.1 200 OK\r\nX: " + QByteArray(RestConnection::kMaxLineLength, 'x'));
    QTRY_COMPARE(peerGone.count(), 1);
    QVERIFY(!connection.nextMessage());
}

void tst_RestConnection::flushAndCloseWritesEverythingThenCloses()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy sent(&connection, &RestConnection::messageSent);
    QByteArray expected;
    for (int i = 0; i < 3; ++i) {
        RestMessage* message = new RestMessage(QStringLiteral("HTTP/1.1 200 OK"));
        message->setContent(pattern(50000 + i));
        expected += message->toByteArray();
        connection.sendMessage(message);
    }
    connection.flushAndClose();
    QCOMPARE(sent.count(), 3);
    QVERIFY(!pair.local->isOpen());

    QByteArray arrived;
    QTRY_VERIFY((arrived += pair.remote->readAll()).size() >= expected.size());
    QCOMPARE(arrived, expected);
}

void tst_RestConnection::flushAndCloseEndsWhenDeviceStalls()
{
    StalledDevice device;
    RestConnection connection(&device, nullptr);
    QSignalSpy sent(&connection, &RestConnection::messageSent);
    TrackedMessage::alive = 0;
    for (int i = 0; i < 3; ++i) {
        TrackedMessage* message = new TrackedMessage(QStringLiteral("HTTP/1.1 200 OK"));
        message->setContent(pattern(30000));
        connection.sendMessage(message);
    }
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

void tst_RestConnection::destroyingDeletesEveryMessage()
{
    TrackedMessage::alive = 0;
    {
        // Small kernel buffers and a peer that does not read keep the first
        // message half written and the other two queued.
        pair.local->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 8192);
        pair.remote->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8192);
        RestConnection connection(pair.local.data(), nullptr);
        for (int i = 0; i < 3; ++i) {
            TrackedMessage* message = new TrackedMessage(QStringLiteral("HTTP/1.1 200 OK"));
            message->setContent(pattern(4 * 1024 * 1024));
            connection.sendMessage(message);
        }
        // One received and not taken, one half read.
        writeSegment(pair.remote.data(), response("whole") + response(pattern(5000)).left(200));
        QTRY_COMPARE(connection.readState(), RestConnection::StateContent);
        QCOMPARE(TrackedMessage::alive, 3);
        QCOMPARE(connection.writeState(), RestConnection::StateContent);
    }
    QCOMPARE(TrackedMessage::alive, 0);
}

void tst_RestConnection::disconnectedIsRelayed()
{
    RestConnection connection(pair.local.data(), nullptr);
    QSignalSpy disconnected(&connection, &RestConnection::disconnected);
    pair.remote->disconnectFromHost();
    QTRY_COMPARE(disconnected.count(), 1);

    // A plain device has no such signal and needs none.
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    RestConnection onBuffer(&buffer, nullptr);
    onBuffer.sendMessage(new RestMessage(QStringLiteral("GET / HTTP/1.1")));
    QCOMPARE(buffer.data(), QByteArray("GET / HTTP/1.1\r\n\r\n"));
}

QTEST_GUILESS_MAIN(tst_RestConnection)
#include "tst_restconnection.moc"
