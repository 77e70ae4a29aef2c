#include "json.h"

#include <QHash>
#include <QMap>
#include <QStringList>
#include <QVariantList>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Member names repeat from record to record; handing out one shared copy
// per distinct name saves an allocation per member and memory in the tree.
class NameCache
{
public:
    // The reference stays valid until the next call.
    const QString& name(const ushort* s, int length)
    {
        if (length > kMaxCachedLength) {
            m_long = QString(reinterpret_cast<const QChar*>(s), length);
            return m_long;
        }
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
    QString m_long;
};

NameCache& nameCache()
{
    thread_local NameCache cache;
    return cache;
}

// The first quotation mark or backslash at or after p, or end.
inline const ushort* findQuoteOrBackslash(const ushort* p, const ushort* end)
{
#ifdef __SSE2__
    const __m128i quote = _mm_set1_epi16('"');
    const __m128i backslash = _mm_set1_epi16('\\');
    const int kUnitsPerBlock = 8;
    while (end - p >= kUnitsPerBlock) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_cmpeq_epi16(block, quote), _mm_cmpeq_epi16(block, backslash));
        const int mask = _mm_movemask_epi8(hits);
        if (mask != 0)
            return p + (__builtin_ctz(uint(mask)) >> 1);
        p += kUnitsPerBlock;
    }
#endif
    while (p != end && *p != '"' && *p != '\\')
        ++p;
    return p;
}

// The characters a number's run is made of: digits, signs, point, exponent.
enum NumberCharClass : unsigned char { NotNumber, NumberDigit, NumberSign, NumberPoint, NumberExponent };

struct NumberCharTable
{
    unsigned char classOf[128] = {};
    constexpr NumberCharTable()
    {
        for (int c = '0'; c <= '9'; ++c)
            classOf[c] = NumberDigit;
        classOf[int('+')] = NumberSign;
        classOf[int('-')] = NumberSign;
        classOf[int('.')] = NumberPoint;
        classOf[int('e')] = NumberExponent;
        classOf[int('E')] = NumberExponent;
    }
};
constexpr NumberCharTable kNumberChars;

inline int numberClass(ushort c)
{
    return c < 128 ? int(kNumberChars.classOf[c]) : int(NotNumber);
}

// Digits-only text (after an optional minus sign) is converted here; every
// other run falls back to QString's conversions, which define the result.
bool parseDigits(const char* s, int length, quint64& value)
{
    if (length <= 0 || length > kMaxUnsignedDigits)
        return false;
    quint64 v = 0;
    for (int i = 0; i < length; ++i) {
        if (!isDigit(uchar(s[i])))
            return false;
        const quint64 digit = quint64(s[i] - '0');
        if (v > (~quint64(0) - digit) / 10)
            return false;
        v = v * 10 + digit;
    }
    value = v;
    return true;
}

const int kMaxExactMantissaDigits = 15;   // below 2^53, so the digits are exact
const int kMaxExactPowerOfTen = 22;       // the largest power of ten a double holds exactly
const int kMaxExponentDigits = 4;

const double kPowersOfTen[kMaxExactPowerOfTen + 1] = {
    1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

// Strict JSON number grammar: -?D+(.D+)?([eE][+-]?D+)?
bool isPlainDecimal(const char* s, int length)
{
    int i = 0;
    if (i < length && s[i] == '-')
        ++i;
    const int intStart = i;
    while (i < length && isDigit(uchar(s[i])))
        ++i;
    if (i == intStart)
        return false;
    if (i < length && s[i] == '.') {
        ++i;
        const int fracStart = i;
        while (i < length && isDigit(uchar(s[i])))
            ++i;
        if (i == fracStart)
            return false;
    }
    if (i < length && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < length && (s[i] == '+' || s[i] == '-'))
            ++i;
        const int expStart = i;
        while (i < length && isDigit(uchar(s[i])))
            ++i;
        if (i == expStart)
            return false;
    }
    return i == length;
}

