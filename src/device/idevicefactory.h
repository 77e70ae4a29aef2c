#ifndef CONFIGURATOR_COMMON_IDEVICEFACTORY_H
#define CONFIGURATOR_COMMON_IDEVICEFACTORY_H

#include <QList>
#include <QString>
#include <QUuid>
#include <QVariant>

class Connection;
class Device;
class Page;
class QObject;
class QWidget;

/// \file
/// IDeviceFactory, the interface through which a plug-in makes devices.

/// Implemented by device plug-ins: creates a kind of device, its pages and its
/// transport, and turns page requests into transport requests.  Registered
/// factories are owned by the PluginManager.
class IDeviceFactory
{
public:
    /// Called by the PluginManager that owns the factory, before the plug-in is unloaded.
    virtual ~IDeviceFactory() {}

    /// The kind of device, shown to the user.
    virtual QString name() const = 0;
    /// A fixed identity, the same in every run; PluginManager::deviceFactory() finds it.
    virtual QUuid factoryUuid() const = 0;
    /// A longer text about the kind of device, shown to the user.
    virtual QString description() const = 0;
    /// Returns a new device of this kind, owned by \a parent (or the caller).
    virtual Device* createDevice(QObject* parent = 0) = 0;
    /// Returns new pages for \a device, owned by \a parent (or the caller),
    /// with their signals connected to the device's slots and back.
    virtual QList<Page*> createPages(Device* device, QWidget* parent = 0) = 0;

    /// Returns a new connection of the given type ("http"), or null; the
    /// device owns it and hands it back through releaseConnection().
    virtual Connection* createConnection(const QString& type) = 0;
    /// Configures the transport from connection->connectionSettings();
    /// false when it cannot be used (the device then reports StatusNoResponse).
    virtual bool prepareConnection(Connection* connection) = 0;
    /// Issues the transport request(s) for one page request; every outcome comes
    /// back as a signal of the connection with pageId as its first argument.
    /// \a timeout is in milliseconds; the call may wait in a nested event loop.
    virtual void requestData(Connection* connection, const QString& pageId,
                             const QVariant& data, int timeout) = 0;
    /// Called before the device deletes the connection; must not delete it.
    virtual void releaseConnection(Connection* connection) = 0;
};

#endif
