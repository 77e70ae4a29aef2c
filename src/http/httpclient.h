#ifndef CONFIGURATOR_COMMON_HTTPCLIENT_H
#define CONFIGURATOR_COMMON_HTTPCLIENT_H

#include "connection.h"

#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QString>
#include <QUrl>
#include <QVariant>

class QNetworkRequest;

// The HTTP form of a device connection.  Each get() or post() waits for its
// reply in a nested event loop bounded by the time-out and reports the outcome
// through the Connection signals: dataReceived (with the reply information map
// "type", "status", "method"), timeout, authRequired (HTTP 401) or error.  A
// reply that finishes after its time-out is still reported, as long as it
// finishes within the late-reply grace period; after that it is aborted, so
// that a device that leaves requests unanswered cannot hold Qt's few
// connections per host (or memory) for ever.  Once a device has answered 401,
// every later request carries Basic authorization.
class HttpClient : public Connection
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 80;
    /// How long a reply may still finish after its time-out and be reported (ms).
    static constexpr int kDefaultLateReplyGrace = 10000;
    /// The largest reply body accepted by default (bytes): 256 MiB.
    static constexpr qint64 kDefaultMaxReplySize = qint64(256) * 1024 * 1024;

    explicit HttpClient(Connection* parent = 0);
    ~HttpClient() override;

    // Stores the device's address; nothing is sent.  Requests go to `port`,
    // which appears in the request URL only when it is not 80.
    void connectToHost(const QHostAddress& address, quint16 port = kDefaultPort);
    void setAuth(const QString& login, const QString& password);
    void setAuthRequire(bool require);

    /// Milliseconds after its time-out during which a late reply is still reported
    /// (default kDefaultLateReplyGrace); past it the reply is aborted without a signal.
    /// A negative value is taken as 0.
    void setLateReplyGrace(int msecs);
    int lateReplyGrace() const;
    /// A reply whose announced or received body passes \a bytes is aborted while it
    /// streams in and reported by error(QNetworkReply::UnknownContentError), with a
    /// warning; the default is kDefaultMaxReplySize.  Values below 0 are taken as 0.
    void setMaxReplySize(qint64 bytes);
    qint64 maxReplySize() const;

    // `url` holds what follows the host address (path and query).  Both return
    // true when the reply finished within `timeout` ms, false on a time-out or
    // when the reply vanished; the outcome itself always comes by signal.  A
    // negative `timeout` waits without limit.
    bool get(const QString& id, const QUrl& url, int timeout);
    // A non-null `data` is sent as data.toByteArray() with content type
    // "application/octet-stream"; a null one as an empty form post.
    bool post(const QString& id, const QUrl& url, const QVariant& data, int timeout);

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
