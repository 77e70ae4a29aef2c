#include <QTest>

#include <cmath>

#include <configurator-common/deviceconfig.h>

namespace {

QVariantMap map(std::initializer_list<std::pair<QString, QVariant>> entries)
{
    QVariantMap result;
    for (const auto& entry : entries)
        result.insert(entry.first, entry.second);
    return result;
}

DeviceConfig filledConfig()
{
    DeviceConfig config;
    config.address = QHostAddress(QStringLiteral("192.168.1.20"));
    config.login = QStringLiteral("admin");
    config.password = QStringLiteral("Secret");
    config.serial = QStringLiteral("SN-1");
    config.location = QStringLiteral("Boiler room");
    config.model = QStringLiteral("TX-10");
    config.description = QStringLiteral("Flow meter");
    config.productionDate = QDateTime::fromTime_t(1500000000);
    config.certificateSerial = QStringLiteral("C-9");
    config.lastVerificationDate = QDateTime::fromTime_t(1600000000);
    config.nextVerificationDate = QDateTime::fromTime_t(1700000000);
    config.accuracyClass = 0.5;
    config.configData.insert(QStringLiteral("network"), map({{"dhcp", true}, {"mtu", 1500}}));
    return config;
}

} // namespace

Q_DECLARE_METATYPE(std::function<void(DeviceConfig&)>)

class TestDeviceConfig : public QObject
{
    Q_OBJECT
private slots:
    void defaults();
    void copyComparesEqual();
    void fieldDifferences_data();
    void fieldDifferences();
    void configDataComparison_data();
    void configDataComparison();
};

void TestDeviceConfig::defaults()
{
    DeviceConfig config;
    QVERIFY(config.address.isNull());
    QVERIFY(config.login.isEmpty());
    QVERIFY(config.password.isEmpty());
    QVERIFY(config.serial.isEmpty());
    QVERIFY(config.productionDate.isNull());
    QCOMPARE(config.accuracyClass, 0.0);
    QVERIFY(config.configData.isEmpty());
    QVERIFY(config == DeviceConfig());
}

void TestDeviceConfig::copyComparesEqual()
{
    DeviceConfig config = filledConfig();
    config.configData.insert(QStringLiteral("empty"), map({{"unset", QVariant()}}));
    config.accuracyClass = std::nan("");
    const DeviceConfig copy(config);
    QVERIFY(copy == config);
    QVERIFY(!(copy != config));
}

void TestDeviceConfig::fieldDifferences_data()
{
    using Edit = std::function<void(DeviceConfig&)>;
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<bool>("equal");

    QTest::newRow("address") << Edit([](DeviceConfig& c) { c.address = QHostAddress("192.168.1.21"); }) << false;
    QTest::newRow("address printed alike")
        << Edit([](DeviceConfig& c) { c.address = QHostAddress(QHostAddress("192.168.1.20").toIPv4Address()); })
        << true;
    QTest::newRow("login case") << Edit([](DeviceConfig& c) { c.login = "Admin"; }) << false;
    QTest::newRow("password") << Edit([](DeviceConfig& c) { c.password = "secret"; }) << false;
    QTest::newRow("serial") << Edit([](DeviceConfig& c) { c.serial = "SN-2"; }) << false;
    QTest::newRow("location") << Edit([](DeviceConfig& c) { c.location.clear(); }) << false;
    QTest::newRow("model") << Edit([](DeviceConfig& c) { c.model = "TX-11"; }) << false;
    QTest::newRow("description") << Edit([](DeviceConfig& c) { c.description += " "; }) << false;
    QTest::newRow("production date, one second")
        << Edit([](DeviceConfig& c) { c.productionDate = c.productionDate.addSecs(1); }) << false;
    QTest::newRow("production date, milliseconds")
        << Edit([](DeviceConfig& c) { c.productionDate = c.productionDate.addMSecs(999); }) << true;
    QTest::newRow("production date in another zone")
        << Edit([](DeviceConfig& c) { c.productionDate = c.productionDate.toUTC(); }) << true;
    QTest::newRow("certificate") << Edit([](DeviceConfig& c) { c.certificateSerial = "C-8"; }) << false;
    QTest::newRow("last verification")
        << Edit([](DeviceConfig& c) { c.lastVerificationDate = QDateTime(); }) << false;
    QTest::newRow("next verification, milliseconds")
        << Edit([](DeviceConfig& c) { c.nextVerificationDate = c.nextVerificationDate.addMSecs(400); }) << true;
    QTest::newRow("accuracy class")
        << Edit([](DeviceConfig& c) { c.accuracyClass = 0.5000001; }) << false;
    QTest::newRow("configuration group value")
        << Edit([](DeviceConfig& c) { c.configData["network"] = map({{"dhcp", true}, {"mtu", 9000}}); })
        << false;
    QTest::newRow("configuration group as text")
        << Edit([](DeviceConfig& c) { c.configData["network"] = map({{"dhcp", "true"}, {"mtu", "1500"}}); })
        << true;
}

