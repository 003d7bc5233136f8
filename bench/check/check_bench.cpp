// Analysing about 10 MB of generated source that checks clean: parsing, lowering and checking
// together, and checking alone on the lowered program.

#include <benchmark/benchmark.h>

#include <string>

#include "check/check.hpp"
#include "lower/lower.hpp"
#include "syntax/parser.hpp"

namespace {

using namespace quorvane_dsl;

// One cell using every statement form the checker has rules for.
std::string cell_text(int index) {
    const std::string n = std::to_string(index);
    const std::string prev = std::to_string(index == 0 ? 0 : index - 1);
    std::string text = "cell c" + n + "(w size = 500nm, count integer = 3) {\n";
    text +=
        "    param { gap = 2um }\n"
        "    attribute { kind \"block\"; area w * (w + gap) }\n"
        "    marker { p { at (0, 0, 90deg); with kind = \"port\", width = w } }\n"
        "    layer si {\n"
        "        shape rect with width = w * 2 + 1um, height = (w - 10nm) / 2 as r at (0, 0)\n"
        "        shape circle with radius = 3um, segments = 32 as c at (5um, 0)\n"
        "        shape r + 1um, \"round\" as grown\n"
        "        shape r | c as both\n"
        "        shape path with points = [(0, 0), (10um, 0), (10um, 10um)], width = w as route "
        "at (0, 0)\n"
        "    }\n"
        "    shape straight with length = 10um, width = strip(w) as s at (0, 20um)\n"
        "    define xs = [1um, 2um]\n"
        "    for i in 0..count {\n"
        "        if i % 2 == 0 && !false { xs.append(i * pitch + sqrt(w * w)) }\n"
        "    }\n";
    if (index > 0) {
        text += "    place c" + prev +
                " with w = 1um at (10um, -5um) offset (1um, 1um) as inst\n"
                "    place c" +
                prev + ".marker.p[0] at inst.marker.p[0]\n";
    }
    text += "}\n";
    return text;
}

std::string generated_source(std::size_t size) {
    std::string text = "define layer { si { gds 1/0 }; slab { gds 2/0 } }\ndefine pitch = 150um\n"
                       "define xsection strip(w size = 500nm) { si w; slab w + 2um }\n";
    for (int i = 0; text.size() < size; ++i) {
        text += cell_text(i);
    }
    return text;
}

hir::Hir lowered(const std::string& text) {
    load::Loaded loaded;
    const source::FileId file = loaded.files.add("bench.qvs", text);
    loaded.sources.emplace_back(file, syntax::parser::parse(text));
    return lower::lower(std::move(loaded));
}

const std::string& source_text() {
    static const std::string text = generated_source(10 << 20);
    return text;
}

void BM_ParseLowerCheck(benchmark::State& state) {
    const std::string& text = source_text();
    for (auto _ : state) {
        hir::Hir hir = lowered(text);
        check::Checked checked = check::check(hir);
        if (!hir.diagnostics.empty() || !checked.diagnostics.empty()) {
            state.SkipWithError("the generated source has diagnostics");
        }
        benchmark::DoNotOptimize(checked);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_ParseLowerCheck)->Unit(benchmark::kMillisecond);

void BM_Check(benchmark::State& state) {
    const std::string& text = source_text();
    const hir::Hir hir = lowered(text);
    for (auto _ : state) {
        check::Checked checked = check::check(hir);
        benchmark::DoNotOptimize(checked);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_Check)->Unit(benchmark::kMillisecond);

} // namespace
