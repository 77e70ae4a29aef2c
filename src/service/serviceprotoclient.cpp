#include "serviceprotoclient.h"

#include "json.h"
#include "ssdpcontrolpoint.h"

#include <QDebug>
#include <QEventLoop>
#include <QHostAddress>
#include <QIODevice>
#include <QTimer>

namespace {

const char kRequestIdHeader[] = "request-id";
const char kContentTypeHeader[] = "content-type";
const char kAuthorizationHeader[] = "Authorization";
const char kJsonType[] = "application/json";
const char kOctetStreamType[] = "application/octet-stream";
const char kSsdpGroupAddress[] = "239.255.255.250";
const int kSsdpPort = 1900;

QByteArray contentBytes(RestMessage* message)
{
    QIODevice* content = message->content();
    if (!content || !content->seek(0))
        return QByteArray();
    return content->readAll();
}

} // namespace

class ServiceProtoClientPrivate
{
public:
    int requestCounter = 0;
    SsdpControlPoint controlPoint;
    QList<ServiceProtoData*> payloads;
    QString user;
    QString password;
    bool authRequire = false;
};

ServiceProtoClient::ServiceProtoClient(QObject* parent)
    : RestClient(parent)
    , d(new ServiceProtoClientPrivate)
{
    connect(&d->controlPoint, &SsdpControlPoint::searchDone, this, &ServiceProtoClient::searchDone);
}

ServiceProtoClient::~ServiceProtoClient()
{
    qDeleteAll(d->payloads);
}

void ServiceProtoClient::setAuth(const QString& user, const QString& password)
{
    d->user = user;
    d->password = password;
}

void ServiceProtoClient::setAuthRequire(bool required)
{
    d->authRequire = required;
}

bool ServiceProtoClient::isAuthRequire()
{
    return d->authRequire;
}

void ServiceProtoClient::connectToHost(const QHostAddress& address, quint16 port)
{
    RestClient::connectToHost(address, port);
}

int ServiceProtoClient::get(const QUrl& url)
{
    return sendRequest(QStringLiteral("GET"), url, nullptr, nullptr);
}

int ServiceProtoClient::put(const QUrl& url, const QString& contentType, const QByteArray& data)
{
    return sendRequest(QStringLiteral("PUT"), url, &contentType, &data);
}

int ServiceProtoClient::post(const QUrl& url, const QString& contentType, const QByteArray& data)
{
    // Unlike put, an empty type is left out.
    const QString* type = contentType.isEmpty() ? nullptr : &contentType;
    return sendRequest(QStringLiteral("POST"), url, type, &data);
}

int ServiceProtoClient::sendRequest(const QString& method, const QUrl& url,
                                    const QString* contentType, const QByteArray* data)
{
    RestMessage* request = new RestMessage(QString());
    prepareRequest(request, method, url);
    if (isAuthRequire())
        setAuthHeader(request);
    request->setHeader(QLatin1String(kRequestIdHeader), QString::number(d->requestCounter));
    if (contentType)
        request->setHeader(QLatin1String(kContentTypeHeader), *contentType);
    if (data)
        request->setContent(*data);
    sendMessage(request);
    return d->requestCounter++;
}

void ServiceProtoClient::setAuthHeader(RestMessage* request)
{
    const QByteArray credentials = (d->user + QLatin1Char(':') + d->password).toLocal8Bit();
    request->setHeader(QLatin1String(kAuthorizationHeader),
                       QByteArray("Basic ") + credentials.toBase64());
}

void ServiceProtoClient::search(QNetworkInterface iface, int timeout)
{
    if (!d->controlPoint.openInterface(iface))
        return;
    d->controlPoint.search(QLatin1String(kServiceDeviceType),
                           QHostAddress(QLatin1String(kSsdpGroupAddress)), kSsdpPort, timeout);
}

bool ServiceProtoClient::waitForProtoData(int msecs)
{
    if (!d->payloads.isEmpty())
        return true;
    QEventLoop loop;
    connect(this, &ServiceProtoClient::dataReceived, &loop, &QEventLoop::quit);
    QTimer timer;
    if (msecs > 0) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(msecs);
    }
    loop.exec();
    return !d->payloads.isEmpty();
}

ServiceProtoData* ServiceProtoClient::nextProtoData()
{
    if (d->payloads.isEmpty())
        return nullptr;
    return d->payloads.takeFirst();
}

void ServiceProtoClient::processResponse(RestMessage::ResponseStatus status, RestMessage* response)
{
    const int id = response->header(QLatin1String(kRequestIdHeader)).toInt();
    emit requestDone(id, status);
    const QByteArray body = contentBytes(response);
    const QString type = response->header(QLatin1String(kContentTypeHeader)).toString();
    qDebug() << "ServiceProtoClient response:" << int(status) << type;

    if (status == RestMessage::Ok && !type.isEmpty()) {
        if (type.contains(QLatin1String(kJsonType))) {
            bool ok = false;
            const QVariant value = QtJson::Json::parse(QString::fromUtf8(body), ok);
            if (!ok || !value.isValid())
                return;
            ProtoData* payload = new ProtoData;
            payload->fromVariant(value);
            d->payloads.append(payload);
            emit dataReceived(id);
        } else if (type.contains(QLatin1String(kOctetStreamType))) {
            emit fileReceived(id, QUrl(), body);
        } else {
            emit dataReceived(id);
        }
        return;
    }
    if (status == RestMessage::Unauthorized) {
        d->authRequire = true;
        emit authRequired(id);
        return;
    }
    ServiceProtoStatus* payload = new ServiceProtoStatus;
    payload->status = int(status);
    d->payloads.append(payload);
    emit dataReceived(id);
}
