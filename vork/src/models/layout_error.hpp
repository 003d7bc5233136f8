// Errors of the layout database, printed in their debug form.
#pragma once

#include <string>
#include <variant>

#include "models/id.hpp"

namespace vork::models {

struct DuplicateCellName {
    std::string name;
};
struct InvalidDbu {
    double micrometres = 0.0;
};
struct UnknownCell {
    CellId id;
};
struct UnknownLayer {
    LayerId id;
};

using LayoutError = std::variant<DuplicateCellName, InvalidDbu, UnknownCell, UnknownLayer>;

// Errors carry no message of their own; users see them as `Variant(payload)`.
std::string debug_text(const LayoutError& error);

// A text in double quotes with inner quotes and backslashes escaped.
std::string debug_quoted(std::string_view text);

// The shortest decimal that reads back to the same value, with at least one digit after
// the point, in exponent form below 1e-4 or from 1e16 on (NaN, inf and -inf as such).
std::string debug_f64(double value);

} // namespace vork::models
