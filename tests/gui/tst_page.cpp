#include "fakedevicefactory.h"

#include <configurator-common/page.h>
#include <configurator-common/requestmanager.h>
#include <configurator-common/treeiteminfo.h>

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
        FakeFactory factory;   // answers every request at once, as a transport would
        factory.onRequest = [](Connection* c, const QString& page) { emit c->dataReceived(page, QUrl(), {}, 1); };
        FakeDevice device(&factory);
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

    // A node owns its subtree and refuses cycles; a child that is also the
    // QObject child of another node may be deleted by that node first, and
    // then leaves the list.
    void treeOwnsItsSubtree()
    {
        TreeItemInfo* root = item("root");
        QList<QPointer<TreeItemInfo>> nodes = {item("a"), item("a1"), item("b")};
        root->addItem(nodes[0]);
        root->addItem(nodes[0]);
        nodes[0]->addItem(nodes[1]);
        nodes[0]->addItem(nodes[2]);
        root->addItem(nodes[2]);   // moves
        QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
        nodes[1]->addItem(root);
        TreeItemInfo* holder = item("holder");
        root->addItem(item("c", holder));
        delete holder;
        QCOMPARE(root->itemList(), QList<TreeItemInfo*>({nodes[0], nodes[2]}));
        QCOMPARE(nodes[0]->itemList(), QList<TreeItemInfo*>({nodes[1]}));
        root->removeItem(nodes[2]);
        delete root;
        for (const QPointer<TreeItemInfo>& node : nodes)
            QVERIFY(node.isNull());
    }

    // parentItem is the caller's to set: a loop of it must not hang addItem,
    // and a child pointing elsewhere still leaves its owner's list when deleted.
    void treeIgnoresCallerSetParents()
    {
        TreeItemInfo first("first", "", nullptr), second("second", "", nullptr);
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
