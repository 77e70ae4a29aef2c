#ifndef INSTRUMENTSERVER_H
#define INSTRUMENTSERVER_H

#include <configurator-common/restserver.h>

class SimulatedInstrument;

// Serves one simulated instrument's API on a TCP port.  The same server speaks
// to HTTP clients and to service protocol clients: a response carries the
// request's "request-id" back.  For soak tests it can answer late or never.
class InstrumentServer : public RestServer
{
    Q_OBJECT
public:
    // The instrument is not owned.
    explicit InstrumentServer(SimulatedInstrument* instrument, QObject* parent = 0);

    // Every answer waits this long (ms) before it is sent.
    void setReplyDelay(int msecs);
    // Shares (0..1) of requests answered after lateDelay ms, or never.
    void setLateShare(double share, int lateDelayMsecs);
    void setDropShare(double share);
    // Every n-th request is never answered as well (0: none), so that a test
    // can count on them.
    void setDropEvery(int n);

    int requestCount() const;
    int droppedCount() const;
    int lateCount() const;

protected:
    void processRequest(RestConnection* connection, const QString& method,
                        const QUrl& url, RestMessage* request) override;

private:
    void sendLater(RestConnection* connection, RestMessage* response, int msecs);

    SimulatedInstrument* instrument;
    int replyDelay;
    double lateShare;
    int lateDelay;
    double dropShare;
    int dropEvery = 0;
    int requests;
    int dropped;
    int late;
};

#endif
