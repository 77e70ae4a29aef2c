#include "messageboxcloser.h"

#include <configurator-common/dialogautorization.h>

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegExpValidator>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const char kAddressPattern[] =
    "((1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})\\.){3,3}"
    "(1{0,1}[0-9]{0,2}|2[0-4]{1,1}[0-9]{1,1}|25[0-5]{1,1})";

template <typename T>
T* child(QObject* dialog, const char* name)
{
    return dialog->findChild<T*>(QLatin1String(name));
}

QLineEdit* edit(QObject* dialog, const char* name)
{
    return child<QLineEdit>(dialog, name);
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
    QTest::mouseClick(child<QPushButton>(dialog, "bOk"), Qt::LeftButton);
}

} // namespace

class tst_DialogAutorization : public QObject
{
    Q_OBJECT

private slots:
    void windowAndTexts();
    void gridPositions_data();
    void gridPositions();
    void layoutsAndButtons();
    void tabOrder();
    void prefilledFields();
    void validatorPattern();
    void validatorRefusesOctetAbove255_data();
    void validatorRefusesOctetAbove255();
    void pressOkChecks_data();
    void pressOkChecks();
    void pressOkMessagesInOrder();
    void cancelRejects();
    void setDataFillsGivenFields();
    void dataReturnsUntrimmedTexts();
};

void tst_DialogAutorization::windowAndTexts()
{
    DialogAutorization dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("DialogAutorization"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Autorization"));
    QCOMPARE(dialog.size(), QSize(504, 225));
    QCOMPARE(child<QLabel>(&dialog, "label_2")->text(), QStringLiteral("IP Address:"));
    QCOMPARE(child<QLabel>(&dialog, "label_3")->text(), QStringLiteral("User name:"));
    QCOMPARE(child<QLabel>(&dialog, "label_4")->text(), QStringLiteral("Password:"));
    QCOMPARE(child<QLabel>(&dialog, "label")->text(),
             QStringLiteral("To gain access to the device, you must specify a user name and password."));
    QCOMPARE(child<QCheckBox>(&dialog, "cbSaveParams")->text(),
             QStringLiteral("Remember authorization parameters"));
    QCOMPARE(child<QPushButton>(&dialog, "bOk")->text(), QStringLiteral("OK"));
    QCOMPARE(child<QPushButton>(&dialog, "bCancel")->text(), QStringLiteral("Cancel"));
    QVERIFY(edit(&dialog, "tIp")->hasFrame());
    QCOMPARE(edit(&dialog, "tPassword")->echoMode(), QLineEdit::Password);
}

void tst_DialogAutorization::gridPositions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("columnSpan");

    QTest::newRow("label_2") << "label_2" << 1 << 0 << 1;
    QTest::newRow("tIp") << "tIp" << 1 << 1 << 1;
    QTest::newRow("label") << "label" << 2 << 0 << 2;
    QTest::newRow("label_3") << "label_3" << 3 << 0 << 1;
    QTest::newRow("tLogin") << "tLogin" << 3 << 1 << 1;
    QTest::newRow("label_4") << "label_4" << 4 << 0 << 1;
    QTest::newRow("tPassword") << "tPassword" << 4 << 1 << 1;
    QTest::newRow("cbSaveParams") << "cbSaveParams" << 5 << 1 << 1;
}

void tst_DialogAutorization::gridPositions()
{
    QFETCH(QString, name);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, columnSpan);

    DialogAutorization dialog;
    QGridLayout* grid = dialog.findChild<QGridLayout*>(QStringLiteral("gridLayout"));
    QVERIFY(grid);
    QWidget* widget = dialog.findChild<QWidget*>(name);
    QVERIFY(widget);
    const int index = grid->indexOf(widget);
    QVERIFY(index >= 0);
    int r, c, rs, cs;
    grid->getItemPosition(index, &r, &c, &rs, &cs);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rs, 1);
    QCOMPARE(cs, columnSpan);
}

