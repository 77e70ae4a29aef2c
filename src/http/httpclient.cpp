#include "httpclient.h"

#include "json.h"
#include "qtcompat_p.h"

#include <QDebug>
#include <QEventLoop>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

namespace {

const char kIdProperty[] = "id";
const char kMethodProperty[] = "method";
const char kMethodGet[] = "get";
const char kMethodPost[] = "post";
// Set on a reply that the client aborted itself, with the reason.
const char kAbortedProperty[] = "abortedBy";
const char kAbortedLate[] = "late";
const char kAbortedTooLarge[] = "size";
const int kStatusOk = 200;
const int kStatusUnauthorized = 401;

const char kTypeJson[] = "application/json";
// Content types handed over as raw bytes, tested in this order.
const char* const kFileTypes[] = { "application/octet-stream", "text/html", "text/csv" };

// The reply information map ("type", "status", "method") as it stands before
// the reply has been looked at.
QVariantMap replyInfo(const QNetworkReply* reply)
{
    QVariantMap info;
    info.insert(QStringLiteral("type"), QStringLiteral("data"));
    info.insert(QStringLiteral("status"), 0);
    info.insert(QStringLiteral("method"), reply->property(kMethodProperty));
    return info;
}

QString replyId(const QNetworkReply* reply)
{
    return reply->property(kIdProperty).toString();
}

int httpStatus(const QNetworkReply* reply)
{
    return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

bool isFileType(const QString& contentType)
{
    for (const char* type : kFileTypes) {
        if (contentType.contains(QLatin1String(type)))
            return true;
    }
    return false;
}

// Devices send JSON as UTF-8; anything after a zero byte is not part of it.
QVariant parseJsonBody(const QByteArray& body)
{
    bool ok = false;
    const QVariant value = QtJson::Json::parse(QString::fromUtf8(body.constData()), ok);
    return (ok && value.isValid()) ? value : QVariant();
}

} // namespace

HttpClient::HttpClient(Connection* parent)
    : Connection(parent)
    , authRequire(false)
    , port(kDefaultPort)
    , lateReplyGraceMs(kDefaultLateReplyGrace)
    , maxReplyBytes(kDefaultMaxReplySize)
{
    connect(&manager, SIGNAL(finished(QNetworkReply*)), this, SLOT(replyFinished(QNetworkReply*)));
}

HttpClient::~HttpClient()
{
    // The members are going; replies that the manager drops now are not ours
    // to report.
    manager.disconnect(this);
}

void HttpClient::connectToHost(const QHostAddress& address, quint16 port)
{
    host = address;
    this->port = port;
}

void HttpClient::setAuth(const QString& login, const QString& password)
{
    this->login = login;
    this->password = password;
}

void HttpClient::setAuthRequire(bool require)
{
    authRequire = require;
}

void HttpClient::setLateReplyGrace(int msecs)
{
    lateReplyGraceMs = qMax(msecs, 0);
}

int HttpClient::lateReplyGrace() const
{
    return lateReplyGraceMs;
}

void HttpClient::setMaxReplySize(qint64 bytes)
{
    maxReplyBytes = qMax<qint64>(bytes, 0);
}

qint64 HttpClient::maxReplySize() const
{
    return maxReplyBytes;
}

bool HttpClient::isAuthRequire()
{
    return authRequire;
}

bool HttpClient::get(const QString& id, const QUrl& url, int timeout)
{
    QNetworkRequest request(requestUrl(url));
    if (isAuthRequire())
        setAuthHeader(&request);
    QNetworkReply* reply = watched(manager.get(request));
    reply->setProperty(kIdProperty, id);
    reply->setProperty(kMethodProperty, QLatin1String(kMethodGet));
    return waitForRequest(reply, timeout);
}

bool HttpClient::post(const QString& id, const QUrl& url, const QVariant& data, int timeout)
{
    QNetworkRequest request(requestUrl(url));
    if (isAuthRequire())
        setAuthHeader(&request);
    QByteArray body;
    if (!QtCompat::isNull(data)) {
        body = data.toByteArray();
        request.setRawHeader(QByteArrayLiteral("Content-Type"), QByteArrayLiteral("application/octet-stream"));
        request.setRawHeader(QByteArrayLiteral("Content-Length"), QByteArray::number(body.size()));
    } else {
        request.setRawHeader(QByteArrayLiteral("Content-Type"),
                             QByteArrayLiteral("application/x-www-form-urlencoded"));
    }
    QNetworkReply* reply = watched(manager.post(request, body));
    reply->setProperty(kIdProperty, id);
    reply->setProperty(kMethodProperty, QLatin1String(kMethodPost));
    return waitForRequest(reply, timeout);
}

void HttpClient::abort()
{
}

// The body is read whole when the reply finishes; a device that announces or
// streams more than the bound is cut off while it streams, so memory stays
// bounded by it.
QNetworkReply* HttpClient::watched(QNetworkReply* reply)
{
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply]() {
        abortIfTooLarge(reply, reply->header(QNetworkRequest::ContentLengthHeader).toLongLong());
    });
    // Not downloadProgress: Qt throttles it, and a fast peer could deliver
    // the whole body between two of its signals.
    connect(reply, &QNetworkReply::readyRead, this,
            [this, reply]() { abortIfTooLarge(reply, reply->bytesAvailable()); });
    return reply;
}

