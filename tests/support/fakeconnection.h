#ifndef FAKECONNECTION_H
#define FAKECONNECTION_H

#include <configurator-common/connection.h>

// A transport that sends nothing: a test plays the device's side by making it
// report outcomes.
class FakeConnection : public Connection
{
    Q_OBJECT
public:
    explicit FakeConnection(QObject* parent = nullptr);
    ~FakeConnection() override;

    void reportReply(const QVariant& pageId, const QUrl& url, const QVariant& info,
                     const QVariant& data);
    void reportTimeout(const QVariant& pageId, const QUrl& url, const QVariant& info);
    void reportAuthRequired(const QVariant& pageId, const QUrl& url);
    void reportError(QNetworkReply::NetworkError code);
    void reportConnected();
    void reportDisconnected();

    // How many slots a signal of this object reaches, e.g.
    // receiverCount(SIGNAL(dataReceived(QVariant,QUrl,QVariant,QVariant))).
    int receiverCount(const char* signal) const;

    // Live FakeConnection objects in the process.
    static int liveCount();
};

#endif
