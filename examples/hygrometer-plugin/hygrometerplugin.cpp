// A hygrometer: identification at /id, readings at /now, HTTP Basic
// credentials on every request.  Everything it knows of the host is the
// library's interfaces.
#include <configurator-common/device.h>
#include <configurator-common/httpclient.h>
#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/page.h>
#include <configurator-common/pluginmanager.h>

#include <QLabel>
#include <QVariantMap>

class HygrometerDevice : public Device
{
    Q_OBJECT
public:
    explicit HygrometerDevice(IDeviceFactory* factory, QObject* parent) : Device(factory, parent) {}
};

class HumidityPage : public Page
{
    Q_OBJECT
public:
    explicit HumidityPage(Device* device, QWidget* parent) : Page(device, parent), label(new QLabel(this))
    {
        setId(QStringLiteral("hygrometer.humidity"));
        setTitle(QStringLiteral("Humidity"));
        setCentralWidget(label);
    }

public slots:
    void updateData(const QVariant& data) override
    {
        const QVariantMap body = data.toMap().value(QStringLiteral("data")).toMap();
        if (body.contains(QStringLiteral("rh")))
            label->setText(QStringLiteral("%1 %RH").arg(body.value(QStringLiteral("rh")).toDouble()));
    }
    void changeDeviceStatus(const QVariant&) override {}
    void updateConfigData(const QVariant&) override {}

private:
    QLabel* label;
};

class HygrometerFactory : public IDeviceFactory
{
public:
    QString name() const override { return QStringLiteral("Test hygrometer"); }
    QUuid factoryUuid() const override { return QUuid(QStringLiteral("{0b7e29d4-58c1-4f3a-a6e2-93d0c4b15f87}")); }
    QString description() const override { return QStringLiteral("A hygrometer of the plug-in test"); }
    Device* createDevice(QObject* parent) override { return new HygrometerDevice(this, parent); }
    QList<Page*> createPages(Device* device, QWidget* parent) override
    {
        Page* page = new HumidityPage(device, parent);
        QObject::connect(page, SIGNAL(dataRequested(QVariant,int)), device, SLOT(requestData(QVariant,int)));
        QObject::connect(device, SIGNAL(dataUpdated(QVariant)), page, SLOT(updateData(QVariant)));
        return {page};
    }
    Connection* createConnection(const QString& type) override
    {
        return type == QLatin1String("http") ? new HttpClient : nullptr;
    }
    bool prepareConnection(Connection* connection) override
    {
        HttpClient* client = qobject_cast<HttpClient*>(connection);
        const ConnectionSettings* settings = connection->connectionSettings();
        if (!client || !settings || settings->address.isNull())
            return false;
        client->connectToHost(settings->address, settings->port);
        client->setAuth(settings->login, settings->password);
        client->setAuthRequire(true);
        return true;
    }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data, int timeout) override
    {
        HttpClient* client = qobject_cast<HttpClient*>(connection);
        const QString kind = data.toMap().value(QStringLiteral("request")).toString();
        if (client)
            client->get(pageId, QUrl(kind == QLatin1String("deviceInfo") ? "/id" : "/now"), timeout);
    }
    void releaseConnection(Connection*) override {}
};

class HygrometerPlugin : public QObject, public IConfiguratorPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID IConfiguratorPlugin_iid)
    Q_INTERFACES(IConfiguratorPlugin)
public:
    bool initialize() override { return PluginManager::addDeviceFactory(new HygrometerFactory); }
};

#include "hygrometerplugin.moc"
