// Parsing generated sources of about 1 MB: all statement forms, deep expressions, comments.

#include <string>

#include <benchmark/benchmark.h>

#include "syntax/parser.hpp"

namespace {

using quorvane_dsl::syntax::parser::parse;

std::string cell_text(int index) {
    const std::string n = std::to_string(index);
    return "# cell " + n +
           "\n"
           "cell c" +
           n +
           "(w size = 500nm, n integer = 3) {\n"
           "    attribute { kind \"block\" }\n"
           "    marker { p { at (0, 0, 90deg); with kind = \"port\" } }\n"
           "    layer si {\n"
           "        shape rect with width = w * 2 + 1um, height = (w - 10nm) / 2 as r" +
           n +
           " at (0, 0)\n"
           "        shape union(r" +
           n +
           ", circle(3um)), rect(1um, 1um) as u at (1um, 2um)"
           " rotate 90deg mirror\n"
           "        for i in 0..n { if i % 2 == 0 && !false { clone r" +
           n +
           " as k at (i * 5um, 0) } }\n"
           "    }\n"
           "    place c0 with w = 1um at (10um, -5um) offset (1um, 1um) as inst\n"
           "    place { inst.marker.p[0] at (0, 0) }\n"
           "}\n";
}

std::string generated_source(std::size_t size) {
    std::string text = "define layer { si { gds 1/0 } }\ndefine pitch = 150um\n";
    for (int i = 0; text.size() < size; ++i) {
        text += cell_text(i);
    }
    return text;
}

void BM_Parse(benchmark::State& state) {
    const std::string text = generated_source(1 << 20);
    for (auto _ : state) {
        auto parsed = parse(text);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

// A long left-associative chain: every operator wraps the events of all before it.
void BM_ParseOperatorChain(benchmark::State& state) {
    std::string text = "define x = 1";
    for (int i = 0; i < 900; ++i) {
        text += " + a";
    }
    for (auto _ : state) {
        auto parsed = parse(text);
        benchmark::DoNotOptimize(parsed);
    }
}
BENCHMARK(BM_ParseOperatorChain)->Unit(benchmark::kMicrosecond);

} // namespace
