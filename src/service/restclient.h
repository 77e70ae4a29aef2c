#ifndef CONFIGURATOR_COMMON_RESTCLIENT_H
#define CONFIGURATOR_COMMON_RESTCLIENT_H

#include "restconnection.h"
#include "restmessage.h"

#include <QAbstractSocket>
#include <QObject>
#include <QTcpSocket>

class QHostAddress;

/// \file
/// RestClient, the client end of the service protocol.

/// The client end of the service protocol: one TCP socket with a
/// RestConnection on it.  Requests get the headers every request carries
/// (prepareRequest); each response is handed to processResponse().  A message
/// from the server that is not a response closes the connection.
class RestClient : public QObject
{
    Q_OBJECT

public:
    /// Creates a client with an unconnected socket.
    explicit RestClient(QObject* parent = nullptr);
    /// Disconnects from the server without emitting further signals.
    ~RestClient() override;

    /// Starts connecting; connected() or networkError() tells the outcome.
    void connectToHost(const QHostAddress& address, quint16 port);
    /// Takes ownership of the message and queues it for writing.
    void sendMessage(RestMessage* message);

signals:
    /// Emitted when the socket has connected.
    void connected();
    /// Emitted when the socket has disconnected.
    void disconnected();
    /// Emitted with the socket's error, a refused connection for instance.
    void networkError(QAbstractSocket::SocketError error);

protected:
    // Plug-ins build against this virtual table order: processResponse,
    // then prepareRequest.
    /// Called for every response with the status of its start line; the
    /// response is deleted when this returns.  The base does nothing.
    virtual void processResponse(RestMessage::ResponseStatus status, RestMessage* response);

public:
    /// Start line "METHOD url HTTP/1.1", "Host" (the peer as address:port)
    /// and "Connection: Keep-Alive".
    virtual void prepareRequest(RestMessage* request, const QString& method, const QUrl& url);

private slots:
    void receiveMessage();

private:
    Q_DISABLE_COPY(RestClient)
    QTcpSocket m_socket;
    RestConnection m_connection;
};

#endif // CONFIGURATOR_COMMON_RESTCLIENT_H
