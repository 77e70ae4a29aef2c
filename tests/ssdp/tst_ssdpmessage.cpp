#include <QHostAddress>
#include <QTest>

#include "ssdpmessage.h"

namespace {

const QUuid kUuid(QStringLiteral("{0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f}"));
const char kUsn[] = "uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::upnp:rootdevice";
const char kServer[] = "WinNT/6.1 UPnP/1.1 unknown/unknown";

SsdpMessage::Identity identity(const QUrl& location)
{
    SsdpMessage::Identity result;
    result.uuid = kUuid;
    result.notificationType = QStringLiteral("upnp:rootdevice");
    result.location = location;
    result.server = QLatin1String(kServer);
    result.maxAge = 900;
    return result;
}

// "name=value" per header, in datagram order, to compare whole header lists.
QStringList headerList(const QNetworkRequest& message)
{
    QStringList result;
    const QList<QByteArray> names = message.rawHeaderList();
    for (const QByteArray& name : names)
        result << QString::fromLatin1(name + '=' + message.rawHeader(name));
    return result;
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
    void announcementBytes_data();
    void announcementBytes();
    void byeByeCarriesNoLocation();
    void searchBytes_data();
    void searchBytes();
    void searchResponseBytes_data();
    void searchResponseBytes();
    void serverValueJoinsItsParts();
    void groupUrlHasTheAnyTarget();
    void requestLine_data();
    void requestLine();
    void statusLine_data();
    void statusLine();
    void headers_data();
    void headers();
    void parsedUrlNamesTheReceiver();
    void headerBytesSurviveAsLatin1();
    void builtDatagramReadsBack();
};

void TestSsdpMessage::announcementBytes_data()
{
    QTest::addColumn<QUrl>("location");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = "NOTIFY * HTTP/1.1\r\n"
                            "Host: 239.255.255.250:1900\r\n"
                            "Cache-control: max-age = 900\r\n"
                            "NT: upnp:rootdevice\r\n"
                            "NTS: ssdp:alive\r\n";
    const QByteArray tail = QByteArray("Server: ") + kServer + "\r\n"
                            + "USN: " + kUsn + "\r\n"
                            + "\r\n";
    QTest::newRow("with location")
        << QUrl(QStringLiteral("http://127.0.0.1:8080/description.xml"))
        << head + "LOCATION: http://127.0.0.1:8080/description.xml\r\n" + tail;
    QTest::newRow("without location") << QUrl() << head + tail;
}

void TestSsdpMessage::announcementBytes()
{
    QFETCH(QUrl, location);
    QFETCH(QByteArray, expected);
    const QNetworkRequest alive = SsdpMessage::notify(SsdpMessage::kAlive, identity(location));
    QCOMPARE(SsdpMessage::requestDatagram(alive), expected);
    QCOMPARE(alive.url().host(), QStringLiteral("239.255.255.250"));
    QCOMPARE(alive.url().port(), 1900);
}

void TestSsdpMessage::byeByeCarriesNoLocation()
{
    const QUrl location(QStringLiteral("http://127.0.0.1/description.xml"));
    const QNetworkRequest byebye = SsdpMessage::notify(SsdpMessage::kByeBye, identity(location));
    QCOMPARE(SsdpMessage::requestDatagram(byebye),
             QByteArray("NOTIFY * HTTP/1.1\r\n"
                        "Host: 239.255.255.250:1900\r\n"
                        "Cache-control: max-age = 900\r\n"
                        "NT: upnp:rootdevice\r\n"
                        "NTS: ssdp:byebye\r\n"
                        "Server: WinNT/6.1 UPnP/1.1 unknown/unknown\r\n"
                        "USN: uuid:0e3c2f5a-7b41-4c8e-9d2f-1a2b3c4d5e6f::upnp:rootdevice\r\n"
                        "\r\n"));
}

void TestSsdpMessage::searchBytes_data()
{
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QByteArray>("mx");

    QTest::newRow("3000") << 3000 << QByteArray("3");
    QTest::newRow("2999") << 2999 << QByteArray("2");
    QTest::newRow("2500") << 2500 << QByteArray("2");
    QTest::newRow("500") << 500 << QByteArray("0");
    QTest::newRow("0") << 0 << QByteArray("0");
}

void TestSsdpMessage::searchBytes()
{
    QFETCH(int, timeout);
    QFETCH(QByteArray, mx);
    const QNetworkRequest search = SsdpMessage::search(
        QStringLiteral("urn:example-com:device:Meter:1"),
        QHostAddress(QStringLiteral("239.255.255.250")), 1900, timeout);
    QCOMPARE(SsdpMessage::requestDatagram(search),
             "M-SEARCH * HTTP/1.1\r\n"
             "Host: 239.255.255.250:1900\r\n"
             "MAN: \"ssdp:discover\"\r\n"
             "MX: " + mx + "\r\n"
             "ST: urn:example-com:device:Meter:1\r\n"
             "\r\n");
}

void TestSsdpMessage::searchResponseBytes_data()
{
    QTest::addColumn<QUrl>("location");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray head = "HTTP/1.1 200 OK\r\n"
                            "Cache-control: max-age = 900\r\n"
                            "EXT: \r\n";
    const QByteArray tail = QByteArray("Server: ") + kServer + "\r\n"
                            + "ST: upnp:rootdevice\r\n"
                            + "USN: " + kUsn + "\r\n"
                            + "\r\n";
    QTest::newRow("with location") << QUrl(QStringLiteral("http://10.0.0.7/d.xml"))
                                   << head + "LOCATION: http://10.0.0.7/d.xml\r\n" + tail;
    QTest::newRow("without location") << QUrl() << head + tail;
}

void TestSsdpMessage::searchResponseBytes()
{
    QFETCH(QUrl, location);
    QFETCH(QByteArray, expected);
    QCOMPARE(SsdpMessage::responseDatagram(SsdpMessage::searchResponse(identity(location))),
             expected);
}

void TestSsdpMessage::serverValueJoinsItsParts()
{
    QCOMPARE(SsdpMessage::serverValue(QStringLiteral("WinNT"), QStringLiteral("6.1"),
                                      QStringLiteral("Meter"), QStringLiteral("2.5")),
             QStringLiteral("WinNT/6.1 UPnP/1.1 Meter/2.5"));
}

void TestSsdpMessage::groupUrlHasTheAnyTarget()
{
    const QUrl url = SsdpMessage::groupUrl();
    QCOMPARE(url.scheme(), QStringLiteral("udp"));
    QCOMPARE(url.host(), QStringLiteral("239.255.255.250"));
    QCOMPARE(url.port(), 1900);
    QCOMPARE(url.path(), QStringLiteral("*"));
}

void TestSsdpMessage::requestLine_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("method");
    QTest::addColumn<QString>("target");

