#ifndef FAKEDEVICEFACTORY_H
#define FAKEDEVICEFACTORY_H

#include <functional>

#include <QList>
#include <QPointer>
#include <QStringList>

#include <configurator-common/device.h>
#include <configurator-common/idevicefactory.h>

#include "fakeconnection.h"

// Device's constructor is protected; plug-ins subclass it, and so do tests.
class FakeDevice : public Device
{
public:
    explicit FakeDevice(IDeviceFactory* factory, QObject* parent = nullptr)
        : Device(factory, parent) {}
};

// One call the library made on the factory, with its arguments.
struct FakeFactoryCall
{
    QString operation;                            // "createConnection", "prepareConnection", ...
    Connection* connection = nullptr;             // not owned; may be gone by the time it is read
    ConnectionSettings* settings = nullptr;       // connection's settings when the call was made
    QString type;                                 // createConnection
    QString pageId;                               // requestData
    QVariant data;                                // requestData
    int timeout = 0;                              // requestData
};

// A device factory that records every call and sends nothing.  Its
// connections are FakeConnection objects; the device that asked owns them.
class FakeDeviceFactory : public IDeviceFactory
{
public:
    QString name() const override { return QStringLiteral("Fake device"); }
    QUuid factoryUuid() const override { return uuid; }
    QString description() const override { return QStringLiteral("Records every call"); }
    Device* createDevice(QObject* parent = nullptr) override { return new FakeDevice(this, parent); }
    QList<Page*> createPages(Device*, QWidget* = nullptr) override { return {}; }

    Connection* createConnection(const QString& type) override
    {
        FakeConnection* connection = makesConnections ? new FakeConnection : nullptr;
        record("createConnection", connection).type = type;
        if (connection)
            connections.append(connection);
        return connection;
    }
    bool prepareConnection(Connection* connection) override
    {
        record("prepareConnection", connection);
        return prepareResult;
    }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data,
                     int timeout) override
    {
        FakeFactoryCall& call = record("requestData", connection);
        call.pageId = pageId;
        call.data = data;
        call.timeout = timeout;
        if (onRequestData)
            onRequestData(connection, pageId, data, timeout);
    }
    void releaseConnection(Connection* connection) override { record("releaseConnection", connection); }

    QStringList operations() const
    {
        QStringList names;
        for (const FakeFactoryCall& call : calls)
            names.append(call.operation);
        return names;
    }
    // The most recent connection handed out, while it lives.
    FakeConnection* lastConnection() const
    {
        return connections.isEmpty() ? nullptr : connections.last().data();
    }

    QList<FakeFactoryCall> calls;
    QList<QPointer<FakeConnection>> connections;

    bool makesConnections = true;   // false: createConnection returns null
    bool prepareResult = true;
    // Runs inside requestData, after the call is recorded; a test may answer
    // through the connection or wait in a nested loop here.
    std::function<void(Connection*, const QString&, const QVariant&, int)> onRequestData;

private:
    FakeFactoryCall& record(const char* operation, Connection* connection)
    {
        FakeFactoryCall call;
        call.operation = QLatin1String(operation);
        call.connection = connection;
        call.settings = connection ? connection->connectionSettings() : nullptr;
        calls.append(call);
        return calls.last();
    }

    const QUuid uuid = QUuid::createUuid();
};

#endif
