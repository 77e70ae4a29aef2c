#include "messageboxcloser.h"
#include "regexpvalidator_p.h"

#include <configurator-common/dialogautorization.h>

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QRegExpValidator>
#endif

namespace {
QLineEdit* edit(QObject* dialog, const char* name) { return dialog->findChild<QLineEdit*>(QLatin1String(name)); }
}

class tst_DialogAutorization : public QObject
{
    Q_OBJECT

private slots:
    // The states and cursor positions that Qt 5's QRegExpValidator gives for
    // the address pattern, so that the Qt 6 build is held to them too.
    void validatorAnswersAsQt5_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("pos");
        const int invalid = QValidator::Invalid, intermediate = QValidator::Intermediate;
        const int acceptable = QValidator::Acceptable;
        QTest::newRow("empty") << QString("") << intermediate << 0;
        QTest::newRow("192.168.1.1") << QString("192.168.1.1") << acceptable << 0;
        QTest::newRow("256") << QString("256") << invalid << 3;
        QTest::newRow("1.2.3.256") << QString("1.2.3.256") << invalid << 9;
        QTest::newRow("1.2.3.4.5") << QString("1.2.3.4.5") << invalid << 9;
        QTest::newRow("255.199.200.99") << QString("255.199.200.99") << acceptable << 0;
        QTest::newRow("245.1") << QString("245.1") << intermediate << 0;
        QTest::newRow("fullwidth digit") << QString::fromUtf8("\xef\xbc\x91") << invalid << 1;
    }

    void validatorAnswersAsQt5()
    {
        QFETCH(QString, input);
        DialogAutorization dialog;
        int cursor = 0;
        QTEST(int(edit(&dialog, "tIp")->validator()->validate(input, cursor)), "state");
        QTEST(cursor, "pos");
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Every text of up to six characters over the characters that matter.
    void validatorAgreesWithQRegExpValidator()
    {
        DialogAutorization dialog;
        const RegExpValidator* ours = qobject_cast<const RegExpValidator*>(edit(&dialog, "tIp")->validator());
        const QRegExpValidator qt(ours->regExp(), nullptr);
        QStringList texts({QString()});
        for (int length = 0; length <= 6; ++length) {
            QStringList longer;
            for (const QString& text : qAsConst(texts)) {
                QString a = text, b = text;
                int posA = 0, posB = 0;
                const int stateA = ours->validate(a, posA), stateB = qt.validate(b, posB);
                QVERIFY2(stateA == stateB && posA == posB, qPrintable(text));
                for (int i = 0; length < 6 && i < 7; ++i)
                    longer << text + QStringLiteral("01259.a").at(i);
            }
            texts = longer;
        }
    }
#endif

    // Texts are checked trimmed; the first complaint wins.
    void pressOk_data()
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

    void pressOk()
    {
        QFETCH(QString, password);
        QFETCH(QString, message);
        DialogAutorization dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QFETCH(QString, ip);
        QFETCH(QString, login);
        dialog.setData(QVariantMap({{"ip", ip}, {"login", login}, {"password", password}}));
        MessageBoxCloser closer;
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("bOk")), Qt::LeftButton);
        const QString box = QStringLiteral("%1|Adding a device|").arg(QMessageBox::Warning) + message;
        QCOMPARE(closer.shown, message.isEmpty() ? QStringList() : QStringList(box));
        QCOMPARE(dialog.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(dialog.isVisible(), !message.isEmpty());
        // Texts come back untrimmed; "saveauth" is not the caller's to clear.
        QCOMPARE(dialog.data().toMap(), QVariantMap({{"ip", ip}, {"login", login}, {"password", password},
                                                     {"saveauth", true}}));
    }

    void setDataKeepsWhatIsNotGiven()
    {
        DialogAutorization dialog;
        QCOMPARE(edit(&dialog, "tPassword")->echoMode(), QLineEdit::Password);
        dialog.setData(QVariantMap({{"ip", "10.1.2.3"}, {"login", QVariant()}, {"saveauth", false}}));
        dialog.setData(QStringLiteral("not a map"));
        QCOMPARE(dialog.data().toMap(), QVariantMap({{"ip", "10.1.2.3"}, {"login", "user"},
                                                     {"password", "qvxj"}, {"saveauth", true}}));
    }
};

QTEST_MAIN(tst_DialogAutorization)
#include "tst_dialogautorization.moc"
