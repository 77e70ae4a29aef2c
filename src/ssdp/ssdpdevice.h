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

// Makes a program findable by SSDP on one network interface.  Once started it
// joins the multicast group (first attempt 3000 ms after start(), then every
// 3000 ms until it succeeds), announces itself with "ssdp:alive" once per
// maximum age, answers searches for exactly its notification type, and
// withdraws with "ssdp:byebye" when stopped or destroyed.
class SsdpDevice : public QObject
{
    Q_OBJECT

public:
    explicit SsdpDevice(QObject* parent = 0);
    ~SsdpDevice() override;

    void setProduct(const QString& product);
    QString product() const;
    void setVersion(const QString& version);
    QString version() const;

    void setDeviceUuid(const QUuid& uuid);
    QUuid deviceUuid() const;

    void setNotificationType(const QString& type);
    QString notificationType();

    void setLocationUrl(QUrl url);
    QUrl locationUrl();

    void setNetworkInterface(const QNetworkInterface& iface);
    // Looks the stored interface up again by its name first.
    QNetworkInterface networkInterface();

    // The announcement period, which is also the advertised maximum age:
    // 0 to 1799 seconds; other values are ignored.  With 0 the device
    // announces once when it joins, then only answers searches.
    void setNotifyMaxAge(int seconds);
    int notifyMaxAge() const;

    void start();
    void stop();
    // From the first successful join until stop().
    bool isRunning();

protected slots:
    void joinMulticastGroup();
    void sendNotifyAlive();
    void sendNotifyByeBye();
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
