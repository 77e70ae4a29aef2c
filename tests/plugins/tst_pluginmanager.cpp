#include "messageboxcloser.h"
#include "testdeviceplugin.h"

#include <configurator-common/iconfiguratorplugin.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/pluginmanager.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPluginLoader>
#include <QPointer>
#include <QRegularExpression>
#include <QStringList>
#include <QtTest>

namespace {

const char kPluginsDirName[] = "plugins";
const char kTextFileName[] = "readme.txt";

// A factory made by the test itself, which reports its own deletion.
class CountingFactory : public IDeviceFactory
{
public:
    explicit CountingFactory(int* deletions) : m_deletions(deletions) {}
    ~CountingFactory() override { ++*m_deletions; }

    QString name() const override { return QStringLiteral("counting"); }
    QUuid factoryUuid() const override { return m_uuid; }
    QString description() const override { return QString(); }
    Device* createDevice(QObject*) override { return 0; }
    QList<Page*> createPages(Device*, QWidget*) override { return QList<Page*>(); }
    Connection* createConnection(const QString&) override { return 0; }
    bool prepareConnection(Connection*) override { return false; }
    void requestData(Connection*, const QString&, const QVariant&, int) override {}
    void releaseConnection(Connection*) override {}

private:
    int* m_deletions;
    QUuid m_uuid = QUuid::createUuid();
};

QString pluginsDirPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QLatin1String(kPluginsDirName));
}

QString laidPath(const char* builtPath)
{
    return QDir(pluginsDirPath()).filePath(QFileInfo(QString::fromLocal8Bit(builtPath)).fileName());
}


QObject* objectOf(IConfiguratorPlugin* plugin)
{
    return dynamic_cast<QObject*>(plugin);
}

QObject* objectOf(IDeviceFactory* factory)
{
    return dynamic_cast<QObject*>(factory);
}

QStringList namesOf(const QList<IDeviceFactory*>& factories)
{
    QStringList names;
    for (IDeviceFactory* factory : factories)
        names << factory->name();
    return names;
}

} // namespace

class tst_PluginManager : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void keepsOnlyConfiguratorPlugins();
    void registersFactoriesInOrder();
    void deviceFactoryReturnsFirstOfIdentity();
    void addDeviceFactoryRefusesNull();
    void destructionDeletesFactoriesThenUnloads();
    void missingDirectoryShowsCriticalMessage();
    void staticOperationsAnswerEmptyWithoutManager();

private:
    void layPlugins();
    void expectLoaderWarnings();
};

void tst_PluginManager::init()
{
    QDir(pluginsDirPath()).removeRecursively();
}

void tst_PluginManager::cleanup()
{
    QVERIFY(!PluginManager::instance());
    QDir(pluginsDirPath()).removeRecursively();
}

void tst_PluginManager::layPlugins()
{
    QVERIFY(QDir().mkpath(pluginsDirPath()));
    QVERIFY(QFile::copy(QString::fromLocal8Bit(TEST_DEVICE_PLUGIN), laidPath(TEST_DEVICE_PLUGIN)));
    QVERIFY(QFile::copy(QString::fromLocal8Bit(TEST_OTHER_PLUGIN), laidPath(TEST_OTHER_PLUGIN)));
    QFile text(QDir(pluginsDirPath()).filePath(QLatin1String(kTextFileName)));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("Not a plug-in.\n");
}

// One warning for the text file and one for the plug-in of another interface,
// each carrying the loader's own error text.
void tst_PluginManager::expectLoaderWarnings()
{
    const QString textPath = QDir(pluginsDirPath()).filePath(QLatin1String(kTextFileName));
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QRegularExpression::escape(textPath) + QLatin1String(".*")));
    QPluginLoader probe(laidPath(TEST_OTHER_PLUGIN));
    QVERIFY(probe.load());
    QTest::ignoreMessage(QtWarningMsg, probe.errorString().toUtf8().constData());
    probe.unload();
}

void tst_PluginManager::keepsOnlyConfiguratorPlugins()
{
    layPlugins();
    expectLoaderWarnings();
    // Qt keeps plug-in code mapped after unload(), but a loader sharing the
    // library still sees whether the manager's loader let go of it.
    QPluginLoader otherWatcher(laidPath(TEST_OTHER_PLUGIN));
    PluginManager manager;

    QCOMPARE(PluginManager::instance(), &manager);
    const QList<IConfiguratorPlugin*> plugins = PluginManager::plugins();
    QCOMPARE(plugins.size(), 1);
    QObject* plugin = objectOf(plugins.first());
    QVERIFY(plugin);
    QCOMPARE(plugin->property(kInitializeCountProperty).toInt(), 1);
    QVERIFY(!otherWatcher.isLoaded());
}

