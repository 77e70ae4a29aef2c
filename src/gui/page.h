#ifndef CONFIGURATOR_COMMON_PAGE_H
#define CONFIGURATOR_COMMON_PAGE_H

#include <QMainWindow>
#include <QString>
#include <QVariant>

class Device;

// Base of every configuration page.  A page talks to its device only through
// signals and slots, which the code that creates the page connects; its id()
// tags each request it sends and comes back under "page" in every reply map.
class Page : public QMainWindow
{
    Q_OBJECT
    // Read by Device, which may not include GUI headers, to tag requests.
    Q_PROPERTY(QString id READ id WRITE setId)
public:
    Page(Device* device, QWidget* parent);
    ~Page() override;

    QString id() const;
    void setId(const QString& id);

    QString title() const;
    // Also sets the window title, with the mark shown while modified.
    void setTitle(const QString& title);

    // Not owned.
    virtual Device* device() const;
    // Pages with unsaved edits refuse to close.
    virtual bool readyToClose();

    void requestData(const QVariant& data);

signals:
    void dataRequested(const QVariant& data, int timeout = 60000);
    void statusRequested();
    void setConfigData(const QString& name, const QVariant& value);
    void getConfigData(const QVariant& data);
    void pageModified(bool modified);

public slots:
    virtual void updateData(const QVariant& data) = 0;
    virtual void changeDeviceStatus(const QVariant& data) = 0;
    virtual void updateConfigData(const QVariant& data) = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Device* m_device;
    QString m_id;
    QString m_title;
    // Qt 5 sends ModifiedChange on every setWindowModified() call, also when
    // the flag keeps its value; the host only wants to hear of changes.
    bool m_reportedModified;
};

#endif
