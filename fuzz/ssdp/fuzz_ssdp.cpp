// Feeds arbitrary bytes to the SSDP datagram parser, as the device reads them
// (method and target) and as the control point reads them (status and
// reason).  Whatever is accepted must hold only non-empty headers with
// distinct names, and building the datagram again and reading it back must
// give the same first line (where the builder keeps it) and the same headers.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QNetworkRequest>
#include <QSet>

#include "ssdpmessage.h"

#include <cstdint>
#include <cstdlib>

namespace {

QList<QPair<QByteArray, QByteArray>> headersOf(const QNetworkRequest& message)
{
    QList<QPair<QByteArray, QByteArray>> result;
    QSet<QByteArray> names;
    const QList<QByteArray> list = message.rawHeaderList();
    for (const QByteArray& name : list) {
        const QByteArray value = message.rawHeader(name);
        if (name.isEmpty() || value.isEmpty() || names.contains(name.toLower()))
            abort();
        names.insert(name.toLower());
        result.append(qMakePair(name, value));
    }
    return result;
}

QNetworkRequest read(const QByteArray& datagram, SsdpMessage::StartLine kind, bool* ok)
{
    QNetworkRequest message;
    *ok = SsdpMessage::parse(datagram, kind, QHostAddress::LocalHost, SsdpMessage::kPort,
                             &message);
    return message;
}

void checkRequestSide(const QByteArray& datagram)
{
    bool ok = false;
    const QNetworkRequest request = read(datagram, SsdpMessage::RequestLine, &ok);
    if (!ok)
        return;
    const auto headers = headersOf(request);
    // The target passes through QUrl, which may normalise it; the method and
    // the headers must come back unchanged.
    const QNetworkRequest again =
        read(SsdpMessage::requestDatagram(request), SsdpMessage::RequestLine, &ok);
    if (!ok || SsdpMessage::method(again) != SsdpMessage::method(request)
        || headersOf(again) != headers)
        abort();
}

void checkResponseSide(const QByteArray& datagram)
{
    bool ok = false;
    const QNetworkRequest response = read(datagram, SsdpMessage::StatusLine, &ok);
    if (!ok)
        return;
    const auto headers = headersOf(response);
    const QNetworkRequest again =
        read(SsdpMessage::responseDatagram(response), SsdpMessage::StatusLine, &ok);
    const auto status = QNetworkRequest::HttpStatusCodeAttribute;
    const auto reason = QNetworkRequest::HttpReasonPhraseAttribute;
    if (!ok || again.attribute(status) != response.attribute(status)
        || again.attribute(reason) != response.attribute(reason) || headersOf(again) != headers)
        abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), int(size));
    checkRequestSide(datagram);
    checkResponseSide(datagram);
    return 0;
}
