// MD5-crypt against OpenSSL's `openssl passwd -1`.
//
// Both sides hash the same kBatch passwords with the same 8-character salt;
// one benchmark iteration is one batch.  OpenSSL's command has no library
// entry point for the scheme, so it runs as a process reading the passwords
// from stdin; the process start-up is taken out by also timing a run with a
// single password and subtracting it (batch run - single run leaves exactly
// kBatch hashes).  The machine is shared, so both sides are timed in CPU
// time: this thread's for md5Crypt, the finished child's (user + system,
// from getrusage) for OpenSSL.  On an idle machine wall time agrees.
#include <benchmark/benchmark.h>

#include <QProcess>
#include <QStringList>

#include <sys/resource.h>
#include <time.h>

#include <configurator-common/md5crypt.h>

namespace {

const int kBatch = 2000;
const int kProcessTimeoutMs = 120000;
const char kSalt[] = "Qz7.xY/a";

QStringList passwords(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << QStringLiteral("device-pass-%1").arg(i);
    return list;
}

double threadCpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
}

double childrenCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

// CPU time of one `openssl passwd -1` run over the given passwords, in seconds.
double opensslSeconds(const QByteArray& input)
{
    const double before = childrenCpuSeconds();
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  { QStringLiteral("passwd"), QStringLiteral("-1"), QStringLiteral("-salt"),
                    QString::fromLatin1(kSalt), QStringLiteral("-stdin") });
    openssl.waitForStarted(kProcessTimeoutMs);
    openssl.write(input);
    openssl.closeWriteChannel();
    openssl.waitForFinished(kProcessTimeoutMs);
    benchmark::DoNotOptimize(openssl.readAllStandardOutput());
    return childrenCpuSeconds() - before;
}

void BM_Md5Crypt(benchmark::State& state)
{
    const QStringList input = passwords(kBatch);
    const QString salt = QString::fromLatin1(kSalt);
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        for (const QString& password : input)
            benchmark::DoNotOptimize(md5Crypt(salt, password));
        state.SetIterationTime(threadCpuSeconds() - start);
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

void BM_OpensslPasswd(benchmark::State& state)
{
    const QStringList input = passwords(kBatch + 1);
    const QByteArray batch = input.join(QLatin1Char('\n')).toLatin1() + '\n';
    const QByteArray single = input.first().toLatin1() + '\n';
    for (auto _ : state) {
        const double startUp = opensslSeconds(single);
        const double all = opensslSeconds(batch);
        state.SetIterationTime(qMax(all - startUp, 0.0));
    }
    state.SetItemsProcessed(state.iterations() * kBatch);
}

} // namespace

BENCHMARK(BM_Md5Crypt)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_OpensslPasswd)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