// The first character at or after p that is no digit, or end.
inline const ushort* skipDigits(const ushort* p, const ushort* end)
{
#ifdef __SSE2__
    const __m128i zero = _mm_set1_epi16('0');
    const __m128i nine = _mm_set1_epi16(9);
    const int kUnitsPerBlock = 8;
    while (end - p >= kUnitsPerBlock) {
        // As signed numbers, units above 0x8000 come out negative.
        const __m128i values = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero);
        const __m128i other = _mm_or_si128(_mm_cmplt_epi16(values, _mm_setzero_si128()), _mm_cmpgt_epi16(values, nine));
        const int mask = _mm_movemask_epi8(other);
        if (mask != 0)
            return p + (__builtin_ctz(uint(mask)) >> 1);
        p += kUnitsPerBlock;
    }
#endif
    while (p != end && isDigit(*p))
        ++p;
    return p;
}

// m followed by the count digits at p (all known to be digits).
inline quint64 addDigits(quint64 m, const ushort* p, int count)
{
#ifdef __SSE2__
    const int kBlock = 8;
    for (; count >= kBlock; count -= kBlock, p += kBlock) {
        // One digit per byte, then pairs, fours and the eight combined.
        const __m128i values = _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), _mm_set1_epi16('0'));
        quint64 v = quint64(_mm_cvtsi128_si64(_mm_packus_epi16(values, values)));
        v = (v * 10 + (v >> 8)) & 0x00ff00ff00ff00ffull;
        v = (v * 100 + (v >> 16)) & 0x0000ffff0000ffffull;
        v = (v * 10000 + (v >> 32)) & 0xffffffffull;
        m = m * 100000000 + v;
    }
#endif
    for (; count > 0; --count)
        m = m * 10 + quint64(*p++ - '0');
    return m;
}

// Decimal to binary for the common case, after Eisel and Lemire: w * 10^q
// as w times a 128-bit approximation of 5^q, kept only when the bits that
// decide the rounding are certain despite the approximation.
const int kMaxFastPowerOfFive = 54; // 5^54 < 2^126 keeps the table's arithmetic in 128 bits
const int kSignificandBits = 53;
const int kMaxSignificantDigits = 19; // the most a quint64 holds for every digit string

struct PowerOfFive
{
    Uint128 bits; // normalized: bit 127 set
    int exponent; // 5^q = bits * 2^exponent, bits truncated where inexact
};

class PowersOfFive
{
public:
    constexpr PowersOfFive()
    {
        Uint128 power = 1;
        for (int q = 0; q <= kMaxFastPowerOfFive; ++q) {
            const int top = 127 - leadingZeros(power);
            m_table[kMaxFastPowerOfFive + q] = { power << (127 - top), top - 127 };
            if (q > 0)
                m_table[kMaxFastPowerOfFive - q] = reciprocal(power);
            power *= 5;
        }
    }
    constexpr const PowerOfFive& at(int q) const { return m_table[kMaxFastPowerOfFive + q]; }

private:
    static constexpr int leadingZeros(Uint128 v)
    {
        const quint64 high = quint64(v >> 64);
        return high ? __builtin_clzll(high) : 64 + __builtin_clzll(quint64(v));
    }
    // The first 128 bits of 1/d by long division (d < 2^126, so twice the
    // remainder stays within 128 bits).
    static constexpr PowerOfFive reciprocal(Uint128 d)
    {
        Uint128 remainder = 1;
        int position = 0;
        while (remainder < d) {
            remainder <<= 1;
            ++position;
        }
        Uint128 bits = 0;
        for (int i = 0; i < 128; ++i) {
            bits <<= 1;
            if (remainder >= d) {
                bits |= 1;
                remainder -= d;
            }
            remainder <<= 1;
        }
        return { bits, -(position + 127) };
    }

    PowerOfFive m_table[2 * kMaxFastPowerOfFive + 1] = {};
};

// Built by the compiler, so that it is ready before any static initializer runs.
constexpr PowersOfFive kPowersOfFive;

