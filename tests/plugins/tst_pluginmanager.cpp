#include "fakedevicefactory.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/pluginmanager.h>

#include <QtTest>

// Real plug-in libraries laid in the "plugins" directory beside the test.
// A console program: a missing directory is a warning, not a message box.

namespace {

const QStringList kPlugins = QStringLiteral(TEST_PLUGINS).split('|');   // device, order, other

QString pluginsPath(const QString& file = QString())
{
    return QCoreApplication::applicationDirPath() + "/plugins/" + QFileInfo(file).fileName();
}

} // namespace

class tst_PluginManager : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        QDir(pluginsPath()).removeRecursively();
        if (QTest::currentTestFunction() == QLatin1String("missingDirectoryIsAWarning"))
            return;
        QVERIFY(QDir().mkpath(pluginsPath()));
        for (const QString& plugin : kPlugins)
            QVERIFY(QFile::copy(plugin, pluginsPath(plugin)));
        QFile text(pluginsPath("readme.txt"));
        QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Not a plug-in.\n") > 0);
        // Each file that is no configurator plug-in is let go with the loader's warning.
        for (int i = 0; i < 2; ++i)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("."));
    }
    void cleanup() { QVERIFY(!PluginManager::instance()); }

    // Every plug-in is initialised once, after all of them are loaded.
    void initialisesAfterLoadingAll()
    {
        // Qt keeps plug-in code mapped after unload(), but a loader sharing the
        // library still sees whether the manager's loader let go of it.
        QPluginLoader otherWatcher(pluginsPath(kPlugins.at(2)));
        PluginManager manager;
        QCOMPARE(PluginManager::plugins().size(), 2);
        for (IConfiguratorPlugin* plugin : PluginManager::plugins())
            QCOMPARE(dynamic_cast<QObject*>(plugin)->property("pluginsSeen"), QVariant(QVariantList{2}));
        QVERIFY(!otherWatcher.isLoaded());
        const QList<IDeviceFactory*> factories = PluginManager::deviceFactories();
        QCOMPARE(factories.size(), 2);
        // The first registered of an identity wins.
        QCOMPARE(PluginManager::deviceFactory(factories.at(1)->factoryUuid()), factories.at(0));
        QVERIFY(!PluginManager::deviceFactory(QUuid::createUuid()) && !PluginManager::addDeviceFactory(nullptr));
    }

    void destructionDeletesFactoriesThenUnloads()
    {
        QPluginLoader watcher(pluginsPath(kPlugins.at(0)));
        QCoreApplication::instance()->setProperty("destroyed", QVariant());
        auto* own = new FakeFactory;
        {
            PluginManager manager;
            QVERIFY(watcher.isLoaded() && PluginManager::addDeviceFactory(own));
            // The same object twice would be deleted twice.
            QVERIFY(!PluginManager::addDeviceFactory(own));
        }
        QCOMPARE(QCoreApplication::instance()->property("destroyed").toStringList(), QStringList({"first-factory", "second-factory", "plugin"}));
        QVERIFY(!watcher.isLoaded());
        // Without a manager the static operations answer empty instead of
        // reaching into a deleted one; the factory stays the caller's.
        QVERIFY(PluginManager::plugins().isEmpty() && PluginManager::deviceFactories().isEmpty());
        FakeFactory orphan;
        QVERIFY(!PluginManager::addDeviceFactory(&orphan));
    }

    void missingDirectoryIsAWarning()
    {
        QTest::ignoreMessage(QtWarningMsg, "Plugins directory does not exist");
        PluginManager manager;
        QCOMPARE(PluginManager::instance(), &manager);
        QVERIFY(PluginManager::plugins().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_PluginManager)
#include "tst_pluginmanager.moc"
