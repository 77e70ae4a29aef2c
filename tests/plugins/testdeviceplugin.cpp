#include "testdeviceplugin.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/pluginmanager.h>

#include <QObject>
#include <QtPlugin>

class TestDeviceFactory : public QObject, public IDeviceFactory
{
    Q_OBJECT
public:
    explicit TestDeviceFactory(const char* name) { setObjectName(QLatin1String(name)); }

    QString name() const override { return objectName(); }
    QUuid factoryUuid() const override { return kTestFactoryUuid; }
    QString description() const override { return QString(); }
    Device* createDevice(QObject*) override { return 0; }
    QList<Page*> createPages(Device*, QWidget*) override { return QList<Page*>(); }
    Connection* createConnection(const QString&) override { return 0; }
    bool prepareConnection(Connection*) override { return false; }
    void requestData(Connection*, const QString&, const QVariant&, int) override {}
    void releaseConnection(Connection*) override {}
};

class TestDevicePlugin : public QObject, public IConfiguratorPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IConfiguratorPlugin_iid)
    Q_INTERFACES(IConfiguratorPlugin)
public:
    bool initialize() override
    {
        setProperty(kInitializeCountProperty, property(kInitializeCountProperty).toInt() + 1);
        PluginManager::addDeviceFactory(new TestDeviceFactory(kFirstFactoryName));
        PluginManager::addDeviceFactory(new TestDeviceFactory(kSecondFactoryName));
        return true;
    }
};

#include "testdeviceplugin.moc"
