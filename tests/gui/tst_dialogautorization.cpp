#include "messageboxcloser.h"
#include "regexpvalidator_p.h"

#include <configurator-common/dialogautorization.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QRegExpValidator>
#endif

namespace {

QLineEdit* edit(QObject* dialog, const char* name)
{
    return dialog->findChild<QLineEdit*>(QLatin1String(name));
}

// Replaces a field's text as the user would: select all, then type.
void retype(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

void pressOk(QDialog* dialog)
{
    QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("bOk")), Qt::LeftButton);
}

} // namespace

class tst_DialogAutorization : public QObject
{
    Q_OBJECT

private slots:
    void formWidgets_data();
    void formWidgets();
    void initialState();
    void validatorRefusesOctetAbove255_data();
    void validatorRefusesOctetAbove255();
    void validatorAnswersAsQt5_data();
    void validatorAnswersAsQt5();
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    void validatorAgreesWithQRegExpValidator();
#endif
    void pressOkChecks_data();
    void pressOkChecks();
    void pressOkMessagesInOrder();
    void setDataAndData();
};

// Where each widget sits in the grid, and its text.
void tst_DialogAutorization::formWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");
    QTest::addColumn<QString>("text");

    QTest::newRow("label_2") << "label_2" << 1 << 0 << 1 << "IP Address:";
    QTest::newRow("tIp") << "tIp" << 1 << 1 << 1 << "";
    QTest::newRow("label") << "label" << 2 << 0 << 2
                           << "To gain access to the device, you must specify a user name and password.";
    QTest::newRow("label_3") << "label_3" << 3 << 0 << 1 << "User name:";
    QTest::newRow("tLogin") << "tLogin" << 3 << 1 << 1 << "user";
    QTest::newRow("label_4") << "label_4" << 4 << 0 << 1 << "Password:";
    QTest::newRow("tPassword") << "tPassword" << 4 << 1 << 1 << "qvxj";
    QTest::newRow("cbSaveParams") << "cbSaveParams" << 5 << 1 << 1 << "Remember authorization parameters";
}

void tst_DialogAutorization::formWidgets()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);
    QFETCH(QString, text);

    DialogAutorization dialog;
    QGridLayout* grid = dialog.findChild<QGridLayout*>(QStringLiteral("gridLayout"));
    QWidget* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(grid && widget);
    QCOMPARE(widget->property("text").toString(), text);
    int r = -1, c = -1, rs = -1, cs = -1;
    grid->getItemPosition(grid->indexOf(widget), &r, &c, &rs, &cs);
    QCOMPARE(QList<int>({r, c, rs, cs}), QList<int>({row, column, 1, columnSpan}));
}

void tst_DialogAutorization::initialState()
{
    DialogAutorization dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));
    QCOMPARE(dialog.objectName(), QStringLiteral("DialogAutorization"));
    QCOMPARE(dialog.size(), QSize(504, 225));

    // The vertical layout holds the grid, then the button row: spacer, OK, Cancel.
    QLayout* vertical = dialog.layout();
    QCOMPARE(vertical->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(vertical->count(), 2);
    QCOMPARE(vertical->itemAt(0)->layout()->objectName(), QStringLiteral("gridLayout"));
    QLayout* buttons = vertical->itemAt(1)->layout();
    QCOMPARE(buttons->objectName(), QStringLiteral("horizontalLayout"));
    QCOMPARE(buttons->count(), 3);
    QCOMPARE(buttons->itemAt(1)->widget()->objectName(), QStringLiteral("bOk"));
    QCOMPARE(buttons->itemAt(2)->widget()->objectName(), QStringLiteral("bCancel"));
    QGridLayout* grid = dialog.findChild<QGridLayout*>(QStringLiteral("gridLayout"));
    for (QLayoutItem* item : {grid->itemAtPosition(6, 0), buttons->itemAt(0)}) {
        QVERIFY(item && item->spacerItem());
        QCOMPARE(item->sizeHint(), QSize(40, 20));
        QCOMPARE(item->expandingDirections(), Qt::Horizontal);
    }
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("bOk"))->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("bCancel"))->text(), QStringLiteral("Cancel"));
    QCOMPARE(edit(&dialog, "tPassword")->echoMode(), QLineEdit::Password);
    QCheckBox* box = dialog.findChild<QCheckBox*>(QStringLiteral("cbSaveParams"));
    QVERIFY(box->isChecked());
    QVERIFY(!box->isEnabled());

    const RegExpValidator* validator = qobject_cast<const RegExpValidator*>(edit(&dialog, "tIp")->validator());
    QVERIFY(validator);
    QCOMPARE(validator->regExp().pattern(),
             QStringLiteral("((1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})\\.){3,3}"
                            "(1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})"));

    const QStringList tabOrder({"tIp", "tLogin", "tPassword", "cbSaveParams", "bOk", "bCancel"});
    QStringList chain;
    QWidget* widget = edit(&dialog, "tIp");
    for (int i = 0; i < 16 && chain.size() < tabOrder.size(); ++i, widget = widget->nextInFocusChain()) {
        if (tabOrder.contains(widget->objectName()))
            chain << widget->objectName();
    }
    QCOMPARE(chain, tabOrder);
}

