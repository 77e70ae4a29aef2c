#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <configurator-common/device.h>

#include "device_p.h"
#include "fakedevicefactory.h"

namespace {

using M = QVariantMap;

const QUrl kUrl(QStringLiteral("http://127.0.0.1/api/status"));
const M kStatusRequest{{"request", "deviceStatus"}};
const char* const kDataReceived = SIGNAL(dataReceived(QVariant,QUrl,QVariant,QVariant));

M statusReport(int status, const QUuid& uuid)
{
    return {{"status", status}, {"uuid", uuid.toString()}};
}

void makeReachable(Device* device)
{
    device->config()->address = QHostAddress(QStringLiteral("127.0.0.1"));
    device->config()->login = QStringLiteral("admin");
    device->config()->password = QStringLiteral("secret");
}

void fill(DeviceConfig* config)
{
    config->address = QHostAddress(QStringLiteral("fe80::1"));
    config->login = QStringLiteral("admin");
    config->password = QStringLiteral("p@ss, word");
    config->serial = QStringLiteral("SN-5");
    config->model = QStringLiteral("TX-10");
    config->description = QStringLiteral("Flow meter");
    config->location = QStringLiteral("Roof");
    config->accuracyClass = 0.2;
    config->configData.insert("network", M{{"mode", 2}, {"dhcp", true}});
    config->configData.insert("alarms", M{{"limit", 4.5}, {"blank", ""}});
    config->configData.insert(QString(), M{{"lost", 1}});
}

// Every field of a record but the configuration groups, dates in seconds.
M fieldsOf(const DeviceConfig& c)
{
    auto secs = [](const QDateTime& d) { return d.isNull() ? QVariant() : QVariant(d.toSecsSinceEpoch()); };
    return {{"ip", c.address.toString()}, {"login", c.login}, {"password", c.password}, {"port", c.port},
            {"serial", c.serial}, {"location", c.location}, {"model", c.model},
            {"description", c.description}, {"productionDate", secs(c.productionDate)},
            {"certificateSerial", c.certificateSerial},
            {"lastVerificationDate", secs(c.lastVerificationDate)},
            {"nextVerificationDate", secs(c.nextVerificationDate)}, {"accuracyClass", c.accuracyClass}};
}

M merged(M base, const M& changes)
{
    base.insert(changes);
    return base;
}

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Records the order in which a device's signals arrive.
struct SignalOrder : QObject
{
    explicit SignalOrder(Device* device)
    {
        connect(device, &Device::statusUpdated, this, [this] { names << "statusUpdated"; });
        connect(device, &Device::dataUpdated, this, [this] { names << "dataUpdated"; });
        connect(device, &Device::deviceInfoUpdated, this, [this] { names << "deviceInfoUpdated"; });
    }
    QStringList names;
};

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT

    FakeDeviceFactory* factory = nullptr;
    QTemporaryDir* dir = nullptr;
    QSettings* settings = nullptr;

    QString iniPath() const { return dir->filePath(QStringLiteral("devices.ini")); }
    // An INI file holding these key/value pairs.
    QSettings* ini(const M& values = M())
    {
        delete settings;
        settings = new QSettings(iniPath(), QSettings::IniFormat);
        for (auto it = values.constBegin(); it != values.constEnd(); ++it)
            settings->setValue(it.key(), it.value());
        return settings;
    }

private slots:
    void init()
    {
        factory = new FakeDeviceFactory;
        dir = new QTemporaryDir;
        QVERIFY(dir->isValid());
    }

    void cleanup()
    {
        processDeferredDeletes();
        QCOMPARE(FakeConnection::liveCount(), 0);
        delete settings;
        settings = nullptr;
        delete factory;
        delete dir;
    }

    // Plug-ins built against the library rely on these indexes.
    void metaObjectOrder()
    {
        const QMetaObject& meta = Device::staticMetaObject;
        QStringList methods;
        for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
            methods.append(QString::fromLatin1(meta.method(i).methodSignature()));
        const QStringList expected{
            "dataUpdated(QVariant)", "statusUpdated(QVariant)", "authRequired(QVariant)",
            "deviceInfoUpdated(QUuid)", "updateConfigData(QVariant)", "configChanged()",
            "refreshStatus()", "requestStatus()", "connected()", "timeout(QVariant,QUrl,QVariant)",
            "disconnected()", "authRequired(QVariant,QUrl)",
            "dataReceived(QVariant,QUrl,QVariant,QVariant)", "requestData(QVariant,int)",
            "requestData(QVariant)", "requestDeviceInfo()", "setDeviceInfo(QVariant)",
            "requestDeviceStatus()", "setConfigData(QString,QVariant)", "getConfigData(QVariant)"};
        QCOMPARE(methods, expected);
        for (int i = 0; i < expected.count(); ++i) {
            const QMetaMethod method = meta.method(meta.methodOffset() + i);
            QCOMPARE(method.methodType() == QMetaMethod::Signal, i < 6);
            QCOMPARE(method.access(), QMetaMethod::Public);
        }
    }

