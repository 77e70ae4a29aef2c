#ifndef HTTPTESTSERVER_H
#define HTTPTESTSERVER_H

#include <QHostAddress>
#include <QMap>
#include <QTcpServer>

class QTcpSocket;

// One request as it arrived on the wire; header names in lower case.
struct HttpTestRequest
{
    QByteArray method, target, body; // target: path and query, as sent
    QMap<QByteArray, QByteArray> headers;
};

// What the server answers to one path.
struct HttpTestReply
{
    // Every member named, so that no compiler warns of a missing initializer.
    static HttpTestReply make(int status, const QByteArray& contentType = {}, const QByteArray& body = {}, int delayMs = 0,
                              const QByteArray& headers = {}, qint64 streamed = -1)
    {
        return HttpTestReply{ status, contentType, body, delayMs, headers, streamed };
    }
    int status = 200;
    QByteArray contentType, body; // no Content-Type header when empty
    int delayMs = 0;              // negative: never answer; the connection stays open
    QByteArray headers;           // more header lines, each ending in "\r\n"
    qint64 streamed = -1;         // else: no Content-Length of its own, this many bytes
                                  // as the client takes them, then the connection closes
};

// A scripted HTTP/1.1 server on loopback for tests and benchmarks.  Replies are
// chosen by path (target without query); unknown paths get 404.  Every request
// is recorded.  It stops by itself after three minutes, so that no test can
// leave it running.
class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    HttpTestServer();
    ~HttpTestServer() override { close(); }
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 serverPort() const { return server.serverPort(); }
    // Stops listening and drops every connection, answered or not.
    void close();
    void setReply(const QByteArray& path, const HttpTestReply& reply) { replies.insert(path, reply); }
    // When false, requests are not kept (for long benchmark runs).
    void setRecording(bool record) { recording = record; }
    QList<HttpTestRequest> requests;
    qint64 streamedBytes = 0; // body bytes of streamed replies sent so far

signals:
    // Emitted from the event loop after a request has been answered or its
    // reply scheduled, so slots may start requests that nest an event loop.
    void requestReceived(const QByteArray& path);

private:
    void readRequests(QTcpSocket* socket, QByteArray& buffer);
    void answer(QTcpSocket* socket, const HttpTestReply& reply);

    QTcpServer server;
    QHash<QByteArray, HttpTestReply> replies;
    bool recording = true;
};

#endif
