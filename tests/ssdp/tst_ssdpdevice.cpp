#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>
#include <QUdpSocket>

#include <configurator-common/ssdpdevice.h>

#include "ssdptestpeer.h"

namespace {

constexpr int kEarliestJoin = 2800;     // 3000 ms join delay, less coarse-timer slack
constexpr int kJoinWait = 5000;
constexpr int kQuietTime = 300;         // how long "no answer" is watched for
constexpr int kAnswerWait = 1000;
constexpr int kOversizeLocation = 70000; // more than one UDP datagram can carry
const char kType[] = "upnp:rootdevice";
const char kLocation[] = "http://127.0.0.1:8080/description.xml";

QStringList g_messages;
QtMessageHandler g_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    g_messages << text;
    if (g_previousHandler)
        g_previousHandler(type, context, text);
}

bool messageStartsWith(const QString& prefix)
{
    for (const QString& message : qAsConst(g_messages)) {
        if (message.startsWith(prefix))
            return true;
    }
    return false;
}

QNetworkInterface loopback()
{
    return QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
}

QString uuidText(const QUuid& uuid)
{
    return uuid.toString().mid(1, 36);
}

QByteArray usn(const QUuid& uuid, const QString& type = QLatin1String(kType))
{
    return "uuid:" + uuidText(uuid).toLatin1() + "::" + type.toLatin1();
}

// The kernel's major.minor as Qt reports it, independently of the device.
QByteArray expectedServer(const QByteArray& product, const QByteArray& version)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)\\.(\\d+)")).match(QSysInfo::kernelVersion());
    const QByteArray os = match.hasMatch()
        ? QString(match.captured(1) + '.' + match.captured(2)).toLatin1()
        : QByteArray("unknown");
    return "WinNT/" + os + " UPnP/1.1 " + product + '/' + version;
}

QByteArray searchFor(const QByteArray& target)
{
    return "M-SEARCH * HTTP/1.1\r\n"
           "Host: 239.255.255.250:1900\r\n"
           "MAN: \"ssdp:discover\"\r\n"
           "MX: 1\r\n"
           "ST: " + target + "\r\n"
           "\r\n";
}

QByteArray notifyBytes(const QUuid& uuid, const QByteArray& nts, const QByteArray& location,
                       int maxAge = 900)
{
    QByteArray bytes = "NOTIFY * HTTP/1.1\r\n"
                       "Host: 239.255.255.250:1900\r\n"
                       "Cache-control: max-age = " + QByteArray::number(maxAge) + "\r\n"
                       "NT: upnp:rootdevice\r\n"
                       "NTS: " + nts + "\r\n";
    if (!location.isEmpty())
        bytes += "LOCATION: " + location + "\r\n";
    bytes += "Server: " + expectedServer("Meter", "2.5") + "\r\n"
             "USN: " + usn(uuid) + "\r\n"
             "\r\n";
    return bytes;
}

void configure(SsdpDevice* device, const QUuid& uuid)
{
    device->setDeviceUuid(uuid);
    device->setNetworkInterface(loopback());
    device->setProduct(QStringLiteral("Meter"));
    device->setVersion(QStringLiteral("2.5"));
    device->setLocationUrl(QUrl(QLatin1String(kLocation)));
}

QString ipTool()
{
    return QStandardPaths::findExecutable(
        QStringLiteral("ip"), {"/usr/sbin", "/sbin", "/usr/bin", "/bin"});
}

bool runIp(const QStringList& arguments)
{
    QProcess ip;
    ip.start(ipTool(), arguments);
    return ip.waitForFinished(5000) && ip.exitStatus() == QProcess::NormalExit
        && ip.exitCode() == 0;
}

} // namespace

class TestSsdpDevice : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void newDeviceHasDefaults();
    void notifyMaxAgeRange_data();
    void notifyMaxAgeRange();
    void interfaceIsLookedUpAgainByName();

    void joinsAfterDelayAndAnnouncesAtOnce();
    void staysSilentWithoutInterface();
    void bindFailureIsRetried();
    void answersOnlyItsOwnSearch_data();
    void answersOnlyItsOwnSearch();
    void searchAnswerBytes();
    void noAnswerFromOutsideTheSubnet();
    void maxAgeChangesTheRunningPeriod();
    void sendFailuresWarn();
    void stopSendsOneByeBye();
    void destructionSendsByeBye();
    void independentStackSeesTheDevice_data();
    void independentStackSeesTheDevice();

