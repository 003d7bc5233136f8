#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "base/pool.hpp"
#include "boolean/boolean.hpp"
#include "boolean/detail/link.hpp"
#include "boolean/keyhole.hpp"
#include "shapes.hpp"

namespace qb = quorvane_dsl::boolean;
namespace qd = quorvane_dsl::boolean::detail;
using qb::Op;
using qb::Point;
using qb::Polygons;
using qb::Ring;
using qb::test::reversed;

namespace {

Polygons run(const Polygons& a, const Polygons& b, Op op) {
    auto r = qb::boolean(a, b, op);
    EXPECT_TRUE(r.has_value());
    return r.value_or(Polygons{});
}

Ring square(std::int64_t x, std::int64_t y, std::int64_t s) {
    return {{x, y}, {x + s, y}, {x + s, y + s}, {x, y + s}};
}

} // namespace

TEST(BooleanEntry, EmptyInputsGiveEmptyResults) {
    for (Op op : {Op::Union, Op::Intersection, Op::Difference, Op::Xor}) {
        EXPECT_TRUE(run({}, {}, op).empty());
    }
    EXPECT_TRUE(run({{{0, 0}, {1, 0}, {0, 0}}, {{0, 0}, {1, 1}, {2, 2}}}, {}, Op::Union).empty());
}

TEST(BooleanEntry, UnionWithEmptyNormalises) {
    EXPECT_EQ(run({reversed(square(5, 5, 2))}, {}, Op::Union),
              (Polygons{{{5, 5}, {7, 5}, {7, 7}, {5, 7}}}));
    Polygons two = run({reversed(square(10, 0, 1)), reversed(square(0, 0, 1))}, {}, Op::Union);
    EXPECT_EQ(two, (Polygons{square(0, 0, 1), square(10, 0, 1)}));
    // The general road gives the same normal form as the shortcut.
    EXPECT_EQ(run({reversed(square(10, 0, 1)), reversed(square(0, 0, 1))}, {}, Op::Difference),
              two);
    Polygons touching = run({square(0, 0, 1), square(1, 0, 1)}, {}, Op::Union);
    EXPECT_EQ(touching, (Polygons{{{0, 0}, {2, 0}, {2, 1}, {0, 1}}}));
}

TEST(BooleanEntry, KeyholeBecomesOuterAndHole) {
    Ring keyhole{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 5}, {3, 5},
                 {3, 7}, {7, 7},  {7, 3},   {3, 3},  {3, 5}, {0, 5}};
    Polygons r = run({keyhole}, {}, Op::Union);
    Polygons expected{{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{3, 3}, {3, 7}, {7, 7}, {7, 3}}};
    EXPECT_EQ(r, expected);
}

TEST(BooleanEntry, FourOperationsOnOverlappingSquares) {
    Polygons a{square(0, 0, 4)}, b{square(2, 2, 4)};
    EXPECT_EQ(run(a, b, Op::Union),
              (Polygons{{{0, 0}, {4, 0}, {4, 2}, {6, 2}, {6, 6}, {2, 6}, {2, 4}, {0, 4}}}));
    EXPECT_EQ(run(a, b, Op::Intersection), (Polygons{square(2, 2, 2)}));
    EXPECT_EQ(run(a, b, Op::Difference),
              (Polygons{{{0, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 4}, {0, 4}}}));
    EXPECT_EQ(run(a, b, Op::Xor), (Polygons{{{0, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 4}, {0, 4}},
                                            {{2, 4}, {4, 4}, {4, 2}, {6, 2}, {6, 6}, {2, 6}}}));
    EXPECT_TRUE(run(a, {square(10, 10, 1)}, Op::Intersection).empty());
    EXPECT_TRUE(run(a, a, Op::Xor).empty());
    EXPECT_TRUE(run(a, a, Op::Difference).empty());
    EXPECT_EQ(run(a, a, Op::Intersection), a);
}

TEST(BooleanEntry, SelfCrossingAndTouchingRings) {
    // A bow-tie is two triangles; its crossing at (1, 0.5) rounds up to (1, 1).
    EXPECT_EQ(run({{{0, 0}, {2, 2}, {2, 0}, {0, 2}}}, {}, Op::Union),
              (Polygons{{{0, 0}, {1, 1}, {0, 2}}, {{1, 1}, {2, 0}, {2, 2}}}));
    // Squares sharing one corner stay separate rings.
    EXPECT_EQ(run({square(0, 0, 1), square(1, 1, 1)}, {square(5, 5, 1)}, Op::Union),
              (Polygons{square(0, 0, 1), square(1, 1, 1), square(5, 5, 1)}));
    // A spike walked out and back disappears.
    EXPECT_EQ(run({{{0, 0}, {2, 0}, {2, 1}, {5, 1}, {2, 1}, {2, 2}, {0, 2}}}, {}, Op::Union),
              (Polygons{square(0, 0, 2)}));
    // A T-junction splits the longer edge; the union closes over it.
    EXPECT_EQ(run({square(0, 0, 4)}, {{{4, 1}, {6, 1}, {6, 2}, {4, 2}}}, Op::Union),
              (Polygons{{{0, 0}, {4, 0}, {4, 1}, {6, 1}, {6, 2}, {4, 2}, {4, 4}, {0, 4}}}));
}

