#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/pluginmanager.h>

#include <QObject>

// A second configurator plug-in that registers nothing; like the device
// plug-in it notes how many plug-ins the manager holds when initialised, which
// must be all of them.
class TestOrderPlugin : public QObject, public IConfiguratorPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IConfiguratorPlugin_iid)
    Q_INTERFACES(IConfiguratorPlugin)
public:
    bool initialize() override
    {
        setProperty("pluginsSeen", property("pluginsSeen").toList() << PluginManager::plugins().size());
        return true;
    }
};

#include "testorderplugin.moc"
