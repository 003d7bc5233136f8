#include "analysis.hpp"
#include "commands.hpp"
#include "report.hpp"

namespace quorvane {

Outcome check(Args args) {
    // Files are the positional arguments, as for every other command, so a `--top` value names
    // a cell and is not taken for a second file.
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"check needs exactly one file"};
    }
    auto analysis = quorvane_dsl::analyze(files[0]);
    if (!analysis) {
        return Error{analysis.error()};
    }
    if (!report(*analysis)) {
        return Fail{};
    }
    // Evaluation never reads the checker's types, and nothing after it does.
    analysis->types = {};
    return evaluate_for_diagnostics(*analysis, flag_values(args, "--top")) ? Outcome{Pass{}}
                                                                           : Outcome{Fail{}};
}

} // namespace quorvane
