#include "device.h"
#include "device_p.h"
#include "qtcompat_p.h"

#include <QDebug>
#include <QEventLoop>
#include <QSettings>
#include <QStringList>
#include <QTimer>

#include <limits>

#include "idevicefactory.h"

namespace {

const int kStatusPollPeriodMs = 30000;
const int kStatusRequestTimeoutMs = 900;
const int kDefaultRequestTimeoutMs = 60000;
const int kAuthProbeWaitMs = 1000;
// The probe's own request: a transport that waits for its reply in a nested
// loop would otherwise hold the caller (the GUI) for the full default time-out.
const int kAuthProbeRequestTimeoutMs = 1000;

const char kTransportType[] = "http";
const char kDevicePageId[] = "device";
const char kConnectGroup[] = "connectcfg";
const char kSystemGroup[] = "systemcfg";

// Seconds since 1970 as stored in settings and sent by devices.  Anything
// that is not a count of seconds an unsigned time_t can hold gives the start
// of 1970, as a missing value does.
QDateTime dateFromSeconds(const QVariant& value)
{
    bool ok = false;
    const qlonglong seconds = value.toLongLong(&ok);
    if (!ok || seconds < 0 || seconds >= qlonglong(std::numeric_limits<uint>::max()))
        return QDateTime::fromSecsSinceEpoch(0);
    return QDateTime::fromSecsSinceEpoch(seconds);
}

// A date that has no seconds count (null or invalid) is stored as 0 rather
// than as toTime_t()'s failure marker, which would read back as 2106.
uint secondsFromDate(const QDateTime& date)
{
    return date.isValid() ? QtCompat::toTime_t(date) : 0;
}

// A port from "connectcfg" or the stored settings: a number from 1 to 65535
// replaces the record's port; anything else leaves it, with a warning when the
// value was given but unusable.
void setPortFrom(const QVariant& value, ConnectionSettings* settings)
{
    if (value.isNull() || value.toString().isEmpty())
        return;
    bool ok = false;
    const uint port = value.toString().toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        qWarning() << "Device: ignoring the port" << value.toString();
        return;
    }
    settings->port = quint16(port);
}

QVariantMap makeReply(const QVariant& pageId, const QUrl& url, const QVariant& request,
                      const QVariant& data)
{
    const QVariantMap description = request.toMap();
    QVariantMap reply;
    reply.insert(QStringLiteral("type"), description.value(QStringLiteral("type")));
    reply.insert(QStringLiteral("page"), pageId);
    reply.insert(QStringLiteral("url"), url.toString());
    reply.insert(QStringLiteral("method"), description.value(QStringLiteral("method")));
    reply.insert(QStringLiteral("status"), description.value(QStringLiteral("status")));
    reply.insert(QStringLiteral("data"), data);
    return reply;
}

QVariantMap requestMap(const QString& request)
{
    QVariantMap map;
    map.insert(QStringLiteral("request"), request);
    return map;
}

} // namespace

void ConnectionLease::retire()
{
    if (connection)
        QObject::disconnect(connection, nullptr, nullptr, nullptr);
    retired = true;
    deleteIfIdle();
}

void ConnectionLease::deleteIfIdle()
{
    if (retired && activeRequests == 0 && connection)
        connection->deleteLater();
}

Device::Device(IDeviceFactory* factory, QObject* parent)
    : QObject(parent)
    , d(new DevicePrivate)
{
    d->factory = factory;
    if (factory) {
        d->uuid = QUuid::createUuid();
        createConnection();
    }
    setStatus(StatusUnknown);
    d->configModified = false;
}

Device::~Device()
{
    if (d->connection) {
        QObject::disconnect(d->connection, nullptr, nullptr, nullptr);
        if (d->factory)
            d->factory->releaseConnection(d->connection);
        d->lease->retire();
    }
}

QUuid Device::uuid() const
{
    return d->uuid;
}

IDeviceFactory* Device::plugin() const
{
    return d->factory;
}

DeviceConfig* Device::config()
{
    return &d->config;
}

