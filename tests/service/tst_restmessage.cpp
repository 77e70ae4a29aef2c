#include <configurator-common/restmessage.h>

#include <QBuffer>
#include <QPointer>
#include <QTest>

class tst_RestMessage : public QObject
{
    Q_OBJECT

private slots:
    void responseStatusText_data();
    void responseStatusText();
    void requestLineFromMethodAndUrl();
    void statusLine_data();
    void statusLine();
    void headersKeepCaseAndLookUpIgnoringIt();
    void contentGetsLengthLine();
    void handSetLengthIsWrittenAsIs();
    void emptyContentHasZeroLengthAndNoContentHasNone();
    void byteArrayHeaderIsEightBitText();
    void receivedHeaderLine_data();
    void receivedHeaderLine();
    void replacingContentDeletesOldDevice();
    void destructorDeletesContent();
};

void tst_RestMessage::responseStatusText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("200") << 200 << "OK";
    QTest::newRow("400") << 400 << "Bad request";
    QTest::newRow("401") << 401 << "Unauthorized";
    QTest::newRow("403") << 403 << "Forbidden";
    QTest::newRow("404") << 404 << "Not found";
    QTest::newRow("405") << 405 << "Not allowed";
    QTest::newRow("406") << 406 << "Not acceptable";
    QTest::newRow("408") << 408 << "Request timeout";
    QTest::newRow("409") << 409 << "Conflict";
    QTest::newRow("410") << 410 << "Gone";
    QTest::newRow("415") << 415 << "Unsupported media type";
    QTest::newRow("422") << 422 << "Unprocessable entity";
    QTest::newRow("423") << 423 << "Unrecoverable error";
    QTest::newRow("500") << 500 << "Internal error";
    QTest::newRow("501") << 501 << "Not implemented";
    QTest::newRow("503") << 503 << "Service unavailable";
    QTest::newRow("506") << 506 << "Not supported";
    QTest::newRow("402 unlisted") << 402 << "Unknown status code";
    QTest::newRow("0 ends the table") << 0 << "Unknown status code";
    QTest::newRow("negative") << -1 << "Unknown status code";
}

void tst_RestMessage::responseStatusText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(RestMessage::responseStatusText(RestMessage::ResponseStatus(code)), text);
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

void tst_RestMessage::statusLine_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("line");
    QTest::newRow("401") << 401 << "HTTP/1.1 401 Unauthorized";
    QTest::newRow("299") << 299 << "HTTP/1.1 299 Unknown status code";
    QTest::newRow("405") << 405 << "HTTP/1.1 405 Not allowed";
}

void tst_RestMessage::statusLine()
{
    QFETCH(int, code);
    QFETCH(QString, line);
    RestMessage message;
    message.setStartLine(RestMessage::ResponseStatus(code));
    QCOMPARE(message.startLine(), line);
}

void tst_RestMessage::headersKeepCaseAndLookUpIgnoringIt()
{
    RestMessage message(QStringLiteral("HTTP/1.1 200 OK"));
    message.setHeader(QStringLiteral("Content-Type"), QStringLiteral("a"));
    message.setHeader(QStringLiteral("content-type"), QStringLiteral("b"));
    QCOMPARE(message.headers(), QStringList({ "Content-Type", "content-type" }));
    QCOMPARE(message.header(QStringLiteral("CONTENT-TYPE")).toString(), QStringLiteral("a"));
    QCOMPARE(message.header(QStringLiteral("missing")).isNull(), true);
    QCOMPARE(message.header(QStringLiteral("missing")).isValid(), false);
    QCOMPARE(message.headerBlock(),
             QByteArray("HTTP/1.1 200 OK\r\nContent-Type: a\r\ncontent-type: a\r\n\r\n"));
    message.setHeader(QStringLiteral("Content-Type"), QStringLiteral("c"));
    QCOMPARE(message.headers().size(), 2);
    QCOMPARE(message.header(QStringLiteral("content-TYPE")).toString(), QStringLiteral("c"));
}

void tst_RestMessage::contentGetsLengthLine()
{
    RestMessage message(QStringLiteral("POST /x HTTP/1.1"));
    message.setHeader(QStringLiteral("X-Id"), 7);
    message.setContent(QByteArray("abc"));
    QCOMPARE(message.toByteArray(),
             QByteArray("POST /x HTTP/1.1\r\nX-Id: 7\r\nContent-Length: 3\r\n\r\nabc"));
}

void tst_RestMessage::handSetLengthIsWrittenAsIs()
{
    RestMessage message(QStringLiteral("HTTP/1.1 200 OK"));
    message.setHeader(QStringLiteral("Content-length"), 10);
    message.setContent(QByteArray("abc"));
    QCOMPARE(message.toByteArray(),
             QByteArray("HTTP/1.1 200 OK\r\nContent-length: 10\r\n\r\nabc"));
}

void tst_RestMessage::emptyContentHasZeroLengthAndNoContentHasNone()
{
    RestMessage empty(QStringLiteral("PUT / HTTP/1.1"));
    empty.setContent(QByteArray());
    QVERIFY(empty.content());
    QCOMPARE(empty.content()->size(), qint64(0));
    QCOMPARE(empty.toByteArray(), QByteArray("PUT / HTTP/1.1\r\nContent-Length: 0\r\n\r\n"));

    RestMessage none(QStringLiteral("GET / HTTP/1.1"));
    QCOMPARE(none.toByteArray(), QByteArray("GET / HTTP/1.1\r\n\r\n"));
}

void tst_RestMessage::byteArrayHeaderIsEightBitText()
{
    RestMessage message(QStringLiteral("GET / HTTP/1.1"));
    message.setHeader(QStringLiteral("Authorization"), QByteArray("Basic \xe9"));
    message.setHeader(QStringLiteral("Name"), QStringLiteral("\u00e9"));
    // Both become the one character U+00E9, written as UTF-8.
    QCOMPARE(message.headerBlock(),
             QByteArray("GET / HTTP/1.1\r\nAuthorization: Basic \xc3\xa9\r\nName: \xc3\xa9\r\n\r\n"));
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
        QCOMPARE(message.header(names.first()).type(), QVariant::String);
    }
}

void tst_RestMessage::replacingContentDeletesOldDevice()
{
    RestMessage message;
    QPointer<QBuffer> first = new QBuffer;
    message.setContent(first.data());
    message.setContent(first.data());
    QVERIFY(first);
    QCOMPARE(message.content(), static_cast<QIODevice*>(first.data()));
    message.setContent(QByteArray("x"));
    QVERIFY(!first);
    QPointer<QIODevice> second = message.content();
    QVERIFY(second->isReadable());
    QCOMPARE(second->readAll(), QByteArray("x"));
    message.setContent(static_cast<QIODevice*>(nullptr));
    QVERIFY(!second);
    QVERIFY(!message.content());
}

void tst_RestMessage::destructorDeletesContent()
{
    QPointer<QBuffer> device = new QBuffer;
    {
        RestMessage message;
        message.setContent(device.data());
    }
    QVERIFY(!device);
}

QTEST_GUILESS_MAIN(tst_RestMessage)
#include "tst_restmessage.moc"
