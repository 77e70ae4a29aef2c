#include "httptestserver.h"

#include <QTcpSocket>

namespace {

const QByteArray kHeaderEnd("\r\n\r\n");
const int kMaxRequestBytes = 64 * 1024 * 1024;
const int kStatusNoContent = 204;
const int kStatusNotFound = 404;

// Cuts one complete request off the front of `buffer`; false while incomplete.
bool takeRequest(QByteArray* buffer, HttpTestRequest* request)
{
    const int headerEnd = buffer->indexOf(kHeaderEnd);
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    HttpTestRequest parsed;
    parsed.method = requestLine.value(0);
    parsed.target = requestLine.value(1);
    for (const QByteArray& line : lines.mid(1)) {
        const int colon = line.indexOf(':');
        if (colon > 0)
            parsed.headers.append(qMakePair(line.left(colon).trimmed(), line.mid(colon + 1).trimmed()));
    }
    const int length = parsed.header("Content-Length").toInt();
    const int bodyStart = headerEnd + kHeaderEnd.size();
    if (buffer->size() - bodyStart < length)
        return false;
    parsed.body = buffer->mid(bodyStart, length);
    buffer->remove(0, bodyStart + length);
    *request = parsed;
    return true;
}

} // namespace

QByteArray HttpTestRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second.isNull() ? QByteArray("") : h.second;
    }
    return QByteArray();
}

HttpTestReply HttpTestReply::make(int status, const QByteArray& contentType, const QByteArray& body, int delayMs)
{
    HttpTestReply reply;
    reply.status = status;
    reply.contentType = contentType;
    reply.body = body;
    reply.delayMs = delayMs;
    return reply;
}

HttpTestServer::HttpTestServer(QObject* parent)
    : QObject(parent)
{
    connect(&server, &QTcpServer::newConnection, this, [this]() {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            buffers.insert(socket, QByteArray());
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { readRequests(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [this, socket]() {
                if (buffers.remove(socket))
                    socket->deleteLater();
            });
        }
    });
    lifetime.setSingleShot(true);
    connect(&lifetime, &QTimer::timeout, this, &HttpTestServer::close);
}

bool HttpTestServer::listen(const QHostAddress& address, quint16 port)
{
    if (!server.listen(address, port))
        return false;
    lifetime.start(kLifetimeMs);
    return true;
}

void HttpTestServer::close()
{
    lifetime.stop();
    server.close();
    const QList<QTcpSocket*> sockets = buffers.keys();
    buffers.clear();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void HttpTestServer::readRequests(QTcpSocket* socket)
{
    if (!buffers.contains(socket))
        return;
    QByteArray& buffer = buffers[socket];
    buffer += socket->readAll();
    if (buffer.size() > kMaxRequestBytes) {
        socket->abort();
        return;
    }
    HttpTestRequest request;
    while (takeRequest(&buffer, &request)) {
        const QByteArray path = request.target.split('?').value(0);
        if (recording)
            recorded.append(request);
        auto waiting = queued.find(path);
        const bool once = waiting != queued.end() && !waiting->isEmpty();
        answer(socket, once ? waiting->takeFirst()
                            : replies.value(path, HttpTestReply::make(kStatusNotFound, "text/plain", "not found")));
        // From the event loop, not from here: a slot may start a request that
        // nests an event loop, and a socket does not announce new data again
        // while its readyRead() is still being handled.
        QMetaObject::invokeMethod(this, [this, path]() { emit requestReceived(path); }, Qt::QueuedConnection);
    }
}

void HttpTestServer::answer(QTcpSocket* socket, const HttpTestReply& reply)
{
    if (reply.delayMs < 0)
        return;
    // The reason phrase is free text; clients go by the status code.
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + " Status\r\n";
    if (!reply.contentType.isEmpty())
        out += "Content-Type: " + reply.contentType + "\r\n";
    for (const auto& h : reply.headers)
        out += h.first + ": " + h.second + "\r\n";
    if (reply.status != kStatusNoContent)
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n" + reply.body;
    else
        out += "\r\n";
    if (reply.delayMs == 0)
        socket->write(out);
    else // the socket as context drops the reply if the connection goes first
        QTimer::singleShot(reply.delayMs, socket, [socket, out]() { socket->write(out); });
}
