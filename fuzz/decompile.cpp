// The source decompiled from an imported stream, unless the decompiler warns that it did not
// parse, analyses without errors and evaluates to a library or stops at the evaluation limit
// only, which is lowered so that large arrays end quickly.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "analyse.hpp"
#include "decompile/decompile.hpp"
#include "diag/diag.hpp"
#include "eval/eval.hpp"
#include "fuzz.hpp"
#include "read.hpp"
#include "syntax/parser.hpp"

namespace diag = quorvane_dsl::diag;

namespace {

bool did_not_parse(const std::vector<std::string>& warnings) {
    return std::ranges::any_of(warnings, [](const std::string& warning) {
        return warning.starts_with("the generated source did not parse");
    });
}

// Errors other than the lowered evaluation limit.
bool unexpected_error(const std::vector<diag::Diagnostic>& diagnostics) {
    return std::ranges::any_of(diagnostics, [](const diag::Diagnostic& d) {
        return d.severity == diag::Severity::Error &&
               !d.message.starts_with("evaluation limit exceeded");
    });
}

void show(const std::string& text, const quorvane_dsl::hir::Hir& hir,
          const std::vector<diag::Diagnostic>& diagnostics) {
    std::fprintf(stderr, "%s\n", text.c_str());
    for (const diag::Diagnostic& diagnostic : diagnostics) {
        std::fprintf(stderr, "%s\n", diag::render(hir.files.files, diagnostic).c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto imported = quorvane_dsl_gds::read::read_gds(std::vector(data, data + size));
    if (!imported) {
        return 0;
    }
    const auto decompiled = quorvane_dsl::decompile::decompile(imported->library, nullptr);
    if (did_not_parse(decompiled.warnings)) {
        return 0;
    }
    const std::string& text = decompiled.text;
    const auto analysis = quorvane_fuzz::analyse(text, quorvane_dsl::syntax::parser::parse(text));
    if (quorvane_fuzz::has_error(analysis.hir.diagnostics)) {
        show(text, analysis.hir, analysis.hir.diagnostics);
    }
    QV_FUZZ_CHECK(!quorvane_fuzz::has_error(analysis.hir.diagnostics));
    const auto result = quorvane_dsl::eval::evaluate(
        analysis, {.tops = {}, .step_limit = quorvane_fuzz::step_limit});
    if (unexpected_error(result.diagnostics)) {
        show(text, analysis.hir, result.diagnostics);
    }
    QV_FUZZ_CHECK(!unexpected_error(result.diagnostics));
    return 0;
}
