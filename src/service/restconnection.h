#ifndef CONFIGURATOR_COMMON_RESTCONNECTION_H
#define CONFIGURATOR_COMMON_RESTCONNECTION_H

#include <QObject>
#include <QScopedPointer>

class QIODevice;
class RestMessage;
class RestConnectionPrivate;

// Frames service protocol messages on a byte stream (in practice a TCP
// socket): queued messages are written without blocking in chunks of
// kChunkSize bytes, and incoming bytes are parsed into complete messages.
class RestConnection : public QObject
{
    Q_OBJECT

public:
    // Content is read and written in pieces of this size, and writing pauses
    // while this many bytes wait in the device's write buffer.
    static const int kChunkSize = 10240;
    // A declared "Content-Length" above this closes the connection.
    static const qint64 kMaxContentLength = qint64(256) * 1024 * 1024;
    // A start or header line longer than this closes the connection.
    static const int kMaxLineLength = 64 * 1024;
    // A header block larger than this closes the connection.
    static const int kMaxHeaderBlockSize = 1024 * 1024;
    // flushAndClose() waits at most this long for each write.
    static const int kFlushTimeout = 10000;

    enum State {
        StateStartLine = 0,
        StateHeaders = 1,
        StateContent = 2
    };

    // The device is not owned and must outlive the connection.
    RestConnection(QIODevice* device, QObject* parent);
    ~RestConnection() override;

    QIODevice* device() const;
    State readState() const;
    State writeState() const;

    // Takes ownership; the message is deleted after its last byte is written.
    void sendMessage(RestMessage* message);
    // The oldest complete incoming message, or null; the caller owns it.
    RestMessage* nextMessage();
    // Writes what is queued (waiting up to kFlushTimeout per write), drops
    // whatever could not be written, and closes the device.
    void flushAndClose();

signals:
    void messageSent();
    void messageReceived();
    // As content arrives: bytes so far and the declared length (-1 for a
    // response without a length, whose content runs to the end of the stream).
    void downloadProgress(qint64 ready, qint64 total);
    void uploadProgress(qint64 ready, qint64 total);
    void disconnected();

private slots:
    void readNext();
    void writeNext();

private:
    bool readStartLine();
    bool readHeaderLine();
    bool beginContent();
    bool readContent();
    void finishReading();
    static bool isResponse(const RestMessage* message);
    bool bodyWaits() const;
    void completeMessage();
    void failReading(const char* reason);
    void discardOutgoing();

    Q_DISABLE_COPY(RestConnection)
    QScopedPointer<RestConnectionPrivate> d;
};

#endif // CONFIGURATOR_COMMON_RESTCONNECTION_H
