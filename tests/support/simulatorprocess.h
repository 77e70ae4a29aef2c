#ifndef SIMULATORPROCESS_H
#define SIMULATORPROCESS_H

#include <QProcess>
#include <QStringList>

// The device simulator as a process of its own.  start() returns once the
// simulator listens; the destructor ends it (by its PID, through QProcess).
class SimulatorProcess
{
public:
    SimulatorProcess();
    ~SimulatorProcess();

    bool start(const QStringList& arguments, int readyTimeoutMs = 15000);
    QString output() const;

private:
    QProcess process;
    QByteArray log;
};

// Runs a program to its end (bounded) and returns its exit code, or -1.
int runProgram(const QString& program, const QStringList& arguments,
               QByteArray* out, QByteArray* err, int timeoutMs = 120000,
               const QStringList& extraEnvironment = QStringList());

#endif