// The double nearest to w * 10^q, or false when the approximation leaves
// the rounding in doubt (or q is out of the table's range).  \a sameAbove
// tells that every value up to (w + 1) * 10^q rounds to the same double.
inline bool decimalToDouble(quint64 w, int q, double& value, bool& sameAbove)
{
    if (w == 0 || q < -kMaxFastPowerOfFive || q > kMaxFastPowerOfFive)
        return false;
    const PowerOfFive& power = kPowersOfFive.at(q);
    const int shift = __builtin_clzll(w);
    const quint64 normalized = w << shift;
    const Uint128 low = Uint128(normalized) * quint64(power.bits);
    const Uint128 high = Uint128(normalized) * quint64(power.bits >> 64);
    // The upper 128 bits of the 192-bit product; the true product lies
    // below the computed one plus w, so the upper part is exact or one less.
    const Uint128 upper = high + (low >> 64);
    const quint64 top = quint64(upper >> 64);
    const int topBit = int(top >> 63); // the product has 191 or 192 bits
    const int dropped = 63 - (kSignificandBits + 1) + topBit; // below the rounding bit
    const quint64 belowMask = (quint64(1) << dropped) - 1;
    const quint64 below = top & belowMask;
    const quint64 middle = quint64(upper);
    quint64 significand = top >> dropped; // 54 bits: 53 and the rounding bit
    // One more in the upper part could carry into the rounding bit; and with
    // nothing below a set rounding bit the value may be a tie.
    if (below == belowMask && middle == ~quint64(0))
        return false;
    if ((significand & 1) && below == 0 && middle == 0)
        return false;
    // One more in w adds less than 2^shift to top, the approximation one more.
    sameAbove = below != 0 && below + (quint64(1) << shift) + 2 <= belowMask;
    significand = (significand >> 1) + (significand & 1);
    int binaryExponent = dropped + 1 + 128 + power.exponent + q - shift;
    if (significand >> kSignificandBits) {
        significand >>= 1;
        ++binaryExponent;
    }
    const int biased = binaryExponent + (kSignificandBits - 1) + 1023;
    if (biased <= 0 || biased >= 0x7ff)
        return false;
    const quint64 bits = (quint64(biased) << (kSignificandBits - 1))
        | (significand & ((quint64(1) << (kSignificandBits - 1)) - 1));
    std::memcpy(&value, &bits, sizeof value);
    return true;
}

// The text as a whole: walks the UTF-16 units with a pointer and builds each
// value in the place it takes in the tree.  Every read* function starts at
// the first character of its value, blanks skipped.
class Reader
{
public:
    Reader(const QString& json)
        : m_end(textOf(json) + json.size())
        , m_names(nameCache())
    {
    }

    const ushort* skipBlanks(const ushort* p) const
    {
        while (p != m_end && isBlank(*p))
            ++p;
        return p;
    }

    bool readValue(const ushort*& p, QVariant& out, int depth)
    {
        if (p == m_end)
            return false;
        switch (*p) {
        case '{':
            return readObject(p, out, depth + 1);
        case '[':
            return readArray(p, out, depth + 1);
        case '"': {
            QString text;
            if (!readString(p, text))
                return false;
            out = QVariant(text);
            return true;
        }
        case '-':
        case '0': case '1': case '2': case '3': case '4':
        case '5': case '6': case '7': case '8': case '9':
            readNumber(p, out);
            return true;
        case 't':
            return readWord(p, "true", 4, QVariant(true), out);
        case 'f':
            return readWord(p, "false", 5, QVariant(false), out);
        case 'n':
            return readWord(p, "null", 4, QVariant(), out);
        default:
            return false;
        }
    }

    bool readArray(const ushort*& p, QVariant& out, int depth)
    {
        out = QVariantList();
        if (depth > Json::kMaxNestingDepth)
            return false;
        QVariantList& list = *static_cast<QVariantList*>(out.data());
        ++p; // the '['
        for (;;) {
            p = skipBlanks(p);
            if (p == m_end)
                return fail(out, QVariantList());
            if (*p == ',') {
                ++p;
                continue;
            }
            if (*p == ']') {
                ++p;
                return true;
            }
            list.append(QVariant());
            if (!readValue(p, list.last(), depth))
                return fail(out, QVariantList());
        }
    }