// A star {n/k} with k near n/2 crosses itself about n^2/2 times, its crossings crowding the
// grid cells near its centre; the pool shares them however few the cells are. Its union is the
// outline: n tips and n notches.
TEST(BooleanEntry, CrowdedStarKeepsItsOutlineOnAnyPool) {
    const int n = 401, k = 200;
    Ring star;
    for (int i = 0; i < n; ++i) {
        const double a = 2 * std::numbers::pi * ((i * k) % n) / n;
        star.push_back({std::llround(30000 * std::cos(a)), std::llround(30000 * std::sin(a))});
    }
    Polygons single, many;
    quorvane_dsl::base::pool::with_threads(1, [&] { single = run({star}, {}, Op::Union); });
    quorvane_dsl::base::pool::with_threads(8, [&] { many = run({star}, {}, Op::Union); });
    EXPECT_EQ(single, many);
    ASSERT_EQ(single.size(), 1u);
    EXPECT_EQ(single[0].size(), 2u * n);
    for (const Point& tip : star) {
        EXPECT_NE(std::find(single[0].begin(), single[0].end(), tip), single[0].end());
    }
}

// Four crossing rings (two of them self-crossing) enclose a gap that none of them covers: the union
// leaves it as a clockwise hole ring, empty once keyholed and taken back as an operand. Taken back
// unkeyholed, the hole ring would be a filled polygon of its own.
TEST(BooleanEntry, GapEnclosedByCrossingRingsStaysEmpty) {
    const Polygons rings{
        {{21622, 33587}, {1315, 21646}, {20710, 5478}, {29292, 2849}, {7198, 5336}},
        {{12481, 20387},
         {35635, 23333},
         {15271, 18320},
         {35343, 9470},
         {3856, 18900},
         {11270, 10029}},
        {{32884, 6673},
         {30922, 11578},
         {27021, 12553},
         {27119, 12941},
         {31218, 11916},
         {33256, 6821}},
        {{27867, 3071}, {32772, 5033}, {33747, 8934}, {34135, 8836}, {33110, 4737}, {28015, 2699}}};
    const Polygons tile{square(20016, 10535, 570)};
    for (const Ring& ring : rings) {
        EXPECT_TRUE(run(tile, {ring}, Op::Intersection).empty());
    }
    const Polygons merged = run(rings, {}, Op::Union);
    int winding = 0;
    for (const Ring& ring : merged) {
        winding += qb::winding_around(ring, {20301, 10820}).value();
    }
    EXPECT_EQ(winding, 0);
    EXPECT_TRUE(run(tile, qb::keyholes(merged), Op::Intersection).empty());
    EXPECT_EQ(run(tile, merged, Op::Intersection), tile);
}

TEST(BooleanEntry, RefusesCoordinatesBeyondTheExactRange) {
    std::int64_t big = qb::coordinate_limit;
    Polygons ok{{{-big, -big}, {big, -big}, {big, big}}};
    auto fine = qb::boolean(ok, {}, Op::Union);
    ASSERT_TRUE(fine.has_value());
    EXPECT_EQ(fine->size(), 1u);
    Polygons huge{{{0, 0}, {INT64_MAX, 0}, {INT64_MAX, INT64_MAX}}};
    auto refused = qb::boolean(Polygons{square(0, 0, 1)}, huge, Op::Difference);
    ASSERT_FALSE(refused.has_value());
    EXPECT_EQ(refused.error().point, (Point{INT64_MAX, 0}));
    EXPECT_NE(refused.error().message.find("2^40"), std::string::npos);
}

TEST(BooleanLink, SimplifyAndCanonical) {
    EXPECT_EQ(qd::simplify({{0, 0}, {2, 0}, {1, 0}}), (Ring{{0, 0}, {2, 0}}));
    EXPECT_EQ(qd::simplify({{0, 0}, {0, 0}, {1, 0}, {2, 0}, {2, 2}, {0, 0}}),
              (Ring{{0, 0}, {2, 0}, {2, 2}}));
    // The tip of a spike stays: the boundary turns straight back there.
    EXPECT_EQ(qd::simplify({{0, 0}, {2, 0}, {4, 0}, {2, 0}, {2, 2}}),
              (Ring{{0, 0}, {4, 0}, {2, 0}, {2, 2}}));
    EXPECT_EQ(qd::canonical({{3, 1}, {0, 5}, {0, 2}, {2, 0}}),
              (Ring{{0, 2}, {2, 0}, {3, 1}, {0, 5}}));
}
