#include <QElapsedTimer>
#include <QEventLoop>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <configurator-common/device.h>

#include "device_p.h"
#include "fakedevicefactory.h"

namespace {

const QUrl kUrl(QStringLiteral("http://127.0.0.1/api/status"));

QVariantMap map(std::initializer_list<std::pair<QString, QVariant>> entries)
{
    QVariantMap result;
    for (const auto& entry : entries)
        result.insert(entry.first, entry.second);
    return result;
}

QVariantMap statusReport(int status, const QUuid& uuid)
{
    return map({{"status", status}, {"uuid", uuid.toString()}});
}

void makeReachable(Device* device)
{
    device->config()->address = QHostAddress(QStringLiteral("127.0.0.1"));
    device->config()->login = QStringLiteral("admin");
    device->config()->password = QStringLiteral("secret");
}

void processDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Stands in for a sender that is not a configuration page.
class RequestSource : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString id READ id)
public:
    QString id() const { return QStringLiteral("not-a-page"); }
signals:
    void dataRequested(const QVariant& data, int timeout);
    void configRequested(const QVariant& unused);
};

// Records the order in which a device's signals arrive.
class SignalOrder : public QObject
{
    Q_OBJECT
public:
    QStringList names;
public slots:
    void status(const QVariant&) { names.append(QStringLiteral("statusUpdated")); }
    void data(const QVariant&) { names.append(QStringLiteral("dataUpdated")); }
    void info(const QUuid&) { names.append(QStringLiteral("deviceInfoUpdated")); }
};

} // namespace

class TestDevice : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void metaObjectOrder();
    void constructionWithFactory();
    void constructionWithoutFactory();
    void eachConstructionHasItsOwnUuid();
    void setStatusReportsEvenWhenUnchanged();
    void pluginStatusValuesPassUnchanged_data();
    void pluginStatusValuesPassUnchanged();
    void requestDeviceStatusOnFreshDevice();
    void eachSignalNeedsOnlyItsOwnReceiver_data();
    void eachSignalNeedsOnlyItsOwnReceiver();
    void connectionSignalsAreWired();
    void destructionReleasesConnectionOnceAndDeletesLater();

    void requestChecks_data();
    void requestChecks();
    void requestPointsConnectionAtWorkingConfig();
    void requestWithoutFactoryEndsInNoResponse();
    void factoryWithoutConnectionEndsInNoResponse();
    void builtInRequestsAndTimeouts();
    void requestFromNonPageIsTaggedDevice();

    void replyIsBroadcastAfterStatus();
    void deviceReplyFillsIdentification();
    void deviceInfoDatesAfter2038_data();
    void deviceInfoDatesAfter2038();
    void deviceInfoThatIsNotAMap_data();
    void deviceInfoThatIsNotAMap();
    void timeoutBroadcastsInvalidData();
    void authRequiredSetsStatusOnly();

    void refreshStatusThrottlesPolling();
    void refreshStatusAfterTimeout();

    void checkAuthWaitsAboutOneSecond();
    void checkAuthWithEmptyLoginFails();
    void checkAuthEndsEarlyOnDisconnect();
    void checkAuthSeesRefusalDuringWait();
    void checkAuthSurvivesDeviceDeletion();

    void replacedConnectionOutlivesItsWait();
    void deviceDestroyedDuringWait();

private:
    FakeDeviceFactory* factory = nullptr;
};

void TestDevice::init()
{
    factory = new FakeDeviceFactory;
}

void TestDevice::cleanup()
{
    processDeferredDeletes();
    QCOMPARE(FakeConnection::liveCount(), 0);
    delete factory;
    factory = nullptr;
}

// Plug-ins built against the library rely on these indexes.
void TestDevice::metaObjectOrder()
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
    for (int i = 0; i < 6; ++i)
        QCOMPARE(meta.method(meta.methodOffset() + i).methodType(), QMetaMethod::Signal);
    for (int i = 6; i < expected.count(); ++i)
        QCOMPARE(meta.method(meta.methodOffset() + i).access(), QMetaMethod::Public);
}