DeviceStatusFlag Device::status()
{
    return DeviceStatusFlag(d->status);
}

void Device::setStatus(DeviceStatusFlag status)
{
    d->status = status;
    requestDeviceStatus();
}

bool Device::isConfigModified()
{
    return d->configModified;
}

void Device::createConnection()
{
    if (!d->factory)
        return;
    Connection* connection = d->factory->createConnection(QLatin1String(kTransportType));
    if (!connection) {
        qWarning() << "Device: the factory returned no connection for" << kTransportType;
        return;
    }
    d->connection = connection;
    d->lease.reset(new ConnectionLease);
    d->lease->connection = connection;

    connect(connection, SIGNAL(connected()), this, SLOT(connected()));
    connect(connection, SIGNAL(timeout(QVariant,QUrl,QVariant)),
            this, SLOT(timeout(QVariant,QUrl,QVariant)));
    connect(connection, SIGNAL(disconnected()), this, SLOT(disconnected()));
    connect(connection, SIGNAL(authRequired(QVariant,QUrl)),
            this, SLOT(authRequired(QVariant,QUrl)));
    connect(connection, SIGNAL(dataReceived(QVariant,QUrl,QVariant,QVariant)),
            this, SLOT(dataReceived(QVariant,QUrl,QVariant,QVariant)));
}

bool Device::prepareConnection()
{
    if (!d->connection)
        createConnection();
    if (!d->connection)
        return false;
    d->connection->setConnectionSettings(&d->config);
    return d->factory->prepareConnection(d->connection);
}

// The replaced connection may still carry a request waiting in its nested
// loop, so it is only disconnected here and deleted once that wait is over.
void DevicePrivate::replaceConnection(Device* device)
{
    if (connection) {
        lease->retire();
        connection = nullptr;
        lease.reset();
    }
    device->createConnection();
}

QString DevicePrivate::pageIdOf(const QObject* sender)
{
    if (sender && sender->inherits("Page"))
        return sender->property("id").toString();
    return QLatin1String(kDevicePageId);
}

void Device::refreshStatus()
{
    const QDateTime now = QDateTime::currentDateTime();
    if (d->lastExchangeTime.isNull() || d->lastExchangeTime.addMSecs(kStatusPollPeriodMs) < now)
        requestStatus();
}

void Device::requestStatus()
{
    requestData(requestMap(QStringLiteral("deviceStatus")), kStatusRequestTimeoutMs);
}

void Device::connected()
{
    qDebug() << "connected";
}

void Device::disconnected()
{
    qDebug() << "disconnected";
}

void Device::timeout(QVariant pageId, const QUrl& url, const QVariant& request)
{
    qDebug() << "timeout";
    d->lastExchangeTime = QDateTime::currentDateTime();
    setStatus(StatusNoResponse);
    const QVariantMap reply = makeReply(pageId, url, request, QVariant());
    if (receivers(SIGNAL(dataUpdated(QVariant))) > 0)
        emit dataUpdated(reply);
}

void Device::authRequired(QVariant pageId, const QUrl& url)
{
    Q_UNUSED(pageId);
    Q_UNUSED(url);
    qDebug() << "authRequired";
    setStatus(StatusAuthRequired);
}

void Device::dataReceived(QVariant pageId, const QUrl& url, const QVariant& request,
                          const QVariant& data)
{
    qDebug() << "dataReceived" << url.toString();
    d->lastExchangeTime = QDateTime::currentDateTime();
    setStatus(StatusOnline);
    const QVariantMap reply = makeReply(pageId, url, request, data);
    if (receivers(SIGNAL(dataUpdated(QVariant))) > 0)
        emit dataUpdated(reply);
    if (QtCompat::equals(pageId, QVariant(QLatin1String(kDevicePageId))))
        setDeviceInfo(data);
}

