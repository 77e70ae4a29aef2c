#include "scriptedrestservice.h"

#include <QIODevice>
#include <QPointer>
#include <QTimer>

void ScriptedRestService::processRequest(RestConnection* connection, const QString& method,
                                         const QUrl& url, RestMessage* request)
{
    Request r{ method, url, {}, request->content() != nullptr, {} };
    for (const QString& name : request->headers())
        r.headers.insert(name, request->header(name).toString());
    if (r.hasContent && request->content()->seek(0))
        r.content = request->content()->readAll();
    requests.append(r);

    if (m_replies.isEmpty())
        return RestServer::processRequest(connection, method, url, request);
    const Reply reply = m_replies.takeFirst();
    const QVariant id = request->header(QStringLiteral("request-id"));
    QPointer<RestConnection> target(connection);
    auto send = [reply, id, target]() {
        if (!target)
            return;
        if (!reply.raw.isEmpty()) {
            target->device()->write(reply.raw);
            return;
        }
        RestMessage* response = new RestMessage;
        response->setStartLine(RestMessage::ResponseStatus(reply.status));
        if (id.isValid())
            response->setHeader(QStringLiteral("request-id"), id);
        if (!reply.contentType.isNull())
            response->setHeader(QStringLiteral("content-type"), reply.contentType);
        if (!reply.content.isEmpty())
            response->setContent(reply.content);
        target->sendMessage(response);
    };
    if (reply.delayMs > 0)
        QTimer::singleShot(reply.delayMs, this, send);
    else
        send();
}
