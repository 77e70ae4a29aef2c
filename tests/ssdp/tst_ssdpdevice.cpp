#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTest>

#include <configurator-common/ssdpdevice.h>

#include "ssdptestpeer.h"

namespace {

constexpr int kEarliestJoin = 2800;     // 3000 ms join delay, less coarse-timer slack
constexpr int kJoinWait = 5000;
constexpr int kJoinAttempt = 3500;      // long enough for one join attempt
constexpr int kQuietTime = 300;         // how long "no answer" is watched for
constexpr int kAnswerWait = 1000;
constexpr int kOversizeLocation = 70000; // more than one UDP datagram can carry
const char kType[] = "upnp:rootdevice";
const char kLocation[] = "http://127.0.0.1:8080/description.xml";

QNetworkInterface loopback()
{
    return QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
}

QByteArray usn(const QUuid& uuid)
{
    return "uuid:" + uuid.toString().mid(1, 36).toLatin1() + "::" + kType;
}

// The kernel's major.minor as Qt reports it, independently of the device.
QByteArray serverLine()
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^(\\d+)\\.(\\d+)")).match(QSysInfo::kernelVersion());
    const QString os = match.hasMatch() ? match.captured(1) + '.' + match.captured(2)
                                        : QStringLiteral("unknown");
    return "Server: WinNT/" + os.toLatin1() + " UPnP/1.1 Meter/2.5\r\n";
}

QByteArray searchFor(const QByteArray& target)
{
    return "M-SEARCH * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\n"
           "MX: 1\r\nST: " + target + "\r\n\r\n";
}

QByteArray notifyBytes(const QUuid& uuid, const QByteArray& nts, const QByteArray& location,
                       int maxAge = 900)
{
    return "NOTIFY * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\nCache-control: max-age = "
        + QByteArray::number(maxAge) + "\r\nNT: upnp:rootdevice\r\nNTS: " + nts + "\r\n"
        + (location.isEmpty() ? QByteArray() : "LOCATION: " + location + "\r\n") + serverLine()
        + "USN: " + usn(uuid) + "\r\n\r\n";
}

void configure(SsdpDevice* device, const QUuid& uuid)
{
    device->setDeviceUuid(uuid);
    device->setNetworkInterface(loopback());
    device->setProduct(QStringLiteral("Meter"));
    device->setVersion(QStringLiteral("2.5"));
    device->setLocationUrl(QUrl(QLatin1String(kLocation)));
}

bool runIp(const QStringList& arguments)
{
    return SsdpTestPeer::runIp(arguments);
}

} // namespace

class TestSsdpDevice : public QObject
{
    Q_OBJECT
private slots:
    void notifyMaxAgeRange_data();
    void notifyMaxAgeRange();
    void bindFailureIsRetried();
    void answersOnlyItsOwnSearch_data();
    void answersOnlyItsOwnSearch();
    void noAnswerFromOutsideTheSubnet();
    void joinsInterfaceThatCameBack();
    void sendFailuresWarn();
    void lifecycle_data();
    void lifecycle();
    void independentStackSeesTheDevice_data();
    void independentStackSeesTheDevice();

private:
    // A running device shared by the tests that only search and listen; it
    // joins once (3 s) instead of once per test.
    SsdpDevice* sharedDevice();

    QScopedPointer<SsdpDevice> shared;
    QUuid sharedUuid = QUuid::createUuid();
};

SsdpDevice* TestSsdpDevice::sharedDevice()
{
    if (!shared) {
        shared.reset(new SsdpDevice);
        configure(shared.data(), sharedUuid);
        shared->start();
        QElapsedTimer clock;
        clock.start();
        while (!shared->isRunning() && clock.elapsed() < kJoinWait)
            QTest::qWait(50);
    }
    return shared->isRunning() ? shared.data() : nullptr;
}

void TestSsdpDevice::notifyMaxAgeRange_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("expected");

    QTest::newRow("largest") << 1799 << 1799;
    QTest::newRow("smallest") << 1 << 1;
    QTest::newRow("too large") << 1800 << 900;
    QTest::newRow("negative") << -1 << 900;
    QTest::newRow("zero: no periodic announcements") << 0 << 0;
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

