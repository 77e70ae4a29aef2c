#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <configurator-common/md5crypt.h>

#include <cstdlib>

namespace {

const int kOpensslTimeoutMs = 30000;
const int kSaltCount = 48;
const int kPasswordsPerSalt = 24;
const int kMaxPasswordLength = 70;

// Printable ASCII; '$' ends a salt in the scheme, so salts leave it out.
QString randomAscii(QRandomGenerator* random, int length, bool forSalt)
{
    QString text;
    while (text.size() < length) {
        const char c = char(random->bounded(0x20, 0x7f));
        if (forSalt && c == '$')
            continue;
        text.append(QLatin1Char(c));
    }
    return text;
}

// openssl reads one password per line from stdin and prints one hash per line.
QStringList opensslHashes(const QString& salt, const QStringList& passwords)
{
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  { QStringLiteral("passwd"), QStringLiteral("-1"), QStringLiteral("-salt"), salt,
                    QStringLiteral("-stdin") });
    if (!openssl.waitForStarted(kOpensslTimeoutMs))
        return {};
    for (const QString& password : passwords)
        openssl.write(password.toLatin1() + '\n');
    openssl.closeWriteChannel();
    if (!openssl.waitForFinished(kOpensslTimeoutMs) || openssl.exitCode() != 0)
        return {};
    return QString::fromLatin1(openssl.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The published scheme once more, in Python, with no cut of the salt: the
// reference for salts longer than the 8 characters that other tools keep.
const char kPythonMd5Crypt[] = R"(
import hashlib, sys
A = './0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz'
s, p = sys.argv[1].encode(), sys.argv[2].encode()
alt = hashlib.md5(p + s + p).digest()
c = p + b'$1$' + s
n = len(p)
while n > 0:
    c += alt[:min(n, 16)]; n -= 16
i = len(p)
while i:
    c += b'\0' if i & 1 else p[:1]; i >>= 1
f = hashlib.md5(c).digest()
for r in range(1000):
    d = p if r & 1 else f
    if r % 3: d += s
    if r % 7: d += p
    d += f if r & 1 else p
    f = hashlib.md5(d).digest()
out = ''
for a, b, c2, k in ((0, 6, 12, 4), (1, 7, 13, 4), (2, 8, 14, 4), (3, 9, 15, 4), (4, 10, 5, 4), (None, None, 11, 2)):
    v = (f[a] << 16 if a is not None else 0) | (f[b] << 8 if b is not None else 0) | f[c2]
    for _ in range(k):
        out += A[v & 63]; v >>= 6
print('$1$' + sys.argv[1] + '$' + out)
)";

QString pythonMd5Crypt(const QString& salt, const QString& password)
{
    QProcess python;
    python.start(QStringLiteral("python3"), { QStringLiteral("-c"), QString::fromLatin1(kPythonMd5Crypt), salt, password });
    if (!python.waitForFinished(kOpensslTimeoutMs) || python.exitCode() != 0)
        return QString();
    return QString::fromLatin1(python.readAllStandardOutput()).trimmed();
}

} // namespace

class TestMd5Crypt : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithOpenssl_data();
    void agreesWithOpenssl();
    void knownValues_data();
    void knownValues();
    void emptyPasswordHasFullHash();
    void longSaltIsKeptWhole();
    void sameInputGivesSameResult();
    void cryptPasswordFormat();
    void cryptPasswordDiffersOnlyThroughSalt();
    void cryptPasswordDoesNotFollowCLibraryRand();
};

void TestMd5Crypt::agreesWithOpenssl_data()
{
    QTest::addColumn<QString>("salt");
    QTest::addColumn<QStringList>("passwords");

    QRandomGenerator random(20261206);
    for (int i = 0; i < kSaltCount; ++i) {
        const QString salt = randomAscii(&random, i % 9, true);
        QStringList passwords;
        passwords << QString();
        for (int j = 1; j < kPasswordsPerSalt; ++j) {
            // Lengths around the 16-byte digest size matter most to the scheme.
            const int length = (j < 20) ? j * 2 : int(random.bounded(kMaxPasswordLength + 1));
            // openssl -stdin drops nothing but the newline; keep the ends
            // free of blanks all the same so the comparison is about hashing.
            passwords << randomAscii(&random, length, false).trimmed();
        }
        QTest::newRow(qPrintable(QStringLiteral("salt %1 '%2'").arg(i).arg(salt))) << salt << passwords;
    }
}

