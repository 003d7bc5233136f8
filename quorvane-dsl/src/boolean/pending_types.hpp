#pragma once
#include <cstdint>
#include <vector>
namespace quorvane_dsl::boolean {
struct Point {
    std::int64_t x;
    std::int64_t y;
    friend bool operator==(const Point&, const Point&) = default;
    friend auto operator<=>(const Point&, const Point&) = default;
};
using Ring = std::vector<Point>;
using Polygons = std::vector<Ring>;
} // namespace quorvane_dsl::boolean
