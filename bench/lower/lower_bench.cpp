// Lowering a generated source of about 10 MB against parsing the same text.

#include <benchmark/benchmark.h>

#include <string>

#include "load/load.hpp"
#include "lower/lower.hpp"
#include "syntax/parser.hpp"

namespace {

using namespace quorvane_dsl;

// One cell with every statement form, sections, a cross-section and a constant of its own.
std::string cell_text(int index) {
    const std::string n = std::to_string(index);
    const std::string prev = std::to_string(index > 0 ? index - 1 : 0);
    return "define k" + n + " = pitch * " + n + " + 1um\n" + "define xsection wg" + n +
           "(w size = 500nm, g = w / 2) {\n"
           "    si w\n    slab w + 2um offset g\n    with bend = 5um\n}\n"
           "cell c" +
           n +
           "(w size = 500nm, n integer = 3) {\n"
           "    param { depth = 2um }\n"
           "    attribute { kind \"block\"; size w * 2 }\n"
           "    marker { p { at (0, 0, 90deg); with kind = \"port\", width = w } }\n"
           "    define total = 0\n"
           "    layer si {\n"
           "        shape rect with width = w * 2 + 1um, height = (w - 10nm) / 2 as r at (0, 0)\n"
           "        shape r + 1um, \"round\" as grown\n"
           "        shape path with points = [(0, 0), (w, 0), (w, depth)], width = w as line.start"
           " at (1um, 2um) rotate 90deg mirror\n"
           "        clone r as copy at (5um, 0) offset (1um, 1um)\n"
           "        for i in 0..n {\n"
           "            if i % 2 == 0 && !false { total = total + i }"
           " else if i > 5 { total = total - 1 } else { sqrt(4) }\n"
           "            define step = min(i * 5um, k" +
           n +
           ")\n"
           "        }\n"
           "    }\n"
           "    place c" +
           prev +
           " with w = 1um at (10um, -5um) offset (1um, 1um) as inst\n"
           "    place* { inst.p at (0, 0); c" +
           prev +
           " at (pitch, 0) rotate 180deg }\n"
           "    define names = [\"a\", \"b\", str(n)]\n"
           "}\n";
}

std::string generated_source(std::size_t size) {
    std::string text = "define layer { si { gds 1/0 }; slab { gds 2/0 } }\ndefine pitch = 150um\n";
    for (int i = 0; text.size() < size; ++i) {
        text += cell_text(i);
    }
    return text;
}

const std::string& source_text() {
    static const std::string text = generated_source(10 << 20);
    return text;
}

void BM_Parse(benchmark::State& state) {
    const std::string& text = source_text();
    for (auto _ : state) {
        auto parsed = syntax::parser::parse(text);
        benchmark::DoNotOptimize(parsed);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Parse)->Unit(benchmark::kMillisecond);

void BM_Lower(benchmark::State& state) {
    const std::string& text = source_text();
    const syntax::parser::Parse parsed = syntax::parser::parse(text);
    std::size_t diagnostics = 0;
    for (auto _ : state) {
        // Lowering takes the loaded program whole; the tree itself is shared, not copied.
        state.PauseTiming();
        load::Loaded loaded;
        loaded.sources.emplace_back(loaded.files.add("bench.qvs", text), parsed);
        state.ResumeTiming();
        hir::Hir hir = lower::lower(std::move(loaded));
        diagnostics = hir.diagnostics.size();
        benchmark::DoNotOptimize(hir);
        state.PauseTiming();
        { const hir::Hir dropped = std::move(hir); }
        state.ResumeTiming();
    }
    state.counters["diagnostics"] = static_cast<double>(diagnostics);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Lower)->Unit(benchmark::kMillisecond);

} // namespace
