#include "connection.h"

bool ConnectionSettings::operator==(const ConnectionSettings& other) const
{
    return address.toString() == other.address.toString()
        && login == other.login
        && password == other.password
        && port == other.port;
}

Connection::Connection(QObject* parent)
    : QObject(parent)
    , settings(0)
    , connectedFlag(false)
{
    connect(this, SIGNAL(connected()), this, SLOT(connectUp()));
    connect(this, SIGNAL(disconnected()), this, SLOT(connectDown()));
}

Connection::~Connection()
{
}

void Connection::setConnectionSettings(ConnectionSettings* connectionSettings)
{
    settings = connectionSettings;
}

ConnectionSettings* Connection::connectionSettings()
{
    return settings;
}

bool Connection::isConnected()
{
    return connectedFlag;
}

void Connection::connectUp()
{
    connectedFlag = true;
}

void Connection::connectDown()
{
    connectedFlag = false;
}
