#include <QHostAddress>
#include <QTest>

#include "ssdpmessage.h"

namespace {

const char kUsn[] = "uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::upnp:rootdevice";
const char kServer[] = "WinNT/6.1 UPnP/1.1 Meter/2.5";

// "name=value" per header, in datagram order, to compare whole header lists.
QStringList headerList(const QNetworkRequest& message)
{
    QStringList result;
    for (const QByteArray& name : message.rawHeaderList())
        result << QString::fromLatin1(name + '=' + message.rawHeader(name));
    return result;
}

// "scheme://host:port path" even where the path "*" makes the URL invalid.
QString place(const QUrl& url)
{
    return QStringLiteral("%1://%2:%3 %4").arg(url.scheme(), url.host()).arg(url.port()).arg(url.path());
}

// Distinct header names, so that every line adds a header.
QByteArray manyHeaderLines(int count)
{
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += "X-" + QByteArray::number(i) + ": v\r\n";
    return lines;
}

} // namespace

class TestSsdpMessage : public QObject
{
    Q_OBJECT
private slots:
    void datagramBytes_data();
    void datagramBytes();
    void parse_data();
    void parse();
    void headers_data();
    void headers();
};

void TestSsdpMessage::datagramBytes_data()
{
    QTest::addColumn<QByteArray>("nts");    // empty for the answer to a search
    QTest::addColumn<QUrl>("location");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray notify = "NOTIFY * HTTP/1.1\r\nHost: 239.255.255.250:1900\r\n"
                              "Cache-control: max-age = 900\r\nNT: upnp:rootdevice\r\n";
    const QByteArray answer = "HTTP/1.1 200 OK\r\nCache-control: max-age = 900\r\nEXT: \r\n";
    const QByteArray server = QByteArray("Server: ") + kServer + "\r\n";
    const QByteArray usn = QByteArray("USN: ") + kUsn + "\r\n\r\n";
    const QUrl location(QStringLiteral("http://127.0.0.1:8080/d.xml"));
    const QByteArray locationLine = "LOCATION: http://127.0.0.1:8080/d.xml\r\n";

    QTest::newRow("alive") << QByteArray("ssdp:alive") << location
                           << notify + "NTS: ssdp:alive\r\n" + locationLine + server + usn;
    QTest::newRow("alive without location") << QByteArray("ssdp:alive") << QUrl()
                                            << notify + "NTS: ssdp:alive\r\n" + server + usn;
    // A withdrawal names no place to go.
    QTest::newRow("byebye") << QByteArray("ssdp:byebye") << location
                            << notify + "NTS: ssdp:byebye\r\n" + server + usn;
    QTest::newRow("answer") << QByteArray() << location
                            << answer + locationLine + server + "ST: upnp:rootdevice\r\n" + usn;
    QTest::newRow("answer without location")
        << QByteArray() << QUrl() << answer + server + "ST: upnp:rootdevice\r\n" + usn;
}

void TestSsdpMessage::datagramBytes()
{
    QFETCH(QByteArray, nts);
    QFETCH(QUrl, location);
    QFETCH(QByteArray, expected);
    SsdpMessage::Identity identity;
    identity.uuid = QUuid(QStringLiteral("{0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f}"));
    identity.notificationType = QStringLiteral("upnp:rootdevice");
    identity.location = location;
    identity.server = SsdpMessage::serverValue(QStringLiteral("WinNT"), QStringLiteral("6.1"),
                                               QStringLiteral("Meter"), QStringLiteral("2.5"));
    identity.maxAge = 900;

    const bool isNotify = !nts.isEmpty();
    const QNetworkRequest built = isNotify ? SsdpMessage::notify(nts, identity)
                                           : SsdpMessage::searchResponse(identity);
    const QByteArray bytes = isNotify ? SsdpMessage::requestDatagram(built)
                                      : SsdpMessage::responseDatagram(built);
    QCOMPARE(bytes, expected);
    if (!isNotify)
        return;
    QCOMPARE(place(built.url()), QStringLiteral("udp://239.255.255.250:1900 *"));
    // What one end writes, the other reads back header for header.
    QNetworkRequest read;
    QVERIFY(SsdpMessage::parse(bytes, SsdpMessage::RequestLine, QHostAddress::LocalHost, 1900,
                               &read));
    QCOMPARE(headerList(read), headerList(built));
}

