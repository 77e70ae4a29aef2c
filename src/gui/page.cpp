#include "page.h"

#include <QEvent>

namespace {
const int kDefaultRequestTimeout = 60000;
}

Page::Page(Device* device, QWidget* parent)
    : QMainWindow(parent)
    , m_device(device)
    , m_reportedModified(false)
{
    // Qt reports a change of the window-modified flag only to the window
    // itself; watching our own events turns it into pageModified.
    installEventFilter(this);
}

Page::~Page()
{
}

QString Page::id() const
{
    return m_id;
}

void Page::setId(const QString& id)
{
    m_id = id;
}

QString Page::title() const
{
    return m_title;
}

void Page::setTitle(const QString& title)
{
    m_title = title;
    setWindowTitle(title + QLatin1String("[*]"));
}

Device* Page::device() const
{
    return m_device;
}

bool Page::readyToClose()
{
    return true;
}

void Page::requestData(const QVariant& data)
{
    emit dataRequested(data, kDefaultRequestTimeout);
}

bool Page::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ModifiedChange && isWindowModified() != m_reportedModified) {
        m_reportedModified = isWindowModified();
        emit pageModified(m_reportedModified);
    }
    return QMainWindow::eventFilter(watched, event);
}
