#include "restconnection.h"
#include "restconnection_p.h"
#include "restmessage.h"

#include <QAbstractSocket>
#include <QBuffer>
#include <QDebug>
#include <QIODevice>
#include <QPointer>

namespace {

const char kContentLengthHeader[] = "Content-Length";
const int kMaxLengthDigits = 18;
const char kResponsePrefix[] = "HTTP";
// How a response that follows another begins.
const char kNextResponse[] = "HTTP/";

// A length is plain decimal digits; signs, blanks of any kind and other
// notations are refused, as are values that would not fit.
qint64 parseLength(const QString& text)
{
    if (text.isEmpty() || text.size() > kMaxLengthDigits)
        return -1;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    return text.toLongLong();
}

} // namespace

RestConnection::RestConnection(QIODevice* device, QObject* parent)
    : QObject(parent)
    , d(new RestConnectionPrivate)
{
    d->device = device;
    if (!device)
        return;
    connect(device, &QIODevice::readyRead, this, &RestConnection::readNext);
    connect(device, &QIODevice::bytesWritten, this, &RestConnection::writeNext);
    // The end of the stream completes a response that runs to it.
    connect(device, &QIODevice::readChannelFinished, this, [this]() { finishReading(); });
    // Any stream that knows a peer (sockets, local sockets) reports its loss.
    if (device->metaObject()->indexOfSignal("disconnected()") >= 0) {
        connect(this, &RestConnection::disconnected, this, [this]() { finishReading(); });
        connect(device, SIGNAL(disconnected()), this, SIGNAL(disconnected()));
    }
}

RestConnection::~RestConnection()
{
    qDeleteAll(d->receivedQueue);
    qDeleteAll(d->sendQueue);
    delete d->reading;
    delete d->writing;
}

QIODevice* RestConnection::device() const
{
    return d->device;
}

RestConnection::State RestConnection::readState() const
{
    return d->readState;
}

RestConnection::State RestConnection::writeState() const
{
    return d->writeState;
}

void RestConnection::sendMessage(RestMessage* message)
{
    if (!message)
        return;
    d->sendQueue.append(message);
    writeNext();
}

RestMessage* RestConnection::nextMessage()
{
    if (d->receivedQueue.isEmpty())
        return nullptr;
    return d->receivedQueue.takeFirst();
}

void RestConnection::flushAndClose()
{
    if (!d->device)
        return;
    QPointer<RestConnection> self(this);
    while (!d->sendQueue.isEmpty() || d->writing) {
        // A failed wait means the device can take no more; what is left is dropped.
        if (!d->device->waitForBytesWritten(kFlushTimeout) || !self)
            break;
    }
    if (!self)
        return;
    discardOutgoing();
    d->device->close();
}

void RestConnection::discardOutgoing()
{
    qDeleteAll(d->sendQueue);
    d->sendQueue.clear();
    delete d->writing;
    d->writing = nullptr;
    d->writeState = StateStartLine;
}

void RestConnection::writeNext()
{
    if (d->inWrite || !d->device)
        return;
    QPointer<RestConnection> self(this);
    d->inWrite = true;
    while (d->device->bytesToWrite() < kChunkSize) {
        if (d->writeState == StateStartLine) {
            if (d->sendQueue.isEmpty())
                break;
            d->writing = d->sendQueue.takeFirst();
            if (QIODevice* content = d->writing->content())
                content->seek(0);
            d->device->write(d->writing->headerBlock());
            d->writeState = StateContent;
            // At most one header block per call; the content follows on bytesWritten.
            break;
        }

        RestMessage* message = d->writing;
        QIODevice* content = message->content();
        QByteArray chunk;
        if (content) {
            emit uploadProgress(content->pos(), content->size());
            if (!self)
                return;
            // A handler may have flushed and closed, dropping the message.
            if (d->writing != message)
                continue;
            chunk = content->read(kChunkSize);
            if (!chunk.isEmpty())
                d->device->write(chunk);
        } else {
            emit uploadProgress(0, 0);
            if (!self)
                return;
            if (d->writing != message)
                continue;
        }
        if (chunk.isEmpty()) {
            RestMessage* sent = d->writing;
            d->writing = nullptr;
            d->writeState = StateStartLine;
            delete sent;
            emit messageSent();
            if (!self)
                return;
        }
    }
    d->inWrite = false;
}

void RestConnection::readNext()
{
    if (d->inRead || !d->device)
        return;
    QPointer<RestConnection> self(this);
    d->inRead = true;
    while (self && d->device->isReadable() && d->device->bytesAvailable() > 0) {
        bool progressed = true;
        switch (d->readState) {
        case StateStartLine:
            progressed = readStartLine();
            break;
        case StateHeaders:
            progressed = readHeaderLine();
            break;
        case StateContent:
            progressed = readContent();
            break;
        }
        if (!progressed)
            break;
    }
    if (self)
        d->inRead = false;
}