void Device::requestData(const QVariant& data, int timeout)
{
    const QString pageId = DevicePrivate::pageIdOf(sender());
    if (d->config.address.isNull()) {
        setStatus(StatusUnknown);
        return;
    }
    if (d->config.login.isEmpty() || d->config.password.isEmpty()) {
        setStatus(StatusAuthRequired);
        return;
    }
    qDebug() << "device requestData from page:" << pageId;
    if (!prepareConnection()) {
        setStatus(StatusNoResponse);
        return;
    }

    // The factory may wait for the answer in a nested loop, during which this
    // device may replace its connection or be destroyed: from here on only
    // the lease is touched.
    const QSharedPointer<ConnectionLease> lease = d->lease;
    ++lease->activeRequests;
    d->factory->requestData(d->connection, pageId, data, timeout);
    --lease->activeRequests;
    lease->deleteIfIdle();
}

void Device::requestDeviceInfo()
{
    requestData(requestMap(QStringLiteral("deviceInfo")), kDefaultRequestTimeoutMs);
}

void Device::setDeviceInfo(const QVariant& info)
{
    if (QtCompat::isNull(info) || !info.isValid())
        return;
    DeviceConfig& config = d->config;
    const QVariantMap map = info.toMap();
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QString& key = it.key();
        const QVariant& value = it.value();
        if (key == QLatin1String("model"))
            config.model = value.toString();
        else if (key == QLatin1String("description"))
            config.description = value.toString();
        else if (key == QLatin1String("serialNumer"))
            config.serial = value.toString();
        else if (key == QLatin1String("productionDate"))
            config.productionDate = dateFromSeconds(value);
        else if (key == QLatin1String("certificateSerial"))
            config.certificateSerial = value.toString();
        else if (key == QLatin1String("lastVerificationDate"))
            config.lastVerificationDate = dateFromSeconds(value);
        else if (key == QLatin1String("nextVerificationDate"))
            config.nextVerificationDate = dateFromSeconds(value);
        else if (key == QLatin1String("accuracyClass"))
            config.accuracyClass = value.toDouble();
    }
    if (receivers(SIGNAL(deviceInfoUpdated(QUuid))) > 0)
        emit deviceInfoUpdated(d->uuid);
}

void Device::requestDeviceStatus()
{
    QVariantMap report;
    report.insert(QStringLiteral("status"), d->status);
    report.insert(QStringLiteral("uuid"), d->uuid.toString());
    if (receivers(SIGNAL(statusUpdated(QVariant))) > 0)
        emit statusUpdated(report);
}

bool Device::checkAuth()
{
    // The device may be destroyed while the factory sends (its transport can
    // wait in a nested loop) as well as during the wait below.
    QPointer<Device> self(this);
    requestData(requestMap(QStringLiteral("deviceStatus")), kAuthProbeRequestTimeoutMs);
    if (!self)
        return false;

    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (d->connection)
        connect(d->connection, &Connection::disconnected, &loop, &QEventLoop::quit);
    timer.start(kAuthProbeWaitMs);
    loop.exec();

    if (!self)
        return false;
    return d->status != StatusAuthRequired;
}

void Device::setConfigData(const QString& name, const QVariant& value)
{
    if (name == QLatin1String(kConnectGroup)) {
        const QVariantMap fields = value.toMap();
        const QString ip = fields.value(QStringLiteral("ip")).toString();
        const QString login = fields.value(QStringLiteral("login")).toString();
        const QString password = fields.value(QStringLiteral("password")).toString();
        if (!ip.isEmpty())
            d->config.address = QHostAddress(ip);
        if (!login.isEmpty())
            d->config.login = login;
        if (!password.isEmpty())
            d->config.password = password;
        setPortFrom(fields.value(QStringLiteral("port")), &d->config);

        d->replaceConnection(this);
        if (d->connection) {
            d->connection->setConnectionSettings(&d->config);
            d->factory->prepareConnection(d->connection);
        }
        getConfigData(QVariant());
    } else if (!value.toMap().isEmpty()) {
        d->config.configData.insert(name, value);
    } else {
        d->config.configData.remove(name);
    }

    d->configModified = !(d->savedConfig == d->config);
    emit configChanged();
}

