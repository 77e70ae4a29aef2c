#include <configurator-common/treeiteminfo.h>

#include <QPointer>
#include <QtTest>

namespace {
TreeItemInfo* item(const char* name, QObject* parent = nullptr)
{
    return new TreeItemInfo(QLatin1String(name), QString::fromLatin1(name).toUpper(), parent);
}
using Items = QList<TreeItemInfo*>;
}

class tst_TreeItemInfo : public QObject
{
    Q_OBJECT

private slots:
    void addAndRemove();
    void ownsSubtree();
    void refusesDoubleListingAndCycles();
};

void tst_TreeItemInfo::addAndRemove()
{
    TreeItemInfo node(QStringLiteral("root"), QString(), nullptr);
    node.setName(QStringLiteral("meter"));
    QCOMPARE(node.objectName(), QStringLiteral("meter"));
    QPointer<TreeItemInfo> a = item("a");
    TreeItemInfo* b = item("b");
    node.addItem(a);
    node.addItem(b);
    QCOMPARE(b->parentItem(), &node);
    QCOMPARE(node.itemList(), Items({a, b}));
    QVERIFY(!b->parent()); // the tree link is not the QObject parent

    QTest::ignoreMessage(QtDebugMsg, "TreeItem::addChild, Item is NULL");
    node.addItem(nullptr);
    QTest::ignoreMessage(QtWarningMsg, "TreeItem::removeChild, Item is NULL");
    node.removeItem(nullptr);
    TreeItemInfo stranger(QStringLiteral("stranger"), QString(), nullptr);
    node.removeItem(&stranger);
    node.removeItem(a);
    QVERIFY(a.isNull());
    QCOMPARE(node.itemList(), Items({b}));
}

void tst_TreeItemInfo::ownsSubtree()
{
    TreeItemInfo* root = item("root");
    QList<QPointer<TreeItemInfo>> nodes = {item("a"), item("a1"), item("a2"), item("b")};
    root->addItem(nodes[0]);
    root->addItem(nodes[3]);
    nodes[0]->addItem(nodes[1]);
    nodes[0]->addItem(nodes[2]);

    // A child that is also the QObject child of another node may be deleted
    // by that node first; its tree owner must not delete it again.
    TreeItemInfo* holder = item("holder");
    root->addItem(item("c", holder));
    delete holder;
    QCOMPARE(root->itemList(), Items({nodes[0], nodes[3]}));

    delete root;
    for (const QPointer<TreeItemInfo>& node : nodes)
        QVERIFY(node.isNull());
}

void tst_TreeItemInfo::refusesDoubleListingAndCycles()
{
    TreeItemInfo first(QStringLiteral("first"), QString(), nullptr);
    TreeItemInfo second(QStringLiteral("second"), QString(), nullptr);
    TreeItemInfo* a = item("a");
    TreeItemInfo* a1 = item("a1");
    first.addItem(a);
    first.addItem(a);
    QCOMPARE(first.itemList(), Items({a}));
    second.addItem(a);
    QVERIFY(first.itemList().isEmpty());
    QCOMPARE(second.itemList(), Items({a}));
    QCOMPARE(a->parentItem(), &second);

    a->addItem(a1);
    QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
    a1->addItem(&second);
    QTest::ignoreMessage(QtWarningMsg, "TreeItem::addChild, Item would contain itself");
    a->addItem(a);
    QVERIFY(a1->itemList().isEmpty());
    QCOMPARE(a->itemList(), Items({a1}));
    QVERIFY(!second.parentItem());

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

QTEST_MAIN(tst_TreeItemInfo)
#include "tst_treeiteminfo.moc"
