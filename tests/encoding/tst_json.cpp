#include <QDate>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <configurator-common/json.h>

#include <algorithm>
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

const int kGeneratedDocuments = 300;
const int kPythonTimeoutMs = 60000;

quint64 doubleBits(double d)
{
    quint64 bits;
    std::memcpy(&bits, &d, sizeof bits);
    return bits;
}

// Equality that tells the number types apart and compares doubles bit for
// bit (QVariant's own == converts and compares doubles fuzzily).
bool sameTree(const QVariant& a, const QVariant& b, QString* where = nullptr)
{
    auto fail = [&](const QString& why) {
        if (where)
            *where = why;
        return false;
    };
    if (a.userType() != b.userType())
        return fail(QStringLiteral("type %1 vs %2").arg(a.typeName(), b.typeName()));
    switch (a.userType()) {
    case QMetaType::UnknownType:
        return true;
    case QMetaType::QVariantList: {
        const QVariantList la = a.toList(), lb = b.toList();
        if (la.size() != lb.size())
            return fail(QStringLiteral("list size %1 vs %2").arg(la.size()).arg(lb.size()));
        for (int i = 0; i < la.size(); ++i) {
            if (!sameTree(la.at(i), lb.at(i), where))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap ma = a.toMap(), mb = b.toMap();
        if (ma.keys() != mb.keys())
            return fail(QStringLiteral("keys differ"));
        for (auto it = ma.constBegin(); it != ma.constEnd(); ++it) {
            if (!sameTree(it.value(), mb.value(it.key()), where))
                return false;
        }
        return true;
    }
    case QMetaType::Double:
        if (doubleBits(a.toDouble()) != doubleBits(b.toDouble()))
            return fail(QStringLiteral("double %1 vs %2").arg(a.toDouble(), 0, 'g', 17).arg(b.toDouble(), 0, 'g', 17));
        return true;
    default:
        if (a != b)
            return fail(QStringLiteral("%1 vs %2").arg(a.toString(), b.toString()));
        return true;
    }
}

QByteArray utf16Hex(const QString& s)
{
    QByteArray bytes;
    for (QChar c : s) {
        bytes.append(char(c.unicode() & 0xff));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes.toHex();
}

// One line of text per tree, the same for equal trees under the reader's
// typing rules; the Python script below writes the same form.
QByteArray canonical(const QVariant& v)
{
    switch (v.userType()) {
    case QMetaType::UnknownType:
        return "n";
    case QMetaType::Bool:
        return v.toBool() ? "t" : "f";
    case QMetaType::ULongLong:
        return "i" + QByteArray::number(v.toULongLong());
    case QMetaType::LongLong:
        return "i" + QByteArray::number(v.toLongLong());
    case QMetaType::Double:
        return "d" + QByteArray::number(doubleBits(v.toDouble()), 16).rightJustified(16, '0');
    case QMetaType::QString:
        return "s" + utf16Hex(v.toString());
    case QMetaType::QVariantList: {
        QList<QByteArray> items;
        for (const QVariant& item : v.toList())
            items << canonical(item);
        return "[" + items.join(',') + "]";
    }
    case QMetaType::QVariantMap: {
        QList<QByteArray> members;
        const QVariantMap map = v.toMap();
        for (auto it = map.constBegin(); it != map.constEnd(); ++it)
            members << "s" + utf16Hex(it.key()) + ":" + canonical(it.value());
        std::sort(members.begin(), members.end());
        return "{" + members.join(',') + "}";
    }
    default:
        return "?" + QByteArray(v.typeName());
    }
}

const char kPythonCanonical[] = R"(import json, os, struct, sys

def text(s):
    return "s" + s.encode("utf-16-le", "surrogatepass").hex()

def canon(x):
    if x is None: return "n"
    if x is True: return "t"
    if x is False: return "f"
    if isinstance(x, int): return "i%d" % x
    if isinstance(x, float): return "d%016x" % struct.unpack("<Q", struct.pack("<d", x))[0]
    if isinstance(x, str): return text(x)
    if isinstance(x, list): return "[" + ",".join(canon(i) for i in x) + "]"
    return "{" + ",".join(sorted(text(k) + ":" + canon(v) for k, v in x.items())) + "}"

folder = sys.argv[1]
for name in sorted(os.listdir(folder)):
    with open(os.path.join(folder, name), "rb") as f:
        try:
            print(name + "\t" + canon(json.loads(f.read().decode("utf-8"))))
        except ValueError as e:
            print(name + "\t! " + str(e))
)";

// Reads every file of the folder with Python's json module; file name -> canonical form.
QMap<QString, QByteArray> readWithPython(const QString& folder)
{
    QMap<QString, QByteArray> result;
    QProcess python;
    python.start(QStringLiteral("python3"), { QStringLiteral("-c"), QString::fromLatin1(kPythonCanonical), folder });
    if (!python.waitForFinished(kPythonTimeoutMs) || python.exitCode() != 0) {
        qWarning() << "python3 failed:" << python.readAllStandardError();
        return result;
    }
    for (const QByteArray& line : python.readAllStandardOutput().split('\n')) {
        const int tab = line.indexOf('\t');
        if (tab > 0)
            result.insert(QString::fromUtf8(line.left(tab)), line.mid(tab + 1));
    }
    return result;
}

QString randomString(QRandomGenerator& rng, int maxLength)
{
    static const ushort kUnits[] = { 'a', 'Z', '0', ' ', '"', '\\', '/', 0x00, 0x01, 0x08, 0x09,
                                     0x0a, 0x0c, 0x0d, 0x1f, 0x7f, 0xe9, 0x4e2d, 0x2028, 0xfeff };
    const int length = rng.bounded(maxLength + 1);
    QString s;
    for (int i = 0; i < length; ++i) {
        const int pick = rng.bounded(int(sizeof kUnits / sizeof kUnits[0]) + 2);
        if (pick == 0) {
            s += QChar(0xd83d); // a pair: U+1F600
            s += QChar(0xde00);
        } else if (pick == 1) {
            s += QChar(ushort(0x20 + rng.bounded(0x5f)));
        } else {
            s += QChar(kUnits[pick - 2]);
        }
    }
    return s;
}

double randomDouble(QRandomGenerator& rng)
{
    const int kCoordinateDecimals = 10000000;
    double d;
    quint64 bits;
    switch (rng.bounded(6)) {
    case 0:
        do {
            bits = rng.generate64();
            std::memcpy(&d, &bits, sizeof d);
        } while (!std::isfinite(d));
        return d;
    case 1:
        return double(qint64(rng.bounded(2000000)) - 1000000) / 1000.0;
    case 2:
        return double(qint64(rng.bounded(100000)) - 50000);
    case 3: // subnormal
        bits = (rng.generate64() & 0x800fffffffffffffull) | 1;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    case 4: // a coordinate with 7 decimals
        return double(qint64(rng.bounded(3600000000u)) - 1800000000) / kCoordinateDecimals;
    default: {
        // Mostly a tie at the 20th digit: m * 2^-f whose exact digits, m * 5^f, are 21.
        const int f = 6 + rng.bounded(25);
        const double low = std::ceil(1e20 / std::pow(5.0, f));
        const double high = std::min(1e21 / std::pow(5.0, f), 9007199254740991.0);
        const double m = std::floor(low + rng.generateDouble() * (high - low));
        return std::ldexp(std::fmod(m, 2.0) == 0 ? m + 1 : m, -f) * (rng.bounded(2) ? 1 : -1);
    }
    }
}

// Number text exactly halfway between two neighbouring doubles, or with more
// digits than a double holds, or subnormal: the reader must round as Python does.
QString randomDecimalText(QRandomGenerator& rng)
{
    char buffer[128];
    switch (rng.bounded(3)) {
    case 0: { // a midpoint above 2^53: an odd multiple of 2^k
        const int k = rng.bounded(4);
        const quint64 m = ((rng.generate64() >> (11 - k)) | (quint64(1) << (53 + k))) >> (k + 1) << (k + 1);
        return QString::number(m | (quint64(1) << k)) + QLatin1String(rng.bounded(2) ? ".0" : "e0");
    }
    case 1: { // a midpoint in [1, 2), all 53 fraction digits written
        const long double d = 1.0L + (rng.generate64() >> 12) * 0x1p-52L + 0x1p-53L;
        std::snprintf(buffer, sizeof buffer, "%.53Lf", d);
        return QString::fromLatin1(buffer);
    }
    default: // up to 30 digits, exponents from subnormal to large
        std::snprintf(buffer, sizeof buffer, "%.*fe%d", rng.bounded(30), 1 + rng.generateDouble() * 8,
                      int(rng.bounded(600)) - 330);
        return QString::fromLatin1(buffer);
    }
}

// A value tree of the types the reader produces, with negative numbers as
// qlonglong and the others as qulonglong, so that it reads back unchanged.
QVariant randomTree(QRandomGenerator& rng, int depth)
{
    const int kinds = depth >= 5 ? 6 : 8;
    switch (rng.bounded(kinds)) {
    case 0:
        return QVariant();
    case 1:
        return bool(rng.bounded(2));
    case 2:
        return qulonglong(rng.bounded(2) ? rng.generate64() : rng.bounded(1000));
    case 3:
        return qlonglong(-1 - qint64(rng.generate64() >> 1));
    case 4:
        return randomDouble(rng);
    case 5:
        return randomString(rng, 12);
    case 6: {
        QVariantList list;
        const int n = rng.bounded(6);
        for (int i = 0; i < n; ++i)
            list << randomTree(rng, depth + 1);
        return list;
    }
    default: {
        QVariantMap map;
        const int n = rng.bounded(6);
        for (int i = 0; i < n; ++i)
            map.insert(randomString(rng, 6), randomTree(rng, depth + 1));
        return map;
    }
    }
}

// Small documents of the four shapes the benchmark measures: coordinate
// arrays, nested mixed values with short keys, long strings, small records.
QVariant shapedDocument(QRandomGenerator& rng, int shape)
{
    QVariantList items;
    const int count = 1 + rng.bounded(20);
    for (int i = 0; i < count; ++i) {
        switch (shape) {
        case 0:
            items << QVariant(QVariantList{ randomDouble(rng), randomDouble(rng) });
            break;
        case 1:
            items << randomTree(rng, 0);
            break;
        case 2:
            items << randomString(rng, 400);
            break;
        default: {
            QVariantMap record;
            record[QStringLiteral("id")] = qulonglong(rng.bounded(100000));
            record[QStringLiteral("ok")] = bool(rng.bounded(2));
            record[QStringLiteral("v")] = randomDouble(rng);
            record[QStringLiteral("st")] = randomString(rng, 8);
            items << QVariant(record);
        }
        }
    }
    return items;
}

QVariant nestedLists(int depth)
{
    QVariant v = QVariantList{ 1 };
    for (int i = 1; i < depth; ++i)
        v = QVariantList{ v };
    return v;
}

QVariantList ulongs(std::initializer_list<qulonglong> values)
{
    QVariantList list;
    for (qulonglong v : values)
        list << v;
    return list;
}

} // namespace

