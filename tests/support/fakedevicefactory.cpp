#include "fakedevicefactory.h"

FakeDevice::FakeDevice(IDeviceFactory* factory, QObject* parent)
    : Device(factory, parent)
{
}

FakeDeviceFactory::FakeDeviceFactory()
    : uuid(QUuid::createUuid())
{
}

FakeDeviceFactory::~FakeDeviceFactory() = default;

QString FakeDeviceFactory::name() const
{
    return QStringLiteral("Fake device");
}

QUuid FakeDeviceFactory::factoryUuid() const
{
    return uuid;
}

QString FakeDeviceFactory::description() const
{
    return QStringLiteral("Records every call; sends nothing");
}

Device* FakeDeviceFactory::createDevice(QObject* parent)
{
    return new FakeDevice(this, parent);
}

QList<Page*> FakeDeviceFactory::createPages(Device* device, QWidget* parent)
{
    Q_UNUSED(device);
    Q_UNUSED(parent);
    return QList<Page*>();
}

Connection* FakeDeviceFactory::createConnection(const QString& type)
{
    FakeFactoryCall call;
    call.operation = QStringLiteral("createConnection");
    call.type = type;
    FakeConnection* connection = makesConnections ? new FakeConnection : nullptr;
    call.connection = connection;
    calls.append(call);
    if (connection)
        connections.append(connection);
    return connection;
}

bool FakeDeviceFactory::prepareConnection(Connection* connection)
{
    FakeFactoryCall call;
    call.operation = QStringLiteral("prepareConnection");
    call.connection = connection;
    call.settings = connection ? connection->connectionSettings() : nullptr;
    calls.append(call);
    return prepareResult;
}

void FakeDeviceFactory::requestData(Connection* connection, const QString& pageId,
                                    const QVariant& data, int timeout)
{
    FakeFactoryCall call;
    call.operation = QStringLiteral("requestData");
    call.connection = connection;
    call.settings = connection ? connection->connectionSettings() : nullptr;
    call.pageId = pageId;
    call.data = data;
    call.timeout = timeout;
    calls.append(call);
    if (onRequestData)
        onRequestData(connection, pageId, data, timeout);
}

void FakeDeviceFactory::releaseConnection(Connection* connection)
{
    FakeFactoryCall call;
    call.operation = QStringLiteral("releaseConnection");
    call.connection = connection;
    calls.append(call);
}

QStringList FakeDeviceFactory::operations() const
{
    QStringList names;
    for (const FakeFactoryCall& call : calls)
        names.append(call.operation);
    return names;
}

QList<FakeFactoryCall> FakeDeviceFactory::callsOf(const QString& operation) const
{
    QList<FakeFactoryCall> matching;
    for (const FakeFactoryCall& call : calls) {
        if (call.operation == operation)
            matching.append(call);
    }
    return matching;
}

FakeConnection* FakeDeviceFactory::lastConnection() const
{
    return connections.isEmpty() ? nullptr : connections.last().data();
}
