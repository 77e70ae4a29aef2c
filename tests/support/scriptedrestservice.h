#ifndef SCRIPTEDRESTSERVICE_H
#define SCRIPTEDRESTSERVICE_H

#include <configurator-common/restconnection.h>
#include <configurator-common/restserver.h>

#include <QPointer>
#include <QTimer>
#include <QUrl>

// A service protocol server for tests: records every request and answers
// each with the next scripted reply, echoing its "request-id"; once the
// script is used up, RestServer's own handler answers.
class ScriptedRestService : public RestServer
{
public:
    struct Request
    {
        QString method;
        QUrl url;
        QString requestId;
        bool hasContent;
        QByteArray content;
    };
    struct Reply
    {
        Reply(int code, const QString& type = {}, const QByteArray& body = {}, int delay = 0)
            : status(code), contentType(type), content(body), delayMs(delay) {}
        int status;
        QString contentType; // sent when not null
        QByteArray content;  // sent when not empty
        int delayMs;
    };

    void addReply(const Reply& reply) { m_replies.append(reply); }
    QList<Request> requests;

protected:
    void processRequest(RestConnection* connection, const QString& method, const QUrl& url,
                        RestMessage* request) override
    {
        const QString id = request->header(QStringLiteral("request-id")).toString();
        QIODevice* content = request->content();
        requests.append({ method, url, id, content != nullptr,
                          content && content->seek(0) ? content->readAll() : QByteArray() });
        if (m_replies.isEmpty())
            return RestServer::processRequest(connection, method, url, request);
        const Reply reply = m_replies.takeFirst();
        QPointer<RestConnection> target(connection);
        auto send = [reply, id, target]() {
            if (!target)
                return;
            auto* response = new RestMessage;
            response->setStartLine(RestMessage::ResponseStatus(reply.status));
            if (!id.isNull())
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

private:
    QList<Reply> m_replies;
};

#endif // SCRIPTEDRESTSERVICE_H