    bool readObject(const ushort*& p, QVariant& out, int depth)
    {
        out = QVariantMap();
        if (depth > Json::kMaxNestingDepth)
            return false;
        QVariantMap& map = *static_cast<QVariantMap*>(out.data());
        ++p; // the '{'
        for (;;) {
            p = skipBlanks(p);
            if (p == m_end)
                return fail(out, QVariantMap());
            const ushort c = *p;
            if (c == ',') {
                ++p;
                continue;
            }
            if (c == '}') {
                ++p;
                return true;
            }
            // The name is read as a string whatever token stands there, but
            // a character that starts no token at all ends the object.
            if (c != '"' && tokenAt(p, int(m_end - p), 0) == TokenNone)
                return fail(out, QVariantMap());
            QVariantMap::iterator member;
            const ushort* const nameEnd = findQuoteOrBackslash(p + 1, m_end);
            if (nameEnd != m_end && *nameEnd == '"') {
                // Names usually arrive in ascending order (this writer sorts
                // them), so the end is the place to try first.
                member = map.insert(map.constEnd(), m_names.name(p + 1, int(nameEnd - p - 1)), QVariant());
                p = nameEnd + 1;
            } else {
                QString name;
                if (!readString(p, name))
                    return fail(out, QVariantMap());
                member = map.insert(map.constEnd(), name, QVariant());
            }
            p = skipBlanks(p);
            if (p == m_end || *p != ':')
                return fail(out, QVariantMap());
            p = skipBlanks(p + 1);
            if (!readValue(p, member.value(), depth))
                return fail(out, QVariantMap());
        }
    }

    // From the character after p (the opening mark, not looked at) to the
    // closing quotation mark.  A string without escapes is copied in one
    // piece; one with escapes is measured first, then decoded in place.
    bool readString(const ushort*& p, QString& out)
    {
        if (p == m_end)
            return false;
        const ushort* const start = p + 1;
        const ushort* q = findQuoteOrBackslash(start, m_end);
        if (q == m_end) {
            p = m_end;
            return false;
        }
        if (*q == '"') {
            out = QString(reinterpret_cast<const QChar*>(start), int(q - start));
            p = q + 1;
            return true;
        }
        const ushort* close = findClosingQuote(q);
        if (!close) {
            p = m_end;
            return false;
        }
        out = QString(int(close - start), Qt::Uninitialized);
        ushort* const base = reinterpret_cast<ushort*>(out.data());
        ushort* d = base;
        q = start;
        for (;;) {
            const ushort* run = findQuoteOrBackslash(q, close);
            std::memcpy(d, q, size_t(run - q) * sizeof(ushort));
            d += run - q;
            if (run == close)
                break;
            q = decodeEscape(run + 1, d);
        }
        out.resize(int(d - base));
        p = close + 1;
        return true;
    }

    void readNumber(const ushort*& p, QVariant& out)
    {
        if (!readPlainNumber(p, out))
            readNumberRun(p, out);
    }

