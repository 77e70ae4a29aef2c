#include "stubdevicefactory.h"

#include <configurator-common/connection.h>
#include <configurator-common/device.h>
#include <configurator-common/page.h>
#include <configurator-common/requestmanager.h>
#include <configurator-common/treeiteminfo.h>

#include <QPointer>
#include <QtTest>

// The GUI base classes: Page with a real Device, RequestManager, TreeItemInfo.

namespace {

class TestPage : public Page
{
    Q_OBJECT
public:
    TestPage(Device* device, const char* id) : Page(device, nullptr) { setId(QLatin1String(id)); }
    QStringList seen;   // page ids of the replies and configuration maps this page received

public slots:
    void updateData(const QVariant& data) override { seen << data.toMap().value("page").toString(); }
    void changeDeviceStatus(const QVariant&) override {}
    void updateConfigData(const QVariant& data) override { seen << "config " + data.toMap().value("page").toString(); }
};

// Answers every request at once through the connection, as a transport would.
class RecordingFactory : public StubDeviceFactory
{
public:
    QStringList requests;
    Connection* createConnection(const QString&) override { return new Connection; }
    void requestData(Connection* connection, const QString& pageId, const QVariant& data, int timeout) override
    {
        requests << QStringLiteral("%1 %2 %3").arg(pageId, data.toString()).arg(timeout);
        emit connection->dataReceived(pageId, QUrl(), QVariantMap(), "answer");
    }
};

class TestDevice : public Device
{
public:
    explicit TestDevice(IDeviceFactory* factory) : Device(factory, nullptr)
    {
        config()->address = QHostAddress(QHostAddress::LocalHost);
        config()->login = config()->password = QStringLiteral("user");
    }
};

TreeItemInfo* item(const char* name, QObject* parent = nullptr) { return new TreeItemInfo(name, name, parent); }

} // namespace

class tst_Page : public QObject
{
    Q_OBJECT

private slots:
    void modifiedSignalOnlyOnChange()
    {
        TestPage page(nullptr, "");
        QSignalSpy spy(&page, &Page::pageModified);
        for (bool modified : {true, true, false})
            page.setWindowModified(modified);
        QCOMPARE(QList<QList<QVariant>>(spy), (QList<QList<QVariant>>{{true}, {false}}));
    }

    // The device tags each request with the page that sent it; replies go to
    // every page, and "page" tells the one that asked.
    void deviceTagsCallsWithPageId()
    {
        RecordingFactory factory;
        TestDevice device(&factory);
        TestPage page(&device, "ethernet");
        TestPage other(&device, "serial");
        for (Page* p : {&page, &other}) {
            connect(p, SIGNAL(dataRequested(QVariant,int)), &device, SLOT(requestData(QVariant,int)));
            connect(p, SIGNAL(getConfigData(QVariant)), &device, SLOT(getConfigData(QVariant)));
            connect(&device, SIGNAL(dataUpdated(QVariant)), p, SLOT(updateData(QVariant)));
            connect(&device, SIGNAL(updateConfigData(QVariant)), p, SLOT(updateConfigData(QVariant)));
        }
        page.requestData("a");   // with the default time-out
        emit other.dataRequested("b", 900);
        device.requestData("c");  // not from a page
        emit page.getConfigData(QVariant());
        QCOMPARE(factory.requests, QStringList({"ethernet a 60000", "serial b 900", "device c 60000"}));
        QCOMPARE(other.seen, QStringList({"ethernet", "serial", "device", "config ethernet"}));
    }

    // A record answers to every name that contains its own; an empty one to all.
    void requestManager()
    {
        RequestManager manager;
        manager.append("status", "ask");
        manager.append(QString());
        manager.append("network", 2);   // found as the empty record
        QCOMPARE(manager.size(), 2);
        QCOMPARE(QList<int>({manager.indexOf("get-status-now"), manager.indexOf("Status")}), QList<int>({0, 1}));
        QVERIFY(manager.apply("status", "online") && !manager.check());
        QVERIFY(manager.apply("", 20) && manager.check());
        manager.reset("status");
        QVERIFY(!manager.check());
        QCOMPARE(manager.data(RequestManager::ReplyData, "status"), QVariant("online"));
        QVERIFY(!manager.data(RequestManager::ReplyData, 2).isValid() && !manager.isReceived(-1));
    }

    // A node owns its subtree; a child that is also the QObject child of
    // another node may be deleted by that node first, and leaves the list.
    void treeOwnsItsSubtree()
    {
        TreeItemInfo* root = item("root");
        QList<QPointer<TreeItemInfo>> nodes = {item("a"), item("a1"), item("b")};
        root->addItem(nodes[0]);
        root->addItem(nodes[2]);
        nodes[0]->addItem(nodes[1]);
        TreeItemInfo* holder = item("holder");
        root->addItem(item("c", holder));
        delete holder;
        root->removeItem(nodes[2]);
        QVERIFY(nodes[2].isNull());
        QCOMPARE(root->itemList(), QList<TreeItemInfo*>({nodes[0]}));
        delete root;
        QVERIFY(nodes[0].isNull() && nodes[1].isNull());
    }

    void treeRefusesDoubleListingAndCycles()
    {
        TreeItemInfo first("first", "", nullptr), second("second", "", nullptr);
        TreeItemInfo* a = item("a");
        first.addItem(a);
        first.addItem(a);
        second.addItem(a);   // moves
        QVERIFY(first.itemList().isEmpty() && second.itemList().size() == 1 && a->parentItem() == &second);
        a->addItem(item("a1"));
        QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
        a->itemList().at(0)->addItem(&second);
        QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
        a->addItem(a);
        QVERIFY(a->itemList().size() == 1 && a->itemList().at(0)->itemList().isEmpty() && !second.parentItem());
        // parentItem is the caller's to set: a loop of it must not hang addItem,
        // and a child pointing elsewhere still leaves its owner's list when deleted.
        first.setParentItem(&second);
        second.setParentItem(&first);
        TreeItemInfo* holder = item("holder");
        first.addItem(item("b", holder));
        first.itemList().at(0)->setParentItem(&second);
        delete holder;
        QVERIFY(first.itemList().isEmpty());
    }
};

QTEST_MAIN(tst_Page)
#include "tst_page.moc"
