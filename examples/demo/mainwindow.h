#ifndef MAINWINDOW_H
#define MAINWINDOW_H

#include "host.h"

#include <QMainWindow>

class Device;
class IDeviceFactory;
class Page;
class QProgressBar;
class QStackedWidget;
class QTabWidget;
class QTreeWidget;
class QTreeWidgetItem;

// The configurator window: a tree of devices, every page that the plug-in
// makes for the selected device, the login dialog for adding a device and an
// export button.  The status line says what went wrong with a device.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    MainWindow(IDeviceFactory* factory, const Host::Options& options, QWidget* parent = nullptr);
    ~MainWindow() override;

    // Adds a device from a login dialog data map ("ip", "login", "password")
    // and logs in once the event loop runs.
    void addDevice(const QVariantMap& login);

    // One line for scripts: the window title, the page titles of the current
    // device and the status line.
    QString summary() const;

public slots:
    void showAddDeviceDialog();
    void exportReport();

private slots:
    void selectDevice();
    void showDeviceInfo();
    void showStatus(const QVariant& report);
    void keepLog(const QVariant& reply);

private:
    struct Entry
    {
        Device* device = nullptr;
        QTabWidget* tabs = nullptr;
        QTreeWidgetItem* item = nullptr;
        Host::Options options;
        QByteArray log;
    };

    Entry* currentEntry() const;
    Entry* entryOf(QObject* device) const;
    void logIn(Entry* entry);
    void showMessage(const QString& text);

    Host::Options options;
    IDeviceFactory* factory;
    QTreeWidget* tree;
    QStackedWidget* pages;
    QProgressBar* progress;
    QList<Entry*> entries;
};

#endif
