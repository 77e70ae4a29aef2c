#include <configurator-common/serviceprotodata.h>

#include <QTest>

class tst_ServiceProtoData : public QObject
{
    Q_OBJECT

private slots:
    void toJson();
    void fromJson_data();
    void fromJson();
};

void tst_ServiceProtoData::toJson()
{
    ServiceProtoStatus status;
    QCOMPARE(status.status, 200);
    QCOMPARE(status.toJson(), QByteArray("{ \"status\" : { \"status\" : 200 } }"));
    ProtoData data;
    data.data = QVariantMap{ { QStringLiteral("a"), 1 } };
    ServiceProtoData* base = &data;
    QCOMPARE(base->toJson(), QByteArray("{ \"json\" : { \"a\" : 1 } }"));
}

void tst_ServiceProtoData::fromJson_data()
{
    QTest::addColumn<bool>("status"); // else ProtoData
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QVariant>("value"); // the status or the data afterwards

    QTest::newRow("status") << true << QByteArray("{\"status\": {\"status\": 401}}") << true << QVariant(401);
    QTest::newRow("status not a map") << true << QByteArray("{\"status\": 5}") << true << QVariant(0);
    QTest::newRow("status not a number") << true << QByteArray("{\"status\": {\"status\": \"x\"}}") << true
                                         << QVariant(0);
    QTest::newRow("further keys") << true << QByteArray("{\"a\": 1, \"status\": {\"status\": 503}}") << true
                                  << QVariant(503);
    QTest::newRow("text ends at a zero byte")
        << true << QByteArray("{\"status\": {\"status\": 7}}\0garbage", 33) << true << QVariant(7);
    QTest::newRow("other type") << true << QByteArray("{\"json\": 1}") << false << QVariant(123);
    QTest::newRow("not JSON") << true << QByteArray("status") << false << QVariant(123);
    QTest::newRow("top-level list") << true << QByteArray("[1]") << false << QVariant(123);
    QTest::newRow("null") << true << QByteArray("null") << false << QVariant(123);
    QTest::newRow("data list") << false << QByteArray("{\"json\": [1, 2]}") << true << QVariant(QVariantList{ 1, 2 });
    QTest::newRow("data null") << false << QByteArray("{\"json\": null}") << true << QVariant();
    QTest::newRow("data in status form") << false << QByteArray("{\"status\": {\"status\": 1}}") << false
                                         << QVariant(QStringLiteral("kept"));
}

void tst_ServiceProtoData::fromJson()
{
    QFETCH(bool, status);
    QFETCH(QByteArray, json);
    QFETCH(bool, accepted);
    QFETCH(QVariant, value);
    ServiceProtoStatus statusPayload;
    statusPayload.status = 123;
    ProtoData dataPayload;
    dataPayload.data = QStringLiteral("kept");
    ServiceProtoData* payload = status ? static_cast<ServiceProtoData*>(&statusPayload) : &dataPayload;
    QCOMPARE(payload->fromJson(json), accepted);
    if (status)
        QCOMPARE(statusPayload.status, value.toInt());
    else
        QCOMPARE(dataPayload.data, value);
}

QTEST_GUILESS_MAIN(tst_ServiceProtoData)
#include "tst_serviceprotodata.moc"