void HttpClient::abortIfTooLarge(QNetworkReply* reply, qint64 size)
{
    if (size <= maxReplyBytes || reply->isFinished() || reply->property(kAbortedProperty).isValid())
        return;
    reply->setProperty(kAbortedProperty, QLatin1String(kAbortedTooLarge));
    reply->abort();
}

QUrl HttpClient::requestUrl(const QUrl& url) const
{
    QString authority = host.toString();
    // An IPv6 address needs brackets in a URL, or its colons read as a port.
    if (host.protocol() == QAbstractSocket::IPv6Protocol)
        authority = QLatin1Char('[') + authority + QLatin1Char(']');
    if (port != kDefaultPort)
        authority += QLatin1Char(':') + QString::number(port);
    return QUrl(QLatin1String("http://") + authority + url.toString());
}

void HttpClient::setAuthHeader(QNetworkRequest* request)
{
    const QByteArray credentials = (login + QLatin1Char(':') + password).toLocal8Bit();
    request->setRawHeader(QByteArrayLiteral("Authorization"), "Basic " + credentials.toBase64());
}

bool HttpClient::waitForRequest(QNetworkReply* reply, int timeout)
{
    QPointer<QNetworkReply> guard(reply);
    const QVariantMap info = replyInfo(reply);
    const QUrl url = reply->request().url();
    const QString id = replyId(reply);

    // Which came first decides the outcome; the timer's state alone would be
    // wrong when a request started inside this wait keeps us nested past our
    // own time-out although our reply finished in time.
    bool finished = false;
    bool timedOut = false;
    QTimer timer;
    timer.setSingleShot(true);
    QEventLoop loop;
    connect(&timer, &QTimer::timeout, &loop, [&]() {
        if (!finished)
            timedOut = true;
        loop.quit();
    });
    connect(reply, &QNetworkReply::finished, &loop, [&]() {
        if (!timedOut)
            finished = true;
        loop.quit();
    });
    connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    // A negative time-out means no limit: the wait ends with the reply.
    if (timeout >= 0)
        timer.start(timeout);
    loop.exec();

    if (finished)
        return true;
    if (guard.isNull() || !timedOut)
        return false;
    // The reply keeps its connection until it finishes; one that never does is
    // given up after the grace period, which frees the connection for the
    // requests queued behind it.
    QTimer::singleShot(lateReplyGraceMs, reply, [reply]() {
        if (reply->isFinished())
            return;
        reply->setProperty(kAbortedProperty, QLatin1String(kAbortedLate));
        reply->abort();
    });
    emit this->timeout(QVariant(id), url, QVariant(info));
    return false;
}

void HttpClient::replyFinished(QNetworkReply* reply)
{
    QVariantMap info = replyInfo(reply);
    const QUrl url = reply->request().url();
    const QString id = replyId(reply);
    const QVariant abortedBy = reply->property(kAbortedProperty);

    if (abortedBy == QLatin1String(kAbortedLate)) {
        // Its time-out has been reported; nothing more will come.
        qDebug() << "HttpClient: no reply within the grace period, given up:" << url.toString();
    } else if (abortedBy == QLatin1String(kAbortedTooLarge)) {
        qWarning() << "HttpClient: reply larger than" << maxReplyBytes << "bytes, aborted:"
                   << url.toString();
        emit error(QNetworkReply::UnknownContentError);
    } else if (reply->error() != QNetworkReply::NoError) {
        const int status = httpStatus(reply);
        qDebug() << "Error:" << status << reply->errorString();
        if (status == kStatusUnauthorized) {
            authRequire = true;
            emit authRequired(QVariant(id), url);
        } else {
            emit error(reply->error());
        }
    } else {
        const int status = httpStatus(reply);
        const QString contentType = reply->header(QNetworkRequest::ContentTypeHeader).toString();
        const QByteArray body = reply->readAll();
        info.insert(QStringLiteral("status"), status);
        QVariant data;
        if (status == kStatusOk && !contentType.isEmpty()) {
            if (contentType.contains(QLatin1String(kTypeJson))) {
                data = parseJsonBody(body);
            } else if (isFileType(contentType)) {
                info.insert(QStringLiteral("type"), QStringLiteral("file"));
                data = body;
            }
        }
        emit dataReceived(QVariant(id), url, QVariant(info), data);
    }
    reply->deleteLater();
}
