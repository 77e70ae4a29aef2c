// Throughput of the service transport over loopback TCP: a 64 MiB content
// sent and received through RestConnection, beside a plain QTcpSocket
// writing the same bytes at once to a plain reading peer, in the same run.
#include "restconnection.h"
#include "restmessage.h"

#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QHostAddress>
#include <QScopedPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const int kContentSize = 64 * 1024 * 1024;
const int kGiveUpMs = 60000;

struct SocketPair
{
    QScopedPointer<QTcpSocket> local;
    QScopedPointer<QTcpSocket> remote;

    bool open()
    {
        QTcpServer server;
        if (!server.listen(QHostAddress::LocalHost, 0))
            return false;
        local.reset(new QTcpSocket);
        local->connectToHost(QHostAddress::LocalHost, server.serverPort());
        if (!server.waitForNewConnection(5000) || !local->waitForConnected(5000))
            return false;
        remote.reset(server.nextPendingConnection());
        remote->setParent(nullptr);
        return true;
    }
};

const QByteArray& content()
{
    static const QByteArray bytes(kContentSize, 'x');
    return bytes;
}

RestMessage* makeMessage()
{
    RestMessage* message = new RestMessage(QStringLiteral("HTTP/1.1 200 OK"));
    message->setHeader(QStringLiteral("content-type"), QStringLiteral("application/octet-stream"));
    message->setContent(content());
    return message;
}

void runUntil(QEventLoop& loop)
{
    QTimer::singleShot(kGiveUpMs, &loop, &QEventLoop::quit);
    loop.exec();
}

void BM_RestConnectionTransfer(benchmark::State& state)
{
    SocketPair pair;
    if (!pair.open()) {
        state.SkipWithError("no loopback socket pair");
        return;
    }
    RestConnection sender(pair.local.data(), nullptr);
    RestConnection receiver(pair.remote.data(), nullptr);
    qint64 received = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QObject::connect(&receiver, &RestConnection::messageReceived, &loop, &QEventLoop::quit);
        sender.sendMessage(makeMessage());
        runUntil(loop);
        QScopedPointer<RestMessage> message(receiver.nextMessage());
        if (!message || !message->content()) {
            state.SkipWithError("message not received");
            return;
        }
        received = message->content()->size();
    }
    if (received != kContentSize)
        state.SkipWithError("content truncated");
    state.SetBytesProcessed(state.iterations() * qint64(kContentSize));
}

void BM_RawSocketTransfer(benchmark::State& state)
{
    SocketPair pair;
    if (!pair.open()) {
        state.SkipWithError("no loopback socket pair");
        return;
    }
    QScopedPointer<RestMessage> message(makeMessage());
    const QByteArray bytes = message->toByteArray();
    qint64 received = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QByteArray sink;
        sink.reserve(bytes.size());
        QObject::connect(pair.remote.data(), &QTcpSocket::readyRead, &loop, [&]() {
            sink += pair.remote->readAll();
            if (sink.size() >= bytes.size())
                loop.quit();
        });
        pair.local->write(bytes);
        runUntil(loop);
        QObject::disconnect(pair.remote.data(), &QTcpSocket::readyRead, &loop, nullptr);
        received = sink.size();
    }
    if (received != bytes.size())
        state.SkipWithError("bytes lost");
    state.SetBytesProcessed(state.iterations() * qint64(kContentSize));
}

} // namespace

BENCHMARK(BM_RawSocketTransfer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_RestConnectionTransfer)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
