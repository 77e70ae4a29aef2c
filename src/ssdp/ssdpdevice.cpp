#include "ssdpdevice.h"

#include "ssdpmessage.h"

#include <QDebug>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <QRegularExpression>
#include <sys/utsname.h>
#endif

namespace {

constexpr int kJoinInterval = 3000;                 // ms between join attempts
constexpr int kDefaultMaxAge = 900;                 // s
constexpr int kMaxMaxAge = 1799;                    // s
constexpr char kDefaultNotificationType[] = "upnp:rootdevice";
constexpr char kUnknown[] = "unknown";
constexpr char kOsName[] = "WinNT";

} // namespace

class SsdpDevicePrivate
{
public:
    explicit SsdpDevicePrivate(QObject* owner)
        : uuid(QUuid::createUuid())
        , socket(owner)
        , notifyTimer(owner)
        , notificationType(QLatin1String(kDefaultNotificationType))
        , product(QLatin1String(kUnknown))
        , version(QLatin1String(kUnknown))
        , joinTimer(owner)
    {
        notifyTimer.setInterval(kDefaultMaxAge * SsdpMessage::kMsecsPerSecond);
        joinTimer.setInterval(kJoinInterval);
    }

    QUuid uuid;
    QUdpSocket socket;
    QTimer notifyTimer;
    QString notificationType;
    QUrl locationUrl;
    QNetworkInterface iface;
    // Kept apart from iface: a lookup while the interface is gone gives an
    // invalid interface without a name, and the device could never find the
    // interface again once it came back.
    QString ifaceName;
    QString product;
    QString version;
    bool joined = false;
    QTimer joinTimer;

    SsdpMessage::Identity identity(const QString& osName, const QString& osVersion) const
    {
        SsdpMessage::Identity result;
        result.uuid = uuid;
        result.notificationType = notificationType;
        result.location = locationUrl;
        result.server = SsdpMessage::serverValue(osName, osVersion, product, version);
        result.maxAge = notifyTimer.interval() / SsdpMessage::kMsecsPerSecond;
        return result;
    }
};

SsdpDevice::SsdpDevice(QObject* parent)
    : QObject(parent)
    , d(new SsdpDevicePrivate(this))
{
    connect(&d->notifyTimer, SIGNAL(timeout()), this, SLOT(sendNotifyAlive()));
    connect(&d->socket, SIGNAL(readyRead()), this, SLOT(readPendingDatagrams()));
    connect(&d->joinTimer, SIGNAL(timeout()), this, SLOT(joinMulticastGroup()));
}

SsdpDevice::~SsdpDevice()
{
    stop();
}

void SsdpDevice::setProduct(const QString& product)
{
    d->product = product;
}

QString SsdpDevice::product() const
{
    return d->product;
}

void SsdpDevice::setVersion(const QString& version)
{
    d->version = version;
}

QString SsdpDevice::version() const
{
    return d->version;
}

void SsdpDevice::setDeviceUuid(const QUuid& uuid)
{
    d->uuid = uuid;
}

QUuid SsdpDevice::deviceUuid() const
{
    return d->uuid;
}

void SsdpDevice::setNotificationType(const QString& type)
{
    d->notificationType = type;
}

QString SsdpDevice::notificationType()
{
    return d->notificationType;
}

void SsdpDevice::setLocationUrl(QUrl url)
{
    d->locationUrl = url;
}

QUrl SsdpDevice::locationUrl()
{
    return d->locationUrl;
}

void SsdpDevice::setNetworkInterface(const QNetworkInterface& iface)
{
    d->iface = iface;
    d->ifaceName = iface.name();
}

QNetworkInterface SsdpDevice::networkInterface()
{
    d->iface = QNetworkInterface::interfaceFromName(d->ifaceName);
    return d->iface;
}

void SsdpDevice::setNotifyMaxAge(int seconds)
{
    if (uint(seconds) > uint(kMaxMaxAge))
        return;
    d->notifyTimer.setInterval(seconds * SsdpMessage::kMsecsPerSecond);
    // A period of 0 would announce without pause: it means no periodic
    // announcements, only the one at the join and the answers to searches.
    if (seconds == 0)
        d->notifyTimer.stop();
    else if (d->joined && !d->notifyTimer.isActive())
        d->notifyTimer.start();
}

int SsdpDevice::notifyMaxAge() const
{
    return d->notifyTimer.interval() / SsdpMessage::kMsecsPerSecond;
}

void SsdpDevice::start()
{
    d->joinTimer.start();
}

void SsdpDevice::stop()
{
    if (!d->joined)
        return;
    d->notifyTimer.stop();
    // A start() while running restarted the join timer; stopped means idle.
    d->joinTimer.stop();
    sendNotifyByeBye();
    d->socket.leaveMulticastGroup(QHostAddress(QLatin1String(SsdpMessage::kGroupAddress)),
                                  d->iface);
    d->socket.close();
    d->joined = false;
}

bool SsdpDevice::isRunning()
{
    // Joined and announcing go together, except that a maximum age of 0
    // announces only once.
    return d->joined;
}

