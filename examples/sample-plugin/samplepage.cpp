#include "samplepage.h"
#include "sampleprotocol.h"

#include <configurator-common/device.h>
#include <configurator-common/deviceconfig.h>

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

using namespace SampleProtocol;

const char* const SamplePage::kPageId = "sample.instrument";

static QString dateText(const QDateTime& date)
{
    return date.isValid() ? date.toUTC().toString(QStringLiteral("yyyy-MM-dd")) : QStringLiteral("-");
}

SamplePage::SamplePage(Device* device, QWidget* parent)
    : Page(device, parent)
{
    setId(QLatin1String(kPageId));
    setTitle(tr("Instrument"));

    QWidget* central = new QWidget(this);
    QVBoxLayout* layout = new QVBoxLayout(central);

    QGroupBox* identity = new QGroupBox(tr("Identification"), central);
    QFormLayout* form = new QFormLayout(identity);
    modelLabel = addRow(form, tr("Model"));
    serialLabel = addRow(form, tr("Serial number"));
    productionLabel = addRow(form, tr("Production date"));
    accuracyLabel = addRow(form, tr("Accuracy class"));
    certificateLabel = addRow(form, tr("Verification certificate"));
    lastVerificationLabel = addRow(form, tr("Last verification"));
    nextVerificationLabel = addRow(form, tr("Next verification"));
    statusLabel = addRow(form, tr("Status"));
    readingLabel = addRow(form, tr("Reading"));
    layout->addWidget(identity);

    QGroupBox* measurement = new QGroupBox(tr("Measurement"), central);
    QFormLayout* config = new QFormLayout(measurement);
    intervalEdit = new QSpinBox(measurement);
    intervalEdit->setRange(1, 3600);
    intervalEdit->setSuffix(tr(" s"));
    unitEdit = new QLineEdit(measurement);
    config->addRow(tr("Interval"), intervalEdit);
    config->addRow(tr("Unit"), unitEdit);
    QHBoxLayout* buttons = new QHBoxLayout;
    QPushButton* read = new QPushButton(tr("Read"), measurement);
    QPushButton* write = new QPushButton(tr("Write"), measurement);
    buttons->addWidget(read);
    buttons->addWidget(write);
    config->addRow(buttons);
    layout->addWidget(measurement);

    QGroupBox* log = new QGroupBox(tr("Measurement log"), central);
    QHBoxLayout* logRow = new QHBoxLayout(log);
    logLabel = new QLabel(QStringLiteral("-"), log);
    QPushButton* download = new QPushButton(tr("Download"), log);
    logRow->addWidget(logLabel, 1);
    logRow->addWidget(download);
    layout->addWidget(log);
    layout->addStretch();
    setCentralWidget(central);

    connect(read, SIGNAL(clicked()), this, SLOT(readMeasurementConfig()));
    connect(write, SIGNAL(clicked()), this, SLOT(writeMeasurementConfig()));
    connect(download, SIGNAL(clicked()), this, SLOT(downloadLog()));
    connect(intervalEdit, SIGNAL(valueChanged(int)), this, SLOT(markModified()));
    connect(unitEdit, SIGNAL(textEdited(QString)), this, SLOT(markModified()));
    if (device)
        connect(device, SIGNAL(deviceInfoUpdated(QUuid)), this, SLOT(showDeviceInfo()));
}

QLabel* SamplePage::addRow(QFormLayout* form, const QString& caption)
{
    QLabel* value = new QLabel(QStringLiteral("-"), form->parentWidget());
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(caption, value);
    return value;
}

QVariantMap SamplePage::measurementValues() const
{
    QVariantMap values;
    values.insert(QStringLiteral("interval"), intervalEdit->value());
    values.insert(QStringLiteral("unit"), unitEdit->text());
    return values;
}

