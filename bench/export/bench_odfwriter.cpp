// OpenDocument export of generated reports of growing size (n paragraphs of
// formatted runs and a table of n / 10 rows): time, time per paragraph and
// output size.  Qt's own HTML serialisation of the same document is the peer.
#include <benchmark/benchmark.h>

#include <configurator-common/odfwriter.h>

#include <QBuffer>
#include <QMap>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>
#include <QTextTable>

#include <memory>

namespace {

const int kParagraphsPerTableRow = 10;
const int kParagraphsPerList = 20;
const int kTableColumns = 3;

std::unique_ptr<QTextDocument> makeReport(int paragraphs)
{
    auto document = std::make_unique<QTextDocument>();
    QTextCursor cursor(document.get());
    QTextCharFormat plain;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    QTextCharFormat italic;
    italic.setFontItalic(true);
    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);

    for (int i = 0; i < paragraphs; ++i) {
        if (i > 0)
            cursor.insertBlock(QTextBlockFormat(), plain);
        // Every twentieth paragraph starts a short bulleted list.
        if (i % kParagraphsPerList == 1)
            cursor.createList(bullets);
        else if (cursor.currentList() && i % kParagraphsPerList == 5)
            cursor.currentList()->remove(cursor.block());
        cursor.insertText(QStringLiteral("Measurement %1: reading ").arg(i), plain);
        cursor.insertText(QString::number(i * 0.125, 'f', 3), bold);
        cursor.insertText(QStringLiteral(" within  the limit, see note"), plain);
        cursor.insertText(QStringLiteral(" %1.").arg(i % 7), italic);
    }

    cursor.insertBlock(QTextBlockFormat(), plain);
    const int rows = qMax(1, paragraphs / kParagraphsPerTableRow);
    QTextTableFormat tableFormat;
    tableFormat.setHeaderRowCount(1);
    QTextTable *table = cursor.insertTable(rows, kTableColumns, tableFormat);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < kTableColumns; ++c)
            table->cellAt(r, c).firstCursorPosition().insertText(QStringLiteral("r%1c%2").arg(r).arg(c));
    return document;
}

const QTextDocument &report(int paragraphs)
{
    static QMap<int, std::shared_ptr<QTextDocument>> cache;
    if (!cache.contains(paragraphs))
        cache.insert(paragraphs, std::shared_ptr<QTextDocument>(makeReport(paragraphs).release()));
    return *cache.value(paragraphs);
}

void setCounters(benchmark::State &state, int paragraphs, qint64 bytes)
{
    state.counters["paragraphs"] = paragraphs;
    state.counters["output_bytes"] = double(bytes);
    // Seconds per paragraph: flat across sizes when nothing grows with the square.
    state.counters["per_paragraph"] =
        benchmark::Counter(paragraphs, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void exportOdf(benchmark::State &state, bool archive)
{
    const int paragraphs = int(state.range(0));
    const QTextDocument &document = report(paragraphs);
    qint64 bytes = 0;
    for (auto _ : state) {
        QByteArray output;
        QBuffer buffer(&output);
        OdfWriter writer(document, &buffer);
        writer.setCreateArchive(archive);
        if (!writer.writeAll())
            state.SkipWithError("writeAll failed");
        bytes = output.size();
        benchmark::DoNotOptimize(output.data());
    }
    setCounters(state, paragraphs, bytes);
}

void BM_OdfPackage(benchmark::State &state)
{
    exportOdf(state, true);
}

void BM_OdfFlatXml(benchmark::State &state)
{
    exportOdf(state, false);
}

// Peer: Qt serialising the same document as HTML.
void BM_QtToHtml(benchmark::State &state)
{
    const int paragraphs = int(state.range(0));
    const QTextDocument &document = report(paragraphs);
    qint64 bytes = 0;
    for (auto _ : state) {
        const QByteArray html = document.toHtml().toUtf8();
        bytes = html.size();
        benchmark::DoNotOptimize(html.data());
    }
    setCounters(state, paragraphs, bytes);
}

} // namespace

BENCHMARK(BM_OdfPackage)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OdfFlatXml)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QtToHtml)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
