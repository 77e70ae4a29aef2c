#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QSysInfo>

#include <configurator-common/ssdpcontrolpoint.h>
#include <configurator-common/ssdpdevice.h>

#include "ssdptestpeer.h"

namespace {

const char kLocation[] = "http://127.0.0.1:8080/description.xml";
const char kTarget[] = "urn:example-com:device:Meter:1";
const QUuid kUuid = QUuid::createUuid();
const QHostAddress kLocalHost(QHostAddress::LocalHost);

QByteArray usn(const QUuid& uuid)
{
    return "uuid:" + uuid.toString().mid(1, 36).toLatin1() + "::upnp:rootdevice";
}

// The kernel's major.minor as Qt reports it, found independently of the device.
QByteArray serverLine()
{
    const QRegularExpressionMatch match = QRegularExpression("^(\\d+\\.\\d+)").match(QSysInfo::kernelVersion());
    return "Server: WinNT/" + match.captured(1).toLatin1() + " UPnP/1.1 Meter/2.5\r\n";
}

QByteArray searchFor(const QByteArray& target)
{
    return "M-SEARCH * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 1\r\nST: " + target
        + "\r\n\r\n";
}

QByteArray notifyBytes(const QUuid& uuid, const QByteArray& nts, int maxAge)
{
    return "NOTIFY * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\nCache-control: max-age = " + QByteArray::number(maxAge)
        + "\r\nNT: upnp:rootdevice\r\nNTS: " + nts + "\r\n"
        + (nts == "ssdp:alive" ? "LOCATION: " + QByteArray(kLocation) + "\r\n" : QByteArray()) + serverLine()
        + "USN: " + usn(uuid) + "\r\n\r\n";
}

QByteArray answerFor(const QByteArray& target)
{
    return "HTTP/1.1 200 OK\r\nCache-control: max-age = 900\r\nEXT: \r\nST: " + target
        + "\r\nUSN: uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::" + target + "\r\n\r\n";
}

QUrl udpUrl(const QUdpSocket& s) { return QUrl(QStringLiteral("udp://%1:%2").arg(s.localAddress().toString()).arg(s.localPort())); }

void configure(SsdpDevice* device, const QUuid& uuid)
{
    device->setDeviceUuid(uuid);
    device->setNetworkInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
    device->setNotificationType(QStringLiteral("upnp:rootdevice"));
    device->setProduct(QStringLiteral("Meter"));
    device->setVersion(QStringLiteral("2.5"));
    device->setLocationUrl(QUrl(QLatin1String(kLocation)));
}

// A control point opened on lo; runs one search and returns what it found.
struct Searcher
{
    SsdpControlPoint controlPoint;
    QSignalSpy done{ &controlPoint, &SsdpControlPoint::searchDone };
    bool open() { return controlPoint.openInterface(QNetworkInterface::interfaceFromName("lo")); }
    void start(const QString& target, int ms) { controlPoint.search(target, SsdpTestPeer::groupAddress(), 1900, ms); }
    QList<QUrl> wait(int timeout)
    {
        return done.wait(qMax(timeout, 0) + 1000) ? done.last().first().value<QList<QUrl>>() : QList<QUrl>{ QUrl("x:") };
    }
};

} // namespace

// SsdpDevice and SsdpControlPoint against plain sockets, gssdp-discover and each other.
class TestSsdp : public QObject
{
    Q_OBJECT
    // A running device for the tests that only search and listen: it joins once, 3 s after the start.
    SsdpDevice shared;

private slots:
    void initTestCase()
    {
        // The private namespace has lo and nothing else; the variable alone could have been set by hand.
        if (qgetenv("CC_IN_NETNS") != "1" || QNetworkInterface::allInterfaces().size() != 1)
            QSKIP("SSDP tests send multicast; run them only through scripts/netns-run");
        configure(&shared, kUuid);
        QCOMPARE(QStringList({shared.product(), shared.version(), shared.deviceUuid().toString(), shared.notificationType(),
                              shared.locationUrl().toString()}),
                 QStringList({"Meter", "2.5", kUuid.toString(), "upnp:rootdevice", kLocation}));
        shared.start();
        QVERIFY(!SsdpControlPoint().openInterface(QNetworkInterface()));
    }