void tst_DialogAutorization::validatorRefusesOctetAbove255_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("last octet 256") << "192.168.1.256" << "192.168.1.25";
    QTest::newRow("first octet 256") << "256.1.1.1" << "25.1.1.1";
    QTest::newRow("four digits") << "1.2.3.1234" << "1.2.3.123";
    QTest::newRow("letters") << "10.a0.0.1" << "10.0.0.1";
    QTest::newRow("fifth octet") << "1.2.3.4.5" << "1.2.3.45";
    QTest::newRow("255 is taken") << "255.255.255.255" << "255.255.255.255";
    QTest::newRow("249 and 199 are taken") << "10.249.0.199" << "10.249.0.199";
}

void tst_DialogAutorization::validatorRefusesOctetAbove255()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    DialogAutorization dialog;
    QTest::keyClicks(edit(&dialog, "tIp"), typed);
    QCOMPARE(edit(&dialog, "tIp")->text(), kept);
}

// The states and cursor positions that Qt 5's QRegExpValidator gives for the
// dialog's address pattern, so that the Qt 6 build is held to them too.
void tst_DialogAutorization::validatorAnswersAsQt5_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("pos");

    QTest::newRow("empty") << QString("") << int(QValidator::Intermediate) << 0;
    QTest::newRow("192") << QString("192") << int(QValidator::Intermediate) << 0;
    QTest::newRow("1921") << QString("1921") << int(QValidator::Invalid) << 4;
    QTest::newRow("192.168.1.1") << QString("192.168.1.1") << int(QValidator::Acceptable) << 0;
    QTest::newRow("192.168.1.") << QString("192.168.1.") << int(QValidator::Acceptable) << 0;
    QTest::newRow("256") << QString("256") << int(QValidator::Invalid) << 3;
    QTest::newRow("1.2.3.4.5") << QString("1.2.3.4.5") << int(QValidator::Invalid) << 9;
    QTest::newRow("...") << QString("...") << int(QValidator::Acceptable) << 0;
    QTest::newRow("000.0.0.0") << QString("000.0.0.0") << int(QValidator::Invalid) << 9;
    QTest::newRow("10.a0.0.1") << QString("10.a0.0.1") << int(QValidator::Invalid) << 9;
    QTest::newRow(" 1.2.3.4") << QString(" 1.2.3.4") << int(QValidator::Invalid) << 8;
    QTest::newRow("249.199.200.99") << QString("249.199.200.99") << int(QValidator::Acceptable) << 0;
    QTest::newRow("245.1") << QString("245.1") << int(QValidator::Intermediate) << 0;
    QTest::newRow("299") << QString("299") << int(QValidator::Invalid) << 3;
    QTest::newRow("1.2.3.4.") << QString("1.2.3.4.") << int(QValidator::Invalid) << 8;
    QTest::newRow("fullwidth digit") << QString::fromUtf8("\xef\xbc\x91") << int(QValidator::Invalid) << 1;
}

void tst_DialogAutorization::validatorAnswersAsQt5()
{
    QFETCH(QString, input);
    QFETCH(int, state);
    QFETCH(int, pos);

    DialogAutorization dialog;
    int cursor = 0;
    QCOMPARE(int(edit(&dialog, "tIp")->validator()->validate(input, cursor)), state);
    QCOMPARE(cursor, pos);
}

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
// Every text of up to six characters over the characters that matter.
void tst_DialogAutorization::validatorAgreesWithQRegExpValidator()
{
    DialogAutorization dialog;
    const RegExpValidator* ours = qobject_cast<const RegExpValidator*>(edit(&dialog, "tIp")->validator());
    const QRegExpValidator qt(ours->regExp(), nullptr);
    const QString alphabet = QStringLiteral("01259.a");
    QStringList texts({QString()});
    for (int length = 0; !texts.isEmpty(); ++length) {
        QStringList longer;
        for (const QString& text : qAsConst(texts)) {
            QString a = text, b = text;
            int posA = 0, posB = 0;
            const QValidator::State stateA = ours->validate(a, posA);
            const QValidator::State stateB = qt.validate(b, posB);
            if (stateA != stateB || posA != posB)
                QFAIL(qPrintable(QStringLiteral("\"%1\": %2 at %3, Qt 5 says %4 at %5")
                                     .arg(text).arg(stateA).arg(posA).arg(stateB).arg(posB)));
            for (int i = 0; length < 6 && i < alphabet.size(); ++i)
                longer << text + alphabet.at(i);
        }
        texts = longer;
    }
}
#endif

