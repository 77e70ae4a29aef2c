#ifndef CONFIGURATOR_COMMON_ICONFIGURATORPLUGIN_H
#define CONFIGURATOR_COMMON_ICONFIGURATORPLUGIN_H

#include <QtPlugin>

/// \file
/// IConfiguratorPlugin, the interface every device plug-in implements.

/// The interface of a device plug-in.  The plug-in loader owns the instance; the
/// library never deletes it through this interface.
class IConfiguratorPlugin
{
public:
    /// Not called by the library: the plug-in loader owns the instance.
    virtual ~IConfiguratorPlugin() {}

    /// Called once after loading; registers the plug-in's device factories
    /// with PluginManager::addDeviceFactory().  The plug-in stays loaded
    /// whatever it returns.
    virtual bool initialize() = 0;
};

/// The interface identifier for Q_PLUGIN_METADATA(IID ...) and Q_INTERFACES.
#define IConfiguratorPlugin_iid "ru.vostrel.IConfiguratorPlugin/1.0"
Q_DECLARE_INTERFACE(IConfiguratorPlugin, IConfiguratorPlugin_iid)

#endif
