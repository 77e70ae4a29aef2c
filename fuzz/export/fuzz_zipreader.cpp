// Arbitrary bytes as a ZIP archive: list it, build every entry's information
// and read every entry, through a read-only QBuffer.
#include <configurator-common/zipreader.h>

#include <QBuffer>
#include <QByteArray>

#include <cstddef>
#include <cstdint>

namespace {

void discardMessage(QtMsgType, const QMessageLogContext &, const QString &)
{
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QtMessageHandler previous = qInstallMessageHandler(discardMessage);
    Q_UNUSED(previous);

    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), int(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    ZipReader reader(&buffer);
    const int count = reader.count();
    for (int i = 0; i < count; ++i) {
        const ZipReader::FileInfo info = reader.entryInfoAt(i);
        const QByteArray contents = reader.fileData(info.filePath);
        // Deflate cannot expand more than about 1032:1, so neither may a result.
        if (contents.size() > qMax<qint64>(1, qint64(size) * 1032))
            __builtin_trap();
    }
    reader.fileInfoList();
    return 0;
}
