#include <configurator-common/connection.h>
#include <configurator-common/device.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/page.h>

#include <QMetaMethod>
#include <QSignalSpy>
#include <QtTest>

namespace {

const int kDefaultTimeout = 60000;

class TestPage : public Page
{
    Q_OBJECT
public:
    explicit TestPage(Device* device) : Page(device, 0) {}

    QList<QVariant> updates;
    QList<QVariant> statuses;
    QList<QVariant> configs;

public slots:
    void updateData(const QVariant& data) override { updates << data; }
    void changeDeviceStatus(const QVariant& data) override { statuses << data; }
    void updateConfigData(const QVariant& data) override { configs << data; }
};

// Answers every request at once through the connection, as a transport would.
class RecordingFactory : public IDeviceFactory
{
public:
    struct Request
    {
        QString pageId;
        QVariant data;
        int timeout;
    };
    QList<Request> requests;

    QString name() const override { return QStringLiteral("recording"); }
    QUuid factoryUuid() const override { return m_uuid; }
    QString description() const override { return QString(); }
    Device* createDevice(QObject*) override { return 0; }
    QList<Page*> createPages(Device*, QWidget*) override { return QList<Page*>(); }
    Connection* createConnection(const QString&) override { return new Connection; }
    bool prepareConnection(Connection*) override { return true; }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data,
                     int timeout) override
    {
        requests.append({pageId, data, timeout});
        QVariantMap info;
        info.insert(QStringLiteral("type"), QStringLiteral("json"));
        emit connection->dataReceived(pageId, QUrl(QStringLiteral("http://127.0.0.1/status")),
                                      info, QStringLiteral("answer"));
    }
    void releaseConnection(Connection*) override {}

private:
    QUuid m_uuid = QUuid::createUuid();
};

class TestDevice : public Device
{
    Q_OBJECT
public:
    explicit TestDevice(IDeviceFactory* factory) : Device(factory, 0)
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
    QVariantMap map;
    map.insert(QStringLiteral("request"), QLatin1String(request));
    return map;
}

} // namespace

class tst_Page : public QObject
{
    Q_OBJECT

private slots:
    void titleCarriesModifiedPlaceholder();
    void windowModifiedEmitsPageModifiedOnChange();
    void requestDataUsesDefaultTimeout();
    void baseIsReadyToClose();
    void idIsAProperty();
    void metaObjectOrder_data();
    void metaObjectOrder();
    void deviceTagsRequestsWithPageId();
    void requestNotFromPageIsTaggedDevice();
    void configurationCallCarriesPageId();
};

void tst_Page::titleCarriesModifiedPlaceholder()
{
    TestPage page(0);
    QVERIFY(page.title().isEmpty());
    page.setTitle(QStringLiteral("Network"));
    QCOMPARE(page.title(), QStringLiteral("Network"));
    QCOMPARE(page.windowTitle(), QStringLiteral("Network[*]"));
}

void tst_Page::windowModifiedEmitsPageModifiedOnChange()
{
    TestPage page(0);
    page.setTitle(QStringLiteral("Network"));
    QSignalSpy spy(&page, &Page::pageModified);

    page.setWindowModified(true);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toBool(), true);

    page.setWindowModified(true);
    QCOMPARE(spy.count(), 1);

    page.setWindowModified(false);
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(1).at(0).toBool(), false);
}

void tst_Page::requestDataUsesDefaultTimeout()
{
    TestPage page(0);
    QSignalSpy spy(&page, SIGNAL(dataRequested(QVariant,int)));
    const QVariantMap request = requestMap("deviceInfo");

    page.requestData(request);

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0), QVariant(request));
    QCOMPARE(spy.at(0).at(1).toInt(), kDefaultTimeout);
}

void tst_Page::baseIsReadyToClose()
{
    RecordingFactory factory;
    TestDevice device(&factory);
    TestPage page(&device);
    QVERIFY(page.readyToClose());
    QCOMPARE(page.device(), static_cast<Device*>(&device));
}

