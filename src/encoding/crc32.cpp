#include "crc32.h"
#include "crc32_p.h"

#include <array>
#include <cstring>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#define CC_CRC32_HAVE_CLMUL 1
#include <immintrin.h>
#endif

namespace {

const std::uint32_t kPolynomial = 0xEDB88320u;           // reflected
const std::uint64_t kPolynomialNormal = 0x104C11DB7ull;  // the same, highest degree first
const int kSlices = 8;
const std::uint32_t kInitialRegister = 0xFFFFFFFFu;

using SliceTables = std::array<std::array<std::uint32_t, 256>, kSlices>;

constexpr SliceTables makeTables()
{
    SliceTables t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t c = i;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
        t[0][i] = c;
    }
    // Table k advances a byte that has k more bytes after it.
    for (int k = 1; k < kSlices; ++k) {
        for (std::uint32_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xff];
    }
    return t;
}

constexpr SliceTables kTables = makeTables();

inline std::uint32_t updateByte(std::uint32_t reg, unsigned char byte)
{
    return (reg >> 8) ^ kTables[0][(reg ^ byte) & 0xff];
}

using UpdateFunction = std::uint32_t (*)(std::uint32_t, const unsigned char*, std::size_t);

#ifdef CC_CRC32_HAVE_CLMUL

// Folding multiplies by x^e mod P in the carry-less unit.  The constant is
// kept bit-reflected in 32 bits, which puts the 64 x 32 bit product one place
// off the 128-bit lane; taking x^(e - 33) instead of x^e absorbs that.
constexpr std::uint64_t reflectedPowerOfX(int e)
{
    std::uint64_t r = 1;
    for (int i = 0; i < e - 33; ++i) {
        r <<= 1;
        if (r & (std::uint64_t(1) << 32))
            r ^= kPolynomialNormal;
    }
    std::uint64_t reflected = 0;
    for (int bit = 0; bit < 32; ++bit) {
        if (r & (std::uint64_t(1) << bit))
            reflected |= std::uint64_t(1) << (31 - bit);
    }
    return reflected;
}

const int kLaneBytes = 16;
const int kLanes = 4;
const int kStrideBytes = kLanes * kLaneBytes;
// A 128-bit lane X = H * x^64 + L carried D bits forward is
// H * (x^(64 + D) mod P) + L * (x^D mod P).
const int kStrideBits = kStrideBytes * 8;
const int kLaneBits = kLaneBytes * 8;
constexpr std::uint64_t kStrideHigh = reflectedPowerOfX(64 + kStrideBits);
constexpr std::uint64_t kStrideLow = reflectedPowerOfX(kStrideBits);
constexpr std::uint64_t kLaneHigh = reflectedPowerOfX(64 + kLaneBits);
constexpr std::uint64_t kLaneLow = reflectedPowerOfX(kLaneBits);