void TestDevice::constructionWithFactory()
{
    FakeDevice device(factory);
    QVERIFY(!device.uuid().isNull());
    QCOMPARE(device.plugin(), static_cast<IDeviceFactory*>(factory));
    QCOMPARE(device.status(), StatusUnknown);
    QVERIFY(!device.isConfigModified());
    QCOMPARE(factory->operations(), QStringList{"createConnection"});
    QCOMPARE(factory->calls.first().type, QString("http"));
    QVERIFY(factory->lastConnection());
    QCOMPARE(device.config()->accuracyClass, 0.0);
}

void TestDevice::constructionWithoutFactory()
{
    FakeDevice device(nullptr);
    QVERIFY(device.uuid().isNull());
    QVERIFY(!device.plugin());
    QCOMPARE(device.status(), StatusUnknown);
    QCOMPARE(FakeConnection::liveCount(), 0);
}

void TestDevice::eachConstructionHasItsOwnUuid()
{
    FakeDevice first(factory);
    FakeDevice second(factory);
    QVERIFY(first.uuid() != second.uuid());
}

void TestDevice::setStatusReportsEvenWhenUnchanged()
{
    FakeDevice device(factory);
    QSignalSpy spy(&device, &Device::statusUpdated);
    device.setStatus(StatusOnline);
    device.setStatus(StatusOnline);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toMap(), statusReport(2, device.uuid()));
}

void TestDevice::pluginStatusValuesPassUnchanged_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("three") << 3;
    QTest::newRow("beyond the flags") << 100;
    QTest::newRow("negative") << -7;
}

void TestDevice::pluginStatusValuesPassUnchanged()
{
    QFETCH(int, value);
    FakeDevice device(factory);
    QSignalSpy spy(&device, &Device::statusUpdated);
    device.setStatus(DeviceStatusFlag(value));
    QCOMPARE(int(device.status()), value);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toMap().value("status").toInt(), value);
}

void TestDevice::requestDeviceStatusOnFreshDevice()
{
    FakeDevice device(factory);
    QSignalSpy spy(&device, &Device::statusUpdated);
    device.requestDeviceStatus();
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toMap(), statusReport(0, device.uuid()));
    QCOMPARE(factory->operations(), QStringList{"createConnection"});
}

void TestDevice::eachSignalNeedsOnlyItsOwnReceiver_data()
{
    QTest::addColumn<QString>("signalName");
    QTest::newRow("statusUpdated") << "statusUpdated";
    QTest::newRow("dataUpdated") << "dataUpdated";
    QTest::newRow("deviceInfoUpdated") << "deviceInfoUpdated";
    QTest::newRow("updateConfigData") << "updateConfigData";
}

// Each map-carrying signal is emitted when it has a receiver of its own, also
// when none of the others is connected; unconnected, the same calls are
// harmless.
void TestDevice::eachSignalNeedsOnlyItsOwnReceiver()
{
    QFETCH(QString, signalName);
    FakeDevice device(factory);
    FakeConnection* connection = factory->lastConnection();
    auto trigger = [&] {
        connection->reportReply("device", kUrl, QVariantMap(), map({{"model", "M1"}}));
        device.getConfigData(QVariant());
    };
    trigger();

    const int index = device.metaObject()->indexOfSignal(
        QMetaObject::normalizedSignature((signalName + (signalName == "deviceInfoUpdated"
                                                            ? "(QUuid)" : "(QVariant)"))
                                             .toLatin1()));
    QVERIFY(index >= 0);
    QSignalSpy spy(&device, device.metaObject()->method(index));
    trigger();
    QCOMPARE(spy.count(), 1);
}

