#include <benchmark/benchmark.h>

#include "design.hpp"
#include "dummy/dummy.hpp"

namespace {

using namespace quorvane_dsl;

// 1 um tiles on a 2 um pitch, 1 um from every shape: 6.25 million grid positions.
void BM_DummyFill(benchmark::State& state) {
    const ir::Library design = bench_dummy::design();
    const dummy::Rule rule{
        .layer = std::string("metal"), .size = 1000, .space = 1000, .keepout = 1000};
    std::uint64_t tiles = 0;
    for (auto _ : state) {
        state.PauseTiming();
        ir::Library library = design;
        state.ResumeTiming();
        tiles = dummy::generate(library, {rule}).value()[0].tiles;
        benchmark::DoNotOptimize(library);
    }
    state.counters["tiles"] = static_cast<double>(tiles);
}
BENCHMARK(BM_DummyFill)->Unit(benchmark::kMillisecond);

} // namespace