    // A number of the strict grammar -?D+(.D+)?([eE][+-]?D+)? followed by no
    // other number character, converted straight from the text where the
    // result is certain; false leaves p alone for the general path.
    bool readPlainNumber(const ushort*& p, QVariant& out) const
    {
        const ushort* q = p;
        const bool negative = *q == '-';
        if (negative)
            ++q;
        const ushort* const intStart = q;
        const ushort* const intEnd = skipDigits(q, m_end);
        if (intEnd == intStart)
            return false;
        q = intEnd;
        const ushort* fracStart = q;
        const ushort* fracEnd = q;
        bool isDouble = false;
        if (q != m_end && *q == '.') {
            isDouble = true;
            fracStart = q + 1;
            fracEnd = skipDigits(fracStart, m_end);
            if (fracEnd == fracStart)
                return false;
            q = fracEnd;
        }
        int scale = 0;
        if (q != m_end && (*q == 'e' || *q == 'E')) {
            isDouble = true;
            ++q;
            bool negativeExponent = false;
            if (q != m_end && (*q == '+' || *q == '-'))
                negativeExponent = *q++ == '-';
            const ushort* const expEnd = skipDigits(q, m_end);
            if (expEnd == q || expEnd - q > kMaxExponentDigits)
                return false;
            const int exponent = int(addDigits(0, q, int(expEnd - q)));
            scale = negativeExponent ? -exponent : exponent;
            q = expEnd;
        }
        if (q != m_end && numberClass(*q) != NotNumber)
            return false;
        const int intDigits = int(intEnd - intStart);
        if (!isDouble) {
            // Short enough that no digit string overflows: as the general path gives it.
            if (intDigits > kMaxSignificantDigits - (negative ? 1 : 0))
                return false;
            const quint64 magnitude = addDigits(0, intStart, intDigits);
            out = negative ? QVariant(-qlonglong(magnitude)) : QVariant(qulonglong(magnitude));
            p = q;
            return true;
        }

        // The significant digits run from the first nonzero one, across the
        // point; the first 19 make the mantissa and the rest only say
        // whether it was cut.
        const ushort* first = intStart;
        while (first != intEnd && *first == '0')
            ++first;
        if (first == intEnd) {
            first = fracStart;
            while (first != fracEnd && *first == '0')
                ++first;
            if (first == fracEnd)
                return false; // zero keeps to the general path, which decides its sign
        }
        const bool inInteger = first < intEnd;
        const int wholeDigits = inInteger ? int(intEnd - first) : 0;
        const ushort* const fracFirst = inInteger ? fracStart : first;
        const int fracDigits = int(fracEnd - fracFirst);
        const int taken = qMin(kMaxSignificantDigits, wholeDigits + fracDigits);
        const int fromWhole = qMin(taken, wholeDigits);
        const int fromFrac = taken - fromWhole;
        quint64 mantissa = addDigits(0, first, fromWhole);
        mantissa = addDigits(mantissa, fracFirst, fromFrac);
        scale += (wholeDigits - fromWhole) - int(fracFirst + fromFrac - fracStart);
        bool inexact = false;
        for (const ushort* d = fracFirst + fromFrac; d != fracEnd && !inexact; ++d)
            inexact = *d != '0';
        for (const ushort* d = first + fromWhole; d < intEnd && !inexact; ++d)
            inexact = *d != '0';

        double value;
        if (!inexact && taken <= kMaxExactMantissaDigits && scale >= -kMaxExactPowerOfTen
            && scale <= kMaxExactPowerOfTen) {
            // Both operands exact: the one rounding is the correct one.
            const double m = double(mantissa);
            value = scale < 0 ? m / kPowersOfTen[-scale] : m * kPowersOfTen[scale];
        } else {
            bool sameAbove = false;
            if (!decimalToDouble(mantissa, scale, value, sameAbove))
                return false;
            // Digits were cut: the text lies between the two candidates.
            double above;
            bool unused;
            if (inexact && !sameAbove
                && (!decimalToDouble(mantissa + 1, scale, above, unused) || above != value))
                return false;
        }
        out = QVariant(negative ? -value : value);
        p = q;
        return true;
    }

    void readNumberRun(const ushort*& p, QVariant& out)
    {
        const ushort* q = p;
        char buffer[kShortNumberLength];
        int length = 0;
        bool isDouble = false;
        for (; q != m_end; ++q) {
            const int kind = numberClass(*q);
            if (kind == NotNumber)
                break;
            isDouble |= kind >= NumberPoint;
            if (length < kShortNumberLength)
                buffer[length] = char(*q);
            ++length;
        }
        const ushort* const start = p;
        p = q;
        if (length > kShortNumberLength) {
            out = convertWithQString(start, length, isDouble);
            return;
        }
        if (isDouble) {
            double value = 0;
            if (isPlainDecimal(buffer, length)) {
                const std::from_chars_result r = std::from_chars(buffer, buffer + length, value);
                if (r.ec == std::errc() && r.ptr == buffer + length && std::isnormal(value)) {
                    out = QVariant(value);
                    return;
                }
            }
            out = convertWithQString(start, length, true);
            return;
        }
        quint64 magnitude = 0;
        if (length > 0 && buffer[0] == '-') {
            const quint64 kMinMagnitude = quint64(1) << 63;
            if (parseDigits(buffer + 1, length - 1, magnitude) && magnitude <= kMinMagnitude)
                out = QVariant(qlonglong(0 - magnitude));
            else
                out = convertWithQString(start, length, false);
            return;
        }
        if (parseDigits(buffer, length, magnitude))
            out = QVariant(qulonglong(magnitude));
        else
            out = convertWithQString(start, length, false);
    }

private:
    static bool fail(QVariant& out, const QVariant& empty)
    {
        out = empty;
        return false;
    }