private:
    // A running device shared by the tests that only search and listen; it
    // joins once (3 s) instead of once per test.
    SsdpDevice* sharedDevice();
    void dropSharedDevice();

    SsdpDevice* shared = nullptr;
    QUuid sharedUuid;
};

void TestSsdpDevice::initTestCase()
{
    g_previousHandler = qInstallMessageHandler(recordMessage);
}

void TestSsdpDevice::cleanupTestCase()
{
    dropSharedDevice();
    qInstallMessageHandler(g_previousHandler);
}

void TestSsdpDevice::init()
{
    g_messages.clear();
}

SsdpDevice* TestSsdpDevice::sharedDevice()
{
    if (!shared) {
        sharedUuid = QUuid::createUuid();
        shared = new SsdpDevice;
        configure(shared, sharedUuid);
        shared->start();
        QElapsedTimer clock;
        clock.start();
        while (!shared->isRunning() && clock.elapsed() < kJoinWait)
            QTest::qWait(50);
    }
    return shared->isRunning() ? shared : nullptr;
}

void TestSsdpDevice::dropSharedDevice()
{
    delete shared;
    shared = nullptr;
}

void TestSsdpDevice::newDeviceHasDefaults()
{
    SsdpDevice device;
    SsdpDevice other;
    QVERIFY(!device.deviceUuid().isNull());
    QVERIFY(device.deviceUuid() != other.deviceUuid());
    QCOMPARE(device.notificationType(), QStringLiteral("upnp:rootdevice"));
    QCOMPARE(device.notifyMaxAge(), 900);
    QCOMPARE(device.product(), QStringLiteral("unknown"));
    QCOMPARE(device.version(), QStringLiteral("unknown"));
    QVERIFY(device.locationUrl().isEmpty());
    QVERIFY(!device.networkInterface().isValid());
    QVERIFY(!device.isRunning());
}

void TestSsdpDevice::notifyMaxAgeRange_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("expected");

    QTest::newRow("largest") << 1799 << 1799;
    QTest::newRow("smallest") << 1 << 1;
    QTest::newRow("too large") << 1800 << 900;
    QTest::newRow("negative") << -1 << 900;
    QTest::newRow("zero would announce without pause") << 0 << 900;
    QTest::newRow("most negative") << std::numeric_limits<int>::min() << 900;
}

void TestSsdpDevice::notifyMaxAgeRange()
{
    QFETCH(int, seconds);
    QFETCH(int, expected);
    SsdpDevice device;
    device.setNotifyMaxAge(seconds);
    QCOMPARE(device.notifyMaxAge(), expected);
}

void TestSsdpDevice::interfaceIsLookedUpAgainByName()
{
    SsdpDevice device;
    device.setNetworkInterface(loopback());
    const QNetworkInterface iface = device.networkInterface();
    QVERIFY(iface.isValid());
    QCOMPARE(iface.name(), QStringLiteral("lo"));
    QCOMPARE(iface.addressEntries().size(), loopback().addressEntries().size());
}

void TestSsdpDevice::joinsAfterDelayAndAnnouncesAtOnce()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    const QUuid uuid = QUuid::createUuid();
    SsdpDevice device;
    configure(&device, uuid);

    QElapsedTimer clock;
    clock.start();
    device.start();
    // Every look taken before the earliest join time must find it idle; a
    // late wake-up on a busy machine only shortens the watch.
    for (;;) {
        const bool running = device.isRunning();
        const bool announced = !peer.groupDatagrams({usn(uuid)}).isEmpty();
        if (clock.elapsed() >= kEarliestJoin)
            break;
        QVERIFY(!running);
        QVERIFY(!announced);
        QTest::qWait(50);
    }

    QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), kJoinWait - kEarliestJoin);
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid)}).size(), 1, kAnswerWait);
    const SsdpTestPeer::Datagram alive = peer.groupDatagrams({usn(uuid)}).first();
    QCOMPARE(alive.data, notifyBytes(uuid, "ssdp:alive", kLocation));
    QCOMPARE(alive.senderPort, quint16(1900));
}