class TestJson : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void nullTextGivesInvalidValueAndSuccess();
    void numbersFollowTheTypingRules_data();
    void numbersFollowTheTypingRules();
    void numberRunsConvertLikeQString();
    void nestingWithinTheLimitIsRead_data();
    void nestingWithinTheLimitIsRead();
    void nestingBeyondTheLimitFails_data();
    void nestingBeyondTheLimitFails();

    void serialize_data();
    void serialize();
    void hashMembersFollowIterationOrder();
    void unconvertibleValueFailsTheWholeDocument_data();
    void unconvertibleValueFailsTheWholeDocument();
    void writingBeyondTheNestingLimitFails();
    void stringsAreEscapedAndEncodedAsUtf8();
    void doublesHaveTwentySignificantDigits();

    void generatedDocumentsRoundTrip();
    void agreesWithPythonJson();
};

void TestJson::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QVariant>("expected");

    const QVariantList oneTwo = ulongs({ 1, 2 });
    QVariantMap ab;
    ab["a"] = qulonglong(1);
    ab["b"] = qulonglong(2);
    QVariantMap a2;
    a2["a"] = qulonglong(2);
    QVariantMap aEmptyList;
    aEmptyList["a"] = QVariantList();

    QTest::newRow("empty text") << "" << false << QVariant();
    QTest::newRow("blanks only") << " \t\r\n" << false << QVariant();
    QTest::newRow("list without commas") << "[1 2 3]" << true << QVariant(ulongs({ 1, 2, 3 }));
    QTest::newRow("leading, repeated, trailing commas") << "[,1,,2,]" << true << QVariant(oneTwo);
    QTest::newRow("trailing comma") << "[1,2,]" << true << QVariant(oneTwo);
    QTest::newRow("only commas") << "[,,]" << true << QVariant(QVariantList());
    QTest::newRow("members without comma") << "{\"a\":1 \"b\":2}" << true << QVariant(ab);
    QTest::newRow("repeated name keeps last") << "{\"a\":1,\"a\":2}" << true << QVariant(a2);
    QTest::newRow("empty object with comma") << "{,}" << true << QVariant(QVariantMap());
    QTest::newRow("blanks around everything") << " \n{ \"a\" :\t[ ] } " << true << QVariant(aEmptyList);
    QTest::newRow("text after value ignored") << "[1,2]]x" << true << QVariant(oneTwo);
    QTest::newRow("unterminated list") << "[1,2" << false << QVariant(QVariantList());
    QTest::newRow("unterminated object") << "{\"a\":1," << false << QVariant(QVariantMap());
    QTest::newRow("name without colon") << "{\"a\"}" << false << QVariant(QVariantMap());
    QTest::newRow("name without value") << "{\"a\":}" << false << QVariant(QVariantMap());
    QTest::newRow("value instead of colon") << "{\"a\" 1}" << false << QVariant(QVariantMap());
    QTest::newRow("true then text") << "true x" << true << QVariant(true);
    QTest::newRow("true glued to text") << "truex" << true << QVariant(true);
    QTest::newRow("false") << "false" << true << QVariant(false);
    QTest::newRow("null") << "null" << true << QVariant();
    QTest::newRow("null in list") << "[null]" << true << QVariant(QVariantList{ QVariant() });
    QTest::newRow("glued word in list") << "[truex]" << false << QVariant(QVariantList());
    QTest::newRow("short word") << "tru" << false << QVariant();
    QTest::newRow("capital True") << "True" << false << QVariant();
    QTest::newRow("plus sign") << "+1" << false << QVariant();
    QTest::newRow("leading point") << ".5" << false << QVariant();
    QTest::newRow("form feed is no blank") << "\f1" << false << QVariant();
    QTest::newRow("closing bracket") << "]" << false << QVariant();
    QTest::newRow("non-Latin-1 character") << QString(QChar(0x4e2d)) << false << QVariant();
    QTest::newRow("unknown escape dropped") << "\"a\\qb\"" << true << QVariant(QStringLiteral("ab"));
    QTest::newRow("short escapes") << "\"\\\"\\\\\\/\\b\\f\\n\\r\\t\"" << true
                                   << QVariant(QStringLiteral("\"\\/\b\f\n\r\t"));
    QTest::newRow("unicode escape") << "\"\\u00e9\"" << true << QVariant(QString(QChar(0xe9)));
    QTest::newRow("unicode escape upper case") << "\"\\u00C9\"" << true << QVariant(QString(QChar(0xc9)));
    QTest::newRow("surrogate pair escapes")
        << "\"\\ud83d\\ude00\"" << true << QVariant(QString::fromUtf8("\xF0\x9F\x98\x80"));
    QTest::newRow("unicode escape cut short") << "\"\\u00\"" << false << QVariant();
    QTest::newRow("non-hex escape gives U+0000")
        << "[\"\\uzzzz\"]" << true << QVariant(QVariantList{ QString(QChar(0)) });
    QTest::newRow("unterminated string") << "\"abc" << false << QVariant();
    QTest::newRow("backslash at end") << "\"abc\\" << false << QVariant();
    QTest::newRow("raw control and non-ASCII kept")
        << QString::fromUtf8("\"a\tb\x01\xC3\xA9\"") << true << QVariant(QString::fromUtf8("a\tb\x01\xC3\xA9"));
}

