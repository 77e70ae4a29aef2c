// JSON parse and serialize of documents of several shapes, each beside Qt's
// own JSON classes doing the same job (text -> variant tree, variant tree ->
// text), registered as <operation>/<shape>.
#include <benchmark/benchmark.h>

#include <QJsonDocument>

#include <configurator-common/json.h>

#include "devicerecords.h"
#include "jsonshapes.h"

#include <string>

namespace {

const qint64 kDocumentBytes = 3 * 1000 * 1000;
const int kShapes = ShapeCount + 1; // the device records come last

struct Document
{
    QVariant tree;
    QByteArray utf8;
    QString text;
};

const char* shapeName(int shape)
{
    return shape < ShapeCount ? jsonShapeName(JsonShape(shape)) : "device_records";
}

// Built once per shape, outside the timed loops.
const Document& document(int shape)
{
    static QMap<int, Document> cache;
    auto it = cache.find(shape);
    if (it == cache.end()) {
        Document d;
        if (shape < ShapeCount)
            d.tree = makeJsonShape(JsonShape(shape), kDocumentBytes);
        else
            d.tree = makeDeviceRecords(deviceRecordsForBytes(kDocumentBytes));
        d.utf8 = QtJson::Json::serialize(d.tree);
        d.text = QString::fromUtf8(d.utf8);
        it = cache.insert(shape, d);
    }
    return *it;
}

void setCounters(benchmark::State& state, const Document& d)
{
    state.SetBytesProcessed(state.iterations() * d.utf8.size());
    state.counters["doc_MB"] = double(d.utf8.size()) / 1e6;
}

void jsonParse(benchmark::State& state, int shape)
{
    const Document& d = document(shape);
    for (auto _ : state) {
        bool ok = false;
        QVariant v = QtJson::Json::parse(d.text, ok);
        benchmark::DoNotOptimize(v);
        if (!ok)
            state.SkipWithError("parse failed");
    }
    setCounters(state, d);
}

// The same starting from the UTF-8 bytes, as a reply arrives from a device
// and where Qt's reader starts.
void jsonParseUtf8(benchmark::State& state, int shape)
{
    const Document& d = document(shape);
    for (auto _ : state) {
        QVariant v = QtJson::Json::parse(QString::fromUtf8(d.utf8));
        benchmark::DoNotOptimize(v);
    }
    setCounters(state, d);
}

void qtJsonParse(benchmark::State& state, int shape)
{
    const Document& d = document(shape);
    for (auto _ : state) {
        QVariant v = QJsonDocument::fromJson(d.utf8).toVariant();
        benchmark::DoNotOptimize(v);
    }
    setCounters(state, d);
}

void jsonSerialize(benchmark::State& state, int shape)
{
    const Document& d = document(shape);
    for (auto _ : state) {
        QByteArray out = QtJson::Json::serialize(d.tree);
        benchmark::DoNotOptimize(out);
    }
    setCounters(state, d);
}

void qtJsonSerialize(benchmark::State& state, int shape)
{
    const Document& d = document(shape);
    for (auto _ : state) {
        QByteArray out = QJsonDocument::fromVariant(d.tree).toJson(QJsonDocument::Compact);
        benchmark::DoNotOptimize(out);
    }
    setCounters(state, d);
}

} // namespace

int main(int argc, char** argv)
{
    const struct {
        const char* name;
        void (*run)(benchmark::State&, int);
    } kOperations[] = {
        { "JsonParse", jsonParse },         { "JsonParseUtf8", jsonParseUtf8 },
        { "QtJsonParse", qtJsonParse },     { "JsonSerialize", jsonSerialize },
        { "QtJsonSerialize", qtJsonSerialize },
    };
    for (int shape = 0; shape < kShapes; ++shape) {
        for (const auto& op : kOperations) {
            const std::string name = std::string(op.name) + "/" + shapeName(shape);
            benchmark::RegisterBenchmark(name.c_str(), op.run, shape)->Unit(benchmark::kMillisecond);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