void tst_PluginManager::registersFactoriesInOrder()
{
    layPlugins();
    expectLoaderWarnings();
    PluginManager manager;

    const QList<IDeviceFactory*> factories = PluginManager::deviceFactories();
    QCOMPARE(namesOf(factories),
             QStringList() << QLatin1String(kFirstFactoryName) << QLatin1String(kSecondFactoryName));
    QCOMPARE(factories.at(0)->factoryUuid(), kTestFactoryUuid);
    QCOMPARE(factories.at(1)->factoryUuid(), kTestFactoryUuid);
}

void tst_PluginManager::deviceFactoryReturnsFirstOfIdentity()
{
    layPlugins();
    expectLoaderWarnings();
    PluginManager manager;

    IDeviceFactory* factory = PluginManager::deviceFactory(kTestFactoryUuid);
    QVERIFY(factory);
    QCOMPARE(factory->name(), QLatin1String(kFirstFactoryName));
    QVERIFY(!PluginManager::deviceFactory(QUuid::createUuid()));
    QVERIFY(!PluginManager::deviceFactory(QUuid()));
}

void tst_PluginManager::addDeviceFactoryRefusesNull()
{
    layPlugins();
    expectLoaderWarnings();
    int deletions = 0;
    {
        PluginManager manager;
        const QList<IDeviceFactory*> before = PluginManager::deviceFactories();
        QVERIFY(!PluginManager::addDeviceFactory(0));
        QCOMPARE(PluginManager::deviceFactories(), before);

        CountingFactory* added = new CountingFactory(&deletions);
        QVERIFY(PluginManager::addDeviceFactory(added));
        QCOMPARE(PluginManager::deviceFactories(), QList<IDeviceFactory*>(before) << added);
        QCOMPARE(PluginManager::deviceFactory(added->factoryUuid()), added);

        // The same object twice would be deleted twice.
        QVERIFY(!PluginManager::addDeviceFactory(added));
        QCOMPARE(PluginManager::deviceFactories().count(added), 1);
    }
    QCOMPARE(deletions, 1);
}

void tst_PluginManager::destructionDeletesFactoriesThenUnloads()
{
    layPlugins();
    expectLoaderWarnings();
    QPluginLoader watcher(laidPath(TEST_DEVICE_PLUGIN));
    QStringList destroyed;
    int ownDeletions = 0;
    {
        PluginManager manager;
        QVERIFY(watcher.isLoaded());
        PluginManager::addDeviceFactory(new CountingFactory(&ownDeletions));

        const QList<IDeviceFactory*> factories = PluginManager::deviceFactories();
        for (IDeviceFactory* factory : factories) {
            if (QObject* object = objectOf(factory)) {
                connect(object, &QObject::destroyed, this,
                        [&destroyed, object] { destroyed << object->objectName(); });
            }
        }
        QObject* plugin = objectOf(PluginManager::plugins().value(0));
        QVERIFY(plugin);
        connect(plugin, &QObject::destroyed, this, [&destroyed] { destroyed << QStringLiteral("plugin"); });
    }
    QCOMPARE(destroyed, QStringList() << QLatin1String(kFirstFactoryName)
                                      << QLatin1String(kSecondFactoryName)
                                      << QStringLiteral("plugin"));
    QCOMPARE(ownDeletions, 1);
    QVERIFY(!watcher.isLoaded());
}

void tst_PluginManager::missingDirectoryShowsCriticalMessage()
{
    QVERIFY(!QDir(pluginsDirPath()).exists());
    MessageBoxCloser closer;
    PluginManager manager;

    QCOMPARE(closer.shown().size(), 1);
    const MessageBoxCloser::Shown box = closer.shown().first();
    QCOMPARE(box.text, QStringLiteral("Plugins directory does not exist"));
    QCOMPARE(box.title, QString());
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!box.parent);
    QVERIFY(PluginManager::plugins().isEmpty());
    QVERIFY(PluginManager::deviceFactories().isEmpty());
    QCOMPARE(PluginManager::instance(), &manager);
}

void tst_PluginManager::staticOperationsAnswerEmptyWithoutManager()
{
    layPlugins();
    expectLoaderWarnings();
    {
        PluginManager manager;
        QVERIFY(!PluginManager::plugins().isEmpty());
    }
    QVERIFY(!PluginManager::instance());
    QVERIFY(PluginManager::plugins().isEmpty());
    QVERIFY(PluginManager::deviceFactories().isEmpty());
    QVERIFY(!PluginManager::deviceFactory(kTestFactoryUuid));

    int deletions = 0;
    CountingFactory* orphan = new CountingFactory(&deletions);
    QVERIFY(!PluginManager::addDeviceFactory(orphan));
    QCOMPARE(deletions, 0);
    delete orphan;
}

QTEST_MAIN(tst_PluginManager)
#include "tst_pluginmanager.moc"