void TestJson::parse()
{
    QFETCH(QString, text);
    QFETCH(bool, success);
    QFETCH(QVariant, expected);

    bool ok = !success;
    const QVariant value = Json::parse(text, ok);
    QCOMPARE(ok, success);
    QString why;
    QVERIFY2(sameTree(value, expected, &why), qPrintable(why));
    QVERIFY(sameTree(Json::parse(text), expected));
}

void TestJson::nullTextGivesInvalidValueAndSuccess()
{
    bool ok = false;
    const QVariant value = Json::parse(QString(), ok);
    QVERIFY(ok);
    QVERIFY(!value.isValid());
}

void TestJson::numbersFollowTheTypingRules_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("negative integer") << "-7" << QVariant(qlonglong(-7));
    QTest::newRow("positive integer") << "7" << QVariant(qulonglong(7));
    QTest::newRow("leading zeros") << "007" << QVariant(qulonglong(7));
    QTest::newRow("minus zero") << "-0" << QVariant(qlonglong(0));
    QTest::newRow("fraction") << "1.5" << QVariant(1.5);
    QTest::newRow("exponent") << "1e3" << QVariant(1000.0);
    QTest::newRow("capital exponent") << "-2E-2" << QVariant(-0.02);
    QTest::newRow("integer-valued double") << "2.0" << QVariant(2.0);
    QTest::newRow("lone minus") << "-" << QVariant(qlonglong(0));
    QTest::newRow("minus inside") << "1-2" << QVariant(qulonglong(0));
    QTest::newRow("largest unsigned") << "18446744073709551615"
                                      << QVariant(std::numeric_limits<qulonglong>::max());
    QTest::newRow("unsigned overflow") << "18446744073709551616" << QVariant(qulonglong(0));
    QTest::newRow("smallest signed") << "-9223372036854775808"
                                     << QVariant(std::numeric_limits<qlonglong>::min());
    QTest::newRow("signed overflow") << "-9223372036854775809" << QVariant(qlonglong(0));
    QTest::newRow("malformed double") << "1.5e3.2" << QVariant(0.0);
    QTest::newRow("bare exponent") << "1e" << QVariant(0.0);
    QTest::newRow("point without fraction") << "1." << QVariant(1.0);
}

