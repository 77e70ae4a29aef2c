#ifndef MESSAGEBOXCLOSER_H
#define MESSAGEBOXCLOSER_H

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
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
    QList<Shown> shown;

    MessageBoxCloser()
    {
        const int kPollIntervalMs = 10;
        connect(&m_timer, &QTimer::timeout, this, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                QMessageBox* box = qobject_cast<QMessageBox*>(widget);
                if (!box || !box->isVisible())
                    continue;
                shown.append({box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                              box->parentWidget()});
                if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                    ok->click();
                else
                    box->reject();
            }
        });
        m_timer.start(kPollIntervalMs);
    }

    QStringList texts() const
    {
        QStringList result;
        for (const Shown& s : shown)
            result << s.text;
        return result;
    }

private:
    QTimer m_timer;
};

#endif
