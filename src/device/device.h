#ifndef CONFIGURATOR_COMMON_DEVICE_H
#define CONFIGURATOR_COMMON_DEVICE_H

#include <QObject>
#include <QScopedPointer>
#include <QString>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include "deviceconfig.h"

class Connection;
class IDeviceFactory;
class QSettings;
class DevicePrivate;

/// \file
/// The device model: Device and its status values.

/// The state of a device as its last request left it, reported by
/// Device::statusUpdated() under "status".
/// Plug-ins may set other values through Device::setStatus(); they are kept
/// and reported unchanged, hence the fixed underlying type.
enum DeviceStatusFlag : int
{
    StatusUnknown = 0,      ///< Not asked yet, or no address configured.
    StatusNoResponse = 1,   ///< A request timed out, or the transport could not be prepared.
    StatusOnline = 2,       ///< The last request was answered.
    StatusAuthRequired = 4  ///< The device refused the credentials, or login or password is empty.
};

/// One configurable device.  Pages send requests to its slots and receive its
/// signals; the device checks and tags each request and hands it to its
/// plug-in's factory, which drives the transport.  Plug-ins subclass it.
///
/// The device owns its Connection (created through the factory); the factory
/// is not owned.  Replies from the device itself are tagged with the page
/// identifier "device"; see the plug-in author's guide for the request maps.
class Device : public QObject
{
    Q_OBJECT
public:
    /// Hands the connection back through IDeviceFactory::releaseConnection()
    /// and deletes it, later if a request through it is still waiting.
    ~Device() override;

    /// The identity created at construction (null without a factory); it is
    /// saved by saveConfig() but not restored by loadConfig().
    QUuid uuid() const;
    /// The factory that created the device; not owned, may be null.
    IDeviceFactory* plugin() const;
    /// The working record, owned by the device; it is also the connection's
    /// settings, so edits reach the transport at its next preparation.
    DeviceConfig* config();

    /// The status the last request or setStatus() left.
    DeviceStatusFlag status();
    /// Stores \a status and emits statusUpdated(), also when it is unchanged.
    void setStatus(DeviceStatusFlag status);

    /// True when setConfigData() left the record different from the one last
    /// saved or loaded.
    bool isConfigModified();
    /// Sends a status request with a one-second time-out, then waits one second
    /// in a nested event loop; false only when the device then requires
    /// authorization, or was destroyed meanwhile.  The whole probe takes about
    /// two seconds at most.
    bool checkAuth();

    /// Writes uuid, the "system" and "connection" groups and every
    /// configuration group (listed in "groupConfigs") relative to the settings
    /// object's current group; a null pointer does nothing.
    void saveConfig(QSettings* settings);
    /// Reads back what saveConfig() wrote (not the uuid); missing or malformed
    /// dates read as the start of 1970.  A null pointer does nothing.
    void loadConfig(QSettings* settings);

signals:
    /// Emitted for every reply and every time-out, after statusUpdated().
    /// \a reply is a map with "type", "page", "url", "method", "status" and
    /// "data" (null on a time-out).
    void dataUpdated(const QVariant& reply);
    /// Emitted by every setStatus(); \a report is a map with "status" (an int,
    /// see DeviceStatusFlag) and "uuid" (the device's uuid as text).
    void statusUpdated(const QVariant& report);
    /// Declared for pages to connect to; the device itself reports a refusal
    /// through statusUpdated() with StatusAuthRequired.
    void authRequired(const QVariant& data);
    /// Emitted with uuid() after setDeviceInfo() applied a non-null map: last,
    /// after statusUpdated() and dataUpdated() of a reply to page "device".
    void deviceInfoUpdated(const QUuid& uuid);
    /// Emitted by getConfigData(): the configuration groups by name, plus
    /// "page" (the asking page's id), "connectcfg" (ip, login, password) and
    /// "systemcfg" (serial, productionDate as QDateTime, location).
    void updateConfigData(const QVariant& configMap);
    /// Emitted after every setConfigData().
    void configChanged();

public slots:
    /// Sends a status request when nothing was exchanged for 30 seconds.
    void refreshStatus();
    /// Sends {"request": "deviceStatus"} with a time-out of 900 ms.
    void requestStatus();
    /// Connected to the connection's connected(); only logs.
    void connected();
    /// Connected to the connection's timeout(): sets StatusNoResponse and emits
    /// dataUpdated() with null data.
    void timeout(QVariant pageId, const QUrl& url, const QVariant& request);
    /// Connected to the connection's disconnected(); only logs.
    void disconnected();
    /// Connected to the connection's authRequired(): sets StatusAuthRequired.
    void authRequired(QVariant pageId, const QUrl& url);
    /// Connected to the connection's dataReceived(): sets StatusOnline, emits
    /// dataUpdated() with the reply map and, for page "device", applies \a data
    /// through setDeviceInfo().
    void dataReceived(QVariant pageId, const QUrl& url, const QVariant& request, const QVariant& data);
    /// Hands one page request to the factory, tagged with the sending page's
    /// id ("device" when no Page sent it).  \a timeout is in milliseconds.
    /// The factory may wait in a nested event loop.  Without an address the
    /// status becomes StatusUnknown, without login or password
    /// StatusAuthRequired, and StatusNoResponse when the transport cannot be
    /// prepared; nothing is sent then.
    void requestData(const QVariant& data, int timeout = 60000);
    /// Sends {"request": "deviceInfo"} with a time-out of 60 seconds.
    void requestDeviceInfo();
    /// Takes the identification keys ("model", "description", "serialNumer",
    /// "productionDate", "certificateSerial", "lastVerificationDate",
    /// "nextVerificationDate" in seconds since 1970, "accuracyClass") from
    /// the map \a info into the record, ignores other keys, and emits
    /// deviceInfoUpdated().  A null \a info does nothing.
    void setDeviceInfo(const QVariant& info);
    /// Emits statusUpdated() with the current status; sends nothing.
    void requestDeviceStatus();
    /// Sets one configuration group: a non-empty map is stored under \a name,
    /// anything else removes the group.  "connectcfg" instead takes "ip",
    /// "login" and "password" (empty ones keep the old value), replaces the
    /// connection and emits updateConfigData().  Emits configChanged().
    void setConfigData(const QString& name, const QVariant& value);
    /// Emits updateConfigData() with the whole record; the argument is ignored.
    void getConfigData(const QVariant& unused);

protected:
    /// Creates a device of \a factory (not owned) with a new uuid and a
    /// connection from the factory; without a factory the device has a null
    /// uuid and no connection, and cannot send.
    Device(IDeviceFactory* factory, QObject* parent);

private:
    void createConnection();
    bool prepareConnection();

    Q_DISABLE_COPY(Device)
    friend class DevicePrivate;
    QScopedPointer<DevicePrivate> d;
};

#endif