void TestJson::numbersFollowTheTypingRules()
{
    QFETCH(QString, text);
    QFETCH(QVariant, expected);

    bool ok = false;
    const QVariant value = Json::parse(text, ok);
    QVERIFY(ok);
    QString why;
    QVERIFY2(sameTree(value, expected, &why), qPrintable(why));
}

// The reader decodes ordinary numbers itself; every run of number
// characters must still come out exactly as QString's conversions give it.
void TestJson::numberRunsConvertLikeQString()
{
    static const char kChars[] = "0123456789+-.eE";
    QRandomGenerator rng(42);
    for (int round = 0; round < 20000; ++round) {
        QString run;
        run += QLatin1Char(rng.bounded(5) == 0 ? '-' : char('0' + rng.bounded(10)));
        const int length = rng.bounded(rng.bounded(4) == 0 ? 30 : 8);
        for (int i = 0; i < length; ++i) {
            // Mostly digits, so that well-formed numbers are common.
            run += QLatin1Char(rng.bounded(3) ? char('0' + rng.bounded(10)) : kChars[rng.bounded(15)]);
        }
        QVariant expected;
        if (run.contains(QLatin1Char('.')) || run.contains(QLatin1Char('e')) || run.contains(QLatin1Char('E')))
            expected = run.toDouble();
        else if (run.startsWith(QLatin1Char('-')))
            expected = run.toLongLong(nullptr, 10);
        else
            expected = run.toULongLong(nullptr, 10);

        bool ok = false;
        const QVariant value = Json::parse(run + QStringLiteral(" "), ok);
        QString why;
        QVERIFY2(ok && sameTree(value, expected, &why), qPrintable(run + QStringLiteral(": ") + why));
    }
}

