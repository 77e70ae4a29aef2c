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

// The SSDP device type that service protocol servers announce and that
// ServiceProtoClient::search() looks for; the domain part is the vendor's
// (vostrel.ru, as in the plug-in interface identifier).
inline constexpr char kServiceDeviceType[] = "urn:vostrel-ru:device:Configurator:1";

// The service protocol port that connectToHost() uses unless told otherwise.
inline constexpr quint16 kServiceProtoPort = 80;

// Client of the service protocol: numbered GET, PUT and POST requests, each
// response turned into signals and, for data, a queued payload; servers are
// found on the local network by an SSDP search.
class ServiceProtoClient : public RestClient
{
    Q_OBJECT

public:
    explicit ServiceProtoClient(QObject* parent = nullptr);
    ~ServiceProtoClient() override;

    void setAuth(const QString& user, const QString& password);
    // Once set (here or by a 401 response) every request carries "Authorization".
    void setAuthRequire(bool required);

    void connectToHost(const QHostAddress& address, quint16 port = kServiceProtoPort);

    // Each returns the request's id: 0 for the first, one more for each next.
    int get(const QUrl& url);
    // "content-type" is sent even when empty.
    int put(const QUrl& url, const QString& contentType, const QByteArray& data);
    // "content-type" is sent only when not empty.
    int post(const QUrl& url, const QString& contentType, const QByteArray& data);

    // Searches on iface for timeout ms; the result arrives by searchDone().
    void search(QNetworkInterface iface, int timeout);

    // True when a payload is queued, at once or after the next dataReceived();
    // msecs <= 0 waits without limit.
    bool waitForProtoData(int msecs);
    // The oldest payload or null; the caller owns it.
    ServiceProtoData* nextProtoData();

signals:
    void searchDone(QList<QUrl> servers);
    void requestDone(int id, RestMessage::ResponseStatus code);
    void dataReceived(int id);
    void fileReceived(int id, QUrl url, QByteArray data);
    void authRequired(int id);

protected:
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
