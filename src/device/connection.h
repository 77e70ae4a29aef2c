#ifndef CONFIGURATOR_COMMON_CONNECTION_H
#define CONFIGURATOR_COMMON_CONNECTION_H

#include <QHostAddress>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

// What a transport needs to reach and authenticate to a device.
struct ConnectionSettings
{
    QHostAddress address;   // the null address means "not configured"
    QString login;
    QString password;       // kept and stored as plain text
    /// The device's TCP port; kDefaultPort unless a host or the stored settings name another.
    quint16 port = kDefaultPort;

    /// The port that every URL of the library assumes, and the one that stored settings omit.
    static constexpr quint16 kDefaultPort = 80;

    bool operator==(const ConnectionSettings& other) const;
    bool operator!=(const ConnectionSettings& other) const { return !(*this == other); }
};

// Transport-neutral base of every device transport.  Requests are issued by the
// plug-in's factory, which knows the concrete class; the base only fixes the
// signals through which a transport reports to its Device.
class Connection : public QObject
{
    Q_OBJECT
public:
    explicit Connection(QObject* parent = 0);
    ~Connection() override;

    // Not owned: the device points it at its working DeviceConfig.
    void setConnectionSettings(ConnectionSettings* settings);
    ConnectionSettings* connectionSettings();

    bool isConnected();

signals:
    void error(QNetworkReply::NetworkError code);
    void connected();
    void timeout(QVariant pageId, const QUrl& url, const QVariant& info);
    void disconnected();
    void authRequired(QVariant pageId, const QUrl& url);
    void dataReceived(QVariant pageId, const QUrl& url, const QVariant& info, const QVariant& data);

private slots:
    void connectUp();
    void connectDown();

private:
    ConnectionSettings* settings;
    bool connectedFlag;
};

#endif
