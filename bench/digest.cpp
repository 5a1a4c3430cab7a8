// RIPEMD-160 throughput over buffers of a few sizes.
#include "core/digest.h"

#include <benchmark/benchmark.h>

#include <vector>

static void ripemd160_throughput(benchmark::State &state)
{
    std::vector<uint8_t> data(state.range(0));
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(i * 131 + 7);
    Ripemd160Context context;
    for (auto _ : state) {
        ripemd160_init(&context);
        ripemd160_update(&context, data.data(), (int)data.size());
        ripemd160_final(&context);
        benchmark::DoNotOptimize(context.digest);
    }
    state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)data.size());
}
BENCHMARK(ripemd160_throughput)->Arg(64)->Arg(4096)->Arg(1 << 20);

BENCHMARK_MAIN();
