#include "fakeconnection.h"

namespace {
int live = 0;
}

FakeConnection::FakeConnection(QObject* parent)
    : Connection(parent)
{
    ++live;
}

FakeConnection::~FakeConnection()
{
    --live;
}

void FakeConnection::reportReply(const QVariant& pageId, const QUrl& url, const QVariant& info,
                                 const QVariant& data)
{
    emit dataReceived(pageId, url, info, data);
}

void FakeConnection::reportTimeout(const QVariant& pageId, const QUrl& url, const QVariant& info)
{
    emit timeout(pageId, url, info);
}

void FakeConnection::reportAuthRequired(const QVariant& pageId, const QUrl& url)
{
    emit authRequired(pageId, url);
}

void FakeConnection::reportError(QNetworkReply::NetworkError code)
{
    emit error(code);
}

void FakeConnection::reportConnected()
{
    emit connected();
}

void FakeConnection::reportDisconnected()
{
    emit disconnected();
}

int FakeConnection::receiverCount(const char* signal) const
{
    return receivers(signal);
}

int FakeConnection::liveCount()
{
    return live;
}
