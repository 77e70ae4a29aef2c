#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <configurator-common/md5crypt.h>

#include <cstdlib>

namespace {

const int kToolTimeoutMs = 30000;
const int kSaltCount = 18;
const int kPasswordsPerSalt = 12;
const int kMaxPasswordLength = 70;

// Printable ASCII without blanks at the ends (openssl -stdin keeps them, but the
// comparison is about hashing) and without '$', which ends a salt.
QString randomAscii(QRandomGenerator* random, int length)
{
    QString text;
    while (text.size() < length)
        text.append(QLatin1Char(char(random->bounded(0x21, 0x7f))));
    return text.replace(QLatin1Char('$'), QLatin1Char('%'));
}

QStringList run(const QString& program, const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(kToolTimeoutMs) || process.exitCode() != 0)
        return {};
    return QString::fromLatin1(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The published scheme once more, in Python, with no cut of the salt: the
// reference for salts longer than the 8 characters that other tools keep.
const char kPythonMd5Crypt[] = R"(
import hashlib, sys
A = './0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'
s, p = sys.argv[1].encode(), sys.argv[2].encode()
alt = hashlib.md5(p + s + p).digest()
c = p + b'$1$' + s + (alt * (len(p) // 16 + 1))[:len(p)]
i = len(p)
while i:
    c += b'\0' if i & 1 else p[:1]; i >>= 1
f = hashlib.md5(c).digest()
for r in range(1000):
    f = hashlib.md5((p if r & 1 else f) + (s if r % 3 else b'') + (p if r % 7 else b'') + (f if r & 1 else p)).digest()
out = ''
for a, b, c2, k in ((0, 6, 12, 4), (1, 7, 13, 4), (2, 8, 14, 4), (3, 9, 15, 4), (4, 10, 5, 4), (None, None, 11, 2)):
    v = (f[a] << 16 if a is not None else 0) | (f[b] << 8 if b is not None else 0) | f[c2]
    for _ in range(k):
        out += A[v & 63]; v >>= 6
print('$1$' + sys.argv[1] + '$' + out)
)";

} // namespace

class TestMd5Crypt : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithOpenssl_data();
    void agreesWithOpenssl();
    void longSaltIsKeptWhole();
    void cryptPasswordFormat();
    void cryptPasswordDoesNotFollowCLibraryRand();
};

void TestMd5Crypt::agreesWithOpenssl_data()
{
    QTest::addColumn<QString>("salt");
    QTest::addColumn<QStringList>("passwords");

    QRandomGenerator random(20261206);
    for (int i = 0; i < kSaltCount; ++i) {
        const QString salt = randomAscii(&random, i % 9);
        QStringList passwords{ QString() };
        for (int j = 1; j < kPasswordsPerSalt; ++j) {
            // Lengths around the 16-byte digest size matter most to the scheme.
            const int length = (j % 2) ? 13 + j : int(random.bounded(kMaxPasswordLength + 1));
            passwords << randomAscii(&random, length);
        }
        QTest::newRow(qPrintable(QStringLiteral("salt %1 '%2'").arg(i).arg(salt))) << salt << passwords;
    }
}

void TestMd5Crypt::agreesWithOpenssl()
{
    QFETCH(QString, salt);
    QFETCH(QStringList, passwords);

    const QStringList expected = run(QStringLiteral("openssl"), { QStringLiteral("passwd"), QStringLiteral("-1"),
                                     QStringLiteral("-salt"), salt, QStringLiteral("-stdin") },
                                     passwords.join(QLatin1Char('\n')).toLatin1() + '\n');
    QCOMPARE(expected.size(), passwords.size());
    for (int i = 0; i < passwords.size(); ++i)
        QCOMPARE(md5Crypt(salt, passwords.at(i)), expected.at(i));
}

void TestMd5Crypt::longSaltIsKeptWhole()
{
    const QString salt = QStringLiteral("abcdefghijkl");
    const QString result = md5Crypt(salt, QStringLiteral("secret"));
    QVERIFY(result.startsWith(QStringLiteral("$1$abcdefghijkl$")));
    // Other tools cut the salt to 8 characters; this one hashes all twelve.
    QVERIFY(result.right(22) != md5Crypt(salt.left(8), QStringLiteral("secret")).right(22));
    QCOMPARE(result, run(QStringLiteral("python3"), { QStringLiteral("-c"), QLatin1String(kPythonMd5Crypt), salt,
                                                      QStringLiteral("secret") }).value(0));
}

void TestMd5Crypt::cryptPasswordFormat()
{
    const QRegularExpression format(QStringLiteral("^\\$1\\$[a-y]{8}\\$[./0-9A-Za-z]{22}$"));
    QSet<QChar> letters;
    QSet<QString> salts;
    const int calls = 300;
    for (int i = 0; i < calls; ++i) {
        const QString result = cryptPassword(QStringLiteral("admin"), QStringLiteral("password"));
        QVERIFY2(format.match(result).hasMatch(), qPrintable(result));
        const QString salt = result.mid(3, 8);
        // The login plays no part beyond the salt.
        QCOMPARE(result, md5Crypt(salt, QStringLiteral("password")));
        salts.insert(salt);
        for (const QChar c : salt)
            letters.insert(c);
    }
    // 2400 draws over 25 letters: every letter shows up and 'z' never does.
    QCOMPARE(letters.size(), 25);
    QCOMPARE(salts.size(), calls);
}

void TestMd5Crypt::cryptPasswordDoesNotFollowCLibraryRand()
{
    // An unseeded rand() gives every process the sequence of srand(1).
    std::srand(1);
    QString predictable;
    for (int i = 0; i < 8; ++i)
        predictable.append(QLatin1Char(char('a' + std::rand() % 25)));
    std::srand(1);
    QVERIFY(cryptPassword(QString(), QStringLiteral("pw")).mid(3, 8) != predictable);
}

QTEST_GUILESS_MAIN(TestMd5Crypt)
#include "tst_md5crypt.moc"
