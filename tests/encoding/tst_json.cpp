#include <QDate>
#include <QPoint>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <configurator-common/json.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using QtJson::Json;

namespace {

const int kLimit = Json::kMaxNestingDepth;

// One line per tree, equal for equal trees under the reader's typing rules
// (integers by value, doubles bit for bit); the Python script writes the same.
QByteArray canonical(const QVariant& v)
{
    QList<QByteArray> items;
    const double d = v.toDouble();
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    switch (v.userType()) {
    case QMetaType::UnknownType: return "n";
    case QMetaType::Bool: return v.toBool() ? "t" : "f";
    case QMetaType::ULongLong:
    case QMetaType::LongLong: return "i" + v.toString().toLatin1();
    case QMetaType::QString: return "s" + v.toString().toUtf8().toHex();
    case QMetaType::Double: return "d" + QByteArray::number(bits, 16).rightJustified(16, '0');
    case QMetaType::QVariantList:
        for (const QVariant& item : v.toList())
            items << canonical(item);
        return "[" + items.join(',') + "]";
    case QMetaType::QVariantMap:
        for (auto it = v.toMap().constBegin(), end = v.toMap().constEnd(); it != end; ++it)
            items << canonical(it.key()) + ":" + canonical(it.value());
        std::sort(items.begin(), items.end());
        return "{" + items.join(',') + "}";
    default: return "?" + QByteArray(v.typeName());
    }
}

// Reads one document a line; writes its canonical form and, in hex, the
// document as Python's json writes it again (four layouts in turn).
const char kPython[] = R"(import json, struct, sys
def canon(x):
    if x is None or isinstance(x, bool): return {None: "n", True: "t", False: "f"}[x]
    if isinstance(x, int): return "i%d" % x
    if isinstance(x, float): return "d%016x" % struct.unpack("<Q", struct.pack("<d", x))[0]
    if isinstance(x, str): return "s" + x.encode().hex()
    if isinstance(x, list): return "[" + ",".join(canon(i) for i in x) + "]"
    return "{" + ",".join(sorted(canon(k) + ":" + canon(v) for k, v in x.items())) + "}"
for n, line in enumerate(sys.stdin.buffer.read().split(b"\n")[:-1]):
    x = json.loads(line.decode("utf-8"))
    out = json.dumps(x, ensure_ascii=n % 2 == 0, indent=[None, 1, None, "\t"][n % 4], separators=[(",", ":"), None][n % 2])
    print(canon(x) + "\t" + out.encode().hex())
)";

// Strings with every escape, control characters, non-ASCII text and
// surrogate pairs; now and then longer than the writer's chunk of 4096 units.
QString randomString(QRandomGenerator& rng)
{
    static const char16_t kUnits[] = u"\0a\"\\/\x01\b\t\n\f\r\x1f\x7f\u00e9\u4e2d\u2028\ufeff\U0001F600";
    QString s;
    for (int n = rng.bounded(40) ? rng.bounded(13) : 4000 + rng.bounded(500); n > 0; --n) {
        const int pick = rng.bounded(36);
        s += pick < 17 ? QString(QChar(kUnits[pick]))
                       : pick == 17 ? QString::fromUtf16(kUnits + 17, 2) : QString(QChar(0x20 + rng.bounded(0x5f)));
    }
    return s;
}

// Any finite double, a subnormal, or mostly a tie at the 20th digit: m * 2^-f
// whose exact digits, m * 5^f, are 21.
double randomDouble(QRandomGenerator& rng)
{
    const quint64 bits = rng.bounded(2) ? rng.generate64() & ~(quint64(1) << 62) : (rng.generate64() & 0x800fffffffffffffull) | 1;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    const int f = 6 + rng.bounded(25);
    const double low = std::ceil(1e20 / std::pow(5.0, f)), high = std::min(1e21 / std::pow(5.0, f), 9007199254740991.0);
    const double m = std::floor(low + rng.generateDouble() * (high - low));
    return rng.bounded(3) ? d : std::ldexp(std::fmod(m, 2.0) == 0 ? m + 1 : m, -f) * (rng.bounded(2) ? 1 : -1);
}

