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

// Implemented by device plug-ins: creates a kind of device, its pages and its
// transport, and turns page requests into transport requests.  Registered
// factories are owned by the PluginManager.
class IDeviceFactory
{
public:
    virtual ~IDeviceFactory() {}

    // The kind of device, shown to the user.
    virtual QString name() const = 0;
    virtual QUuid factoryUuid() const = 0;
    virtual QString description() const = 0;
    virtual Device* createDevice(QObject* parent = 0) = 0;
    virtual QList<Page*> createPages(Device* device, QWidget* parent = 0) = 0;

    // Returns a new connection of the given type ("http"); the device owns it
    // and hands it back through releaseConnection().
    virtual Connection* createConnection(const QString& type) = 0;
    // Configures the transport from connection->connectionSettings().
    virtual bool prepareConnection(Connection* connection) = 0;
    // Issues the transport request(s) for one page request; every outcome comes
    // back as a signal of the connection with pageId as its first argument.
    virtual void requestData(Connection* connection, const QString& pageId,
                             const QVariant& data, int timeout) = 0;
    // Called before the device deletes the connection; must not delete it.
    virtual void releaseConnection(Connection* connection) = 0;
};

#endif
