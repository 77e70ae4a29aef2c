#include "httptestserver.h"

#include <QTcpSocket>
#include <QTimer>

#include <memory>

HttpTestServer::HttpTestServer()
{
    connect(&server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer]() { readRequests(socket, *buffer); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

bool HttpTestServer::listen(const QHostAddress& address, quint16 port)
{
    QTimer::singleShot(180000, this, &HttpTestServer::close);
    return server.listen(address, port);
}

void HttpTestServer::close()
{
    server.close();
    // Accepted sockets are children of the server until they are deleted.
    for (QTcpSocket* socket : server.findChildren<QTcpSocket*>()) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void HttpTestServer::readRequests(QTcpSocket* socket, QByteArray& buffer)
{
    buffer += socket->readAll();
    for (int end = buffer.indexOf("\r\n\r\n"); end >= 0; end = buffer.indexOf("\r\n\r\n")) {
        HttpTestRequest request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        request.method = lines.value(0).split(' ').value(0);
        request.target = lines.value(0).split(' ').value(1);
        for (const QByteArray& line : lines.mid(1))
            request.headers.insert(line.left(line.indexOf(':')).trimmed().toLower(), line.mid(line.indexOf(':') + 1).trimmed());
        const int length = request.headers.value("content-length").toInt();
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        const QByteArray path = request.target.split('?').value(0);
        if (recording)
            requests.append(request);
        answer(socket, replies.value(path, HttpTestReply::make(404, "text/plain", "not found")));
        // From the event loop, not from here: a slot may start a request that
        // nests an event loop, and a socket does not announce new data again
        // while its readyRead() is still being handled.
        QMetaObject::invokeMethod(this, [this, path]() { emit requestReceived(path); }, Qt::QueuedConnection);
    }
}

void HttpTestServer::answer(QTcpSocket* socket, const HttpTestReply& reply)
{
    // The reason phrase is free text; clients go by the status code.
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n" + reply.headers;
    if (!reply.contentType.isEmpty())
        out += "Content-Type: " + reply.contentType + "\r\n";
    if (reply.streamed < 0) {
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n" + reply.body;
    } else {
        out += "Connection: close\r\n\r\n";
        auto left = std::make_shared<qint64>(reply.streamed);
        connect(socket, &QTcpSocket::bytesWritten, socket, [this, socket, left]() {
            const int n = int(qMin<qint64>(*left, 64 * 1024));
            if (socket->bytesToWrite() > 0)
                return;
            if (n == 0)
                return socket->disconnectFromHost();
            *left -= n;
            streamedBytes += socket->write(QByteArray(n, 'x'));
        });
    }
    if (reply.delayMs >= 0) // the socket as context drops the reply if the connection goes first
        QTimer::singleShot(reply.delayMs, socket, [socket, out]() { socket->write(out); });
}
