#ifndef MESSAGEBOXCLOSER_H
#define MESSAGEBOXCLOSER_H

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// Closes every message box that a modal call under test shows, from a timer,
// and records each as "icon|title|text".  Lives as long as the test step.
class MessageBoxCloser : public QObject
{
public:
    QStringList shown;

    MessageBoxCloser()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                QMessageBox* box = qobject_cast<QMessageBox*>(widget);
                if (box && box->isVisible()) {
                    shown << QStringLiteral("%1|%2|%3").arg(box->icon()).arg(box->windowTitle(), box->text());
                    box->accept();
                }
            }
        });
        m_timer.start(10);
    }

private:
    QTimer m_timer;
};

#endif