void TestSsdpDevice::staysSilentWithoutInterface()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    const QUuid uuid = QUuid::createUuid();
    SsdpDevice device;
    device.setDeviceUuid(uuid);
    device.start();
    QTest::qWait(3500);     // one join attempt has been made
    QVERIFY(!device.isRunning());
    QVERIFY(peer.groupDatagrams({uuidText(uuid).toLatin1()}).isEmpty());
    QVERIFY2(!messageStartsWith(QStringLiteral("SsdpDevice")),
             qPrintable(g_messages.join(QLatin1Char('\n'))));
    device.stop();          // joining: nothing to withdraw
    QTest::qWait(kQuietTime);
    QVERIFY(peer.groupDatagrams({uuidText(uuid).toLatin1()}).isEmpty());
}

void TestSsdpDevice::bindFailureIsRetried()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    dropSharedDevice();     // it holds port 1900
    QUdpSocket blocker;     // binds without address sharing, so the device cannot
    QVERIFY2(blocker.bind(QHostAddress::AnyIPv4, 1900, QUdpSocket::DontShareAddress),
             "port 1900 is taken in the test namespace");
    QTest::ignoreMessage(QtDebugMsg,
                         QRegularExpression(QStringLiteral(
                             "^SsdpDevice: Can't bind socket: \".+\" \\d+$")));
    SsdpDevice device;
    configure(&device, QUuid::createUuid());
    device.start();
    QTRY_VERIFY_WITH_TIMEOUT(messageStartsWith(QStringLiteral("SsdpDevice: Can't bind socket:")),
                             kJoinWait);
    QVERIFY(!device.isRunning());

    blocker.close();
    QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), kJoinWait);
}

void TestSsdpDevice::answersOnlyItsOwnSearch_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("answered");

    QTest::newRow("its type") << searchFor(kType) << true;
    QTest::newRow("header name in other case")
        << QByteArray("M-SEARCH * HTTP/1.1\r\nst: upnp:rootdevice\r\n\r\n") << true;
    QTest::newRow("blanks around the target")
        << QByteArray("M-SEARCH * HTTP/1.1\r\nST:  upnp:rootdevice \r\n\r\n") << true;
    QTest::newRow("ssdp:all") << searchFor("ssdp:all") << false;
    QTest::newRow("type in other case") << searchFor("UPnP:RootDevice") << false;
    QTest::newRow("other type") << searchFor("urn:example-com:device:Meter:1") << false;
    QTest::newRow("no target") << QByteArray("M-SEARCH * HTTP/1.1\r\nMX: 1\r\n\r\n") << false;
    QTest::newRow("notify")
        << QByteArray("NOTIFY * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\n"
                      "NT: upnp:rootdevice\r\nNTS: ssdp:alive\r\nST: upnp:rootdevice\r\n"
                      "USN: uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::upnp:rootdevice\r\n\r\n")
        << false;
    QTest::newRow("method in other case")
        << QByteArray("m-search * HTTP/1.1\r\nST: upnp:rootdevice\r\n\r\n") << false;
    QTest::newRow("response") << QByteArray("HTTP/1.1 200 OK\r\nST: upnp:rootdevice\r\n\r\n")
                              << false;
    QTest::newRow("bare line feeds")
        << QByteArray("M-SEARCH * HTTP/1.1\nST: upnp:rootdevice\n\n") << false;
    QTest::newRow("two-part first line")
        << QByteArray("M-SEARCH *\r\nST: upnp:rootdevice\r\n\r\n") << false;
}

