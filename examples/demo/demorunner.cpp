#include "demorunner.h"
#include "reportgenerator.h"

#include <configurator-common/device.h>
#include <configurator-common/deviceconfig.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/json.h>
#include <configurator-common/page.h>
#include <configurator-common/pluginmanager.h>
#include <configurator-common/zipreader.h>

#include <QFileInfo>
#include <QSettings>

namespace {

const char* const kDeviceGroup = "devices/instrument";
const char* const kHiddenPassword = "********";

QString jsonText(const QVariant& value)
{
    return QString::fromUtf8(QtJson::Json::serialize(value));
}

} // namespace

DemoRunner::DemoRunner(IDeviceFactory* chosen, const Host::Options& hostOptions, QObject* parent)
    : QObject(parent)
    , options(hostOptions)
    , out(stdout)
    , err(stderr)
    , factory(chosen)
    , device(nullptr)
{
}

DemoRunner::~DemoRunner()
{
    qDeleteAll(pages);
    delete device;
}

void DemoRunner::fail(const QString& text)
{
    out.flush();
    err << "demo: " << text << "\n";
    err.flush();
}

int DemoRunner::run()
{
    out << "plug-ins: " << PluginManager::plugins().size() << " loaded, factory \""
        << factory->name() << "\" " << factory->factoryUuid().toString() << "\n";

    device = factory->createDevice(nullptr);
    if (!device) {
        fail(QStringLiteral("the factory \"%1\" made no device").arg(factory->name()));
        return 3;
    }
    // The plug-in's pages take part as in the window, unseen: they may ask
    // the instrument for more when it has identified itself.
    pages = factory->createPages(device, nullptr);
    connect(device, &Device::updateConfigData, this, &DemoRunner::keepConfigMap);
    connect(device, &Device::dataUpdated, this, &DemoRunner::keepLog);

    out.flush();
    if (!connectDevice())
        return 2;
    if (!identify() || !readStatus())
        return 4;
    printConfiguration();
    if (!saveAndLoad())
        return 6;
    if (!exportReport())
        return 7;
    out << "done\n";
    out.flush();
    return 0;
}

bool DemoRunner::connectDevice()
{
    out << "device: " << device->uuid().toString() << " at " << options.address.toString()
        << ":" << options.port << " as \"" << options.login << "\" with " << pages.size() << " page(s)\n";
    out.flush();
    const QString unreachable = Host::probe(options.address, options.port, options.timeout);
    if (!unreachable.isEmpty()) {
        fail(unreachable);
        return false;
    }
    device->setConfigData(QStringLiteral("connectcfg"), Host::loginMap(options));

    // A first status request bounded by the host's time-out, so that a silent
    // instrument is told before the authorization probe.
    bool timedOut = false;
    const QVariantMap reply = Host::request(device, QStringLiteral("deviceStatus"), options.timeout, &timedOut);
    if (reply.isEmpty() || timedOut || device->status() != StatusOnline || !device->checkAuth()) {
        fail(Host::failureText(device, timedOut, options));
        return false;
    }
    out << "authorization: accepted, status " << ReportGenerator::statusText(device->status()) << "\n";
    return true;
}

bool DemoRunner::identify()
{
    bool timedOut = false;
    Host::request(device, QStringLiteral("deviceInfo"), options.timeout, &timedOut);
    const DeviceConfig* config = device->config();
    if (device->status() != StatusOnline || config->serial.isEmpty()) {
        fail(QStringLiteral("no identification: %1").arg(Host::failureText(device, timedOut, options)));
        return false;
    }
    out << "identification:\n"
        << "  model: " << config->model << "\n"
        << "  description: " << config->description << "\n"
        << "  serial: " << config->serial << "\n"
        << "  production date: " << ReportGenerator::dateText(config->productionDate) << "\n"
        << "  accuracy class: " << config->accuracyClass << "\n"
        << "  certificate: " << config->certificateSerial << "\n"
        << "  last verification: " << ReportGenerator::dateText(config->lastVerificationDate) << "\n"
        << "  next verification: " << ReportGenerator::dateText(config->nextVerificationDate) << "\n";
    return true;
}

