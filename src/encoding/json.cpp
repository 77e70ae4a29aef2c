#include "json.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVariantList>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace QtJson {

namespace {

const int kHexDigitsInEscape = 4;
const int kInitialOutputCapacity = 256;
// The most a QByteArray holds (INT_MAX less its header); doubling past 1 GiB
// would otherwise wrap the int size and write into a shrunken buffer.
const qsizetype kMaxOutputCapacity = std::numeric_limits<int>::max() - 64;
// Longest run of number characters that is converted without a copy to the heap.
const int kShortNumberLength = 64;
const int kMaxUnsignedDigits = 20;

inline bool isBlank(ushort c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool isDigit(ushort c)
{
    return c >= '0' && c <= '9';
}

inline bool isNumberChar(ushort c)
{
    return isDigit(c) || c == '+' || c == '-' || c == '.' || c == 'e' || c == 'E';
}

inline const ushort* textOf(const QString& json)
{
    return reinterpret_cast<const ushort*>(json.constData());
}

bool matchesWord(const ushort* s, int available, const char* word, int length)
{
    if (available < length)
        return false;
    for (int i = 0; i < length; ++i) {
        if (s[i] != ushort(word[i]))
            return false;
    }
    return true;
}

int hexValue(ushort c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The four characters after "\u": plain hexadecimal digits are decoded here;
// anything else goes through QString::toInt as the reader always did (which
// gives 0 for text that is no number).
ushort decodeUnicodeEscape(const ushort* s)
{
    int value = 0;
    for (int i = 0; i < kHexDigitsInEscape; ++i) {
        const int digit = hexValue(s[i]);
        if (digit < 0) {
            const QString text(reinterpret_cast<const QChar*>(s), kHexDigitsInEscape);
            return ushort(text.toInt(nullptr, 16));
        }
        value = value * 16 + digit;
    }
    return ushort(value);
}

// Digits-only text (after an optional minus sign) is converted here; every
// other run falls back to QString's conversions, which define the result.
bool parseDigits(const ushort* s, int length, quint64& value)
{
    if (length <= 0 || length > kMaxUnsignedDigits)
        return false;
    quint64 v = 0;
    for (int i = 0; i < length; ++i) {
        if (!isDigit(s[i]))
            return false;
        const quint64 digit = s[i] - '0';
        if (v > (~quint64(0) - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

// Strict JSON number grammar: -?D+(.D+)?([eE][+-]?D+)?
bool isPlainDecimal(const ushort* s, int length)
{
    int i = 0;
    if (i < length && s[i] == '-')
        ++i;
    const int intStart = i;
    while (i < length && isDigit(s[i]))
        ++i;
    if (i == intStart)
        return false;
    if (i < length && s[i] == '.') {
        ++i;
        const int fracStart = i;
        while (i < length && isDigit(s[i]))
            ++i;
        if (i == fracStart)
            return false;
    }
    if (i < length && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < length && (s[i] == '+' || s[i] == '-'))
            ++i;
        const int expStart = i;
        while (i < length && isDigit(s[i]))
            ++i;
        if (i == expStart)
            return false;
    }
    return i == length;
}

bool fastToDouble(const ushort* s, int length, double& value)
{
    if (length > kShortNumberLength || !isPlainDecimal(s, length))
        return false;
    char buffer[kShortNumberLength];
    for (int i = 0; i < length; ++i)
        buffer[i] = char(s[i]);
    double v = 0;
    const std::from_chars_result r = std::from_chars(buffer, buffer + length, v);
    if (r.ec != std::errc() || r.ptr != buffer + length || !std::isnormal(v))
        return false;
    value = v;
    return true;
}

// Growing output buffer written through a raw pointer, because QByteArray's
// per-call bookkeeping dominates when a document is written byte by byte.
class Output
{
public:
    Output()
    {
        m_bytes.resize(kInitialOutputCapacity);
        m_data = m_bytes.data();
    }

    char* room(int n)
    {
        if (n > m_bytes.size() - m_size) // never overflows: m_size <= size()
            grow(n);
        return m_data + m_size;
    }
    void advance(int n) { m_size += n; }

    void append(char c)
    {
        *room(1) = c;
        ++m_size;
    }
    void append(const char* text, int n)
    {
        std::memcpy(room(n), text, size_t(n));
        m_size += n;
    }
    template <int N>
    void appendLiteral(const char (&text)[N]) { append(text, N - 1); }
    void append(const QByteArray& bytes) { append(bytes.constData(), bytes.size()); }

    // True when the text outgrew what a QByteArray can hold.
    bool isOverflowed() const { return m_overflowed; }

    QByteArray take()
    {
        m_bytes.resize(m_size);
        return m_bytes;
    }

private:
    void grow(int n)
    {
        const qsizetype needed = qsizetype(m_size) + n;
        qsizetype capacity = m_bytes.size();
        while (capacity < needed)
            capacity *= 2;
        if (capacity > kMaxOutputCapacity)
            capacity = qMax(needed, kMaxOutputCapacity);
        if (capacity > kMaxOutputCapacity) {
            // The text cannot be held: the rest is written over the start of
            // the buffer and thrown away, and serialize() reports failure.
            m_overflowed = true;
            m_size = 0;
            if (m_bytes.size() < n)
                m_bytes.resize(n);
            m_data = m_bytes.data();
            return;
        }
        m_bytes.resize(int(capacity));
        m_data = m_bytes.data();
    }

    QByteArray m_bytes;
    char* m_data = nullptr;
    int m_size = 0;
    bool m_overflowed = false;
};

const char kHexDigits[] = "0123456789abcdef";
const int kEscapeChunk = 4096;
const int kMaxBytesPerUnit = 6;

// Quotes and escapes a string and writes it as UTF-8 in one pass.  Escaped:
// backslash, quotation mark, \b \f \n \r \t by name, and the rest of
// U+0000..U+001F as \u00XX, since raw control characters are invalid JSON.
void writeString(Output& out, const QString& text)
{
    const ushort* s = textOf(text);
    const int n = text.size();
    out.append('"');
    int i = 0;
    while (i < n) {
        // Room for a chunk at a time: at most 6 bytes (\u00XX) per UTF-16 unit,
        // plus one surrogate pair that may end past the chunk.
        const int end = qMin(n, i + kEscapeChunk);
        char* d = out.room((end - i) * kMaxBytesPerUnit + kMaxBytesPerUnit);
        char* const start = d;
        for (; i < end; ++i) {
            const ushort c = s[i];
            if (c < 0x80) {
                if (c >= 0x20 && c != '"' && c != '\\') {
                    *d++ = char(c);
                    continue;
                }
                *d++ = '\\';
                switch (c) {
                case '"': *d++ = '"'; break;
                case '\\': *d++ = '\\'; break;
                case 0x08: *d++ = 'b'; break;
                case 0x0c: *d++ = 'f'; break;
                case 0x0a: *d++ = 'n'; break;
                case 0x0d: *d++ = 'r'; break;
                case 0x09: *d++ = 't'; break;
                default:
                    *d++ = 'u';
                    *d++ = '0';
                    *d++ = '0';
                    *d++ = kHexDigits[c >> 4];
                    *d++ = kHexDigits[c & 0xf];
                }
            } else if (c < 0x800) {
                *d++ = char(0xc0 | (c >> 6));
                *d++ = char(0x80 | (c & 0x3f));
            } else if (!QChar::isSurrogate(c)) {
                *d++ = char(0xe0 | (c >> 12));
                *d++ = char(0x80 | ((c >> 6) & 0x3f));
                *d++ = char(0x80 | (c & 0x3f));
            } else if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(s[i + 1])) {
                const uint u = QChar::surrogateToUcs4(c, s[i + 1]);
                ++i;
                *d++ = char(0xf0 | (u >> 18));
                *d++ = char(0x80 | ((u >> 12) & 0x3f));
                *d++ = char(0x80 | ((u >> 6) & 0x3f));
                *d++ = char(0x80 | (u & 0x3f));
            } else {
                // A lone surrogate: written the way QString::toUtf8 writes it.
                const QByteArray replacement = QString(QChar(c)).toUtf8();
                for (char b : replacement)
                    *d++ = b;
            }
        }
        out.advance(int(d - start));
    }
    out.append('"');
}

void writeUnsigned(Output& out, quint64 value)
{
    char buffer[24];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, int(r.ptr - buffer));
}

void writeSigned(Output& out, qint64 value)
{
    char buffer[24];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, int(r.ptr - buffer));
}

const int kDoubleDigits = 20;
const int kFixedFormMinExponent = -4;
const int kMaxDoubleText = 32;
const int kDoubleMantissaBits = 52;
const int kDoubleExponentBias = 1075; // the bias and the mantissa's 52 bits
// A binary fraction with more fraction bits than this has more than 21
// significant decimal digits (5^31 > 10^21), so it is never a tie.
const int kMaxTieFractionBits = 30;

using Uint128 = unsigned __int128;

Uint128 powerOfTen(int n)
{
    Uint128 p = 1;
    while (n-- > 0)
        p *= 10;
    return p;
}

// std::to_chars rounds a tie (an exact decimal value of 21 significant digits
// ending in 5) to even, QByteArray::number to the larger magnitude.  A tie is
// m * 2^-f with m odd, whose exact digits are those of m * 5^f: returns true
// and those 21 digits in \a digits and f in \a fractionBits when it is one.
bool isTwentyDigitTie(double value, Uint128& digits, int& fractionBits)
{
    quint64 bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = int((bits >> kDoubleMantissaBits) & 0x7ff);
    quint64 mantissa = bits & ((quint64(1) << kDoubleMantissaBits) - 1);
    int exponent = 1 - kDoubleExponentBias;
    if (biased != 0) {
        mantissa |= quint64(1) << kDoubleMantissaBits;
        exponent = biased - kDoubleExponentBias;
    }
    if (mantissa == 0)
        return false;
    const int zeros = __builtin_ctzll(mantissa);
    mantissa >>= zeros;
    exponent += zeros;
    if (exponent >= 0 || -exponent > kMaxTieFractionBits)
        return false;
    Uint128 n = mantissa;
    for (int i = 0; i < -exponent; ++i)
        n *= 5;
    static const Uint128 kLow = powerOfTen(kDoubleDigits);
    static const Uint128 kHigh = powerOfTen(kDoubleDigits + 1);
    if (n < kLow || n >= kHigh)
        return false;
    digits = n;
    fractionBits = -exponent;
    return true;
}

// Lays out 20 significant digits as printf's %.20g does: trailing zeros
// dropped, exponent form below 1e-4 and from 1e20 on.
char* layOutDigits(char* d, bool negative, const char* digits, int exponent)
{
    int count = kDoubleDigits;
    while (count > 1 && digits[count - 1] == '0')
        --count;
    if (negative)
        *d++ = '-';
    if (exponent < kFixedFormMinExponent || exponent >= kDoubleDigits) {
        *d++ = digits[0];
        if (count > 1) {
            *d++ = '.';
            std::memcpy(d, digits + 1, size_t(count - 1));
            d += count - 1;
        }
        *d++ = 'e';
        *d++ = exponent < 0 ? '-' : '+';
        const int magnitude = exponent < 0 ? -exponent : exponent;
        if (magnitude < 10)
            *d++ = '0';
        return std::to_chars(d, d + 4, magnitude).ptr;
    }
    if (exponent < 0) {
        *d++ = '0';
        *d++ = '.';
        for (int i = -1; i > exponent; --i)
            *d++ = '0';
        std::memcpy(d, digits, size_t(count));
        return d + count;
    }
    const int whole = exponent + 1;
    for (int i = 0; i < whole; ++i)
        *d++ = i < count ? digits[i] : '0';
    if (count > whole) {
        *d++ = '.';
        std::memcpy(d, digits + whole, size_t(count - whole));
        d += count - whole;
    }
    return d;
}

// A tie rounded up in magnitude, as Qt rounds it.
char* writeTie(char* d, bool negative, Uint128 exact, int fractionBits)
{
    Uint128 rounded = exact / 10 + 1;
    int exponent = kDoubleDigits - fractionBits;
    static const Uint128 kCarry = powerOfTen(kDoubleDigits);
    if (rounded == kCarry) {
        rounded /= 10;
        ++exponent;
    }
    char digits[kDoubleDigits];
    for (int i = kDoubleDigits - 1; i >= 0; --i) {
        digits[i] = char('0' + int(rounded % 10));
        rounded /= 10;
    }
    return layOutDigits(d, negative, digits, exponent);
}

// QByteArray::number(value, 'g', 20), and ".0" where the text would otherwise
// read as an integer.  NaN and infinities have no JSON form and are written
// as null.
void writeDouble(Output& out, double value)
{
    if (!std::isfinite(value)) {
        out.appendLiteral("null");
        return;
    }
    if (value == 0) {
        out.appendLiteral("0.0"); // Qt drops the sign of a negative zero
        return;
    }
    char* const start = out.room(kMaxDoubleText);
    char* end;
    Uint128 exact;
    int fractionBits;
    if (Q_UNLIKELY(isTwentyDigitTie(value, exact, fractionBits)))
        end = writeTie(start, std::signbit(value), exact, fractionBits);
    else
        end = std::to_chars(start, start + kMaxDoubleText, value, std::chars_format::general, kDoubleDigits).ptr;
    bool integral = true;
    for (const char* p = start; p != end; ++p) {
        if (*p == '.' || *p == 'e') {
            integral = false;
            break;
        }
    }
    if (integral) {
        *end++ = '.';
        *end++ = '0';
    }
    out.advance(int(end - start));
}

bool writeValue(Output& out, const QVariant& data, int depth);

inline const QVariant& asVariant(const QVariant& item)
{
    return item;
}

inline QVariant asVariant(const QString& item)
{
    return QVariant(item);
}

template <typename Container>
bool writeList(Output& out, const Container& list, int depth)
{
    if (depth > Json::kMaxNestingDepth)
        return false;
    out.appendLiteral("[ ");
    bool first = true;
    for (const auto& item : list) {
        if (!first)
            out.appendLiteral(", ");
        first = false;
        if (!writeValue(out, asVariant(item), depth))
            return false;
    }
    out.appendLiteral(" ]");
    return true;
}

template <typename Container>
bool writeObject(Output& out, const Container& object, int depth)
{
    if (depth > Json::kMaxNestingDepth)
        return false;
    out.appendLiteral("{ ");
    bool first = true;
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (!first)
            out.appendLiteral(", ");
        first = false;
        writeString(out, it.key());
        out.appendLiteral(" : ");
        if (!writeValue(out, it.value(), depth))
            return false;
    }
    out.appendLiteral(" }");
    return true;
}

bool writeValue(Output& out, const QVariant& data, int depth)
{
    switch (data.userType()) {
    case QMetaType::UnknownType:
        out.appendLiteral("null");
        return true;
    case QMetaType::QVariantList:
        return writeList(out, *static_cast<const QVariantList*>(data.constData()), depth + 1);
    case QMetaType::QStringList:
        return writeList(out, *static_cast<const QStringList*>(data.constData()), depth + 1);
    case QMetaType::QVariantHash:
        return writeObject(out, *static_cast<const QVariantHash*>(data.constData()), depth + 1);
    case QMetaType::QVariantMap:
        return writeObject(out, *static_cast<const QVariantMap*>(data.constData()), depth + 1);
    case QMetaType::QString:
        writeString(out, *static_cast<const QString*>(data.constData()));
        return true;
    case QMetaType::QByteArray:
        writeString(out, data.toString());
        return true;
    case QMetaType::Double:
        writeDouble(out, *static_cast<const double*>(data.constData()));
        return true;
    case QMetaType::Float:
        // Written as a number of its own rather than truncated to an integer.
        writeDouble(out, double(*static_cast<const float*>(data.constData())));
        return true;
    case QMetaType::Bool:
        if (*static_cast<const bool*>(data.constData()))
            out.appendLiteral("true");
        else
            out.appendLiteral("false");
        return true;
    case QMetaType::ULongLong:
        writeUnsigned(out, *static_cast<const qulonglong*>(data.constData()));
        return true;
    case QMetaType::Int:
        writeSigned(out, *static_cast<const int*>(data.constData()));
        return true;
    case QMetaType::UInt:
        writeSigned(out, *static_cast<const uint*>(data.constData()));
        return true;
    case QMetaType::LongLong:
        writeSigned(out, *static_cast<const qlonglong*>(data.constData()));
        return true;
    default:
        break;
    }
    if (data.canConvert(QMetaType::LongLong)) {
        writeSigned(out, data.toLongLong());
        return true;
    }
    if (data.canConvert(QMetaType::Long)) {
        out.append(QString::number(data.value<long>(), 10).toUtf8());
        return true;
    }
    if (data.canConvert(QMetaType::QString)) {
        writeString(out, data.toString());
        return true;
    }
    return false;
}


// The token starting at s[index] (blanks already skipped) and how many
// characters consuming it takes; strings and numbers consume their first
// character only.
int tokenAt(const ushort* s, int n, int index, int* length = nullptr)
{
    if (index == n)
        return TokenNone;
    int size = 1;
    int token = TokenNone;
    switch (s[index]) {
    case '{': token = TokenObjectOpen; break;
    case '}': token = TokenObjectClose; break;
    case '[': token = TokenArrayOpen; break;
    case ']': token = TokenArrayClose; break;
    case ':': token = TokenColon; break;
    case ',': token = TokenComma; break;
    case '"': token = TokenString; break;
    case '-':
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
        token = TokenNumber;
        break;
    default: {
        const int available = n - index;
        if (matchesWord(s + index, available, "true", 4)) {
            token = TokenTrue;
            size = 4;
        } else if (matchesWord(s + index, available, "false", 5)) {
            token = TokenFalse;
            size = 5;
        } else if (matchesWord(s + index, available, "null", 4)) {
            token = TokenNull;
            size = 4;
        } else {
            size = 0;
        }
    }
    }
    if (length)
        *length = size;
    return token;
}

inline int skipBlanks(const ushort* s, int n, int index)
{
    while (index < n && isBlank(s[index]))
        ++index;
    return index;
}

// Member names repeat from record to record; handing out one shared copy
// per distinct name saves an allocation per member and memory in the tree.
class NameCache
{
public:
    QString name(const ushort* s, int length)
    {
        if (length > kMaxCachedLength)
            return QString(reinterpret_cast<const QChar*>(s), length);
        uint hash = uint(length);
        for (int i = 0; i < length; ++i)
            hash = hash * 31 + s[i];
        QString& slot = m_slots[hash & (kSlots - 1)];
        if (slot.size() != length
            || std::memcmp(slot.constData(), s, size_t(length) * sizeof(ushort)) != 0)
            slot = QString(reinterpret_cast<const QChar*>(s), length);
        return slot;
    }

private:
    static const int kSlots = 256;
    static const int kMaxCachedLength = 32;
    QString m_slots[kSlots];
};

NameCache& nameCache()
{
    thread_local NameCache cache;
    return cache;
}

} // namespace

QVariant Json::parse(const QString& json)
{
    bool success = true;
    return parse(json, success);
}

QVariant Json::parse(const QString& json, bool& success)
{
    success = true;
    if (json.isNull())
        return QVariant();
    int index = 0;
    return parseValue(json, index, success, 0);
}

QByteArray Json::serialize(const QVariant& data)
{
    bool success = true;
    return serialize(data, success);
}

QByteArray Json::serialize(const QVariant& data, bool& success)
{
    success = true;
    Output out;
    if (!writeValue(out, data, 0) || out.isOverflowed()) {
        success = false;
        return QByteArray();
    }
    return out.take();
}

QVariant Json::parseValue(const QString& json, int& index, bool& success, int depth)
{
    const ushort* s = textOf(json);
    const int n = json.size();
    index = skipBlanks(s, n, index);
    switch (tokenAt(s, n, index)) {
    case TokenObjectOpen:
        return parseObject(json, index, success, depth + 1);
    case TokenArrayOpen:
        return parseArray(json, index, success, depth + 1);
    case TokenString:
        return parseString(json, index, success);
    case TokenNumber:
        return parseNumber(json, index);
    case TokenTrue:
        index += 4;
        return QVariant(true);
    case TokenFalse:
        index += 5;
        return QVariant(false);
    case TokenNull:
        index += 4;
        return QVariant();
    default:
        success = false;
        return QVariant();
    }
}

QVariant Json::parseObject(const QString& json, int& index, bool& success, int depth)
{
    if (depth > kMaxNestingDepth) {
        success = false;
        return QVariantMap();
    }
    const ushort* s = textOf(json);
    const int n = json.size();
    NameCache& names = nameCache();
    QVariantMap map;
    ++index; // the '{'
    for (;;) {
        index = skipBlanks(s, n, index);
        const int token = tokenAt(s, n, index);
        if (token == TokenNone) {
            success = false;
            return QVariantMap();
        }
        if (token == TokenComma) {
            ++index;
            continue;
        }
        if (token == TokenObjectClose) {
            ++index;
            return map;
        }
        // The name is read as a string whatever token stands there; one
        // without escapes is taken straight from the text.
        QString name;
        const int nameStart = index + 1;
        int nameEnd = nameStart;
        while (nameEnd < n && s[nameEnd] != '"' && s[nameEnd] != '\\')
            ++nameEnd;
        if (nameEnd < n && s[nameEnd] == '"') {
            name = names.name(s + nameStart, nameEnd - nameStart);
            index = nameEnd + 1;
        } else {
            name = parseString(json, index, success).toString();
            if (!success)
                return QVariantMap();
        }
        if (nextToken(json, index) != TokenColon) {
            success = false;
            return QVariantMap();
        }
        QVariant value = parseValue(json, index, success, depth);
        if (!success)
            return QVariantMap();
        // Names usually arrive in ascending order (this writer sorts them),
        // so the end is the place to try first.
        map.insert(map.constEnd(), name, value);
    }
}

QVariant Json::parseArray(const QString& json, int& index, bool& success, int depth)
{
    if (depth > kMaxNestingDepth) {
        success = false;
        return QVariantList();
    }
    const ushort* s = textOf(json);
    const int n = json.size();
    QVariantList list;
    ++index; // the '['
    for (;;) {
        index = skipBlanks(s, n, index);
        const int token = tokenAt(s, n, index);
        if (token == TokenNone) {
            success = false;
            return QVariantList();
        }
        if (token == TokenComma) {
            ++index;
            continue;
        }
        if (token == TokenArrayClose) {
            ++index;
            return list;
        }
        QVariant value = parseValue(json, index, success, depth);
        if (!success)
            return QVariantList();
        list.append(std::move(value));
    }
}

QVariant Json::parseString(const QString& json, int& index, bool& success)
{
    eatWhitespace(json, index);
    const ushort* s = textOf(json);
    const int n = json.size();
    int i = index + 1; // the opening quotation mark, whatever stands there

    // Most strings hold no escape: take them in one piece.
    int run = i;
    while (run < n && s[run] != '"' && s[run] != '\\')
        ++run;
    if (run == n) {
        index = n;
        success = false;
        return QVariant();
    }
    if (s[run] == '"') {
        index = run + 1;
        return QString(reinterpret_cast<const QChar*>(s + i), run - i);
    }

    QString result;
    result.reserve(run - i + 16);
    for (;;) {
        run = i;
        while (run < n && s[run] != '"' && s[run] != '\\')
            ++run;
        result.append(reinterpret_cast<const QChar*>(s + i), run - i);
        i = run;
        if (i == n)
            break;
        if (s[i++] == '"') {
            index = i;
            return result;
        }
        if (i == n)
            break;
        const ushort c = s[i++];
        switch (c) {
        case '"':
        case '\\':
        case '/':
            result.append(QChar(c));
            break;
        case 'b': result.append(QChar(0x08)); break;
        case 'f': result.append(QChar(0x0c)); break;
        case 'n': result.append(QChar(0x0a)); break;
        case 'r': result.append(QChar(0x0d)); break;
        case 't': result.append(QChar(0x09)); break;
        case 'u':
            if (n - i < kHexDigitsInEscape) {
                i = n;
                index = i;
                success = false;
                return QVariant();
            }
            result.append(QChar(decodeUnicodeEscape(s + i)));
            i += kHexDigitsInEscape;
            break;
        default:
            // An unknown escape is dropped together with its backslash.
            break;
        }
    }
    index = n;
    success = false;
    return QVariant();
}

QVariant Json::parseNumber(const QString& json, int& index)
{
    eatWhitespace(json, index);
    const int last = lastIndexOfNumber(json, index);
    const int length = last - index + 1;
    const ushort* s = textOf(json) + index;
    index = last + 1;

    bool isDouble = false;
    for (int i = 0; i < length; ++i) {
        if (s[i] == '.' || s[i] == 'e' || s[i] == 'E') {
            isDouble = true;
            break;
        }
    }
    if (isDouble) {
        double value = 0;
        if (fastToDouble(s, length, value))
            return value;
        return QString(reinterpret_cast<const QChar*>(s), length).toDouble();
    }
    quint64 magnitude = 0;
    if (length > 0 && s[0] == '-') {
        const quint64 kMinMagnitude = quint64(1) << 63;
        if (parseDigits(s + 1, length - 1, magnitude) && magnitude <= kMinMagnitude)
            return qlonglong(0 - magnitude);
        return QString(reinterpret_cast<const QChar*>(s), length).toLongLong(nullptr, 10);
    }
    if (parseDigits(s, length, magnitude))
        return qulonglong(magnitude);
    return QString(reinterpret_cast<const QChar*>(s), length).toULongLong(nullptr, 10);
}

int Json::lastIndexOfNumber(const QString& json, int index)
{
    const ushort* s = textOf(json);
    const int n = json.size();
    int i = index;
    while (i < n && isNumberChar(s[i]))
        ++i;
    return i - 1;
}

void Json::eatWhitespace(const QString& json, int& index)
{
    const ushort* s = textOf(json);
    const int n = json.size();
    while (index < n && isBlank(s[index]))
        ++index;
}

int Json::lookAhead(const QString& json, int index)
{
    return nextToken(json, index);
}

int Json::nextToken(const QString& json, int& index)
{
    eatWhitespace(json, index);
    int length = 0;
    const int token = tokenAt(textOf(json), json.size(), index, &length);
    index += length;
    return token;
}

} // namespace QtJson
