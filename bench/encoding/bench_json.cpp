// JSON parse and serialize of generated device records, each beside Qt's own
// JSON classes doing the same job (text -> variant tree, variant tree -> text).
#include <benchmark/benchmark.h>

#include <QJsonDocument>

#include <configurator-common/json.h>

#include "devicerecords.h"

namespace {

const qint64 kKiB = 1024;

struct Document
{
    QVariant tree;
    QByteArray utf8;
    QString text;
};

// Built once per size, outside the timed loops.
const Document& document(qint64 kib)
{
    static QMap<qint64, Document> cache;
    auto it = cache.find(kib);
    if (it == cache.end()) {
        Document d;
        d.tree = makeDeviceRecords(deviceRecordsForBytes(kib * kKiB));
        d.utf8 = QtJson::Json::serialize(d.tree);
        d.text = QString::fromUtf8(d.utf8);
        it = cache.insert(kib, d);
    }
    return *it;
}

void setCounters(benchmark::State& state, const Document& d)
{
    state.SetBytesProcessed(state.iterations() * d.utf8.size());
    state.counters["doc_MB"] = double(d.utf8.size()) / 1e6;
}

void BM_JsonParse(benchmark::State& state)
{
    const Document& d = document(state.range(0));
    for (auto _ : state) {
        bool ok = false;
        QVariant v = QtJson::Json::parse(d.text, ok);
        benchmark::DoNotOptimize(v);
        if (!ok)
            state.SkipWithError("parse failed");
    }
    setCounters(state, d);
}

// The same starting from the UTF-8 bytes, as a reply arrives from a device.
void BM_JsonParseUtf8(benchmark::State& state)
{
    const Document& d = document(state.range(0));
    for (auto _ : state) {
        QVariant v = QtJson::Json::parse(QString::fromUtf8(d.utf8));
        benchmark::DoNotOptimize(v);
    }
    setCounters(state, d);
}

void BM_QtJsonParse(benchmark::State& state)
{
    const Document& d = document(state.range(0));
    for (auto _ : state) {
        QVariant v = QJsonDocument::fromJson(d.utf8).toVariant();
        benchmark::DoNotOptimize(v);
    }
    setCounters(state, d);
}

void BM_JsonSerialize(benchmark::State& state)
{
    const Document& d = document(state.range(0));
    for (auto _ : state) {
        QByteArray out = QtJson::Json::serialize(d.tree);
        benchmark::DoNotOptimize(out);
    }
    setCounters(state, d);
}

void BM_QtJsonSerialize(benchmark::State& state)
{
    const Document& d = document(state.range(0));
    for (auto _ : state) {
        QByteArray out = QJsonDocument::fromVariant(d.tree).toJson(QJsonDocument::Compact);
        benchmark::DoNotOptimize(out);
    }
    setCounters(state, d);
}

// Document sizes in KiB: 100 KB to 10 MB.
void sizes(benchmark::internal::Benchmark* b)
{
    for (qint64 kib : { 100, 300, 1000, 3000, 10000 })
        b->Arg(kib);
    b->Unit(benchmark::kMillisecond);
}

} // namespace

BENCHMARK(BM_JsonParse)->Apply(sizes);
BENCHMARK(BM_JsonParseUtf8)->Apply(sizes);
BENCHMARK(BM_QtJsonParse)->Apply(sizes);
BENCHMARK(BM_JsonSerialize)->Apply(sizes);
BENCHMARK(BM_QtJsonSerialize)->Apply(sizes);

BENCHMARK_MAIN();
