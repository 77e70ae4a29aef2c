#ifndef CONFIGURATOR_COMMON_RESTCONNECTION_H
#define CONFIGURATOR_COMMON_RESTCONNECTION_H

#include <QObject>
#include <QScopedPointer>

class QIODevice;
class RestMessage;
class RestConnectionPrivate;

/// \file
/// RestConnection, the framing of service protocol messages on a stream.

/// Frames service protocol messages on a byte stream (in practice a TCP
/// socket): queued messages are written without blocking in chunks of
/// kChunkSize bytes, and incoming bytes are parsed into complete messages.
/// Malformed or oversized input closes the device with a warning.
class RestConnection : public QObject
{
    Q_OBJECT

public:
    /// Content is read and written in pieces of this size (bytes), and writing
    /// pauses while this many bytes wait in the device's write buffer.
    static const int kChunkSize = 10240;
    /// A declared "Content-Length" above this (bytes) closes the connection.
    static const qint64 kMaxContentLength = qint64(256) * 1024 * 1024;
    /// A start or header line longer than this (bytes) closes the connection.
    static const int kMaxLineLength = 64 * 1024;
    /// A header block larger than this (bytes) closes the connection.
    static const int kMaxHeaderBlockSize = 1024 * 1024;
    /// flushAndClose() waits at most this long (ms) for each write.
    static const int kFlushTimeout = 10000;

    /// Which part of a message is being read or written.
    enum State {
        StateStartLine = 0, ///< The start line (also: between messages).
        StateHeaders = 1,   ///< The header lines.
        StateContent = 2    ///< The content.
    };

    /// The device is not owned and must outlive the connection.
    RestConnection(QIODevice* device, QObject* parent);
    /// Deletes the messages still queued or unread.
    ~RestConnection() override;

    /// The stream the messages travel on.
    QIODevice* device() const;
    /// The part of the incoming message being read.
    State readState() const;
    /// The part of the outgoing message being written.
    State writeState() const;

    /// Takes ownership; the message is deleted after its last byte is written.
    void sendMessage(RestMessage* message);
    /// The oldest complete incoming message, or null; the caller owns it.
    RestMessage* nextMessage();
    /// Writes what is queued (waiting up to kFlushTimeout per write), drops
    /// whatever could not be written, and closes the device.
    void flushAndClose();

signals:
    /// Emitted after the last byte of a queued message was written.
    void messageSent();
    /// Emitted when an incoming message is complete; take it with nextMessage().
    void messageReceived();
    /// As content arrives: bytes so far and the declared length (-1 for a
    /// response without a length, whose content runs to the end of the stream).
    void downloadProgress(qint64 ready, qint64 total);
    /// As content is written: bytes so far and the content's size (0, 0
    /// for a message without content).
    void uploadProgress(qint64 ready, qint64 total);
    /// Forwarded from a device that reports the loss of its peer (a socket).
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
