#ifndef SCRIPTEDRESTSERVICE_H
#define SCRIPTEDRESTSERVICE_H

#include <configurator-common/restserver.h>

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QUrl>
#include <QVariant>

// A service protocol server for tests: records every request and answers
// each with the next scripted reply (or "200 OK" without content when the
// script is empty).  Replies echo the request's "request-id" unless told not to.
class ScriptedRestService : public RestServer
{
    Q_OBJECT

public:
    struct Request
    {
        QString method;
        QUrl url;
        QString startLine;
        QStringList headerNames;
        QMap<QString, QString> headers;
        bool hasContent = false;
        QByteArray content;
    };

    struct Reply
    {
        int status = 200;
        QList<QPair<QString, QString>> headers;
        bool hasContent = false;
        QByteArray content;
        // Written as is instead of a built message, when not empty.
        QByteArray raw;
        bool echoRequestId = true;
        // When set, the reply is sent this many ms after the request came in.
        int delayMs = 0;
    };

    explicit ScriptedRestService(QObject* parent = nullptr);

    static Reply reply(int status, const QString& contentType = QString(),
                       const QByteArray& content = QByteArray(), bool hasContent = false);

    void addReply(const Reply& reply);
    QList<Request> requests;

signals:
    void requestReceived();

protected:
    void processRequest(RestConnection* connection, const QString& method, const QUrl& url,
                        RestMessage* request) override;

private:
    void send(RestConnection* connection, const Reply& reply, const QVariant& requestId);
    QList<Reply> m_replies;
};

#endif // SCRIPTEDRESTSERVICE_H
