#ifndef HTTPTESTSERVER_H
#define HTTPTESTSERVER_H

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QTimer>

class QTcpSocket;

typedef QList<QPair<QByteArray, QByteArray>> HttpTestHeaders;

// One request as it arrived on the wire.
struct HttpTestRequest
{
    QByteArray method;
    QByteArray target;      // path and query, as sent
    HttpTestHeaders headers; // in the order sent, names as written
    QByteArray body;

    bool hasHeader(const QByteArray& name) const;
    // The first header of that name (case-insensitive), or a null array.
    QByteArray header(const QByteArray& name) const;
    // The target without its query.
    QByteArray path() const;
};

// What the server answers to one path.
struct HttpTestReply
{
    enum Behaviour {
        Respond,   // send the reply after `delayMs`
        Silent,    // never answer; the connection stays open until the server stops
        Close      // close the connection without a reply
    };

    int status = 200;
    QByteArray contentType;  // no Content-Type header when empty
    QByteArray body;
    HttpTestHeaders headers; // further headers
    int delayMs = 0;
    Behaviour behaviour = Respond;

    static HttpTestReply make(int status, const QByteArray& contentType = QByteArray(),
                              const QByteArray& body = QByteArray(), int delayMs = 0);
    static HttpTestReply silent();
};

// A scripted HTTP/1.1 server on loopback for tests and benchmarks.  Replies
// are chosen by request path (set with setReply, queued with queueReply); every
// request is recorded.  It stops by itself after kLifetimeMs so that no test
// can leave it running.
class HttpTestServer : public QObject
{
    Q_OBJECT
public:
    static const int kLifetimeMs = 180000;

    explicit HttpTestServer(QObject* parent = nullptr);
    ~HttpTestServer() override;

    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    QHostAddress serverAddress() const;
    quint16 serverPort() const;
    // Stops listening and drops every connection, answered or not.
    void close();

    // The reply for every request to `path` (the target without its query).
    void setReply(const QByteArray& path, const HttpTestReply& reply);
    // A reply used once, before the one set with setReply; queued ones go first.
    void queueReply(const QByteArray& path, const HttpTestReply& reply);
    // For paths without a reply: 404 unless set otherwise.
    void setDefaultReply(const HttpTestReply& reply);
    // When false, the requests are counted but not kept (for long benchmark runs).
    void setRecording(bool record);

    QList<HttpTestRequest> requests() const;
    int requestCount() const;
    void clearRequests();
    // Runs the event loop until `count` requests have arrived or the time is up.
    bool waitForRequests(int count, int timeoutMs);

signals:
    // Emitted soon after a whole request has been read and its reply sent or
    // scheduled (from the event loop, so slots may start further requests).
    void requestReceived(const QByteArray& path);

private slots:
    void acceptConnections();
    void readRequests();
    void dropConnection();

private:
    struct Pending
    {
        QByteArray buffer;
    };

    HttpTestReply replyFor(const QByteArray& path);
    bool takeRequest(QByteArray* buffer, HttpTestRequest* request);
    void answer(QTcpSocket* socket, const HttpTestReply& reply);
    static QByteArray encode(const HttpTestReply& reply);

    QTcpServer server;
    QTimer lifetime;
    QHash<QTcpSocket*, Pending> connections;
    QHash<QByteArray, HttpTestReply> replies;
    QHash<QByteArray, QList<HttpTestReply>> queued;
    HttpTestReply defaultReply;
    QList<HttpTestRequest> recorded;
    int received = 0;
    bool recording = true;
};

#endif