void TestSsdpDevice::bindFailureIsRetried()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    shared.reset();         // it holds port 1900
    QUdpSocket blocker;     // binds without address sharing, so the device cannot
    QVERIFY2(blocker.bind(QHostAddress::AnyIPv4, 1900, QUdpSocket::DontShareAddress),
             "port 1900 is taken in the test namespace");
    QTest::ignoreMessage(QtDebugMsg, QRegularExpression(QStringLiteral(
                                         "^SsdpDevice: Can't bind socket: \".+\" \\d+$")));
    SsdpDevice device;
    configure(&device, QUuid::createUuid());
    device.start();
    QTest::qWait(kJoinWait);    // between the first attempt and the second
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
    QTest::newRow("ssdp:all") << searchFor("ssdp:all") << false;
    QTest::newRow("type in other case") << searchFor("UPnP:RootDevice") << false;
    QTest::newRow("no target") << QByteArray("M-SEARCH * HTTP/1.1\r\nMX: 1\r\n\r\n") << false;
    QTest::newRow("notify") << QByteArray("NOTIFY * HTTP/1.1\r\nNT: upnp:rootdevice\r\n"
                                          "NTS: ssdp:alive\r\nST: upnp:rootdevice\r\n\r\n")
                            << false;
    QTest::newRow("method in other case")
        << QByteArray("m-search * HTTP/1.1\r\nST: upnp:rootdevice\r\n\r\n") << false;
    QTest::newRow("bare line feeds")
        << QByteArray("M-SEARCH * HTTP/1.1\nST: upnp:rootdevice\n\n") << false;
    // Hostile dates: Qt's own date reader once read past these values' end.
    QTest::newRow("date ending in a comma") << QByteArray("  \r\nLast-Modified:,") << false;
    QTest::newRow("search with a broken date")
        << QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\nIf-Modified-Since: Mon,\r\n"
                             "Last-Modified: a\0,\r\nIf-Modified-Since\0x: b,\r\n"
                             "ST: upnp:rootdevice\r\n\r\n")
        << true;
    QTest::newRow("zero byte before the target")
        << QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\nX: a\0b\r\nST: upnp:rootdevice\r\n\r\n")
        << true;
}

void TestSsdpDevice::answersOnlyItsOwnSearch()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QFETCH(QByteArray, datagram);
    QFETCH(bool, answered);
    QVERIFY(sharedDevice());
    SsdpTestPeer peer;
    QVERIFY(peer.listen());

    // The matching search after it proves that the device was listening.
    QVERIFY(peer.sendTo(datagram));
    QVERIFY(peer.sendTo(searchFor(kType)));
    const int expected = answered ? 2 : 1;
    QTRY_COMPARE_WITH_TIMEOUT(peer.answers().size(), expected, kAnswerWait);
    QTest::qWait(kQuietTime);
    QCOMPARE(peer.answers().size(), expected);
    for (const QNetworkDatagram& answer : peer.answers()) {
        QCOMPARE(answer.data(), "HTTP/1.1 200 OK\r\nCache-control: max-age = 900\r\nEXT: \r\n"
                                "LOCATION: " + QByteArray(kLocation) + "\r\n" + serverLine()
                                + "ST: upnp:rootdevice\r\nUSN: " + usn(sharedUuid) + "\r\n\r\n");
        QCOMPARE(answer.senderAddress(), QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(answer.senderPort(), 1900);
    }
}

void TestSsdpDevice::noAnswerFromOutsideTheSubnet()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QVERIFY(sharedDevice());
    // 10.77.0.1 on lo lies outside lo's first subnet, 127.0.0.0/8.
    const QStringList address{"10.77.0.1/24", "dev", "lo"};
    if (!runIp(QStringList{"addr", "add"} + address))
        QSKIP("cannot add an address to lo in the test namespace");
    const auto removeAddress = qScopeGuard([&] { runIp(QStringList{"addr", "del"} + address); });
    if (loopback().addressEntries().first().ip() != QHostAddress(QHostAddress::LocalHost))
        QSKIP("lo does not list 127.0.0.1 first");

    SsdpTestPeer outsider;
    SsdpTestPeer insider;
    QVERIFY(outsider.listen(QHostAddress(QStringLiteral("10.77.0.1"))));
    QVERIFY(insider.listen());
    QVERIFY(outsider.sendTo(searchFor(kType)));
    QVERIFY(insider.sendTo(searchFor(kType)));
    QTRY_COMPARE_WITH_TIMEOUT(insider.answers().size(), 1, kAnswerWait);
    QTest::qWait(kQuietTime);
    QCOMPARE(outsider.groupDatagrams({"M-SEARCH"}).size(), 2);   // both searches went out
    QVERIFY(outsider.answers().isEmpty());
}

