#ifndef RESTSOCKETPAIR_H
#define RESTSOCKETPAIR_H

#include <QElapsedTimer>
#include <QHostAddress>
#include <QScopedPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Two ends of one TCP connection on loopback, for tests that need a real
// socket on each side: `local` is the connecting end, `remote` the accepted one.
struct RestSocketPair
{
    QScopedPointer<QTcpSocket> local;
    QScopedPointer<QTcpSocket> remote;

    bool open(const QHostAddress& address = QHostAddress::LocalHost)
    {
        QTcpServer server;
        if (!server.listen(address, 0))
            return false;
        local.reset(new QTcpSocket);
        local->connectToHost(address, server.serverPort());
        if (!server.waitForNewConnection(5000) || !local->waitForConnected(5000))
            return false;
        remote.reset(server.nextPendingConnection());
        remote->setParent(nullptr);
        return !remote.isNull();
    }
};

// Writes bytes to a socket and lets the event loop run until the kernel has
// taken them and the peer had a chance to read, so that each call arrives as
// its own segment.
inline void writeSegment(QTcpSocket* socket, const QByteArray& bytes, int settleMs = 30)
{
    socket->write(bytes);
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(5000)) {
    }
    QTest::qWait(settleMs);
}

// Runs the event loop (a server may live in this thread) until at least size
// bytes came or 5 s passed.
inline QByteArray readAtLeast(QIODevice* device, int size)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (bytes.size() < size && timer.elapsed() < 5000) {
        if (!device->bytesAvailable())
            QTest::qWait(10);
        bytes += device->readAll();
    }
    return bytes;
}

#endif // RESTSOCKETPAIR_H
