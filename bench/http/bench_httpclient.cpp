// Sequential GET round trips to a loopback server: HttpClient::get against a
// bare QNetworkAccessManager loop that waits the same way (a nested
// QEventLoop ended by the reply or by a single-shot timer).  The server runs
// in its own thread, as a device would be a separate peer, and answers every
// request at once with a small JSON body; both clients reuse the keep-alive
// connection.  HttpClient additionally decodes the JSON and emits its signal.
// The work happens in three threads (this one, the manager's HTTP thread and
// the server's), so the iterations are timed in wall time, and the counter
// cpu_us is the whole process's CPU time per request, less sensitive to the
// load of a shared machine.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <time.h>

#include <configurator-common/httpclient.h>

#include "httptestserver.h"

namespace {

const int kTimeoutMs = 5000;
const char kPath[] = "/api/status";
const char kBody[] = "{\"status\": 2, \"uptime\": 123456, \"name\": \"meter\"}";

class ServerThread : public QThread
{
public:
    void run() override
    {
        HttpTestServer server;
        server.setRecording(false);
        server.setReply(kPath, HttpTestReply::make(200, "application/json", kBody));
        if (server.listen(QHostAddress::LocalHost))
            port = server.serverPort();
        ready.release();
        exec();
    }

    QSemaphore ready;
    quint16 port = 0;
};

double processCpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

void setCounters(benchmark::State& state, double cpuStart, int requests)
{
    state.SetItemsProcessed(requests);
    if (requests > 0)
        state.counters["cpu_us"] = (processCpuSeconds() - cpuStart) * 1e6 / requests;
}

ServerThread* serverThread()
{
    static ServerThread* thread = nullptr;
    if (!thread) {
        thread = new ServerThread;
        thread->start();
        thread->ready.acquire();
    }
    return thread;
}

void BM_HttpClientGet(benchmark::State& state)
{
    HttpClient client;
    client.connectToHost(QHostAddress::LocalHost, serverThread()->port);
    int received = 0;
    QObject::connect(&client, &HttpClient::dataReceived, [&received]() { ++received; });
    const QUrl path(QString::fromLatin1(kPath));
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        if (!client.get(QStringLiteral("bench"), path, kTimeoutMs)) {
            state.SkipWithError("request failed");
            break;
        }
    }
    setCounters(state, cpuStart, received);
}

void BM_BareManagerGet(benchmark::State& state)
{
    QNetworkAccessManager manager;
    const QUrl url(QStringLiteral("http://127.0.0.1:%1%2").arg(serverThread()->port).arg(QLatin1String(kPath)));
    const double cpuStart = processCpuSeconds();
    for (auto _ : state) {
        QNetworkReply* reply = manager.get(QNetworkRequest(url));
        QTimer timer;
        timer.setSingleShot(true);
        QEventLoop loop;
        QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        timer.start(kTimeoutMs);
        loop.exec();
        if (!timer.isActive()) {
            state.SkipWithError("request timed out");
            break;
        }
        benchmark::DoNotOptimize(reply->readAll());
        reply->deleteLater();
    }
    setCounters(state, cpuStart, int(state.iterations()));
}

} // namespace

BENCHMARK(BM_BareManagerGet)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0)->Repetitions(5);
BENCHMARK(BM_HttpClientGet)->Unit(benchmark::kMicrosecond)->UseRealTime()->MinTime(1.0)->Repetitions(5);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ServerThread* thread = serverThread();
    thread->quit();
    thread->wait();
    delete thread;
    return 0;
}
