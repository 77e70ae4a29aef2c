// CRC-32 throughput beside zlib's crc32, over one large buffer and over 4 KiB
// blocks; the portable table path is measured too.
#include <benchmark/benchmark.h>

#include <zlib.h>

#include <configurator-common/crc32.h>
#include "crc32_p.h"

#include <cstdint>
#include <random>
#include <vector>

namespace {

const std::size_t kLargeBytes = std::size_t(64) << 20;
const std::size_t kBlockBytes = 4096;

const std::vector<unsigned char>& buffer()
{
    static const std::vector<unsigned char> data = [] {
        std::vector<unsigned char> d(kLargeBytes);
        std::mt19937 rng(7);
        for (auto& b : d)
            b = static_cast<unsigned char>(rng());
        return d;
    }();
    return data;
}

template <typename Crc>
void runLarge(benchmark::State& state, Crc crc)
{
    const auto& data = buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(crc(0, data.data(), data.size()));
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(data.size()));
}

// Chained over the buffer in 4 KiB blocks, as a stream would be.
template <typename Crc>
void runBlocks(benchmark::State& state, Crc crc)
{
    const auto& data = buffer();
    const std::size_t blocks = kLargeBytes / kBlockBytes / 16;
    for (auto _ : state) {
        unsigned int sum = 0;
        for (std::size_t i = 0; i < blocks; ++i)
            sum = crc(sum, data.data() + i * kBlockBytes, kBlockBytes);
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(blocks * kBlockBytes));
}

unsigned int ours(unsigned int crc, const unsigned char* p, std::size_t n)
{
    return tarvel_crc32_stream(crc, p, unsigned(n));
}

unsigned int zlib(unsigned int crc, const unsigned char* p, std::size_t n)
{
    return unsigned(crc32(crc, p, uInt(n)));
}

unsigned int portable(unsigned int crc, const unsigned char* p, std::size_t n)
{
    return ~Crc32Internal::updatePortable(~crc, p, n);
}

void BM_Crc32_64MiB(benchmark::State& state) { runLarge(state, ours); }
void BM_Zlib_64MiB(benchmark::State& state) { runLarge(state, zlib); }
void BM_Crc32Portable_64MiB(benchmark::State& state) { runLarge(state, portable); }
void BM_Crc32_4KiB(benchmark::State& state) { runBlocks(state, ours); }
void BM_Zlib_4KiB(benchmark::State& state) { runBlocks(state, zlib); }
void BM_Crc32Portable_4KiB(benchmark::State& state) { runBlocks(state, portable); }

} // namespace

BENCHMARK(BM_Crc32_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Zlib_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32Portable_64MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc32_4KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Zlib_4KiB)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Crc32Portable_4KiB)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
