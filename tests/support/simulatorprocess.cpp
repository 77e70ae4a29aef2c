#include "simulatorprocess.h"

#include <QElapsedTimer>
#include <QProcessEnvironment>

namespace {
const int kStopTimeoutMs = 5000;
}

SimulatorProcess::SimulatorProcess()
{
    process.setProcessChannelMode(QProcess::MergedChannels);
}

SimulatorProcess::~SimulatorProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(kStopTimeoutMs)) {
            process.kill();
            process.waitForFinished(kStopTimeoutMs);
        }
    }
}

bool SimulatorProcess::start(const QStringList& arguments, int readyTimeoutMs)
{
    process.start(QStringLiteral(CC_SIMULATOR_PATH), arguments);
    if (!process.waitForStarted(readyTimeoutMs))
        return false;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < readyTimeoutMs) {
        process.waitForReadyRead(100);
        log += process.readAll();
        if (log.contains("ready"))
            return true;
        if (process.state() == QProcess::NotRunning)
            return false;
    }
    return false;
}

QString SimulatorProcess::output() const
{
    return QString::fromUtf8(log);
}

int runProgram(const QString& program, const QStringList& arguments,
               QByteArray* out, QByteArray* err, int timeoutMs,
               const QStringList& extraEnvironment)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& entry : extraEnvironment)
        environment.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    child.setProcessEnvironment(environment);
    child.start(program, arguments);
    if (!child.waitForFinished(timeoutMs)) {
        child.kill();
        child.waitForFinished(kStopTimeoutMs);
        return -1;
    }
    if (out)
        *out = child.readAllStandardOutput();
    if (err)
        *err = child.readAllStandardError();
    return child.exitStatus() == QProcess::NormalExit ? child.exitCode() : -1;
}