// The data is little-endian and bit-reflected, so the lane's low quadword
// holds H (the earlier half) and pairs with the constant in the low quadword.
__attribute__((target("pclmul,sse2")))
inline __m128i fold(__m128i lane, __m128i constants, __m128i next)
{
    const __m128i high = _mm_clmulepi64_si128(lane, constants, 0x00);
    const __m128i low = _mm_clmulepi64_si128(lane, constants, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

__attribute__((target("pclmul,sse2")))
inline __m128i load(const unsigned char* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

__attribute__((target("pclmul,sse2")))
std::uint32_t updateFolding(std::uint32_t reg, const unsigned char* p, std::size_t n)
{
    if (n < std::size_t(2 * kStrideBytes))
        return Crc32Internal::updatePortable(reg, p, n);

    const __m128i stride = _mm_set_epi64x(static_cast<long long>(kStrideLow), static_cast<long long>(kStrideHigh));
    const __m128i lane = _mm_set_epi64x(static_cast<long long>(kLaneLow), static_cast<long long>(kLaneHigh));

    // The register enters as the first 32 bits of the message.
    __m128i x0 = _mm_xor_si128(load(p), _mm_cvtsi32_si128(int(reg)));
    __m128i x1 = load(p + kLaneBytes);
    __m128i x2 = load(p + 2 * kLaneBytes);
    __m128i x3 = load(p + 3 * kLaneBytes);
    p += kStrideBytes;
    n -= kStrideBytes;
    while (n >= std::size_t(kStrideBytes)) {
        x0 = fold(x0, stride, load(p));
        x1 = fold(x1, stride, load(p + kLaneBytes));
        x2 = fold(x2, stride, load(p + 2 * kLaneBytes));
        x3 = fold(x3, stride, load(p + 3 * kLaneBytes));
        p += kStrideBytes;
        n -= kStrideBytes;
    }
    x1 = fold(x0, lane, x1);
    x2 = fold(x1, lane, x2);
    x3 = fold(x2, lane, x3);
    while (n >= std::size_t(kLaneBytes)) {
        x3 = fold(x3, lane, load(p));
        p += kLaneBytes;
        n -= kLaneBytes;
    }
    // What is left is a 128-bit message with the same remainder as all the
    // data so far; the table finishes it.
    unsigned char rest[kLaneBytes];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x3);
    reg = Crc32Internal::updatePortable(0, rest, kLaneBytes);
    return Crc32Internal::updatePortable(reg, p, n);
}

#endif // CC_CRC32_HAVE_CLMUL

UpdateFunction chooseUpdate()
{
#ifdef CC_CRC32_HAVE_CLMUL
    if (Crc32Internal::hasClmul())
        return updateFolding;
#endif
    return Crc32Internal::updatePortable;
}

inline std::uint32_t advance(std::uint32_t reg, const void* data, std::size_t size)
{
    static const UpdateFunction update = chooseUpdate();
    return update(reg, static_cast<const unsigned char*>(data), size);
}

} // namespace

namespace Crc32Internal {

std::uint32_t updatePortable(std::uint32_t reg, const unsigned char* p, std::size_t n)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    while (n >= std::size_t(kSlices)) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        word ^= reg;
        reg = kTables[7][word & 0xff] ^ kTables[6][(word >> 8) & 0xff]
            ^ kTables[5][(word >> 16) & 0xff] ^ kTables[4][(word >> 24) & 0xff]
            ^ kTables[3][(word >> 32) & 0xff] ^ kTables[2][(word >> 40) & 0xff]
            ^ kTables[1][(word >> 48) & 0xff] ^ kTables[0][word >> 56];
        p += kSlices;
        n -= kSlices;
    }
#endif
    while (n--)
        reg = updateByte(reg, *p++);
    return reg;
}

std::uint32_t updateClmul(std::uint32_t reg, const unsigned char* data, std::size_t size)
{
#ifdef CC_CRC32_HAVE_CLMUL
    if (hasClmul())
        return updateFolding(reg, data, size);
#endif
    return updatePortable(reg, data, size);
}

bool hasClmul()
{
#ifdef CC_CRC32_HAVE_CLMUL
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
#else
    return false;
#endif
}

} // namespace Crc32Internal

unsigned int tarvel_crc32(const void* data, unsigned int size)
{
    return tarvel_crc32_stream(0, data, size);
}

unsigned int tarvel_crc32_stream(unsigned int crc, const void* data, unsigned int size)
{
    if (size == 0)
        return crc;
    return ~advance(~crc, data, size);
}

unsigned int tarvel_crc32_str(const char* str)
{
    return tarvel_crc32(str, unsigned(std::strlen(str)));
}

unsigned int tarvel_crc32_rec(const void* data, unsigned int size,
                              unsigned int skipStart, unsigned int skipLength)
{
    if (size <= skipStart)
        return kInitialRegister;
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    const std::uint64_t start = skipStart == 0 ? 1 : skipStart;
    std::uint32_t reg = advance(kInitialRegister, bytes, std::size_t(start - 1));
    // 64-bit so that a huge gap cannot wrap around into the block.
    const std::uint64_t resume = start - 1 + skipLength;
    if (start + skipLength > size)
        return ~reg;
    reg = advance(reg, bytes + resume, std::size_t(size - resume));
    return ~reg;
}
