#include "regexpvalidator_p.h"

#include <configurator-common/dialogautorization.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <QRegExpValidator>
#endif

namespace {
const QValidator* addressValidator(QObject* dialog) { return dialog->findChild<QLineEdit*>("tIp")->validator(); }
}

class tst_DialogAutorization : public QObject
{
    Q_OBJECT

private slots:
    // The states (0 invalid, 1 intermediate, 2 acceptable) and cursor positions
    // that Qt 5's QRegExpValidator gives, so that the Qt 6 build is held to them too.
    void validatorAnswersAsQt5_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("answer");
        QTest::newRow("empty") << "" << "1 0";
        QTest::newRow("192.168.1.1") << "192.168.1.1" << "2 0";
        QTest::newRow("256") << "256" << "0 3";
        QTest::newRow("1.2.3.256") << "1.2.3.256" << "0 9";
        QTest::newRow("1.2.3.4.5") << "1.2.3.4.5" << "0 9";
        QTest::newRow("255.199.200.99") << "255.199.200.99" << "2 0";
        QTest::newRow("245.1") << "245.1" << "1 0";
        QTest::newRow("fullwidth digit") << QString::fromUtf8("\xef\xbc\x91") << "0 1";
    }

    void validatorAnswersAsQt5()
    {
        QFETCH(QString, input);
        DialogAutorization dialog;
        int cursor = 0;
        const int state = addressValidator(&dialog)->validate(input, cursor);
        QTEST(QStringLiteral("%1 %2").arg(state).arg(cursor), "answer");
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Every text of up to six characters over the characters that matter,
    // numbered in bijective base 7: 1 + 7 + ... + 7^6 of them.
    void validatorAgreesWithQRegExpValidator()
    {
        DialogAutorization dialog;
        const QValidator* ours = addressValidator(&dialog);
        const QRegExpValidator qt(qobject_cast<const RegExpValidator*>(ours)->regExp(), nullptr);
        for (int n = 0; n < 137257; ++n) {
            QString text;
            for (int k = n; k > 0; k = (k - 1) / 7)
                text += QStringLiteral("01259.a").at((k - 1) % 7);
            QString a = text, b = text;
            int posA = 0, posB = 0;
            const int stateA = ours->validate(a, posA), stateB = qt.validate(b, posB);
            QVERIFY2(stateA == stateB && posA == posB, qPrintable(text));
        }
    }
#endif

    // Texts are checked trimmed; the first complaint wins.
    void pressOk_data()
    {
        QTest::addColumn<QString>("fields");   // address|login|password
        QTest::addColumn<QString>("message");
        QTest::newRow("blank address") << "   |user|qvxj" << "Enter the IP address";
        QTest::newRow("empty octets") << "1..2.3|user|qvxj" << "Check the entered IP Address";
        QTest::newRow("blank login") << "10.0.0.1|  |qvxj" << "Enter login";
        QTest::newRow("blank password") << "10.0.0.1|user|   " << "Enter password";
        QTest::newRow("password with blanks") << "10.0.0.1|admin|  secret" << "";
    }

    void pressOk()
    {
        QFETCH(QString, fields);
        QFETCH(QString, message);
        const QStringList f = fields.split('|');
        DialogAutorization dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        // "saveauth" is not the caller's to clear.
        dialog.setData(QVariantMap({{"ip", f[0]}, {"login", f[1]}, {"password", f[2]}, {"saveauth", false}}));
        QStringList shown;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown << box->windowTitle() + ": " + box->text();
                box->accept();
            }
        });
        closer.start(10);
        QTest::mouseClick(dialog.findChild<QPushButton*>("bOk"), Qt::LeftButton);
        QCOMPARE(shown, message.isEmpty() ? QStringList() : QStringList("Adding a device: " + message));
        QCOMPARE(dialog.result(), int(message.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(dialog.isVisible(), !message.isEmpty());
        // Texts come back untrimmed.
        QCOMPARE(dialog.data().toMap(), QVariantMap({{"ip", f[0]}, {"login", f[1]}, {"password", f[2]}, {"saveauth", true}}));
    }
};

QTEST_MAIN(tst_DialogAutorization)
#include "tst_dialogautorization.moc"
