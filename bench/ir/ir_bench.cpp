// IR text, digests and footprints on a generated library: one cell of 200000 boxes and 40000
// eight-point polygons, 200 cells of 100 boxes each, and a top cell placing all of them.

#include <random>

#include <benchmark/benchmark.h>

#include "ir/ir.hpp"
#include "signature/signature.hpp"

namespace {

using namespace quorvane_dsl;

ir::Library make_library() {
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::int64_t> place(-10000000, 10000000);
    ir::Library library;
    library.layers = {{"m1", 1, 0}, {"m2", 2, 0}};
    ir::Cell big{.name = "big", .source = "big"};
    for (int i = 0; i < 200000; ++i) {
        const std::int64_t x = place(rng);
        const std::int64_t y = place(rng);
        big.shapes.push_back({0, ir::Geometry{ir::Box{x, y, x + 100, y + 200}}});
    }
    for (int i = 0; i < 40000; ++i) {
        const std::int64_t x = place(rng);
        const std::int64_t y = place(rng);
        big.shapes.push_back({1, ir::Geometry{ir::Polygon{{{x, y},
                                                           {x + 10, y},
                                                           {x + 20, y + 5},
                                                           {x + 20, y + 15},
                                                           {x + 10, y + 20},
                                                           {x, y + 20},
                                                           {x - 5, y + 15},
                                                           {x - 5, y + 5}}}}});
    }
    library.cells.push_back(std::move(big));
    ir::Cell top{.name = "top", .source = "top"};
    top.instances.push_back({.name = "b", .cell = 0});
    for (int c = 0; c < 200; ++c) {
        ir::Cell small{.name = "c" + std::to_string(c), .source = "c"};
        for (int i = 0; i < 100; ++i) {
            small.shapes.push_back({0, ir::Geometry{ir::Box{i, c, i + 5, c + 5}}});
        }
        library.cells.push_back(std::move(small));
        top.instances.push_back(
            {.name = "i" + std::to_string(c), .cell = library.cells.size() - 1, .rotation = 90});
    }
    library.cells.push_back(std::move(top));
    library.tops = {library.cells.size() - 1};
    return library;
}

const ir::Library& library() {
    static const ir::Library lib = make_library();
    return lib;
}

void BM_PrintIr(benchmark::State& state) {
    std::size_t bytes = 0;
    for (auto _ : state) {
        const std::string text = ir::print(library()).value();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_PrintIr)->Unit(benchmark::kMillisecond);

void BM_ParseIr(benchmark::State& state) {
    const std::string text = ir::print(library()).value();
    for (auto _ : state) {
        auto parsed = ir::parse(text);
        benchmark::DoNotOptimize(parsed->cells.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseIr)->Unit(benchmark::kMillisecond);

// 10^5 layers, then one box on each: a lookup per shape must not scan the layers.
void BM_ParseManyLayers(benchmark::State& state) {
    std::string text = "quorvane-ir 1\ndbu 1nm\n";
    constexpr int layers = 100000;
    for (int i = 0; i < layers; ++i) {
        text += "layer l" + std::to_string(i) + " " + std::to_string(i % 256) + "/0\n";
    }
    text += "cell a source=a {\n";
    for (int i = 0; i < layers; ++i) {
        text += "  box l" + std::to_string(i) + " 0 0 1 1\n";
    }
    text += "}\ntop a\n";
    for (auto _ : state) {
        auto parsed = ir::parse(text);
        benchmark::DoNotOptimize(parsed->cells.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseManyLayers)->Unit(benchmark::kMillisecond);

void BM_ContentSignature(benchmark::State& state) {
    for (auto _ : state) {
        signature::Digests digests(library());
        benchmark::DoNotOptimize(digests.content(library().tops[0]));
    }
}
BENCHMARK(BM_ContentSignature)->Unit(benchmark::kMillisecond);

void BM_Footprint(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(signature::footprint(library(), library().tops[0]));
    }
}
BENCHMARK(BM_Footprint)->Unit(benchmark::kMillisecond);

} // namespace