// A tree of the types the reader gives: negative integers as qlonglong, the
// others as qulonglong, so that it reads back unchanged.
QVariant randomTree(QRandomGenerator& rng, int depth)
{
    QVariantList list;
    QVariantMap map;
    const int kind = rng.bounded(depth >= 4 ? 6 : 8);
    for (int n = kind < 6 ? 0 : rng.bounded(6); n > 0; --n)
        kind == 6 ? list.append(randomTree(rng, depth + 1)) : void(map.insert(randomString(rng), randomTree(rng, depth + 1)));
    switch (kind) {
    case 0: return rng.bounded(3) ? QVariant(bool(rng.bounded(2))) : QVariant();
    case 1: return qulonglong(rng.bounded(2) ? rng.generate64() : std::numeric_limits<qulonglong>::max());
    case 2: return qlonglong(rng.bounded(2) ? -1 - qint64(rng.generate64() >> 1) : std::numeric_limits<qlonglong>::min());
    case 5: return randomString(rng);
    case 6: return list;
    case 7: return map;
    default: return randomDouble(rng);
    }
}

} // namespace

class TestJson : public QObject
{
    Q_OBJECT
private slots:
    // Trees of every kind written by us are read by Python; Python's writing
    // of them, and number texts that test rounding, are read by us: every value
    // agrees.  Doubles are written as QByteArray::number(d, 'g', 20) writes them.
    void agreesWithPythonAndQt()
    {
        QRandomGenerator rng(2024);
        QList<QByteArray> lines;
        for (int i = 0; i < 2000; ++i) {
            // Number texts halfway between two doubles (all 53 fraction digits), or
            // with up to 30 digits and exponents from subnormal to large.
            char number[128];
            if (i % 2)
                std::snprintf(number, sizeof number, "[%.53Lf]", 1.0L + (rng.generate64() >> 12) * 0x1p-52L + 0x1p-53L);
            else
                std::snprintf(number, sizeof number, "[%.*fe%d]", rng.bounded(30), 1 + rng.generateDouble() * 8,
                              rng.bounded(600) - 330);
            lines << Json::serialize(randomTree(rng, 0)) << number;
            const double d = randomDouble(rng);
            const QByteArray qt = QByteArray::number(d, 'g', 20);
            QCOMPARE(Json::serialize(d), qt + (qt.contains('.') || qt.contains('e') ? "" : ".0"));
        }
        QProcess python;
        python.start(QStringLiteral("python3"), { QStringLiteral("-c"), QString::fromLatin1(kPython) });
        python.write(lines.join('\n') + '\n');
        python.closeWriteChannel();
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        const QList<QByteArray> answers = python.readAllStandardOutput().split('\n');
        QCOMPARE(answers.size(), lines.size() + 1);
        for (int i = 0; i < lines.size(); ++i) {
            const QList<QByteArray> answer = answers.at(i).split('\t');
            const QByteArray theirs = QByteArray::fromHex(answer.value(1));
            bool ok = false, ok2 = false;
            QVERIFY2(canonical(Json::parse(QString::fromUtf8(lines.at(i)), ok)) == answer.at(0) && ok, lines.at(i).constData());
            QVERIFY2(canonical(Json::parse(QString::fromUtf8(theirs), ok2)) == answer.at(0) && ok2, theirs.constData());
        }
    }

