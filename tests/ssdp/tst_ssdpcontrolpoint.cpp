#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QSignalSpy>
#include <QTest>
#include <QUdpSocket>

#include <configurator-common/ssdpcontrolpoint.h>
#include <configurator-common/ssdpdevice.h>

#include "ssdptestpeer.h"

namespace {

const QHostAddress kGroup(QStringLiteral("239.255.255.250"));
const QHostAddress kLocalHost(QHostAddress::LocalHost);
constexpr int kSsdpPort = 1900;
constexpr int kSendWait = 1000;
constexpr int kQuietTime = 300;
constexpr int kTimeSlack = 1000;        // how late searchDone may come on a busy machine
constexpr int kCoarseTimerEarly = 100;  // how early a coarse timer may fire
const char kTarget[] = "urn:example-com:device:Meter:1";

QNetworkInterface loopback()
{
    return QNetworkInterface::interfaceFromName(QStringLiteral("lo"));
}

QByteArray answerFor(const QByteArray& target)
{
    return "HTTP/1.1 200 OK\r\n"
           "Cache-control: max-age = 900\r\n"
           "EXT: \r\n"
           "ST: " + target + "\r\n"
           "USN: uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::" + target + "\r\n"
           "\r\n";
}

QUrl udpUrl(const QUdpSocket& socket)
{
    QUrl url;
    url.setScheme(QStringLiteral("udp"));
    url.setHost(socket.localAddress().toString());
    url.setPort(socket.localPort());
    return url;
}

QList<QUrl> resultsOf(const QSignalSpy& spy)
{
    return spy.first().first().value<QList<QUrl>>();
}

} // namespace

class TestSsdpControlPoint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();

    void openInterfaceWithoutAddressesFails();
    void openInterfaceTwiceKeepsTheSocket();
    void searchDatagramBytes();
    void mxIsInWholeSeconds_data();
    void mxIsInWholeSeconds();
    void searchEndsAfterItsTimeWithEveryAnswer();
    void searchWithoutAnswersEndsEmpty();
    void secondSearchWhileRunningIsIgnored();
    void nextSearchStartsAfresh();
    void negativeTimeEndsAtOnce();
    void findsRunningSsdpDevice();
};

void TestSsdpControlPoint::initTestCase()
{
    qRegisterMetaType<QList<QUrl>>();
}

void TestSsdpControlPoint::openInterfaceWithoutAddressesFails()
{
    SsdpControlPoint controlPoint;
    QVERIFY(!controlPoint.openInterface(QNetworkInterface()));
}

void TestSsdpControlPoint::openInterfaceTwiceKeepsTheSocket()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));
    controlPoint.search(kTarget, kGroup, kSsdpPort, 500);

    // The answer waits in the socket's queue; a rebind would lose it.
    QUdpSocket node;
    QVERIFY(node.bind(kLocalHost, 0));
    QVERIFY(node.writeDatagram(answerFor(kTarget), kLocalHost, kSsdpPort) > 0);
    QVERIFY(controlPoint.openInterface(loopback()));

    QVERIFY(done.wait(500 + kTimeSlack));
    QCOMPARE(resultsOf(done), QList<QUrl>{udpUrl(node)});
}

void TestSsdpControlPoint::searchDatagramBytes()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    SsdpControlPoint controlPoint;
    QVERIFY(controlPoint.openInterface(loopback()));

    controlPoint.search(kTarget, kGroup, kSsdpPort, 2500);
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams().size(), 1, kSendWait);
    const SsdpTestPeer::Datagram search = peer.groupDatagrams().first();
    QCOMPARE(search.data, QByteArray("M-SEARCH * HTTP/1.1\r\n"
                                     "Host: 239.255.255.250:1900\r\n"
                                     "MAN: \"ssdp:discover\"\r\n"
                                     "MX: 2\r\n"
                                     "ST: urn:example-com:device:Meter:1\r\n"
                                     "\r\n"));
    QCOMPARE(search.sender, kLocalHost);
    QCOMPARE(search.senderPort, quint16(kSsdpPort));
}

void TestSsdpControlPoint::mxIsInWholeSeconds_data()
{
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QByteArray>("mx");

    QTest::newRow("3000") << 3000 << QByteArray("3");
    QTest::newRow("2999") << 2999 << QByteArray("2");
    QTest::newRow("500") << 500 << QByteArray("0");
}

void TestSsdpControlPoint::mxIsInWholeSeconds()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    QFETCH(int, timeout);
    QFETCH(QByteArray, mx);
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    SsdpControlPoint controlPoint;
    QVERIFY(controlPoint.openInterface(loopback()));

    controlPoint.search(kTarget, kGroup, kSsdpPort, timeout);
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams().size(), 1, kSendWait);
    QVERIFY2(peer.groupDatagrams().first().data.contains("\r\nMX: " + mx + "\r\n"),
             peer.groupDatagrams().first().data.constData());
}