    bool readWord(const ushort*& p, const char* word, int length, const QVariant& value, QVariant& out)
    {
        if (!matchesWord(p, int(m_end - p), word, length))
            return false;
        p += length;
        out = value;
        return true;
    }

    // From the backslash at q: the closing quotation mark, or null when the
    // text ends first (also inside an escape).
    const ushort* findClosingQuote(const ushort* q) const
    {
        for (;;) {
            if (q == m_end)
                return nullptr;
            if (*q == '"')
                return q;
            ++q; // the backslash
            if (q == m_end)
                return nullptr;
            if (*q++ == 'u') {
                if (m_end - q < kHexDigitsInEscape)
                    return nullptr;
                q += kHexDigitsInEscape;
            }
            q = findQuoteOrBackslash(q, m_end);
        }
    }

    // The escape whose letter is at q, already known to be complete; returns
    // the position after it.
    static const ushort* decodeEscape(const ushort* q, ushort*& d)
    {
        const ushort c = *q++;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            *d++ = c;
            break;
        case 'b': *d++ = 0x08; break;
        case 'f': *d++ = 0x0c; break;
        case 'n': *d++ = 0x0a; break;
        case 'r': *d++ = 0x0d; break;
        case 't': *d++ = 0x09; break;
        case 'u':
            *d++ = decodeUnicodeEscape(q);
            q += kHexDigitsInEscape;
            break;
        default:
            // An unknown escape is dropped together with its backslash.
            break;
        }
        return q;
    }

    static QVariant convertWithQString(const ushort* s, int length, bool isDouble)
    {
        const QString text(reinterpret_cast<const QChar*>(s), length);
        if (isDouble)
            return text.toDouble();
        if (length > 0 && s[0] == '-')
            return text.toLongLong(nullptr, 10);
        return text.toULongLong(nullptr, 10);
    }

    const ushort* const m_end;
    NameCache& m_names;
};

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

namespace {

// Runs one of the reader's functions from a position given as an index.
template <typename Read>
QVariant readAt(const QString& json, int& index, bool& success, Read read)
{
    Reader reader(json);
    const ushort* const begin = textOf(json);
    const ushort* p = reader.skipBlanks(begin + index);
    QVariant value;
    if (!read(reader, p, value))
        success = false;
    index = int(p - begin);
    return value;
}

} // namespace

QVariant Json::parseValue(const QString& json, int& index, bool& success, int depth)
{
    return readAt(json, index, success, [depth](Reader& r, const ushort*& p, QVariant& out) {
        return r.readValue(p, out, depth);
    });
}

QVariant Json::parseObject(const QString& json, int& index, bool& success, int depth)
{
    return readAt(json, index, success, [depth](Reader& r, const ushort*& p, QVariant& out) {
        return r.readObject(p, out, depth);
    });
}

QVariant Json::parseArray(const QString& json, int& index, bool& success, int depth)
{
    return readAt(json, index, success, [depth](Reader& r, const ushort*& p, QVariant& out) {
        return r.readArray(p, out, depth);
    });
}

QVariant Json::parseString(const QString& json, int& index, bool& success)
{
    return readAt(json, index, success, [](Reader& r, const ushort*& p, QVariant& out) {
        QString text;
        if (!r.readString(p, text))
            return false;
        out = QVariant(text);
        return true;
    });
}

QVariant Json::parseNumber(const QString& json, int& index)
{
    bool success = true;
    return readAt(json, index, success, [](Reader& r, const ushort*& p, QVariant& out) {
        r.readNumber(p, out);
        return true;
    });
}

int Json::lastIndexOfNumber(const QString& json, int index)
{
    const ushort* s = textOf(json);
    const int n = json.size();
    int i = index;
    while (i < n && numberClass(s[i]) != NotNumber)
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
