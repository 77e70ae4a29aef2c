#include <configurator-common/requestmanager.h>

#include <QtTest>

class tst_RequestManager : public QObject
{
    Q_OBJECT

private slots:
    void checkFollowsReplies();
    void secondAppendKeepsFirstRequest();
    void lookupBySubstring_data();
    void lookupBySubstring();
    void emptyNameMatchesEverything();
    void applyUnknownNameChangesNothing();
    void outOfRangeIndexes_data();
    void outOfRangeIndexes();
    void dataByIndexAndType();
    void removeAndClear();
};

void tst_RequestManager::checkFollowsReplies()
{
    RequestManager manager;
    QVERIFY(manager.check());

    manager.append(QStringLiteral("status"), QStringLiteral("ask"));
    QVERIFY(!manager.check());
    QVERIFY(!manager.isReceived(QStringLiteral("status")));

    QVERIFY(manager.apply(QStringLiteral("status"), QStringLiteral("online")));
    QVERIFY(manager.check());
    QVERIFY(manager.isReceived(QStringLiteral("status")));

    manager.reset(QStringLiteral("status"));
    QVERIFY(!manager.check());
    QCOMPARE(manager.data(RequestManager::ReplyData, QStringLiteral("status")),
             QVariant(QStringLiteral("online")));
    QCOMPARE(manager.data(RequestManager::RequestData, QStringLiteral("status")),
             QVariant(QStringLiteral("ask")));
}

void tst_RequestManager::secondAppendKeepsFirstRequest()
{
    RequestManager manager;
    manager.append(QStringLiteral("network"), 1);
    manager.append(QStringLiteral("network"), 2);
    manager.append(QStringLiteral("network"));
    QCOMPARE(manager.size(), 1);
    QCOMPARE(manager.data(RequestManager::RequestData, QStringLiteral("network")), QVariant(1));
}

void tst_RequestManager::lookupBySubstring_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("index");

    QTest::newRow("exact") << QStringLiteral("status") << 0;
    QTest::newRow("longer, contains it") << QStringLiteral("status/ethernet") << 0;
    QTest::newRow("contains it in the middle") << QStringLiteral("get-status-now") << 0;
    QTest::newRow("other letter case") << QStringLiteral("Status/ethernet") << -1;
    QTest::newRow("shorter") << QStringLiteral("stat") << -1;
    QTest::newRow("unrelated") << QStringLiteral("network") << -1;
    QTest::newRow("empty") << QString() << -1;
}

void tst_RequestManager::lookupBySubstring()
{
    QFETCH(QString, name);
    QFETCH(int, index);

    RequestManager manager;
    manager.append(QStringLiteral("status"));
    QCOMPARE(manager.indexOf(name), index);
}

void tst_RequestManager::emptyNameMatchesEverything()
{
    RequestManager manager;
    manager.append(QStringLiteral("status"));
    manager.append(QString());
    QCOMPARE(manager.size(), 2);
    QCOMPARE(manager.indexOf(QStringLiteral("status")), 0);
    QCOMPARE(manager.indexOf(QStringLiteral("network")), 1);

    // A name appended after the empty one is found as the empty record.
    manager.append(QStringLiteral("network"));
    QCOMPARE(manager.size(), 2);
}

void tst_RequestManager::applyUnknownNameChangesNothing()
{
    RequestManager manager;
    manager.append(QStringLiteral("status"));
    QVERIFY(!manager.apply(QStringLiteral("network"), 5));
    QVERIFY(!manager.isReceived(0));
    QVERIFY(!manager.data(RequestManager::ReplyData, 0).isValid());
    manager.reset(QStringLiteral("network"));
    manager.remove(QStringLiteral("network"));
    QCOMPARE(manager.size(), 1);
}

void tst_RequestManager::outOfRangeIndexes_data()
{
    QTest::addColumn<int>("index");
    QTest::newRow("negative") << -1;
    QTest::newRow("size") << 2;
    QTest::newRow("far") << 1000;
}

void tst_RequestManager::outOfRangeIndexes()
{
    QFETCH(int, index);

    RequestManager manager;
    manager.append(QStringLiteral("a"), 1);
    manager.append(QStringLiteral("b"), 2);
    manager.apply(QStringLiteral("a"), 3);
    manager.apply(QStringLiteral("b"), 4);

    QVERIFY(!manager.data(RequestManager::RequestData, index).isValid());
    QVERIFY(!manager.data(RequestManager::ReplyData, index).isValid());
    QVERIFY(!manager.isReceived(index));
}

void tst_RequestManager::dataByIndexAndType()
{
    RequestManager manager;
    manager.append(QStringLiteral("a"), 1);
    manager.append(QStringLiteral("b"), 2);
    manager.apply(QStringLiteral("b"), 20);

    QCOMPARE(manager.data(RequestManager::RequestData, 1), QVariant(2));
    QCOMPARE(manager.data(RequestManager::ReplyData, 1), QVariant(20));
    QVERIFY(!manager.data(RequestManager::ReplyData, 0).isValid());
    QVERIFY(manager.isReceived(1));
    QVERIFY(!manager.isReceived(0));
    QVERIFY(!manager.data(static_cast<RequestManager::RequestDataType>(7), 1).isValid());
}

void tst_RequestManager::removeAndClear()
{
    RequestManager manager;
    manager.append(QStringLiteral("a"));
    manager.append(QStringLiteral("b"));
    manager.append(QStringLiteral("c"));

    manager.remove(QStringLiteral("b"));
    QCOMPARE(manager.size(), 2);
    QCOMPARE(manager.indexOf(QStringLiteral("c")), 1);

    manager.clear();
    QCOMPARE(manager.size(), 0);
    QVERIFY(manager.check());
}

QTEST_MAIN(tst_RequestManager)
#include "tst_requestmanager.moc"
