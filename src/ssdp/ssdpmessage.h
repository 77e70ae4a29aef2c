#ifndef CONFIGURATOR_COMMON_SSDPMESSAGE_H
#define CONFIGURATOR_COMMON_SSDPMESSAGE_H

#include <QByteArray>
#include <QNetworkRequest>
#include <QString>
#include <QUrl>
#include <QUuid>

class QHostAddress;

// The SSDP datagrams and the one rule by which both ends read them.
//
// A message is held in a QNetworkRequest used only as a container: the method
// in CustomVerbAttribute, the request target as the URL's path, status code
// and reason in HttpStatusCodeAttribute/HttpReasonPhraseAttribute, header
// fields as raw headers.  The raw headers give the format its header rules:
// names compare without regard to case, setting a header removes the earlier
// ones of that name and appends it at the end, a null value only removes.
namespace SsdpMessage {

constexpr quint16 kPort = 1900;
constexpr char kGroupAddress[] = "239.255.255.250";
constexpr char kGroupHost[] = "239.255.255.250:1900";
constexpr char kScheme[] = "udp";
constexpr char kAnyTarget[] = "*";
constexpr char kNotify[] = "NOTIFY";
constexpr char kSearch[] = "M-SEARCH";
constexpr char kAlive[] = "ssdp:alive";
constexpr char kByeBye[] = "ssdp:byebye";
constexpr int kSearchResponseStatus = 200;
constexpr char kSearchResponseReason[] = "OK";
constexpr int kMsecsPerSecond = 1000;

// Which parts of the first line the reading end keeps.
enum StartLine {
    RequestLine,    // the device: method and request target
    StatusLine      // the control point: status code and reason, as strings
};

// What a device says about itself in announcements and answers.
struct Identity
{
    QUuid uuid;
    QString notificationType;
    QUrl location;          // left out while empty
    QString server;         // the complete "Server" value
    int maxAge = 0;         // seconds
};

QByteArray requestDatagram(const QNetworkRequest& request);
QByteArray responseDatagram(const QNetworkRequest& response);

// Reads a received datagram into *message.  Its URL is "udp" with the
// receiving socket's address and port, and for a request the target as path.
// False, with *message untouched, when the datagram breaks the rule or has
// more than 128 lines.
bool parse(const QByteArray& datagram, StartLine kind, const QHostAddress& receiver,
           quint16 receiverPort, QNetworkRequest* message);

QUrl groupUrl();
QByteArray maxAgeValue(int seconds);
QByteArray usnValue(const QUuid& uuid, const QString& notificationType);
QString serverValue(const QString& osName, const QString& osVersion,
                    const QString& product, const QString& version);

QNetworkRequest notify(const QByteArray& nts, const Identity& identity);
QNetworkRequest search(const QString& target, const QHostAddress& address, int port, int timeout);
QNetworkRequest searchResponse(const Identity& identity);

QString method(const QNetworkRequest& message);

} // namespace SsdpMessage

#endif // CONFIGURATOR_COMMON_SSDPMESSAGE_H
