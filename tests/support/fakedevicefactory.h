#ifndef FAKEDEVICEFACTORY_H
#define FAKEDEVICEFACTORY_H

#include "stubdevicefactory.h"

#include <configurator-common/connection.h>
#include <configurator-common/device.h>

#include <QPointer>
#include <QStringList>

#include <functional>

// Records the calls a device makes on its factory; a test plays the device's
// side by emitting the connections' signals, also from onRequest.
class FakeFactory : public StubDeviceFactory
{
public:
    using StubDeviceFactory::StubDeviceFactory;
    Connection* createConnection(const QString&) override
    {
        ops << "create";
        connections << (makesConnections ? new Connection : nullptr);
        return connections.last();
    }
    bool prepareConnection(Connection* c) override
    {
        ops << (c->connectionSettings() ? "prepare" : "prepare without settings");
        return prepareResult;
    }
    void requestData(Connection* c, const QString& pageId, const QVariant& data, int timeout) override
    {
        ops << QStringLiteral("request %1 %2 %3").arg(pageId, data.toMap().value("request", data).toString()).arg(timeout);
        if (onRequest)
            onRequest(c, pageId);
    }
    void releaseConnection(Connection*) override { ops << "release"; }

    QStringList ops;   // "create", "prepare", "request PAGE DATA TIMEOUT", "release"
    QList<QPointer<Connection>> connections;
    bool makesConnections = true;
    bool prepareResult = true;
    std::function<void(Connection*, const QString&)> onRequest;   // runs inside requestData
};

// A device with an address and credentials, ready to send.
class FakeDevice : public Device
{
public:
    explicit FakeDevice(IDeviceFactory* factory) : Device(factory, nullptr)
    {
        config()->address = QHostAddress(QStringLiteral("127.0.0.1"));
        config()->login = config()->password = QStringLiteral("admin");
    }
};

#endif
