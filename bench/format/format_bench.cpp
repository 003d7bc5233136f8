// Formatting generated sources of about 1 MB written in a careless layout: aligned tables,
// one-statement blocks to join, continuation lines, comments and blank lines.

#include <string>

#include <benchmark/benchmark.h>

#include "format/format.hpp"
#include "syntax/parser.hpp"

namespace {

std::string cell_text(int index) {
    const std::string n = std::to_string(index);
    return "# cell " + n + "\n\n\ncell c" + n +
           "(w size=500nm,n integer=3){\n"
           "  param {\n    gap size = 200nm\n    count = 2\n    widths [size] = [1um]\n  }\n"
           "  attribute {\n    kind \"block\"\n    version 2\n  }\n"
           "  marker {\n    in_port { at (0, 0, 180deg) }\n    out { at (w, 0) }\n  }\n"
           "  layer si {\n"
           "    shape rect with width=w*2+1um, height=(w-10nm)/2 as r" +
           n +
           " at (0,0)\n"
           "    for i in 0..n {\n      clone r" +
           n +
           " as k at (i*5um, 0)\n    }\n"
           "    define total = w +\n      2 * w   # continued\n"
           "  }\n"
           "  place {\n    c0 at (0, 0)\n    c1(w = 1um) at (10um, -5um) rotate 90deg\n  }\n"
           "}\n";
}

std::string generated_source(std::size_t size) {
    std::string text = "define layer {\n  si { gds 1/0 }\n  metal { gds 10/0 }\n}\n";
    for (int i = 0; text.size() < size; ++i) {
        text += cell_text(i);
    }
    return text;
}

void BM_Format(benchmark::State& state) {
    const std::string text = generated_source(1 << 20);
    for (auto _ : state) {
        auto formatted = quorvane_dsl::format::format(text);
        benchmark::DoNotOptimize(formatted);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Format)->Unit(benchmark::kMillisecond);

// The layout passes alone, on a tree parsed once.
void BM_FormatNode(benchmark::State& state) {
    const std::string text = generated_source(1 << 20);
    const auto parsed = quorvane_dsl::syntax::parser::parse(text);
    const auto root = parsed.tree();
    for (auto _ : state) {
        auto formatted = quorvane_dsl::format::format_node(root);
        benchmark::DoNotOptimize(formatted);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_FormatNode)->Unit(benchmark::kMillisecond);

} // namespace
