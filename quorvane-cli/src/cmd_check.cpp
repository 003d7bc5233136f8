#include "analysis.hpp"
#include "commands.hpp"
#include "load.hpp"
#include "report.hpp"

namespace quorvane {

Outcome check(Args args) {
    // Files are the positional arguments, as for every other command, so a `--top` value names
    // a cell and is not taken for a second file.
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"check needs exactly one file"};
    }
    auto analysis = quorvane_dsl::analyze(files[0], command_analysis);
    if (!analysis) {
        return Error{analysis.error()};
    }
    if (!report(*analysis)) {
        return Fail{};
    }
    return evaluate(*analysis, flag_values(args, "--top")) ? Outcome{Pass{}} : Outcome{Fail{}};
}

} // namespace quorvane
