#ifndef CONFIGURATOR_COMMON_PAGE_H
#define CONFIGURATOR_COMMON_PAGE_H

#include <QMainWindow>
#include <QString>
#include <QVariant>

class Device;

/// \file
/// Page, the base of every configuration page.

/// Base of every configuration page.  A page talks to its device only through
/// signals and slots, which the code that creates the page connects; its id()
/// tags each request it sends and comes back under "page" in every reply map.
/// Every page receives every reply of its device, so it answers only those
/// whose "page" is its id().
class Page : public QMainWindow
{
    Q_OBJECT
    /// The page identifier.  Read by Device, which may not include GUI
    /// headers, to tag requests.
    Q_PROPERTY(QString id READ id WRITE setId)
public:
    /// Creates a page of \a device (not owned), owned by \a parent.
    Page(Device* device, QWidget* parent);
    /// Destroys the page; the device stays.
    ~Page() override;

    /// The identifier that tags this page's requests; empty until setId().
    QString id() const;
    /// Sets the identifier; it should be unique among the device's pages.
    void setId(const QString& id);

    /// The title set last, without the modification mark.
    QString title() const;
    /// Also sets the window title, with the mark shown while modified.
    void setTitle(const QString& title);

    /// The page's device; not owned.
    virtual Device* device() const;
    /// Pages with unsaved edits refuse to close; the base always returns true.
    virtual bool readyToClose();

    /// Emits dataRequested() with \a data and a time-out of 60 seconds.
    void requestData(const QVariant& data);

signals:
    /// A request map for the device, as a rule connected to
    /// Device::requestData(); \a timeout in milliseconds.
    void dataRequested(const QVariant& data, int timeout = 60000);
    /// Asks for the device's status, as a rule connected to Device::requestDeviceStatus().
    void statusRequested();
    /// Stores a configuration group, as a rule connected to Device::setConfigData().
    void setConfigData(const QString& name, const QVariant& value);
    /// Asks for the whole record, as a rule connected to Device::getConfigData().
    void getConfigData(const QVariant& data);
    /// Emitted when setWindowModified() changes the flag, with its new value.
    void pageModified(bool modified);

public slots:
    /// Receives Device::dataUpdated(): every reply map of the device.
    virtual void updateData(const QVariant& data) = 0;
    /// Receives Device::statusUpdated(): a map with "status" and "uuid".
    virtual void changeDeviceStatus(const QVariant& data) = 0;
    /// Receives Device::updateConfigData(): the record's groups by name.
    virtual void updateConfigData(const QVariant& data) = 0;

protected:
    /// Turns the page's own ModifiedChange events into pageModified().
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
