#ifndef MESSAGEBOXCLOSER_H
#define MESSAGEBOXCLOSER_H

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QTimer>

// Closes every message box that a modal call under test shows, from a timer,
// and records what each box said.  Lives as long as the test step.
class MessageBoxCloser : public QObject
{
public:
    struct Shown
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        QMessageBox::StandardButtons buttons;
        QWidget* parent;
    };

    explicit MessageBoxCloser(QObject* parent = 0)
        : QObject(parent)
    {
        const int kPollInterval = 10;
        m_timer.setInterval(kPollInterval);
        connect(&m_timer, &QTimer::timeout, this, [this] { closeVisibleBoxes(); });
        m_timer.start();
    }

    QList<Shown> shown() const { return m_shown; }
    QStringList texts() const
    {
        QStringList result;
        for (const Shown& s : m_shown)
            result << s.text;
        return result;
    }

private:
    void closeVisibleBoxes()
    {
        const QWidgetList widgets = QApplication::topLevelWidgets();
        for (QWidget* widget : widgets) {
            QMessageBox* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible())
                continue;
            m_shown.append({box->windowTitle(), box->text(), box->icon(),
                            box->standardButtons(), box->parentWidget()});
            QAbstractButton* ok = box->button(QMessageBox::Ok);
            if (ok)
                ok->click();
            else
                box->reject();
        }
    }

    QTimer m_timer;
    QList<Shown> m_shown;
};

#endif
