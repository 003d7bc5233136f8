// The `--dummy` rules of a command, run over the loaded design before it is printed or written.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "args.hpp"
#include "ir/model.hpp"

namespace quorvane {

// Parses every `--dummy` rule (all before any fill) and fills the library; gives one summary
// line per rule and top cell, to be printed once the library is written, not before. On an
// error the library must not be written.
std::expected<std::vector<std::string>, std::string> add_dummies(quorvane_dsl::ir::Library& library,
                                                                 Args args);

// The summary lines on standard error.
void print_dummy_summaries(const std::vector<std::string>& lines);

} // namespace quorvane
