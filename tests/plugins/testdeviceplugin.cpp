#include "fakedevicefactory.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/pluginmanager.h>

#include <QCoreApplication>

// Notes its destruction, and that of its factories, in the application's
// "destroyed" property, so that the test can see the order.
void noteDestroyed(const char* name)
{
    QCoreApplication* app = QCoreApplication::instance();
    app->setProperty("destroyed", app->property("destroyed").toStringList() << name);
}

// Two factories of one identity.
struct TestDeviceFactory : FakeFactory
{
    TestDeviceFactory(const char* name) : FakeFactory(QUuid("{6c1f6a53-2f0e-4d8a-9d2b-0e5a3c7b9f11}")), name(name) {}
    ~TestDeviceFactory() override { noteDestroyed(name); }
    const char* name;
};

class TestDevicePlugin : public QObject, public IConfiguratorPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IConfiguratorPlugin_iid)
    Q_INTERFACES(IConfiguratorPlugin)
public:
    ~TestDevicePlugin() override { noteDestroyed("plugin"); }
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