void TestSsdpDevice::answersOnlyItsOwnSearch()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QFETCH(QByteArray, datagram);
    QFETCH(bool, answered);
    QVERIFY(sharedDevice());
    SsdpTestPeer peer;
    QVERIFY(peer.listen());

    QVERIFY(peer.sendToGroup(datagram));
    if (answered)
        QTRY_COMPARE_WITH_TIMEOUT(peer.answers().size(), 1, kAnswerWait);
    QTest::qWait(kQuietTime);
    QCOMPARE(peer.answers().size(), answered ? 1 : 0);
    if (answered)
        return;
    // Proof that the device was listening all along.
    QVERIFY(peer.sendToGroup(searchFor(kType)));
    QTRY_COMPARE_WITH_TIMEOUT(peer.answers().size(), 1, kAnswerWait);
    QVERIFY(peer.answers().first().data.contains(usn(sharedUuid)));
}

void TestSsdpDevice::searchAnswerBytes()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QVERIFY(sharedDevice());
    SsdpTestPeer peer;
    QVERIFY(peer.listen());

    QVERIFY(peer.sendToGroup(searchFor(kType)));
    QTRY_COMPARE_WITH_TIMEOUT(peer.answers().size(), 1, kAnswerWait);
    const SsdpTestPeer::Datagram answer = peer.answers().first();
    QCOMPARE(answer.data, QByteArray("HTTP/1.1 200 OK\r\n"
                                     "Cache-control: max-age = 900\r\n"
                                     "EXT: \r\n"
                                     "LOCATION: " + QByteArray(kLocation) + "\r\n"
                                     "Server: " + expectedServer("Meter", "2.5") + "\r\n"
                                     "ST: upnp:rootdevice\r\n"
                                     "USN: " + usn(sharedUuid) + "\r\n"
                                     "\r\n"));
    QCOMPARE(answer.sender, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(answer.senderPort, quint16(1900));
}

void TestSsdpDevice::noAnswerFromOutsideTheSubnet()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QVERIFY(sharedDevice());
    // 10.77.0.1 on lo lies outside lo's first subnet, 127.0.0.0/8.
    const QStringList address{"10.77.0.1/24", "dev", "lo"};
    if (ipTool().isEmpty() || !runIp(QStringList{"addr", "add"} + address))
        QSKIP("cannot add an address to lo in the test namespace");
    const auto removeAddress = qScopeGuard([&address] { runIp(QStringList{"addr", "del"} + address); });
    if (loopback().addressEntries().first().ip() != QHostAddress(QHostAddress::LocalHost))
        QSKIP("lo does not list 127.0.0.1 first");

    SsdpTestPeer outsider(QHostAddress(QStringLiteral("10.77.0.1")));
    SsdpTestPeer insider;
    QVERIFY(outsider.listen());
    QVERIFY(insider.listen());
    QVERIFY(outsider.sendToGroup(searchFor(kType)));
    QVERIFY(insider.sendToGroup(searchFor(kType)));
    QTRY_COMPARE_WITH_TIMEOUT(insider.answers().size(), 1, kAnswerWait);
    QTest::qWait(kQuietTime);
    QCOMPARE(outsider.groupDatagrams({"M-SEARCH"}).size(), 2);   // both searches went out
    QVERIFY(outsider.answers().isEmpty());
}

void TestSsdpDevice::maxAgeChangesTheRunningPeriod()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpDevice* device = sharedDevice();
    QVERIFY(device);
    const auto restore = qScopeGuard([device] {
        device->setNotifyMaxAge(900);
        device->setLocationUrl(QUrl(QLatin1String(kLocation)));
    });
    SsdpTestPeer peer;
    QVERIFY(peer.listen());

    device->setLocationUrl(QUrl());
    device->setNotifyMaxAge(1);
    QTRY_VERIFY_WITH_TIMEOUT(peer.groupDatagrams({usn(sharedUuid)}).size() >= 2, 3000);
    QCOMPARE(peer.groupDatagrams({usn(sharedUuid)}).first().data,
             notifyBytes(sharedUuid, "ssdp:alive", QByteArray(), 1));
}

