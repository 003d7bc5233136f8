#include "analysis.hpp"

#include <algorithm>
#include <iterator>
#include <tuple>

#include "check/check.hpp"
#include "load/load.hpp"
#include "lower/lower.hpp"

namespace quorvane_dsl {

void sort_diagnostics(std::vector<diag::Diagnostic>& diagnostics) {
    std::stable_sort(diagnostics.begin(), diagnostics.end(),
                     [](const diag::Diagnostic& a, const diag::Diagnostic& b) {
                         return std::tuple(a.src.file.index, a.src.range.start, a.src.range.end) <
                                std::tuple(b.src.file.index, b.src.range.start, b.src.range.end);
                     });
    diagnostics.erase(std::unique(diagnostics.begin(), diagnostics.end()), diagnostics.end());
}

std::expected<Analysis, std::string> analyze(const std::string& path, AnalysisOptions options) {
    auto loaded = load::load(path);
    if (!loaded) {
        return std::unexpected(std::move(loaded.error()));
    }
    return analyze_loaded(std::move(*loaded), options);
}

Analysis analyze_loaded(load::Loaded loaded, AnalysisOptions options) {
    Analysis analysis{.hir = lower::lower(std::move(loaded), options.lowering)};
    check::Checked checked = check::check(analysis.hir, {.expr_types = options.types});
    auto& diagnostics = analysis.hir.diagnostics;
    diagnostics.insert(diagnostics.end(), std::make_move_iterator(checked.diagnostics.begin()),
                       std::make_move_iterator(checked.diagnostics.end()));
    sort_diagnostics(diagnostics);
    if (options.types) {
        analysis.types = std::move(checked.types);
    }
    return analysis;
}

} // namespace quorvane_dsl
