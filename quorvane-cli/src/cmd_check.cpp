#include "analysis.hpp"
#include "commands.hpp"
#include "report.hpp"

namespace quorvane {

Outcome check(Args args) {
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        // Option values are not skipped: a `--top` value counts as a file here.
        if (!arg.starts_with("--")) {
            files.push_back(arg);
        }
    }
    if (files.size() != 1) {
        return Error{"check needs exactly one file"};
    }
    auto analysis = quorvane_dsl::analyze(files[0]);
    if (!analysis) {
        return Error{analysis.error()};
    }
    // Evaluation joins here once the evaluator lands; until then analysis is the whole check.
    return report(*analysis) ? Outcome{Pass{}} : Outcome{Fail{}};
}

} // namespace quorvane