void tst_Page::idIsAProperty()
{
    TestPage page(0);
    QVERIFY(page.id().isEmpty());
    QVERIFY(page.setProperty("id", QStringLiteral("ethernet")));
    QCOMPARE(page.id(), QStringLiteral("ethernet"));
    page.setId(QStringLiteral("serial"));
    QCOMPARE(page.property("id").toString(), QStringLiteral("serial"));
}

// Hosts and plug-ins may connect by index; the order is part of the interface.
void tst_Page::metaObjectOrder_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<int>("type");

    const int signal = QMetaMethod::Signal;
    const int slot = QMetaMethod::Slot;
    QTest::newRow("0") << 0 << QByteArray("dataRequested(QVariant,int)") << signal;
    QTest::newRow("1") << 1 << QByteArray("dataRequested(QVariant)") << signal;
    QTest::newRow("2") << 2 << QByteArray("statusRequested()") << signal;
    QTest::newRow("3") << 3 << QByteArray("setConfigData(QString,QVariant)") << signal;
    QTest::newRow("4") << 4 << QByteArray("getConfigData(QVariant)") << signal;
    QTest::newRow("5") << 5 << QByteArray("pageModified(bool)") << signal;
    QTest::newRow("6") << 6 << QByteArray("updateData(QVariant)") << slot;
    QTest::newRow("7") << 7 << QByteArray("changeDeviceStatus(QVariant)") << slot;
    QTest::newRow("8") << 8 << QByteArray("updateConfigData(QVariant)") << slot;
}

void tst_Page::metaObjectOrder()
{
    QFETCH(int, index);
    QFETCH(QByteArray, signature);
    QFETCH(int, type);

    const QMetaObject& meta = Page::staticMetaObject;
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 9);
    const QMetaMethod method = meta.method(meta.methodOffset() + index);
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(int(method.methodType()), type);
}

void tst_Page::deviceTagsRequestsWithPageId()
{
    RecordingFactory factory;
    TestDevice device(&factory);
    TestPage page(&device);
    page.setId(QStringLiteral("ethernet"));
    TestPage other(&device);
    other.setId(QStringLiteral("serial"));
    connectPage(&page, &device);
    connectPage(&other, &device);

    page.requestData(requestMap("ethernet"));

    QCOMPARE(factory.requests.size(), 1);
    QCOMPARE(factory.requests.at(0).pageId, QStringLiteral("ethernet"));
    QCOMPARE(factory.requests.at(0).data, QVariant(requestMap("ethernet")));
    QCOMPARE(factory.requests.at(0).timeout, kDefaultTimeout);

    // The reply goes to every page; "page" tells the one that asked.
    QCOMPARE(page.updates.size(), 1);
    QCOMPARE(other.updates.size(), 1);
    const QVariantMap reply = page.updates.at(0).toMap();
    QCOMPARE(reply.value(QStringLiteral("page")).toString(), QStringLiteral("ethernet"));
    QCOMPARE(reply.value(QStringLiteral("data")).toString(), QStringLiteral("answer"));

    emit other.dataRequested(requestMap("serial"), 900);
    QCOMPARE(factory.requests.size(), 2);
    QCOMPARE(factory.requests.at(1).pageId, QStringLiteral("serial"));
    QCOMPARE(factory.requests.at(1).timeout, 900);
}

void tst_Page::requestNotFromPageIsTaggedDevice()
{
    RecordingFactory factory;
    TestDevice device(&factory);

    device.requestData(requestMap("deviceStatus"));

    QCOMPARE(factory.requests.size(), 1);
    QCOMPARE(factory.requests.at(0).pageId, QStringLiteral("device"));
}

void tst_Page::configurationCallCarriesPageId()
{
    RecordingFactory factory;
    TestDevice device(&factory);
    TestPage page(&device);
    page.setId(QStringLiteral("ethernet"));
    connectPage(&page, &device);

    emit page.getConfigData(QVariant());

    QCOMPARE(page.configs.size(), 1);
    QCOMPARE(page.configs.at(0).toMap().value(QStringLiteral("page")).toString(),
             QStringLiteral("ethernet"));
}

QTEST_MAIN(tst_Page)
#include "tst_page.moc"
