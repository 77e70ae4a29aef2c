#ifndef RESTSOCKETPAIR_H
#define RESTSOCKETPAIR_H

#include <QElapsedTimer>
#include <QScopedPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

// Two ends of one TCP connection on loopback: `local` connects, `remote` was accepted.
struct RestSocketPair
{
    QScopedPointer<QTcpSocket> local;
    QScopedPointer<QTcpSocket> remote;

    bool open()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        local.reset(new QTcpSocket);
        local->connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!server.waitForNewConnection(5000) || !local->waitForConnected(5000))
            return false;
        remote.reset(server.nextPendingConnection());
        remote->setParent(nullptr);
        return !remote.isNull();
    }
};

// Writes bytes and lets the event loop run until the kernel took them and the
// peer could read, so that each call arrives as its own segment.
inline void writeSegment(QTcpSocket* socket, const QByteArray& bytes)
{
    socket->write(bytes);
    while (socket->bytesToWrite() > 0 && socket->waitForBytesWritten(5000)) {
    }
    QTest::qWait(30);
}

// Runs the event loop until at least size bytes came or 5 s passed.
inline QByteArray readAtLeast(QIODevice* device, int size)
{
    QByteArray bytes;
    QElapsedTimer timer;
    timer.start();
    while (bytes.size() < size && timer.elapsed() < 5000) {
        QTest::qWait(10);
        bytes += device->readAll();
    }
    return bytes;
}

#endif // RESTSOCKETPAIR_H
