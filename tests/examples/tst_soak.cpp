#include "simulatorprocess.h"
#include "sampleprotocol.h"

#include <configurator-common/device.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/page.h>
#include <configurator-common/pluginmanager.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

namespace {

const int kInstruments = 32;
const char* const kFirstAddress = "127.0.0.11";
const int kSoakSecs = 60;
const int kRequestTimeoutMs = 800;
const int kLateDelayMs = 1500;
const int kMemorySampleSecs = 10;

// Peak resident memory of this process, in KiB.
qint64 peakResidentKiB()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Follows one device: every request must end in exactly one outcome (its
// reply or its time-out), and every reply must belong to this device and page.
struct Tracker
{
    QString address;
    QString pageId;
    int requests = 0;
    int replies = 0;
    int timeouts = 0;
    int lateReplies = 0;
    bool waiting = false;
    QStringList faults;

    void record(const QVariantMap& reply)
    {
        if (reply.value("page").toString() != pageId)
            faults << "reply for page " + reply.value("page").toString() + " reached " + pageId;
        if (QUrl(reply.value("url").toString()).host() != address)
            faults << "reply from " + reply.value("url").toString() + " reached " + address;
        if (!reply.value("data").isValid()) {
            if (!waiting)
                faults << "time-out without a request at " + address;
            ++timeouts;
            waiting = false;
        } else if (waiting) {
            ++replies;
            waiting = false;
        } else if (lateReplies < timeouts) {
            ++lateReplies;
        } else {
            faults << "a reply that answers nothing at " + address;
        }
    }
};

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private slots:
    void manyInstrumentsPolledForAMinute();
};

void TestSoak::manyInstrumentsPolledForAMinute()
{
    if (qgetenv("CC_IN_NETNS") != "1")
        QSKIP("uses 127.0.0.11-42 port 80: runs only inside scripts/netns-run");

    SimulatorProcess simulator;
    QVERIFY2(simulator.start({"--address", kFirstAddress, "--count", QString::number(kInstruments),
                              "--late-share", "0.05", "--late-delay", QString::number(kLateDelayMs),
                              "--drop-share", "0.05", "--duration", QString::number(kSoakSecs + 60)}),
             qPrintable(simulator.output()));

    PluginManager plugins;
    IDeviceFactory* factory = PluginManager::deviceFactory(QUuid(SampleProtocol::kFactoryUuid));
    QVERIFY(factory);

    QList<Device*> devices;
    QList<Page*> pages;
    QVector<Tracker> trackers(kInstruments);
    const quint32 first = QHostAddress(kFirstAddress).toIPv4Address();
    for (int i = 0; i < kInstruments; ++i) {
        Device* device = factory->createDevice();
        Page* page = factory->createPages(device).value(0);
        QVERIFY(page);
        page->setId(QString("soak-page-%1").arg(i));
        trackers[i].address = QHostAddress(first + quint32(i)).toString();
        trackers[i].pageId = page->id();
        Tracker* tracker = &trackers[i];
        connect(device, &Device::dataUpdated, this, [tracker](const QVariant& reply) {
            tracker->record(reply.toMap());
        });
        QVariantMap network{{SampleProtocol::kTimeoutKey, kRequestTimeoutMs}};
        device->setConfigData(SampleProtocol::kNetworkGroup, network);
        device->setConfigData("connectcfg", QVariantMap{{"ip", trackers[i].address},
                                                        {"login", "user"}, {"password", "qvxj"}});
        devices << device;
        pages << page;
    }

    QElapsedTimer clock;
    clock.start();
    qint64 peakAt10 = -1;
    int polls = 0;
    while (clock.elapsed() < kSoakSecs * 1000) {
        const int i = polls++ % kInstruments;
        trackers[i].waiting = true;
        ++trackers[i].requests;
        // Blocks in the client's nested wait; late replies of earlier
        // requests arrive meanwhile.
        QMetaObject::invokeMethod(pages.at(i), "requestStatus");
        if (trackers[i].waiting)
            trackers[i].faults << "a request ended without an outcome at " + trackers[i].address;
        trackers[i].waiting = false;
        if (peakAt10 < 0 && clock.elapsed() >= kMemorySampleSecs * 1000)
            peakAt10 = peakResidentKiB();
    }
    const qint64 peakAt60 = peakResidentKiB();
    // Let the last late replies come in.
    QTest::qWait(kLateDelayMs + 500);

    int requests = 0, replies = 0, timeouts = 0, late = 0;
    for (const Tracker& tracker : trackers) {
        QVERIFY2(tracker.faults.isEmpty(), qPrintable(tracker.faults.join("; ")));
        QCOMPARE(tracker.replies + tracker.timeouts, tracker.requests);
        requests += tracker.requests;
        replies += tracker.replies;
        timeouts += tracker.timeouts;
        late += tracker.lateReplies;
    }
    qInfo("soak: %d requests to %d instruments in %d s: %d replies, %d time-outs (%d answered late), "
          "peak RSS %lld KiB at %d s, %lld KiB at %d s",
          requests, kInstruments, kSoakSecs, replies, timeouts, late,
          peakAt10, kMemorySampleSecs, peakAt60, kSoakSecs);
    QVERIFY(requests > kInstruments);
    QVERIFY(timeouts > 0);
    QVERIFY(late > 0);
#if !defined(__SANITIZE_ADDRESS__)
    // Flat memory: the last fifty seconds may not add more than a little.
    QVERIFY2(peakAt60 - peakAt10 < 16 * 1024, "memory grew during the soak");
#endif

    qDeleteAll(pages);
    qDeleteAll(devices);
}

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"