void TestSsdpControlPoint::searchEndsAfterItsTimeWithEveryAnswer()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    constexpr int kSearchTime = 1500;
    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));
    QUdpSocket first;
    QUdpSocket second;
    QVERIFY(first.bind(kLocalHost, 0));
    QVERIFY(second.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0));

    QElapsedTimer clock;
    clock.start();
    controlPoint.search(kTarget, kGroup, kSsdpPort, kSearchTime);
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

    QVERIFY(done.wait(kSearchTime + kTimeSlack));
    QVERIFY2(clock.elapsed() >= kSearchTime - kCoarseTimerEarly,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(done.size(), 1);
    QCOMPARE(resultsOf(done), (QList<QUrl>{udpUrl(first), udpUrl(second), udpUrl(first)}));
}

void TestSsdpControlPoint::searchWithoutAnswersEndsEmpty()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    constexpr int kSearchTime = 1000;
    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));

    QElapsedTimer clock;
    clock.start();
    controlPoint.search(kTarget, kGroup, kSsdpPort, kSearchTime);
    QVERIFY(done.wait(kSearchTime + kTimeSlack));
    QVERIFY(clock.elapsed() >= kSearchTime - kCoarseTimerEarly);
    QCOMPARE(done.size(), 1);
    QVERIFY(resultsOf(done).isEmpty());
}

void TestSsdpControlPoint::secondSearchWhileRunningIsIgnored()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    constexpr int kSearchTime = 800;
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));

    controlPoint.search(kTarget, kGroup, kSsdpPort, kSearchTime);
    controlPoint.search(QStringLiteral("upnp:rootdevice"), kGroup, kSsdpPort, kSearchTime);
    QVERIFY(peer.sendTo(answerFor("upnp:rootdevice"), kLocalHost, kSsdpPort));
    QVERIFY(peer.sendTo(answerFor(kTarget), kLocalHost, kSsdpPort));

    QVERIFY(done.wait(kSearchTime + kTimeSlack));
    QTest::qWait(kSearchTime + kQuietTime);
    QCOMPARE(done.size(), 1);
    QCOMPARE(peer.groupDatagrams({"M-SEARCH"}).size(), 1);
    QVERIFY(peer.groupDatagrams().first().data.contains(kTarget));
    QCOMPARE(resultsOf(done).size(), 1);
}

void TestSsdpControlPoint::nextSearchStartsAfresh()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    constexpr int kSearchTime = 300;
    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));
    QUdpSocket node;
    QVERIFY(node.bind(kLocalHost, 0));

    controlPoint.search(kTarget, kGroup, kSsdpPort, kSearchTime);
    node.writeDatagram(answerFor(kTarget), kLocalHost, kSsdpPort);
    QVERIFY(done.wait(kSearchTime + kTimeSlack));
    controlPoint.search(QStringLiteral("upnp:rootdevice"), kGroup, kSsdpPort, kSearchTime);
    QVERIFY(done.wait(kSearchTime + kTimeSlack));

    QCOMPARE(done.size(), 2);
    QCOMPARE(done.at(0).at(0).value<QList<QUrl>>(), QList<QUrl>{udpUrl(node)});
    QVERIFY(done.at(1).at(0).value<QList<QUrl>>().isEmpty());
}

void TestSsdpControlPoint::negativeTimeEndsAtOnce()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpTestPeer peer;
    QVERIFY(peer.listen());
    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));

    controlPoint.search(kTarget, kGroup, kSsdpPort, -2500);
    QVERIFY(done.wait(kSendWait));
    QVERIFY(resultsOf(done).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(peer.groupDatagrams().size(), 1, kSendWait);
    QVERIFY(peer.groupDatagrams().first().data.contains("\r\nMX: 0\r\n"));
}

void TestSsdpControlPoint::findsRunningSsdpDevice()
{
    SSDP_REQUIRE_TEST_NAMESPACE();
    SsdpDevice device;
    device.setNotificationType(QLatin1String(kTarget));
    device.setNetworkInterface(loopback());
    device.start();
    QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), 5000);

    SsdpControlPoint controlPoint;
    QSignalSpy done(&controlPoint, &SsdpControlPoint::searchDone);
    QVERIFY(controlPoint.openInterface(loopback()));
    controlPoint.search(kTarget, kGroup, kSsdpPort, 1000);
    QVERIFY(done.wait(1000 + kTimeSlack));
    QCOMPARE(resultsOf(done), QList<QUrl>{QUrl(QStringLiteral("udp://127.0.0.1:1900"))});
}

QTEST_GUILESS_MAIN(TestSsdpControlPoint)
#include "tst_ssdpcontrolpoint.moc"