    QTest::newRow("search") << QByteArray("M-SEARCH * HTTP/1.1\r\nST: a\r\n\r\n") << true
                            << "M-SEARCH" << "*";
    QTest::newRow("version not compared") << QByteArray("M-SEARCH * SIP/2.0\r\n\r\n") << true
                                          << "M-SEARCH" << "*";
    QTest::newRow("four parts") << QByteArray("NOTIFY /x HTTP/1.1 extra\r\n") << true
                                << "NOTIFY" << "/x";
    QTest::newRow("double blank") << QByteArray("M-SEARCH  * HTTP/1.1\r\n") << true
                                  << "M-SEARCH" << "";
    QTest::newRow("two parts") << QByteArray("NOTIFY *\r\nNT: upnp:rootdevice\r\n\r\n") << false
                               << "" << "";
    QTest::newRow("bare line feeds")
        << QByteArray("M-SEARCH * HTTP/1.1\nST: upnp:rootdevice\n\n") << false << "" << "";
    QTest::newRow("no line end") << QByteArray("M-SEARCH * HTTP/1.1") << false << "" << "";
    QTest::newRow("empty") << QByteArray() << false << "" << "";
    QTest::newRow("only line end") << QByteArray("\r\n") << false << "" << "";
    // Header lines are capped so that one datagram cannot stall the reader.
    QTest::newRow("128 lines") << "M-SEARCH * HTTP/1.1\r\n" + manyHeaderLines(126) + "\r\n"
                               << true << "M-SEARCH" << "*";
    QTest::newRow("129 lines") << "M-SEARCH * HTTP/1.1\r\n" + manyHeaderLines(127) + "\r\n"
                               << false << "" << "";
}

void TestSsdpMessage::requestLine()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QString, method);
    QFETCH(QString, target);

    QNetworkRequest message(QUrl(QStringLiteral("udp://untouched")));
    QCOMPARE(SsdpMessage::parse(datagram, SsdpMessage::RequestLine,
                                QHostAddress::LocalHost, 1900, &message),
             accepted);
    if (!accepted) {
        QCOMPARE(message.url(), QUrl(QStringLiteral("udp://untouched")));
        return;
    }
    QCOMPARE(SsdpMessage::method(message), method);
    QCOMPARE(message.url().path(), target);
}

