#ifndef CONFIGURATOR_COMMON_PLUGINMANAGER_P_H
#define CONFIGURATOR_COMMON_PLUGINMANAGER_P_H

#include <QList>
#include <QObject>

class IConfiguratorPlugin;
class IDeviceFactory;
class QPluginLoader;

class PluginManagerPrivate : public QObject
{
    Q_OBJECT
public:
    explicit PluginManagerPrivate(QObject* parent);
    // Deletes the factories before unloading the libraries that hold their code.
    ~PluginManagerPrivate() override;

    void loadPlugins();
    bool initializePlugins();

    QList<QPluginLoader*> loaders;          // owned; parallel to plugins
    QList<IConfiguratorPlugin*> plugins;    // owned by their loaders
    QList<IDeviceFactory*> deviceFactories; // owned

private:
    void reportMissingDirectory();
};

#endif
