#ifndef DEMORUNNER_H
#define DEMORUNNER_H

#include "host.h"

#include <QByteArray>
#include <QObject>
#include <QTextStream>

class Device;
class IDeviceFactory;
class Page;

// The console run of the host, with any device plug-in, printing each step:
// log in, check the authorization, identification and status, every
// configuration group, the settings round trip and the OpenDocument report.
// It knows the plug-in only through the library's interfaces.
class DemoRunner : public QObject
{
    Q_OBJECT
public:
    DemoRunner(IDeviceFactory* factory, const Host::Options& options, QObject* parent = nullptr);
    ~DemoRunner() override;

    // 0 on success; otherwise the exit status of the failed step.
    int run();

private slots:
    void keepConfigMap(const QVariant& configMap);
    void keepLog(const QVariant& reply);

private:
    bool connectDevice();
    bool identify();
    bool readStatus();
    void printConfiguration();
    bool saveAndLoad();
    bool exportReport();
    void fail(const QString& text);

    Host::Options options;
    QTextStream out;
    QTextStream err;
    IDeviceFactory* factory;
    Device* device;
    QList<Page*> pages;
    QVariantMap configMap;
    QByteArray measurementLog;
};

#endif
