// Two-operand and prefix operators on values that are not shapes: the dimension arithmetic.
#pragma once

#include <expected>
#include <string>

#include "eval/value.hpp"
#include "hir/expr.hpp"

namespace quorvane_dsl::eval {

// The value of `lhs op rhs`, or the message that refuses it. `&&`, `||` and the shape operators
// never arrive here.
std::expected<Value, std::string> apply_binary(hir::BinOp op, const Value& lhs, const Value& rhs);

// The value of `-v` or `!v`, or the message that refuses it.
std::expected<Value, std::string> apply_prefix(hir::PrefixOp op, Value v);

} // namespace quorvane_dsl::eval
