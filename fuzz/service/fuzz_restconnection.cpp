// Feeds arbitrary bytes, in arbitrary splits, through RestConnection's reading
// machine, then ends the stream.  Every complete message is checked (content
// exactly as long as declared; without a length, none for a request and up to
// the end for a response), written back in the wire format and read again in
// one piece, which must give one message with the same content.  Half the inputs go
// through RestServer's request dispatch and its answer.
#include "restconnection.h"
#include "restmessage.h"
#include "restserver.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QUrl>

#include <cstdint>
#include <cstdlib>

namespace {

// A stream that delivers exactly what was fed so far.
class FeedDevice : public QIODevice
{
public:
    FeedDevice() { open(QIODevice::ReadWrite); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return pending.size() + QIODevice::bytesAvailable(); }
    bool canReadLine() const override { return pending.contains('\n') || QIODevice::canReadLine(); }

    void feed(const QByteArray& bytes)
    {
        pending += bytes;
        emit readyRead();
    }
    // The peer closed: a response without a length ends here.
    void finish() { emit readChannelFinished(); }

    QByteArray written;

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, pending.size());
        memcpy(data, pending.constData(), size_t(n));
        pending.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char* data, qint64 size) override
    {
        if (written.size() < 1 << 20)
            written.append(data, int(size));
        return size;
    }

private:
    QByteArray pending;
};

void check(bool condition)
{
    if (!condition)
        abort();
}

QByteArray contentOf(RestMessage* message)
{
    QIODevice* content = message->content();
    if (!content)
        return QByteArray();
    check(content->pos() == content->size());
    content->seek(0);
    return content->readAll();
}

void checkMessage(RestMessage* message)
{
    const QByteArray content = contentOf(message);
    const QVariant length = message->header(QStringLiteral("Content-Length"));
    if (length.isValid())
        check(content.size() == length.toString().toLongLong());
    else if (!message->startLine().startsWith(QLatin1String("HTTP")))
        check(message->content() == nullptr);

    // What was read is written back and must read the same.
    FeedDevice device;
    RestConnection again(&device, nullptr);
    device.feed(message->toByteArray());
    RestMessage* copy = again.nextMessage();
    check(copy != nullptr);
    check(contentOf(copy) == content);
    check(again.nextMessage() == nullptr);
    delete copy;
}

class CheckingServer : public RestServer
{
protected:
    void processRequest(RestConnection* connection, const QString& method, const QUrl& url,
                        RestMessage* request) override
    {
        check(!method.contains(QLatin1Char(' ')));
        (void)url.path();
        checkMessage(request);
        RestServer::processRequest(connection, method, url, request);
    }
};

void quietMessages(QtMsgType, const QMessageLogContext&, const QString&)
{
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(quietMessages);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t mode = data[0];
    uint32_t seed = data[1] | 1u;
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), int(size - 2));
    static const int kMaxSplit[] = { 1, 3, 16, 100, 1000, 1 << 20 };
    const int maxSplit = kMaxSplit[(mode & 0x7) % 6];

    FeedDevice device;
    RestConnection connection(&device, nullptr);
    CheckingServer server;
    const bool dispatch = mode & 0x8;
    if (dispatch) {
        QObject::connect(&connection, SIGNAL(messageReceived()), &server, SLOT(receiveMessage()));
    }

    int offset = 0;
    while (offset < bytes.size()) {
        seed = seed * 1103515245u + 12345u;
        const int piece = 1 + int((seed >> 8) % uint32_t(maxSplit));
        device.feed(bytes.mid(offset, piece));
        offset += piece;
        if (!dispatch) {
            while (RestMessage* message = connection.nextMessage()) {
                checkMessage(message);
                delete message;
            }
        }
        if (!device.isOpen())
            break;
    }
    if (device.isOpen()) {
        device.finish();
        while (RestMessage* message = connection.nextMessage()) {
            checkMessage(message);
            delete message;
        }
    }
    return 0;
}
