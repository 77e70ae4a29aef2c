#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <configurator-common/device.h>

#include "fakedevicefactory.h"

namespace {

QVariantMap map(std::initializer_list<std::pair<QString, QVariant>> entries)
{
    QVariantMap result;
    for (const auto& entry : entries)
        result.insert(entry.first, entry.second);
    return result;
}

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const char kDeviceGroup[] = "devices/meter1";

} // namespace

class TestDeviceSettings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void groupIsStoredUnchanged();
    void groupIsRemovedByEmptyOrPlainValue_data();
    void groupIsRemovedByEmptyOrPlainValue();
    void configChangedEvenWithoutChange();
    void connectSettingsFields_data();
    void connectSettingsFields();
    void connectSettingsReplaceConnection();
    void configMapContents();
    void configMapPageEntryNamesThePage();
    void modifiedFollowsBaseline();

    void saveWritesLayoutByKey();
    void saveLoadRoundTrip();
    void loadFromEmptySettings();
    void loadGroupList_data();
    void loadGroupList();
    void loadKeepsOtherGroups();
    void datesAfter2038SurviveRoundTrip();
    void nullSettingsDoNothing();

private:
    QString iniPath() const { return dir->filePath(QStringLiteral("devices.ini")); }

    FakeDeviceFactory* factory = nullptr;
    QTemporaryDir* dir = nullptr;
};

void TestDeviceSettings::init()
{
    factory = new FakeDeviceFactory;
    dir = new QTemporaryDir;
    QVERIFY(dir->isValid());
}

void TestDeviceSettings::cleanup()
{
    processDeferredDeletes();
    QCOMPARE(FakeConnection::liveCount(), 0);
    delete factory;
    delete dir;
}

void TestDeviceSettings::groupIsStoredUnchanged()
{
    FakeDevice device(factory);
    const QVariantMap group = map({{"mode", 2}, {"nested", map({{"k", "v"}})}});
    device.setConfigData("network", group);
    QCOMPARE(device.config()->configData.value("network").toMap(), group);
    QVERIFY(device.isConfigModified());
    // Only the connection settings touch the transport.
    QCOMPARE(factory->operations(), QStringList{"createConnection"});
}

void TestDeviceSettings::groupIsRemovedByEmptyOrPlainValue_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::newRow("empty map") << QVariant(QVariantMap());
    QTest::newRow("plain text") << QVariant("on");
    QTest::newRow("invalid") << QVariant();
}

void TestDeviceSettings::groupIsRemovedByEmptyOrPlainValue()
{
    QFETCH(QVariant, value);
    FakeDevice device(factory);
    device.setConfigData("network", map({{"mode", 2}}));
    device.setConfigData("network", value);
    QVERIFY(!device.config()->configData.contains("network"));
    QVERIFY(!device.isConfigModified());
}

void TestDeviceSettings::configChangedEvenWithoutChange()
{
    FakeDevice device(factory);
    QSignalSpy changed(&device, &Device::configChanged);
    device.setConfigData("network", map({{"mode", 2}}));
    device.setConfigData("network", map({{"mode", 2}}));
    device.setConfigData("absent", QVariantMap());
    QCOMPARE(changed.count(), 3);
}

void TestDeviceSettings::connectSettingsFields_data()
{
    QTest::addColumn<QVariantMap>("fields");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");

    QTest::newRow("all") << map({{"ip", "10.1.1.1"}, {"login", "op"}, {"password", "pw2"}})
                         << "10.1.1.1" << "op" << "pw2";
    QTest::newRow("empty password kept") << map({{"ip", "10.1.1.1"}, {"password", ""}})
                                         << "10.1.1.1" << "admin" << "secret";
    QTest::newRow("absent fields kept") << QVariantMap() << "192.168.0.2" << "admin" << "secret";
    QTest::newRow("null entry kept") << map({{"login", QVariant()}})
                                     << "192.168.0.2" << "admin" << "secret";
    QTest::newRow("bad address") << map({{"ip", "not an address"}}) << "" << "admin" << "secret";
}

void TestDeviceSettings::connectSettingsFields()
{
    QFETCH(QVariantMap, fields);
    QFETCH(QString, address);
    QFETCH(QString, login);
    QFETCH(QString, password);

    FakeDevice device(factory);
    device.config()->address = QHostAddress(QStringLiteral("192.168.0.2"));
    device.config()->login = QStringLiteral("admin");
    device.config()->password = QStringLiteral("secret");
    device.setConfigData("connectcfg", fields);

    QCOMPARE(device.config()->address.toString(), address);
    QCOMPARE(device.config()->login, login);
    QCOMPARE(device.config()->password, password);
    // Replaced also when nothing changed.
    QCOMPARE(factory->connections.count(), 2);
}