void tst_DialogAutorization::layoutsAndButtons()
{
    DialogAutorization dialog;
    QVBoxLayout* vertical = qobject_cast<QVBoxLayout*>(dialog.layout());
    QVERIFY(vertical);
    QCOMPARE(vertical->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(vertical->count(), 2);
    QCOMPARE(vertical->itemAt(0)->layout()->objectName(), QStringLiteral("gridLayout"));
    QCOMPARE(vertical->itemAt(1)->layout()->objectName(), QStringLiteral("horizontalLayout"));

    QGridLayout* grid = dialog.findChild<QGridLayout*>(QStringLiteral("gridLayout"));
    QLayoutItem* gridSpacer = grid->itemAtPosition(6, 0);
    QVERIFY(gridSpacer && gridSpacer->spacerItem());
    QCOMPARE(gridSpacer->spacerItem()->sizeHint(), QSize(40, 20));
    QCOMPARE(gridSpacer->spacerItem()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(gridSpacer->spacerItem()->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);

    QLayout* row = vertical->itemAt(1)->layout();
    QCOMPARE(row->count(), 3);
    QVERIFY(row->itemAt(0)->spacerItem());
    QCOMPARE(row->itemAt(0)->spacerItem()->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(row->itemAt(1)->widget()->objectName(), QStringLiteral("bOk"));
    QCOMPARE(row->itemAt(2)->widget()->objectName(), QStringLiteral("bCancel"));
}

void tst_DialogAutorization::tabOrder()
{
    DialogAutorization dialog;
    const QStringList expected = QStringList() << "tIp" << "tLogin" << "tPassword"
                                               << "cbSaveParams" << "bOk" << "bCancel";
    QWidget* widget = edit(&dialog, "tIp");
    QStringList chain;
    for (int i = 0; i < 16 && chain.size() < expected.size(); ++i) {
        if (expected.contains(widget->objectName()))
            chain << widget->objectName();
        widget = widget->nextInFocusChain();
    }
    QCOMPARE(chain, expected);
}

void tst_DialogAutorization::prefilledFields()
{
    DialogAutorization dialog;
    QVERIFY(edit(&dialog, "tIp")->text().isEmpty());
    QCOMPARE(edit(&dialog, "tLogin")->text(), QStringLiteral("user"));
    QCOMPARE(edit(&dialog, "tPassword")->text(), QStringLiteral("qvxj"));
    QCheckBox* box = child<QCheckBox>(&dialog, "cbSaveParams");
    QVERIFY(box->isChecked());
    QVERIFY(!box->isEnabled());
    QCOMPARE(dialog.data().toMap().value(QStringLiteral("saveauth")), QVariant(true));
}

void tst_DialogAutorization::validatorPattern()
{
    DialogAutorization dialog;
    const QRegExpValidator* validator =
        qobject_cast<const QRegExpValidator*>(edit(&dialog, "tIp")->validator());
    QVERIFY(validator);
    QCOMPARE(validator->parent(), static_cast<QObject*>(&dialog));
    QCOMPARE(validator->regExp().pattern(), QString::fromLatin1(kAddressPattern));
    QCOMPARE(validator->regExp().caseSensitivity(), Qt::CaseSensitive);
    QCOMPARE(validator->regExp().patternSyntax(), QRegExp::RegExp);
}

void tst_DialogAutorization::validatorRefusesOctetAbove255_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("last octet 256") << "192.168.1.256" << "192.168.1.25";
    QTest::newRow("first octet 256") << "256.1.1.1" << "25.1.1.1";
    QTest::newRow("octet 300") << "10.300" << "10.30";
    QTest::newRow("four digits") << "1.2.3.1234" << "1.2.3.123";
    QTest::newRow("letters") << "10.a0.0.1" << "10.0.0.1";
    QTest::newRow("fifth octet") << "1.2.3.4.5" << "1.2.3.45";
    QTest::newRow("255 is taken") << "255.255.255.255" << "255.255.255.255";
    QTest::newRow("249 is taken") << "10.249.0.199" << "10.249.0.199";
}

void tst_DialogAutorization::validatorRefusesOctetAbove255()
{
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    DialogAutorization dialog;
    QLineEdit* ip = edit(&dialog, "tIp");
    QTest::keyClicks(ip, typed);
    QCOMPARE(ip->text(), kept);
}

void tst_DialogAutorization::pressOkChecks_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("message");

    QTest::newRow("no address") << "" << "user" << "qvxj" << "Enter the IP address";
    QTest::newRow("blank address") << "   " << "user" << "qvxj" << "Enter the IP address";
    QTest::newRow("incomplete address") << "192.168.1." << "user" << "qvxj"
                                        << "Check the entered IP Address";
    QTest::newRow("empty octets") << "1..2.3" << "user" << "qvxj" << "Check the entered IP Address";
    QTest::newRow("blank login") << "10.0.0.1" << "  " << "qvxj" << "Enter login";
    QTest::newRow("blank password") << "10.0.0.1" << "user" << "   " << "Enter password";
    QTest::newRow("blank login and password") << "10.0.0.1" << "" << "" << "Enter login";
    QTest::newRow("accepted") << "10.0.0.1" << "user" << "qvxj" << "";
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
    edit(&dialog, "tIp")->setText(ip);
    edit(&dialog, "tLogin")->setText(login);
    edit(&dialog, "tPassword")->setText(password);

    MessageBoxCloser closer;
    pressOk(&dialog);

    if (message.isEmpty()) {
        QVERIFY(closer.shown().isEmpty());
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(!dialog.isVisible());
        QCOMPARE(dialog.data().toMap().value(QStringLiteral("password")).toString(), password);
        return;
    }
    QCOMPARE(closer.shown().size(), 1);
    const MessageBoxCloser::Shown box = closer.shown().first();
    QCOMPARE(box.text, message);
    QCOMPARE(box.title, QStringLiteral("Adding a device"));
    QCOMPARE(box.icon, QMessageBox::Warning);
    QCOMPARE(box.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(box.parent, static_cast<QWidget*>(&dialog));
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(edit(&dialog, "tIp")->text(), ip);
    QCOMPARE(edit(&dialog, "tPassword")->text(), password);
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

    QCOMPARE(closer.texts(), QStringList() << "Enter the IP address"
                                           << "Check the entered IP Address"
                                           << "Enter login"
                                           << "Enter password");
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVariantMap expected;
    expected.insert(QStringLiteral("ip"), QStringLiteral("192.168.0.17"));
    expected.insert(QStringLiteral("login"), QStringLiteral("admin"));
    expected.insert(QStringLiteral("password"), QStringLiteral("secret"));
    expected.insert(QStringLiteral("saveauth"), true);
    QCOMPARE(dialog.data().toMap(), expected);
}

void tst_DialogAutorization::cancelRejects()
{
    DialogAutorization dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QSignalSpy rejected(&dialog, &QDialog::rejected);
    QTest::mouseClick(child<QPushButton>(&dialog, "bCancel"), Qt::LeftButton);
    QCOMPARE(rejected.count(), 1);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
}

void tst_DialogAutorization::setDataFillsGivenFields()
{
    DialogAutorization dialog;
    QVariantMap onlyIp;
    onlyIp.insert(QStringLiteral("ip"), QStringLiteral("10.1.2.3"));
    onlyIp.insert(QStringLiteral("login"), QVariant());
    onlyIp.insert(QStringLiteral("saveauth"), false);
    dialog.setData(onlyIp);
    QCOMPARE(edit(&dialog, "tIp")->text(), QStringLiteral("10.1.2.3"));
    QCOMPARE(edit(&dialog, "tLogin")->text(), QStringLiteral("user"));
    QCOMPARE(edit(&dialog, "tPassword")->text(), QStringLiteral("qvxj"));
    QVERIFY(child<QCheckBox>(&dialog, "cbSaveParams")->isChecked());

    QVariantMap all;
    all.insert(QStringLiteral("ip"), QStringLiteral("10.9.9.9"));
    all.insert(QStringLiteral("login"), QStringLiteral("admin"));
    all.insert(QStringLiteral("password"), QStringLiteral("pw"));
    dialog.setData(all);
    all.insert(QStringLiteral("saveauth"), true);
    QCOMPARE(dialog.data().toMap(), all);

    dialog.setData(QVariant());
    dialog.setData(QStringLiteral("not a map"));
    QCOMPARE(dialog.data().toMap(), all);
}

void tst_DialogAutorization::dataReturnsUntrimmedTexts()
{
    DialogAutorization dialog;
    edit(&dialog, "tLogin")->setText(QStringLiteral(" admin "));
    edit(&dialog, "tPassword")->setText(QStringLiteral("  secret"));
    const QVariantMap map = dialog.data().toMap();
    QCOMPARE(map.value(QStringLiteral("login")).toString(), QStringLiteral(" admin "));
    QCOMPARE(map.value(QStringLiteral("password")).toString(), QStringLiteral("  secret"));
    QCOMPARE(map.value(QStringLiteral("saveauth")).type(), QVariant::Bool);
    QCOMPARE(map.size(), 4);
}

QTEST_MAIN(tst_DialogAutorization)
#include "tst_dialogautorization.moc"
