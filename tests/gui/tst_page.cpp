#include "stubdevicefactory.h"

#include <configurator-common/connection.h>
#include <configurator-common/device.h>
#include <configurator-common/page.h>

#include <QMetaMethod>
#include <QtTest>

namespace {

const int kDefaultTimeout = 60000;

class TestPage : public Page
{
    Q_OBJECT
public:
    explicit TestPage(Device* device, const char* id = "") : Page(device, nullptr) { setId(QLatin1String(id)); }

    QList<QVariant> updates;
    QList<QVariant> configs;

public slots:
    void updateData(const QVariant& data) override { updates << data; }
    void changeDeviceStatus(const QVariant&) override {}
    void updateConfigData(const QVariant& data) override { configs << data; }
};

// Answers every request at once through the connection, as a transport would.
class RecordingFactory : public StubDeviceFactory
{
public:
    QList<QVariantList> requests; // page id, data, timeout

    Connection* createConnection(const QString&) override { return new Connection; }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data, int timeout) override
    {
        requests << QVariantList{pageId, data, timeout};
        emit connection->dataReceived(pageId, QUrl(QStringLiteral("http://127.0.0.1/status")),
                                      QVariantMap{{QStringLiteral("type"), QStringLiteral("json")}},
                                      QStringLiteral("answer"));
    }
};

class TestDevice : public Device
{
    Q_OBJECT
public:
    explicit TestDevice(IDeviceFactory* factory) : Device(factory, nullptr)
    {
        config()->address = QHostAddress(QHostAddress::LocalHost);
        config()->login = QStringLiteral("user");
        config()->password = QStringLiteral("qvxj");
    }
};

// Wires a page to its device as a plug-in does.
void connectPage(Page* page, Device* device)
{
    QObject::connect(page, SIGNAL(dataRequested(QVariant,int)), device, SLOT(requestData(QVariant,int)));
    QObject::connect(page, SIGNAL(getConfigData(QVariant)), device, SLOT(getConfigData(QVariant)));
    QObject::connect(device, SIGNAL(dataUpdated(QVariant)), page, SLOT(updateData(QVariant)));
    QObject::connect(device, SIGNAL(updateConfigData(QVariant)), page, SLOT(updateConfigData(QVariant)));
}

QVariantMap requestMap(const char* request)
{
    return QVariantMap{{QStringLiteral("request"), QLatin1String(request)}};
}

} // namespace

class tst_Page : public QObject
{
    Q_OBJECT

private slots:
    void titleAndModifiedSignal();
    void metaObjectOrder();
    void deviceTagsCallsWithPageId();
};

void tst_Page::titleAndModifiedSignal()
{
    TestPage page(nullptr);
    page.setTitle(QStringLiteral("Network"));
    QCOMPARE(page.title(), QStringLiteral("Network"));
    QCOMPARE(page.windowTitle(), QStringLiteral("Network[*]"));
    QVERIFY(page.readyToClose());
    QVERIFY(page.setProperty("id", QStringLiteral("ethernet")));
    QCOMPARE(page.id(), QStringLiteral("ethernet"));

    QSignalSpy spy(&page, &Page::pageModified);
    page.setWindowModified(true);
    page.setWindowModified(true); // not a change: no second signal
    page.setWindowModified(false);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toBool(), true);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
}

// Hosts and plug-ins may connect by index; the order is part of the interface.
void tst_Page::metaObjectOrder()
{
    const QMetaObject& meta = Page::staticMetaObject;
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        methods << (method.methodType() == QMetaMethod::Signal ? "signal " : "slot ") + method.methodSignature();
    }
    QCOMPARE(methods, QStringList({"signal dataRequested(QVariant,int)", "signal dataRequested(QVariant)",
                                   "signal statusRequested()", "signal setConfigData(QString,QVariant)",
                                   "signal getConfigData(QVariant)", "signal pageModified(bool)",
                                   "slot updateData(QVariant)", "slot changeDeviceStatus(QVariant)",
                                   "slot updateConfigData(QVariant)"}));
}

void tst_Page::deviceTagsCallsWithPageId()
{
    RecordingFactory factory;
    TestDevice device(&factory);
    TestPage page(&device, "ethernet");
    TestPage other(&device, "serial");
    connectPage(&page, &device);
    connectPage(&other, &device);

    page.requestData(requestMap("ethernet")); // with the default timeout
    emit other.dataRequested(requestMap("serial"), 900);
    device.requestData(requestMap("deviceStatus")); // not from a page

    QCOMPARE(factory.requests, QList<QVariantList>({{"ethernet", requestMap("ethernet"), kDefaultTimeout},
                                                    {"serial", requestMap("serial"), 900},
                                                    {"device", requestMap("deviceStatus"), kDefaultTimeout}}));

    // Replies go to every page; "page" tells the one that asked.
    QCOMPARE(other.updates.size(), 3);
    const QVariantMap reply = other.updates.at(0).toMap();
    QCOMPARE(reply.value(QStringLiteral("page")).toString(), QStringLiteral("ethernet"));
    QCOMPARE(reply.value(QStringLiteral("data")).toString(), QStringLiteral("answer"));

    emit page.getConfigData(QVariant());
    QCOMPARE(page.configs.size(), 1);
    QCOMPARE(page.configs.at(0).toMap().value(QStringLiteral("page")).toString(), QStringLiteral("ethernet"));
}

QTEST_MAIN(tst_Page)
#include "tst_page.moc"