bool RestConnection::readStartLine()
{
    if (!d->device->canReadLine()) {
        if (d->device->bytesAvailable() >= kMaxLineLength)
            failReading("start line too long");
        return false;
    }
    const QByteArray line = d->device->readLine(kMaxLineLength);
    if (!line.endsWith('\n')) {
        failReading("start line too long");
        return false;
    }
    d->reading = new RestMessage(QString::fromUtf8(line).trimmed());
    d->headerBytes = line.size();
    d->readState = StateHeaders;
    return true;
}

bool RestConnection::readHeaderLine()
{
    if (!d->device->canReadLine()) {
        if (d->device->bytesAvailable() >= kMaxLineLength)
            failReading("header line too long");
        return false;
    }
    const QByteArray line = d->device->readLine(kMaxLineLength);
    if (!line.endsWith('\n')) {
        failReading("header line too long");
        return false;
    }
    d->headerBytes += line.size();
    if (d->headerBytes > kMaxHeaderBlockSize) {
        failReading("header block too large");
        return false;
    }
    const QByteArray trimmed = line.trimmed();
    if (!trimmed.isEmpty()) {
        d->reading->parseHeaderLine(trimmed);
        return true;
    }
    return beginContent();
}

// At the end of the header block the declared length, and only that, says
// how many content bytes follow; they may take any number of reads, and the
// bytes after them belong to the next message.  A request without a length
// has no content: taking whatever happens to wait would swallow a request
// sent right behind one without content.  A response without a length whose
// body already waits has its content run to the end of the stream, as in
// HTTP/1.1.  This protocol's own responses without content carry no length
// either, so a response with nothing waiting, or with the next response
// waiting behind it, has none.
bool RestConnection::beginContent()
{
    const QVariant lengthHeader = d->reading->header(QLatin1String(kContentLengthHeader));
    qint64 length = RestConnectionPrivate::kUntilClose;
    if (lengthHeader.isValid()) {
        length = parseLength(lengthHeader.toString());
        if (length < 0 || length > kMaxContentLength) {
            failReading("invalid Content-Length");
            return false;
        }
    } else if (!isResponse(d->reading) || !bodyWaits()) {
        completeMessage();
        return true;
    }
    d->declaredLength = length;
    d->readBuffer = new QBuffer;
    d->readBuffer->open(QIODevice::ReadWrite);
    d->reading->setContent(d->readBuffer);
    if (length == 0) {
        completeMessage();
        return true;
    }
    d->readState = StateContent;
    return true;
}

bool RestConnection::isResponse(const RestMessage* message)
{
    return message->startLine().startsWith(QLatin1String(kResponsePrefix));
}

bool RestConnection::bodyWaits() const
{
    const QByteArray next = d->device->peek(sizeof(kNextResponse) - 1);
    return !next.isEmpty() && !QByteArray(kNextResponse).startsWith(next);
}

// The stream ended: a response that runs to its end is complete now.
void RestConnection::finishReading()
{
    if (d->inRead || d->readState != StateContent
        || d->declaredLength != RestConnectionPrivate::kUntilClose)
        return;
    readNext();
    if (d->readState == StateContent && d->declaredLength == RestConnectionPrivate::kUntilClose)
        completeMessage();
}

bool RestConnection::readContent()
{
    QByteArray& data = d->readBuffer->buffer();
    const bool untilClose = d->declaredLength == RestConnectionPrivate::kUntilClose;
    const qint64 limit = untilClose ? kMaxContentLength + 1 : d->declaredLength;
    const qint64 wanted = qMin(d->device->bytesAvailable(), limit - data.size());
    const int oldSize = data.size();
    data.resize(oldSize + int(wanted));
    const qint64 got = d->device->read(data.data() + oldSize, wanted);
    data.resize(oldSize + int(qMax<qint64>(got, 0)));
    d->readBuffer->seek(data.size());
    if (got <= 0)
        return false;

    if (untilClose && data.size() > kMaxContentLength) {
        failReading("content too large");
        return false;
    }

    QPointer<RestConnection> self(this);
    // Without a length the total is not known: -1, as Qt's replies report it.
    emit downloadProgress(data.size(), d->declaredLength);
    if (!self || d->readState != StateContent || untilClose)
        return true;
    if (d->readBuffer->size() >= d->declaredLength)
        completeMessage();
    return true;
}

void RestConnection::completeMessage()
{
    d->receivedQueue.append(d->reading);
    d->reading = nullptr;
    d->readBuffer = nullptr;
    d->declaredLength = 0;
    d->headerBytes = 0;
    d->readState = StateStartLine;
    emit messageReceived();
}

void RestConnection::failReading(const char* reason)
{
    qWarning() << "RestConnection: closing the connection," << reason;
    delete d->reading;
    d->reading = nullptr;
    d->readBuffer = nullptr;
    d->declaredLength = 0;
    d->headerBytes = 0;
    d->readState = StateStartLine;
    d->device->close();
}
