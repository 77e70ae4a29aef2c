#include "demorunner.h"
#include "reportgenerator.h"
#include "sampleprotocol.h"

#include <configurator-common/device.h>
#include <configurator-common/deviceconfig.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/json.h>
#include <configurator-common/page.h>
#include <configurator-common/pluginmanager.h>
#include <configurator-common/zipreader.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

using namespace SampleProtocol;

namespace {

const char* const kDeviceGroup = "devices/instrument";

} // namespace

DemoRunner::DemoRunner(const Options& demoOptions, QObject* parent)
    : QObject(parent)
    , options(demoOptions)
    , out(stdout)
    , err(stderr)
    , factory(0)
    , device(0)
    , page(0)
{
}

DemoRunner::~DemoRunner()
{
    delete page;
    delete device;
}

IDeviceFactory* DemoRunner::sampleFactory(QTextStream& err)
{
    IDeviceFactory* factory = PluginManager::deviceFactory(QUuid(kFactoryUuid));
    if (!factory) {
        err << "demo: the sample plug-in was not found in "
            << QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("plugins")) << "\n";
        err.flush();
    }
    return factory;
}

void DemoRunner::fail(const QString& text)
{
    out.flush();
    err << "demo: " << text << "\n";
    err.flush();
}

int DemoRunner::run()
{
    factory = sampleFactory(err);
    if (!factory)
        return 3;
    out << "plug-ins: " << PluginManager::plugins().size() << " loaded, factory \""
        << factory->name() << "\" " << factory->factoryUuid().toString() << "\n";

    device = factory->createDevice(this);
    device->setParent(0);
    const QList<Page*> pages = factory->createPages(device, 0);
    page = pages.value(0);
    for (int i = 1; i < pages.size(); ++i)
        delete pages.at(i);
    // The demo knows the sample page only through its meta-object, as the
    // application knows the pages of any plug-in.
    if (!page || !connect(page, SIGNAL(replyReceived(QVariantMap)), this, SLOT(showReply(QVariantMap)))) {
        fail(QStringLiteral("the sample factory made no sample page"));
        return 3;
    }

    out.flush();
    if (!connectDevice())
        return 2;
    if (!identify() || !readStatus())
        return 4;
    if (!editConfiguration())
        return 5;
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
        << ":" << options.port << " as \"" << options.login << "\"\n";
    QVariantMap network;
    if (options.port != kDefaultHttpPort)
        network.insert(kPortKey, options.port);
    network.insert(kTimeoutKey, options.timeout);
    device->setConfigData(QLatin1String(kNetworkGroup), network);
    QVariantMap login;
    login.insert(QStringLiteral("ip"), options.address.toString());
    login.insert(QStringLiteral("login"), options.login);
    login.insert(QStringLiteral("password"), options.password);
    device->setConfigData(QStringLiteral("connectcfg"), login);

    if (!device->checkAuth()) {
        fail(QStringLiteral("the device refused the login \"%1\" (status %2): check the login and the password")
             .arg(options.login).arg(int(device->status())));
        return false;
    }
    out << "authorization: status " << int(device->status()) << "\n";
    return true;
}

bool DemoRunner::identify()
{
    device->requestDeviceInfo();
    const DeviceConfig* config = device->config();
    if (device->status() != StatusOnline || config->serial.isEmpty()) {
        fail(QStringLiteral("no identification from %1 (status %2: %3)")
             .arg(options.address.toString()).arg(int(device->status()))
             .arg(ReportGenerator::statusText(device->status())));
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

void DemoRunner::showReply(const QVariantMap& reply)
{
    lastReply = reply;
}

QVariantMap DemoRunner::requestThroughPage(const char* slot)
{
    lastReply.clear();
    QMetaObject::invokeMethod(page, slot);
    return lastReply;
}

bool DemoRunner::readStatus()
{
    const QVariantMap reply = requestThroughPage("requestStatus");
    const QVariantMap data = reply.value(QStringLiteral("data")).toMap();
    if (data.isEmpty()) {
        fail(QStringLiteral("no status reply (status %1)").arg(int(device->status())));
        return false;
    }
    out << "status: " << ReportGenerator::statusText(device->status()) << ", "
        << data.value(QStringLiteral("state")).toString() << ", reading "
        << QString::number(data.value(QStringLiteral("reading")).toDouble(), 'f', 3) << " "
        << data.value(QStringLiteral("unit")).toString() << " (page \""
        << reply.value(QStringLiteral("page")).toString() << "\", HTTP "
        << reply.value(QStringLiteral("status")).toInt() << ")\n";
    return true;
}

bool DemoRunner::editConfiguration()
{
    QVariantMap reply = requestThroughPage("readMeasurementConfig");
    out << "configuration \"" << kMeasurementGroup << "\" read: "
        << QString::fromUtf8(QtJson::Json::serialize(reply.value(QStringLiteral("data")))) << "\n";

    QVariantMap values = page->property("measurementValues").toMap();
    values.insert(QStringLiteral("interval"), values.value(QStringLiteral("interval")).toInt() == 5 ? 15 : 5);
    page->setProperty("measurementValues", values);
    reply = requestThroughPage("writeMeasurementConfig");
    const QVariantMap written = reply.value(QStringLiteral("data")).toMap();
    if (written.value(QStringLiteral("interval")).toInt() != values.value(QStringLiteral("interval")).toInt()) {
        fail(QStringLiteral("the instrument did not take the configuration (HTTP %1)")
             .arg(reply.value(QStringLiteral("status")).toInt()));
        return false;
    }
    out << "configuration \"" << kMeasurementGroup << "\" written: "
        << QString::fromUtf8(QtJson::Json::serialize(written)) << "\n";

    reply = requestThroughPage("downloadLog");
    measurementLog = reply.value(QStringLiteral("data")).toByteArray();
    out << "measurement log: " << measurementLog.count('\n') - 1 << " readings ("
        << reply.value(QStringLiteral("type")).toString() << ")\n";
    return true;
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

    QScopedPointer<Device> restored(factory->createDevice(0));
    QSettings settings(options.settingsPath, QSettings::IniFormat);
    settings.beginGroup(QLatin1String(kDeviceGroup));
    restored->loadConfig(&settings);
    settings.endGroup();
    const DeviceConfig* config = restored->config();
    const bool same = config->serial == device->config()->serial
        && config->address.toString() == device->config()->address.toString()
        && config->configData.value(kMeasurementGroup).toMap().value(QStringLiteral("interval")).toString()
           == device->config()->configData.value(kMeasurementGroup).toMap().value(QStringLiteral("interval")).toString();
    out << "settings loaded back: serial " << config->serial << ", address " << config->address.toString()
        << ", groups " << QStringList(config->configData.keys()).join(QLatin1Char(',')) << "\n";
    if (!same)
        fail(QStringLiteral("the settings did not load back as saved"));
    return same;
}

bool DemoRunner::exportReport()
{
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
