#ifndef CONFIGURATOR_COMMON_PLUGINMANAGER_H
#define CONFIGURATOR_COMMON_PLUGINMANAGER_H

#include <QList>
#include <QObject>
#include <QUuid>

class IConfiguratorPlugin;
class IDeviceFactory;
class PluginManagerPrivate;

// Loads the device plug-ins from the "plugins" directory beside the
// application and keeps the device factories that they register.  The
// application constructs one manager after its QApplication; everything else
// reaches it through the static operations, which answer an empty list, false
// or null while no manager exists.
class PluginManager : public QObject
{
    Q_OBJECT
public:
    explicit PluginManager(QObject* parent = 0);
    ~PluginManager() override;

    // The manager last constructed, or null once it has been destroyed.
    static PluginManager* instance();

    static QList<IConfiguratorPlugin*> plugins();
    static QList<IDeviceFactory*> deviceFactories();
    // The first registered factory with this identity, or null.
    static IDeviceFactory* deviceFactory(const QUuid& uuid);
    // Takes ownership of the factory; false for a null pointer, a factory
    // already registered, or when no manager exists (the factory then stays
    // the caller's).  Factories of the same identity may all be registered.
    static bool addDeviceFactory(IDeviceFactory* factory);

private:
    static PluginManagerPrivate* current();

    static PluginManager* m_instance;
    PluginManagerPrivate* d;
};

#endif
