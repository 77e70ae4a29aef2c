#ifndef CONFIGURATOR_COMMON_DIALOGAUTORIZATION_H
#define CONFIGURATOR_COMMON_DIALOGAUTORIZATION_H

#include <QDialog>
#include <QVariant>

class QCheckBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpacerItem;
class QVBoxLayout;

/// \file
/// DialogAutorization, the login dialog.

/// The login dialog: a device's IP address, user name and password.  The
/// entries travel in and out as a map with the keys "ip", "login", "password"
/// and, from data() only, "saveauth".  OK accepts only a complete IPv4
/// address and non-empty login and password, and otherwise names the missing
/// entry in a message box.  The map from data() is the one Device takes as
/// "connectcfg".
class DialogAutorization : public QDialog
{
    Q_OBJECT
public:
    /// Creates the dialog with the default login "user" and password "qvxj".
    explicit DialogAutorization(QWidget* parent = 0);
    /// Destroys the dialog and its widgets.
    ~DialogAutorization() override;

    /// Fills the fields whose keys have a non-null value; others keep their text.
    void setData(const QVariant& data);
    /// The entries: "ip", "login", "password" as text and "saveauth" as bool.
    QVariant data() const;

protected:
    /// Translates the texts again when the application's language changes.
    void changeEvent(QEvent* event) override;

private slots:
    void pressOk();

private:
    // The widgets are children of the dialog; the form only points at them.
    struct Form
    {
        QVBoxLayout* verticalLayout;
        QGridLayout* gridLayout;
        QLabel* label_2;
        QLineEdit* tIp;
        QLabel* label_3;
        QLineEdit* tPassword;
        QLabel* label_4;
        QLineEdit* tLogin;
        QCheckBox* cbSaveParams;
        QLabel* label;
        QSpacerItem* gridSpacer;
        QHBoxLayout* horizontalLayout;
        QSpacerItem* buttonSpacer;
        QPushButton* bOk;
        QPushButton* bCancel;
    };

    void setupForm();
    void retranslateForm();
    void warn(const QString& message);

    Form ui;
};

#endif
