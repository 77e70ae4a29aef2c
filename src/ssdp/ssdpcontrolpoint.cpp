#include "ssdpcontrolpoint.h"

#include "ssdpmessage.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

namespace {

// Far more nodes than answer on one segment; anything beyond is a flood of
// answers from a misbehaving or hostile neighbour, not more devices.
constexpr int kMaxResults = 1024;

} // namespace

class SsdpControlPointPrivate
{
public:
    explicit SsdpControlPointPrivate(QObject* owner)
        : socket(owner)
        , searchTimer(owner)
    {
        searchTimer.setSingleShot(true);
    }

    QUdpSocket socket;
    QTimer searchTimer;     // active while a search runs
    QString searchTarget;
    QList<QUrl> results;
    bool joined = false;
};

SsdpControlPoint::SsdpControlPoint()
    : d(new SsdpControlPointPrivate(this))
{
    connect(&d->socket, SIGNAL(readyRead()), this, SLOT(readPendingDatagrams()));
    connect(&d->searchTimer, SIGNAL(timeout()), this, SLOT(searchTimeout()));
}

SsdpControlPoint::~SsdpControlPoint()
{
}

bool SsdpControlPoint::openInterface(const QNetworkInterface& iface)
{
    const QList<QNetworkAddressEntry> entries = iface.addressEntries();
    if (entries.isEmpty())
        return false;

    if (d->socket.state() == QAbstractSocket::BoundState) {
        for (const QNetworkAddressEntry& entry : entries) {
            if (d->joined && entry.ip() == d->socket.localAddress())
                return true;
        }
        d->socket.close();
        d->joined = false;
    }

    for (const QNetworkAddressEntry& entry : entries) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol)
            continue;
        // Only the first IPv4 address is tried.  Port 1900 is shared (the
        // Windows default): on Unix the default mode would keep the control
        // point off the port whenever an SsdpDevice or another SSDP stack
        // runs on the same host.
        if (!d->socket.bind(entry.ip(), SsdpMessage::kPort, QUdpSocket::ShareAddress))
            return false;
        d->socket.setMulticastInterface(iface);
        // The operating system picks the interface of the membership.
        d->joined = d->socket.joinMulticastGroup(
            QHostAddress(QLatin1String(SsdpMessage::kGroupAddress)));
        return d->joined;
    }
    return false;
}

void SsdpControlPoint::search(const QString& target, const QHostAddress& address, int port,
                              int timeout)
{
    if (d->searchTimer.isActive())
        return;
    // A negative time would leave the timer stopped and the search unended.
    const int searchTime = qMax(0, timeout);
    d->results.clear();
    d->searchTarget = target;
    d->searchTimer.start(searchTime);
    sendRequest(SsdpMessage::search(target, address, port, searchTime));
}

void SsdpControlPoint::readPendingDatagrams()
{
    while (d->socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = d->socket.receiveDatagram();
        if (!datagram.isValid())
            break;
        QNetworkRequest reply;
        if (!SsdpMessage::parse(datagram.data(), SsdpMessage::StatusLine,
                                d->socket.localAddress(), d->socket.localPort(), &reply))
            continue;
        processReply(datagram.senderAddress(), datagram.senderPort(), reply);
    }
}

void SsdpControlPoint::searchTimeout()
{
    emit searchDone(d->results);
}

void SsdpControlPoint::sendRequest(const QNetworkRequest& request)
{
    // The search is sent once; a lost datagram just means fewer answers.
    const QUrl url = request.url();
    d->socket.writeDatagram(SsdpMessage::requestDatagram(request), QHostAddress(url.host()),
                            quint16(url.port()));
}

void SsdpControlPoint::processReply(const QHostAddress& sender, int port,
                                    const QNetworkRequest& reply)
{
    if (!reply.hasRawHeader("ST")
        || QString::fromLatin1(reply.rawHeader("ST")) != d->searchTarget)
        return;
    // The socket stays open between searches: without the bound, a
    // neighbour sending matching answers would grow the list for as long
    // as the control point lives.
    if (d->results.size() >= kMaxResults)
        return;
    QUrl url;
    url.setScheme(QLatin1String(SsdpMessage::kScheme));
    url.setHost(sender.toString());
    url.setPort(port);
    d->results.append(url);
}
