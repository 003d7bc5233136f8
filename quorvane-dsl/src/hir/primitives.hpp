// The parameters of every shape primitive: one table that the checker and the evaluator share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "hir/stmt.hpp"

namespace quorvane_dsl::hir {

// What a primitive parameter accepts.
enum class ParamKind : std::uint8_t {
    Size,
    Angle,
    Number,
    Integer,
    String,
    Points,
    Shapes,
    SizeOrXSection,
};

struct PrimitiveParam {
    std::string_view name;
    // The only words a string argument may be; empty for every other parameter.
    std::span<const std::string_view> choices;
    ParamKind kind;
    bool required;
};

// "size", "angle", "number", "integer", "string", "[point]", "shape | [shape]" or
// "size | xsection", as signatures print the kind.
std::string_view param_kind_text(ParamKind kind);

// The primitive's parameters in the order positional arguments fill them.
std::span<const PrimitiveParam> primitive_params(Primitive primitive);

// The position of the parameter called `name`, or none.
std::optional<std::size_t> primitive_param_index(Primitive primitive, std::string_view name);

// "rect(width: size, height: size, corner_radius?: size, ...)": optional parameters carry "?".
std::string primitive_signature(Primitive primitive);

} // namespace quorvane_dsl::hir