void TestDeviceSettings::connectSettingsReplaceConnection()
{
    FakeDevice device(factory);
    QPointer<FakeConnection> old = factory->lastConnection();
    QSignalSpy config(&device, &Device::updateConfigData);
    QSignalSpy changed(&device, &Device::configChanged);
    QSignalSpy status(&device, &Device::statusUpdated);

    device.setConfigData("connectcfg", map({{"ip", "10.0.0.8"}, {"login", "op"}, {"password", "pw"}}));

    QCOMPARE(factory->operations(),
             (QStringList{"createConnection", "createConnection", "prepareConnection"}));
    FakeConnection* current = factory->lastConnection();
    QVERIFY(current != old);
    QCOMPARE(factory->calls.last().connection, static_cast<Connection*>(current));
    QCOMPARE(factory->calls.last().settings, static_cast<ConnectionSettings*>(device.config()));

    // The old one reaches the device no more and goes away later, not
    // through the factory.
    QVERIFY(old);
    old->reportReply("device", QUrl(), QVariant(), QVariant());
    QCOMPARE(status.count(), 0);
    processDeferredDeletes();
    QVERIFY(!old);

    current->reportTimeout("device", QUrl(), QVariant());
    QCOMPARE(device.status(), StatusNoResponse);

    QCOMPARE(config.count(), 1);
    const QVariantMap connect = config.at(0).at(0).toMap().value("connectcfg").toMap();
    QCOMPARE(connect, map({{"ip", "10.0.0.8"}, {"login", "op"}, {"password", "pw"}}));
    QCOMPARE(changed.count(), 1);
    QVERIFY(device.isConfigModified());
}

void TestDeviceSettings::configMapContents()
{
    FakeDevice device(factory);
    DeviceConfig* config = device.config();
    config->address = QHostAddress(QStringLiteral("10.0.0.3"));
    config->login = QStringLiteral("admin");
    config->password = QStringLiteral("secret");
    config->serial = QStringLiteral("SN-5");
    config->location = QStringLiteral("Roof");
    config->model = QStringLiteral("not reported");
    config->productionDate = QDateTime::fromTime_t(1500000000);
    config->configData.insert(QStringLiteral("network"), map({{"mode", 2}}));
    config->configData.insert(QStringLiteral("connectcfg"), map({{"stale", 1}}));

    QSignalSpy spy(&device, &Device::updateConfigData);
    device.getConfigData(QVariant("ignored"));
    QCOMPARE(spy.count(), 1);
    const QVariantMap configMap = spy.at(0).at(0).toMap();
    QCOMPARE(configMap.keys(), (QStringList{"connectcfg", "network", "page", "systemcfg"}));
    QCOMPARE(configMap.value("network").toMap(), map({{"mode", 2}}));
    QCOMPARE(configMap.value("connectcfg").toMap(),
             map({{"ip", "10.0.0.3"}, {"login", "admin"}, {"password", "secret"}}));
    const QVariantMap system = configMap.value("systemcfg").toMap();
    QCOMPARE(system.keys(), (QStringList{"location", "productionDate", "serial"}));
    QCOMPARE(system.value("serial"), QVariant("SN-5"));
    QCOMPARE(system.value("location"), QVariant("Roof"));
    QCOMPARE(system.value("productionDate").type(), QVariant::DateTime);
    QCOMPARE(system.value("productionDate").toDateTime().toTime_t(), 1500000000u);
}

void TestDeviceSettings::configMapPageEntryNamesThePage()
{
    FakeDevice device(factory);
    device.setConfigData("page", map({{"x", 1}}));
    QSignalSpy spy(&device, &Device::updateConfigData);
    device.getConfigData(QVariant());
    QCOMPARE(spy.at(0).at(0).toMap().value("page"), QVariant("device"));
}

