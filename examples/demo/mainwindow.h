#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "demorunner.h"

#include <QMainWindow>
#include <QMap>

class Device;
class IDeviceFactory;
class Page;
class QProgressBar;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The configurator window: a tree of devices, the plug-in's page of the
// selected device, the login dialog for adding a device and an export button.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(const DemoRunner::Options& options, QWidget* parent = 0);
    ~MainWindow() override;

    // Adds a device from a login dialog data map ("ip", "login", "password").
    bool addDevice(const QVariantMap& login);

public slots:
    void showAddDeviceDialog();
    void exportReport();

private slots:
    void selectDevice();
    void showDeviceInfo();
    void keepLog(const QVariant& reply);

private:
    struct Entry
    {
        Device* device = 0;
        Page* page = 0;
        QTreeWidgetItem* item = 0;
        QByteArray log;
    };

    Entry* currentEntry();

    DemoRunner::Options options;
    IDeviceFactory* factory;
    QTreeWidget* tree;
    QStackedWidget* pages;
    QProgressBar* progress;
    QList<Entry*> entries;
};

#endif
