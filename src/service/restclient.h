#ifndef CONFIGURATOR_COMMON_RESTCLIENT_H
#define CONFIGURATOR_COMMON_RESTCLIENT_H

#include "restconnection.h"
#include "restmessage.h"

#include <QAbstractSocket>
#include <QObject>
#include <QTcpSocket>

class QHostAddress;

// The client end of the service protocol: one TCP socket with a
// RestConnection on it.  Requests get the headers every request carries
// (prepareRequest); each response is handed to processResponse().
class RestClient : public QObject
{
    Q_OBJECT

public:
    explicit RestClient(QObject* parent = nullptr);
    ~RestClient() override;

    void connectToHost(const QHostAddress& address, quint16 port);
    // Takes ownership of the message.
    void sendMessage(RestMessage* message);

signals:
    void connected();
    void disconnected();
    void networkError(QAbstractSocket::SocketError error);

protected:
    // Plug-ins build against this virtual table order: processResponse,
    // then prepareRequest.
    // Called for every response; the response is deleted when this returns.
    virtual void processResponse(RestMessage::ResponseStatus status, RestMessage* response);

public:
    // Start line "METHOD url HTTP/1.1", "Host" (the peer as address:port)
    // and "Connection: Keep-Alive".
    virtual void prepareRequest(RestMessage* request, const QString& method, const QUrl& url);

private slots:
    void receiveMessage();

private:
    Q_DISABLE_COPY(RestClient)
    QTcpSocket m_socket;
    RestConnection m_connection;
};

#endif // CONFIGURATOR_COMMON_RESTCLIENT_H
