#include "report.hpp"

#include <iostream>

#include "diag/diag.hpp"
#include "eval/eval.hpp"
#include "source/source.hpp"

namespace quorvane {

void print_syntax_errors(const std::string& path, std::string_view text,
                         std::span<const quorvane_dsl::syntax::SyntaxError> errors) {
    namespace diag = quorvane_dsl::diag;
    quorvane_dsl::source::Files files;
    const quorvane_dsl::source::FileId file = files.add(path, std::string(text));
    for (const auto& error : errors) {
        const diag::Diagnostic diagnostic{.message = error.message,
                                          .notes = {},
                                          .src = {error.range, file},
                                          .severity = diag::Severity::Error};
        std::cerr << diag::render(files.files, diagnostic);
    }
}

bool report(const quorvane_dsl::Analysis& analysis) {
    namespace diag = quorvane_dsl::diag;
    bool clean = true;
    for (const diag::Diagnostic& diagnostic : analysis.hir.diagnostics) {
        std::cerr << diag::render(analysis.hir.files.files, diagnostic);
        clean = clean && diagnostic.severity != diag::Severity::Error;
    }
    return clean;
}

std::optional<quorvane_dsl::ir::Library> evaluate(const quorvane_dsl::Analysis& analysis,
                                                  std::vector<std::string> tops) {
    auto result = quorvane_dsl::eval::evaluate(analysis, {std::move(tops)});
    for (const auto& diagnostic : result.diagnostics) {
        std::cerr << quorvane_dsl::diag::render(analysis.hir.files.files, diagnostic);
    }
    return std::move(result.library);
}

} // namespace quorvane
