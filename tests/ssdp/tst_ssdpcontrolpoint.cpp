#include <QElapsedTimer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <configurator-common/ssdpcontrolpoint.h>
#include <configurator-common/ssdpdevice.h>

#include "ssdptestpeer.h"

namespace {

const QHostAddress kLocalHost(QHostAddress::LocalHost);
constexpr quint16 kSsdpPort = 1900;
constexpr int kQuietTime = 300;
constexpr int kTimeSlack = 1000;        // how late searchDone may come on a busy machine
const char kTarget[] = "urn:example-com:device:Meter:1";

QByteArray answerFor(const QByteArray& target)
{
    return "HTTP/1.1 200 OK\r\nCache-control: max-age = 900\r\nEXT: \r\nST: " + target
        + "\r\nUSN: uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::" + target + "\r\n\r\n";
}

// A coarse timer may fire up to 5% early; small times get a fixed allowance.
int earliestEnd(int timeout)
{
    return timeout - qMax(100, timeout / 20);
}

QUrl udpUrl(const QUdpSocket& socket)
{
    return QUrl(QStringLiteral("udp://%1:%2").arg(socket.localAddress().toString())
                    .arg(socket.localPort()));
}

QList<QUrl> results(const QSignalSpy& spy, int index = 0)
{
    return spy.at(index).at(0).value<QList<QUrl>>();
}

// A control point opened on lo, with its searchDone() recorded.
struct Searcher
{
    SsdpControlPoint controlPoint;
    QSignalSpy done{&controlPoint, &SsdpControlPoint::searchDone};
    bool open() { return controlPoint.openInterface(QNetworkInterface::interfaceFromName("lo")); }
    void search(const QString& target, int timeout)
    {
        controlPoint.search(target, SsdpTestPeer::groupAddress(), kSsdpPort, timeout);
    }
};

} // namespace

class TestSsdpControlPoint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void openInterfaceWithoutIPv4();
    void searchWithoutAnswers_data();
    void searchWithoutAnswers();
    void searchEndsAfterItsTimeWithEveryAnswer();
    void answersAreBounded();
    void findsRunningSsdpDevice();
};

void TestSsdpControlPoint::initTestCase()
{
    qRegisterMetaType<QList<QUrl>>();
    QVERIFY(!SsdpControlPoint().openInterface(QNetworkInterface()));
}

void TestSsdpControlPoint::openInterfaceWithoutIPv4()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    const QString name = QStringLiteral("ssdpv0");
    if (!SsdpTestPeer::runIp({"link", "add", name, "type", "veth", "peer", "name", "ssdpv1"}))
        QSKIP("cannot add a veth pair in the test namespace");
    const auto removePair = qScopeGuard([&name] { SsdpTestPeer::runIp({"link", "del", name}); });
    QVERIFY(SsdpTestPeer::runIp({"addr", "add", "fd00:5d::1/64", "dev", name, "nodad"}));
    QVERIFY(SsdpTestPeer::runIp({"link", "set", name, "up"}));
    const QNetworkInterface iface = QNetworkInterface::interfaceFromName(name);
    QVERIFY(!iface.addressEntries().isEmpty());
    QVERIFY(!SsdpControlPoint().openInterface(iface));
}

void TestSsdpControlPoint::searchWithoutAnswers_data()
{
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QByteArray>("mx");

    QTest::newRow("3000") << 3000 << QByteArray("3");
    QTest::newRow("2999") << 2999 << QByteArray("2");
    QTest::newRow("500") << 500 << QByteArray("0");
    // A negative time must still end the search, at once.
    QTest::newRow("negative") << -2500 << QByteArray("0");
}

void TestSsdpControlPoint::searchWithoutAnswers()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QFETCH(int, timeout);
    QFETCH(QByteArray, mx);
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    Searcher searcher;
    QVERIFY(searcher.open());

    QElapsedTimer clock;
    clock.start();
    searcher.search(kTarget, timeout);
    // A second search while one runs is ignored: no datagram, no new target.
    searcher.search(QStringLiteral("upnp:rootdevice"), timeout);
    QVERIFY(peer.sendTo(answerFor("upnp:rootdevice"), kLocalHost, kSsdpPort));
    QVERIFY(searcher.done.wait(qMax(0, timeout) + kTimeSlack));
    QVERIFY2(clock.elapsed() >= earliestEnd(timeout),
             qPrintable(QString::number(clock.elapsed())));
    QVERIFY(results(searcher.done).isEmpty());
    QTest::qWait(kQuietTime);
    QCOMPARE(searcher.done.size(), 1);
    QCOMPARE(peer.groupDatagrams().size(), 1);
    const QNetworkDatagram search = peer.groupDatagrams().first();
    QCOMPARE(search.data(), "M-SEARCH * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\n"
                            "MAN: \"ssdp:discover\"\r\nMX: " + mx + "\r\n"
                            "ST: urn:example-com:device:Meter:1\r\n\r\n");
    QCOMPARE(search.senderAddress(), kLocalHost);
    QCOMPARE(search.senderPort(), int(kSsdpPort));
}

