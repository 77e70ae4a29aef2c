#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <configurator-common/md5crypt.h>

#include <cstdlib>

class TestMd5Crypt : public QObject
{
    Q_OBJECT
private slots:
    // Random salts of 0 to 8 characters and passwords of 0 to 70 (lengths around
    // the 16-byte digest matter most; non-ASCII text is hashed as UTF-8).
    void agreesWithOpenssl()
    {
        static const char16_t kUnits[] = u"./09AZaz!$%~ \u00e9\u00ff\u0416\u4e2d";
        QRandomGenerator rng(20261206);
        for (int i = 0; i < 18; ++i) {
            QString salt;
            QStringList passwords{ QString() };
            for (int n = i % 9; n > 0; --n)
                salt += QChar(kUnits[rng.bounded(8)]);
            for (int j = 1; j < 12; ++j) {
                passwords << QStringLiteral("x");
                for (int n = j % 2 ? 12 + j : rng.bounded(70); n > 1; --n)
                    passwords.last() += rng.bounded(2) ? QChar(0x21 + rng.bounded(0x5e)) : QChar(kUnits[rng.bounded(17)]);
                passwords.last() += QLatin1Char('x');
            }
            QProcess openssl;
            openssl.start(QStringLiteral("openssl"), { "passwd", "-1", "-salt", salt, "-stdin" });
            openssl.write(passwords.join(QLatin1Char('\n')).toUtf8() + '\n');
            openssl.closeWriteChannel();
            QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
            QStringList hashes;
            for (const QString& password : passwords)
                hashes << md5Crypt(salt, password) + '\n';
            QCOMPARE(hashes.join(QString()), QString::fromLatin1(openssl.readAllStandardOutput()));
        }
        // Other tools cut the salt to 8 characters; this one hashes all of it.
        const QString longSalt = md5Crypt(QStringLiteral("abcdefghijkl"), QStringLiteral("secret"));
        QVERIFY(longSalt.startsWith(QStringLiteral("$1$abcdefghijkl$")));
        QVERIFY(longSalt.right(22) != md5Crypt(QStringLiteral("abcdefgh"), QStringLiteral("secret")).right(22));
    }

    // Salts of 8 letters 'a' to 'y' from the system's secure source, not from
    // rand(), which an unseeded process starts as srand(1).
    void cryptPasswordDrawsFreshSalts()
    {
        std::srand(1);
        QString predictable;
        while (predictable.size() < 8)
            predictable += QLatin1Char(char('a' + std::rand() % 25));
        std::srand(1);
        QSet<QString> salts;
        const QRegularExpression format(QStringLiteral("^\\$1\\$[a-y]{8}\\$[./0-9A-Za-z]{22}$"));
        for (int i = 0; i < 300; ++i) {
            const QString result = cryptPassword(QStringLiteral("admin"), QStringLiteral("password"));
            QVERIFY2(format.match(result).hasMatch(), qPrintable(result));
            // The login does not enter the hash; the salt and the password do.
            QCOMPARE(result, md5Crypt(result.mid(3, 8), QStringLiteral("password")));
            salts.insert(result.mid(3, 8));
        }
        // 2400 draws over 25 letters: every letter shows up.
        const QString letters = QStringList(salts.values()).join(QString());
        QCOMPARE(QSet<QChar>(letters.begin(), letters.end()).size(), 25);
        QCOMPARE(salts.size(), 300);
        QVERIFY(!salts.contains(predictable));
    }
};

QTEST_GUILESS_MAIN(TestMd5Crypt)
#include "tst_md5crypt.moc"
