#include "messageboxcloser.h"
#include "stubdevicefactory.h"
#include "testdeviceplugin.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/pluginmanager.h>

#include <QDir>
#include <QPluginLoader>
#include <QRegularExpression>
#include <QtTest>

namespace {

// A factory made by the test itself, which reports its own deletion.
class CountingFactory : public StubDeviceFactory
{
public:
    explicit CountingFactory(int* deletions) : m_deletions(deletions) {}
    ~CountingFactory() override { ++*m_deletions; }

private:
    int* m_deletions;
};

QString pluginsPath(const QString& fileName = QString())
{
    const QDir dir(QCoreApplication::applicationDirPath() + QLatin1String("/plugins"));
    return fileName.isEmpty() ? dir.path() : dir.filePath(QFileInfo(fileName).fileName());
}

const QString kDevicePlugin = QStringLiteral(TEST_DEVICE_PLUGIN);
const QString kOtherPlugin = QStringLiteral(TEST_OTHER_PLUGIN);
const QString kTextFile = QStringLiteral("readme.txt");

QObject* objectOf(IConfiguratorPlugin* plugin) { return dynamic_cast<QObject*>(plugin); }

} // namespace

class tst_PluginManager : public QObject
{
    Q_OBJECT

private slots:
    void init() { QDir(pluginsPath()).removeRecursively(); }
    void cleanup();
    void loadsPluginsAndRegistries();
    void destructionDeletesFactoriesThenUnloads();
    void missingDirectoryShowsCriticalMessage();

private:
    void layPlugins();
};

void tst_PluginManager::cleanup()
{
    QVERIFY(!PluginManager::instance());
    QDir(pluginsPath()).removeRecursively();
}

// Lays both plug-ins and a text file, and expects one warning with the
// loader's own error text for each file that is not a configurator plug-in.
void tst_PluginManager::layPlugins()
{
    QVERIFY(QDir().mkpath(pluginsPath()));
    QVERIFY(QFile::copy(kDevicePlugin, pluginsPath(kDevicePlugin)));
    QVERIFY(QFile::copy(kOtherPlugin, pluginsPath(kOtherPlugin)));
    QFile text(pluginsPath(kTextFile));
    QVERIFY(text.open(QIODevice::WriteOnly) && text.write("Not a plug-in.\n") > 0);

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(pluginsPath(kTextFile))));
    QPluginLoader probe(pluginsPath(kOtherPlugin));
    QVERIFY(probe.load());
    QTest::ignoreMessage(QtWarningMsg, probe.errorString().toUtf8().constData());
    probe.unload();
}

void tst_PluginManager::loadsPluginsAndRegistries()
{
    layPlugins();
    // Qt keeps plug-in code mapped after unload(), but a loader sharing the
    // library still sees whether the manager's loader let go of it.
    QPluginLoader otherWatcher(pluginsPath(kOtherPlugin));
    PluginManager manager;

    QCOMPARE(PluginManager::instance(), &manager);
    QCOMPARE(PluginManager::plugins().size(), 1);
    QCOMPARE(objectOf(PluginManager::plugins().first())->property("initializeCount").toInt(), 1);
    QVERIFY(!otherWatcher.isLoaded());

    const QList<IDeviceFactory*> factories = PluginManager::deviceFactories();
    QCOMPARE(factories.size(), 2);
    QCOMPARE(factories.at(0)->name(), QLatin1String(kFirstFactoryName));
    QCOMPARE(factories.at(1)->name(), QLatin1String(kSecondFactoryName));
    QCOMPARE(factories.at(1)->factoryUuid(), kTestFactoryUuid);
    // The first registered of an identity wins.
    QCOMPARE(PluginManager::deviceFactory(kTestFactoryUuid), factories.at(0));
    QVERIFY(!PluginManager::deviceFactory(QUuid::createUuid()));
    QVERIFY(!PluginManager::deviceFactory(QUuid()));

    QVERIFY(!PluginManager::addDeviceFactory(nullptr));
    QCOMPARE(PluginManager::deviceFactories(), factories);
}

void tst_PluginManager::destructionDeletesFactoriesThenUnloads()
{
    layPlugins();
    QPluginLoader watcher(pluginsPath(kDevicePlugin));
    QStringList destroyed;
    int ownDeletions = 0;
    {
        PluginManager manager;
        QVERIFY(watcher.isLoaded());
        CountingFactory* own = new CountingFactory(&ownDeletions);
        QVERIFY(PluginManager::addDeviceFactory(own));
        QCOMPARE(PluginManager::deviceFactory(own->factoryUuid()), own);
        // The same object twice would be deleted twice.
        QVERIFY(!PluginManager::addDeviceFactory(own));
        QCOMPARE(PluginManager::deviceFactories().count(own), 1);

        for (IDeviceFactory* factory : PluginManager::deviceFactories()) {
            if (QObject* object = dynamic_cast<QObject*>(factory))
                connect(object, &QObject::destroyed, this, [&destroyed, object] { destroyed << object->objectName(); });
        }
        connect(objectOf(PluginManager::plugins().value(0)), &QObject::destroyed, this,
                [&destroyed] { destroyed << QStringLiteral("plugin"); });
    }
    QCOMPARE(destroyed, QStringList({kFirstFactoryName, kSecondFactoryName, "plugin"}));
    QCOMPARE(ownDeletions, 1);
    QVERIFY(!watcher.isLoaded());

    // Without a manager the static operations answer empty instead of
    // reaching into a deleted one.
    QVERIFY(!PluginManager::instance());
    QVERIFY(PluginManager::plugins().isEmpty());
    QVERIFY(PluginManager::deviceFactories().isEmpty());
    QVERIFY(!PluginManager::deviceFactory(kTestFactoryUuid));
    CountingFactory orphan(&ownDeletions);
    QVERIFY(!PluginManager::addDeviceFactory(&orphan));
    QCOMPARE(ownDeletions, 1);
}

void tst_PluginManager::missingDirectoryShowsCriticalMessage()
{
    MessageBoxCloser closer;
    PluginManager manager;

    QCOMPARE(closer.texts(), QStringList("Plugins directory does not exist"));
    const MessageBoxCloser::Shown box = closer.shown.first();
    QCOMPARE(box.title, QString());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.parent);
    QVERIFY(PluginManager::plugins().isEmpty());
    QVERIFY(PluginManager::deviceFactories().isEmpty());
    QCOMPARE(PluginManager::instance(), &manager);
}

QTEST_MAIN(tst_PluginManager)
#include "tst_pluginmanager.moc"