void TestDeviceSettings::modifiedFollowsBaseline()
{
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue("groupConfigs", "network");
        settings.setValue("network/mode", "2");
        settings.setValue("network/mtu", "1500");
    }
    QSettings settings(iniPath(), QSettings::IniFormat);
    FakeDevice device(factory);
    device.loadConfig(&settings);
    QVERIFY(!device.isConfigModified());

    device.setConfigData("network", map({{"mode", 2}, {"mtu", 1500}}));
    QVERIFY(!device.isConfigModified());
    device.setConfigData("network", map({{"mode", 3}, {"mtu", 1500}}));
    QVERIFY(device.isConfigModified());
    device.setConfigData("network", map({{"mode", "2"}, {"mtu", "1500"}}));
    QVERIFY(!device.isConfigModified());

    device.setConfigData("connectcfg", map({{"login", "op"}}));
    QVERIFY(device.isConfigModified());
    // Saving moves the baseline but leaves the flag to the next edit.
    device.saveConfig(&settings);
    QVERIFY(device.isConfigModified());
    device.setConfigData("other", QVariantMap());
    QVERIFY(!device.isConfigModified());
}

void TestDeviceSettings::saveWritesLayoutByKey()
{
    FakeDevice device(factory);
    DeviceConfig* config = device.config();
    config->address = QHostAddress(QStringLiteral("10.0.0.3"));
    config->login = QStringLiteral("admin");
    config->password = QStringLiteral("p@ss, word");
    config->serial = QStringLiteral("SN-5");
    config->model = QStringLiteral("TX-10");
    config->description = QStringLiteral("Flow meter");
    config->location = QStringLiteral("Roof");
    config->productionDate = QDateTime::fromTime_t(1500000000);
    config->configData.insert(QStringLiteral("network"), map({{"mode", 2}, {"dhcp", true}}));
    config->configData.insert(QStringLiteral("alarms"), map({{"limit", 4.5}}));
    config->configData.insert(QString(), map({{"lost", 1}}));
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(kDeviceGroup);
        device.saveConfig(&settings);
        settings.endGroup();
    }

    QSettings stored(iniPath(), QSettings::IniFormat);
    stored.beginGroup(kDeviceGroup);
    QCOMPARE(stored.value("uuid").toString(), device.uuid().toString());
    QCOMPARE(stored.value("system/serial").toString(), QString("SN-5"));
    QCOMPARE(stored.value("system/model").toString(), QString("TX-10"));
    QCOMPARE(stored.value("system/description").toString(), QString("Flow meter"));
    QCOMPARE(stored.value("system/productionDate").toString(), QString("1500000000"));
    QCOMPARE(stored.value("connection/ip").toString(), QString("10.0.0.3"));
    QCOMPARE(stored.value("connection/login").toString(), QString("admin"));
    QCOMPARE(stored.value("connection/password").toString(), QString("p@ss, word"));
    QCOMPARE(stored.value("groupConfigs").toString(), QString("alarms,network"));
    QCOMPARE(stored.value("network/mode").toString(), QString("2"));
    QCOMPARE(stored.value("network/dhcp").toString(), QString("true"));
    QCOMPARE(stored.value("alarms/limit").toString(), QString("4.5"));
    QCOMPARE(stored.childGroups(), (QStringList{"alarms", "connection", "network", "system"}));
    QVERIFY(!stored.allKeys().contains("system/location"));
    QVERIFY(!stored.allKeys().contains("lost"));
    stored.endGroup();
    QCOMPARE(stored.childGroups(), QStringList{"devices"});
}

void TestDeviceSettings::saveLoadRoundTrip()
{
    FakeDevice original(factory);
    DeviceConfig* config = original.config();
    config->address = QHostAddress(QStringLiteral("fe80::1"));
    config->login = QStringLiteral("admin");
    config->password = QStringLiteral("secret");
    config->serial = QStringLiteral("SN-5");
    config->model = QStringLiteral("TX-10");
    config->description = QStringLiteral("Flow meter");
    config->productionDate = QDateTime::fromMSecsSinceEpoch(qint64(1500000000) * 1000 + 750);
    config->location = QStringLiteral("Roof");
    config->accuracyClass = 0.2;
    config->configData.insert(QStringLiteral("network"), map({{"mode", 2}, {"name", "east"}}));
    config->configData.insert(QStringLiteral("empty"), map({{"blank", ""}}));
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(kDeviceGroup);
        original.saveConfig(&settings);
    }

    FakeDevice restored(factory);
    QSettings settings(iniPath(), QSettings::IniFormat);
    settings.beginGroup(kDeviceGroup);
    restored.loadConfig(&settings);

    const DeviceConfig* loaded = restored.config();
    QCOMPARE(loaded->address, QHostAddress("fe80::1"));
    QCOMPARE(loaded->login, QString("admin"));
    QCOMPARE(loaded->password, QString("secret"));
    QCOMPARE(loaded->serial, QString("SN-5"));
    QCOMPARE(loaded->model, QString("TX-10"));
    QCOMPARE(loaded->description, QString("Flow meter"));
    QCOMPARE(loaded->productionDate.toSecsSinceEpoch(), qint64(1500000000));
    QCOMPARE(loaded->configData.value("network").toMap(), map({{"mode", "2"}, {"name", "east"}}));
    QCOMPARE(loaded->configData.value("network").toMap().value("mode").type(), QVariant::String);
    QCOMPARE(loaded->configData.value("empty").toMap().keys(), QStringList{"blank"});
    // Not stored, and the identity is the device's own.
    QVERIFY(loaded->location.isEmpty());
    QCOMPARE(loaded->accuracyClass, 0.0);
    QVERIFY(restored.uuid() != original.uuid());
    QVERIFY(!restored.isConfigModified());

    // The loaded values are the baseline, also for a group with an empty value.
    restored.setConfigData("empty", map({{"blank", ""}}));
    QVERIFY(!restored.isConfigModified());
}

