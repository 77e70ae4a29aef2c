#ifndef SIMULATEDINSTRUMENT_H
#define SIMULATEDINSTRUMENT_H

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariantMap>

class RestMessage;

// The instrument behind the simulator's HTTP API and service port: its
// identification data, a slowly changing reading, configuration groups and a
// measurement log.  It answers requests; the servers decide when.
class SimulatedInstrument : public QObject
{
    Q_OBJECT
public:
    explicit SimulatedInstrument(int index = 0, QObject* parent = 0);

    void setCredentials(const QString& login, const QString& password);
    QString login() const;
    QString password() const;

    // The identification map, with the keys that the device model reads.
    QVariantMap identification() const;
    QString serial() const;
    QVariantMap status() const;
    QVariantMap configGroup(const QString& name) const;
    QByteArray measurementLog() const;

    // Answers one HTTP request of the instrument's API.  The caller owns the
    // answer.  Requests without the right Basic credentials get 401.
    RestMessage* answer(const RestMessage& request);

    // The reading at a given time: a slow sine around 21.5 degrees.
    static double readingAt(qint64 msecsSinceEpoch);

private:
    bool isAuthorized(const RestMessage& request) const;

    int index;
    QString userName;
    QString userPassword;
    QDateTime started;
    QMap<QString, QVariantMap> groups;
};

#endif
