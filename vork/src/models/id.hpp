// Identifiers of layers and cells: positions in the database's lists.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace vork::models {

// Layers and cells of the layout database are identified by their position in its lists.
struct LayerId {
    std::uint64_t value = 0;
    friend auto operator<=>(LayerId, LayerId) = default;
};

struct CellId {
    std::uint64_t value = 0;
    friend auto operator<=>(CellId, CellId) = default;
};

std::string debug_text(LayerId id);
std::string debug_text(CellId id);

// A location in database units; the database itself does not limit the range.
struct Point {
    std::int64_t x = 0;
    std::int64_t y = 0;
    friend bool operator==(Point, Point) = default;
};

} // namespace vork::models
