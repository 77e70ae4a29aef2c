#ifndef CONFIGURATOR_COMMON_RESTMESSAGE_H
#define CONFIGURATOR_COMMON_RESTMESSAGE_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>

class QIODevice;

/// \file
/// RestMessage, one message of the service protocol.

/// One message of the service protocol, request or response: a start line,
/// named headers (case kept, looked up ignoring case) and an optional content.
/// The wire format is HTTP/1.1-like; RestConnection writes and reads it.
class RestMessage
{
public:
    /// The status codes of a response's start line.
    enum ResponseStatus {
        Ok = 200,                   ///< "OK"
        BadRequest = 400,           ///< "Bad request"
        Unauthorized = 401,         ///< "Unauthorized"
        Forbidden = 403,            ///< "Forbidden"
        NotFound = 404,             ///< "Not found"
        NotAllowed = 405,           ///< "Not allowed"
        NotAcceptable = 406,        ///< "Not acceptable"
        RequestTimeout = 408,       ///< "Request timeout"
        Conflict = 409,             ///< "Conflict"
        Gone = 410,                 ///< "Gone"
        UnsupportedMediaType = 415, ///< "Unsupported media type"
        UnprocessableEntity = 422,  ///< "Unprocessable entity"
        UnrecoverableError = 423,   ///< "Unrecoverable error"
        InternalError = 500,        ///< "Internal error"
        NotImplemented = 501,       ///< "Not implemented"
        ServiceUnavailable = 503,   ///< "Service unavailable"
        NotSupported = 506          ///< "Not supported"
    };

    /// Creates a message with \a startLine, no headers and no content.
    explicit RestMessage(const QString& startLine = QString());
    /// Deletes the content device.
    virtual ~RestMessage();

    /// The start line, without its line end.
    QString startLine() const;
    /// Sets the start line as given.
    void setStartLine(const QString& line);
    /// "METHOD url HTTP/1.1"
    void setStartLine(const QString& method, const QUrl& url);
    /// "HTTP/1.1 code reason"
    void setStartLine(RestMessage::ResponseStatus status);

    /// The reason text of \a status, "Unknown status code" for another value.
    static QString responseStatusText(RestMessage::ResponseStatus status);

    /// The value under the first name (in map order) equal to name ignoring
    /// case; an invalid QVariant when there is none.
    QVariant header(const QString& name) const;
    /// The header names, as they were set.
    QStringList headers() const;
    /// Sets the header \a name (case kept) to \a value.
    void setHeader(const QString& name, const QVariant& value);

    /// Owned by the message: replacing the content deletes the previous device.
    QIODevice* content() const;
    /// Takes ownership of \a device as the content; null removes the content.
    void setContent(QIODevice* device);
    /// A read-only in-memory copy of data; an empty array gives a content of size 0.
    void setContent(const QByteArray& data);

    /// The start line and header block as written on the connection, ending
    /// with the empty line; a "Content-Length" line is added only for a
    /// message with content and no length header of its own.
    QByteArray headerBlock() const;
    /// Header block followed by the whole content.
    QByteArray toByteArray() const;

    /// Applies one received header line (already trimmed): stores "name:
    /// value" when the line splits at ":" into exactly two parts, drops it
    /// otherwise.
    void parseHeaderLine(const QByteArray& line);

private:
    Q_DISABLE_COPY(RestMessage)

    QString m_startLine;
    QMap<QString, QVariant> m_headers;
    QIODevice* m_content;
};

#endif // CONFIGURATOR_COMMON_RESTMESSAGE_H
