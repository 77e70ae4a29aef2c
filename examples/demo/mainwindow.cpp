#include "mainwindow.h"
#include "reportgenerator.h"

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
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>

namespace {

const int kProgressShownMs = 1500;

} // namespace

MainWindow::MainWindow(IDeviceFactory* chosen, const Host::Options& hostOptions, QWidget* parent)
    : QMainWindow(parent)
    , options(hostOptions)
    , factory(chosen)
{
    setWindowTitle(tr("Configurator: %1").arg(factory->name()));
    QSplitter* splitter = new QSplitter(this);
    tree = new QTreeWidget(splitter);
    tree->setHeaderLabels(QStringList() << tr("Device") << tr("Address"));
    tree->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    pages = new QStackedWidget(splitter);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 600});
    setCentralWidget(splitter);

    QToolBar* tools = addToolBar(tr("Devices"));
    tools->addAction(tr("Add device..."), this, SLOT(showAddDeviceDialog()));
    tools->addAction(tr("Export report"), this, SLOT(exportReport()));
    progress = new QProgressBar(this);
    progress->setRange(0, 100);
    progress->setMaximumWidth(200);
    progress->hide();
    statusBar()->addPermanentWidget(progress);

    connect(tree, SIGNAL(itemSelectionChanged()), this, SLOT(selectDevice()));
    addDevice(Host::loginMap(options));
    resize(900, 600);
}

MainWindow::~MainWindow()
{
    for (Entry* entry : entries) {
        delete entry->tabs;
        delete entry->device;
        delete entry;
    }
}

void MainWindow::addDevice(const QVariantMap& login)
{
    Entry* entry = new Entry;
    entry->options = options;
    entry->options.address = QHostAddress(login.value(QStringLiteral("ip")).toString());
    entry->options.login = login.value(QStringLiteral("login")).toString();
    entry->options.password = login.value(QStringLiteral("password")).toString();
    entry->device = factory->createDevice(nullptr);
    entry->tabs = new QTabWidget;
    const QList<Page*> made = factory->createPages(entry->device, nullptr);
    for (Page* page : made) {
        page->setWindowFlags(Qt::Widget);
        entry->tabs->addTab(page, page->title().isEmpty() ? page->id() : page->title());
    }
    pages->addWidget(entry->tabs);
    entry->item = new QTreeWidgetItem(tree, QStringList() << factory->name() << entry->options.address.toString());
    entries << entry;
    connect(entry->device, SIGNAL(dataUpdated(QVariant)), this, SLOT(keepLog(QVariant)));
    connect(entry->device, SIGNAL(statusUpdated(QVariant)), this, SLOT(showStatus(QVariant)));
    connect(entry->device, SIGNAL(deviceInfoUpdated(QUuid)), this, SLOT(showDeviceInfo()));
    tree->setCurrentItem(entry->item);
    statusBar()->showMessage(tr("Connecting to %1:%2...").arg(entry->options.address.toString()).arg(entry->options.port));
    QTimer::singleShot(0, this, [this, entry]() { logIn(entry); });
}

void MainWindow::logIn(Entry* entry)
{
    const QString unreachable = Host::probe(entry->options.address, entry->options.port, entry->options.timeout);
    if (!unreachable.isEmpty()) {
        showMessage(unreachable);
        return;
    }
    entry->device->setConfigData(QStringLiteral("connectcfg"), Host::loginMap(entry->options));
    bool timedOut = false;
    Host::request(entry->device, QStringLiteral("deviceInfo"), entry->options.timeout, &timedOut);
    const DeviceConfig* config = entry->device->config();
    if (entry->device->status() != StatusOnline || config->serial.isEmpty()) {
        showMessage(Host::failureText(entry->device, timedOut, entry->options));
        return;
    }
    showMessage(tr("%1 at %2:%3: online").arg(config->model + QLatin1Char(' ') + config->serial,
                                              entry->options.address.toString())
                    .arg(entry->options.port));
}

void MainWindow::showMessage(const QString& text)
{
    QString sentence = text;
    if (!sentence.isEmpty())
        sentence[0] = sentence.at(0).toUpper();
    statusBar()->showMessage(sentence);
}

void MainWindow::showAddDeviceDialog()
{
    DialogAutorization dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        addDevice(dialog.data().toMap());
}

MainWindow::Entry* MainWindow::currentEntry() const
{
    for (Entry* entry : entries) {
        if (entry->item == tree->currentItem())
            return entry;
    }
    return nullptr;
}

MainWindow::Entry* MainWindow::entryOf(QObject* device) const
{
    for (Entry* entry : entries) {
        if (entry->device == device)
            return entry;
    }
    return nullptr;
}

QString MainWindow::summary() const
{
    QStringList titles;
    if (Entry* entry = currentEntry()) {
        for (int i = 0; i < entry->tabs->count(); ++i)
            titles << entry->tabs->tabText(i);
    }
    return QStringLiteral("window: %1; pages: %2; status: %3")
        .arg(windowTitle(), titles.join(QStringLiteral(", ")), statusBar()->currentMessage());
}

void MainWindow::selectDevice()
{
    if (Entry* entry = currentEntry())
        pages->setCurrentWidget(entry->tabs);
}

void MainWindow::showDeviceInfo()
{
    Entry* entry = entryOf(sender());
    if (!entry || entry->device->config()->serial.isEmpty())
        return;
    const DeviceConfig* config = entry->device->config();
    entry->item->setText(0, config->model + QLatin1Char(' ') + config->serial);
}

void MainWindow::showStatus(const QVariant& report)
{
    Entry* entry = entryOf(sender());
    if (!entry)
        return;
    const QString where = QStringLiteral("%1:%2").arg(entry->options.address.toString()).arg(entry->options.port);
    switch (report.toMap().value(QStringLiteral("status")).toInt()) {
    case StatusOnline:
        if (!entry->device->config()->serial.isEmpty())
            showMessage(tr("%1 at %2: online").arg(entry->item->text(0), where));
        break;
    case StatusNoResponse:
        statusBar()->showMessage(tr("No answer from %1 within the time-out").arg(where));
        break;
    case StatusAuthRequired:
        statusBar()->showMessage(tr("The instrument at %1 refused the login \"%2\": wrong login or password")
                                 .arg(where, entry->options.login));
        break;
    default:
        break;
    }
}

void MainWindow::keepLog(const QVariant& reply)
{
    const QVariantMap map = reply.toMap();
    Entry* entry = entryOf(sender());
    if (entry && map.value(QStringLiteral("type")).toString() == QLatin1String("file"))
        entry->log = map.value(QStringLiteral("data")).toByteArray();
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
    progress->show();
    ReportGenerator::Report report;
    report.config = entry->device->config();
    report.status = entry->device->status();
    report.measurementLog = entry->log;
    progress->setValue(50);
    QString error;
    const bool written = ReportGenerator::exportOdf(report, fileName, &error);
    progress->setValue(100);
    QTimer::singleShot(kProgressShownMs, progress, &QWidget::hide);
    if (written)
        statusBar()->showMessage(tr("Report written to %1").arg(fileName), 5000);
    else
        QMessageBox::warning(this, tr("Export report"), tr("Cannot write %1: %2").arg(fileName, error));
}