void TestJson::nestingWithinTheLimitIsRead_data()
{
    QTest::addColumn<QString>("open");
    QTest::addColumn<QString>("close");
    QTest::newRow("lists") << "[" << "]";
    QTest::newRow("objects") << "{\"a\":" << "}";
}

void TestJson::nestingWithinTheLimitIsRead()
{
    QFETCH(QString, open);
    QFETCH(QString, close);

    const int depth = Json::kMaxNestingDepth;
    QVERIFY(depth >= 512);
    bool ok = false;
    QVariant value = Json::parse(open.repeated(depth) + QStringLiteral("1") + close.repeated(depth), ok);
    QVERIFY(ok);
    int levels = 0;
    while (value.userType() == QMetaType::QVariantList || value.userType() == QMetaType::QVariantMap) {
        value = value.userType() == QMetaType::QVariantList ? value.toList().value(0) : value.toMap().value("a");
        ++levels;
    }
    QCOMPARE(levels, depth);
    QCOMPARE(value, QVariant(qulonglong(1)));
}

void TestJson::nestingBeyondTheLimitFails_data()
{
    QTest::addColumn<QString>("text");
    const int over = Json::kMaxNestingDepth + 1;
    QTest::newRow("one list too deep") << QStringLiteral("[").repeated(over) + QStringLiteral("]").repeated(over);
    QTest::newRow("one object too deep")
        << QStringLiteral("{\"a\":").repeated(over) + QStringLiteral("1") + QStringLiteral("}").repeated(over);
    // Far deeper than any stack would take recursively.
    QTest::newRow("a million open brackets") << QStringLiteral("[").repeated(1000000);
    QTest::newRow("mixed, unterminated") << QStringLiteral("[{\"k\":").repeated(200000);
}

