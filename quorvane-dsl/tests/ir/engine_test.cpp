#include <vector>

#include <gtest/gtest.h>

#include "ir/engine.hpp"

namespace {

namespace ir = quorvane_dsl::ir;

TEST(IrEngine, BoxesAreFourDistinctCorners) {
    const auto as_box = [](std::vector<ir::Point> ring) { return ir::as_box(ring); };
    EXPECT_EQ(as_box({{0, 5}, {0, 0}, {10, 0}, {10, 5}}), (ir::Box{0, 0, 10, 5}));
    EXPECT_EQ(as_box({{10, 5}, {10, 0}, {0, 0}, {0, 5}}), (ir::Box{0, 0, 10, 5}));
    // Out and back along two sides, and the crossing order, enclose other areas than the box.
    EXPECT_FALSE(as_box({{0, 0}, {10, 0}, {10, 10}, {10, 0}}));
    EXPECT_FALSE(as_box({{0, 0}, {10, 0}, {0, 10}, {10, 10}}));
    EXPECT_FALSE(as_box({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 5}}));
}

} // namespace