void TestSsdpControlPoint::searchEndsAfterItsTimeWithEveryAnswer()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    constexpr int kSearchTime = 1500;
    Searcher searcher;
    QVERIFY(searcher.open());
    QUdpSocket first;
    QUdpSocket second;
    QVERIFY(first.bind(kLocalHost, 0));
    QVERIFY(second.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));

    QElapsedTimer clock;
    clock.start();
    searcher.search(kTarget, kSearchTime);
    const QByteArray answer = answerFor(kTarget);
    first.writeDatagram(answer, kLocalHost, kSsdpPort);
    // Only "ST" is looked at: a request-shaped datagram counts as well.
    second.writeDatagram("NOTIFY * HTTP/1.1\r\nST: urn:example-com:device:Meter:1\r\n\r\n",
                         kLocalHost, kSsdpPort);
    first.writeDatagram(answer, kLocalHost, kSsdpPort);
    second.writeDatagram(answerFor("URN:example-com:device:Meter:1"), kLocalHost, kSsdpPort);
    second.writeDatagram("HTTP/1.1 200 OK\nST: urn:example-com:device:Meter:1\n\n",
                         kLocalHost, kSsdpPort);
    second.writeDatagram("HTTP/1.1 200 OK\r\nUSN: uuid:x\r\n\r\n", kLocalHost, kSsdpPort);
    // A date that Qt's reader once read past, and a zero byte before "ST".
    second.writeDatagram("  \r\nLast-Modified:,", kLocalHost, kSsdpPort);
    second.writeDatagram(QByteArrayLiteral("HTTP/1.1 200 OK\r\nLast-Modified: x,\r\nX: \0\r\nST: ")
                             + kTarget + "\r\n\r\n", kLocalHost, kSsdpPort);
    // The answers wait in the socket's queue; a rebind would lose them.
    QVERIFY(searcher.open());

    QVERIFY(searcher.done.wait(kSearchTime + kTimeSlack));
    QVERIFY2(clock.elapsed() >= earliestEnd(kSearchTime),
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(searcher.done.size(), 1);
    QCOMPARE(results(searcher.done),
             (QList<QUrl>{udpUrl(first), udpUrl(second), udpUrl(first), udpUrl(second)}));
}

void TestSsdpControlPoint::answersAreBounded()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    constexpr int kKept = 1024;
    constexpr int kBatch = 50;      // small enough for the socket's receive buffer
    constexpr int kSearchTime = 3000;
    Searcher searcher;
    QVERIFY(searcher.open());
    QUdpSocket flood;
    QVERIFY(flood.bind(kLocalHost, 0));

    searcher.search(kTarget, kSearchTime);
    const QByteArray answer = answerFor(kTarget);
    for (int sent = 0; sent < kKept + 4 * kBatch; sent += kBatch) {
        for (int i = 0; i < kBatch; ++i)
            QCOMPARE(flood.writeDatagram(answer, kLocalHost, kSsdpPort), qint64(answer.size()));
        QTest::qWait(30);
    }
    QVERIFY(searcher.done.wait(kSearchTime + kTimeSlack));
    QCOMPARE(results(searcher.done).size(), kKept);
}

void TestSsdpControlPoint::findsRunningSsdpDevice()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpDevice device;
    device.setNotificationType(QLatin1String(kTarget));
    device.setNetworkInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
    device.start();
    QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), 5000);

    // The control point shares port 1900 with the device; a later search
    // starts with an empty list.
    Searcher searcher;
    QVERIFY(searcher.open());
    searcher.search(kTarget, 1000);
    QVERIFY(searcher.done.wait(1000 + kTimeSlack));
    searcher.search(QStringLiteral("upnp:rootdevice"), 300);
    QVERIFY(searcher.done.wait(300 + kTimeSlack));
    QCOMPARE(results(searcher.done, 0), QList<QUrl>{QUrl(QStringLiteral("udp://127.0.0.1:1900"))});
    QVERIFY(results(searcher.done, 1).isEmpty());
}

QTEST_GUILESS_MAIN(TestSsdpControlPoint)
#include "tst_ssdpcontrolpoint.moc"
