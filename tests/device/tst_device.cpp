#include <QtTest>

#include <cmath>

#include "fakedevicefactory.h"

using M = QVariantMap;

class TestDevice : public QObject
{
    Q_OBJECT
    FakeFactory* factory = nullptr;

private slots:
    void init() { factory = new FakeFactory; }
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        for (const QPointer<Connection>& connection : factory->connections)
            QVERIFY(!connection);
        delete factory;
    }

    void transportReports_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("page");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("signals");
        QTest::newRow("reply to a page") << "reply" << QVariant("tab") << 2 << "status data";
        QTest::newRow("reply to the device") << "reply" << QVariant("device") << 2 << "status data info";
        // The page id is compared as Qt 5 compares variants.
        QTest::newRow("device page id as bytes") << "reply" << QVariant(QByteArray("device")) << 2 << "status data info";
        QTest::newRow("time-out") << "timeout" << QVariant("device") << 1 << "status data";
        QTest::newRow("authorization refused") << "auth" << QVariant("tab") << 4 << "status";
    }

    // The status changes first, then the reply goes to every page; only a
    // reply to the device's own request is its identification.
    void transportReports()
    {
        QFETCH(QString, kind);
        QFETCH(QVariant, page);
        FakeDevice device(factory);
        QStringList order;
        connect(&device, &Device::statusUpdated, this, [&] { order << "status"; });
        connect(&device, &Device::dataUpdated, this, [&] { order << "data"; });
        connect(&device, &Device::deviceInfoUpdated, this, [&] { order << "info"; });
        Connection* connection = factory->connections.value(0);
        const M info{{"serialNumer", "S-7"}, {"lastVerificationDate", "2209075200"},
                     {"nextVerificationDate", (qint64(1) << 40) + 5}};   // after 2038, beyond 2106
        if (kind == "reply")
            emit connection->dataReceived(page, QUrl(), M(), info);
        else if (kind == "timeout")
            emit connection->timeout(page, QUrl(), M());
        else
            emit connection->authRequired(page, QUrl());
        QTEST(int(device.status()), "status");
        QTEST(order.join(' '), "signals");
        auto secs = [](const QDateTime& d) { return d.isNull() ? QString("-") : QString::number(d.toSecsSinceEpoch()); };
        const DeviceConfig* c = device.config();
        QCOMPARE(c->serial + ' ' + secs(c->lastVerificationDate) + ' ' + secs(c->nextVerificationDate),
                 QString(order.contains("info") ? "S-7 2209075200 0" : " - -"));
    }

    // A request goes out only with an address, credentials and a prepared
    // connection, else the status tells what is missing; refreshStatus()
    // asks again only when the last exchange is older than its period.
    void requestNeedsAddressLoginAndConnection_data()
    {
        QTest::addColumn<QString>("missing");
        QTest::addColumn<int>("status");
        QTest::newRow("nothing") << "" << int(StatusOnline);
        QTest::newRow("address") << "address" << int(StatusUnknown);
        QTest::newRow("password") << "password" << int(StatusAuthRequired);
        QTest::newRow("prepared connection") << "prepare" << int(StatusNoResponse);
    }
    void requestNeedsAddressLoginAndConnection()
    {
        QFETCH(QString, missing);
        FakeDevice device(factory);
        factory->prepareResult = missing != "prepare";
        factory->onRequest = [](Connection* c, const QString& page) { emit c->dataReceived(page, QUrl(), M(), M()); };
        if (missing == "address")
            device.config()->address = QHostAddress();
        if (missing == "password")
            device.config()->password.clear();
        device.refreshStatus();
        device.refreshStatus();
        QTEST(int(device.status()), "status");
        QCOMPARE(factory->ops.filter("request"),
                 missing.isEmpty() ? QStringList{"request device deviceStatus 900"} : QStringList());
    }

    // The checks before a request, and the status probe, whose wait must end
    // early when the device goes away.
    void checkAuth_data()
    {
        QTest::addColumn<QString>("scenario");
        QTest::addColumn<bool>("result");
        QTest::addColumn<int>("status");   // -1: device gone
        QTest::addColumn<QString>("calls");
        QTest::newRow("empty login") << "empty login" << false << 4 << "create";
        QTest::newRow("factory refuses") << "factory refuses" << true << 1 << "create prepare";
        QTest::newRow("no factory") << "no factory" << true << 1 << "";
        // Asked again on the request, never handed a null connection.
        QTest::newRow("factory gives no connection") << "no connection" << true << 1 << "create create";
        // The probe is bounded: one second for the request, then one more.
        const QString probe = "create prepare request device deviceStatus 1000";
        QTest::newRow("refused during the wait") << "refused" << false << 4 << probe;
        QTest::newRow("device deleted during the wait") << "deleted" << false << -1 << probe + " release";
        // The transport may wait in a nested loop while the user enters new
        // settings or closes the device: the old connection must survive that
        // wait, reach the device no more, and go away afterwards; a device
        // closed while its probe is being sent fails the check.
        QTest::newRow("settings replaced in the transport's wait") << "replaced" << true << 0 << probe + " create prepare";
        QTest::newRow("device closed in the transport's wait") << "closed" << false << -1 << probe + " release";
    }

    void checkAuth()
    {
        QFETCH(QString, scenario);
        factory->prepareResult = scenario != "factory refuses";
        factory->makesConnections = scenario != "no connection";
        for (int i = 0; i < 2 && scenario == "no connection"; ++i)
            QTest::ignoreMessage(QtWarningMsg, "Device: the factory returned no connection for http");
        QScopedPointer<FakeDevice> device(new FakeDevice(scenario == "no factory" ? nullptr : factory));
        QPointer<Device> alive(device.data());
        if (scenario == "empty login")
            device->config()->login.clear();
        QPointer<Connection> connection = factory->connections.value(0);
        if (scenario == "replaced" || scenario == "closed")
            factory->onRequest = [&](Connection*, const QString&) {
                QEventLoop wait;
                QTimer::singleShot(10, &wait, [&] {
                    if (scenario == "closed")
                        device.reset();
                    else
                        device->setConfigData("connectcfg", M{{"ip", "10.0.0.77"}});
                });
                QTimer::singleShot(60, &wait, &QEventLoop::quit);
                wait.exec();
                QVERIFY(connection);
            };
        if (scenario == "refused")
            QTimer::singleShot(20, connection.data(), [&connection] { emit connection->authRequired("device", QUrl()); });
        if (scenario == "deleted")
            QTimer::singleShot(20, [&device] { device.reset(); });
        QElapsedTimer clock;
        clock.start();
        QTEST(alive->checkAuth(), "result");
        QVERIFY(clock.elapsed() < 5000);   // a hang guard
        QTEST(factory->ops.join(' '), "calls");
        if (connection && connection != factory->connections.last())
            emit connection->timeout("device", QUrl(), QVariant());
        QTEST(alive ? int(alive->status()) : -1, "status");
    }

    void saveLoadRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("productionDate");
        QTest::addColumn<QString>("storedDate");
        QTest::addColumn<QVariant>("port");   // as the connection settings give it
        QTest::addColumn<int>("storedPort");  // 0: not stored
        QTest::newRow("milliseconds dropped") << QDateTime::fromMSecsSinceEpoch(1500000000750) << "1500000000"
                                              << QVariant() << 0;
        QTest::newRow("after 2038") << QDateTime::fromSecsSinceEpoch(2209075200) << "2209075200" << QVariant() << 0;
        // Not toTime_t()'s error value, which would read back as 2106.
        QTest::newRow("no date") << QDateTime() << "0" << QVariant() << 0;
        // The port is stored only when it is not the default, and range-checked.
        QTest::newRow("port 8080") << QDateTime() << "0" << QVariant("8080") << 8080;
        QTest::newRow("port 80 given") << QDateTime() << "0" << QVariant(80) << 0;
        QTest::newRow("port out of range") << QDateTime() << "0" << QVariant(65536) << 0;
    }

    // Connection settings given as a host does, saved into a group of an INI
    // file, read back, and loaded into a fresh device, whose baseline they become.
    void saveLoadRoundTrip()
    {
        QFETCH(QVariant, port);
        QFETCH(int, storedPort);
        QFETCH(QString, storedDate);
        QTemporaryDir dir;
        const QString path = dir.filePath("devices.ini");
        FakeDevice original(factory);
        if (port == 65536)
            QTest::ignoreMessage(QtWarningMsg, "Device: ignoring the port \"65536\"");
        // A null entry leaves the field as it is.
        original.setConfigData("connectcfg", M{{"ip", "fe80::1"}, {"login", QVariant()}, {"password", "p@ss, word"},
                                               {"port", port}});
        original.setConfigData("network", M{{"mode", 2}, {"dhcp", true}});
        original.setConfigData("alarms", M{{"blank", ""}});
        DeviceConfig* o = original.config();
        QFETCH(QDateTime, productionDate);
        o->productionDate = productionDate;
        o->location = QStringLiteral("roof");   // not stored
        // A device may report "nan": the record must still equal its copy.
        o->accuracyClass = std::nan("");
        QVERIFY(DeviceConfig(*o) == *o);
        {
            QSettings stored(path, QSettings::IniFormat);
            stored.beginGroup("devices/meter1");
            original.saveConfig(&stored);
        }
        QSettings file(path, QSettings::IniFormat);
        file.beginGroup("devices/meter1");
        QCOMPARE(file.allKeys().join(' '), QString("alarms/blank connection/ip connection/login connection/password %1"
                                                   "groupConfigs network/dhcp network/mode system/description "
                                                   "system/model system/productionDate system/serial uuid")
                                               .arg(storedPort ? "connection/port " : ""));
        QCOMPARE(file.value("connection/port", 0).toInt(), storedPort);
        QCOMPARE(file.value("system/productionDate").toString(), storedDate);

        FakeDevice restored(factory);
        restored.config()->login.clear();
        restored.loadConfig(&file);
        o->location.clear();
        o->accuracyClass = 0;
        o->productionDate = QDateTime::fromSecsSinceEpoch(storedDate.toLongLong());
        QVERIFY(*restored.config() == *o);   // groups compare as text
        QCOMPARE(restored.config()->port, o->port);
        QVERIFY(!restored.isConfigModified());
        restored.setConfigData("network", M{{"mode", 3}, {"dhcp", true}});
        QVERIFY(restored.isConfigModified());
    }
};

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
