#include <QRandomGenerator>
#include <QTest>

#include <zlib.h>

#include <configurator-common/crc32.h>
#include "crc32_p.h"

unsigned int zlibCrc(unsigned int crc, const QByteArray& bytes)
{
    return unsigned(crc32(crc, reinterpret_cast<const Bytef*>(bytes.constData()), uInt(bytes.size())));
}

class TestCrc32 : public QObject
{
    Q_OBJECT
private slots:
    // Both methods (the slicing table, and carry-less multiplication where the
    // processor has it) and the public functions over random contents, lengths
    // up to every stage of both methods, alignments, starting registers, stream
    // pieces and gaps, against zlib.
    void agreesWithZlib()
    {
        QRandomGenerator rng(1);
        QByteArray buffer(256 * 1024, Qt::Uninitialized);
        rng.fillRange(reinterpret_cast<quint32*>(buffer.data()), buffer.size() / 4);
        for (int round = 0; round < 3000; ++round) {
            const int length = rng.bounded(QVector<int>{ 20, 300, 5000, 200000 }.at(rng.bounded(4)));
            const int offset = rng.bounded(buffer.size() - length + 1);
            const quint32 start = round % 4 == 0 ? 0 : rng.generate();
            const QByteArray slice = buffer.mid(offset, length);
            const auto bytes = reinterpret_cast<const unsigned char*>(buffer.constData()) + offset;
            QCOMPARE(~Crc32Internal::updatePortable(~start, bytes, size_t(length)), zlibCrc(start, slice));
            if (Crc32Internal::hasClmul())
                QCOMPARE(~Crc32Internal::updateClmul(~start, bytes, size_t(length)), zlibCrc(start, slice));
            if (round % 10)
                continue;
            QCOMPARE(tarvel_crc32(slice.constData(), unsigned(length)), zlibCrc(0, slice));
            unsigned int crc = 0;
            for (int at = 0, piece = 0; at < length; at += piece) {
                piece = qMin(length - at, rng.bounded(700));
                crc = tarvel_crc32_stream(crc, slice.constData() + at, unsigned(piece));
            }
            QCOMPARE(crc, zlibCrc(0, slice));
            // The gap starts at byte skipStart, counted from 1 (0 counts as 1); at or
            // past the end of the block the result is 0xFFFFFFFF.
            const uint skipStart = uint(rng.bounded(length + 1)), skipLength = uint(rng.bounded(length + 10));
            const int first = int(skipStart == 0 ? 0 : skipStart - 1);
            const QByteArray kept = slice.left(first) + slice.mid(int(qMin<qint64>(length, qint64(first) + skipLength)));
            QCOMPARE(tarvel_crc32_rec(slice.constData(), unsigned(length), skipStart, skipLength),
                     skipStart >= uint(length) ? 0xFFFFFFFFu : zlibCrc(0, kept));
        }
        QCOMPARE(tarvel_crc32_rec("abcdef", 6, 2, 0xFFFFFFFFu), tarvel_crc32("a", 1)); // no wrap
    }
};

QTEST_GUILESS_MAIN(TestCrc32)
#include "tst_crc32.moc"
