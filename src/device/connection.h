#ifndef CONFIGURATOR_COMMON_CONNECTION_H
#define CONFIGURATOR_COMMON_CONNECTION_H

#include <QHostAddress>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>
#include <QVariant>

/// \file
/// The transport base class and the settings it works from.

/// What a transport needs to reach and authenticate to a device.  Device
/// fills it from "connectcfg" (see Device::setConfigData()).
struct ConnectionSettings
{
    QHostAddress address;   ///< The device's address; the null address means "not configured".
    QString login;          ///< The user name sent to the device.
    QString password;       ///< Kept and stored as plain text.
    /// The device's TCP port; kDefaultPort unless a host or the stored settings name another.
    quint16 port = kDefaultPort;

    /// The port that every URL of the library assumes, and the one that stored settings omit.
    static constexpr quint16 kDefaultPort = 80;

    /// Field by field; addresses compare by their text.
    bool operator==(const ConnectionSettings& other) const;
    /// The negation of operator==().
    bool operator!=(const ConnectionSettings& other) const { return !(*this == other); }
};

/// Transport-neutral base of every device transport.  Requests are issued by the
/// plug-in's factory, which knows the concrete class; the base only fixes the
/// signals through which a transport reports to its Device.  Every outcome
/// signal carries the request's page identifier first.
class Connection : public QObject
{
    Q_OBJECT
public:
    /// Creates a connection without settings, not connected.
    explicit Connection(QObject* parent = 0);
    /// Destroys the connection; the settings are not owned.
    ~Connection() override;

    /// Not owned: the device points it at its working DeviceConfig.
    void setConnectionSettings(ConnectionSettings* settings);
    /// The settings set last, or null.
    ConnectionSettings* connectionSettings();

    /// True between the emissions of connected() and disconnected().
    bool isConnected();

signals:
    /// Emitted with the transport's error code when a request fails for another
    /// reason than refused credentials (refused connection, HTTP error status).
    /// Device does not connect it.
    void error(QNetworkReply::NetworkError code);
    /// Emitted by a transport that keeps a link when it is up; HttpClient
    /// does not emit it.
    void connected();
    /// Emitted when no answer came within the request's time-out; \a info
    /// describes the request ("type", "method", "status").
    void timeout(QVariant pageId, const QUrl& url, const QVariant& info);
    /// Emitted by a transport that keeps a link when it went down; HttpClient
    /// does not emit it.
    void disconnected();
    /// Emitted when the device refused the credentials.
    void authRequired(QVariant pageId, const QUrl& url);
    /// Emitted with the decoded answer \a data; \a info describes the request
    /// ("type", "method", "status").
    void dataReceived(QVariant pageId, const QUrl& url, const QVariant& info, const QVariant& data);

private slots:
    void connectUp();
    void connectDown();

private:
    ConnectionSettings* settings;
    bool connectedFlag;
};

#endif
