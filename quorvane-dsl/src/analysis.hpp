// The result of analysing a source file: the one seam between analysis and evaluation.
#pragma once

#include <expected>
#include <string>

#include "check/types.hpp"
#include "hir/hir.hpp"
#include "load/load.hpp"
#include "lower/lower.hpp"

namespace quorvane_dsl {

struct Analysis {
    hir::Hir hir; // with the loaded files and every diagnostic, sorted by place
    check::TypeInfo types;
};

// What an analysis keeps beyond what evaluating it reads, for callers that look further.
struct AnalysisOptions {
    lower::Options lowering;
    // Analysis::types. Without them the checker keeps no type per expression, only those of
    // definitions and bindings, which it reads, and they are dropped after checking.
    bool types = true;
};

// Reads `path` and everything it imports, lowers and checks it. Faults in the sources are
// diagnostics in the result; the only failure is a root that cannot be read.
std::expected<Analysis, std::string> analyze(const std::string& path, AnalysisOptions options = {});

// Lowers and checks sources already loaded (and parsed), as `analyze` does after reading.
Analysis analyze_loaded(load::Loaded loaded, AnalysisOptions options = {});

// Orders diagnostics by file and range, keeping the order of making among equals, and drops
// each that repeats the one before it.
void sort_diagnostics(std::vector<diag::Diagnostic>& diagnostics);

} // namespace quorvane_dsl