    void construction()
    {
        FakeDevice device(factory);
        FakeDevice second(factory);
        QVERIFY(!device.uuid().isNull());
        QVERIFY(device.uuid() != second.uuid());
        QCOMPARE(device.plugin(), factory);
        QCOMPARE(device.status(), StatusUnknown);
        QVERIFY(!device.isConfigModified());
        QCOMPARE(device.config()->accuracyClass, 0.0);
        QCOMPARE(factory->calls.first().operation, QString("createConnection"));
        QCOMPARE(factory->calls.first().type, QString("http"));

        FakeDevice orphan(nullptr);
        QVERIFY(orphan.uuid().isNull());
        QVERIFY(!orphan.plugin());
        QCOMPARE(FakeConnection::liveCount(), 2);
    }

    // Every call reports, also an unchanged value; plug-in values pass unchanged.
    void statusReports()
    {
        FakeDevice device(factory);
        QSignalSpy spy(&device, &Device::statusUpdated);
        device.requestDeviceStatus();
        const QList<int> values{2, 2, 3, 100, -7};
        for (int value : values)
            device.setStatus(DeviceStatusFlag(value));
        QCOMPARE(int(device.status()), -7);
        QCOMPARE(spy.count(), 1 + values.count());
        QCOMPARE(spy.at(0).at(0).toMap(), statusReport(0, device.uuid()));
        for (int i = 0; i < values.count(); ++i)
            QCOMPARE(spy.at(i + 1).at(0).toMap(), statusReport(values.at(i), device.uuid()));
        QCOMPARE(factory->operations(), QStringList{"createConnection"});
    }

    void eachSignalNeedsOnlyItsOwnReceiver_data()
    {
        QTest::addColumn<QByteArray>("signature");
        for (const char* signature : {"statusUpdated(QVariant)", "dataUpdated(QVariant)",
                                      "deviceInfoUpdated(QUuid)", "updateConfigData(QVariant)"})
            QTest::newRow(signature) << QByteArray(signature);
    }

    // Each map-carrying signal is emitted when it has a receiver of its own,
    // also when none of the others is connected; unconnected, the same calls
    // are harmless.
    void eachSignalNeedsOnlyItsOwnReceiver()
    {
        QFETCH(QByteArray, signature);
        FakeDevice device(factory);
        auto trigger = [&] {
            emit factory->lastConnection()->dataReceived("device", kUrl, M(), M{{"model", "M1"}});
            device.getConfigData(QVariant());
        };
        trigger();
        QSignalSpy spy(&device, device.metaObject()->method(device.metaObject()->indexOfSignal(signature)));
        QVERIFY(spy.isValid());
        trigger();
        QCOMPARE(spy.count(), 1);
    }

    void destructionReleasesConnectionOnceAndDeletesLater()
    {
        auto* device = new FakeDevice(factory);
        QPointer<FakeConnection> connection = factory->lastConnection();
        delete device;

        QCOMPARE(factory->operations(), (QStringList{"createConnection", "releaseConnection"}));
        QCOMPARE(factory->calls.last().connection, connection.data());
        QVERIFY(connection);
        // Disconnected: a late report reaches nobody.
        QCOMPARE(connection->receiverCount(kDataReceived), 0);
        emit connection->dataReceived("device", kUrl, M(), QVariant());
        processDeferredDeletes();
        QVERIFY(!connection);
    }

