#include <QRandomGenerator>
#include <QTest>

#include <zlib.h>

#include <configurator-common/crc32.h>
#include "crc32_p.h"

#include <vector>

namespace {

const int kBufferBytes = 256 * 1024;
const int kRandomRounds = 3000;

unsigned int zlibCrc(unsigned int crc, const QByteArray& bytes)
{
    return unsigned(crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

QByteArray randomBytes(QRandomGenerator& rng, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char(rng.bounded(256));
    return bytes;
}

// Lengths that hit every stage of both methods: empty, the byte-wise tail,
// the 8-byte slices, single and quadruple 16-byte lanes, and long runs.
int randomLength(QRandomGenerator& rng)
{
    switch (rng.bounded(4)) {
    case 0: return rng.bounded(20);
    case 1: return rng.bounded(300);
    case 2: return rng.bounded(5000);
    default: return rng.bounded(kBufferBytes - 64);
    }
}

} // namespace

class TestCrc32 : public QObject
{
    Q_OBJECT
private slots:
    void knownValues_data();
    void knownValues();
    void stringChecksumLeavesOutTheTerminator();
    void zeroBytesLeaveTheStreamUnchanged();
    void methodsAgreeWithZlib_data();
    void methodsAgreeWithZlib();
    void streamPiecesComposeToTheWhole();
    void gapRules_data();
    void gapRules();
    void gapIsCutOutOfRandomBlocks();
};

void TestCrc32::knownValues_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<uint>("expected");
    QTest::newRow("check value") << QByteArray("123456789") << 0xCBF43926u;
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("a") << QByteArray("a") << 0xE8B7BE43u;
    QTest::newRow("fox") << QByteArray("The quick brown fox jumps over the lazy dog") << 0x414FA339u;
    QTest::newRow("one zero byte") << QByteArray(1, '\0') << 0xD202EF8Du;
    QTest::newRow("4 KiB of 0xFF") << QByteArray(4096, '\xff') << zlibCrc(0, QByteArray(4096, '\xff'));
}

void TestCrc32::knownValues()
{
    QFETCH(QByteArray, bytes);
    QFETCH(uint, expected);
    QCOMPARE(tarvel_crc32(bytes.constData(), unsigned(bytes.size())), expected);
    QCOMPARE(tarvel_crc32_stream(0, bytes.constData(), unsigned(bytes.size())), expected);
}

void TestCrc32::stringChecksumLeavesOutTheTerminator()
{
    QCOMPARE(tarvel_crc32_str("123456789"), 0xCBF43926u);
    QCOMPARE(tarvel_crc32_str(""), 0u);
    QCOMPARE(tarvel_crc32_str("ab\0cd"), tarvel_crc32("ab", 2));
}

void TestCrc32::zeroBytesLeaveTheStreamUnchanged()
{
    const char data[] = "ignored";
    QCOMPARE(tarvel_crc32_stream(0xCBF43926u, data, 0), 0xCBF43926u);
    QCOMPARE(tarvel_crc32_stream(0x12345678u, nullptr, 0), 0x12345678u);
}

void TestCrc32::methodsAgreeWithZlib_data()
{
    QTest::addColumn<bool>("clmul");
    QTest::newRow("slicing table") << false;
    QTest::newRow("carry-less multiplication") << true;
}

// Both methods over random contents, lengths (0 included), alignments and
// starting registers, against zlib's crc32.
void TestCrc32::methodsAgreeWithZlib()
{
    QFETCH(bool, clmul);
    if (clmul && !Crc32Internal::hasClmul())
        QSKIP("this processor has no PCLMULQDQ");

    QRandomGenerator rng(clmul ? 1 : 2);
    const QByteArray buffer = randomBytes(rng, kBufferBytes);
    const unsigned char* base = reinterpret_cast<const unsigned char*>(buffer.constData());
    for (int round = 0; round < kRandomRounds; ++round) {
        const int length = randomLength(rng);
        const int offset = rng.bounded(kBufferBytes - length + 1);
        const quint32 start = round % 4 == 0 ? 0 : rng.generate();
        const QByteArray slice = buffer.mid(offset, length);
        const quint32 reg = clmul ? Crc32Internal::updateClmul(~start, base + offset, size_t(length))
                                  : Crc32Internal::updatePortable(~start, base + offset, size_t(length));
        QCOMPARE(~reg, zlibCrc(start, slice));
    }
    QCOMPARE(~Crc32Internal::updateClmul(~0u, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);
    QCOMPARE(~Crc32Internal::updatePortable(~0u, reinterpret_cast<const unsigned char*>("123456789"), 9), 0xCBF43926u);

    // The public functions give the same, whichever method they chose.
    for (int round = 0; round < 200; ++round) {
        const int length = randomLength(rng);
        const QByteArray slice = buffer.left(length);
        QCOMPARE(tarvel_crc32(slice.constData(), unsigned(length)), zlibCrc(0, slice));
    }
}

void TestCrc32::streamPiecesComposeToTheWhole()
{
    QRandomGenerator rng(3);
    for (int round = 0; round < 500; ++round) {
        const QByteArray whole = randomBytes(rng, rng.bounded(3000));
        unsigned int crc = 0;
        int at = 0;
        while (at < whole.size()) {
            const int piece = qMin(whole.size() - at, rng.bounded(700));
            crc = tarvel_crc32_stream(crc, whole.constData() + at, unsigned(piece));
            at += piece;
        }
        QCOMPARE(crc, tarvel_crc32(whole.constData(), unsigned(whole.size())));
    }
}

void TestCrc32::gapRules_data()
{
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<uint>("skipStart");
    QTest::addColumn<uint>("skipLength");
    QTest::addColumn<uint>("expected");

    const QByteArray abcdef("abcdef");
    auto crc = [](const char* s) { return tarvel_crc32_str(s); };
    QTest::newRow("gap in the middle") << abcdef << 3u << 2u << crc("abef");
    QTest::newRow("start 1") << abcdef << 1u << 2u << crc("cdef");
    QTest::newRow("start 0 counts as 1") << abcdef << 0u << 2u << crc("cdef");
    QTest::newRow("empty gap") << abcdef << 2u << 0u << crc("abcdef");
    QTest::newRow("gap up to the last byte") << abcdef << 3u << 3u << crc("abf");
    QTest::newRow("gap to the end") << abcdef << 5u << 2u << crc("abcd");
    QTest::newRow("gap past the end") << abcdef << 5u << 10u << crc("abcd");
    QTest::newRow("huge gap does not wrap") << abcdef << 2u << 0xFFFFFFFFu << crc("a");
    QTest::newRow("start at size") << abcdef << 6u << 1u << 0xFFFFFFFFu;
    QTest::newRow("start beyond size") << abcdef << 7u << 0u << 0xFFFFFFFFu;
    QTest::newRow("empty block") << QByteArray() << 0u << 0u << 0xFFFFFFFFu;
    QTest::newRow("last byte only left out") << abcdef << 5u << 1u << crc("abcdf");
}

void TestCrc32::gapRules()
{
    QFETCH(QByteArray, block);
    QFETCH(uint, skipStart);
    QFETCH(uint, skipLength);
    QFETCH(uint, expected);
    QCOMPARE(tarvel_crc32_rec(block.constData(), unsigned(block.size()), skipStart, skipLength), expected);
}

void TestCrc32::gapIsCutOutOfRandomBlocks()
{
    QRandomGenerator rng(4);
    for (int round = 0; round < 2000; ++round) {
        const int size = 1 + rng.bounded(rng.bounded(2) ? 100 : 5000);
        const QByteArray block = randomBytes(rng, size);
        const uint skipStart = uint(rng.bounded(size));
        const uint skipLength = uint(rng.bounded(size + 10));
        const int first = int(skipStart == 0 ? 0 : skipStart - 1);
        const QByteArray kept = block.left(first) + block.mid(int(qMin<qint64>(size, qint64(first) + skipLength)));
        QCOMPARE(tarvel_crc32_rec(block.constData(), unsigned(size), skipStart, skipLength), zlibCrc(0, kept));
    }
}

QTEST_GUILESS_MAIN(TestCrc32)
#include "tst_crc32.moc"
