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
    void agreesWithOpenssl();
    void longSaltIsKeptWhole();
    void cryptPasswordDrawsFreshSalts();
};

// Random salts of 0 to 8 characters and passwords of 0 to 70 (lengths around
// the 16-byte digest matter most, non-ASCII text is hashed as UTF-8).
void TestMd5Crypt::agreesWithOpenssl()
{
    static const char kSaltAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    static const char16_t kUnits[] = u"aZ9 !$%~\u00e9\u00ff\u0416\u4e2d";
    QRandomGenerator rng(20261206);
    for (int i = 0; i < 18; ++i) {
        QString salt;
        for (int n = i % 9; n > 0; --n)
            salt += QLatin1Char(kSaltAlphabet[rng.bounded(64)]);
        QStringList passwords{ QString() };
        for (int j = 1; j < 12; ++j) {
            QString password(QLatin1Char('x'));
            for (int n = j % 2 ? 12 + j : rng.bounded(70); n > 1; --n)
                password += rng.bounded(2) ? QChar(ushort(0x21 + rng.bounded(0x5e))) : QChar(kUnits[rng.bounded(12)]);
            passwords << password + QLatin1Char('x');
        }
        QProcess openssl;
        openssl.start(QStringLiteral("openssl"), { "passwd", "-1", "-salt", salt, "-stdin" });
        openssl.write(passwords.join(QLatin1Char('\n')).toUtf8() + '\n');
        openssl.closeWriteChannel();
        QVERIFY(openssl.waitForFinished(30000) && openssl.exitCode() == 0);
        const QStringList expected = QString::fromLatin1(openssl.readAllStandardOutput()).split(QLatin1Char('\n'));
        QCOMPARE(expected.size(), passwords.size() + 1);
        for (int j = 0; j < passwords.size(); ++j)
            QCOMPARE(md5Crypt(salt, passwords.at(j)), expected.at(j));
    }
}

// Other tools cut the salt to 8 characters; this one hashes all of it.
void TestMd5Crypt::longSaltIsKeptWhole()
{
    const QString result = md5Crypt(QStringLiteral("abcdefghijkl"), QStringLiteral("secret"));
    QVERIFY(result.startsWith(QStringLiteral("$1$abcdefghijkl$")));
    QVERIFY(result.right(22) != md5Crypt(QStringLiteral("abcdefgh"), QStringLiteral("secret")).right(22));
}

void TestMd5Crypt::cryptPasswordDrawsFreshSalts()
{
    const QRegularExpression format(QStringLiteral("^\\$1\\$[a-y]{8}\\$[./0-9A-Za-z]{22}$"));
    // An unseeded rand() gives every process the sequence of srand(1).
    std::srand(1);
    QString predictable;
    for (int i = 0; i < 8; ++i)
        predictable.append(QLatin1Char(char('a' + std::rand() % 25)));
    std::srand(1);
    QSet<QString> salts;
    QSet<QChar> letters;
    for (int i = 0; i < 300; ++i) {
        const QString result = cryptPassword(QStringLiteral("admin"), QStringLiteral("password"));
        QVERIFY2(format.match(result).hasMatch(), qPrintable(result));
        // The login plays no part beyond the salt.
        QCOMPARE(result, md5Crypt(result.mid(3, 8), QStringLiteral("password")));
        QVERIFY(result.mid(3, 8) != predictable);
        salts.insert(result.mid(3, 8));
        for (const QChar c : result.mid(3, 8))
            letters.insert(c);
    }
    // 2400 draws over 25 letters: every letter shows up and 'z' never does.
    QCOMPARE(letters.size(), 25);
    QCOMPARE(salts.size(), 300);
}

QTEST_GUILESS_MAIN(TestMd5Crypt)
#include "tst_md5crypt.moc"