void TestDevice::connectionSignalsAreWired()
{
    FakeDevice device(factory);
    FakeConnection* connection = factory->lastConnection();
    QCOMPARE(connection->receiverCount(SIGNAL(connected())), 2);      // its own flag, the device
    QCOMPARE(connection->receiverCount(SIGNAL(disconnected())), 2);
    QCOMPARE(connection->receiverCount(SIGNAL(timeout(QVariant,QUrl,QVariant))), 1);
    QCOMPARE(connection->receiverCount(SIGNAL(authRequired(QVariant,QUrl))), 1);
    QCOMPARE(connection->receiverCount(SIGNAL(dataReceived(QVariant,QUrl,QVariant,QVariant))), 1);
    QCOMPARE(connection->receiverCount(SIGNAL(error(QNetworkReply::NetworkError))), 0);

    QSignalSpy spy(&device, &Device::statusUpdated);
    connection->reportConnected();
    connection->reportDisconnected();
    connection->reportError(QNetworkReply::ConnectionRefusedError);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(device.status(), StatusUnknown);
}

void TestDevice::destructionReleasesConnectionOnceAndDeletesLater()
{
    auto* device = new FakeDevice(factory);
    QPointer<FakeConnection> connection = factory->lastConnection();
    delete device;

    QCOMPARE(factory->operations(), (QStringList{"createConnection", "releaseConnection"}));
    QCOMPARE(factory->calls.last().connection, static_cast<Connection*>(connection.data()));
    QVERIFY(connection);
    // Disconnected: a late report reaches nobody.
    QCOMPARE(connection->receiverCount(SIGNAL(dataReceived(QVariant,QUrl,QVariant,QVariant))), 0);
    connection->reportReply("device", kUrl, QVariantMap(), QVariant());
    processDeferredDeletes();
    QVERIFY(!connection);
}

void TestDevice::requestChecks_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("prepareResult");
    QTest::addColumn<int>("expectedStatus");
    QTest::addColumn<QStringList>("expectedCalls");

    const QStringList none{"createConnection"};
    QTest::newRow("no address") << "" << "admin" << "secret" << true << 0 << none;
    QTest::newRow("address that does not parse") << "300.1.1.1" << "admin" << "secret" << true << 0 << none;
    QTest::newRow("empty login") << "10.0.0.5" << "" << "secret" << true << 4 << none;
    QTest::newRow("empty password") << "10.0.0.5" << "admin" << "" << true << 4 << none;
    QTest::newRow("factory refuses")
        << "10.0.0.5" << "admin" << "secret" << false << 1
        << QStringList{"createConnection", "prepareConnection"};
    QTest::newRow("sent")
        << "10.0.0.5" << "admin" << "secret" << true << 0
        << QStringList{"createConnection", "prepareConnection", "requestData"};
}

void TestDevice::requestChecks()
{
    QFETCH(QString, address);
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, prepareResult);
    QFETCH(int, expectedStatus);
    QFETCH(QStringList, expectedCalls);

    FakeDevice device(factory);
    device.config()->address = QHostAddress(address);
    device.config()->login = login;
    device.config()->password = password;
    factory->prepareResult = prepareResult;
    QSignalSpy status(&device, &Device::statusUpdated);
    QSignalSpy replies(&device, &Device::dataUpdated);

    const QVariantMap request = map({{"cmd", "read"}, {"n", 3}});
    device.requestData(request, 2500);

    QCOMPARE(factory->operations(), expectedCalls);
    QCOMPARE(int(device.status()), expectedStatus);
    QCOMPARE(replies.count(), 0);
    if (expectedCalls.contains("requestData")) {
        // Sent: the status waits for the outcome.
        QCOMPARE(status.count(), 0);
        const FakeFactoryCall call = factory->callsOf("requestData").first();
        QCOMPARE(call.pageId, QString("device"));
        QCOMPARE(call.data.toMap(), request);
        QCOMPARE(call.timeout, 2500);
        QCOMPARE(call.connection, static_cast<Connection*>(factory->lastConnection()));
    } else {
        QCOMPARE(status.count(), 1);
        QCOMPARE(status.at(0).at(0).toMap(), statusReport(expectedStatus, device.uuid()));
    }
}