    // Expected values in the canonical form: i integer, d double bits, s UTF-8 in hex.
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("success");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("empty text") << "" << false << QByteArray("n");
        QTest::newRow("missing, repeated, trailing commas; text after") << "[,1 2,,]]x" << true << QByteArray("[i1,i2]");
        QTest::newRow("members without comma, repeated name") << "{\"b\":1 \"a\":1,\"b\":2,}" << true
                                                              << QByteArray("{s61:i1,s62:i2}");
        QTest::newRow("glued word in list") << "[truex]" << false << QByteArray("[]");
        QTest::newRow("non-Latin-1 character") << QString(QChar(0x4e2d)) << false << QByteArray("n");
        QTest::newRow("malformed numbers") << "[1-2 -0 - 1. 1e 1.5e3.2 18446744073709551616 -9223372036854775809]" << true
                                           << QByteArray("[i0,i0,i0,d3ff0000000000000,d0000000000000000,d0000000000000000,i0,i0]");
        QTest::newRow("unknown escape dropped, non-hex gives U+0000") << "\"a\\qb\\uzzzz\"" << true << QByteArray("s616200");
        QTest::newRow("unicode escape cut short") << "\"\\u00\"" << false << QByteArray("n");
        QTest::newRow("lists at the limit") << QString("[").repeated(kLimit) + "1" + QString("]").repeated(kLimit) << true
                                            << QByteArray("[").repeated(kLimit) + "i1" + QByteArray("]").repeated(kLimit);
        QTest::newRow("objects at the limit") << QString("{\"a\":").repeated(kLimit) + "1" + QString("}").repeated(kLimit) << true
                                              << QByteArray("{s61:").repeated(kLimit) + "i1" + QByteArray("}").repeated(kLimit);
        QTest::newRow("list one too deep") << QString("[").repeated(kLimit + 1) + QString("]").repeated(kLimit + 1) << false
                                           << QByteArray("[]");
        // Far deeper than any stack would take recursively.
        QTest::newRow("deep mixed, unterminated") << QString("[{\"k\":").repeated(200000) << false << QByteArray("[]");
    }

    void parse()
    {
        QFETCH(QString, text);
        QFETCH(bool, success);
        QFETCH(QByteArray, expected);
        bool ok = !success;
        QCOMPARE(canonical(Json::parse(text, ok)), expected);
        QCOMPARE(ok, success);
    }

    void serialize_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QByteArray>("expected"); // null: failure
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("invalid, NaN and infinities") << QVariant(QVariantList{ QVariant(), std::nan(""), inf, -inf })
                                                     << QByteArray("[ null, null, null, null ]");
        QTest::newRow("layout, other types")
            << QVariant(QVariantList{ 1.5f, -5, 4000000000u, QStringList{ "a" }, QByteArray("b\xC3\xA9"), QDate(2024, 1, 2),
                                      QVariantMap{ { "b", QVariantMap() }, { "a", QVariantList() } } })
            << QByteArray("[ 1.5, -5, 4000000000, [ \"a\" ], \"b\xC3\xA9\", \"2024-01-02\", { \"a\" : [  ], \"b\" : {  } } ]");
        QTest::newRow("escapes")
            << QVariant(QVariantMap{ { "k\"\n", QString::fromLatin1("\"\\/\b\f\r\t\x01\x1f\x7f", 10) + QChar(0) } })
            << QByteArray("{ \"k\\\"\\n\" : \"\\\"\\\\/\\b\\f\\r\\t\\u0001\\u001f\x7f\\u0000\" }");
        // A lone surrogate is written the way QString::toUtf8 writes it ("?").
        QTest::newRow("lone surrogates") << QVariant(QString(QChar(0xdc00)) + QChar(0xd800))
                                         << "\"" + QString(QChar(0xd800)).toUtf8().repeated(2) + "\"";
        QTest::newRow("unconvertible deep inside") << QVariant(QVariantList{ 1, QVariantMap{ { "x", QVariantList{ QPoint() } } } })
                                                   << QByteArray();
        const QString deep = QString("[").repeated(kLimit) + "1" + QString("]").repeated(kLimit);
        QTest::newRow("nesting at the limit") << Json::parse(deep)
                                              << QByteArray("[ ").repeated(kLimit) + "1" + QByteArray(" ]").repeated(kLimit);
        QTest::newRow("nesting one too deep") << QVariant(QVariantList{ Json::parse(deep) }) << QByteArray();
    }

    void serialize()
    {
        QFETCH(QVariant, value);
        QFETCH(QByteArray, expected);
        bool ok = expected.isNull();
        QCOMPARE(Json::serialize(value, ok), expected);
        QCOMPARE(ok, !expected.isNull());
    }
};

QTEST_GUILESS_MAIN(TestJson)
#include "tst_json.moc"
