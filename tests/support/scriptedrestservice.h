#ifndef SCRIPTEDRESTSERVICE_H
#define SCRIPTEDRESTSERVICE_H

#include <configurator-common/restserver.h>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QUrl>

// A service protocol server for tests: records every request and answers
// each with the next scripted reply, echoing the request's "request-id";
// once the script is used up, RestServer's own handler answers.
class ScriptedRestService : public RestServer
{
    Q_OBJECT

public:
    struct Request
    {
        QString method;
        QUrl url;
        QMap<QString, QString> headers;
        bool hasContent = false;
        QByteArray content;
    };

    struct Reply // built as {status, content type, content, delay}
    {
        Reply(int code = 200, const QString& type = QString(), const QByteArray& body = QByteArray(),
              int delay = 0)
            : status(code), contentType(type), content(body), delayMs(delay)
        {
        }
        int status;
        QString contentType; // "content-type" is sent when not null
        QByteArray content;  // sent when not empty
        int delayMs;         // when set, the reply waits this long
        QByteArray raw;      // when not empty, written as is instead
    };

    using RestServer::RestServer;

    void addReply(const Reply& reply) { m_replies.append(reply); }
    QList<Request> requests;

protected:
    void processRequest(RestConnection* connection, const QString& method, const QUrl& url,
                        RestMessage* request) override;

private:
    QList<Reply> m_replies;
};

#endif // SCRIPTEDRESTSERVICE_H