void TestDevice::requestPointsConnectionAtWorkingConfig()
{
    FakeDevice device(factory);
    makeReachable(&device);
    device.requestData(QVariant());
    const FakeFactoryCall prepare = factory->callsOf("prepareConnection").first();
    QCOMPARE(prepare.settings, static_cast<ConnectionSettings*>(device.config()));
    QCOMPARE(factory->callsOf("requestData").first().timeout, 60000);

    // Later edits are seen by the transport without another request.
    device.config()->login = QStringLiteral("operator");
    QCOMPARE(factory->lastConnection()->connectionSettings()->login, QString("operator"));
}

void TestDevice::requestWithoutFactoryEndsInNoResponse()
{
    FakeDevice device(nullptr);
    makeReachable(&device);
    QSignalSpy status(&device, &Device::statusUpdated);
    device.requestData(map({{"cmd", "x"}}));
    device.requestDeviceInfo();
    device.refreshStatus();
    QCOMPARE(device.status(), StatusNoResponse);
    QCOMPARE(status.count(), 3);
    QVERIFY(device.checkAuth());
    QVERIFY(factory->calls.isEmpty());
}

void TestDevice::factoryWithoutConnectionEndsInNoResponse()
{
    factory->makesConnections = false;
    QTest::ignoreMessage(QtWarningMsg, "Device: the factory returned no connection for http");
    FakeDevice device(factory);
    makeReachable(&device);

    QTest::ignoreMessage(QtWarningMsg, "Device: the factory returned no connection for http");
    device.requestData(map({{"cmd", "x"}}));
    QCOMPARE(device.status(), StatusNoResponse);
    // Asked again on the request, never handed a null connection.
    QCOMPARE(factory->operations(), (QStringList{"createConnection", "createConnection"}));

    QSignalSpy config(&device, &Device::updateConfigData);
    QTest::ignoreMessage(QtWarningMsg, "Device: the factory returned no connection for http");
    device.setConfigData("connectcfg", map({{"ip", "10.0.0.9"}}));
    QCOMPARE(config.count(), 1);
    QCOMPARE(device.config()->address, QHostAddress("10.0.0.9"));
    QCOMPARE(factory->callsOf("prepareConnection").count(), 0);
}

void TestDevice::builtInRequestsAndTimeouts()
{
    FakeDevice device(factory);
    makeReachable(&device);
    device.requestStatus();
    device.requestDeviceInfo();
    QVERIFY(QMetaObject::invokeMethod(&device, "requestData", Q_ARG(QVariant, QVariant("raw"))));

    const QList<FakeFactoryCall> calls = factory->callsOf("requestData");
    QCOMPARE(calls.count(), 3);
    QCOMPARE(calls.at(0).data.toMap(), map({{"request", "deviceStatus"}}));
    QCOMPARE(calls.at(0).timeout, 900);
    QCOMPARE(calls.at(1).data.toMap(), map({{"request", "deviceInfo"}}));
    QCOMPARE(calls.at(1).timeout, 60000);
    QCOMPARE(calls.at(2).data, QVariant("raw"));
    QCOMPARE(calls.at(2).timeout, 60000);
}

void TestDevice::requestFromNonPageIsTaggedDevice()
{
    FakeDevice device(factory);
    makeReachable(&device);
    RequestSource source;
    connect(&source, &RequestSource::dataRequested, &device,
            qOverload<const QVariant&, int>(&Device::requestData));
    connect(&source, &RequestSource::configRequested, &device, &Device::getConfigData);
    QSignalSpy config(&device, &Device::updateConfigData);

    emit source.dataRequested(QVariant("x"), 100);
    emit source.configRequested(QVariant());

    QCOMPARE(factory->callsOf("requestData").first().pageId, QString("device"));
    QCOMPARE(config.at(0).at(0).toMap().value("page"), QVariant("device"));
}

