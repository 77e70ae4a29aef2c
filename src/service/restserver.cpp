#include "restserver.h"

#include <QTcpSocket>

namespace {

const char kRequestIdHeader[] = "request-id";
const int kRequestLineParts = 3;

} // namespace

RestServer::RestServer(QObject* parent)
    : QTcpServer(parent)
{
}

RestServer::~RestServer()
{
    // Connections are children and go with the server; their sockets are
    // theirs.  Stop discardClient() from running on a half-destroyed server.
    const QList<RestConnection*> clients = connections();
    for (RestConnection* connection : clients)
        connection->disconnect(this);
}

QList<RestConnection*> RestServer::connections() const
{
    return findChildren<RestConnection*>(QString(), Qt::FindDirectChildrenOnly);
}

void RestServer::incomingConnection(qintptr socketDescriptor)
{
    QTcpSocket* socket = new QTcpSocket;
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    RestConnection* connection = new RestConnection(socket, this);
    // The socket lives exactly as long as its connection.
    socket->setParent(connection);
    connect(connection, &RestConnection::messageReceived, this, &RestServer::receiveMessage);
    connect(connection, &RestConnection::disconnected, this, &RestServer::discardClient);
}

void RestServer::processRequest(RestConnection* connection, const QString& method,
                                 const QUrl& url, RestMessage* request)
{
    Q_UNUSED(method);
    Q_UNUSED(url);
    RestMessage* response = new RestMessage;
    response->setStartLine(RestMessage::NotImplemented);
    const QVariant id = request->header(QLatin1String(kRequestIdHeader));
    if (id.isValid())
        response->setHeader(QLatin1String(kRequestIdHeader), id);
    connection->sendMessage(response);
}

void RestServer::discardClient()
{
    RestConnection* connection = qobject_cast<RestConnection*>(sender());
    if (connection)
        connection->deleteLater();
}

void RestServer::receiveMessage()
{
    RestConnection* connection = qobject_cast<RestConnection*>(sender());
    if (!connection)
        return;
    RestMessage* message = connection->nextMessage();
    if (!message)
        return;
    const QStringList parts = message->startLine().split(QLatin1Char(' '));
    if (parts.size() == kRequestLineParts && parts.at(2).startsWith(QLatin1String("HTTP"))) {
        const QUrl url(QUrl::fromPercentEncoding(parts.at(1).toLatin1()));
        processRequest(connection, parts.at(0), url, message);
    } else {
        connection->flushAndClose();
    }
    delete message;
}