void TestSsdpMessage::statusLine_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("reason");

    QTest::newRow("ok") << QByteArray("HTTP/1.1 200 OK\r\nST: a\r\n\r\n") << true << "200" << "OK";
    QTest::newRow("reason is one word") << QByteArray("HTTP/1.1 404 Not Found\r\n\r\n") << true
                                        << "404" << "Not";
    QTest::newRow("request line read as status")
        << QByteArray("M-SEARCH * HTTP/1.1\r\n\r\n") << true << "*" << "HTTP/1.1";
    QTest::newRow("two parts") << QByteArray("HTTP/1.1 200\r\n\r\n") << false << "" << "";
    QTest::newRow("bare line feeds") << QByteArray("HTTP/1.1 200 OK\nST: a\n\n") << false
                                     << "" << "";
}

void TestSsdpMessage::statusLine()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, accepted);
    QFETCH(QString, status);
    QFETCH(QString, reason);

    QNetworkRequest message;
    QCOMPARE(SsdpMessage::parse(datagram, SsdpMessage::StatusLine,
                                QHostAddress::LocalHost, 1900, &message),
             accepted);
    if (!accepted)
        return;
    QCOMPARE(message.attribute(QNetworkRequest::HttpStatusCodeAttribute).toString(), status);
    QCOMPARE(message.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString(), reason);
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
    QTest::newRow("no colon") << QByteArray("no colon here\r\nST: a\r\n")
                              << QStringList{"ST=a"};
    QTest::newRow("same name other case")
        << QByteArray("ST: a\r\nst: b\r\n") << QStringList{"st=b"};
    QTest::newRow("repeat moves to the end")
        << QByteArray("ST: a\r\nMX: 1\r\nST: c\r\n") << QStringList{"MX=1", "ST=c"};
    QTest::newRow("empty value kept nothing") << QByteArray("EXT:\r\n") << QStringList();
    QTest::newRow("empty value removes")
        << QByteArray("ST: a\r\nMX: 2\r\nst:  \r\n") << QStringList{"MX=2"};
    QTest::newRow("bare line feed stays in the value")
        << QByteArray("ST: a\nMX: 2\r\n") << QStringList{"ST=a\nMX: 2"};
    QTest::newRow("lines after the empty line") << QByteArray("\r\nMX: 2\r\n")
                                                << QStringList{"MX=2"};
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

void TestSsdpMessage::parsedUrlNamesTheReceiver()
{
    QNetworkRequest request;
    QVERIFY(SsdpMessage::parse("M-SEARCH /desc HTTP/1.1\r\n\r\n", SsdpMessage::RequestLine,
                               QHostAddress(QStringLiteral("10.1.2.3")), 1900, &request));
    QCOMPARE(request.url().scheme(), QStringLiteral("udp"));
    QCOMPARE(request.url().host(), QStringLiteral("10.1.2.3"));
    QCOMPARE(request.url().port(), 1900);
    QCOMPARE(request.url().path(), QStringLiteral("/desc"));
}

void TestSsdpMessage::headerBytesSurviveAsLatin1()
{
    const QByteArray value("caf\xe9 \xff");
    QNetworkRequest request;
    QVERIFY(SsdpMessage::parse("HTTP/1.1 200 OK\r\nServer: " + value + "\r\n\r\n",
                               SsdpMessage::StatusLine, QHostAddress::LocalHost, 1900, &request));
    QCOMPARE(request.rawHeader("server"), value);
}

void TestSsdpMessage::builtDatagramReadsBack()
{
    const QNetworkRequest alive = SsdpMessage::notify(
        SsdpMessage::kAlive, identity(QUrl(QStringLiteral("http://127.0.0.1/d.xml"))));
    QNetworkRequest read;
    QVERIFY(SsdpMessage::parse(SsdpMessage::requestDatagram(alive), SsdpMessage::RequestLine,
                               QHostAddress::LocalHost, 1900, &read));
    QCOMPARE(SsdpMessage::method(read), QStringLiteral("NOTIFY"));
    QCOMPARE(headerList(read), headerList(alive));
}

QTEST_GUILESS_MAIN(TestSsdpMessage)
#include "tst_ssdpmessage.moc"