void TestDevice::replyIsBroadcastAfterStatus()
{
    FakeDevice device(factory);
    SignalOrder order;
    connect(&device, &Device::statusUpdated, &order, &SignalOrder::status);
    connect(&device, &Device::dataUpdated, &order, &SignalOrder::data);
    connect(&device, &Device::deviceInfoUpdated, &order, &SignalOrder::info);
    QSignalSpy replies(&device, &Device::dataUpdated);

    const QVariantMap info = map({{"type", "json"}, {"method", "GET"}, {"status", 200}, {"extra", 1}});
    const QVariantMap data = map({{"serialNumer", "S-77"}, {"value", 5}});
    factory->lastConnection()->reportReply("tabNetwork", kUrl, info, data);

    QCOMPARE(order.names, (QStringList{"statusUpdated", "dataUpdated"}));
    QCOMPARE(device.status(), StatusOnline);
    const QVariantMap expected = map({{"type", "json"}, {"page", "tabNetwork"},
                                      {"url", kUrl.toString()}, {"method", "GET"},
                                      {"status", 200}, {"data", data}});
    QCOMPARE(replies.at(0).at(0).toMap(), expected);
    // A page's reply is not the device's identification.
    QVERIFY(device.config()->serial.isEmpty());
}

void TestDevice::deviceReplyFillsIdentification()
{
    FakeDevice device(factory);
    QSignalSpy infoSpy(&device, &Device::deviceInfoUpdated);
    QSignalSpy changed(&device, &Device::configChanged);
    SignalOrder order;
    connect(&device, &Device::dataUpdated, &order, &SignalOrder::data);
    connect(&device, &Device::deviceInfoUpdated, &order, &SignalOrder::info);

    const QVariantMap data = map({{"serialNumer", "SN-1"}, {"productionDate", 0},
                                  {"model", "TX-10"}, {"description", "Flow meter"},
                                  {"certificateSerial", "C-9"},
                                  {"lastVerificationDate", 1700000000},
                                  {"nextVerificationDate", "1800000000"},
                                  {"accuracyClass", "0.5"}, {"serialNumber", "ignored"}});
    factory->lastConnection()->reportReply("device", kUrl, QVariantMap(), data);

    const DeviceConfig* config = device.config();
    QCOMPARE(config->serial, QString("SN-1"));
    QCOMPARE(config->productionDate.toUTC(), QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC));
    QCOMPARE(config->model, QString("TX-10"));
    QCOMPARE(config->description, QString("Flow meter"));
    QCOMPARE(config->certificateSerial, QString("C-9"));
    QCOMPARE(config->lastVerificationDate.toTime_t(), 1700000000u);
    QCOMPARE(config->nextVerificationDate.toTime_t(), 1800000000u);
    QCOMPARE(config->accuracyClass, 0.5);
    QCOMPARE(infoSpy.count(), 1);
    QCOMPARE(infoSpy.at(0).at(0).toUuid(), device.uuid());
    QCOMPARE(order.names, (QStringList{"dataUpdated", "deviceInfoUpdated"}));
    QVERIFY(!device.isConfigModified());
    QCOMPARE(changed.count(), 0);
}

void TestDevice::deviceInfoDatesAfter2038_data()
{
    QTest::addColumn<QVariant>("seconds");
    QTest::addColumn<qint64>("expected");
    QTest::newRow("2040 as number") << QVariant(qint64(2209075200)) << qint64(2209075200);
    QTest::newRow("2040 as text") << QVariant("2209075200") << qint64(2209075200);
    QTest::newRow("negative") << QVariant(-5) << qint64(0);
    QTest::newRow("not a number") << QVariant("soon") << qint64(0);
    QTest::newRow("beyond 2106") << QVariant(qint64(1) << 40) << qint64(0);
}

void TestDevice::deviceInfoDatesAfter2038()
{
    QFETCH(QVariant, seconds);
    QFETCH(qint64, expected);
    FakeDevice device(factory);
    device.setDeviceInfo(map({{"nextVerificationDate", seconds}}));
    QCOMPARE(device.config()->nextVerificationDate.toSecsSinceEpoch(), expected);
}

void TestDevice::deviceInfoThatIsNotAMap_data()
{
    QTest::addColumn<QVariant>("info");
    QTest::addColumn<int>("emissions");
    QTest::newRow("invalid") << QVariant() << 0;
    QTest::newRow("null string") << QVariant(QString()) << 0;
    QTest::newRow("text") << QVariant("serialNumer") << 1;
    QTest::newRow("list") << QVariant(QVariantList{1, 2}) << 1;
}

