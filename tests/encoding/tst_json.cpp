#include <QDate>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <configurator-common/json.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

using QtJson::Json;

// A type that converts to nothing the writer knows.
struct Opaque
{
    int value = 0;
};
Q_DECLARE_METATYPE(Opaque)

namespace {

// One line per tree, equal for equal trees under the reader's typing rules
// (integers by value, doubles bit for bit); the Python script writes the same.
QByteArray canonical(const QVariant& v)
{
    QList<QByteArray> items;
    switch (v.userType()) {
    case QMetaType::UnknownType: return "n";
    case QMetaType::Bool: return v.toBool() ? "t" : "f";
    case QMetaType::ULongLong:
    case QMetaType::LongLong: return "i" + v.toString().toLatin1();
    case QMetaType::QString: return "s" + v.toString().toUtf8().toHex();
    case QMetaType::Double: {
        const double d = v.toDouble();
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        return "d" + QByteArray::number(bits, 16).rightJustified(16, '0');
    }
    case QMetaType::QVariantList:
        for (const QVariant& item : v.toList())
            items << canonical(item);
        return "[" + items.join(',') + "]";
    case QMetaType::QVariantMap: {
        const QVariantMap map = v.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            items << canonical(it.key()) + ":" + canonical(it.value());
        std::sort(items.begin(), items.end());
        return "{" + items.join(',') + "}";
    }
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

QString randomString(QRandomGenerator& rng)
{
    static const ushort kUnits[] = { 'a', '"', '\\', '/', 0x00, 0x01, 0x08, 0x09, 0x0a, 0x0c,
                                     0x0d, 0x1f, 0x7f, 0xe9, 0x4e2d, 0x2028, 0xfeff, 0xd83d };
    // Now and then longer than the writer's chunk of 4096 units.
    QString s;
    for (int n = rng.bounded(40) ? rng.bounded(13) : 4000 + rng.bounded(500); n > 0; --n) {
        const ushort unit = rng.bounded(2) ? ushort(0x20 + rng.bounded(0x5f)) : kUnits[rng.bounded(18)];
        s += unit == 0xd83d ? QString::fromUtf8("\xF0\x9F\x98\x80") : QString(QChar(unit));
    }
    return s;
}

double randomDouble(QRandomGenerator& rng)
{
    quint64 bits = rng.generate64();
    switch (rng.bounded(4)) {
    case 0: // any finite bit pattern, or a subnormal
        bits = rng.bounded(2) ? bits & ~(quint64(1) << 62) : (bits & 0x800fffffffffffffull) | 1;
        break;
    case 1: return double(qint64(rng.bounded(3600000000u)) - 1800000000) / 10000000; // a coordinate
    default: {
        // Mostly a tie at the 20th digit: m * 2^-f whose exact digits, m * 5^f, are 21.
        const int f = 6 + rng.bounded(25);
        const double low = std::ceil(1e20 / std::pow(5.0, f));
        const double high = std::min(1e21 / std::pow(5.0, f), 9007199254740991.0);
        const double m = std::floor(low + rng.generateDouble() * (high - low));
        return std::ldexp(std::fmod(m, 2.0) == 0 ? m + 1 : m, -f) * (rng.bounded(2) ? 1 : -1);
    }
    }
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

// A tree of the types the reader gives: negative integers as qlonglong, the
// others as qulonglong, so that it reads back unchanged.
QVariant randomTree(QRandomGenerator& rng, int depth)
{
    static const qulonglong kEdges[] = { 0, 9007199254740993ull, std::numeric_limits<qulonglong>::max() };
    QVariantList list;
    QVariantMap map;
    switch (rng.bounded(depth >= 4 ? 6 : 8)) {
    case 0: return rng.bounded(3) ? QVariant(bool(rng.bounded(2))) : QVariant();
    case 1: return qulonglong(rng.bounded(2) ? rng.generate64() : kEdges[rng.bounded(3)]);
    case 2: return qlonglong(rng.bounded(2) ? -1 - qint64(rng.generate64() >> 1) : std::numeric_limits<qlonglong>::min());
    case 3:
    case 4: return randomDouble(rng);
    case 5: return randomString(rng);
    case 6:
        for (int n = rng.bounded(6); n > 0; --n)
            list << randomTree(rng, depth + 1);
        return list;
    default:
        for (int n = rng.bounded(6); n > 0; --n)
            map.insert(randomString(rng), randomTree(rng, depth + 1));
        return map;
    }
}

// Number text halfway between two doubles (all 53 fraction digits), or with
// up to 30 digits and exponents from subnormal to large.
QByteArray randomNumberText(QRandomGenerator& rng)
{
    char buffer[128];
    if (rng.bounded(2))
        std::snprintf(buffer, sizeof buffer, "%.53Lf", 1.0L + (rng.generate64() >> 12) * 0x1p-52L + 0x1p-53L);
    else
        std::snprintf(buffer, sizeof buffer, "%.*fe%d", rng.bounded(30), 1 + rng.generateDouble() * 8,
                      int(rng.bounded(600)) - 330);
    return buffer;
}

// `depth` lists (or objects under "a") around the number 1.
QVariant nested(int depth, bool objects)
{
    QVariant v = qulonglong(1);
    for (int i = 0; i < depth; ++i)
        v = objects ? QVariant(QVariantMap{ { QStringLiteral("a"), v } }) : QVariant(QVariantList{ v });
    return v;
}

} // namespace

class TestJson : public QObject
{
    Q_OBJECT
private slots:
    void agreesWithPythonAndQt();
    void parse_data();
    void parse();
    void serialize_data();
    void serialize();
};

// Trees of every kind written by us are read by Python; Python's writing of
// them, and number texts that test rounding, are read by us: every value
// agrees.  Doubles are written as QByteArray::number(d, 'g', 20) writes them.
void TestJson::agreesWithPythonAndQt()
{
    QRandomGenerator rng(2024);
    QList<QByteArray> lines;
    for (int i = 0; i < 1200; ++i) {
        QList<QByteArray> numbers;
        for (int k = 0; k < 10 && i % 3 == 0; ++k)
            numbers << randomNumberText(rng);
        lines << (i % 3 ? Json::serialize(randomTree(rng, 0)) : "[" + numbers.join(',') + "]");
        QVERIFY(!lines.last().isNull());
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

void TestJson::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QVariant>("expected");

    const QVariantList oneTwo{ qulonglong(1), qulonglong(2) };
    const QVariantMap ab{ { QStringLiteral("a"), qulonglong(1) }, { QStringLiteral("b"), qulonglong(2) } };
    const int limit = Json::kMaxNestingDepth;
    QTest::newRow("null text") << QString() << true << QVariant();
    QTest::newRow("empty text") << "" << false << QVariant();
    QTest::newRow("missing, repeated, trailing commas") << "[,1 2,,]" << true << QVariant(oneTwo);
    QTest::newRow("members without comma, repeated name") << "{\"b\":1 \"a\":1,\"b\":2,}" << true << QVariant(ab);
    QTest::newRow("text after value ignored") << "[1,2]]x" << true << QVariant(oneTwo);
    QTest::newRow("true glued to text") << "truex" << true << QVariant(true);
    QTest::newRow("glued word in list") << "[truex]" << false << QVariant(QVariantList());
    QTest::newRow("unterminated list") << "[1,2" << false << QVariant(QVariantList());
    QTest::newRow("name without value") << "{\"a\":}" << false << QVariant(QVariantMap());
    QTest::newRow("value instead of colon") << "{\"a\" 1}" << false << QVariant(QVariantMap());
    QTest::newRow("short word") << "tru" << false << QVariant();
    QTest::newRow("plus sign") << "+1" << false << QVariant();
    QTest::newRow("form feed is no blank") << "\f1" << false << QVariant();
    QTest::newRow("non-Latin-1 character") << QString(QChar(0x4e2d)) << false << QVariant();
    QTest::newRow("malformed numbers") << "[1-2 -0 - 1. 1e 1.5e3.2]" << true
                                       << QVariant(QVariantList{ qulonglong(0), qlonglong(0), qlonglong(0), 1.0, 0.0, 0.0 });
    QTest::newRow("integer overflow") << "[18446744073709551616, -9223372036854775809]" << true
                                      << QVariant(QVariantList{ qulonglong(0), qlonglong(0) });
    QTest::newRow("unknown escape dropped") << "\"a\\qb\"" << true << QVariant(QStringLiteral("ab"));
    QTest::newRow("non-hex escape gives U+0000") << "\"\\uzzzz\"" << true << QVariant(QString(QChar(0)));
    QTest::newRow("unicode escape cut short") << "\"\\u00\"" << false << QVariant();
    QTest::newRow("backslash at end") << "\"abc\\" << false << QVariant();
    QTest::newRow("raw control character kept") << "\"a\x01\"" << true << QVariant(QStringLiteral("a\x01"));
    QTest::newRow("lists at the limit") << QStringLiteral("[").repeated(limit) + "1" + QStringLiteral("]").repeated(limit)
                                        << true << nested(limit, false);
    QTest::newRow("objects at the limit")
        << QStringLiteral("{\"a\":").repeated(limit) + "1" + QStringLiteral("}").repeated(limit) << true
        << nested(limit, true);
    QTest::newRow("list one too deep") << QStringLiteral("[").repeated(limit + 1) + QStringLiteral("]").repeated(limit + 1)
                                       << false << QVariant(QVariantList());
    // Far deeper than any stack would take recursively.
    QTest::newRow("a million open brackets") << QStringLiteral("[").repeated(1000000) << false << QVariant(QVariantList());
    QTest::newRow("deep mixed, unterminated") << QStringLiteral("[{\"k\":").repeated(200000) << false
                                              << QVariant(QVariantList());
}

void TestJson::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, success);
    QFETCH(QVariant, expected);
    bool ok = !success;
    QCOMPARE(canonical(Json::parse(text, ok)), canonical(expected));
    QCOMPARE(ok, success);
    QCOMPARE(canonical(Json::parse(text)), canonical(expected));
}

void TestJson::serialize_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("expected"); // null: failure

    const QVariant opaque = QVariant::fromValue(Opaque());
    const int limit = Json::kMaxNestingDepth;
    const double inf = std::numeric_limits<double>::infinity();
    QTest::newRow("layout") << QVariant(QVariantMap{ { "b", 1 }, { "a", QVariantList{ QVariantMap(), QVariantList() } } })
                            << QByteArray("{ \"a\" : [ {  }, [  ] ], \"b\" : 1 }");
    QTest::newRow("invalid, NaN and infinities") << QVariant(QVariantList{ QVariant(), std::nan(""), inf, -inf })
                                                 << QByteArray("[ null, null, null, null ]");
    QTest::newRow("numbers") << QVariant(QVariantList{ 1.5f, 2.0, 0.1, 1e20, -5, 4000000000u })
                             << QByteArray("[ 1.5, 2.0, 0.10000000000000000555, 1e+20, -5, 4000000000 ]");
    QTest::newRow("string list") << QVariant(QStringList{ "a", "b" }) << QByteArray("[ \"a\", \"b\" ]");
    QTest::newRow("byte array as string") << QVariant(QByteArray("b\xC3\xA9")) << QByteArray("\"b\xC3\xA9\"");
    QTest::newRow("date as string") << QVariant(QDate(2024, 1, 2)) << QByteArray("\"2024-01-02\"");
    QTest::newRow("quote, backslash, line feed, slash") << QVariant(QStringLiteral("\"\\\n/"))
                                                        << QByteArray("\"\\\"\\\\\\n/\"");
    QTest::newRow("control characters") << QVariant(QString::fromLatin1("\b\f\r\t\x01\x1f\x7f", 7) + QChar(0))
                                         << QByteArray("\"\\b\\f\\r\\t\\u0001\\u001f\x7f\\u0000\"");
    QTest::newRow("escaped key") << QVariant(QVariantMap{ { QStringLiteral("k\"\n"), QVariant() } })
                                 << QByteArray("{ \"k\\\"\\n\" : null }");
    // A lone surrogate is written the way QString::toUtf8 writes it ("?").
    QTest::newRow("lone surrogates") << QVariant(QString(QChar(0xdc00)) + QChar(0xd800))
                                     << "\"" + QString(QChar(0xd800)).toUtf8().repeated(2) + "\"";
    QTest::newRow("unconvertible alone") << opaque << QByteArray();
    QTest::newRow("unconvertible deep inside") << QVariant(QVariantList{ 1, QVariantMap{ { "x", QVariantList{ opaque } } } })
                                               << QByteArray();
    QTest::newRow("nesting at the limit") << nested(limit, false)
                                          << QByteArray("[ ").repeated(limit) + "1" + QByteArray(" ]").repeated(limit);
    QTest::newRow("nesting one too deep") << nested(limit + 1, false) << QByteArray();
}

void TestJson::serialize()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, expected);
    bool ok = expected.isNull();
    QCOMPARE(Json::serialize(value, ok), expected);
    QCOMPARE(ok, !expected.isNull());
    QCOMPARE(Json::serialize(value).isNull(), expected.isNull());
}

QTEST_GUILESS_MAIN(TestJson)
#include "tst_json.moc"
