#include <configurator-common/pluginmanager.h>

#include <QDir>
#include <QtTest>

// A console program (no widgets) has no message box to show: a missing
// plug-in directory is reported as a warning, and the manager stays usable.
class tst_PluginManagerConsole : public QObject
{
    Q_OBJECT

private slots:
    void missingDirectoryIsAWarning()
    {
        QDir(QCoreApplication::applicationDirPath() + QLatin1String("/plugins")).removeRecursively();
        QTest::ignoreMessage(QtWarningMsg, "Plugins directory does not exist");
        {
            PluginManager manager;
            QCOMPARE(PluginManager::instance(), &manager);
            QVERIFY(PluginManager::plugins().isEmpty());
        }
        QVERIFY(!PluginManager::instance());
    }
};

QTEST_GUILESS_MAIN(tst_PluginManagerConsole)
#include "tst_pluginmanagerconsole.moc"

