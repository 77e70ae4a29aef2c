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
// reply that finishes after its time-out is still reported.  Once a device has
// answered 401, every later request carries Basic authorization.
class HttpClient : public Connection
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = 80;

    explicit HttpClient(Connection* parent = 0);
    ~HttpClient() override;

    // Stores the device's address; nothing is sent.  Requests go to `port`,
    // which appears in the request URL only when it is not 80.
    void connectToHost(const QHostAddress& address, quint16 port = kDefaultPort);
    void setAuth(const QString& login, const QString& password);
    void setAuthRequire(bool require);

    // `url` holds what follows the host address (path and query).  Both return
    // true when the reply finished within `timeout` ms, false on a time-out or
    // when the reply vanished; the outcome itself always comes by signal.
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

    QNetworkAccessManager manager;
    QHostAddress host;
    QString login;
    QString password;
    bool authRequire;
    quint16 port;
};

#endif