void SamplePage::setMeasurementValues(const QVariantMap& values)
{
    intervalEdit->blockSignals(true);
    if (values.contains(QStringLiteral("interval")))
        intervalEdit->setValue(values.value(QStringLiteral("interval")).toInt());
    if (values.contains(QStringLiteral("unit")))
        unitEdit->setText(values.value(QStringLiteral("unit")).toString());
    intervalEdit->blockSignals(false);
}

void SamplePage::requestStatus()
{
    QVariantMap request;
    request.insert(kRequestKey, kDeviceStatus);
    requestData(request);
}

void SamplePage::readMeasurementConfig()
{
    QVariantMap request;
    request.insert(kRequestKey, kReadConfig);
    request.insert(kGroupKey, kMeasurementGroup);
    requestData(request);
}

void SamplePage::writeMeasurementConfig()
{
    const QVariantMap values = measurementValues();
    QVariantMap request;
    request.insert(kRequestKey, kWriteConfig);
    request.insert(kGroupKey, kMeasurementGroup);
    request.insert(kValuesKey, values);
    // The record keeps the group too, so it is saved with the device.
    emit setConfigData(QLatin1String(kMeasurementGroup), values);
    requestData(request);
    setWindowModified(false);
}

void SamplePage::downloadLog()
{
    QVariantMap request;
    request.insert(kRequestKey, kDownloadLog);
    requestData(request);
}

void SamplePage::updateData(const QVariant& data)
{
    const QVariantMap reply = data.toMap();
    if (reply.value(QStringLiteral("page")).toString() != id())
        return;
    const QVariantMap body = reply.value(QStringLiteral("data")).toMap();
    const QString path = QUrl(reply.value(QStringLiteral("url")).toString()).path();
    if (path == QLatin1String(kStatusPath) && !body.isEmpty()) {
        readingLabel->setText(QStringLiteral("%1 %2")
            .arg(body.value(QStringLiteral("reading")).toDouble(), 0, 'f', 3)
            .arg(body.value(QStringLiteral("unit")).toString()));
    } else if (path.startsWith(QLatin1String(kConfigPath)) && !body.isEmpty()) {
        setMeasurementValues(body);
        emit setConfigData(QLatin1String(kMeasurementGroup), body);
        setWindowModified(false);
    } else if (path == QLatin1String(kLogPath) && reply.value(QStringLiteral("type")) == QLatin1String("file")) {
        logLabel->setText(tr("%1 readings").arg(qMax(0, reply.value(QStringLiteral("data")).toByteArray().count('\n') - 1)));
    }
    emit replyReceived(reply);
}

void SamplePage::changeDeviceStatus(const QVariant& data)
{
    switch (data.toMap().value(QStringLiteral("status")).toInt()) {
    case StatusOnline: statusLabel->setText(tr("Online")); break;
    case StatusNoResponse: statusLabel->setText(tr("No response")); break;
    case StatusAuthRequired: statusLabel->setText(tr("Authorization required")); break;
    default: statusLabel->setText(tr("Unknown")); break;
    }
}

void SamplePage::updateConfigData(const QVariant& data)
{
    const QVariantMap config = data.toMap();
    if (config.contains(QLatin1String(kMeasurementGroup)))
        setMeasurementValues(config.value(QLatin1String(kMeasurementGroup)).toMap());
}

void SamplePage::markModified()
{
    setWindowModified(true);
}

void SamplePage::showDeviceInfo()
{
    const DeviceConfig* config = device()->config();
    modelLabel->setText(config->model);
    serialLabel->setText(config->serial);
    productionLabel->setText(dateText(config->productionDate));
    accuracyLabel->setText(QString::number(config->accuracyClass));
    certificateLabel->setText(config->certificateSerial);
    lastVerificationLabel->setText(dateText(config->lastVerificationDate));
    nextVerificationLabel->setText(dateText(config->nextVerificationDate));
    // Every reply to the device itself passes through here; read the
    // instrument's group and log once per instrument.
    if (!config->serial.isEmpty() && config->serial != shownSerial) {
        shownSerial = config->serial;
        requestStatus();
        readMeasurementConfig();
        downloadLog();
    }
}