bool DemoRunner::readStatus()
{
    bool timedOut = false;
    const QVariantMap reply = Host::request(device, QStringLiteral("deviceStatus"), options.timeout, &timedOut);
    if (reply.isEmpty() || timedOut) {
        fail(QStringLiteral("no status: %1").arg(Host::failureText(device, timedOut, options)));
        return false;
    }
    out << "status: " << ReportGenerator::statusText(device->status()) << " (HTTP "
        << reply.value(QStringLiteral("status")).toInt() << "): "
        << jsonText(reply.value(QStringLiteral("data"))) << "\n";
    return true;
}

void DemoRunner::keepConfigMap(const QVariant& map)
{
    configMap = map.toMap();
}

void DemoRunner::keepLog(const QVariant& reply)
{
    const QVariantMap map = reply.toMap();
    if (map.value(QStringLiteral("type")).toString() == QLatin1String("file"))
        measurementLog = map.value(QStringLiteral("data")).toByteArray();
}

void DemoRunner::printConfiguration()
{
    configMap.clear();
    device->getConfigData(QVariant());
    out << "configuration:\n";
    for (auto it = configMap.constBegin(); it != configMap.constEnd(); ++it) {
        if (it.key() == QLatin1String("page"))
            continue;
        QVariant value = it.value();
        if (it.key() == QLatin1String("connectcfg")) {
            QVariantMap login = value.toMap();
            login.insert(QStringLiteral("password"), QLatin1String(kHiddenPassword));
            value = login;
        }
        out << "  " << it.key() << ": " << jsonText(value) << "\n";
    }
}

bool DemoRunner::saveAndLoad()
{
    {
        QSettings settings(options.settingsPath, QSettings::IniFormat);
        settings.clear();
        settings.beginGroup(QLatin1String(kDeviceGroup));
        device->saveConfig(&settings);
        settings.endGroup();
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            fail(QStringLiteral("cannot write %1").arg(options.settingsPath));
            return false;
        }
    }
    out << "settings saved: " << QFileInfo(options.settingsPath).absoluteFilePath() << "\n";

    QScopedPointer<Device> restored(factory->createDevice(nullptr));
    QSettings settings(options.settingsPath, QSettings::IniFormat);
    settings.beginGroup(QLatin1String(kDeviceGroup));
    restored->loadConfig(&settings);
    settings.endGroup();
    const DeviceConfig* config = restored->config();
    const DeviceConfig* saved = device->config();
    bool same = config->serial == saved->serial && ConnectionSettings(*config) == ConnectionSettings(*saved)
        && config->configData.keys() == saved->configData.keys();
    // Stored values come back as text.
    for (auto it = saved->configData.constBegin(); same && it != saved->configData.constEnd(); ++it) {
        const QVariantMap group = it.value().toMap();
        const QVariantMap loaded = config->configData.value(it.key()).toMap();
        for (auto entry = group.constBegin(); entry != group.constEnd(); ++entry)
            same = same && loaded.value(entry.key()).toString() == entry.value().toString();
    }
    out << "settings loaded back: serial " << config->serial << ", address " << config->address.toString()
        << ":" << config->port << ", groups "
        << (config->configData.isEmpty() ? QStringLiteral("-") : QStringList(config->configData.keys()).join(QLatin1Char(',')))
        << "\n";
    if (!same)
        fail(QStringLiteral("the settings did not load back as saved"));
    return same;
}

bool DemoRunner::exportReport()
{
    if (!measurementLog.isEmpty())
        out << "measurement log: " << qMax(0, measurementLog.count('\n') - 1) << " readings\n";
    ReportGenerator::Report report;
    report.config = device->config();
    report.status = device->status();
    report.measurementLog = measurementLog;
    QString error;
    if (!ReportGenerator::exportOdf(report, options.reportPath, &error)) {
        fail(QStringLiteral("cannot write the report %1: %2").arg(options.reportPath, error));
        return false;
    }
    ZipReader reader(options.reportPath, QIODevice::ReadOnly);
    const QByteArray content = reader.fileData(QStringLiteral("content.xml"));
    QStringList parts;
    for (const ZipReader::FileInfo& info : reader.fileInfoList())
        parts << info.filePath;
    if (!content.contains(device->config()->serial.toUtf8())) {
        fail(QStringLiteral("the report %1 does not hold the serial number").arg(options.reportPath));
        return false;
    }
    out << "report: " << QFileInfo(options.reportPath).absoluteFilePath() << " ("
        << QFileInfo(options.reportPath).size() << " bytes; " << parts.join(QStringLiteral(", ")) << ")\n";
    return true;
}
