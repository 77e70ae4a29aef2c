#include <configurator-common/treeiteminfo.h>

#include <QPointer>
#include <QtTest>

namespace {
TreeItemInfo* item(const char* name, QObject* parent = 0)
{
    return new TreeItemInfo(QLatin1String(name), QString::fromLatin1(name).toUpper(), parent);
}
}

class tst_TreeItemInfo : public QObject
{
    Q_OBJECT

private slots:
    void nameIsObjectName();
    void addNullLogsDebug();
    void removeNullLogsWarning();
    void addSetsParentAndAppends();
    void removeDeletesChild();
    void removeOfStrangerDoesNothing();
    void deletingRootDeletesSubtree();
    void setParentItemLeavesListsAlone();
    void childDeletedElsewhereLeavesList();
    void addingTwiceListsOnce();
    void refusesCycles();
    void dataRoundTrip();
};

void tst_TreeItemInfo::nameIsObjectName()
{
    TreeItemInfo node(QStringLiteral("device"), QStringLiteral("Device"), 0);
    QCOMPARE(node.name(), QStringLiteral("device"));
    QCOMPARE(node.displayName(), QStringLiteral("Device"));
    node.setName(QStringLiteral("meter"));
    QCOMPARE(node.objectName(), QStringLiteral("meter"));
    QCOMPARE(node.name(), QStringLiteral("meter"));
    node.setDisplayName(QStringLiteral("Meter"));
    QCOMPARE(node.displayName(), QStringLiteral("Meter"));
    QVERIFY(!node.parentItem());
    QVERIFY(!node.data().isValid());
}

void tst_TreeItemInfo::addNullLogsDebug()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    node.addItem(item("a"));
    QTest::ignoreMessage(QtDebugMsg, "TreeItem::addChild, Item is NULL");
    node.addItem(0);
    QCOMPARE(node.itemList().size(), 1);
}

void tst_TreeItemInfo::removeNullLogsWarning()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    node.addItem(item("a"));
    QTest::ignoreMessage(QtWarningMsg, "TreeItem::removeChild, Item is NULL");
    node.removeItem(0);
    QCOMPARE(node.itemList().size(), 1);
}

void tst_TreeItemInfo::addSetsParentAndAppends()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    TreeItemInfo* a = item("a");
    TreeItemInfo* b = item("b");
    node.addItem(a);
    node.addItem(b);
    QCOMPARE(b->parentItem(), &node);
    QCOMPARE(node.itemList(), QList<TreeItemInfo*>() << a << b);
    // The tree link is not the QObject parent.
    QVERIFY(!b->parent());
}

void tst_TreeItemInfo::removeDeletesChild()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    QPointer<TreeItemInfo> a = item("a");
    TreeItemInfo* b = item("b");
    node.addItem(a);
    node.addItem(b);
    node.removeItem(a);
    QVERIFY(a.isNull());
    QCOMPARE(node.itemList(), QList<TreeItemInfo*>() << b);
}

void tst_TreeItemInfo::removeOfStrangerDoesNothing()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    node.addItem(item("a"));
    TreeItemInfo stranger(QStringLiteral("stranger"), QString(), 0);
    node.removeItem(&stranger);
    QCOMPARE(node.itemList().size(), 1);
    QCOMPARE(stranger.name(), QStringLiteral("stranger"));
}

void tst_TreeItemInfo::deletingRootDeletesSubtree()
{
    TreeItemInfo* root = item("root");
    QPointer<TreeItemInfo> a = item("a");
    QPointer<TreeItemInfo> a1 = item("a1");
    QPointer<TreeItemInfo> a2 = item("a2");
    QPointer<TreeItemInfo> b = item("b");
    root->addItem(a);
    root->addItem(b);
    a->addItem(a1);
    a->addItem(a2);

    delete root;
    QVERIFY(a.isNull());
    QVERIFY(a1.isNull());
    QVERIFY(a2.isNull());
    QVERIFY(b.isNull());
}

void tst_TreeItemInfo::setParentItemLeavesListsAlone()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    TreeItemInfo other(QStringLiteral("other"), QString(), 0);
    TreeItemInfo* a = item("a");
    node.addItem(a);
    a->setParentItem(&other);
    QCOMPARE(a->parentItem(), &other);
    QCOMPARE(node.itemList(), QList<TreeItemInfo*>() << a);
    QVERIFY(other.itemList().isEmpty());
}

// A child that is also the QObject child of another node may be deleted by
// that node first; its tree owner must not delete it again.
void tst_TreeItemInfo::childDeletedElsewhereLeavesList()
{
    TreeItemInfo* holder = item("holder");
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    TreeItemInfo* a = item("a", holder);
    node.addItem(a);
    node.addItem(item("b"));

    delete holder;
    QCOMPARE(node.itemList().size(), 1);
    QCOMPARE(node.itemList().first()->name(), QStringLiteral("b"));
}

void tst_TreeItemInfo::addingTwiceListsOnce()
{
    TreeItemInfo first(QStringLiteral("first"), QString(), 0);
    TreeItemInfo second(QStringLiteral("second"), QString(), 0);
    TreeItemInfo* a = item("a");
    first.addItem(a);
    first.addItem(a);
    QCOMPARE(first.itemList().size(), 1);

    second.addItem(a);
    QVERIFY(first.itemList().isEmpty());
    QCOMPARE(second.itemList(), QList<TreeItemInfo*>() << a);
    QCOMPARE(a->parentItem(), &second);
}

void tst_TreeItemInfo::refusesCycles()
{
    TreeItemInfo root(QStringLiteral("root"), QString(), 0);
    TreeItemInfo* a = item("a");
    TreeItemInfo* a1 = item("a1");
    root.addItem(a);
    a->addItem(a1);

    QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
    a1->addItem(&root);
    QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
    a->addItem(a);
    QVERIFY(a1->itemList().isEmpty());
    QCOMPARE(a->itemList(), QList<TreeItemInfo*>() << a1);
    QVERIFY(!root.parentItem());
}

void tst_TreeItemInfo::dataRoundTrip()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), 0);
    node.setData(QVariantList() << 1 << QStringLiteral("x"));
    QCOMPARE(node.data(), QVariant(QVariantList() << 1 << QStringLiteral("x")));
}

QTEST_MAIN(tst_TreeItemInfo)
#include "tst_treeiteminfo.moc"
