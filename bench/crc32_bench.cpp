// CRC-32 throughput of each path against zlib's crc32() on the same buffers, in one run.
#include "CRC32Core.h"

#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

namespace {

const std::vector<unsigned char>& Buffer()
{
    static const std::vector<unsigned char> buf = [] {
        std::vector<unsigned char> b(1 << 20);
        std::mt19937 rng(1);
        for (auto& x : b) x = static_cast<unsigned char>(rng());
        BuildCRCTable();
        return b;
    }();
    return buf;
}

using UpdateFn = uint32_t (*)(uint32_t, const void*, size_t);

void BM_Crc(benchmark::State& state, UpdateFn fn)
{
    const auto& buf = Buffer();
    const size_t len = static_cast<size_t>(state.range(0));
    if (fn == CRC32UpdatePclmul && !CRC32HasPclmul()) {
        state.SkipWithError("no PCLMULQDQ on this CPU");
        return;
    }
    if (fn == CRC32UpdateVpclmul && !CRC32HasVpclmul()) {
        state.SkipWithError("no VPCLMULQDQ with AVX2 on this CPU");
        return;
    }
    for (auto _ : state) benchmark::DoNotOptimize(fn(0xFFFFFFFFu, buf.data(), len));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

void BM_Zlib(benchmark::State& state)
{
    const auto& buf = Buffer();
    const uInt len = static_cast<uInt>(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(crc32(0L, buf.data(), len));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(len));
}

}  // namespace

BENCHMARK_CAPTURE(BM_Crc, bytewise, CRC32UpdateBytewise)->Arg(1 << 20)->Arg(128 << 10);
BENCHMARK_CAPTURE(BM_Crc, slicing, CRC32UpdateSlicing)->Arg(1 << 20)->Arg(128 << 10);
BENCHMARK_CAPTURE(BM_Crc, pclmul, CRC32UpdatePclmul)->Arg(1 << 20)->Arg(128 << 10);
BENCHMARK_CAPTURE(BM_Crc, vpclmul, CRC32UpdateVpclmul)->Arg(1 << 20)->Arg(128 << 10);
BENCHMARK_CAPTURE(BM_Crc, dispatch, CRC32Update)->Arg(1 << 20)->Arg(128 << 10);
BENCHMARK(BM_Zlib)->Arg(1 << 20)->Arg(128 << 10);

BENCHMARK_MAIN();
