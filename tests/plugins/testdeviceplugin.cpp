#include "stubdevicefactory.h"
#include "testdeviceplugin.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/pluginmanager.h>

#include <QObject>
#include <QtPlugin>

class TestDeviceFactory : public QObject, public StubDeviceFactory
{
public:
    explicit TestDeviceFactory(const char* name) : StubDeviceFactory(kTestFactoryUuid)
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
    // Counts its calls in a property, so the test can see it ran once.
    bool initialize() override
    {
        setProperty("initializeCount", property("initializeCount").toInt() + 1);
        PluginManager::addDeviceFactory(new TestDeviceFactory(kFirstFactoryName));
        PluginManager::addDeviceFactory(new TestDeviceFactory(kSecondFactoryName));
        return true;
    }
};

#include "testdeviceplugin.moc"