    void notifyMaxAgeRange()
    {
        for (const auto& row : QList<QPair<int, int>>{ { 1799, 1799 }, { 0, 0 }, { 1800, 900 }, { -1, 900 },
                                                       { std::numeric_limits<int>::min(), 900 } }) {
            SsdpDevice device;
            device.setNotifyMaxAge(row.first);
            QCOMPARE(device.notifyMaxAge(), row.second);
        }
    }

    // Every datagram that carries the target in "ST" counts, from any sender, in order, until the time is up.
    void searchTakesEveryAnswerUntilItsTime_data()
    {
        QTest::addColumn<int>("timeout");
        QTest::addColumn<QByteArray>("mx");
        QTest::newRow("2999") << 2999 << QByteArray("2");
        QTest::newRow("negative ends at once") << -2500 << QByteArray("0");
    }
    void searchTakesEveryAnswerUntilItsTime()
    {
        QFETCH(int, timeout);
        QFETCH(QByteArray, mx);
        SsdpTestPeer peer;
        QVERIFY(peer.listen());
        Searcher searcher;
        QVERIFY(searcher.open());
        QUdpSocket second;
        QVERIFY(second.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));
        QElapsedTimer clock;
        clock.start();
        searcher.start(kTarget, timeout);
        searcher.start(QStringLiteral("upnp:rootdevice"), timeout); // ignored while one runs
        const QByteArray kinds[] = {
            answerFor(kTarget), "NOTIFY * HTTP/1.1\r\nST: urn:example-com:device:Meter:1\r\n\r\n",
            answerFor("upnp:rootdevice"), answerFor("URN:example-com:device:Meter:1"),
            "HTTP/1.1 200 OK\nST: urn:example-com:device:Meter:1\n\n", "HTTP/1.1 200 OK\r\nUSN: uuid:x\r\n\r\n",
            "  \r\nLast-Modified:,", // a date that Qt's reader once read past
            QByteArrayLiteral("HTTP/1.1 200 OK\r\nLast-Modified: x,\r\nX: \0\r\nST: ") + kTarget + "\r\n\r\n" };
        QVERIFY(peer.sendTo(kinds[0], kLocalHost));
        for (const QByteArray& datagram : kinds)
            second.writeDatagram(datagram, kLocalHost, 1900);
        const QList<QUrl> found = searcher.wait(timeout);
        QVERIFY2(clock.elapsed() >= timeout - qMax(100, timeout / 20), qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(300);
        QCOMPARE(searcher.done.size(), 1);
        if (timeout > 0)
            QCOMPARE(found, (QList<QUrl>{ udpUrl(peer.unicast), udpUrl(second), udpUrl(second), udpUrl(second) }));
        QCOMPARE(SsdpTestPeer::with(peer.groupReceived, "M-SEARCH").size(), 1);
        const QNetworkDatagram search = SsdpTestPeer::with(peer.groupReceived, "M-SEARCH").first();
        QCOMPARE(search.data(), "M-SEARCH * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: "
                                    + mx + "\r\nST: urn:example-com:device:Meter:1\r\n\r\n");
        QCOMPARE(search.senderPort(), 1900);
    }

    // A flood of answers is cut at 1024.
    void answersAreBounded()
    {
        Searcher searcher;
        QVERIFY(searcher.open());
        QUdpSocket flood;
        QVERIFY(flood.bind(kLocalHost, 0));
        searcher.start(kTarget, 3000);
        for (int sent = 0; sent < 1024 + 200; sent += 50) {
            for (int i = 0; i < 50; ++i) // a batch small enough for the socket's receive buffer
                flood.writeDatagram(answerFor(kTarget), kLocalHost, 1900);
            QTest::qWait(30);
        }
        QCOMPARE(searcher.wait(3000).size(), 1024);
    }