void TestDeviceSettings::loadFromEmptySettings()
{
    FakeDevice device(factory);
    device.config()->address = QHostAddress(QStringLiteral("10.0.0.3"));
    QSettings settings(iniPath(), QSettings::IniFormat);
    device.loadConfig(&settings);
    QVERIFY(device.config()->address.isNull());
    QVERIFY(device.config()->login.isEmpty());
    QCOMPARE(device.config()->productionDate.toSecsSinceEpoch(), qint64(0));
    QVERIFY(device.config()->configData.isEmpty());
}

void TestDeviceSettings::loadGroupList_data()
{
    QTest::addColumn<QString>("groupConfigs");
    QTest::addColumn<QStringList>("groups");
    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("empty parts skipped") << ",a,,b," << QStringList{"a", "b"};
    QTest::newRow("listed without keys") << "ghost" << QStringList{"ghost"};
}

void TestDeviceSettings::loadGroupList()
{
    QFETCH(QString, groupConfigs);
    QFETCH(QStringList, groups);
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue("groupConfigs", groupConfigs);
        settings.setValue("a/k", "1");
        settings.setValue("b/k", "2");
        settings.setValue("unlisted/k", "3");
    }
    QSettings settings(iniPath(), QSettings::IniFormat);
    FakeDevice device(factory);
    device.loadConfig(&settings);
    QCOMPARE(device.config()->configData.keys(), groups);
    if (groups.contains("ghost"))
        QVERIFY(device.config()->configData.value("ghost").toMap().isEmpty());
    if (groups.contains("b"))
        QCOMPARE(device.config()->configData.value("b").toMap(), map({{"k", "2"}}));
}

void TestDeviceSettings::loadKeepsOtherGroups()
{
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.setValue("groupConfigs", "network");
        settings.setValue("network/mode", "2");
    }
    FakeDevice device(factory);
    device.setConfigData("network", map({{"mode", 5}, {"old", 1}}));
    device.setConfigData("display", map({{"contrast", 7}}));
    QSettings settings(iniPath(), QSettings::IniFormat);
    device.loadConfig(&settings);
    QCOMPARE(device.config()->configData.value("network").toMap(), map({{"mode", "2"}}));
    QCOMPARE(device.config()->configData.value("display").toMap(), map({{"contrast", 7}}));
}

void TestDeviceSettings::datesAfter2038SurviveRoundTrip()
{
    const qint64 in2040 = 2209075200;
    FakeDevice original(factory);
    original.config()->productionDate = QDateTime::fromSecsSinceEpoch(in2040);
    FakeDevice undated(factory);
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup("dated");
        original.saveConfig(&settings);
        settings.endGroup();
        settings.beginGroup("undated");
        undated.saveConfig(&settings);
    }
    QSettings settings(iniPath(), QSettings::IniFormat);
    // No production date is stored as the start of 1970, not as a wrapped
    // error value.
    QCOMPARE(settings.value("undated/system/productionDate").toString(), QString("0"));
    settings.beginGroup("dated");
    FakeDevice restored(factory);
    restored.loadConfig(&settings);
    QCOMPARE(restored.config()->productionDate.toSecsSinceEpoch(), in2040);
}

void TestDeviceSettings::nullSettingsDoNothing()
{
    FakeDevice device(factory);
    device.setConfigData("network", map({{"mode", 2}}));
    device.saveConfig(nullptr);
    device.loadConfig(nullptr);
    device.setConfigData("other", QVariantMap());
    QVERIFY(device.isConfigModified());
    QCOMPARE(device.config()->configData.keys(), QStringList{"network"});
}

QTEST_GUILESS_MAIN(TestDeviceSettings)
#include "tst_devicesettings.moc"
