#include "analysis.hpp"

#include <algorithm>
#include <tuple>

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

std::expected<Analysis, std::string> analyze(const std::string& path) {
    auto loaded = load::load(path);
    if (!loaded) {
        return std::unexpected(std::move(loaded.error()));
    }
    Analysis analysis{.hir = lower::lower(std::move(*loaded))};
    sort_diagnostics(analysis.hir.diagnostics);
    return analysis;
}

} // namespace quorvane_dsl
