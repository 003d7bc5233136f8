// The benchmark design: 10^5 shapes (nine in ten boxes, the rest slanted quadrilaterals) on
// metal over a 5 mm square framed on another layer.
#pragma once

#include <random>

#include "ir/model.hpp"

namespace bench_dummy {

namespace ir = quorvane_dsl::ir;

inline constexpr std::int64_t side = 5'000'000;

inline ir::Library design() {
    std::mt19937_64 rng(1);
    std::uniform_int_distribution<std::int64_t> pos(0, side - 6000);
    std::uniform_int_distribution<std::int64_t> extent(500, 5000);
    ir::Library library;
    library.layers = {{"metal", 1, 0}, {"other", 2, 0}};
    ir::Cell top{.name = "top", .source = "top"};
    top.shapes.reserve(100'001);
    top.shapes.push_back({1, ir::Geometry{ir::Box{0, 0, side, side}}});
    for (int n = 0; n < 100'000; ++n) {
        const std::int64_t x = pos(rng), y = pos(rng), w = extent(rng), h = extent(rng);
        if (n % 10 == 0) {
            top.shapes.push_back(
                {0,
                 ir::Geometry{ir::Polygon{
                     {{x, y}, {x + w, y + h / 3}, {x + w / 2, y + h}, {x - w / 4, y + h / 2}}}}});
        } else {
            top.shapes.push_back({0, ir::Geometry{ir::Box{x, y, x + w, y + h}}});
        }
    }
    library.cells.push_back(std::move(top));
    library.tops = {0};
    return library;
}

} // namespace bench_dummy
