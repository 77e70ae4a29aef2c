#include "fakedevicefactory.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/pluginmanager.h>

#include <QObject>

// Two factories of one identity, QObjects named so that the test can watch
// them being destroyed.
class TestDeviceFactory : public QObject, public FakeFactory
{
public:
    explicit TestDeviceFactory(const char* name) : FakeFactory(QUuid("{6c1f6a53-2f0e-4d8a-9d2b-0e5a3c7b9f11}"))
    {
        setObjectName(QLatin1String(name));
    }
    QString name() const override { return objectName(); }
};

class TestDevicePlugin : public QObject, public IConfiguratorPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IConfiguratorPlugin_iid)
    Q_INTERFACES(IConfiguratorPlugin)
public:
    // Notes, at each call, how many plug-ins the manager holds.
    bool initialize() override
    {
        setProperty("pluginsSeen", property("pluginsSeen").toList() << PluginManager::plugins().size());
        PluginManager::addDeviceFactory(new TestDeviceFactory("first-factory"));
        PluginManager::addDeviceFactory(new TestDeviceFactory("second-factory"));
        return true;
    }
};

#include "testdeviceplugin.moc"
