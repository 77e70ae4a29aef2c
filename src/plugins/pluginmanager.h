#ifndef CONFIGURATOR_COMMON_PLUGINMANAGER_H
#define CONFIGURATOR_COMMON_PLUGINMANAGER_H

#include <QList>
#include <QObject>
#include <QUuid>

class IConfiguratorPlugin;
class IDeviceFactory;
class PluginManagerPrivate;

/// \file
/// PluginManager, the loader of device plug-ins.

/// Loads the device plug-ins from the "plugins" directory beside the
/// application and keeps the device factories that they register.  The
/// application constructs one manager after its QApplication; everything else
/// reaches it through the static operations, which answer an empty list, false
/// or null while no manager exists.
class PluginManager : public QObject
{
    Q_OBJECT
public:
    /// Loads every plug-in of the IConfiguratorPlugin interface from the
    /// "plugins" directory beside the application and calls its initialize().
    /// Files of another kind are skipped with the loader's warning; a missing
    /// directory gives "Plugins directory does not exist" (a message box in a
    /// widget application, a warning otherwise).
    explicit PluginManager(QObject* parent = 0);
    /// Deletes the registered factories, then unloads the plug-ins.
    ~PluginManager() override;

    /// The manager last constructed, or null once it has been destroyed.
    static PluginManager* instance();

    /// The loaded plug-ins, in load order; owned by their loaders.
    static QList<IConfiguratorPlugin*> plugins();
    /// The registered factories, in registration order; owned by the manager.
    static QList<IDeviceFactory*> deviceFactories();
    /// The first registered factory with this identity, or null.
    static IDeviceFactory* deviceFactory(const QUuid& uuid);
    /// Takes ownership of the factory; false for a null pointer, a factory
    /// already registered, or when no manager exists (the factory then stays
    /// the caller's).  Factories of the same identity may all be registered.
    static bool addDeviceFactory(IDeviceFactory* factory);

private:
    static PluginManagerPrivate* current();

    static PluginManager* m_instance;
    PluginManagerPrivate* d;
};

#endif