    void requestChecks_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("calls");
        const QStringList created{"createConnection"};
        const QStringList prepared{"createConnection", "prepareConnection"};
        QTest::newRow("no address") << "no address" << 0 << created;
        QTest::newRow("address that does not parse") << "bad address" << 0 << created;
        QTest::newRow("empty login") << "empty login" << 4 << created;
        QTest::newRow("empty password") << "empty password" << 4 << created;
        QTest::newRow("factory refuses") << "factory refuses" << 1 << prepared;
        QTest::newRow("no factory") << "no factory" << 1 << QStringList();
        // Asked again on the request, never handed a null connection.
        QTest::newRow("factory gives no connection") << "no connection" << 1 << created + created;
        QTest::newRow("sent") << "sent" << 0 << prepared + QStringList{"requestData"};
    }

    void requestChecks()
    {
        QFETCH(QString, setup);
        factory->prepareResult = setup != "factory refuses";
        factory->makesConnections = setup != "no connection";
        const char warning[] = "Device: the factory returned no connection for http";
        for (int i = 0; i < 3 && setup == "no connection"; ++i)
            QTest::ignoreMessage(QtWarningMsg, warning);
        FakeDevice device(setup == "no factory" ? nullptr : factory);
        makeReachable(&device);
        if (setup.endsWith("address"))
            device.config()->address = QHostAddress(setup == "bad address" ? "300.1.1.1" : "");
        if (setup == "empty login")
            device.config()->login.clear();
        if (setup == "empty password")
            device.config()->password.clear();
        QSignalSpy status(&device, &Device::statusUpdated);
        QSignalSpy replies(&device, &Device::dataUpdated);

        const M request{{"cmd", "read"}, {"n", 3}};
        device.requestData(request, 2500);

        QTEST(factory->operations(), "calls");
        QTEST(int(device.status()), "status");
        QCOMPARE(replies.count(), 0);
        if (setup == "no connection") {
            // New connection settings go through without a transport.
            device.setConfigData("connectcfg", M{{"ip", "10.0.0.9"}});
            QCOMPARE(device.config()->address, QHostAddress("10.0.0.9"));
            QCOMPARE(factory->operations().count("prepareConnection"), 0);
        }
        if (setup != "sent") {
            QCOMPARE(status.count(), 1);
            QCOMPARE(status.at(0).at(0).toMap(), statusReport(device.status(), device.uuid()));
            return;
        }
        // Sent: the status waits for the outcome.
        QCOMPARE(status.count(), 0);
        const FakeFactoryCall call = factory->calls.last();
        QCOMPARE(call.pageId, QString("device"));
        QCOMPARE(call.data.toMap(), request);
        QCOMPARE(call.timeout, 2500);
        QCOMPARE(call.connection, factory->lastConnection());
        QCOMPARE(factory->calls.at(1).settings, static_cast<ConnectionSettings*>(device.config()));
        // Later edits are seen by the transport without another request.
        device.config()->login = QStringLiteral("operator");
        QCOMPARE(factory->lastConnection()->connectionSettings()->login, QString("operator"));
    }

    // A sender that is not a configuration page tags its requests "device",
    // even when it has an id.
    void requestsAndTheirTimeouts()
    {
        FakeDevice device(factory);
        makeReachable(&device);
        QObject source;
        source.setProperty("id", "not-a-page");
        connect(&source, &QObject::objectNameChanged, &device, &Device::requestStatus);
        connect(&source, &QObject::objectNameChanged, &device, &Device::getConfigData);
        QSignalSpy config(&device, &Device::updateConfigData);
        source.setObjectName("x");
        device.requestDeviceInfo();
        QVERIFY(QMetaObject::invokeMethod(&device, "requestData", Q_ARG(QVariant, QVariant("raw"))));

        QStringList sent;
        for (const FakeFactoryCall& call : factory->calls) {
            if (call.operation == "requestData")
                sent << QString("%1 %2 %3").arg(call.pageId, call.data.toMap().value("request", call.data).toString())
                            .arg(call.timeout);
        }
        QCOMPARE(sent, (QStringList{"device deviceStatus 900", "device deviceInfo 60000", "device raw 60000"}));
        QCOMPARE(config.at(0).at(0).toMap().value("page"), QVariant("device"));
    }

    void transportReports_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("signals");
        const QStringList broadcast{"statusUpdated", "dataUpdated"};
        QTest::newRow("reply to a page") << "reply" << "tabNetwork" << 2 << broadcast;
        QTest::newRow("time-out") << "timeout" << "device" << 1 << broadcast;
        QTest::newRow("authorization refused") << "auth" << "tab" << 4 << QStringList{"statusUpdated"};
    }

    // The status changes first, then the reply goes to every page; only a
    // reply to the device's own request is its identification.
    void transportReports()
    {
        QFETCH(QString, kind);
        QFETCH(QString, page);
        FakeDevice device(factory);
        SignalOrder order(&device);
        QSignalSpy replies(&device, &Device::dataUpdated);
        QSignalSpy own(&device, qOverload<const QVariant&>(&Device::authRequired));
        const M info{{"type", "json"}, {"method", "GET"}, {"status", 200}, {"extra", 1}};
        const M data{{"serialNumer", "S-77"}, {"value", 5}};
        FakeConnection* connection = factory->lastConnection();
        if (kind == "reply")
            emit connection->dataReceived(page, kUrl, info, data);
        else if (kind == "timeout")
            emit connection->timeout(page, kUrl, info);
        else
            emit connection->authRequired(page, kUrl);

        QTEST(int(device.status()), "status");
        QTEST(order.names, "signals");
        QCOMPARE(own.count(), 0);
        QVERIFY(device.config()->serial.isEmpty());
        // Only an exchange holds the status poll back.
        QCOMPARE(DevicePrivate::get(&device)->lastExchangeTime.isNull(), kind == "auth");
        if (kind == "auth")
            return;
        const M reply = replies.at(0).at(0).toMap();
        QCOMPARE(reply.value("data").isValid(), kind == "reply");
        QCOMPARE(reply, (M{{"type", "json"}, {"page", page}, {"url", kUrl.toString()}, {"method", "GET"},
                           {"status", 200}, {"data", kind == "reply" ? QVariant(data) : QVariant()}}));
    }

    void deviceReplyFillsIdentification()
    {
        FakeDevice device(factory);
        QSignalSpy infoSpy(&device, &Device::deviceInfoUpdated);
        QSignalSpy changed(&device, &Device::configChanged);
        SignalOrder order(&device);

        emit factory->lastConnection()->dataReceived("device", kUrl, M(), M{
            {"serialNumer", "SN-1"}, {"productionDate", 0}, {"model", "TX-10"},
            {"description", "Flow meter"}, {"certificateSerial", "C-9"},
            {"lastVerificationDate", 1700000000}, {"nextVerificationDate", "1800000000"},
            {"accuracyClass", "0.5"}, {"serialNumber", "ignored"}, {"location", "ignored"}});

        QCOMPARE(fieldsOf(*device.config()),
                 merged(fieldsOf(DeviceConfig()),
                        M{{"serial", "SN-1"}, {"productionDate", 0}, {"model", "TX-10"},
                          {"description", "Flow meter"}, {"certificateSerial", "C-9"},
                          {"lastVerificationDate", 1700000000}, {"nextVerificationDate", 1800000000},
                          {"accuracyClass", 0.5}}));
        QCOMPARE(order.names, (QStringList{"statusUpdated", "dataUpdated", "deviceInfoUpdated"}));
        QCOMPARE(infoSpy.at(0).at(0).toUuid(), device.uuid());
        QVERIFY(!device.isConfigModified());
        QCOMPARE(changed.count(), 0);
    }

    // The identification reply is known by its page id compared as Qt 5's
    // QVariant compares: converted to the id's own type, so bytes count too.
    void deviceReplyIsKnownByPageId_data()
    {
        QTest::addColumn<QVariant>("pageId");
        QTest::addColumn<bool>("identifies");

        QTest::newRow("text") << QVariant(QString("device")) << true;
        QTest::newRow("bytes") << QVariant(QByteArray("device")) << true;
        QTest::newRow("other page") << QVariant(QString("sample")) << false;
        QTest::newRow("number") << QVariant(7) << false;
    }

    void deviceReplyIsKnownByPageId()
    {
        QFETCH(QVariant, pageId);
        FakeDevice device(factory);
        QSignalSpy infoSpy(&device, &Device::deviceInfoUpdated);
        emit factory->lastConnection()->dataReceived(pageId, kUrl, M(), M{{"serialNumer", "SN-2"}});
        QTEST(infoSpy.count() == 1, "identifies");
    }

    void setDeviceInfo_data()
    {
        QTest::addColumn<QVariant>("info");
        QTest::addColumn<int>("emissions");
        QTest::addColumn<qint64>("nextVerification");   // seconds; -1: left unset

        auto next = [](const QVariant& seconds) { return QVariant(M{{"nextVerificationDate", seconds}}); };
        QTest::newRow("2040 as number") << next(qint64(2209075200)) << 1 << qint64(2209075200);
        QTest::newRow("2040 as text") << next("2209075200") << 1 << qint64(2209075200);
        QTest::newRow("negative") << next(-5) << 1 << qint64(0);
        QTest::newRow("not a number") << next("soon") << 1 << qint64(0);
        QTest::newRow("beyond 2106") << next((qint64(1) << 40) + 5) << 1 << qint64(0);
        QTest::newRow("invalid") << QVariant() << 0 << qint64(-1);
        QTest::newRow("null string") << QVariant(QString()) << 0 << qint64(-1);
        QTest::newRow("text") << QVariant("serialNumer") << 1 << qint64(-1);
        QTest::newRow("list") << QVariant(QVariantList{1, 2}) << 1 << qint64(-1);
    }

    void setDeviceInfo()
    {
        QFETCH(QVariant, info);
        FakeDevice device(factory);
        device.config()->serial = QStringLiteral("kept");
        QSignalSpy spy(&device, &Device::deviceInfoUpdated);
        device.setDeviceInfo(info);
        QTEST(int(spy.count()), "emissions");
        QCOMPARE(device.config()->serial, QString("kept"));
        const QDateTime next = device.config()->nextVerificationDate;
        QTEST(next.isNull() ? qint64(-1) : next.toSecsSinceEpoch(), "nextVerification");
    }

    void refreshStatusThrottlesPolling_data()
    {
        QTest::addColumn<bool>("timedOut");
        QTest::newRow("after a reply") << false;
        QTest::newRow("after a time-out") << true;
    }

    void refreshStatusThrottlesPolling()
    {
        QFETCH(bool, timedOut);
        FakeDevice device(factory);
        makeReachable(&device);
        auto polls = [this] { return factory->operations().count("requestData"); };
        // No exchange yet: every call polls.
        device.refreshStatus();
        device.refreshStatus();
        QCOMPARE(polls(), 2);
        QCOMPARE(factory->calls.last().data.toMap(), kStatusRequest);

        if (timedOut)
            emit factory->lastConnection()->timeout("device", kUrl, M());
        else
            emit factory->lastConnection()->dataReceived("device", kUrl, M(), QVariant());
        device.refreshStatus();
        QCOMPARE(polls(), 2);

        DevicePrivate* d = DevicePrivate::get(&device);
        d->lastExchangeTime = QDateTime::currentDateTime().addSecs(-29);
        device.refreshStatus();
        QCOMPARE(polls(), 2);
        d->lastExchangeTime = QDateTime::currentDateTime().addSecs(-31);
        device.refreshStatus();
        QCOMPARE(polls(), 3);
        QCOMPARE(factory->calls.last().timeout, 900);
    }

    void checkAuth_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("result");
        QTest::addColumn<bool>("early");   // the wait ends before its second
        QTest::addColumn<int>("status");   // -1: device gone
        QTest::addColumn<int>("sent");
        QTest::newRow("no address") << "no address" << true << false << 0 << 0;
        QTest::newRow("empty login") << "empty login" << false << false << 4 << 0;
        QTest::newRow("no factory") << "no factory" << true << false << 1 << 0;
        QTest::newRow("disconnect ends the wait") << "disconnect" << true << true << 0 << 1;
        QTest::newRow("refused during the wait") << "refused" << false << false << 4 << 1;
        QTest::newRow("device deleted during the wait") << "deleted" << false << false << -1 << 1;
        QTest::newRow("device deleted while sending") << "deleted sending" << false << true << -1 << 1;
    }

    void checkAuth()
    {
        QFETCH(QString, scenario);
        QFETCH(int, status);
        QScopedPointer<FakeDevice> device(new FakeDevice(scenario == "no factory" ? nullptr : factory));
        QPointer<Device> alive(device.data());
        if (scenario != "no address")
            makeReachable(device.data());
        if (scenario == "empty login")
            device->config()->login.clear();
        FakeConnection* connection = factory->lastConnection();
        if (scenario == "disconnect")
            QTimer::singleShot(50, connection, [connection] { emit connection->disconnected(); });
        if (scenario == "refused")
            QTimer::singleShot(20, connection, [connection] { emit connection->authRequired("device", kUrl); });
        if (scenario == "deleted")
            QTimer::singleShot(20, [&device] { device.reset(); });
        if (scenario == "deleted sending")
            factory->onRequestData = [&device](Connection*, const QString&, const QVariant&, int) { device.reset(); };

        QElapsedTimer clock;
        clock.start();
        QTEST(alive->checkAuth(), "result");
        const int elapsed = int(clock.elapsed());
        QFETCH(bool, early);
        QVERIFY2(early ? elapsed < 800 : elapsed >= 900 && elapsed < 5000, qPrintable(QString::number(elapsed)));
        QCOMPARE(alive ? int(alive->status()) : -1, status);
        device.reset();
        QTEST(int(factory->operations().count("requestData")), "sent");
        QCOMPARE(factory->operations().count("releaseConnection"), int(scenario != "no factory"));
        if (factory->operations().contains("requestData")) {
            QCOMPARE(factory->calls.at(2).data.toMap(), kStatusRequest);
            QCOMPARE(factory->calls.at(2).timeout, 1000);
        }
    }

    void connectionOutlivesItsWait_data()
    {
        QTest::addColumn<bool>("destroyDevice");
        QTest::newRow("connection settings replaced") << false;
        QTest::newRow("device destroyed") << true;
    }

    // A request waits in the transport's nested loop while the user enters
    // new connection settings or closes the device: the old connection must
    // survive until that wait is over, and go away afterwards.
    void connectionOutlivesItsWait()
    {
        QFETCH(bool, destroyDevice);
        QScopedPointer<FakeDevice> device(new FakeDevice(factory));
        makeReachable(device.data());
        QPointer<FakeConnection> first = factory->lastConnection();
        bool aliveAfterWait = false;
        factory->onRequestData = [&](Connection*, const QString&, const QVariant&, int) {
            QEventLoop wait;
            // Tied to the loop: should the wait end first, the lambda must
            // not run later on this frame's references.
            QTimer::singleShot(10, &wait, [&] {
                if (destroyDevice)
                    device.reset();
                else
                    device->setConfigData("connectcfg", M{{"ip", "10.0.0.77"}});
            });
            QTimer::singleShot(60, &wait, &QEventLoop::quit);
            wait.exec();
            aliveAfterWait = !first.isNull();
        };
        device->requestData(M{{"cmd", "slow"}});

        QVERIFY(aliveAfterWait);
        QCOMPARE(factory->operations().count("releaseConnection"), destroyDevice ? 1 : 0);
        QCOMPARE(first->receiverCount(kDataReceived), 0);
        processDeferredDeletes();
        QVERIFY(!first);
        QCOMPARE(factory->connections.count(), destroyDevice ? 1 : 2);
        QCOMPARE(!factory->lastConnection(), destroyDevice);
    }

    void setGroup_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<bool>("kept");
        QTest::newRow("new map") << QVariant(M{{"mode", 3}, {"nested", M{{"k", "v"}}}}) << true;
        QTest::newRow("same map again") << QVariant(M{{"mode", 2}}) << true;
        QTest::newRow("empty map") << QVariant(M()) << false;
        QTest::newRow("plain text") << QVariant("on") << false;
        QTest::newRow("invalid") << QVariant() << false;
    }

    // A group is stored as given, or removed by a value that is no non-empty
    // map; every call announces a change.
    void setGroup()
    {
        QFETCH(QVariant, value);
        QFETCH(bool, kept);
        FakeDevice device(factory);
        QSignalSpy changed(&device, &Device::configChanged);
        device.setConfigData("network", M{{"mode", 2}});
        device.setConfigData("network", value);
        QCOMPARE(changed.count(), 2);
        QCOMPARE(device.config()->configData.value("network"), kept ? value : QVariant());
        QCOMPARE(device.isConfigModified(), kept);
        // Only the connection settings touch the transport.
        QCOMPARE(factory->operations(), QStringList{"createConnection"});
    }

    void connectSettingsFields_data()
    {
        QTest::addColumn<QVariantMap>("fields");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("port");
        QTest::newRow("all") << M{{"ip", "10.1.1.1"}, {"login", "op"}, {"password", "pw2"}, {"port", "8080"}}
                             << "10.1.1.1" << "op" << "pw2" << 8080;
        QTest::newRow("empty password kept") << M{{"ip", "10.1.1.1"}, {"password", ""}}
                                             << "10.1.1.1" << "admin" << "secret" << 80;
        QTest::newRow("absent fields kept") << M() << "127.0.0.1" << "admin" << "secret" << 80;
        QTest::newRow("null entry kept") << M{{"login", QVariant()}} << "127.0.0.1" << "admin" << "secret" << 80;
        QTest::newRow("bad address, port out of range") << M{{"ip", "not an address"}, {"port", 65536}}
                                                        << "" << "admin" << "secret" << 80;
    }

    // The connection is replaced also when nothing changed; the old one
    // reaches the device no more and goes away later, not through the factory.
    void connectSettingsFields()
    {
        QFETCH(QVariantMap, fields);
        FakeDevice device(factory);
        makeReachable(&device);
        QPointer<FakeConnection> old = factory->lastConnection();
        QSignalSpy config(&device, &Device::updateConfigData);
        QSignalSpy changed(&device, &Device::configChanged);
        QSignalSpy status(&device, &Device::statusUpdated);
        device.setConfigData("connectcfg", fields);

        QTEST(device.config()->address.toString(), "address");
        QTEST(device.config()->login, "login");
        QTEST(device.config()->password, "password");
        QTEST(int(device.config()->port), "port");
        QCOMPARE(config.count(), 1);
        QCOMPARE(config.at(0).at(0).toMap().value("connectcfg").toMap(),
                 (M{{"ip", device.config()->address.toString()}, {"login", device.config()->login},
                    {"password", device.config()->password}, {"port", device.config()->port}}));
        QCOMPARE(changed.count(), 1);

        QCOMPARE(factory->operations(), (QStringList{"createConnection", "createConnection", "prepareConnection"}));
        FakeConnection* current = factory->lastConnection();
        QVERIFY(current != old);
        QCOMPARE(factory->calls.last().connection, current);
        QCOMPARE(factory->calls.last().settings, static_cast<ConnectionSettings*>(device.config()));
        QVERIFY(old);
        emit old->dataReceived("device", QUrl(), QVariant(), QVariant());
        QCOMPARE(status.count(), 0);
        processDeferredDeletes();
        QVERIFY(!old);
        emit current->timeout("device", QUrl(), QVariant());
        QCOMPARE(device.status(), StatusNoResponse);
    }

    void configMapContents()
    {
        FakeDevice device(factory);
        DeviceConfig* config = device.config();
        fill(config);
        config->productionDate = QDateTime::fromSecsSinceEpoch(1500000000);
        config->configData.insert("connectcfg", M{{"stale", 1}});
        config->configData.insert("page", M{{"x", 1}});

        QSignalSpy spy(&device, &Device::updateConfigData);
        device.getConfigData(QVariant("ignored"));
        QCOMPARE(spy.count(), 1);
        const M configMap = spy.at(0).at(0).toMap();
        QCOMPARE(configMap.keys(), (QStringList{"", "alarms", "connectcfg", "network", "page", "systemcfg"}));
        QCOMPARE(configMap.value("page"), QVariant("device"));
        QCOMPARE(configMap.value("network"), config->configData.value("network"));
        QCOMPARE(configMap.value("connectcfg").toMap(),
                 (M{{"ip", "fe80::1"}, {"login", "admin"}, {"password", "p@ss, word"}, {"port", 80}}));
        const M system = configMap.value("systemcfg").toMap();
        QCOMPARE(system, (M{{"serial", "SN-5"}, {"location", "Roof"}, {"productionDate", config->productionDate}}));
        QCOMPARE(system.value("productionDate").userType(), int(QMetaType::QDateTime));
    }

    void modifiedFollowsBaseline()
    {
        QSettings* stored = ini({{"groupConfigs", "network"}, {"network/mode", "2"}, {"network/mtu", "1500"}});
        FakeDevice device(factory);
        device.loadConfig(stored);
        QVERIFY(!device.isConfigModified());

        device.setConfigData("network", M{{"mode", 2}, {"mtu", 1500}});
        QVERIFY(!device.isConfigModified());
        device.setConfigData("network", M{{"mode", 3}, {"mtu", 1500}});
        QVERIFY(device.isConfigModified());
        // Without a settings object the baseline stays.
        device.saveConfig(nullptr);
        device.loadConfig(nullptr);
        device.setConfigData("network", M{{"mode", "2"}, {"mtu", "1500"}});
        QVERIFY(!device.isConfigModified());

        device.setConfigData("connectcfg", M{{"login", "op"}});
        QVERIFY(device.isConfigModified());
        // Saving moves the baseline but leaves the flag to the next edit.
        device.saveConfig(stored);
        QVERIFY(device.isConfigModified());
        device.setConfigData("other", M());
        QVERIFY(!device.isConfigModified());
    }

    void saveLoadRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("productionDate");
        QTest::addColumn<QString>("storedDate");
        QTest::addColumn<int>("port");
        QTest::newRow("2017, milliseconds dropped")
            << QDateTime::fromMSecsSinceEpoch(qint64(1500000000) * 1000 + 750) << "1500000000" << 80;
        QTest::newRow("after 2038") << QDateTime::fromSecsSinceEpoch(2209075200) << "2209075200" << 80;
        // Not toTime_t()'s error value, which would read back as 2106.
        QTest::newRow("no date") << QDateTime() << "0" << 80;
        // Stored only when it is not the default.
        QTest::newRow("port 8080") << QDateTime() << "0" << 8080;
    }

    // Saved into a group of an INI file, read back key by key, and loaded
    // into a fresh device.
    void saveLoadRoundTrip()
    {
        QFETCH(QDateTime, productionDate);
        QFETCH(QString, storedDate);
        QFETCH(int, port);
        FakeDevice original(factory);
        fill(original.config());
        original.config()->productionDate = productionDate;
        original.config()->port = quint16(port);
        QSettings* stored = ini();
        stored->beginGroup("devices/meter1");
        original.saveConfig(stored);
        stored->endGroup();
        stored->sync();

        QSettings file(iniPath(), QSettings::IniFormat);
        QCOMPARE(file.childGroups(), QStringList{"devices"});
        file.beginGroup("devices/meter1");
        M expected{
            {"uuid", original.uuid().toString()}, {"system/serial", "SN-5"}, {"system/model", "TX-10"},
            {"system/description", "Flow meter"}, {"system/productionDate", storedDate},
            {"connection/ip", "fe80::1"}, {"connection/login", "admin"},
            {"connection/password", "p@ss, word"}, {"groupConfigs", "alarms,network"},
            {"network/mode", "2"}, {"network/dhcp", "true"}, {"alarms/limit", "4.5"}, {"alarms/blank", ""}};
        if (port != 80)
            expected.insert("connection/port", QString::number(port));
        QCOMPARE(file.allKeys().count(), expected.count());
        for (auto it = expected.constBegin(); it != expected.constEnd(); ++it)
            QCOMPARE(file.value(it.key()).toString(), it.value().toString());

        FakeDevice restored(factory);
        restored.loadConfig(&file);
        const DeviceConfig* loaded = restored.config();
        // Location, accuracy class and the identity are not stored.
        QCOMPARE(fieldsOf(*loaded), merged(fieldsOf(*original.config()),
                                           M{{"location", ""}, {"accuracyClass", 0.0},
                                             {"productionDate", storedDate.toLongLong()}}));
        QCOMPARE(loaded->configData.keys(), (QStringList{"alarms", "network"}));
        QCOMPARE(loaded->configData.value("network").toMap(), (M{{"mode", "2"}, {"dhcp", "true"}}));
        QCOMPARE(loaded->configData.value("network").toMap().value("mode").userType(), int(QMetaType::QString));
        QVERIFY(restored.uuid() != original.uuid());
        QVERIFY(!restored.isConfigModified());
        // The loaded values are the baseline, also for a group with an empty value.
        restored.setConfigData("alarms", M{{"limit", 4.5}, {"blank", ""}});
        QVERIFY(!restored.isConfigModified());
    }

    void loadGroupList_data()
    {
        QTest::addColumn<QString>("groupConfigs");
        QTest::addColumn<QStringList>("groups");
        QTest::addColumn<QVariantMap>("a");
        QTest::newRow("empty") << "" << QStringList{"a", "display"} << M{{"old", 1}};
        QTest::newRow("empty parts skipped") << ",a,,b," << QStringList{"a", "b", "display"} << M{{"k", "1"}};
        QTest::newRow("listed without keys") << "ghost" << QStringList{"a", "display", "ghost"} << M{{"old", 1}};
    }

    // Listed groups are read, unlisted ones in the file ignored, and entries
    // the device held under other names stay.
    void loadGroupList()
    {
        QFETCH(QStringList, groups);
        FakeDevice device(factory);
        makeReachable(&device);
        device.setConfigData("a", M{{"old", 1}});
        device.setConfigData("display", M{{"contrast", 7}});
        QFETCH(QString, groupConfigs);
        device.loadConfig(ini({{"groupConfigs", groupConfigs}, {"a/k", "1"}, {"b/k", "2"}, {"unlisted/k", "3"}}));
        const M configData = device.config()->configData;
        QCOMPARE(configData.keys(), groups);
        QTEST(configData.value("a").toMap(), "a");
        QCOMPARE(configData.value("display").toMap(), (M{{"contrast", 7}}));
        if (groups.contains("ghost"))
            QCOMPARE(configData.value("ghost"), QVariant(M()));
        // Missing keys read as empty values.
        QCOMPARE(fieldsOf(*device.config()), merged(fieldsOf(DeviceConfig()), M{{"productionDate", 0}}));
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
