#include "restclient.h"

#include <QHostAddress>

RestClient::RestClient(QObject* parent)
    : QObject(parent)
    , m_socket(nullptr)
    , m_connection(&m_socket, nullptr)
{
    connect(&m_socket, &QTcpSocket::connected, this, &RestClient::connected);
    connect(&m_socket, &QTcpSocket::disconnected, this, &RestClient::disconnected);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &RestClient::networkError);
    connect(&m_connection, &RestConnection::messageReceived, this, &RestClient::receiveMessage);
}

RestClient::~RestClient()
{
    // Going away: nobody listens to the socket's last signals any more.
    m_socket.disconnect(this);
    m_connection.disconnect(this);
    m_socket.disconnectFromHost();
}

void RestClient::connectToHost(const QHostAddress& address, quint16 port)
{
    m_socket.connectToHost(address, port, QIODevice::ReadWrite);
}

void RestClient::sendMessage(RestMessage* message)
{
    m_connection.sendMessage(message);
}

void RestClient::prepareRequest(RestMessage* request, const QString& method, const QUrl& url)
{
    request->setStartLine(method, url);
    request->setHeader(QStringLiteral("Host"),
                       QStringLiteral("%1:%2").arg(m_socket.peerAddress().toString())
                           .arg(m_socket.peerPort()));
    request->setHeader(QStringLiteral("Connection"), QStringLiteral("Keep-Alive"));
}

void RestClient::processResponse(RestMessage::ResponseStatus status, RestMessage* response)
{
    Q_UNUSED(status);
    Q_UNUSED(response);
}

void RestClient::receiveMessage()
{
    RestConnection* connection = qobject_cast<RestConnection*>(sender());
    if (!connection)
        return;
    RestMessage* message = connection->nextMessage();
    if (!message)
        return;
    const QStringList parts = message->startLine().split(QLatin1Char(' '));
    if (parts.size() >= 2 && parts.at(0).startsWith(QLatin1String("HTTP"))) {
        const int status = parts.at(1).toInt();
        processResponse(RestMessage::ResponseStatus(status), message);
    } else {
        connection->flushAndClose();
    }
    delete message;
}