void Device::getConfigData(const QVariant& unused)
{
    Q_UNUSED(unused);
    const QString pageId = DevicePrivate::pageIdOf(sender());

    QVariantMap connect;
    connect.insert(QStringLiteral("ip"), d->config.address.toString());
    connect.insert(QStringLiteral("login"), d->config.login);
    connect.insert(QStringLiteral("password"), d->config.password);
    connect.insert(QStringLiteral("port"), d->config.port);

    QVariantMap system;
    system.insert(QStringLiteral("serial"), d->config.serial);
    system.insert(QStringLiteral("productionDate"), d->config.productionDate);
    system.insert(QStringLiteral("location"), d->config.location);

    QVariantMap configMap = d->config.configData;
    configMap.insert(QStringLiteral("page"), pageId);
    configMap.insert(QLatin1String(kConnectGroup), connect);
    configMap.insert(QLatin1String(kSystemGroup), system);
    if (receivers(SIGNAL(updateConfigData(QVariant))) > 0)
        emit updateConfigData(configMap);
}

void Device::saveConfig(QSettings* settings)
{
    if (!settings)
        return;
    const DeviceConfig& config = d->config;
    settings->setValue(QStringLiteral("uuid"), d->uuid.toString());

    settings->beginGroup(QStringLiteral("system"));
    settings->setValue(QStringLiteral("serial"), config.serial);
    settings->setValue(QStringLiteral("model"), config.model);
    settings->setValue(QStringLiteral("description"), config.description);
    settings->setValue(QStringLiteral("productionDate"), secondsFromDate(config.productionDate));
    settings->endGroup();

    settings->beginGroup(QStringLiteral("connection"));
    settings->setValue(QStringLiteral("ip"), config.address.toString());
    settings->setValue(QStringLiteral("login"), config.login);
    settings->setValue(QStringLiteral("password"), config.password);
    // Left out at the default, so files stay as they were before ports.
    if (config.port != ConnectionSettings::kDefaultPort)
        settings->setValue(QStringLiteral("port"), config.port);
    else
        settings->remove(QStringLiteral("port"));
    settings->endGroup();

    QStringList groupNames;
    for (auto it = config.configData.constBegin(); it != config.configData.constEnd(); ++it) {
        if (it.key().isEmpty())
            continue;
        groupNames.append(it.key());
        settings->beginGroup(it.key());
        const QVariantMap group = it.value().toMap();
        for (auto entry = group.constBegin(); entry != group.constEnd(); ++entry)
            settings->setValue(entry.key(), entry.value().toString());
        settings->endGroup();
    }
    settings->setValue(QStringLiteral("groupConfigs"), groupNames.join(QLatin1Char(',')));

    d->savedConfig = d->config;
}

void Device::loadConfig(QSettings* settings)
{
    if (!settings)
        return;
    DeviceConfig& config = d->config;

    settings->beginGroup(QStringLiteral("system"));
    config.serial = settings->value(QStringLiteral("serial")).toString();
    config.model = settings->value(QStringLiteral("model")).toString();
    config.description = settings->value(QStringLiteral("description")).toString();
    config.productionDate = dateFromSeconds(settings->value(QStringLiteral("productionDate")));
    settings->endGroup();

    settings->beginGroup(QStringLiteral("connection"));
    config.address = QHostAddress(settings->value(QStringLiteral("ip")).toString());
    config.login = settings->value(QStringLiteral("login")).toString();
    config.password = settings->value(QStringLiteral("password")).toString();
    config.port = ConnectionSettings::kDefaultPort;
    setPortFrom(settings->value(QStringLiteral("port")), &config);
    settings->endGroup();

    const QStringList groupNames = settings->value(QStringLiteral("groupConfigs")).toString()
                                       .split(QLatin1Char(','), Qt::KeepEmptyParts);
    for (const QString& name : groupNames) {
        if (name.isEmpty())
            continue;
        settings->beginGroup(name);
        QVariantMap group;
        const QStringList keys = settings->allKeys();
        for (const QString& key : keys)
            group.insert(key, settings->value(key));
        settings->endGroup();
        config.configData.insert(name, group);
    }

    d->savedConfig = d->config;
}
