#include "sampledevicefactory.h"
#include "sampledevice.h"
#include "samplepage.h"
#include "sampleprotocol.h"

#include <configurator-common/deviceconfig.h>
#include <configurator-common/httpclient.h>
#include <configurator-common/json.h>

#include <QDebug>

using namespace SampleProtocol;

QUuid SampleDeviceFactory::uuid()
{
    static const QUuid id(kFactoryUuid);
    return id;
}

QString SampleDeviceFactory::name() const
{
    return QStringLiteral("Sample instrument");
}

QUuid SampleDeviceFactory::factoryUuid() const
{
    return uuid();
}

QString SampleDeviceFactory::description() const
{
    return QStringLiteral("A simulated networked measuring instrument with an HTTP API");
}

Device* SampleDeviceFactory::createDevice(QObject* parent)
{
    return new SampleDevice(this, parent);
}

QList<Page*> SampleDeviceFactory::createPages(Device* device, QWidget* parent)
{
    SamplePage* page = new SamplePage(device, parent);
    // The library leaves the page-to-device wiring to the plug-in.
    QObject::connect(page, SIGNAL(dataRequested(QVariant,int)), device, SLOT(requestData(QVariant,int)));
    QObject::connect(page, SIGNAL(statusRequested()), device, SLOT(requestDeviceStatus()));
    QObject::connect(page, SIGNAL(setConfigData(QString,QVariant)), device, SLOT(setConfigData(QString,QVariant)));
    QObject::connect(page, SIGNAL(getConfigData(QVariant)), device, SLOT(getConfigData(QVariant)));
    QObject::connect(device, SIGNAL(dataUpdated(QVariant)), page, SLOT(updateData(QVariant)));
    QObject::connect(device, SIGNAL(statusUpdated(QVariant)), page, SLOT(changeDeviceStatus(QVariant)));
    QObject::connect(device, SIGNAL(updateConfigData(QVariant)), page, SLOT(updateConfigData(QVariant)));
    return QList<Page*>() << page;
}

Connection* SampleDeviceFactory::createConnection(const QString& type)
{
    if (type != QLatin1String("http"))
        return 0;
    return new HttpClient;
}

// A device hands its whole working record to the connection as settings, so
// the factory finds the device's network group there.
static int networkValue(const ConnectionSettings* settings, const char* key, int fallback, int limit)
{
    const DeviceConfig* config = static_cast<const DeviceConfig*>(settings);
    const QVariant value = config->configData.value(kNetworkGroup).toMap().value(key);
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok && number > 0 && number <= limit ? number : fallback;
}

bool SampleDeviceFactory::prepareConnection(Connection* connection)
{
    HttpClient* client = qobject_cast<HttpClient*>(connection);
    if (!client || !connection->connectionSettings())
        return false;
    const ConnectionSettings* settings = connection->connectionSettings();
    if (settings->address.isNull())
        return false;
    // The port of the connection settings; a record stored before they had
    // one may still name it in its network group.
    quint16 port = settings->port;
    if (port == ConnectionSettings::kDefaultPort)
        port = quint16(networkValue(settings, kPortKey, port, 65535));
    client->connectToHost(settings->address, port);
    client->setAuth(settings->login, settings->password);
    // The instrument always asks for Basic credentials: send them from the
    // first request on instead of learning it from a 401.
    client->setAuthRequire(true);
    return true;
}

void SampleDeviceFactory::requestData(Connection* connection, const QString& pageId,
                                      const QVariant& data, int timeout)
{
    HttpClient* client = qobject_cast<HttpClient*>(connection);
    if (!client)
        return;
    if (connection->connectionSettings())
        timeout = networkValue(connection->connectionSettings(), kTimeoutKey, timeout, timeout);
    const QVariantMap request = data.toMap();
    const QString kind = request.value(kRequestKey).toString();
    const QString group = request.value(kGroupKey).toString();

    if (kind == kDeviceInfo) {
        client->get(pageId, QUrl(kInfoPath), timeout);
    } else if (kind == kDeviceStatus) {
        client->get(pageId, QUrl(kStatusPath), timeout);
    } else if (kind == kReadConfig && !group.isEmpty()) {
        client->get(pageId, QUrl(kConfigPath + group), timeout);
    } else if (kind == kWriteConfig && !group.isEmpty()) {
        const QByteArray body = QtJson::Json::serialize(request.value(kValuesKey));
        client->post(pageId, QUrl(kConfigPath + group), body, timeout);
    } else if (kind == kDownloadLog) {
        client->get(pageId, QUrl(kLogPath), timeout);
    } else {
        qWarning() << "SampleDeviceFactory: unknown request" << data;
    }
}

void SampleDeviceFactory::releaseConnection(Connection* connection)
{
    // The device deletes the connection itself; nothing is kept here.
    Q_UNUSED(connection);
}
