#include <configurator-common/restmessage.h>

#include <QBuffer>
#include <QPointer>
#include <QTest>

using Headers = QList<QPair<QString, QVariant>>;

class tst_RestMessage : public QObject
{
    Q_OBJECT

private slots:
    void statusTextAndLine_data();
    void statusTextAndLine();
    void requestLineFromMethodAndUrl();
    void wireFormat_data();
    void wireFormat();
    void receivedHeaderLine_data();
    void receivedHeaderLine();
    void contentIsOwned();
};

void tst_RestMessage::statusTextAndLine_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("401") << 401 << "Unauthorized";
    QTest::newRow("405") << 405 << "Not allowed";
    QTest::newRow("423") << 423 << "Unrecoverable error";
    QTest::newRow("506") << 506 << "Not supported";
    QTest::newRow("402 unlisted") << 402 << "Unknown status code";
    QTest::newRow("0 ends the table") << 0 << "Unknown status code";
    QTest::newRow("negative") << -1 << "Unknown status code";
}

void tst_RestMessage::statusTextAndLine()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(RestMessage::responseStatusText(RestMessage::ResponseStatus(code)), text);
    RestMessage message;
    message.setStartLine(RestMessage::ResponseStatus(code));
    QCOMPARE(message.startLine(), QStringLiteral("HTTP/1.1 %1 %2").arg(code).arg(text));
}

void tst_RestMessage::requestLineFromMethodAndUrl()
{
    RestMessage message;
    message.setStartLine(QStringLiteral("GET"), QUrl(QStringLiteral("/status")));
    QCOMPARE(message.startLine(), QStringLiteral("GET /status HTTP/1.1"));
    // One-pass substitution: a "%2" inside the method is not replaced again.
    message.setStartLine(QStringLiteral("X%2"), QUrl(QStringLiteral("/a")));
    QCOMPARE(message.startLine(), QStringLiteral("X%2 /a HTTP/1.1"));
}

void tst_RestMessage::wireFormat_data()
{
    QTest::addColumn<Headers>("headers");
    QTest::addColumn<QByteArray>("content"); // null: none
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("no content, no length") << Headers() << QByteArray() << QByteArray("P / HTTP/1.1\r\n\r\n");
    QTest::newRow("empty content, length 0")
        << Headers() << QByteArray("") << QByteArray("P / HTTP/1.1\r\nContent-Length: 0\r\n\r\n");
    QTest::newRow("length after the headers")
        << Headers{ { "X-Id", 7 } } << QByteArray("abc")
        << QByteArray("P / HTTP/1.1\r\nX-Id: 7\r\nContent-Length: 3\r\n\r\nabc");
    QTest::newRow("hand-set length in any case is kept")
        << Headers{ { "Content-length", 10 } } << QByteArray("abc")
        << QByteArray("P / HTTP/1.1\r\nContent-length: 10\r\n\r\nabc");
    QTest::newRow("hand-set length without a value is kept")
        << Headers{ { "Content-Length", QVariant() } } << QByteArray("abc")
        << QByteArray("P / HTTP/1.1\r\nContent-Length: \r\n\r\nabc");
    // A name in another case is a header of its own, but every lookup finds the first.
    QTest::newRow("names keep their case, lookup ignores it")
        << Headers{ { "Content-Type", "a" }, { "content-type", "b" }, { "Content-Type", "c" } } << QByteArray()
        << QByteArray("P / HTTP/1.1\r\nContent-Type: c\r\ncontent-type: c\r\n\r\n");
    // Both become the one character U+00E9, written as UTF-8.
    QTest::newRow("byte array value is 8-bit text")
        << Headers{ { "Authorization", QByteArray("Basic \xe9") }, { "Name", QStringLiteral("\u00e9") } }
        << QByteArray() << QByteArray("P / HTTP/1.1\r\nAuthorization: Basic \xc3\xa9\r\nName: \xc3\xa9\r\n\r\n");
}

void tst_RestMessage::wireFormat()
{
    QFETCH(Headers, headers);
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, bytes);
    RestMessage message(QStringLiteral("P / HTTP/1.1"));
    for (const auto& header : headers)
        message.setHeader(header.first, header.second);
    if (!content.isNull())
        message.setContent(content);
    QCOMPARE(message.toByteArray(), bytes);
}

void tst_RestMessage::receivedHeaderLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("value");
    QTest::newRow("port in value is dropped") << QByteArray("Host: 10.0.0.5:80") << QStringList() << QString();
    QTest::newRow("value trimmed") << QByteArray("X-Id:  7") << QStringList({ "X-Id" }) << "7";
    QTest::newRow("name kept with blank") << QByteArray("Name : v") << QStringList({ "Name " }) << "v";
    QTest::newRow("no colon") << QByteArray("garbage") << QStringList() << QString();
    QTest::newRow("time value") << QByteArray("Date: 12:00") << QStringList() << QString();
    QTest::newRow("empty value") << QByteArray("Content-Length:") << QStringList({ "Content-Length" }) << "";
}

void tst_RestMessage::receivedHeaderLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, names);
    QFETCH(QString, value);
    RestMessage message;
    message.parseHeaderLine(line);
    QCOMPARE(message.headers(), names);
    if (!names.isEmpty()) {
        QCOMPARE(message.header(names.first()).toString(), value);
        QCOMPARE(message.header(names.first()).userType(), int(QMetaType::QString));
    }
}

void tst_RestMessage::contentIsOwned()
{
    QPointer<QIODevice> first = new QBuffer;
    QPointer<QIODevice> second = new QBuffer;
    {
        RestMessage message;
        message.setContent(first);
        message.setContent(first); // the same device again is kept
        QCOMPARE(message.content(), first.data());
        message.setContent(QByteArray("x"));
        QVERIFY(!first);
        QCOMPARE(message.content()->readAll(), QByteArray("x"));
        message.setContent(second);
    }
    QVERIFY(!second);
}

QTEST_GUILESS_MAIN(tst_RestMessage)
#include "tst_restmessage.moc"
