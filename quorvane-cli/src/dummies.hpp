// The `--dummy` rules of a command, run over the loaded design before it is printed or written.
#pragma once

#include <expected>
#include <string>

#include "args.hpp"
#include "ir/model.hpp"

namespace quorvane {

// Parses every `--dummy` rule (all before any fill), fills the library and prints one summary
// line per rule and top cell on standard error. The lines report the fill, not a written file,
// so they come as soon as it is done. On an error the library must not be written.
std::expected<void, std::string> add_dummies(quorvane_dsl::ir::Library& library, Args args);

} // namespace quorvane