void SsdpDevice::joinMulticastGroup()
{
    if (d->joined)
        return;
    if (!isInterfaceRunning())
        return;
    if (d->socket.state() == QAbstractSocket::BoundState)
        d->socket.close();
    if (!d->socket.bind(QHostAddress::AnyIPv4, SsdpMessage::kPort, QUdpSocket::ShareAddress)) {
        qDebug() << "SsdpDevice: Can't bind socket:" << d->socket.errorString()
                 << int(d->socket.error());
        return;
    }
    d->socket.setMulticastInterface(d->iface);
    d->joined = d->socket.joinMulticastGroup(
        QHostAddress(QLatin1String(SsdpMessage::kGroupAddress)), d->iface);
    if (!d->joined) {
        qDebug() << "SsdpDevice: Can't join multicast group:" << d->socket.errorString();
        return;
    }
    d->joinTimer.stop();
    sendNotifyAlive();
    if (d->notifyTimer.interval() > 0)
        d->notifyTimer.start();
}

void SsdpDevice::sendNotifyAlive()
{
    QString osName;
    QString osVersion;
    osInfo(&osName, &osVersion);
    sendRequest(SsdpMessage::notify(SsdpMessage::kAlive, d->identity(osName, osVersion)));
}

void SsdpDevice::sendNotifyByeBye()
{
    QString osName;
    QString osVersion;
    osInfo(&osName, &osVersion);
    sendRequest(SsdpMessage::notify(SsdpMessage::kByeBye, d->identity(osName, osVersion)));
}

void SsdpDevice::readPendingDatagrams()
{
    while (d->socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = d->socket.receiveDatagram();
        if (!datagram.isValid())
            break;
        if (!isInSubnet(datagram.senderAddress()))
            continue;
        QNetworkRequest request;
        if (!SsdpMessage::parse(datagram.data(), SsdpMessage::RequestLine,
                                d->socket.localAddress(), d->socket.localPort(), &request))
            continue;
        processRequest(datagram.senderAddress(), datagram.senderPort(), request);
    }
}

bool SsdpDevice::osInfo(QString* name, QString* version)
{
    *name = QLatin1String(kOsName);
    *version = QLatin1String(kUnknown);
#if defined(Q_OS_WIN)
    OSVERSIONINFOW info;
    ZeroMemory(&info, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(info);
    if (!GetVersionExW(&info))
        return false;
    *version = QStringLiteral("%1.%2").arg(info.dwMajorVersion).arg(info.dwMinorVersion);
    return true;
#elif defined(Q_OS_UNIX)
    struct utsname system;
    if (uname(&system) != 0)
        return false;
    static const QRegularExpression majorMinor(QStringLiteral("^(\\d+)\\.(\\d+)"));
    const QRegularExpressionMatch match = majorMinor.match(QString::fromLatin1(system.release));
    bool majorOk = false;
    bool minorOk = false;
    const uint major = match.captured(1).toUInt(&majorOk);
    const uint minor = match.captured(2).toUInt(&minorOk);
    if (!match.hasMatch() || !majorOk || !minorOk)
        return false;
    *version = QStringLiteral("%1.%2").arg(major).arg(minor);
    return true;
#else
    return false;
#endif
}

bool SsdpDevice::isInterfaceRunning()
{
    return networkInterface().flags().testFlag(QNetworkInterface::IsRunning);
}

bool SsdpDevice::isInSubnet(const QHostAddress& address)
{
    const QList<QNetworkAddressEntry> entries = networkInterface().addressEntries();
    if (entries.isEmpty())
        return false;
    const QNetworkAddressEntry& first = entries.first();
    const QPair<QHostAddress, int> subnet = QHostAddress::parseSubnet(
        QStringLiteral("%1/%2").arg(first.ip().toString(), first.netmask().toString()));
    return address.isInSubnet(subnet);
}

void SsdpDevice::sendRequest(const QNetworkRequest& request)
{
    const QUrl url = request.url();
    const qint64 written = d->socket.writeDatagram(SsdpMessage::requestDatagram(request),
                                                   QHostAddress(url.host()),
                                                   quint16(url.port()));
    if (written < 0)
        qWarning("%s", qPrintable(tr("Can't send SSDP request")));
}

void SsdpDevice::sendReply(const QNetworkRequest& reply, const QHostAddress& address, int port)
{
    const qint64 written =
        d->socket.writeDatagram(SsdpMessage::responseDatagram(reply), address, quint16(port));
    if (written < 0)
        qWarning("%s", qPrintable(tr("Can't send SSDP reply")));
}

void SsdpDevice::processRequest(const QHostAddress& sender, int port,
                                const QNetworkRequest& request)
{
    if (SsdpMessage::method(request) != QLatin1String(SsdpMessage::kSearch))
        return;
    if (!request.hasRawHeader("ST")
        || request.rawHeader("ST") != d->notificationType.toLatin1())
        return;
    QString osName;
    QString osVersion;
    osInfo(&osName, &osVersion);
    sendReply(SsdpMessage::searchResponse(d->identity(osName, osVersion)), sender, port);
}
