#include <configurator-common/serviceprotodata.h>

#include <QTest>

class tst_ServiceProtoData : public QObject
{
    Q_OBJECT

private slots:
    void newStatusIs200();
    void statusFromJson_data();
    void statusFromJson();
    void dataFromJson_data();
    void dataFromJson();
    void roundTripThroughBase();
    void textEndsAtZeroByte();
};

void tst_ServiceProtoData::newStatusIs200()
{
    ServiceProtoStatus status;
    QCOMPARE(status.status, 200);
    QCOMPARE(status.typeName(), QStringLiteral("status"));
    QCOMPARE(status.toJson(), QByteArray("{ \"status\" : { \"status\" : 200 } }"));
    status.status = 404;
    QCOMPARE(status.toJson(), QByteArray("{ \"status\" : { \"status\" : 404 } }"));
}

void tst_ServiceProtoData::statusFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("status");
    QTest::newRow("wrapped status") << QByteArray("{\"status\": {\"status\": 401}}") << true << 401;
    QTest::newRow("not a map") << QByteArray("{\"status\": 5}") << true << 0;
    QTest::newRow("status not a number") << QByteArray("{\"status\": {\"status\": \"x\"}}") << true << 0;
    QTest::newRow("further keys") << QByteArray("{\"a\": 1, \"status\": {\"status\": 503}}") << true << 503;
    QTest::newRow("other type") << QByteArray("{\"json\": 1}") << false << 123;
    QTest::newRow("array") << QByteArray("[1]") << false << 123;
    QTest::newRow("not JSON") << QByteArray("status") << false << 123;
    QTest::newRow("empty") << QByteArray() << false << 123;
    QTest::newRow("null") << QByteArray("null") << false << 123;
}

void tst_ServiceProtoData::statusFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, accepted);
    QFETCH(int, status);
    ServiceProtoStatus payload;
    payload.status = 123;
    QCOMPARE(payload.fromJson(json), accepted);
    QCOMPARE(payload.status, status);
}

void tst_ServiceProtoData::dataFromJson_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("data");
    QTest::newRow("list") << QByteArray("{\"json\": [1, 2]}") << true
                          << QVariant(QVariantList({ 1, 2 }));
    QTest::newRow("null") << QByteArray("{\"json\": null}") << true << QVariant();
    QTest::newRow("status form") << QByteArray("{\"status\": {\"status\": 1}}") << false
                                 << QVariant(QStringLiteral("kept"));
}

void tst_ServiceProtoData::dataFromJson()
{
    QFETCH(QByteArray, json);
    QFETCH(bool, accepted);
    QFETCH(QVariant, data);
    ProtoData payload;
    payload.data = QStringLiteral("kept");
    QCOMPARE(payload.fromJson(json), accepted);
    QCOMPARE(payload.data.isValid(), data.isValid());
    if (data.type() == QVariant::List) {
        const QVariantList list = payload.data.toList();
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).toInt(), 1);
        QCOMPARE(list.at(1).toInt(), 2);
    } else if (data.isValid()) {
        QCOMPARE(payload.data, data);
    }
}

void tst_ServiceProtoData::roundTripThroughBase()
{
    ProtoData source;
    QVariantMap map;
    map.insert(QStringLiteral("a"), 1);
    source.data = map;
    ServiceProtoData* base = &source;
    QCOMPARE(base->toJson(), QByteArray("{ \"json\" : { \"a\" : 1 } }"));

    ProtoData copy;
    ServiceProtoData* target = &copy;
    QVERIFY(target->fromJson(base->toJson()));
    QCOMPARE(copy.data.toMap().value(QStringLiteral("a")).toInt(), 1);
}

void tst_ServiceProtoData::textEndsAtZeroByte()
{
    ServiceProtoStatus payload;
    QByteArray json("{\"status\": {\"status\": 7}}");
    json.append('\0');
    json.append("garbage");
    QVERIFY(payload.fromJson(json));
    QCOMPARE(payload.status, 7);
}

QTEST_GUILESS_MAIN(tst_ServiceProtoData)
#include "tst_serviceprotodata.moc"