// Texts are checked trimmed; the first complaint wins.
void tst_DialogAutorization::pressOkChecks_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");

    QTest::newRow("blank address") << "   " << "user" << "qvxj" << "Enter the IP address";
    QTest::newRow("empty octets") << "1..2.3" << "user" << "qvxj" << "Check the entered IP Address";
    QTest::newRow("blank login") << "10.0.0.1" << "  " << "qvxj" << "Enter login";
    QTest::newRow("blank password") << "10.0.0.1" << "user" << "   " << "Enter password";
    QTest::newRow("password with blanks") << "10.0.0.1" << "admin" << "  secret" << "";
}

void tst_DialogAutorization::pressOkChecks()
{
    QFETCH(QString, ip);
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(QString, message);

    DialogAutorization dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.setData(QVariantMap({{"ip", ip}, {"login", login}, {"password", password}}));
    MessageBoxCloser closer;
    pressOk(&dialog);
    QCOMPARE(closer.texts(), message.isEmpty() ? QStringList() : QStringList(message));
    QCOMPARE(dialog.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
    QCOMPARE(dialog.isVisible(), !message.isEmpty());
    QCOMPARE(dialog.data().toMap().value(QStringLiteral("password")).toString(), password);
}

// One user fixing one complaint after another, typing with the keyboard.
void tst_DialogAutorization::pressOkMessagesInOrder()
{
    DialogAutorization dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QLineEdit* ip = edit(&dialog, "tIp");
    QLineEdit* login = edit(&dialog, "tLogin");
    QLineEdit* password = edit(&dialog, "tPassword");
    retype(login, QString());
    retype(password, QString());

    MessageBoxCloser closer;
    pressOk(&dialog);
    retype(ip, QStringLiteral("192.168.0."));
    pressOk(&dialog);
    QTest::keyClicks(ip, QStringLiteral("17"));
    pressOk(&dialog);
    retype(login, QStringLiteral("admin"));
    pressOk(&dialog);
    QVERIFY(dialog.isVisible());
    retype(password, QStringLiteral("secret"));
    pressOk(&dialog);

    QCOMPARE(closer.texts(), QStringList({"Enter the IP address", "Check the entered IP Address", "Enter login",
                                          "Enter password"}));
    for (const MessageBoxCloser::Shown& box : closer.shown) {
        QCOMPARE(box.title, QStringLiteral("Adding a device"));
        QCOMPARE(box.icon, QMessageBox::Warning);
        QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(box.parent, static_cast<QWidget*>(&dialog));
    }
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.data().toMap(), QVariantMap({{"ip", "192.168.0.17"}, {"login", "admin"},
                                                 {"password", "secret"}, {"saveauth", true}}));

    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("bCancel")), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_DialogAutorization::setDataAndData()
{
    DialogAutorization dialog;
    // Only the keys given change; "saveauth" is not the caller's to clear.
    dialog.setData(QVariantMap({{"ip", "10.1.2.3"}, {"login", QVariant()}, {"saveauth", false}}));
    QCOMPARE(dialog.data().toMap(), QVariantMap({{"ip", "10.1.2.3"}, {"login", "user"},
                                                 {"password", "qvxj"}, {"saveauth", true}}));

    QVariantMap all({{"ip", "10.9.9.9"}, {"login", " admin "}, {"password", "  pw"}});
    dialog.setData(all);
    all.insert(QStringLiteral("saveauth"), true);
    QCOMPARE(dialog.data().toMap(), all); // texts come back untrimmed
    dialog.setData(QVariant());
    dialog.setData(QStringLiteral("not a map"));
    QCOMPARE(dialog.data().toMap(), all);
}

QTEST_MAIN(tst_DialogAutorization)
#include "tst_dialogautorization.moc"
