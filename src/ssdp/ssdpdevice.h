#ifndef CONFIGURATOR_COMMON_SSDPDEVICE_H
#define CONFIGURATOR_COMMON_SSDPDEVICE_H

#include <QObject>
#include <QScopedPointer>
#include <QString>
#include <QUrl>
#include <QUuid>

class QHostAddress;
class QNetworkInterface;
class QNetworkRequest;
class SsdpDevicePrivate;

/// \file
/// SsdpDevice, the announcing side of SSDP discovery.

/// Makes a program findable by SSDP on one network interface.  Once started it
/// joins the multicast group (first attempt 3000 ms after start(), then every
/// 3000 ms until it succeeds), announces itself with "ssdp:alive" once per
/// maximum age, answers searches for exactly its notification type, and
/// withdraws with "ssdp:byebye" when stopped or destroyed.  Only searches from
/// the subnet of the interface's first address are answered.
class SsdpDevice : public QObject
{
    Q_OBJECT

public:
    /// Creates a stopped device: product and version "unknown", notification
    /// type "upnp:rootdevice", maximum age 900 seconds.
    explicit SsdpDevice(QObject* parent = 0);
    /// Calls stop(), so a joined device withdraws with "ssdp:byebye".
    ~SsdpDevice() override;

    /// Sets the product name of the SERVER header.
    void setProduct(const QString& product);
    /// The product name of the SERVER header.
    QString product() const;
    /// Sets the product version of the SERVER header.
    void setVersion(const QString& version);
    /// The product version of the SERVER header.
    QString version() const;

    /// Sets the identity announced in the USN header ("uuid:...").
    void setDeviceUuid(const QUuid& uuid);
    /// The announced identity.
    QUuid deviceUuid() const;

    /// Sets the NT of announcements and the only ST that searches are answered for.
    void setNotificationType(const QString& type);
    /// The notification type.
    QString notificationType();

    /// Sets the LOCATION sent in announcements and answers.
    void setLocationUrl(QUrl url);
    /// The LOCATION sent in announcements and answers.
    QUrl locationUrl();

    /// Chooses the interface to announce on; it is kept by name.
    void setNetworkInterface(const QNetworkInterface& iface);
    /// Looks the stored interface up again by its name first.
    QNetworkInterface networkInterface();

    /// The announcement period, which is also the advertised maximum age:
    /// 0 to 1799 seconds; other values are ignored.  With 0 the device
    /// announces once when it joins, then only answers searches.
    void setNotifyMaxAge(int seconds);
    /// The announcement period in seconds.
    int notifyMaxAge() const;

    /// Starts trying to join the multicast group; announcing begins with the
    /// first successful join.  A down interface is tried again later.
    void start();
    /// Sends "ssdp:byebye", stops announcing and leaves the group; does
    /// nothing when not joined.
    void stop();
    /// From the first successful join until stop().
    bool isRunning();

protected slots:
    /// One attempt to bind port 1900 and join the group; on success announces
    /// at once and then once per maximum age.
    void joinMulticastGroup();
    /// Sends one "ssdp:alive" announcement.
    void sendNotifyAlive();
    /// Sends one "ssdp:byebye" announcement.
    void sendNotifyByeBye();
    /// Reads the socket's datagrams and answers matching searches.
    void readPendingDatagrams();

private:
    bool osInfo(QString* name, QString* version);
    bool isInterfaceRunning();
    bool isInSubnet(const QHostAddress& address);
    void sendRequest(const QNetworkRequest& request);
    void sendReply(const QNetworkRequest& reply, const QHostAddress& address, int port);
    void processRequest(const QHostAddress& sender, int port, const QNetworkRequest& request);

    Q_DISABLE_COPY(SsdpDevice)
    QScopedPointer<SsdpDevicePrivate> d;
};

#endif // CONFIGURATOR_COMMON_SSDPDEVICE_H