void TestJson::nestingBeyondTheLimitFails()
{
    QFETCH(QString, text);
    bool ok = true;
    const QVariant value = Json::parse(text, ok);
    QVERIFY(!ok);
    QVERIFY(value.toList().isEmpty() && value.toMap().isEmpty());
}

void TestJson::serialize_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("expected");

    QVariantMap ba;
    ba["b"] = 1;
    ba["a"] = QStringLiteral("x");
    QVariantMap nested;
    nested["list"] = QVariantList{ QVariant(), true, QVariantMap() };

    QTest::newRow("empty map") << QVariant(QVariantMap()) << QByteArray("{  }");
    QTest::newRow("empty list") << QVariant(QVariantList()) << QByteArray("[  ]");
    QTest::newRow("members in key order") << QVariant(ba) << QByteArray("{ \"a\" : \"x\", \"b\" : 1 }");
    QTest::newRow("nested") << QVariant(nested) << QByteArray("{ \"list\" : [ null, true, {  } ] }");
    QTest::newRow("list in list") << QVariant(QVariantList{ QVariantList() }) << QByteArray("[ [  ] ]");
    QTest::newRow("string list") << QVariant(QStringList{ "a", "b" }) << QByteArray("[ \"a\", \"b\" ]");
    QTest::newRow("invalid") << QVariant() << QByteArray("null");
    QTest::newRow("true") << QVariant(true) << QByteArray("true");
    QTest::newRow("false") << QVariant(false) << QByteArray("false");
    QTest::newRow("double 2.0") << QVariant(2.0) << QByteArray("2.0");
    QTest::newRow("double 100.0") << QVariant(100.0) << QByteArray("100.0");
    QTest::newRow("double 0.1") << QVariant(0.1) << QByteArray("0.10000000000000000555");
    QTest::newRow("double -1.5") << QVariant(-1.5) << QByteArray("-1.5");
    QTest::newRow("double 1e20") << QVariant(1e20) << QByteArray("1e+20");
    QTest::newRow("double 1e19") << QVariant(1e19) << QByteArray("10000000000000000000.0");
    QTest::newRow("double 1e-5") << QVariant(1e-5) << QByteArray("1.0000000000000000818e-05");
    QTest::newRow("double 0") << QVariant(0.0) << QByteArray("0.0");
    QTest::newRow("NaN") << QVariant(std::nan("")) << QByteArray("null");
    QTest::newRow("infinity") << QVariant(std::numeric_limits<double>::infinity()) << QByteArray("null");
    QTest::newRow("minus infinity") << QVariant(-std::numeric_limits<double>::infinity()) << QByteArray("null");
    QTest::newRow("float") << QVariant(1.5f) << QByteArray("1.5");
    QTest::newRow("largest unsigned") << QVariant(std::numeric_limits<qulonglong>::max())
                                      << QByteArray("18446744073709551615");
    QTest::newRow("smallest signed") << QVariant(std::numeric_limits<qlonglong>::min())
                                     << QByteArray("-9223372036854775808");
    QTest::newRow("int") << QVariant(-5) << QByteArray("-5");
    QTest::newRow("uint") << QVariant(4000000000u) << QByteArray("4000000000");
    QTest::newRow("byte array as string") << QVariant(QByteArray("b\xC3\xA9")) << QByteArray("\"b\xC3\xA9\"");
    QTest::newRow("date as string") << QVariant(QDate(2024, 1, 2)) << QByteArray("\"2024-01-02\"");
    QTest::newRow("quote, backslash, line feed, slash")
        << QVariant(QStringLiteral("\"\\\n/")) << QByteArray("\"\\\"\\\\\\n/\"");
    QTest::newRow("named control escapes") << QVariant(QStringLiteral("\b\f\r\t")) << QByteArray("\"\\b\\f\\r\\t\"");
    QTest::newRow("other control characters")
        << QVariant(QString::fromLatin1("\x01\x1f\x7f", 3) + QChar(0)) << QByteArray("\"\\u0001\\u001f\x7f\\u0000\"");
    QTest::newRow("non-ASCII as UTF-8")
        << QVariant(QString::fromUtf8("\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80")) << QByteArray("\"\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80\"");
    QTest::newRow("escaped key") << QVariant(QVariantMap{ { QStringLiteral("k\"\n"), QVariant() } })
                                 << QByteArray("{ \"k\\\"\\n\" : null }");
}

