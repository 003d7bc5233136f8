#include "models/shape.hpp"

#include <array>

namespace vork::models::shape {

std::string_view debug_name(ShapeKind kind) {
    static constexpr std::array<std::string_view, 9> names = {
        "Boundary", "Box", "SimplePolygon", "Polygon", "Path", "Text", "Node", "Edge", "EdgePair"};
    return names[static_cast<std::size_t>(kind)];
}

} // namespace vork::models::shape
