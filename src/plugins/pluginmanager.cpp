#include "pluginmanager.h"
#include "pluginmanager_p.h"

#include "iconfiguratorplugin.h"
#include "idevicefactory.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QPluginLoader>
#include <QtDebug>

namespace {
const char kPluginsDirName[] = "plugins";
}

PluginManager* PluginManager::m_instance = 0;

PluginManager::PluginManager(QObject* parent)
    : QObject(parent)
    , d(new PluginManagerPrivate(this))
{
    m_instance = this;
    d->loadPlugins();
    d->initializePlugins();
}

PluginManager::~PluginManager()
{
    // Cleared first, so that a factory's destructor that asks the manager
    // gets empty answers instead of half-destroyed registries.
    if (m_instance == this)
        m_instance = 0;
    delete d;
    d = 0;
}

PluginManager* PluginManager::instance()
{
    return m_instance;
}

PluginManagerPrivate* PluginManager::current()
{
    return m_instance ? m_instance->d : 0;
}

QList<IConfiguratorPlugin*> PluginManager::plugins()
{
    PluginManagerPrivate* p = current();
    return p ? p->plugins : QList<IConfiguratorPlugin*>();
}

QList<IDeviceFactory*> PluginManager::deviceFactories()
{
    PluginManagerPrivate* p = current();
    return p ? p->deviceFactories : QList<IDeviceFactory*>();
}

IDeviceFactory* PluginManager::deviceFactory(const QUuid& uuid)
{
    PluginManagerPrivate* p = current();
    if (!p)
        return 0;
    for (IDeviceFactory* factory : qAsConst(p->deviceFactories)) {
        if (factory && factory->factoryUuid() == uuid)
            return factory;
    }
    return 0;
}

bool PluginManager::addDeviceFactory(IDeviceFactory* factory)
{
    PluginManagerPrivate* p = current();
    if (!factory || !p)
        return false;
    // Registered factories are deleted once each: a second registration of
    // the same object is refused (another object of the same identity is not).
    if (p->deviceFactories.contains(factory))
        return false;
    p->deviceFactories.append(factory);
    return true;
}

PluginManagerPrivate::PluginManagerPrivate(QObject* parent)
    : QObject(parent)
{
}

PluginManagerPrivate::~PluginManagerPrivate()
{
    QList<IDeviceFactory*> factories;
    factories.swap(deviceFactories);
    for (IDeviceFactory* factory : qAsConst(factories))
        delete factory;

    for (QPluginLoader* loader : qAsConst(loaders))
        loader->unload();
    plugins.clear();
    qDeleteAll(loaders);
    loaders.clear();
}

void PluginManagerPrivate::loadPlugins()
{
    // Without an application there is no application directory to look in.
    if (!QCoreApplication::instance()) {
        reportMissingDirectory();
        return;
    }
    QDir dir(QCoreApplication::applicationDirPath());
    if (!dir.cd(QLatin1String(kPluginsDirName))) {
        reportMissingDirectory();
        return;
    }

    const QStringList names = dir.entryList(QDir::Files, QDir::NoSort);
    for (const QString& name : names) {
        QPluginLoader* loader = new QPluginLoader(dir.absoluteFilePath(name));
        QObject* object = loader->instance();
        IConfiguratorPlugin* plugin = qobject_cast<IConfiguratorPlugin*>(object);
        if (plugin) {
            loaders.append(loader);
            plugins.append(plugin);
            continue;
        }
        qWarning().noquote() << loader->errorString();
        // Drop our hold on a plug-in of another interface; this deletes its
        // instance (Qt itself keeps plug-in code mapped).
        if (object)
            loader->unload();
        delete loader;
    }
}

bool PluginManagerPrivate::initializePlugins()
{
    bool ok = true;
    for (IConfiguratorPlugin* plugin : qAsConst(plugins))
        ok = plugin->initialize() && ok;
    return ok;
}

void PluginManagerPrivate::reportMissingDirectory()
{
    const QString text = tr("Plugins directory does not exist");
    // A message box needs a widget application; a console program gets the
    // same text as a warning instead of an abort.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        qWarning().noquote() << text;
        return;
    }
    QMessageBox::critical(0, QString(), text, QMessageBox::Ok);
}
