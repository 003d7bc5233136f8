#include "analysis.hpp"
#include "commands.hpp"
#include "load.hpp"
#include "report.hpp"

namespace quorvane {

namespace {

// The analysis of a large source is millions of allocations; freeing them one by one as the
// command ends costs more than the system's taking the whole process back at once. The last one
// stays reachable from here, so leak checkers do not count it.
quorvane_dsl::Analysis& keep_until_exit(quorvane_dsl::Analysis analysis) {
    static quorvane_dsl::Analysis* kept = nullptr;
    delete kept;
    kept = new quorvane_dsl::Analysis(std::move(analysis));
    return *kept;
}

} // namespace

Outcome check(Args args) {
    // Files are the positional arguments, as for every other command, so a `--top` value names
    // a cell and is not taken for a second file.
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"check needs exactly one file"};
    }
    auto analyzed = quorvane_dsl::analyze(files[0], command_analysis);
    if (!analyzed) {
        return Error{analyzed.error()};
    }
    quorvane_dsl::Analysis& analysis = keep_until_exit(std::move(*analyzed));
    if (!report(analysis)) {
        return Fail{};
    }
    return evaluate_for_diagnostics(analysis, flag_values(args, "--top")) ? Outcome{Pass{}}
                                                                          : Outcome{Fail{}};
}

} // namespace quorvane
