#ifndef SAMPLEPAGE_H
#define SAMPLEPAGE_H

#include <configurator-common/page.h>

#include <QVariantMap>

class QFormLayout;
class QLabel;
class QLineEdit;
class QSpinBox;

// The sample instrument's page: shows the identification data and the status,
// edits the instrument's "measurement" configuration group and downloads the
// measurement log.  When a new instrument identifies itself the page reads the
// group (kept in the device's record, so it is saved with the device) and the
// log (a reply of type "file" that a host may keep for its report).
class SamplePage : public Page
{
    Q_OBJECT
    Q_PROPERTY(QVariantMap measurementValues READ measurementValues WRITE setMeasurementValues)
public:
    static const char* const kPageId;

    explicit SamplePage(Device* device, QWidget* parent = 0);

    QVariantMap measurementValues() const;
    void setMeasurementValues(const QVariantMap& values);

signals:
    // Every reply map addressed to this page, after the page has shown it.
    void replyReceived(const QVariantMap& reply);

public slots:
    void updateData(const QVariant& data) override;
    void changeDeviceStatus(const QVariant& data) override;
    void updateConfigData(const QVariant& data) override;

    void requestStatus();
    void readMeasurementConfig();
    void writeMeasurementConfig();
    void downloadLog();

private slots:
    void showDeviceInfo();
    void markModified();

private:
    QLabel* addRow(QFormLayout* form, const QString& caption);

    QLabel* modelLabel;
    QLabel* serialLabel;
    QLabel* productionLabel;
    QLabel* accuracyLabel;
    QLabel* certificateLabel;
    QLabel* lastVerificationLabel;
    QLabel* nextVerificationLabel;
    QLabel* statusLabel;
    QLabel* readingLabel;
    QSpinBox* intervalEdit;
    QLineEdit* unitEdit;
    QLabel* logLabel;
    QString shownSerial;
};

#endif