void TestDevice::deviceInfoThatIsNotAMap()
{
    QFETCH(QVariant, info);
    QFETCH(int, emissions);
    FakeDevice device(factory);
    device.config()->serial = QStringLiteral("kept");
    QSignalSpy spy(&device, &Device::deviceInfoUpdated);
    device.setDeviceInfo(info);
    QCOMPARE(spy.count(), emissions);
    QCOMPARE(device.config()->serial, QString("kept"));
}

void TestDevice::timeoutBroadcastsInvalidData()
{
    FakeDevice device(factory);
    QSignalSpy replies(&device, &Device::dataUpdated);
    QSignalSpy infoSpy(&device, &Device::deviceInfoUpdated);
    const QVariantMap info = map({{"type", "json"}, {"method", "POST"}, {"status", 0}});
    factory->lastConnection()->reportTimeout("device", kUrl, info);

    QCOMPARE(device.status(), StatusNoResponse);
    QCOMPARE(replies.count(), 1);
    const QVariantMap reply = replies.at(0).at(0).toMap();
    QCOMPARE(reply.keys(), (QStringList{"data", "method", "page", "status", "type", "url"}));
    QVERIFY(!reply.value("data").isValid());
    QCOMPARE(reply.value("type"), QVariant("json"));
    QCOMPARE(reply.value("method"), QVariant("POST"));
    QCOMPARE(reply.value("status"), QVariant(0));
    QCOMPARE(reply.value("page"), QVariant("device"));
    QCOMPARE(reply.value("url"), QVariant(kUrl.toString()));
    QCOMPARE(infoSpy.count(), 0);
    QVERIFY(!DevicePrivate::get(&device)->lastExchangeTime.isNull());
}

void TestDevice::authRequiredSetsStatusOnly()
{
    FakeDevice device(factory);
    QSignalSpy replies(&device, &Device::dataUpdated);
    QSignalSpy own(&device, qOverload<const QVariant&>(&Device::authRequired));
    factory->lastConnection()->reportAuthRequired("tab", kUrl);
    QCOMPARE(device.status(), StatusAuthRequired);
    QCOMPARE(replies.count(), 0);
    QCOMPARE(own.count(), 0);
    // Not an exchange: the status poll is not held back.
    QVERIFY(DevicePrivate::get(&device)->lastExchangeTime.isNull());
}

void TestDevice::refreshStatusThrottlesPolling()
{
    FakeDevice device(factory);
    makeReachable(&device);
    device.refreshStatus();
    QCOMPARE(factory->callsOf("requestData").count(), 1);
    QCOMPARE(factory->callsOf("requestData").first().data.toMap(), map({{"request", "deviceStatus"}}));

    // No exchange yet: every call polls.
    device.refreshStatus();
    QCOMPARE(factory->callsOf("requestData").count(), 2);

    factory->lastConnection()->reportReply("device", kUrl, QVariantMap(), QVariant());
    device.refreshStatus();
    QCOMPARE(factory->callsOf("requestData").count(), 2);

    DevicePrivate* d = DevicePrivate::get(&device);
    d->lastExchangeTime = QDateTime::currentDateTime().addSecs(-29);
    device.refreshStatus();
    QCOMPARE(factory->callsOf("requestData").count(), 2);

    d->lastExchangeTime = QDateTime::currentDateTime().addSecs(-31);
    device.refreshStatus();
    QCOMPARE(factory->callsOf("requestData").count(), 3);
    QCOMPARE(factory->callsOf("requestData").last().timeout, 900);
}

void TestDevice::refreshStatusAfterTimeout()
{
    FakeDevice device(factory);
    makeReachable(&device);
    factory->lastConnection()->reportTimeout("device", kUrl, QVariantMap());
    device.refreshStatus();
    QCOMPARE(factory->callsOf("requestData").count(), 0);
}

