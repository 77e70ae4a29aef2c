#include "fakedevicefactory.h"

#include <configurator-common/page.h>
#include <configurator-common/requestmanager.h>
#include <configurator-common/treeiteminfo.h>

#include <QtTest>

// The GUI base classes: Page with a real Device, TreeItemInfo and RequestManager.

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

TreeItemInfo* item(const char* name, QObject* parent = nullptr) { return new TreeItemInfo(name, QString(name).toUpper(), parent); }

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
        QCOMPARE(factory.ops.filter("request"),
                 QStringList({"request ethernet a 60000", "request serial b 900", "request device c 60000"}));
        QCOMPARE(other.seen, QStringList({"ethernet", "serial", "device", "config ethernet"}));
    }

    // A node owns its subtree and refuses cycles; a child that is also the
    // QObject child of another node may be deleted by that node first.
    // parentItem is the caller's to set: a loop of it must not hang addItem,
    // and a child pointing elsewhere still leaves its owner's list when deleted.
    void treeOwnsItsSubtree()
    {
        TreeItemInfo* root = item("root");
        QPointer<TreeItemInfo> a = item("a"), a1 = item("a1"), holder = item("holder");
        a->addItem(a1);
        root->addItem(a);
        root->addItem(a);
        root->addItem(item("c", holder));
        root->itemList().last()->setParentItem(a1);
        QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
        a1->addItem(root);
        root->setParentItem(a1);
        a1->setParentItem(root);
        a1->addItem(item("d"));
        delete holder;
        QCOMPARE(root->itemList(), QList<TreeItemInfo*>({a}));
        QCOMPARE(a1->itemList().size(), 1);
        QTest::ignoreMessage(QtWarningMsg, "TreeItem::removeChild, Item is NULL");
        a->removeItem(nullptr);
        a->addItem(nullptr);
        a->setData(7);
        QCOMPARE(QStringList({a->name(), a->displayName(), a->data().toString()}), QStringList({"a", "A", "7"}));
        a->removeItem(a1);   // a removed item is deleted with its subtree
        QVERIFY(a1.isNull() && a->itemList().isEmpty());
        delete root;
        QVERIFY(a.isNull() && a1.isNull());
    }

    // A record answers to every name that contains its own; check() holds
    // once every request has its reply.
    void requestManagerFollowsReplies()
    {
        RequestManager manager;
        QVERIFY(manager.check());
        manager.append("status", "ask");
        manager.append("network", 1);
        manager.append("network", 2);   // a second append keeps the first request
        QCOMPARE(manager.size(), 2);
        QCOMPARE(manager.indexOf("get-status-now"), 0);
        QCOMPARE(manager.indexOf("Status"), -1);
        QVERIFY(manager.apply("status", "online"));
        QVERIFY(!manager.check() && manager.isReceived(0) && !manager.isReceived("network"));
        QVERIFY(manager.apply("network", 20));
        QVERIFY(manager.check());
        manager.reset("status");
        QVERIFY(!manager.check());
        QCOMPARE(manager.data(RequestManager::ReplyData, "status"), QVariant("online"));
        QCOMPARE(manager.data(RequestManager::RequestData, 1), QVariant(1));
        QVERIFY(!manager.apply("power", 5) && !manager.data(RequestManager::ReplyData, 2).isValid());
        QVERIFY(!manager.isReceived(-1) && !manager.data(RequestManager::RequestDataType(7), 1).isValid());
        manager.remove("status");
        QCOMPARE(manager.indexOf("network"), 0);
        manager.append(QString());   // the empty name matches every name
        QCOMPARE(manager.indexOf("anything"), 1);
        manager.clear();
        QCOMPARE(manager.size(), 0);
    }
};

QTEST_MAIN(tst_Page)
#include "tst_page.moc"
