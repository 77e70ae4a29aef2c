#include "scriptedrestservice.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

ScriptedRestService::ScriptedRestService(QObject* parent)
    : RestServer(parent)
{
}

ScriptedRestService::Reply ScriptedRestService::reply(int status, const QString& contentType,
                                                      const QByteArray& content, bool hasContent)
{
    Reply r;
    r.status = status;
    if (!contentType.isNull())
        r.headers.append(qMakePair(QStringLiteral("content-type"), contentType));
    r.content = content;
    r.hasContent = hasContent || !content.isEmpty();
    return r;
}

void ScriptedRestService::addReply(const Reply& reply)
{
    m_replies.append(reply);
}

void ScriptedRestService::processRequest(RestConnection* connection, const QString& method,
                                         const QUrl& url, RestMessage* request)
{
    Request r;
    r.method = method;
    r.url = url;
    r.startLine = request->startLine();
    r.headerNames = request->headers();
    for (const QString& name : r.headerNames)
        r.headers.insert(name, request->header(name).toString());
    if (QIODevice* content = request->content()) {
        r.hasContent = true;
        content->seek(0);
        r.content = content->readAll();
    }
    requests.append(r);

    const Reply next = m_replies.isEmpty() ? Reply() : m_replies.takeFirst();
    const QVariant id = request->header(QStringLiteral("request-id"));
    if (next.delayMs > 0) {
        QPointer<RestConnection> target(connection);
        QTimer::singleShot(next.delayMs, this, [this, target, next, id]() {
            if (target)
                send(target, next, id);
        });
    } else {
        send(connection, next, id);
    }
    emit requestReceived();
}

void ScriptedRestService::send(RestConnection* connection, const Reply& reply, const QVariant& requestId)
{
    if (!reply.raw.isEmpty()) {
        connection->device()->write(reply.raw);
        return;
    }
    RestMessage* response = new RestMessage;
    response->setStartLine(RestMessage::ResponseStatus(reply.status));
    if (reply.echoRequestId && requestId.isValid())
        response->setHeader(QStringLiteral("request-id"), requestId);
    for (const auto& header : reply.headers)
        response->setHeader(header.first, header.second);
    if (reply.hasContent)
        response->setContent(reply.content);
    connection->sendMessage(response);
}
