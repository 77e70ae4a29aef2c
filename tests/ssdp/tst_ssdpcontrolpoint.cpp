#include <QElapsedTimer>
#include <QSignalSpy>

#include <configurator-common/ssdpcontrolpoint.h>
#include <configurator-common/ssdpdevice.h>

#include "ssdptestpeer.h"

namespace {

const QHostAddress kLocalHost(QHostAddress::LocalHost);
const char kTarget[] = "urn:example-com:device:Meter:1";

QByteArray answerFor(const QByteArray& target)
{
    return "HTTP/1.1 200 OK\r\nCache-control: max-age = 900\r\nEXT: \r\nST: " + target
        + "\r\nUSN: uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::" + target + "\r\n\r\n";
}

QUrl udpUrl(const QUdpSocket& s) { return QUrl(QStringLiteral("udp://%1:%2").arg(s.localAddress().toString()).arg(s.localPort())); }

// A control point opened on lo; runs one search and returns what it found.
struct Searcher
{
    SsdpControlPoint controlPoint;
    QSignalSpy done{ &controlPoint, &SsdpControlPoint::searchDone };
    bool open() { return controlPoint.openInterface(QNetworkInterface::interfaceFromName("lo")); }
    void start(const QString& target, int timeout)
    {
        controlPoint.search(target, SsdpTestPeer::groupAddress(), 1900, timeout);
    }
    QList<QUrl> wait(int timeout)
    {
        return done.wait(qMax(timeout, 0) + 1000) ? done.last().first().value<QList<QUrl>>() : QList<QUrl>{ QUrl("x:") };
    }
};

} // namespace

class TestSsdpControlPoint : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qRegisterMetaType<QList<QUrl>>();
        QVERIFY(!SsdpControlPoint().openInterface(QNetworkInterface()));
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
        SSDP_REQUIRE_TEST_NAMESPACE();
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
        SSDP_REQUIRE_TEST_NAMESPACE();
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

    // The control point shares port 1900 with a real device; a later search starts with an empty list.
    void findsRunningSsdpDevice()
    {
        SSDP_REQUIRE_TEST_NAMESPACE();
        SsdpDevice device;
        device.setNotificationType(QLatin1String(kTarget));
        device.setNetworkInterface(QNetworkInterface::interfaceFromName(QStringLiteral("lo")));
        device.start();
        QTRY_VERIFY_WITH_TIMEOUT(device.isRunning(), 5000);
        Searcher searcher;
        QVERIFY(searcher.open());
        searcher.start(kTarget, 1000);
        QCOMPARE(searcher.wait(1000), QList<QUrl>{ QUrl(QStringLiteral("udp://127.0.0.1:1900")) });
        searcher.start(QStringLiteral("upnp:rootdevice"), 300);
        QVERIFY(searcher.wait(300).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSsdpControlPoint)
#include "tst_ssdpcontrolpoint.moc"
