#ifndef CONFIGURATOR_COMMON_RESTSERVER_H
#define CONFIGURATOR_COMMON_RESTSERVER_H

#include "restconnection.h"
#include "restmessage.h"

#include <QTcpServer>
#include <QUrl>

/// \file
/// RestServer, the server end of the service protocol.

/// The server end of the service protocol.  Listen with QTcpServer::listen();
/// every accepted socket gets its own RestConnection, a child of the server
/// that is deleted once its peer disconnects.  Each request whose start line
/// reads "METHOD url HTTP..." goes to processRequest(); anything else makes the
/// server flush and close that connection.
class RestServer : public QTcpServer
{
    Q_OBJECT

public:
    /// Creates a server that is not listening yet.
    explicit RestServer(QObject* parent = nullptr);
    /// Closes the server; the connections go with it, as its children.
    ~RestServer() override;

    /// The connections of the peers currently served.
    QList<RestConnection*> connections() const;

protected:
    /// Builds and sends the response with connection->sendMessage().  The
    /// request is deleted when this returns.  Answers "501 Not implemented",
    /// echoing the request's "request-id".
    virtual void processRequest(RestConnection* connection, const QString& method,
                                const QUrl& url, RestMessage* request);

    /// Wraps the accepted socket in a RestConnection.
    void incomingConnection(qintptr socketDescriptor) override;

private slots:
    void discardClient();
    void receiveMessage();

private:
    Q_DISABLE_COPY(RestServer)
};

#endif // CONFIGURATOR_COMMON_RESTSERVER_H
