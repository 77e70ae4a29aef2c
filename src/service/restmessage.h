#ifndef CONFIGURATOR_COMMON_RESTMESSAGE_H
#define CONFIGURATOR_COMMON_RESTMESSAGE_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

class QIODevice;

// One message of the service protocol, request or response: a start line,
// named headers (case kept, looked up ignoring case) and an optional content.
// The wire format is HTTP/1.1-like; RestConnection writes and reads it.
class RestMessage
{
public:
    enum ResponseStatus {
        Ok = 200,
        BadRequest = 400,
        Unauthorized = 401,
        Forbidden = 403,
        NotFound = 404,
        NotAllowed = 405,
        NotAcceptable = 406,
        RequestTimeout = 408,
        Conflict = 409,
        Gone = 410,
        UnsupportedMediaType = 415,
        UnprocessableEntity = 422,
        UnrecoverableError = 423,
        InternalError = 500,
        NotImplemented = 501,
        ServiceUnavailable = 503,
        NotSupported = 506
    };

    explicit RestMessage(const QString& startLine = QString());
    virtual ~RestMessage();

    QString startLine() const;
    void setStartLine(const QString& line);
    // "METHOD url HTTP/1.1"
    void setStartLine(const QString& method, const QUrl& url);
    // "HTTP/1.1 code reason"
    void setStartLine(RestMessage::ResponseStatus status);

    static QString responseStatusText(RestMessage::ResponseStatus status);

    // The value under the first name (in map order) equal to name ignoring
    // case; an invalid QVariant when there is none.
    QVariant header(const QString& name) const;
    QStringList headers() const;
    void setHeader(const QString& name, const QVariant& value);

    // Owned by the message: replacing the content deletes the previous device.
    QIODevice* content() const;
    void setContent(QIODevice* device);
    // A read-only in-memory copy of data; an empty array gives a content of size 0.
    void setContent(const QByteArray& data);

    // The start line and header block as written on the connection, ending
    // with the empty line; a "Content-Length" line is added only for a
    // message with content and no length header of its own.
    QByteArray headerBlock() const;
    // Header block followed by the whole content.
    QByteArray toByteArray() const;

    // Applies one received header line (already trimmed): stores "name:
    // value" when the line splits at ":" into exactly two parts, drops it
    // otherwise.
    void parseHeaderLine(const QByteArray& line);

private:
    Q_DISABLE_COPY(RestMessage)

    QString m_startLine;
    QMap<QString, QVariant> m_headers;
    QIODevice* m_content;
};

#endif // CONFIGURATOR_COMMON_RESTMESSAGE_H
