#ifndef HOST_H
#define HOST_H

#include <QCoreApplication>
#include <QHostAddress>
#include <QString>
#include <QVariantMap>

class Device;
class IDeviceFactory;

// What the console run and the window share: choosing a factory among the
// loaded plug-ins and telling the user why an instrument cannot be used.
class Host
{
    Q_DECLARE_TR_FUNCTIONS(Host)
public:
    struct Options
    {
        QHostAddress address;
        quint16 port = 80;
        QString login;
        QString password;
        QString reportPath;
        QString settingsPath;
        int timeout = 5000;
    };

    // The factory named by NAME or {UUID}; with an empty choice the only one
    // loaded.  Null with a message for the user otherwise.
    static IDeviceFactory* chooseFactory(const QString& choice, QString* message);

    // The login map for "connectcfg".
    static QVariantMap loginMap(const Options& options);

    // Empty when a TCP connection to the instrument opens within the time-out,
    // otherwise why it did not.
    static QString probe(const QHostAddress& address, quint16 port, int timeoutMs);

    // Why the last request gave no usable reply: refused credentials, a
    // time-out, a refused connection or no reply at all.
    static QString failureText(Device* device, bool timedOut, const Options& options);

    // Sends one of the requests that the library itself builds ("deviceInfo",
    // "deviceStatus") as the device's own, with the host's time-out; returns
    // the reply map, empty when none came.  *timedOut tells a time-out.
    static QVariantMap request(Device* device, const QString& kind, int timeoutMs, bool* timedOut);
};

#endif
