#include "mainwindow.h"
#include "reportgenerator.h"
#include "sampleprotocol.h"

#include <configurator-common/device.h>
#include <configurator-common/deviceconfig.h>
#include <configurator-common/dialogautorization.h>
#include <configurator-common/idevicefactory.h>
#include <configurator-common/page.h>

#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QProgressBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTextStream>
#include <QToolBar>
#include <QTreeWidget>

using namespace SampleProtocol;

MainWindow::MainWindow(const DemoRunner::Options& demoOptions, QWidget* parent)
    : QMainWindow(parent)
    , options(demoOptions)
    , factory(0)
{
    setWindowTitle(tr("Configurator"));
    QSplitter* splitter = new QSplitter(this);
    tree = new QTreeWidget(splitter);
    tree->setHeaderLabels(QStringList() << tr("Device") << tr("Address"));
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pages = new QStackedWidget(splitter);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    QToolBar* tools = addToolBar(tr("Devices"));
    tools->addAction(tr("Add device..."), this, SLOT(showAddDeviceDialog()));
    tools->addAction(tr("Export report"), this, SLOT(exportReport()));
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setValue(0);
    progress->setMaximumWidth(200);
    statusBar()->addPermanentWidget(progress);

    connect(tree, SIGNAL(itemSelectionChanged()), this, SLOT(selectDevice()));

    QTextStream err(stderr);
    factory = DemoRunner::sampleFactory(err);
    QVariantMap login;
    login.insert(QStringLiteral("ip"), options.address.toString());
    login.insert(QStringLiteral("login"), options.login);
    login.insert(QStringLiteral("password"), options.password);
    if (factory)
        addDevice(login);
    resize(860, 560);
}

MainWindow::~MainWindow()
{
    for (Entry* entry : entries) {
        delete entry->page;
        delete entry->device;
        delete entry;
    }
}

bool MainWindow::addDevice(const QVariantMap& login)
{
    if (!factory)
        return false;
    Entry* entry = new Entry;
    entry->device = factory->createDevice(0);
    entry->page = factory->createPages(entry->device, 0).value(0);
    QVariantMap network;
    if (options.port != kDefaultHttpPort)
        network.insert(kPortKey, options.port);
    network.insert(kTimeoutKey, options.timeout);
    entry->device->setConfigData(QLatin1String(kNetworkGroup), network);
    entry->device->setConfigData(QStringLiteral("connectcfg"), login);
    entry->item = new QTreeWidgetItem(tree, QStringList() << factory->name()
                                                          << login.value(QStringLiteral("ip")).toString());
    entries << entry;
    if (entry->page) {
        entry->page->setWindowFlags(Qt::Widget);
        pages->addWidget(entry->page);
        connect(entry->device, SIGNAL(dataUpdated(QVariant)), this, SLOT(keepLog(QVariant)));
    }
    connect(entry->device, SIGNAL(deviceInfoUpdated(QUuid)), this, SLOT(showDeviceInfo()));
    tree->setCurrentItem(entry->item);
    entry->device->requestDeviceInfo();
    if (entry->page) {
        QMetaObject::invokeMethod(entry->page, "requestStatus");
        QMetaObject::invokeMethod(entry->page, "readMeasurementConfig");
    }
    return true;
}

void MainWindow::showAddDeviceDialog()
{
    DialogAutorization dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        addDevice(dialog.data().toMap());
}

MainWindow::Entry* MainWindow::currentEntry()
{
    for (Entry* entry : entries) {
        if (entry->item == tree->currentItem())
            return entry;
    }
    return 0;
}

void MainWindow::selectDevice()
{
    Entry* entry = currentEntry();
    if (entry && entry->page)
        pages->setCurrentWidget(entry->page);
}

void MainWindow::showDeviceInfo()
{
    for (Entry* entry : entries) {
        if (entry->device == sender() && !entry->device->config()->serial.isEmpty())
            entry->item->setText(0, entry->device->config()->model + QLatin1Char(' ') + entry->device->config()->serial);
    }
}

void MainWindow::keepLog(const QVariant& reply)
{
    const QVariantMap map = reply.toMap();
    if (map.value(QStringLiteral("type")).toString() != QLatin1String("file"))
        return;
    for (Entry* entry : entries) {
        if (entry->device == sender())
            entry->log = map.value(QStringLiteral("data")).toByteArray();
    }
}

void MainWindow::exportReport()
{
    Entry* entry = currentEntry();
    if (!entry)
        return;
    const QString fileName = QFileDialog::getSaveFileName(this, tr("Export report"), options.reportPath,
                                                          tr("OpenDocument text (*.odt)"));
    if (fileName.isEmpty())
        return;
    progress->setValue(10);
    if (entry->page)
        QMetaObject::invokeMethod(entry->page, "downloadLog");
    progress->setValue(50);
    ReportGenerator::Report report;
    report.config = entry->device->config();
    report.status = entry->device->status();
    report.measurementLog = entry->log;
    QString error;
    const bool written = ReportGenerator::exportOdf(report, fileName, &error);
    progress->setValue(100);
    if (written)
        statusBar()->showMessage(tr("Report written to %1").arg(fileName), 5000);
    else
        QMessageBox::warning(this, tr("Export report"), tr("Cannot write %1: %2").arg(fileName, error));
}