void TestJson::serialize()
{
    QFETCH(QVariant, value);
    QFETCH(QByteArray, expected);

    bool ok = false;
    QCOMPARE(Json::serialize(value, ok), expected);
    QVERIFY(ok);
    QCOMPARE(Json::serialize(value), expected);
}

void TestJson::hashMembersFollowIterationOrder()
{
    QVariantHash hash;
    for (int i = 0; i < 20; ++i)
        hash.insert(QStringLiteral("key%1").arg(i), i);
    QList<QByteArray> members;
    for (auto it = hash.constBegin(); it != hash.constEnd(); ++it)
        members << "\"" + it.key().toUtf8() + "\" : " + QByteArray::number(it.value().toInt());
    QCOMPARE(Json::serialize(hash), "{ " + members.join(", ") + " }");
}

void TestJson::unconvertibleValueFailsTheWholeDocument_data()
{
    QTest::addColumn<QVariant>("value");
    const QVariant opaque = QVariant::fromValue(Opaque());
    QTest::newRow("alone") << opaque;
    QTest::newRow("second list element") << QVariant(QVariantList{ 1, opaque, 3 });
    QTest::newRow("map member") << QVariant(QVariantMap{ { "a", 1 }, { "b", opaque } });
    QTest::newRow("deep inside") << QVariant(QVariantList{ QVariantMap{ { "x", QVariantList{ opaque } } } });
}

void TestJson::unconvertibleValueFailsTheWholeDocument()
{
    QFETCH(QVariant, value);
    bool ok = true;
    const QByteArray text = Json::serialize(value, ok);
    QVERIFY(!ok);
    QVERIFY(text.isNull());
    QVERIFY(Json::serialize(value).isNull());
}

void TestJson::writingBeyondTheNestingLimitFails()
{
    bool ok = false;
    const QByteArray atLimit = Json::serialize(nestedLists(Json::kMaxNestingDepth), ok);
    QVERIFY(ok);
    QVERIFY(Json::parse(QString::fromUtf8(atLimit), ok).isValid());
    QVERIFY(ok);

    const QByteArray over = Json::serialize(nestedLists(Json::kMaxNestingDepth + 1), ok);
    QVERIFY(!ok);
    QVERIFY(over.isNull());
}

// The writer escapes and encodes in one pass; it must give what escaping
// the string step by step and converting it with toUtf8 gives.
void TestJson::stringsAreEscapedAndEncodedAsUtf8()
{
    QRandomGenerator rng(7);
    for (int round = 0; round < 5000; ++round) {
        QString s;
        // Now and then longer than the writer's chunk of 4096 units.
        const int length = round % 50 == 0 ? 8000 + rng.bounded(4000) : rng.bounded(40);
        for (int i = 0; i < length; ++i) {
            switch (rng.bounded(4)) {
            case 0: s += QChar(ushort(rng.bounded(0x80))); break;
            case 1: s += QChar(ushort(rng.bounded(0x10000))); break; // lone surrogates included
            case 2: s += QChar(ushort(0xd800 + rng.bounded(0x800))); break;
            default: s += QChar(ushort(0x20 + rng.bounded(0x60))); break;
            }
        }
        QString escaped = s;
        escaped.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        escaped.replace(QLatin1String("\""), QLatin1String("\\\""));
        escaped.replace(QChar(0x08), QLatin1String("\\b"));
        escaped.replace(QChar(0x0c), QLatin1String("\\f"));
        escaped.replace(QChar(0x0a), QLatin1String("\\n"));
        escaped.replace(QChar(0x0d), QLatin1String("\\r"));
        escaped.replace(QChar(0x09), QLatin1String("\\t"));
        for (ushort c = 0; c < 0x20; ++c)
            escaped.replace(QChar(c), QStringLiteral("\\u%1").arg(c, 4, 16, QLatin1Char('0')));
        const QByteArray expected = QStringLiteral("\"%1\"").arg(escaped).toUtf8();
        QCOMPARE(Json::serialize(s), expected);
    }
}