void TestDevice::checkAuthWaitsAboutOneSecond()
{
    FakeDevice device(factory);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(device.checkAuth());
    QVERIFY2(clock.elapsed() >= 900, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(device.status(), StatusUnknown);
}

void TestDevice::checkAuthWithEmptyLoginFails()
{
    FakeDevice device(factory);
    device.config()->address = QHostAddress(QStringLiteral("10.0.0.5"));
    device.config()->password = QStringLiteral("secret");
    QVERIFY(!device.checkAuth());
    QVERIFY(factory->callsOf("requestData").isEmpty());
}

void TestDevice::checkAuthEndsEarlyOnDisconnect()
{
    FakeDevice device(factory);
    makeReachable(&device);
    FakeConnection* connection = factory->lastConnection();
    QTimer::singleShot(50, connection, [connection] { connection->reportDisconnected(); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(device.checkAuth());
    QVERIFY2(clock.elapsed() < 800, qPrintable(QString::number(clock.elapsed())));
    const FakeFactoryCall call = factory->callsOf("requestData").first();
    QCOMPARE(call.data.toMap(), map({{"request", "deviceStatus"}}));
    QCOMPARE(call.timeout, 60000);
}

void TestDevice::checkAuthSeesRefusalDuringWait()
{
    FakeDevice device(factory);
    makeReachable(&device);
    factory->onRequestData = [](Connection* connection, const QString& pageId, const QVariant&, int) {
        auto* fake = static_cast<FakeConnection*>(connection);
        QTimer::singleShot(20, fake, [fake, pageId] { fake->reportAuthRequired(pageId, kUrl); });
    };
    QVERIFY(!device.checkAuth());
    QCOMPARE(device.status(), StatusAuthRequired);
}

void TestDevice::checkAuthSurvivesDeviceDeletion()
{
    auto* device = new FakeDevice(factory);
    makeReachable(device);
    QTimer::singleShot(20, [device] { delete device; });
    QVERIFY(!device->checkAuth());
    QCOMPARE(factory->callsOf("releaseConnection").count(), 1);
}

// A request waits in the transport's nested loop while the user enters new
// connection settings: the old connection must survive until that wait is
// over, and go away afterwards.
void TestDevice::replacedConnectionOutlivesItsWait()
{
    FakeDevice device(factory);
    makeReachable(&device);
    QPointer<FakeConnection> first = factory->lastConnection();
    bool aliveAfterWait = false;
    factory->onRequestData = [&](Connection*, const QString&, const QVariant&, int) {
        QEventLoop wait;
        QTimer::singleShot(10, &device, [&device] {
            device.setConfigData("connectcfg", map({{"ip", "10.0.0.77"}}));
        });
        QTimer::singleShot(60, &wait, &QEventLoop::quit);
        wait.exec();
        aliveAfterWait = !first.isNull();
    };
    device.requestData(map({{"cmd", "slow"}}));

    QVERIFY(aliveAfterWait);
    QCOMPARE(factory->connections.count(), 2);
    QVERIFY(factory->lastConnection() != first);
    QCOMPARE(factory->callsOf("releaseConnection").count(), 0);
    QCOMPARE(first->receiverCount(SIGNAL(dataReceived(QVariant,QUrl,QVariant,QVariant))), 0);
    processDeferredDeletes();
    QVERIFY(!first);
    QVERIFY(factory->lastConnection());
}

void TestDevice::deviceDestroyedDuringWait()
{
    auto* device = new FakeDevice(factory);
    makeReachable(device);
    QPointer<FakeConnection> connection = factory->lastConnection();
    bool aliveAfterWait = false;
    factory->onRequestData = [&](Connection*, const QString&, const QVariant&, int) {
        QEventLoop wait;
        QTimer::singleShot(10, [device] { delete device; });
        QTimer::singleShot(60, &wait, &QEventLoop::quit);
        wait.exec();
        aliveAfterWait = !connection.isNull();
    };
    device->requestData(map({{"cmd", "slow"}}));

    QVERIFY(aliveAfterWait);
    QCOMPARE(factory->callsOf("releaseConnection").count(), 1);
    processDeferredDeletes();
    QVERIFY(!connection);
}

QTEST_GUILESS_MAIN(TestDevice)
#include "tst_device.moc"