void TestDeviceConfig::fieldDifferences()
{
    QFETCH(std::function<void(DeviceConfig&)>, edit);
    QFETCH(bool, equal);
    const DeviceConfig original = filledConfig();
    DeviceConfig edited = original;
    edit(edited);
    QCOMPARE(edited == original, equal);
    QCOMPARE(original == edited, equal);
}

void TestDeviceConfig::configDataComparison_data()
{
    QTest::addColumn<QVariantMap>("mine");
    QTest::addColumn<QVariantMap>("other");
    QTest::addColumn<bool>("same");

    QTest::newRow("number and its text")
        << map({{"a", map({{"x", 1}})}}) << map({{"a", map({{"x", "1"}})}}) << true;
    QTest::newRow("extra key in a group")
        << map({{"a", map({{"x", 1}, {"y", 2}})}}) << map({{"a", map({{"x", 1}})}}) << false;
    QTest::newRow("extra key in the other group")
        << map({{"a", map({{"x", 1}})}}) << map({{"a", map({{"x", 1}, {"y", 2}})}}) << false;
    QTest::newRow("plain value against nothing")
        << map({{"b", "5"}}) << QVariantMap() << true;
    QTest::newRow("empty group against nothing")
        << map({{"a", QVariantMap()}}) << QVariantMap() << true;
    QTest::newRow("group against nothing")
        << map({{"a", map({{"x", 1}})}}) << QVariantMap() << false;
    QTest::newRow("nothing against group")
        << QVariantMap() << map({{"a", map({{"x", 1}})}}) << false;
    QTest::newRow("plain values differ")
        << map({{"b", "5"}}) << map({{"b", 6}}) << false;
    QTest::newRow("third level is not compared")
        << map({{"a", map({{"deep", map({{"k", 1}})}})}})
        << map({{"a", map({{"deep", map({{"k", 2}})}})}}) << true;
    QTest::newRow("null value on both sides")
        << map({{"a", map({{"x", QVariant()}})}}) << map({{"a", map({{"x", QVariant()}})}}) << true;
    QTest::newRow("null and empty text")
        << map({{"a", map({{"x", QString()}})}}) << map({{"a", map({{"x", QString("")}})}}) << true;
    QTest::newRow("null and a value")
        << map({{"a", map({{"x", QVariant()}})}}) << map({{"a", map({{"x", "v"}})}}) << false;
    QTest::newRow("value changed")
        << map({{"a", map({{"x", "on"}})}}) << map({{"a", map({{"x", "off"}})}}) << false;
}

void TestDeviceConfig::configDataComparison()
{
    QFETCH(QVariantMap, mine);
    QFETCH(QVariantMap, other);
    QFETCH(bool, same);
    DeviceConfig config;
    config.configData = mine;
    QCOMPARE(config.isConfigDataChanged(other), same);
}

QTEST_GUILESS_MAIN(TestDeviceConfig)
#include "tst_deviceconfig.moc"
