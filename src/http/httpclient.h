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
/// reply that finishes after its time-out is still reported.  Once a device has
/// answered 401, every later request carries Basic authorization.
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

    /// Sends a GET request.  \a id comes back as the page identifier of every
    /// outcome signal; \a url holds what follows the host address (path and
    /// query).  Returns true when the reply finished within \a timeout ms,
    /// false on a time-out or when the reply vanished; the outcome itself
    /// always comes by signal.
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

    QNetworkAccessManager manager;
    QHostAddress host;
    QString login;
    QString password;
    bool authRequire;
    quint16 port;
};

#endif
