#include <configurator-common/requestmanager.h>

#include <QtTest>

class tst_RequestManager : public QObject
{
    Q_OBJECT

private slots:
    void checkFollowsReplies();
    void lookupBySubstring_data();
    void lookupBySubstring();
    void emptyNameMatchesEverything();
};

void tst_RequestManager::checkFollowsReplies()
{
    RequestManager manager;
    QVERIFY(manager.check());
    manager.append(QStringLiteral("status"), QStringLiteral("ask"));
    manager.append(QStringLiteral("network"), 1);
    manager.append(QStringLiteral("network"), 2); // a second append keeps the first request
    QCOMPARE(manager.size(), 2);
    QCOMPARE(manager.data(RequestManager::RequestData, 1), QVariant(1));
    QVERIFY(!manager.data(RequestManager::ReplyData, 1).isValid());

    QVERIFY(manager.apply(QStringLiteral("status"), QStringLiteral("online")));
    QVERIFY(!manager.check());
    QVERIFY(manager.isReceived(0));
    QVERIFY(!manager.isReceived(QStringLiteral("network")));
    QVERIFY(manager.apply(QStringLiteral("network"), 20));
    QVERIFY(manager.check());

    manager.reset(QStringLiteral("status"));
    QVERIFY(!manager.check());
    QCOMPARE(manager.data(RequestManager::ReplyData, QStringLiteral("status")), QVariant(QStringLiteral("online")));
    QCOMPARE(manager.data(RequestManager::RequestData, QStringLiteral("status")), QVariant(QStringLiteral("ask")));
    QCOMPARE(manager.data(RequestManager::ReplyData, 1), QVariant(20));

    // Unknown names and indexes change and answer nothing.
    QVERIFY(!manager.apply(QStringLiteral("power"), 5));
    manager.reset(QStringLiteral("power"));
    manager.remove(QStringLiteral("power"));
    QCOMPARE(manager.size(), 2);
    QVERIFY(manager.isReceived(1));
    for (int index : {-1, 2, 1000}) {
        QVERIFY(!manager.data(RequestManager::RequestData, index).isValid());
        QVERIFY(!manager.data(RequestManager::ReplyData, index).isValid());
        QVERIFY(!manager.isReceived(index));
    }
    QVERIFY(!manager.data(static_cast<RequestManager::RequestDataType>(7), 1).isValid());

    manager.remove(QStringLiteral("status"));
    QCOMPARE(manager.indexOf(QStringLiteral("network")), 0);
    manager.clear();
    QCOMPARE(manager.size(), 0);
    QVERIFY(manager.check());
}

// A record answers to every name that contains its own.
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
    QCOMPARE(manager.indexOf(QStringLiteral("status")), 0);
    QCOMPARE(manager.indexOf(QStringLiteral("network")), 1);
    // A name appended after the empty one is found as the empty record.
    manager.append(QStringLiteral("network"));
    QCOMPARE(manager.size(), 2);
}

QTEST_MAIN(tst_RequestManager)
#include "tst_requestmanager.moc"
