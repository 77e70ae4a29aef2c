#ifndef CONFIGURATOR_COMMON_SERVICEPROTOCLIENT_H
#define CONFIGURATOR_COMMON_SERVICEPROTOCLIENT_H

#include "restclient.h"
#include "restmessage.h"
#include "serviceprotodata.h"

#include <QByteArray>
#include <QList>
#include <QNetworkInterface>
#include <QScopedPointer>
#include <QString>
#include <QUrl>

class ServiceProtoClientPrivate;

/// \file
/// ServiceProtoClient, the client of the service protocol.

/// The SSDP device type that service protocol servers announce and that
/// ServiceProtoClient::search() looks for; the domain part is the vendor's
/// (vostrel.ru, as in the plug-in interface identifier).
inline constexpr char kServiceDeviceType[] = "urn:vostrel-ru:device:Configurator:1";

/// The service protocol port that connectToHost() uses unless told otherwise.
inline constexpr quint16 kServiceProtoPort = 80;

/// Client of the service protocol: numbered GET, PUT and POST requests, each
/// response turned into signals and, for data, a queued payload; servers are
/// found on the local network by an SSDP search.  Every response emits
/// requestDone() first; then a 200 JSON body queues a ProtoData, a 200
/// octet-stream emits fileReceived(), a 401 emits authRequired(), and any
/// other status queues a ServiceProtoStatus; dataReceived() follows a queued
/// payload.
class ServiceProtoClient : public RestClient
{
    Q_OBJECT

public:
    /// Creates a client that is not connected and sends no authorization.
    explicit ServiceProtoClient(QObject* parent = nullptr);
    /// Deletes the payloads not taken.
    ~ServiceProtoClient() override;

    /// Stores the credentials for Basic authorization.
    void setAuth(const QString& user, const QString& password);
    /// Once set (here or by a 401 response) every request carries "Authorization".
    void setAuthRequire(bool required);

    /// Starts connecting to the server; see RestClient::connectToHost().
    void connectToHost(const QHostAddress& address, quint16 port = kServiceProtoPort);

    /// Each returns the request's id: 0 for the first, one more for each next.
    /// The id travels as "request-id" and comes back with every signal.
    int get(const QUrl& url);
    /// "content-type" is sent even when empty.
    int put(const QUrl& url, const QString& contentType, const QByteArray& data);
    /// "content-type" is sent only when not empty.
    int post(const QUrl& url, const QString& contentType, const QByteArray& data);

    /// Searches on iface for timeout ms; the result arrives by searchDone().
    /// When the interface cannot be opened nothing is sent and no signal follows.
    void search(QNetworkInterface iface, int timeout);

    /// True when a payload is queued, at once or after the next dataReceived();
    /// msecs <= 0 waits without limit.  Waits in a nested event loop.
    bool waitForProtoData(int msecs);
    /// The oldest payload or null; the caller owns it.
    ServiceProtoData* nextProtoData();

    // The signals carry the request's id (0 when the response had none).
signals:
    /// The "udp://host:port" URLs of the servers that answered the search.
    void searchDone(QList<QUrl> servers);
    /// Emitted first for every response, with its status.
    void requestDone(int id, RestMessage::ResponseStatus code);
    /// A payload for request \a id was queued (or a 200 without JSON arrived).
    void dataReceived(int id);
    /// A 200 response of type application/octet-stream; \a url is empty.
    void fileReceived(int id, QUrl url, QByteArray data);
    /// The server answered 401; later requests carry authorization.
    void authRequired(int id);

protected:
    /// Turns a response into signals and payloads, as described above.
    void processResponse(RestMessage::ResponseStatus status, RestMessage* response) override;

private:
    bool isAuthRequire();
    void setAuthHeader(RestMessage* request);
    int sendRequest(const QString& method, const QUrl& url, const QString* contentType,
                    const QByteArray* data);

    Q_DISABLE_COPY(ServiceProtoClient)
    QScopedPointer<ServiceProtoClientPrivate> d;
};

#endif // CONFIGURATOR_COMMON_SERVICEPROTOCLIENT_H
