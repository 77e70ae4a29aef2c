#include "ssdpmessage.h"

#include <QHostAddress>
#include <QStringList>

namespace SsdpMessage {

namespace {

const QLatin1String kLineEnd("\r\n");
const QLatin1Char kBlank(' ');
const QLatin1Char kColon(':');
constexpr int kFirstLineParts = 3;
// Each header set on the container scans the ones before it, so a datagram
// of thousands of short lines would cost a noticeable pause per datagram.
// Real SSDP messages have about ten lines.
constexpr int kMaxLines = 128;

void appendHeaderLines(QByteArray* datagram, const QNetworkRequest& message)
{
    const QList<QByteArray> names = message.rawHeaderList();
    for (const QByteArray& name : names)
        *datagram += name + ": " + message.rawHeader(name) + "\r\n";
    *datagram += "\r\n";
}

QUrl receiverUrl(const QHostAddress& receiver, quint16 receiverPort)
{
    QUrl url;
    url.setScheme(QLatin1String(kScheme));
    url.setHost(receiver.toString());
    url.setPort(receiverPort);
    return url;
}

// The container reads the date headers itself, and its date reader steps
// past the end of a value whose first comma is its last byte (it skips the
// comma and the blank it expects after it).  Such a value is no date in any
// form, so the header is skipped as unreadable.  The container knows a header
// by its name as a C string, that is up to a zero byte.
bool isMisreadDate(const QByteArray& name, const QByteArray& value)
{
    static const QByteArray kDateHeaders[] = { "last-modified", "if-modified-since" };
    if (value.indexOf(',') != value.size() - 1)
        return false;
    const QByteArray lowerName = QByteArray(name.constData()).toLower();
    for (const QByteArray& dateHeader : kDateHeaders) {
        if (lowerName == dateHeader)
            return true;
    }
    return false;
}

// A header line holds a ":" after its first character; the value is what
// follows the first ":".  An empty value removes the header.
void readHeaderLine(const QString& line, QNetworkRequest* message)
{
    const int colon = line.indexOf(kColon);
    if (colon < 1)
        return;
    const QByteArray name = line.left(colon).trimmed().toLatin1();
    const QByteArray value = line.mid(colon + 1).trimmed().toLatin1();
    if (isMisreadDate(name, value))
        return;
    message->setRawHeader(name, value.isEmpty() ? QByteArray() : value);
}

} // namespace

QByteArray requestDatagram(const QNetworkRequest& request)
{
    QByteArray datagram = QStringLiteral("%1 %2 HTTP/1.1\r\n")
                              .arg(method(request), request.url().path())
                              .toLatin1();
    appendHeaderLines(&datagram, request);
    return datagram;
}

QByteArray responseDatagram(const QNetworkRequest& response)
{
    QByteArray datagram =
        QStringLiteral("HTTP/1.1 %1 %2\r\n")
            .arg(response.attribute(QNetworkRequest::HttpStatusCodeAttribute).toString(),
                 response.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
            .toLatin1();
    appendHeaderLines(&datagram, response);
    return datagram;
}

bool parse(const QByteArray& datagram, StartLine kind, const QHostAddress& receiver,
           quint16 receiverPort, QNetworkRequest* message)
{
    if (datagram.count("\r\n") > kMaxLines)
        return false;
    // The whole datagram, zero bytes included: a QByteArray alone would
    // convert only up to its first zero byte.
    const QStringList lines =
        QString::fromLatin1(datagram.constData(), datagram.size()).split(kLineEnd);
    if (lines.size() < 2)
        return false;
    const QStringList firstLine = lines.first().split(kBlank);
    if (firstLine.size() < kFirstLineParts)
        return false;

    QUrl url = receiverUrl(receiver, receiverPort);
    QNetworkRequest result;
    if (kind == RequestLine) {
        result.setAttribute(QNetworkRequest::CustomVerbAttribute, firstLine.at(0));
        url.setPath(firstLine.at(1));
    } else {
        result.setAttribute(QNetworkRequest::HttpStatusCodeAttribute, firstLine.at(1));
        result.setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, firstLine.at(2));
    }
    result.setUrl(url);
    for (int i = 1; i < lines.size(); ++i)
        readHeaderLine(lines.at(i), &result);
    *message = result;
    return true;
}

QUrl groupUrl()
{
    QUrl url = receiverUrl(QHostAddress(QLatin1String(kGroupAddress)), kPort);
    url.setPath(QLatin1String(kAnyTarget));
    return url;
}

QByteArray maxAgeValue(int seconds)
{
    return QStringLiteral("max-age = %1").arg(seconds).toLatin1();
}

QByteArray usnValue(const QUuid& uuid, const QString& notificationType)
{
    QString text = uuid.toString();
    text.remove(QLatin1Char('{')).remove(QLatin1Char('}'));
    return QStringLiteral("uuid:%1::%2").arg(text, notificationType).toLatin1();
}

QString serverValue(const QString& osName, const QString& osVersion,
                    const QString& product, const QString& version)
{
    return QStringLiteral("%1/%2 UPnP/1.1 %3/%4").arg(osName, osVersion, product, version);
}

QNetworkRequest notify(const QByteArray& nts, const Identity& identity)
{
    QNetworkRequest request(groupUrl());
    request.setAttribute(QNetworkRequest::CustomVerbAttribute, QLatin1String(kNotify));
    request.setRawHeader("Host", kGroupHost);
    request.setRawHeader("Cache-control", maxAgeValue(identity.maxAge));
    request.setRawHeader("NT", identity.notificationType.toLatin1());
    request.setRawHeader("NTS", nts);
    // A withdrawal names no place to go.
    if (nts != kByeBye && !identity.location.isEmpty())
        request.setRawHeader("LOCATION", identity.location.toString().toLatin1());
    request.setRawHeader("Server", identity.server.toLatin1());
    request.setRawHeader("USN", usnValue(identity.uuid, identity.notificationType));
    return request;
}

QNetworkRequest search(const QString& target, const QHostAddress& address, int port, int timeout)
{
    QUrl url = receiverUrl(address, quint16(port));
    url.setPath(QLatin1String(kAnyTarget));
    QNetworkRequest request(url);
    request.setAttribute(QNetworkRequest::CustomVerbAttribute, QLatin1String(kSearch));
    request.setRawHeader("Host", kGroupHost);
    request.setRawHeader("MAN", "\"ssdp:discover\"");
    request.setRawHeader("MX", QByteArray::number(timeout / kMsecsPerSecond));
    request.setRawHeader("ST", target.toLatin1());
    return request;
}

QNetworkRequest searchResponse(const Identity& identity)
{
    QNetworkRequest response;
    response.setAttribute(QNetworkRequest::HttpStatusCodeAttribute, kSearchResponseStatus);
    response.setAttribute(QNetworkRequest::HttpReasonPhraseAttribute,
                          QLatin1String(kSearchResponseReason));
    response.setRawHeader("Cache-control", maxAgeValue(identity.maxAge));
    response.setRawHeader("EXT", QByteArray(""));
    if (!identity.location.isEmpty())
        response.setRawHeader("LOCATION", identity.location.toString().toLatin1());
    response.setRawHeader("Server", identity.server.toLatin1());
    response.setRawHeader("ST", identity.notificationType.toLatin1());
    response.setRawHeader("USN", usnValue(identity.uuid, identity.notificationType));
    return response;
}

QString method(const QNetworkRequest& message)
{
    return message.attribute(QNetworkRequest::CustomVerbAttribute).toString();
}

} // namespace SsdpMessage
