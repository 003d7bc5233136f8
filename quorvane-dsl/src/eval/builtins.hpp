// The builtin functions on evaluated arguments, and the text `str` makes of a value.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "eval/value.hpp"
#include "hir/expr.hpp"

namespace quorvane_dsl::eval {

// The result of calling `builtin` with `args` in order, or the message that refuses the call.
std::expected<Value, std::string> call_builtin(hir::Builtin builtin, std::vector<Value> args);

// Integers in decimal, sizes and angles with their units, other quantities as plain numbers,
// bools and strings as themselves, anything else as its kind word in angle brackets.
std::string value_text(const Value& value);

} // namespace quorvane_dsl::eval
