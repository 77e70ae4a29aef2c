#include <QSignalSpy>
#include <QTest>

#include <configurator-common/connection.h>

class EmittingConnection : public Connection
{
public:
    void up() { emit connected(); }
    void down() { emit disconnected(); }
};

class TestConnection : public QObject
{
    Q_OBJECT
private slots:
    void newConnectionIsDisconnectedWithoutSettings();
    void connectedFollowsTheLastSignal();
    void settingsPointerIsNotOwned();
    void settingsCompareByPrintedAddress_data();
    void settingsCompareByPrintedAddress();
};

void TestConnection::newConnectionIsDisconnectedWithoutSettings()
{
    Connection connection;
    QVERIFY(!connection.isConnected());
    QVERIFY(connection.connectionSettings() == 0);
}

void TestConnection::connectedFollowsTheLastSignal()
{
    EmittingConnection connection;
    connection.up();
    QVERIFY(connection.isConnected());
    connection.up();
    QVERIFY(connection.isConnected());
    connection.down();
    QVERIFY(!connection.isConnected());
}

void TestConnection::settingsPointerIsNotOwned()
{
    ConnectionSettings settings;
    {
        Connection connection;
        connection.setConnectionSettings(&settings);
        QCOMPARE(connection.connectionSettings(), &settings);
    }
    settings.login = "still alive";
    QCOMPARE(settings.login, QString("still alive"));
}

void TestConnection::settingsCompareByPrintedAddress_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("login2");
    QTest::addColumn<bool>("equal");

    QTest::newRow("same") << "192.168.0.1" << "192.168.0.1" << "user" << true;
    QTest::newRow("ipv6 spelled differently") << "::ffff:0:1" << "0:0:0:0:0:ffff:0:1" << "user" << true;
    QTest::newRow("other address") << "192.168.0.1" << "192.168.0.2" << "user" << false;
    QTest::newRow("login case") << "192.168.0.1" << "192.168.0.1" << "User" << false;
    QTest::newRow("both null") << "" << "" << "user" << true;
}

void TestConnection::settingsCompareByPrintedAddress()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, login2);
    QFETCH(bool, equal);

    ConnectionSettings a;
    a.address = QHostAddress(first);
    a.login = "user";
    a.password = "qvxj";
    ConnectionSettings b = a;
    b.address = QHostAddress(second);
    b.login = login2;
    QCOMPARE(a == b, equal);
    QCOMPARE(a != b, !equal);
}

QTEST_GUILESS_MAIN(TestConnection)
#include "tst_connection.moc"
