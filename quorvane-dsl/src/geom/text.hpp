// Text drawn as boxes of the 5x7 pixel font.
#pragma once

#include <string_view>

#include "geom/shape.hpp"

namespace quorvane_dsl::geom {

// `size` is the height of the seven rows above the baseline. Characters advance by 6 pixels and
// lines by 11 pixels downward; the first line's baseline is y = 0 and its left edge x = 0.
// Only printable ASCII and line feeds are drawn; the result is a group of boxes.
Built<LocalShape> text(std::string_view text, double size);

} // namespace quorvane_dsl::geom