// The writer formats doubles itself; it must match QByteArray::number(d, 'g', 20).
void TestJson::doublesHaveTwentySignificantDigits()
{
    QRandomGenerator rng(11);
    auto check = [](double d) {
        if (!std::isfinite(d))
            return true;
        QByteArray expected = QByteArray::number(d, 'g', 20);
        if (!expected.contains('.') && !expected.contains('e'))
            expected += ".0";
        const QByteArray written = Json::serialize(d);
        if (written != expected)
            qWarning() << "double" << doubleBits(d) << written << "expected" << expected;
        return written == expected;
    };
    for (int i = 0; i < 100000; ++i)
        QVERIFY(check(randomDouble(rng)));
    for (int e = -1080; e < 1024; ++e) {
        QVERIFY(check(std::ldexp(1.0, e)));     // exact binary fractions: halfway cases
        QVERIFY(check(-std::ldexp(3.0, e)));
    }
    for (int e = -320; e <= 308; ++e) {
        for (double m : { 1.0, 9.999999999999999, 5.0, 1.25 })
            QVERIFY(check(m * std::pow(10.0, e)));
    }
}

void TestJson::generatedDocumentsRoundTrip()
{
    QRandomGenerator rng(2024);
    for (int i = 0; i < kGeneratedDocuments * 3; ++i) {
        const QVariant tree = randomTree(rng, 0);
        bool ok = false;
        const QByteArray text = Json::serialize(tree, ok);
        QVERIFY(ok);
        const QVariant back = Json::parse(QString::fromUtf8(text), ok);
        QVERIFY2(ok, text.constData());
        QString why;
        QVERIFY2(sameTree(back, tree, &why), qPrintable(why + QStringLiteral(" in ") + QString::fromUtf8(text)));
    }
}

// Python's json module reads the same texts: every value must agree under
// the typing rules, for generated documents of every shape (which also
// checks that the writer's output is strict JSON and reads back to the same
// tree), for number texts that test the reader's rounding, and for
// hand-written documents.
void TestJson::agreesWithPythonJson()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("python3")).isEmpty(), "python3 is needed");

    QMap<QString, QByteArray> documents;
    const QStringList handWritten = {
        QStringLiteral("{\"a\": [1, -2, 3.25, -0.0, 1E+2, 2e-7, 123456789012345678], \"b\": {\"c\": null}}"),
        QStringLiteral(" [ true , false , null , \"\" , [ ] , { } ] "),
        QStringLiteral("\"\\\"\\\\\\/\\b\\f\\n\\r\\t\\u0041\\u00e9\\u4e2d\\ud83d\\ude00\""),
        QStringLiteral("{\"k\": 1, \"k\": 2, \"\\u006b2\": 3}"),
        QStringLiteral("[18446744073709551615, -9223372036854775808, 0, -0, 1.7976931348623157e308, 5e-324]"),
        QStringLiteral("{\"\\ud800\": \"lone \\udc00 surrogates\"}"),
        QString::fromUtf8("{\"\xD0\xBC\xD0\xBE\xD0\xB4\xD0\xB5\xD0\xBB\xD1\x8C\":\"\xE2\x84\x96 5\\t\",\"x\":[[[[[]]]]]}"),
        QStringLiteral("\r\n\t-12.5e-3\r\n"),
    };
    for (int i = 0; i < handWritten.size(); ++i)
        documents.insert(QStringLiteral("hand%1.json").arg(i, 3, 10, QLatin1Char('0')), handWritten.at(i).toUtf8());

    QRandomGenerator rng(99);
    QMap<QString, QVariant> trees;
    for (int i = 0; i < kGeneratedDocuments; ++i) {
        const QString name = QStringLiteral("gen%1.json").arg(i, 4, 10, QLatin1Char('0'));
        trees.insert(name, shapedDocument(rng, i % 4));
        documents.insert(name, Json::serialize(trees.value(name)));
        QStringList numbers;
        for (int k = 0; k < 20; ++k)
            numbers << randomDecimalText(rng);
        documents.insert(QStringLiteral("num%1.json").arg(i, 4, 10, QLatin1Char('0')),
                         ("[" + numbers.join(QLatin1Char(',')) + "]").toUtf8());
    }
    for (auto it = documents.constBegin(); it != documents.constEnd(); ++it) {
        QFile file(dir.filePath(it.key()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(it.value());
    }

    const QMap<QString, QByteArray> python = readWithPython(dir.path());
    QCOMPARE(python.size(), documents.size());
    for (auto it = documents.constBegin(); it != documents.constEnd(); ++it) {
        bool ok = false;
        const QVariant ours = Json::parse(QString::fromUtf8(it.value()), ok);
        QVERIFY2(ok, qPrintable(it.key()));
        QCOMPARE(canonical(ours), python.value(it.key()));
        if (trees.contains(it.key()))
            QCOMPARE(canonical(trees.value(it.key())), python.value(it.key()));
    }
}

QTEST_GUILESS_MAIN(TestJson)
#include "tst_json.moc"
