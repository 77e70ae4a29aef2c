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
    Q_OBJECT
public:
    explicit FakeDevice(IDeviceFactory* factory, QObject* parent = nullptr);
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
    FakeDeviceFactory();
    ~FakeDeviceFactory() override;

    QString name() const override;
    QUuid factoryUuid() const override;
    QString description() const override;
    Device* createDevice(QObject* parent = nullptr) override;
    QList<Page*> createPages(Device* device, QWidget* parent = nullptr) override;
    Connection* createConnection(const QString& type) override;
    bool prepareConnection(Connection* connection) override;
    void requestData(Connection* connection, const QString& pageId, const QVariant& data,
                     int timeout) override;
    void releaseConnection(Connection* connection) override;

    QStringList operations() const;
    QList<FakeFactoryCall> callsOf(const QString& operation) const;
    // The most recent connection handed out, while it lives.
    FakeConnection* lastConnection() const;

    QList<FakeFactoryCall> calls;
    QList<QPointer<FakeConnection>> connections;

    bool makesConnections = true;   // false: createConnection returns null
    bool prepareResult = true;
    // Runs inside requestData, after the call is recorded; a test may answer
    // through the connection or wait in a nested loop here.
    std::function<void(Connection*, const QString&, const QVariant&, int)> onRequestData;

private:
    QUuid uuid;
};

#endif