void TestSsdpMessage::parse_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("first");     // method, or status code
    QTest::addColumn<QString>("second");    // request target, or reason

    const auto row = [](const char* name, SsdpMessage::StartLine kind, const QByteArray& datagram,
                        const char* first = nullptr, const char* second = nullptr) {
        QTest::newRow(name) << int(kind) << datagram << (first != nullptr)
                            << QString::fromLatin1(first) << QString::fromLatin1(second);
    };
    const auto request = SsdpMessage::RequestLine;
    const auto status = SsdpMessage::StatusLine;
    row("search", request, "M-SEARCH /x HTTP/1.1\r\nST: a\r\n\r\n", "M-SEARCH", "/x");
    row("version not compared", request, "M-SEARCH * SIP/2.0\r\n\r\n", "M-SEARCH", "*");
    row("four parts", request, "NOTIFY /x HTTP/1.1 extra\r\n", "NOTIFY", "/x");
    row("double blank", request, "M-SEARCH  * HTTP/1.1\r\n", "M-SEARCH", "");
    row("two parts", request, "NOTIFY *\r\nNT: a\r\n\r\n");
    row("bare line feeds", request, "M-SEARCH * HTTP/1.1\nST: a\n\n");
    row("no line end", request, "M-SEARCH * HTTP/1.1");
    row("empty", request, "");
    row("only line end", request, "\r\n");
    // Header lines are capped so that one datagram cannot stall the reader.
    row("128 lines", request, "M-SEARCH * HTTP/1.1\r\n" + manyHeaderLines(126) + "\r\n",
        "M-SEARCH", "*");
    row("129 lines", request, "M-SEARCH * HTTP/1.1\r\n" + manyHeaderLines(127) + "\r\n");
    row("ok", status, "HTTP/1.1 200 OK\r\nST: a\r\n\r\n", "200", "OK");
    row("reason is one word", status, "HTTP/1.1 404 Not Found\r\n\r\n", "404", "Not");
    row("request line read as status", status, "M-SEARCH * HTTP/1.1\r\n\r\n", "*", "HTTP/1.1");
    row("status in two parts", status, "HTTP/1.1 200\r\n\r\n");
    row("status with bare line feeds", status, "HTTP/1.1 200 OK\nST: a\n\n");
}

void TestSsdpMessage::parse()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QString, first);
    QFETCH(QString, second);

    const QUrl untouched(QStringLiteral("udp://untouched"));
    QNetworkRequest message(untouched);
    QCOMPARE(SsdpMessage::parse(datagram, SsdpMessage::StartLine(kind),
                                QHostAddress(QStringLiteral("10.1.2.3")), 1900, &message),
             accepted);
    if (!accepted) {
        QCOMPARE(message.url(), untouched);
        return;
    }
    const bool isRequest = kind == SsdpMessage::RequestLine;
    QCOMPARE(place(message.url()), "udp://10.1.2.3:1900 " + (isRequest ? second : QString()));
    QCOMPARE(isRequest ? SsdpMessage::method(message)
                       : message.attribute(QNetworkRequest::HttpStatusCodeAttribute).toString(),
             first);
    if (!isRequest)
        QCOMPARE(message.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(), second);
}

void TestSsdpMessage::headers_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("split at first colon")
        << QByteArray("ST:upnp:rootdevice\r\n") << QStringList{"ST=upnp:rootdevice"};
    QTest::newRow("trimmed") << QByteArray("  MX :  3 \t\r\n") << QStringList{"MX=3"};
    QTest::newRow("colon first") << QByteArray(": x\r\nST: a\r\n") << QStringList{"ST=a"};
    QTest::newRow("blank name") << QByteArray(" : x\r\n") << QStringList();
    QTest::newRow("no colon") << QByteArray("no colon here\r\nST: a\r\n") << QStringList{"ST=a"};
    QTest::newRow("same name other case") << QByteArray("ST: a\r\nst: b\r\n")
                                          << QStringList{"st=b"};
    QTest::newRow("repeat moves to the end")
        << QByteArray("ST: a\r\nMX: 1\r\nST: c\r\n") << QStringList{"MX=1", "ST=c"};
    QTest::newRow("empty value removes")
        << QByteArray("EXT:\r\nST: a\r\nMX: 2\r\nst:  \r\n") << QStringList{"MX=2"};
    QTest::newRow("bare line feed stays in the value")
        << QByteArray("ST: a\nMX: 2\r\n") << QStringList{"ST=a\nMX: 2"};
    QTest::newRow("lines after the empty line") << QByteArray("\r\nMX: 2\r\n")
                                                << QStringList{"MX=2"};
    QTest::newRow("bytes survive as Latin-1")
        << QByteArray("Server: caf\xe9 \xff\r\n") << QStringList{QString::fromLatin1("Server=caf\xe9 \xff")};
}

void TestSsdpMessage::headers()
{
    QFETCH(QByteArray, lines);
    QFETCH(QStringList, expected);

    QNetworkRequest request;
    QVERIFY(SsdpMessage::parse("M-SEARCH * HTTP/1.1\r\n" + lines, SsdpMessage::RequestLine,
                               QHostAddress::LocalHost, 1900, &request));
    QCOMPARE(headerList(request), expected);
    QNetworkRequest response;
    QVERIFY(SsdpMessage::parse("HTTP/1.1 200 OK\r\n" + lines, SsdpMessage::StatusLine,
                               QHostAddress::LocalHost, 1900, &response));
    QCOMPARE(headerList(response), expected);
}

QTEST_GUILESS_MAIN(TestSsdpMessage)
#include "tst_ssdpmessage.moc"