void TestSsdpDevice::sendFailuresWarn()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpDevice* device = sharedDevice();
    QVERIFY(device);
    const auto restore = qScopeGuard([device] {
        device->setLocationUrl(QUrl(QLatin1String(kLocation)));
    });
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    device->setLocationUrl(
        QUrl(QLatin1String("http://127.0.0.1/") + QString(kOversizeLocation, QLatin1Char('a'))));

    QTest::ignoreMessage(QtWarningMsg, "Can't send SSDP request");
    QVERIFY(QMetaObject::invokeMethod(device, "sendNotifyAlive"));
    QTest::ignoreMessage(QtWarningMsg, "Can't send SSDP reply");
    QVERIFY(peer.sendToGroup(searchFor(kType)));
    QTRY_VERIFY_WITH_TIMEOUT(g_messages.contains(QStringLiteral("Can't send SSDP reply")),
                             kAnswerWait);
    QVERIFY(peer.answers().isEmpty());
}

void TestSsdpDevice::stopSendsOneByeBye()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    const QUuid uuid = QUuid::createUuid();
    SsdpDevice device;
    configure(&device, uuid);
    device.start();
    QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), kJoinWait);
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid)}).size(), 1, kAnswerWait);
    peer.clear();

    device.start();     // restarts the join timer while running
    device.stop();
    QVERIFY(!device.isRunning());
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid)}).size(), 1, kAnswerWait);
    QCOMPARE(peer.groupDatagrams({usn(uuid)}).first().data,
             notifyBytes(uuid, "ssdp:byebye", QByteArray()));

    device.stop();
    QVERIFY(peer.sendToGroup(searchFor(kType)));
    // Long enough for a join attempt: a stopped device must not come back.
    QTest::qWait(3500);
    QVERIFY(!device.isRunning());
    QCOMPARE(peer.groupDatagrams({usn(uuid)}).size(), 1);
    QVERIFY(peer.answers({usn(uuid)}).isEmpty());
}

void TestSsdpDevice::destructionSendsByeBye()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    const QUuid uuid = QUuid::createUuid();
    auto device = new SsdpDevice;
    configure(device, uuid);
    device->start();
    QTRY_VERIFY_WITH_TIMEOUT(device->isRunning(), kJoinWait);
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid)}).size(), 1, kAnswerWait);
    peer.clear();

    delete device;
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid)}).size(), 1, kAnswerWait);
    QVERIFY(peer.groupDatagrams({usn(uuid)}).first().data.contains("\r\nNTS: ssdp:byebye\r\n"));
    QTest::qWait(kQuietTime);
    QCOMPARE(peer.groupDatagrams({usn(uuid)}).size(), 1);
}

void TestSsdpDevice::independentStackSeesTheDevice_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("maxAge");

    // With max-age 900 only the answer to gssdp's own search can be seen;
    // with 1 the device announces while gssdp listens for everything.
    QTest::newRow("answer to its search")
        << QStringList{"-i", "lo", "-t", "upnp:rootdevice", "-n", "2"} << 900;
    QTest::newRow("announcements")
        << QStringList{"-i", "lo", "-n", "3", "-m", "available"} << 1;
}

void TestSsdpDevice::independentStackSeesTheDevice()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QFETCH(QStringList, arguments);
    QFETCH(int, maxAge);
    const QString discover = QStandardPaths::findExecutable(QStringLiteral("gssdp-discover"));
    QVERIFY2(!discover.isEmpty(), "gssdp-discover (Debian package gupnp-tools) is not installed");
    SsdpDevice* device = sharedDevice();
    QVERIFY(device);
    const auto restore = qScopeGuard([device] { device->setNotifyMaxAge(900); });
    device->setNotifyMaxAge(maxAge);

    QProcess gssdp;
    gssdp.setProcessChannelMode(QProcess::MergedChannels);
    gssdp.start(discover, arguments);
    QVERIFY2(gssdp.waitForStarted(5000), qPrintable(gssdp.errorString()));
    // Waits with the event loop running, so that the device keeps working.
    QTRY_COMPARE_WITH_TIMEOUT(gssdp.state(), QProcess::NotRunning, 10000);
    const QByteArray output = gssdp.readAll();
    QVERIFY2(output.contains("resource available\n  USN:      " + usn(sharedUuid)),
             output.constData());
    QVERIFY2(output.contains(QByteArray("Location: ") + kLocation), output.constData());
}

QTEST_GUILESS_MAIN(TestSsdpDevice)
#include "tst_ssdpdevice.moc"
