#ifndef DEMORUNNER_H
#define DEMORUNNER_H

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTextStream>
#include <QVariantMap>

class Device;
class IDeviceFactory;
class Page;

// Runs the road of a request the way the application does, printing each step:
// log in, check the authorization, identification and status, a configuration
// group, the settings round trip and the OpenDocument report.
class DemoRunner : public QObject
{
    Q_OBJECT
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

    explicit DemoRunner(const Options& options, QObject* parent = 0);
    ~DemoRunner() override;

    // 0 on success; otherwise the exit status of the failed step.
    int run();

    static IDeviceFactory* sampleFactory(QTextStream& err);

private slots:
    void showReply(const QVariantMap& reply);

private:
    bool connectDevice();
    bool identify();
    bool readStatus();
    bool editConfiguration();
    bool saveAndLoad();
    bool exportReport();
    QVariantMap requestThroughPage(const char* slot);
    void fail(const QString& text);

    Options options;
    QTextStream out;
    QTextStream err;
    IDeviceFactory* factory;
    Device* device;
    Page* page;
    QVariantMap lastReply;
    QByteArray measurementLog;
};

#endif
