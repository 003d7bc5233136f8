#include "report.hpp"

#include <algorithm>
#include <iostream>
#include <map>

#include "diag/diag.hpp"
#include "eval/eval.hpp"
#include "source/source.hpp"

namespace quorvane {

namespace {

namespace diag = quorvane_dsl::diag;
namespace source = quorvane_dsl::source;

// Prints diagnostics on standard error up to the limit of errors per file: a file of stray
// characters would otherwise print far more than its own size.
class Printer {
  public:
    explicit Printer(std::span<const source::SourceFile> files) : files_(files) {}

    void print(const diag::Diagnostic& diagnostic) {
        if (diagnostic.severity == diag::Severity::Error &&
            ++errors_[diagnostic.src.file.index] > diag::shown_errors_per_file) {
            return;
        }
        std::cerr << diag::render(files_, diagnostic);
    }

    // One line per file whose errors were cut off, saying how many were not shown.
    void finish() const {
        for (const auto& [file, count] : errors_) {
            if (count > diag::shown_errors_per_file) {
                std::cerr << "error: " << count - diag::shown_errors_per_file << " more errors in "
                          << source::file_at(files_, source::FileId{file}).name << " not shown\n";
            }
        }
    }

  private:
    std::span<const source::SourceFile> files_;
    std::map<std::uint32_t, std::size_t> errors_;
};

// The evaluator's diagnostics in its order; they come unsorted and are never cut off.
void print_evaluation(const quorvane_dsl::Analysis& analysis,
                      const std::vector<diag::Diagnostic>& diagnostics) {
    for (const auto& diagnostic : diagnostics) {
        std::cerr << diag::render(analysis.hir.files.files, diagnostic);
    }
}

} // namespace

void print_syntax_errors(const std::string& path, std::string_view text,
                         std::span<const quorvane_dsl::syntax::SyntaxError> errors) {
    source::Files files;
    const source::FileId file = files.add(path, std::string(text));
    Printer printer(files.files);
    for (const auto& error : errors) {
        printer.print({.message = error.message,
                       .notes = {},
                       .src = {error.range, file},
                       .severity = diag::Severity::Error});
    }
    printer.finish();
}

bool report(const quorvane_dsl::Analysis& analysis) {
    bool clean = true;
    Printer printer(analysis.hir.files.files);
    for (const diag::Diagnostic& diagnostic : analysis.hir.diagnostics) {
        printer.print(diagnostic);
        clean = clean && diagnostic.severity != diag::Severity::Error;
    }
    printer.finish();
    return clean;
}

std::optional<quorvane_dsl::ir::Library> evaluate(const quorvane_dsl::Analysis& analysis,
                                                  std::vector<std::string> tops) {
    auto result = quorvane_dsl::eval::evaluate(analysis, {.tops = std::move(tops)});
    print_evaluation(analysis, result.diagnostics);
    return std::move(result.library);
}

bool evaluate_for_diagnostics(const quorvane_dsl::Analysis& analysis,
                              std::vector<std::string> tops) {
    const auto result =
        quorvane_dsl::eval::evaluate(analysis, {.tops = std::move(tops), .keep_library = false});
    print_evaluation(analysis, result.diagnostics);
    // An analysis with errors is not evaluated at all: no diagnostics come back for it.
    return !diag::has_error(analysis.hir.diagnostics) && !diag::has_error(result.diagnostics);
}

} // namespace quorvane
