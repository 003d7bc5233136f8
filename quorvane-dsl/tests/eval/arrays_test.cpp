#include <gtest/gtest.h>

#include "eval/arrays.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::eval;

namespace {

struct Spec {
    std::int64_t x;
    std::int64_t y;
    std::uint64_t cell = 0;
    bool mergeable = true;
    double rotation = 0;
};

std::vector<ir::Instance> merged(const std::vector<Spec>& specs) {
    std::vector<ArrayCandidate> candidates;
    for (std::size_t i = 0; i < specs.size(); ++i) {
        const Spec& s = specs[i];
        candidates.push_back(
            {ir::Instance{"i" + std::to_string(i), s.cell, s.x, s.y, s.rotation, false, {}},
             s.mergeable});
    }
    return merge_arrays(std::move(candidates));
}

ir::Array array(std::uint32_t columns, std::uint32_t rows, ir::Point first, ir::Point second) {
    return ir::Array{columns, rows, first, second};
}

} // namespace

TEST(MergeArrays, RunsAndBlocks) {
    std::vector<Spec> row;
    for (int i = 0; i < 10; ++i) {
        row.push_back({i * 10, 0});
    }
    auto out = merged(row);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].name, "i0");
    EXPECT_EQ(out[0].array, array(10, 1, {10, 0}, {0, 0}));

    // Three rows of four, then a short fourth row on the same grid.
    std::vector<Spec> grid;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < (r < 3 ? 4 : 2); ++c) {
            grid.push_back({c * 10, r * 20});
        }
    }
    out = merged(grid);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].array, array(3, 4, {0, 20}, {10, 0}));
    EXPECT_EQ(out[1].array, array(2, 1, {10, 0}, {0, 0}));
    EXPECT_EQ(out[1].y, 60);

    out = merged({{0, 0}, {10, 0}, {30, 0}, {40, 0}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].array, array(2, 2, {30, 0}, {10, 0}));

    out = merged({{0, 0}, {10, 0}, {30, 0}});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].array, array(2, 1, {10, 0}, {0, 0}));
    EXPECT_FALSE(out[1].array);

    out = merged({{5, 5}, {5, 5}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].array, array(2, 1, {0, 0}, {0, 0}));
}

TEST(MergeArrays, WhatNeverMerges) {
    // A named instance separates runs; other cells and rotations never join one.
    auto out = merged({{0, 0}, {10, 0}, {20, 0, 0, false}, {30, 0}, {40, 0}});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].array, array(2, 1, {10, 0}, {0, 0}));
    EXPECT_FALSE(out[1].array);
    EXPECT_EQ(out[2].array, array(2, 1, {10, 0}, {0, 0}));

    out = merged({{0, 0}, {10, 0, 1}, {20, 0, 0, true, 90}, {30, 0}});
    EXPECT_EQ(out.size(), 4u);
    out = merged({{7, 7}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_FALSE(out[0].array);

    // Origins at the ends of the i64 range differ by a wrapped step, not by overflow.
    out = merged({{INT64_MIN, 0}, {INT64_MAX, 0}});
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].array->column_step.x, -1);
}

TEST(MergeArrays, RunFinderLimitAndExpectedStep) {
    std::vector<ArrayCandidate> c;
    for (int i = 0; i < 5; ++i) {
        c.push_back({ir::Instance{"", 0, i * 10, 0, 0, false, {}}, true});
    }
    EXPECT_EQ(find_run(c, 0, std::nullopt, 2).count, 2u);
    EXPECT_EQ(find_run(c, 0, std::nullopt, 3).count, 3u);
    EXPECT_EQ(find_run(c, 1, std::nullopt, SIZE_MAX).count, 4u);
    const auto other = find_run(c, 0, ir::Point{20, 0}, SIZE_MAX);
    EXPECT_EQ(other.count, 1u);
    EXPECT_EQ(other.step, (ir::Point{20, 0}));
}
