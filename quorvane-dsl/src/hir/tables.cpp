#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

#include "hir/expr.hpp"
#include "hir/stmt.hpp"

namespace quorvane_dsl::hir {
namespace {

constexpr std::array<std::string_view, builtin_count> builtin_names = {
    "sqrt", "abs", "min",  "max",  "floor", "ceil",  "round", "sign", "pow", "sin",
    "cos",  "tan", "asin", "acos", "atan",  "atan2", "len",   "str",  "pi",
};

constexpr std::array<std::string_view, builtin_count> builtin_signatures = {
    "sqrt(x) — square root; the dimension must be an even power",
    "abs(x) — absolute value",
    "min(a, b, ...) — smallest value; all arguments share a dimension",
    "max(a, b, ...) — largest value; all arguments share a dimension",
    "floor(x) — round down",
    "ceil(x) — round up",
    "round(x) — round to nearest",
    "sign(x) -> number — -1, 0 or 1",
    "pow(x, n) — x to the integer power n",
    "sin(a: angle) -> number",
    "cos(a: angle) -> number",
    "tan(a: angle) -> number",
    "asin(x: number) -> angle",
    "acos(x: number) -> angle",
    "atan(x: number) -> angle",
    "atan2(y, x) -> angle — y and x share a dimension",
    "len(list) -> integer",
    "str(x) -> string",
    "pi: number = 3.14159…",
};

constexpr std::array<std::string_view, 17> binop_texts = {
    "+", "-", "*", "/", "%", "==", "!=", "<", "<=", ">", ">=", "&&", "||", "..", "&", "|", "^",
};

constexpr std::array<std::string_view, primitive_count> primitive_names = {
    "rect",     "polygon",   "regular_polygon", "circle",       "ellipse",
    "ring",     "racetrack", "cross",           "trapezoid",    "path",
    "straight", "arc",       "euler",           "sbend",        "bezier",
    "taper",    "text",      "union",           "intersection", "difference",
    "xor",      "dilate",    "erode",
};

template <class E, std::size_t N>
std::optional<E> by_name(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) {
            return static_cast<E>(i);
        }
    }
    return std::nullopt;
}

} // namespace

std::string_view builtin_name(Builtin builtin) {
    return builtin_names[static_cast<std::size_t>(builtin)];
}

std::string_view builtin_signature(Builtin builtin) {
    return builtin_signatures[static_cast<std::size_t>(builtin)];
}

std::optional<Builtin> builtin_by_name(std::string_view name) {
    return by_name<Builtin>(builtin_names, name);
}

std::string_view binop_text(BinOp op) {
    return binop_texts[static_cast<std::size_t>(op)];
}

std::string_view primitive_name(Primitive primitive) {
    return primitive_names[static_cast<std::size_t>(primitive)];
}

std::optional<Primitive> primitive_by_name(std::string_view name) {
    return by_name<Primitive>(primitive_names, name);
}

} // namespace quorvane_dsl::hir
