#include "restmessage.h"

#include <QBuffer>
#include <QHash>

namespace {

struct StatusText
{
    int code;
    const char* text;
};

// Searched from the top; the (0, null) pair ends it.
const StatusText kStatusTexts[] = {
    { RestMessage::Ok, "OK" },
    { RestMessage::BadRequest, "Bad request" },
    { RestMessage::Unauthorized, "Unauthorized" },
    { RestMessage::Forbidden, "Forbidden" },
    { RestMessage::NotFound, "Not found" },
    { RestMessage::NotAllowed, "Not allowed" },
    { RestMessage::NotAcceptable, "Not acceptable" },
    { RestMessage::RequestTimeout, "Request timeout" },
    { RestMessage::Conflict, "Conflict" },
    { RestMessage::Gone, "Gone" },
    { RestMessage::UnsupportedMediaType, "Unsupported media type" },
    { RestMessage::UnprocessableEntity, "Unprocessable entity" },
    { RestMessage::UnrecoverableError, "Unrecoverable error" },
    { RestMessage::InternalError, "Internal error" },
    { RestMessage::NotImplemented, "Not implemented" },
    { RestMessage::ServiceUnavailable, "Service unavailable" },
    { RestMessage::NotSupported, "Not supported" },
    { 0, nullptr }
};

const char kUnknownStatusText[] = "Unknown status code";
const char kContentLengthHeader[] = "Content-Length";
const char kLineEnd[] = "\r\n";

QString headerValueText(const QVariant& value)
{
    if (value.userType() == QMetaType::QByteArray)
        return QString::fromLatin1(value.toByteArray());
    return value.toString();
}

} // namespace

RestMessage::RestMessage(const QString& startLine)
    : m_startLine(startLine)
    , m_content(nullptr)
{
}

RestMessage::~RestMessage()
{
    delete m_content;
}

QString RestMessage::startLine() const
{
    return m_startLine;
}

void RestMessage::setStartLine(const QString& line)
{
    m_startLine = line;
}

void RestMessage::setStartLine(const QString& method, const QUrl& url)
{
    m_startLine = QStringLiteral("%1 %2 HTTP/1.1").arg(method, url.toString());
}

void RestMessage::setStartLine(RestMessage::ResponseStatus status)
{
    m_startLine = QStringLiteral("HTTP/1.1 %1 %2")
                      .arg(QString::number(int(status)), responseStatusText(status));
}

QString RestMessage::responseStatusText(RestMessage::ResponseStatus status)
{
    for (const StatusText* entry = kStatusTexts; entry->text; ++entry) {
        if (entry->code == int(status))
            return QString::fromLatin1(entry->text);
    }
    return QString::fromLatin1(kUnknownStatusText);
}

QVariant RestMessage::header(const QString& name) const
{
    for (auto it = m_headers.constBegin(); it != m_headers.constEnd(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return QVariant();
}

QStringList RestMessage::headers() const
{
    return m_headers.keys();
}

void RestMessage::setHeader(const QString& name, const QVariant& value)
{
    m_headers.insert(name, value);
}

QIODevice* RestMessage::content() const
{
    return m_content;
}

void RestMessage::setContent(QIODevice* device)
{
    if (device == m_content)
        return;
    delete m_content;
    m_content = device;
}

void RestMessage::setContent(const QByteArray& data)
{
    QBuffer* buffer = new QBuffer;
    buffer->setData(data);
    buffer->open(QIODevice::ReadOnly);
    setContent(buffer);
}

QByteArray RestMessage::headerBlock() const
{
    // Each name is written with the value that header() gives for it: the
    // first in map order among the names equal to it ignoring case.  One pass
    // finds those, so that many headers do not cost a lookup each.
    QHash<QString, QVariant> firstByFoldedName;
    for (auto it = m_headers.constBegin(); it != m_headers.constEnd(); ++it) {
        const QString folded = it.key().toCaseFolded();
        if (!firstByFoldedName.contains(folded))
            firstByFoldedName.insert(folded, it.value());
    }

    QByteArray block = m_startLine.toUtf8();
    block += kLineEnd;
    for (auto it = m_headers.constBegin(); it != m_headers.constEnd(); ++it) {
        const QVariant value = firstByFoldedName.value(it.key().toCaseFolded());
        block += QStringLiteral("%1: %2\r\n").arg(it.key(), headerValueText(value)).toUtf8();
    }
    // A hand-set length counts by its name alone, whatever its value.
    if (m_content && !firstByFoldedName.contains(QString::fromLatin1(kContentLengthHeader).toCaseFolded())) {
        block += kContentLengthHeader;
        block += ": ";
        block += QByteArray::number(m_content->size());
        block += kLineEnd;
    }
    block += kLineEnd;
    return block;
}

QByteArray RestMessage::toByteArray() const
{
    QByteArray bytes = headerBlock();
    if (m_content && m_content->seek(0))
        bytes += m_content->readAll();
    return bytes;
}

void RestMessage::parseHeaderLine(const QByteArray& line)
{
    const QList<QByteArray> parts = line.split(':');
    if (parts.size() != 2)
        return;
    setHeader(QString::fromLatin1(parts.at(0)), QString::fromLatin1(parts.at(1).trimmed()));
}
