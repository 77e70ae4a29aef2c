#include "instrumentserver.h"
#include "simulatedinstrument.h"

#include <QPointer>
#include <QRandomGenerator>
#include <QTimer>

namespace {

// Owns a response until it is sent.
class PendingResponse : public QObject
{
public:
    PendingResponse(RestMessage* response, QObject* parent)
        : QObject(parent), message(response) {}
    ~PendingResponse() override { delete message; }
    RestMessage* take()
    {
        RestMessage* taken = message;
        message = 0;
        return taken;
    }

private:
    RestMessage* message;
};

} // namespace

InstrumentServer::InstrumentServer(SimulatedInstrument* simulated, QObject* parent)
    : RestServer(parent)
    , instrument(simulated)
    , replyDelay(0)
    , lateShare(0.0)
    , lateDelay(0)
    , dropShare(0.0)
    , requests(0)
    , dropped(0)
    , late(0)
{
}

void InstrumentServer::setReplyDelay(int msecs)
{
    replyDelay = qMax(0, msecs);
}

void InstrumentServer::setLateShare(double share, int lateDelayMsecs)
{
    lateShare = qBound(0.0, share, 1.0);
    lateDelay = qMax(0, lateDelayMsecs);
}

void InstrumentServer::setDropShare(double share)
{
    dropShare = qBound(0.0, share, 1.0);
}

int InstrumentServer::requestCount() const
{
    return requests;
}

void InstrumentServer::setDropEvery(int n)
{
    dropEvery = qMax(0, n);
}

int InstrumentServer::droppedCount() const
{
    return dropped;
}

int InstrumentServer::lateCount() const
{
    return late;
}

void InstrumentServer::processRequest(RestConnection* connection, const QString& method,
                                      const QUrl& url, RestMessage* request)
{
    Q_UNUSED(method);
    Q_UNUSED(url);
    ++requests;
    const double draw = QRandomGenerator::global()->generateDouble();
    if (draw < dropShare || (dropEvery > 0 && requests % dropEvery == 0)) {
        ++dropped;
        return;
    }
    RestMessage* response = instrument->answer(*request);
    const QVariant id = request->header(QStringLiteral("request-id"));
    if (id.isValid())
        response->setHeader(QStringLiteral("request-id"), id);
    if (draw < dropShare + lateShare) {
        ++late;
        sendLater(connection, response, lateDelay);
    } else {
        sendLater(connection, response, replyDelay);
    }
}

void InstrumentServer::sendLater(RestConnection* connection, RestMessage* response, int msecs)
{
    if (msecs <= 0) {
        connection->sendMessage(response);
        return;
    }
    // The peer, or the server, may be gone by then; the response is dropped
    // with whichever goes first.
    PendingResponse* pending = new PendingResponse(response, this);
    QPointer<RestConnection> target(connection);
    QTimer::singleShot(msecs, pending, [target, pending]() {
        if (target)
            target->sendMessage(pending->take());
        pending->deleteLater();
    });
}
