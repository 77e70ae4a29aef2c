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

// Plug-ins may set other values through Device::setStatus(); they are kept
// and reported unchanged, hence the fixed underlying type.
enum DeviceStatusFlag : int
{
    StatusUnknown = 0,
    StatusNoResponse = 1,
    StatusOnline = 2,
    StatusAuthRequired = 4
};

// One configurable device.  Pages send requests to its slots and receive its
// signals; the device checks and tags each request and hands it to its
// plug-in's factory, which drives the transport.  Plug-ins subclass it.
class Device : public QObject
{
    Q_OBJECT
public:
    ~Device() override;

    QUuid uuid() const;
    IDeviceFactory* plugin() const;
    // The working record; it is also the connection's settings.
    DeviceConfig* config();

    DeviceStatusFlag status();
    void setStatus(DeviceStatusFlag status);

    bool isConfigModified();
    // Sends a status request with a one-second time-out and waits one second
    // in a nested event loop; false only when the device then requires
    // authorization.  The whole probe takes about two seconds at most.
    bool checkAuth();

    // Both work relative to the settings object's current group; a null
    // pointer does nothing.
    void saveConfig(QSettings* settings);
    void loadConfig(QSettings* settings);

signals:
    void dataUpdated(const QVariant& reply);
    void statusUpdated(const QVariant& report);
    void authRequired(const QVariant& data);
    void deviceInfoUpdated(const QUuid& uuid);
    void updateConfigData(const QVariant& configMap);
    void configChanged();

public slots:
    void refreshStatus();
    void requestStatus();
    void connected();
    void timeout(QVariant pageId, const QUrl& url, const QVariant& request);
    void disconnected();
    void authRequired(QVariant pageId, const QUrl& url);
    void dataReceived(QVariant pageId, const QUrl& url, const QVariant& request, const QVariant& data);
    void requestData(const QVariant& data, int timeout = 60000);
    void requestDeviceInfo();
    void setDeviceInfo(const QVariant& info);
    void requestDeviceStatus();
    void setConfigData(const QString& name, const QVariant& value);
    void getConfigData(const QVariant& unused);

protected:
    // factory is not owned; without one the device has a null uuid and no
    // connection, and cannot send.
    Device(IDeviceFactory* factory, QObject* parent);

private:
    void createConnection();
    bool prepareConnection();

    Q_DISABLE_COPY(Device)
    friend class DevicePrivate;
    QScopedPointer<DevicePrivate> d;
};

#endif
