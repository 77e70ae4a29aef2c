#ifndef SCRIPTEDRESTSERVICE_H
#define SCRIPTEDRESTSERVICE_H

#include <configurator-common/restconnection.h>
#include <configurator-common/restserver.h>

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
        QUrl url;
        QByteArray content; // null when the request had none
    };
    struct Reply
    {
        int status;
        QString contentType = {}; // sent when not null
        QByteArray content = {};  // sent when not empty
        int delayMs = 0;
    };

    void addReply(const Reply& reply) { m_replies.append(reply); }
    QList<Request> requests;

protected:
    void processRequest(RestConnection* connection, const QString& method, const QUrl& url,
                        RestMessage* request) override
    {
        const QString id = request->header(QStringLiteral("request-id")).toString();
        QIODevice* content = request->content();
        requests.append({ url, content && content->seek(0) ? content->readAll() : QByteArray() });
        if (m_replies.isEmpty())
            return RestServer::processRequest(connection, method, url, request);
        const Reply reply = m_replies.takeFirst();
        auto send = [reply, id, connection]() {
            auto* response = new RestMessage;
            response->setStartLine(RestMessage::ResponseStatus(reply.status));
            response->setHeader(QStringLiteral("request-id"), id);
            if (!reply.contentType.isNull())
                response->setHeader(QStringLiteral("content-type"), reply.contentType);
            if (!reply.content.isEmpty())
                response->setContent(reply.content);
            connection->sendMessage(response);
        };
        if (reply.delayMs > 0)
            QTimer::singleShot(reply.delayMs, connection, send);
        else
            send();
    }

private:
    QList<Reply> m_replies;
};

#endif // SCRIPTEDRESTSERVICE_H
