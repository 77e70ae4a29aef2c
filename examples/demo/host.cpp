#include "host.h"

#include <configurator-common/device.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/pluginmanager.h>

#include <QDir>
#include <QEventLoop>
#include <QStringList>
#include <QTcpSocket>
#include <QTimer>
#include <QUuid>

IDeviceFactory* Host::chooseFactory(const QString& choice, QString* message)
{
    const QList<IDeviceFactory*> factories = PluginManager::deviceFactories();
    if (choice.isEmpty() && factories.size() == 1)
        return factories.first();
    if (factories.isEmpty()) {
        *message = tr("no device plug-in was found in %1")
                       .arg(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("plugins")));
        return nullptr;
    }
    const QUuid uuid(choice);
    for (IDeviceFactory* factory : factories) {
        if (!choice.isEmpty() && ((!uuid.isNull() && factory->factoryUuid() == uuid)
                                  || factory->name().compare(choice, Qt::CaseInsensitive) == 0))
            return factory;
    }
    QStringList names;
    for (IDeviceFactory* factory : factories)
        names << QStringLiteral("  \"%1\" %2").arg(factory->name(), factory->factoryUuid().toString());
    if (choice.isEmpty())
        *message = tr("%n device factories are loaded; choose one with --factory NAME or --factory {UUID}:",
                      nullptr, factories.size());
    else
        *message = tr("no loaded factory is called \"%1\"; choose one with --factory NAME or --factory {UUID}:")
                       .arg(choice);
    *message += QLatin1Char('\n') + names.join(QLatin1Char('\n'));
    return nullptr;
}

QVariantMap Host::loginMap(const Options& options)
{
    QVariantMap login;
    login.insert(QStringLiteral("ip"), options.address.toString());
    login.insert(QStringLiteral("login"), options.login);
    login.insert(QStringLiteral("password"), options.password);
    login.insert(QStringLiteral("port"), options.port);
    return login;
}

QString Host::probe(const QHostAddress& address, quint16 port, int timeoutMs)
{
    QTcpSocket socket;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    socket.connectToHost(address, port);
    timer.start(qMax(timeoutMs, 0));
    loop.exec();
    const QString where = QStringLiteral("%1:%2").arg(address.toString()).arg(port);
    if (socket.state() == QAbstractSocket::ConnectedState)
        return QString();
    if (socket.error() == QAbstractSocket::ConnectionRefusedError)
        return tr("the connection to %1 was refused: nothing listens on that port").arg(where);
    if (!timer.isActive())
        return tr("no answer from %1 within the time-out of %2 ms").arg(where).arg(timeoutMs);
    return tr("cannot connect to %1: %2").arg(where, socket.errorString());
}

QString Host::failureText(Device* device, bool timedOut, const Options& options)
{
    const QString where = QStringLiteral("%1:%2").arg(options.address.toString()).arg(options.port);
    if (device->status() == StatusAuthRequired)
        return tr("the instrument at %1 refused the login \"%2\": wrong login or password")
            .arg(where, options.login);
    if (timedOut)
        return tr("no answer from %1 within the time-out of %2 ms").arg(where).arg(options.timeout);
    const QString unreachable = probe(options.address, options.port, options.timeout);
    if (!unreachable.isEmpty())
        return unreachable;
    return tr("no usable reply from %1 (status %2)").arg(where).arg(int(device->status()));
}

QVariantMap Host::request(Device* device, const QString& kind, int timeoutMs, bool* timedOut)
{
    QVariantMap last;
    const QMetaObject::Connection watch = QObject::connect(device, &Device::dataUpdated, [&last](const QVariant& reply) {
        const QVariantMap map = reply.toMap();
        if (map.value(QStringLiteral("page")).toString() == QLatin1String("device"))
            last = map;
    });
    QVariantMap map;
    map.insert(QStringLiteral("request"), kind);
    device->requestData(map, timeoutMs);
    QObject::disconnect(watch);
    *timedOut = !last.isEmpty() && !last.value(QStringLiteral("data")).isValid();
    return last;
}