void TestMd5Crypt::agreesWithOpenssl()
{
    QFETCH(QString, salt);
    QFETCH(QStringList, passwords);

    const QStringList expected = opensslHashes(salt, passwords);
    QCOMPARE(expected.size(), passwords.size());
    for (int i = 0; i < passwords.size(); ++i)
        QCOMPARE(md5Crypt(salt, passwords.at(i)), expected.at(i));
}

void TestMd5Crypt::knownValues_data()
{
    QTest::addColumn<QString>("salt");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("result");

    // Values printed by `openssl passwd -1 -salt SALT PASSWORD`.
    QTest::newRow("eight-letter salt") << "abcdefgh" << "password0"
                                       << "$1$abcdefgh$LlC79LZsCUDXYXEKqRz241";
    QTest::newRow("empty salt") << "" << "abc" << "$1$$j0yT3c/2mYPQF09fpvPLb0";
    QTest::newRow("punctuation salt") << "a%\"!" << "abc" << "$1$a%\"!$DcCEoZqfd0JMHjPzcFSQt.";
}

void TestMd5Crypt::knownValues()
{
    QFETCH(QString, salt);
    QFETCH(QString, password);
    QFETCH(QString, result);
    QCOMPARE(md5Crypt(salt, password), result);
}

void TestMd5Crypt::emptyPasswordHasFullHash()
{
    const QString result = md5Crypt(QStringLiteral("saltsalt"), QString());
    QCOMPARE(result.size(), 3 + 8 + 1 + 22);
    QCOMPARE(result, opensslHashes(QStringLiteral("saltsalt"), { QString() }).value(0));
}

void TestMd5Crypt::longSaltIsKeptWhole()
{
    const QString salt = QStringLiteral("abcdefghijkl");
    const QString password = QStringLiteral("secret");
    const QString result = md5Crypt(salt, password);

    QVERIFY(result.startsWith(QStringLiteral("$1$abcdefghijkl$")));
    QCOMPARE(result.size(), 3 + 12 + 1 + 22);
    // Other tools cut the salt to 8 characters; this one hashes all twelve.
    const QString cut = md5Crypt(salt.left(8), password);
    QVERIFY(result.right(22) != cut.right(22));
    QCOMPARE(result, pythonMd5Crypt(salt, password));
}

void TestMd5Crypt::sameInputGivesSameResult()
{
    const QString a = md5Crypt(QStringLiteral("xy"), QStringLiteral("pw"));
    QCOMPARE(md5Crypt(QStringLiteral("xy"), QStringLiteral("pw")), a);
    QVERIFY(md5Crypt(QStringLiteral("xz"), QStringLiteral("pw")) != a);
}

void TestMd5Crypt::cryptPasswordFormat()
{
    const QRegularExpression format(QStringLiteral("^\\$1\\$[a-y]{8}\\$[./0-9A-Za-z]{22}$"));
    QSet<QChar> letters;
    QSet<QString> salts;
    const int calls = 300;
    for (int i = 0; i < calls; ++i) {
        const QString result = cryptPassword(QStringLiteral("admin"), QStringLiteral("password"));
        QCOMPARE(result.size(), 34);
        QVERIFY2(format.match(result).hasMatch(), qPrintable(result));
        salts.insert(result.mid(3, 8));
        for (const QChar c : result.mid(3, 8))
            letters.insert(c);
    }
    // 2400 draws over 25 letters: every letter shows up and 'z' never does.
    QCOMPARE(letters.size(), 25);
    QCOMPARE(salts.size(), calls);
}

void TestMd5Crypt::cryptPasswordDiffersOnlyThroughSalt()
{
    const QString first = cryptPassword(QStringLiteral("one"), QStringLiteral("pw"));
    const QString second = cryptPassword(QStringLiteral("two"), QStringLiteral("pw"));
    QVERIFY(first != second);
    QCOMPARE(first, md5Crypt(first.mid(3, 8), QStringLiteral("pw")));
    QCOMPARE(second, md5Crypt(second.mid(3, 8), QStringLiteral("pw")));
}

void TestMd5Crypt::cryptPasswordDoesNotFollowCLibraryRand()
{
    // An unseeded rand() gives every process the sequence of srand(1).
    std::srand(1);
    QString predictable;
    for (int i = 0; i < 8; ++i)
        predictable.append(QLatin1Char(char('a' + std::rand() % 25)));
    std::srand(1);
    const QString result = cryptPassword(QString(), QStringLiteral("pw"));
    QVERIFY(result.mid(3, 8) != predictable);
}

QTEST_GUILESS_MAIN(TestMd5Crypt)
#include "tst_md5crypt.moc"
