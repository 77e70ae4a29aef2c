#include "md5crypt.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QRandomGenerator>

#include <cstring>

namespace {

const char kMagic[] = "$1$";
const int kMagicLength = 3;
const int kDigestLength = 16;
const int kRounds = 1000;
const int kHashLength = 22;
const int kSaltLength = 8;
const int kSaltLetters = 25; // 'a' to 'y'
const char kAlphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// Appends the low `count` six-bit groups of `value`, least significant first.
void appendBase64(QByteArray* out, quint32 value, int count)
{
    for (int i = 0; i < count; ++i) {
        out->append(kAlphabet[value & 0x3f]);
        value >>= 6;
    }
}

QByteArray encodeDigest(const unsigned char* f)
{
    QByteArray out;
    out.reserve(kHashLength);
    appendBase64(&out, (quint32(f[0]) << 16) | (quint32(f[6]) << 8) | f[12], 4);
    appendBase64(&out, (quint32(f[1]) << 16) | (quint32(f[7]) << 8) | f[13], 4);
    appendBase64(&out, (quint32(f[2]) << 16) | (quint32(f[8]) << 8) | f[14], 4);
    appendBase64(&out, (quint32(f[3]) << 16) | (quint32(f[9]) << 8) | f[15], 4);
    appendBase64(&out, (quint32(f[4]) << 16) | (quint32(f[10]) << 8) | f[5], 4);
    appendBase64(&out, f[11], 2);
    return out;
}

// Copies the digest out, so that the hash object can be reset and reused.
void takeDigest(QCryptographicHash* hash, unsigned char* digest)
{
    const QByteArray result = hash->result();
    memcpy(digest, result.constData(), kDigestLength);
}

} // namespace

QString md5Crypt(QString salt, QString password)
{
    const QByteArray pw = password.toUtf8();
    const QByteArray sl = salt.toUtf8();
    const char* p = pw.constData();
    const char* s = sl.constData();
    const int pl = pw.size();
    const int sll = sl.size();
    unsigned char digest[kDigestLength];

    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(p, pl);
    hash.addData(s, sll);
    hash.addData(p, pl);
    takeDigest(&hash, digest);

    hash.reset();
    hash.addData(p, pl);
    hash.addData(kMagic, kMagicLength);
    hash.addData(s, sll);
    for (int left = pl; left > 0; left -= kDigestLength)
        hash.addData(reinterpret_cast<const char*>(digest), qMin(left, kDigestLength));
    const char zero = 0;
    for (int bits = pl; bits; bits >>= 1)
        hash.addData((bits & 1) ? &zero : p, 1);
    takeDigest(&hash, digest);

    // The scheme's deliberate slowdown: the order of the pieces varies with
    // the round number.
    const char* f = reinterpret_cast<const char*>(digest);
    for (int round = 0; round < kRounds; ++round) {
        hash.reset();
        if (round & 1)
            hash.addData(p, pl);
        else
            hash.addData(f, kDigestLength);
        if (round % 3)
            hash.addData(s, sll);
        if (round % 7)
            hash.addData(p, pl);
        if (round & 1)
            hash.addData(f, kDigestLength);
        else
            hash.addData(p, pl);
        takeDigest(&hash, digest);
    }

    QByteArray out = QByteArray(kMagic, kMagicLength);
    out += sl;
    out += '$';
    out += encodeDigest(digest);
    return QString::fromUtf8(out);
}

QString cryptPassword(const QString& login, const QString& password)
{
    Q_UNUSED(login);
    QRandomGenerator* random = QRandomGenerator::system();
    QString salt;
    salt.reserve(kSaltLength);
    for (int i = 0; i < kSaltLength; ++i)
        salt.append(QLatin1Char(char('a' + random->bounded(kSaltLetters))));
    return md5Crypt(salt, password);
}