    void datagrams_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("answered");
        QByteArray lines128 = "M-SEARCH * HTTP/1.1\r\n", lines129;
        for (int i = 0; i < 125; ++i) // with the start line, ST and the empty line: 128
            lines128 += "X-" + QByteArray::number(i) + ": v\r\n";
        lines129 = lines128 + "Y: v\r\nST: upnp:rootdevice\r\n\r\n";
        lines128 += "ST: upnp:rootdevice\r\n\r\n";
        QTest::newRow("its type") << searchFor("upnp:rootdevice") << true;
        QTest::newRow("name in other case") << QByteArray("M-SEARCH * HTTP/1.1\r\nst: upnp:rootdevice\r\n\r\n") << true;
        QTest::newRow("ssdp:all") << searchFor("ssdp:all") << false;
        QTest::newRow("type in other case") << searchFor("UPnP:RootDevice") << false;
        QTest::newRow("no target") << QByteArray("M-SEARCH * HTTP/1.1\r\nMX: 1\r\n\r\n") << false;
        QTest::newRow("notify") << QByteArray("NOTIFY * HTTP/1.1\r\nST: upnp:rootdevice\r\n\r\n") << false;
        QTest::newRow("lower-case method") << QByteArray("m-search * HTTP/1.1\r\nST: upnp:rootdevice\r\n\r\n") << false;
        QTest::newRow("bare line feeds") << QByteArray("M-SEARCH * HTTP/1.1\nST: upnp:rootdevice\n\n") << false;
        QTest::newRow("two-part start line") << QByteArray("M-SEARCH *\r\nST: upnp:rootdevice\r\n\r\n") << false;
        QTest::newRow("128 lines") << lines128 << true;
        QTest::newRow("129 lines: too many") << lines129 << false;
        // Hostile dates: Qt's own date reader once read past these values' end.
        QTest::newRow("search with broken dates")
            << QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\nIf-Modified-Since: Mon,\r\nLast-Modified: a\0,\r\n"
                                 "If-Modified-Since\0x: b,\r\nST: upnp:rootdevice\r\n\r\n") << true;
        QTest::newRow("zero byte keeps later headers")
            << QByteArrayLiteral("M-SEARCH * HTTP/1.1\r\nX: a\0b\r\nST: upnp:rootdevice\r\n\r\n") << true;
    }
    void datagrams()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, answered);
        QTRY_VERIFY_WITH_TIMEOUT(shared.isRunning(), 5000);
        SsdpTestPeer peer;
        QVERIFY(peer.listen());
        // The matching search after it proves that the device was listening.
        QVERIFY(peer.sendTo(datagram));
        QVERIFY(peer.sendTo(searchFor("upnp:rootdevice")));
        QTRY_COMPARE_WITH_TIMEOUT(peer.answersReceived.size(), answered ? 2 : 1, 1000);
        QTest::qWait(300);
        QCOMPARE(peer.answersReceived.size(), answered ? 2 : 1);
        for (const QNetworkDatagram& answer : qAsConst(peer.answersReceived)) {
            QCOMPARE(answer.data(), "HTTP/1.1 200 OK\r\nCache-control: max-age = 900\r\nEXT: \r\nLOCATION: "
                                        + QByteArray(kLocation) + "\r\n" + serverLine()
                                        + "ST: upnp:rootdevice\r\nUSN: " + usn(kUuid) + "\r\n\r\n");
            QCOMPARE(answer.senderAddress(), kLocalHost);
            QCOMPARE(answer.senderPort(), 1900);
        }
    }

    // The control point shares port 1900 with a real device; a later search starts with an empty list.
    void controlPointFindsTheDevice()
    {
        QTRY_VERIFY_WITH_TIMEOUT(shared.isRunning(), 5000);
        Searcher searcher;
        QVERIFY(searcher.open());
        searcher.start(QStringLiteral("upnp:rootdevice"), 1000);
        QCOMPARE(searcher.wait(1000), QList<QUrl>{ QUrl(QStringLiteral("udp://127.0.0.1:1900")) });
        searcher.start(kTarget, 300);
        QVERIFY(searcher.wait(300).isEmpty());
    }

    void noAnswerFromOutsideTheSubnet()
    {
        QTRY_VERIFY_WITH_TIMEOUT(shared.isRunning(), 5000);
        // 10.77.0.1 on lo (inside the private namespace) lies outside lo's first subnet, 127.0.0.0/8.
        const auto ip = [](const char* verb) {
            return QProcess::execute(QStringLiteral("ip"), { "addr", verb, "10.77.0.1/24", "dev", "lo" });
        };
        QCOMPARE(ip("add"), 0);
        const auto removeAddress = qScopeGuard([&] { ip("del"); });
        SsdpTestPeer outsider, insider;
        QVERIFY(outsider.listen(QHostAddress(QStringLiteral("10.77.0.1"))));
        QVERIFY(insider.listen());
        QVERIFY(outsider.sendTo(searchFor("upnp:rootdevice")));
        QVERIFY(insider.sendTo(searchFor("upnp:rootdevice")));
        QTRY_COMPARE_WITH_TIMEOUT(insider.answersReceived.size(), 1, 1000);
        QTest::qWait(300);
        QCOMPARE(SsdpTestPeer::with(outsider.groupReceived, "M-SEARCH").size(), 2); // both went out
        QVERIFY(outsider.answersReceived.isEmpty());
    }

    // Max-age 0: one announcement at the join and none after; nothing before the join, byebye at the stop.
    void lifecycle()
    {
        SsdpTestPeer peer;
        QVERIFY(peer.listen());
        const QUuid uuid = QUuid::createUuid();
        SsdpDevice device;
        configure(&device, uuid);
        device.setNotifyMaxAge(0);
        QElapsedTimer clock;
        clock.start();
        device.start();
        while (clock.elapsed() < 2800) { // 3000 ms join delay, less coarse-timer slack
            QVERIFY(!device.isRunning());
            QVERIFY(SsdpTestPeer::with(peer.groupReceived, usn(uuid)).isEmpty());
            QTest::qWait(50);
        }
        QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), 2200);
        QTest::qWait(1500);
        QCOMPARE(SsdpTestPeer::with(peer.groupReceived, usn(uuid)).size(), 1);
        QCOMPARE(SsdpTestPeer::with(peer.groupReceived, usn(uuid)).last().data(), notifyBytes(uuid, "ssdp:alive", 0));
        device.stop();
        QVERIFY(!device.isRunning());
        QTRY_COMPARE_WITH_TIMEOUT(SsdpTestPeer::with(peer.groupReceived, usn(uuid)).size(), 2, 1000);
        QCOMPARE(SsdpTestPeer::with(peer.groupReceived, usn(uuid)).last().data(), notifyBytes(uuid, "ssdp:byebye", 0));
        QVERIFY(peer.sendTo(searchFor("upnp:rootdevice")));
        QTest::qWait(3500); // a stopped device must not come back at its next join attempt
        QVERIFY(!device.isRunning());
        QVERIFY(SsdpTestPeer::with(peer.answersReceived, usn(uuid)).isEmpty());
    }

    // gssdp-discover, an independent SSDP stack, sees the device answer and announce.
    void independentStackSeesTheDevice_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("maxAge");
        QTest::newRow("answer to its search") << QStringList{ "-i", "lo", "-t", "upnp:rootdevice", "-n", "2" } << 900;
        QTest::newRow("announcements every second") << QStringList{ "-i", "lo", "-n", "3", "-m", "available" } << 1;
        QTest::newRow("max-age 0: none") << QStringList{ "-i", "lo", "-t", "upnp:rootdevice", "-n", "2" } << 0;
    }
    void independentStackSeesTheDevice()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, maxAge);
        const QString discover = QStandardPaths::findExecutable(QStringLiteral("gssdp-discover"));
        QVERIFY2(!discover.isEmpty(), "gssdp-discover (Debian package gupnp-tools) is not installed");
        QTRY_VERIFY_WITH_TIMEOUT(shared.isRunning(), 5000);
        const auto restore = qScopeGuard([this] { shared.setNotifyMaxAge(900); });
        SsdpTestPeer peer;
        QVERIFY(peer.listen());
        shared.setNotifyMaxAge(maxAge);
        QProcess gssdp;
        gssdp.setProcessChannelMode(QProcess::MergedChannels);
        gssdp.start(discover, arguments);
        QVERIFY2(gssdp.waitForStarted(5000), qPrintable(gssdp.errorString()));
        QTRY_COMPARE_WITH_TIMEOUT(gssdp.state(), QProcess::NotRunning, 10000); // the device keeps working
        const QByteArray output = gssdp.readAll();
        QVERIFY2(output.contains("resource available\n  USN:      " + usn(kUuid)), output.constData());
        QVERIFY2(output.contains(QByteArray("Location: ") + kLocation), output.constData());
        const QList<QNetworkDatagram> alives = SsdpTestPeer::with(peer.groupReceived, "ssdp:alive");
        QCOMPARE(alives.size() >= 2, maxAge == 1);
        for (const QNetworkDatagram& alive : alives)
            QCOMPARE(alive.data(), notifyBytes(kUuid, "ssdp:alive", maxAge));
    }
};

QTEST_GUILESS_MAIN(TestSsdp)
#include "tst_ssdpdevice.moc"
