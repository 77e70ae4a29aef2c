#include "httptestserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPointer>
#include <QTcpSocket>

namespace {

const QByteArray kHeaderEnd("\r\n\r\n");
const QByteArray kLineEnd("\r\n");
const int kMaxRequestBytes = 64 * 1024 * 1024;
const int kStatusNoContent = 204;
const int kStatusNotModified = 304;
const int kStatusNotFound = 404;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 202: return "Accepted";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

bool hasBody(int status)
{
    return status != kStatusNoContent && status != kStatusNotModified && status >= 200;
}

} // namespace

bool HttpTestRequest::hasHeader(const QByteArray& name) const
{
    return !header(name).isNull();
}

QByteArray HttpTestRequest::header(const QByteArray& name) const
{
    for (const auto& h : headers) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second.isNull() ? QByteArray("") : h.second;
    }
    return QByteArray();
}

QByteArray HttpTestRequest::path() const
{
    const int query = target.indexOf('?');
    return query < 0 ? target : target.left(query);
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

HttpTestReply HttpTestReply::silent()
{
    HttpTestReply reply;
    reply.behaviour = Silent;
    return reply;
}

HttpTestServer::HttpTestServer(QObject* parent)
    : QObject(parent)
{
    defaultReply = HttpTestReply::make(kStatusNotFound, "text/plain", "not found");
    connect(&server, &QTcpServer::newConnection, this, &HttpTestServer::acceptConnections);
    lifetime.setSingleShot(true);
    connect(&lifetime, &QTimer::timeout, this, &HttpTestServer::close);
}

HttpTestServer::~HttpTestServer()
{
    close();
}

bool HttpTestServer::listen(const QHostAddress& address, quint16 port)
{
    if (!server.listen(address, port))
        return false;
    lifetime.start(kLifetimeMs);
    return true;
}

QHostAddress HttpTestServer::serverAddress() const
{
    return server.serverAddress();
}

quint16 HttpTestServer::serverPort() const
{
    return server.serverPort();
}

void HttpTestServer::close()
{
    lifetime.stop();
    server.close();
    const QList<QTcpSocket*> sockets = connections.keys();
    connections.clear();
    for (QTcpSocket* socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
}

void HttpTestServer::setReply(const QByteArray& path, const HttpTestReply& reply)
{
    replies.insert(path, reply);
}

void HttpTestServer::queueReply(const QByteArray& path, const HttpTestReply& reply)
{
    queued[path].append(reply);
}

void HttpTestServer::setDefaultReply(const HttpTestReply& reply)
{
    defaultReply = reply;
}

void HttpTestServer::setRecording(bool record)
{
    recording = record;
}

QList<HttpTestRequest> HttpTestServer::requests() const
{
    return recorded;
}

int HttpTestServer::requestCount() const
{
    return received;
}

void HttpTestServer::clearRequests()
{
    recorded.clear();
    received = 0;
}

bool HttpTestServer::waitForRequests(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (received < count && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    return received >= count;
}

void HttpTestServer::acceptConnections()
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        connections.insert(socket, Pending());
        connect(socket, &QTcpSocket::readyRead, this, &HttpTestServer::readRequests);
        connect(socket, &QTcpSocket::disconnected, this, &HttpTestServer::dropConnection);
    }
}

void HttpTestServer::dropConnection()
{
    QTcpSocket* socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || !connections.remove(socket))
        return;
    socket->disconnect(this);
    socket->deleteLater();
}

HttpTestReply HttpTestServer::replyFor(const QByteArray& path)
{
    auto waiting = queued.find(path);
    if (waiting != queued.end() && !waiting->isEmpty())
        return waiting->takeFirst();
    return replies.value(path, defaultReply);
}

// Cuts one complete request off the front of `buffer`; false while incomplete.
bool HttpTestServer::takeRequest(QByteArray* buffer, HttpTestRequest* request)
{
    const int headerEnd = buffer->indexOf(kHeaderEnd);
    if (headerEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer->left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    HttpTestRequest parsed;
    parsed.method = requestLine.value(0);
    parsed.target = requestLine.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines.at(i).trimmed();
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

void HttpTestServer::readRequests()
{
    QPointer<QTcpSocket> socket = qobject_cast<QTcpSocket*>(sender());
    if (!socket || !connections.contains(socket))
        return;
    connections[socket].buffer += socket->readAll();
    if (connections[socket].buffer.size() > kMaxRequestBytes) {
        socket->abort();
        return;
    }
    HttpTestRequest request;
    while (socket && connections.contains(socket) && takeRequest(&connections[socket].buffer, &request)) {
        ++received;
        if (recording)
            recorded.append(request);
        answer(socket, replyFor(request.path()));
        // Announced from the event loop, not from here: a slot may start a
        // request that nests an event loop, and a socket does not announce
        // new data again while its readyRead() is still being handled.
        const QByteArray path = request.path();
        QMetaObject::invokeMethod(this, [this, path]() { emit requestReceived(path); }, Qt::QueuedConnection);
    }
}

void HttpTestServer::answer(QTcpSocket* socket, const HttpTestReply& reply)
{
    switch (reply.behaviour) {
    case HttpTestReply::Silent:
        return;
    case HttpTestReply::Close:
        socket->disconnectFromHost();
        return;
    case HttpTestReply::Respond:
        break;
    }
    const QByteArray bytes = encode(reply);
    if (reply.delayMs <= 0) {
        socket->write(bytes);
        return;
    }
    // The socket as context drops the reply if the connection goes first.
    QTimer::singleShot(reply.delayMs, socket, [socket, bytes]() { socket->write(bytes); });
}

QByteArray HttpTestServer::encode(const HttpTestReply& reply)
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(reply.status) + ' ' + reasonPhrase(reply.status) + kLineEnd;
    if (!reply.contentType.isEmpty())
        out += "Content-Type: " + reply.contentType + kLineEnd;
    for (const auto& h : reply.headers)
        out += h.first + ": " + h.second + kLineEnd;
    if (hasBody(reply.status))
        out += "Content-Length: " + QByteArray::number(reply.body.size()) + kLineEnd;
    out += kLineEnd;
    if (hasBody(reply.status))
        out += reply.body;
    return out;
}
