#ifndef CONFIGURATOR_COMMON_DEVICE_P_H
#define CONFIGURATOR_COMMON_DEVICE_P_H

#include <QDateTime>
#include <QPointer>
#include <QSharedPointer>
#include <QUuid>

#include "connection.h"
#include "device.h"
#include "deviceconfig.h"

class IDeviceFactory;

// A transport request may wait in a nested event loop, and during that wait
// the device may drop the connection (new connection settings, or the device
// itself is destroyed).  The connection must outlive that wait, so a retired
// connection is deleted only once no dispatch through it is still running.
// Shared between the device and every dispatch frame on the stack.
struct ConnectionLease
{
    QPointer<Connection> connection;
    int activeRequests = 0;
    bool retired = false;

    void retire();
    void deleteIfIdle();
};

class DevicePrivate
{
public:
    static DevicePrivate* get(Device* device) { return device->d.data(); }
    // The page identifier of the request being handled: the sending page's
    // id, or "device" when no page sent it.
    static QString pageIdOf(const QObject* sender);

    void replaceConnection(Device* device);

    QUuid uuid;
    IDeviceFactory* factory = nullptr;   // not owned
    Connection* connection = nullptr;    // owned, see lease
    QSharedPointer<ConnectionLease> lease;
    DeviceConfig config;
    DeviceConfig savedConfig;
    int status = StatusUnknown;
    QDateTime lastExchangeTime;
    bool configModified = false;
};

#endif
