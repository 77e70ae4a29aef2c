#ifndef CONFIGURATOR_COMMON_HTTPCLIENT_H
#define CONFIGURATOR_COMMON_HTTPCLIENT_H

#include "connection.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>
#include <QVariant>

class QNetworkRequest;

/// \file
/// HttpClient, the HTTP transport to a device.

/// The HTTP form of a device connection.  Each get() or post() waits for its
/// reply in a nested event loop bounded by the time-out and reports the outcome
/// through the Connection signals: dataReceived (with the reply information map
/// "type", "status", "method"), timeout, authRequired (HTTP 401) or error.  A
/// reply that finishes after its time-out is still reported, as long as it
/// finishes within the late-reply grace period; after that it is aborted, so
/// that a device that leaves requests unanswered cannot hold Qt's few
/// connections per host (or memory) for ever.  Once a device has answered 401,
/// every later request carries Basic authorization.
///
/// A 200 reply of type application/json arrives as the parsed value ("type"
/// "data"; null when the JSON is malformed); application/octet-stream,
/// text/html and text/csv arrive as the raw bytes ("type" "file"); other
/// replies with null data.  "status" is the HTTP status, "method" "get" or
/// "post".
class HttpClient : public Connection
{
    Q_OBJECT
public:
    /// The port every request goes to unless connectToHost() names another.
    static constexpr quint16 kDefaultPort = 80;
    /// How long a reply may still finish after its time-out and be reported (ms).
    static constexpr int kDefaultLateReplyGrace = 10000;
    /// The largest reply body accepted by default (bytes): 256 MiB.
    static constexpr qint64 kDefaultMaxReplySize = qint64(256) * 1024 * 1024;

    /// Creates a client with no address, port 80, sending no authorization.
    explicit HttpClient(Connection* parent = 0);
    /// Replies still in flight are dropped without being reported.
    ~HttpClient() override;

    /// Stores the device's address; nothing is sent.  Requests go to \a port,
    /// which appears in the request URL only when it is not 80.
    void connectToHost(const QHostAddress& address, quint16 port = kDefaultPort);
    /// Stores the credentials for Basic authorization.
    void setAuth(const QString& login, const QString& password);
    /// With true, every request carries Basic authorization from the first on.
    void setAuthRequire(bool require);

    /// Milliseconds after its time-out during which a late reply is still reported
    /// (default kDefaultLateReplyGrace); past it the reply is aborted without a signal.
    /// A negative value is taken as 0.
    void setLateReplyGrace(int msecs);
    /// The late-reply grace period in milliseconds.
    int lateReplyGrace() const;
    /// A reply whose announced or received body passes \a bytes is aborted while it
    /// streams in and reported by error(QNetworkReply::UnknownContentError), with a
    /// warning; the default is kDefaultMaxReplySize.  Values below 0 are taken as 0.
    void setMaxReplySize(qint64 bytes);
    /// The largest reply body accepted, in bytes.
    qint64 maxReplySize() const;

    /// Sends a GET request.  \a id comes back as the page identifier of every
    /// outcome signal; \a url holds what follows the host address (path and
    /// query).  Returns true when the reply finished within \a timeout ms,
    /// false on a time-out or when the reply vanished; the outcome itself
    /// always comes by signal.  A negative \a timeout waits without limit.
    bool get(const QString& id, const QUrl& url, int timeout);
    /// Sends a POST request, otherwise as get().  A non-null \a data is sent
    /// as data.toByteArray() with content type "application/octet-stream";
    /// a null one as an empty form post.
    bool post(const QString& id, const QUrl& url, const QVariant& data, int timeout);

    /// Does nothing: every request ends within its own wait.
    void abort();

private slots:
    void replyFinished(QNetworkReply* reply);

private:
    bool isAuthRequire();
    QUrl requestUrl(const QUrl& url) const;
    void setAuthHeader(QNetworkRequest* request);
    bool waitForRequest(QNetworkReply* reply, int timeout);
    QNetworkReply* watched(QNetworkReply* reply);
    void abortIfTooLarge(QNetworkReply* reply, qint64 size);

    QNetworkAccessManager manager;
    QHostAddress host;
    QString login;
    QString password;
    bool authRequire;
    quint16 port;
    int lateReplyGraceMs;
    qint64 maxReplyBytes;
};

#endif