void TestSsdpDevice::joinsInterfaceThatCameBack()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    const QString name = QStringLiteral("ssdpv0");
    const auto addPair = [&name] {
        return runIp({"link", "add", name, "type", "veth", "peer", "name", "ssdpv1"})
            && runIp({"addr", "add", "10.78.0.1/24", "dev", name})
            && runIp({"link", "set", name, "multicast", "on", "up"})
            && runIp({"link", "set", "ssdpv1", "up"});
    };
    if (!addPair())
        QSKIP("cannot add a veth pair in the test namespace");
    const auto removePair = qScopeGuard([&name] { runIp({"link", "del", name}); });
    SsdpDevice device;
    device.setNetworkInterface(QNetworkInterface::interfaceFromName(name));
    QVERIFY(runIp({"link", "del", name}));
    QVERIFY(!device.networkInterface().isValid());

    QVERIFY(addPair());
    QCOMPARE(device.networkInterface().name(), name);
    device.start();
    QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), kJoinWait);
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
    QVERIFY(peer.sendTo(searchFor(kType)));
    QTest::qWait(kAnswerWait);      // an unseen warning fails the test
    QVERIFY(peer.answers().isEmpty());
}

void TestSsdpDevice::lifecycle_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("stop") << false;
    QTest::newRow("destruction") << true;
}

void TestSsdpDevice::lifecycle()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QFETCH(bool, destroy);
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    const QUuid uuid = QUuid::createUuid();
    QScopedPointer<SsdpDevice> device(new SsdpDevice);
    configure(device.data(), uuid);
    const QUuid idleUuid = QUuid::createUuid();
    SsdpDevice idle;    // no interface: it never joins
    idle.setDeviceUuid(idleUuid);

    QElapsedTimer clock;
    clock.start();
    device->start();
    idle.start();
    // Every look taken before the earliest join time must find it idle; a
    // late wake-up on a busy machine only shortens the watch.
    for (;;) {
        const bool running = device->isRunning();
        const bool announced = !peer.groupDatagrams({usn(uuid)}).isEmpty();
        if (clock.elapsed() >= kEarliestJoin)
            break;
        QVERIFY(!running);
        QVERIFY(!announced);
        QTest::qWait(50);
    }
    QTRY_VERIFY_WITH_TIMEOUT(device->isRunning(), kJoinWait - kEarliestJoin);
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid)}).size(), 1, kAnswerWait);
    const QNetworkDatagram alive = peer.groupDatagrams({usn(uuid)}).first();
    QCOMPARE(alive.data(), notifyBytes(uuid, "ssdp:alive", kLocation));
    QCOMPARE(alive.senderPort(), 1900);
    QTest::qWait(kQuietTime);   // the idle device's first attempt is over
    QVERIFY(!idle.isRunning());
    idle.stop();                // joining: nothing to withdraw

    device->start();    // restarts the join timer while running
    if (destroy)
        device.reset();
    else
        device->stop();
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams({usn(uuid), "byebye"}).size(), 1, kAnswerWait);
    QCOMPARE(peer.groupDatagrams({usn(uuid), "byebye"}).first().data(),
             notifyBytes(uuid, "ssdp:byebye", QByteArray()));
    if (device) {
        QVERIFY(!device->isRunning());
        device->stop();
    }
    QVERIFY(peer.sendTo(searchFor(kType)));
    // A stopped device must not come back at its next join attempt.
    QTest::qWait(device ? kJoinAttempt : kQuietTime);
    QVERIFY(!device || !device->isRunning());
    QCOMPARE(peer.groupDatagrams({usn(uuid)}).size(), 2);
    QVERIFY(peer.answers({usn(uuid)}).isEmpty());
    QVERIFY(peer.groupDatagrams({usn(idleUuid)}).isEmpty());
}

void TestSsdpDevice::independentStackSeesTheDevice_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("maxAge");

    // With max-age 900 only the answer to gssdp's own search can be seen;
    // with 1 the running device announces every second while gssdp listens.
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
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
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
    const QList<QNetworkDatagram> alives = peer.groupDatagrams({usn(sharedUuid), "ssdp:alive"});
    QCOMPARE(alives.size() >= 2, maxAge == 1);
    for (const QNetworkDatagram& alive : alives)
        QCOMPARE(alive.data(), notifyBytes(sharedUuid, "ssdp:alive", kLocation, maxAge));
}

QTEST_GUILESS_MAIN(TestSsdpDevice)
#include "tst_ssdpdevice.moc"
