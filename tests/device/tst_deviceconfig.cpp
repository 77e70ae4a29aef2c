#include <QTest>

#include <cmath>
#include <functional>

#include <configurator-common/connection.h>
#include <configurator-common/deviceconfig.h>

// The connection's state and the records that describe how to reach a device
// and what it holds.

namespace {

using M = QVariantMap;
using Edit = std::function<void(DeviceConfig&)>;

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
    config.productionDate = QDateTime::fromSecsSinceEpoch(1500000000);
    config.certificateSerial = QStringLiteral("C-9");
    config.lastVerificationDate = QDateTime::fromSecsSinceEpoch(1600000000);
    config.nextVerificationDate = QDateTime::fromSecsSinceEpoch(1700000000);
    config.accuracyClass = 0.5;
    config.configData.insert(QStringLiteral("network"), M{{"dhcp", true}, {"mtu", 1500}});
    return config;
}

} // namespace

Q_DECLARE_METATYPE(Edit)

class TestDeviceConfig : public QObject
{
    Q_OBJECT
private slots:
    void connectionStateAndSettings()
    {
        ConnectionSettings settings;
        {
            Connection connection;
            QVERIFY(!connection.isConnected());
            QVERIFY(!connection.connectionSettings());
            emit connection.connected();
            emit connection.connected();
            QVERIFY(connection.isConnected());
            emit connection.disconnected();
            QVERIFY(!connection.isConnected());
            connection.setConnectionSettings(&settings);
            QCOMPARE(connection.connectionSettings(), &settings);
        }
        settings.login = "still alive";   // a use after free if the connection deleted it
    }

    // A NaN accuracy class (a device may report "nan") must not make a record
    // differ from its own copy.
    void copyComparesEqual()
    {
        QVERIFY(DeviceConfig() == DeviceConfig());
        // Connection settings compare addresses by their printed form.
        const ConnectionSettings v6{QHostAddress("::ffff:0:1"), "user", "qvxj"};
        QVERIFY(v6 == (ConnectionSettings{QHostAddress("0:0:0:0:0:ffff:0:1"), "user", "qvxj"}));
        QVERIFY(v6 != (ConnectionSettings{QHostAddress("::ffff:0:2"), "user", "qvxj"}));
        DeviceConfig config = filledConfig();
        config.configData.insert(QStringLiteral("empty"), M{{"unset", QVariant()}});
        config.accuracyClass = std::nan("");
        const DeviceConfig copy(config);
        QVERIFY(copy == config && !(copy != config));
    }

    // A field left out of the comparison would hide an edit.
    void everyTextFieldCounts()
    {
        using Field = QString DeviceConfig::*;
        for (Field field : std::initializer_list<Field>{
                 &DeviceConfig::login, &DeviceConfig::password, &DeviceConfig::serial, &DeviceConfig::location,
                 &DeviceConfig::model, &DeviceConfig::description, &DeviceConfig::certificateSerial}) {
            DeviceConfig edited = filledConfig();
            edited.*field += QLatin1Char('x');
            QVERIFY(!(edited == filledConfig()));
        }
    }

    void fieldDifferences_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("equal");
        auto row = [](const char* name, Edit edit, bool equal) { QTest::newRow(name) << edit << equal; };

        row("address", [](DeviceConfig& c) { c.address = QHostAddress("192.168.1.21"); }, false);
        row("address printed alike", [](DeviceConfig& c) { c.address = QHostAddress(QHostAddress("192.168.1.20").toIPv4Address()); }, true);
        row("login case", [](DeviceConfig& c) { c.login = "Admin"; }, false);
        row("production date, one second", [](DeviceConfig& c) { c.productionDate = c.productionDate.addSecs(1); }, false);
        row("production date, milliseconds", [](DeviceConfig& c) { c.productionDate = c.productionDate.addMSecs(999); }, true);
        row("production date in another zone", [](DeviceConfig& c) { c.productionDate = c.productionDate.toUTC(); }, true);
        row("last verification", [](DeviceConfig& c) { c.lastVerificationDate = QDateTime(); }, false);
        row("next verification, milliseconds", [](DeviceConfig& c) { c.nextVerificationDate = c.nextVerificationDate.addMSecs(400); }, true);
        row("accuracy class", [](DeviceConfig& c) { c.accuracyClass = 0.5000001; }, false);
        row("configuration group value", [](DeviceConfig& c) { c.configData["network"] = M{{"dhcp", true}, {"mtu", 9000}}; }, false);
        row("configuration group as text", [](DeviceConfig& c) { c.configData["network"] = M{{"dhcp", "true"}, {"mtu", "1500"}}; }, true);
    }

    void fieldDifferences()
    {
        QFETCH(Edit, edit);
        QFETCH(bool, equal);
        const DeviceConfig original = filledConfig();
        DeviceConfig edited = original;
        edit(edited);
        QCOMPARE(edited == original, equal);
        QCOMPARE(original == edited, equal);
    }

    void configDataComparison_data()
    {
        QTest::addColumn<QVariantMap>("mine");
        QTest::addColumn<QVariantMap>("other");
        QTest::addColumn<bool>("same");
        auto row = [](const char* name, const M& mine, const M& other, bool same) {
            QTest::newRow(name) << mine << other << same;
        };
        const M x1{{"a", M{{"x", 1}}}};
        const M x1y2{{"a", M{{"x", 1}, {"y", 2}}}};
        row("number and its text", x1, M{{"a", M{{"x", "1"}}}}, true);
        row("extra key in a group", x1y2, x1, false);
        row("extra key in the other group", x1, x1y2, false);
        row("plain value against nothing", M{{"b", "5"}}, M(), true);
        row("empty group against nothing", M{{"a", M()}}, M(), true);
        row("group against nothing", x1, M(), false);
        row("nothing against group", M(), x1, false);
        row("plain values differ", M{{"b", "5"}}, M{{"b", 6}}, false);
        row("third level is not compared", M{{"a", M{{"deep", M{{"k", 1}}}}}}, M{{"a", M{{"deep", M{{"k", 2}}}}}}, true);
        row("null value on both sides", M{{"a", M{{"x", QVariant()}}}}, M{{"a", M{{"x", QVariant()}}}}, true);
        row("null and empty text", M{{"a", M{{"x", QString()}}}}, M{{"a", M{{"x", QString("")}}}}, true);
        row("null and a value", M{{"a", M{{"x", QVariant()}}}}, M{{"a", M{{"x", "v"}}}}, false);
        row("value changed", M{{"a", M{{"x", "on"}}}}, M{{"a", M{{"x", "off"}}}}, false);
    }

    void configDataComparison()
    {
        QFETCH(QVariantMap, mine);
        QFETCH(QVariantMap, other);
        DeviceConfig config;
        config.configData = mine;
        QTEST(config.isConfigDataChanged(other), "same");
    }
};

QTEST_GUILESS_MAIN(TestDeviceConfig)
#include "tst_deviceconfig.moc"
