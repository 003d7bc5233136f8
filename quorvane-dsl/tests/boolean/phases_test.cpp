#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <random>

#include <gtest/gtest.h>

#include "base/pool.hpp"
#include "boolean/boolean.hpp"
#include "boolean/detail/active.hpp"
#include "boolean/detail/apart.hpp"
#include "boolean/detail/grid.hpp"
#include "boolean/detail/par.hpp"
#include "boolean/detail/rings.hpp"
#include "boolean/detail/segments.hpp"
#include "boolean/detail/snap.hpp"
#include "boolean/detail/sweep.hpp"

namespace qb = quorvane_dsl::boolean;
namespace qd = quorvane_dsl::boolean::detail;
using qb::Point;
using qb::Ring;
using qb::Seg;

namespace {

[[maybe_unused]] const int pool_env = setenv("RAYON_NUM_THREADS", "8", 0);

Seg seg(std::int64_t x1, std::int64_t y1, std::int64_t x2, std::int64_t y2) {
    return {x1, y1, x2, y2, 0, 0};
}

// Snap rounding's pieces as plainly as they can be written: every segment tested against every
// vertex, cut at those whose hot pixels it passes, the pieces summed per operand.
std::map<std::pair<std::uint32_t, std::uint32_t>, std::pair<int, int>>
plain_pieces(const std::vector<Seg>& segs, const std::vector<Point>& points) {
    const auto id_of = [&](Point p) {
        return static_cast<std::uint32_t>(std::lower_bound(points.begin(), points.end(), p) -
                                          points.begin());
    };
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::pair<int, int>> pieces;
    for (const Seg& s : segs) {
        const qb::Box box = qd::segment_box(s);
        const bool straight = box.x0 == box.x1 || box.y0 == box.y1;
        std::vector<std::pair<qd::PathHit, std::uint32_t>> hits;
        for (std::uint32_t v = 0; v < points.size(); ++v) {
            const Point p = points[v];
            if (p == Point{s.x1, s.y1} || p == Point{s.x2, s.y2}) {
                continue;
            }
            if (straight) {
                const std::int64_t along = std::abs(p.x - s.x1) + std::abs(p.y - s.y1);
                const std::int64_t length = (s.x2 - s.x1) + (s.y2 - s.y1);
                if (p.x >= box.x0 && p.x <= box.x1 && p.y >= box.y0 && p.y <= box.y1) {
                    hits.push_back({{along, std::abs(length), true}, v});
                }
            } else if (auto hit = qd::on_path(s, box, p)) {
                hits.push_back({*hit, v});
            }
        }
        std::sort(hits.begin(), hits.end(), [](const auto& a, const auto& b) {
            const qb::i128 l = a.first.num * b.first.den, r = b.first.num * a.first.den;
            return l != r                                   ? l < r
                   : a.first.inclusive != b.first.inclusive ? a.first.inclusive
                                                            : a.second < b.second;
        });
        std::uint32_t u = id_of({s.x1, s.y1});
        hits.push_back({{}, id_of({s.x2, s.y2})});
        for (const auto& [hit, v] : hits) {
            auto& w = pieces[{std::min(u, v), std::max(u, v)}];
            (s.operand == 0 ? w.first : w.second) += u < v ? 1 : -1;
            u = v;
        }
    }
    std::erase_if(pieces, [](const auto& p) { return p.second == std::pair{0, 0}; });
    return pieces;
}

} // namespace

TEST(BooleanPhases, CrossingsRoundHalvesUp) {
    EXPECT_EQ(qd::crossing(seg(0, 0, 1, 1), seg(0, 1, 1, 0)), (Point{1, 1}));
    EXPECT_EQ(qd::crossing(seg(-1, -1, 0, 0), seg(-1, 0, 0, -1)), (Point{0, 0}));
    EXPECT_EQ(qd::crossing(seg(-2, -2, 1, 1), seg(-2, 1, 1, -2)), (Point{0, 0}));
    EXPECT_EQ(qd::crossing(seg(0, 0, 2, 1), seg(0, 1, 2, 0)), (Point{1, 1}));
    EXPECT_EQ(qd::crossing(seg(0, 0, 4, 0), seg(2, 0, 2, 3)), std::nullopt); // T-junction
    EXPECT_EQ(qd::crossing(seg(0, 0, 4, 4), seg(1, 1, 6, 6)), std::nullopt); // collinear
    EXPECT_EQ(qd::crossing(seg(0, 2, 4, 2), seg(2, 0, 2, 4)), (Point{2, 2}));
    EXPECT_EQ(qd::crossing(seg(2, 2, 2, 2), seg(0, 0, 4, 4)), std::nullopt);
}

// A lattice of straight and slanted segments crowds a cell: its tree's leaves share the slanted
// pairs, and crossings lie on the leaves' borders. Each leaf reports only the crossings in its
// half-open box, so every crossing pair is reported exactly once.
TEST(BooleanPhases, CrowdedCellsFindEveryCrossingOnce) {
    std::vector<Seg> segs;
    for (std::int64_t k = -24; k <= 24; ++k) {
        segs.push_back(seg(k, -30, k, 30));
        segs.push_back(seg(-30, k, 30, k));
        if (k % 4 == 0) {
            segs.push_back(seg(k - 30, -30, k + 30, 30));
            segs.push_back(seg(k - 30, 30, k + 30, -30));
        }
    }
    std::vector<qb::Box> boxes;
    for (const Seg& s : segs) {
        boxes.push_back(qd::segment_box(s));
    }
    const qd::Grid grid = qd::Grid::make(qd::segments_bounds(segs), boxes);
    std::vector<std::vector<std::uint32_t>> lists(grid.cell_count());
    std::vector<std::uint64_t> cells;
    for (std::uint32_t i = 0; i < segs.size(); ++i) {
        cells.clear();
        grid.cells_of(segs[i], boxes[i], cells);
        for (std::uint64_t g : cells) {
            lists[g].push_back(i);
        }
    }
    std::vector<Point> found, all;
    std::size_t crowded = 0;
    for (std::uint64_t g = 0; g < grid.cell_count(); ++g) {
        crowded += lists[g].size() > 48;
        qd::cell_crossings(g, lists[g], segs, grid, found);
    }
    for (std::size_t i = 0; i < segs.size(); ++i) {
        for (std::size_t j = i + 1; j < segs.size(); ++j) {
            if (auto p = qd::crossing(segs[i], segs[j])) {
                all.push_back(*p);
            }
        }
    }
    std::sort(found.begin(), found.end());
    std::sort(all.begin(), all.end());
    EXPECT_GT(crowded, 0u);
    EXPECT_EQ(found, all);
}

TEST(BooleanPhases, HotPixelsAreHalfOpen) {
    Seg s = seg(1, 0, 0, 1);
    EXPECT_TRUE(qd::on_path(s, qd::segment_box(s), {1, 1}));
    EXPECT_FALSE(qd::on_path(s, qd::segment_box(s), {0, 0}));
    EXPECT_FALSE(qd::on_path(s, qd::segment_box(s), {1, 0})); // an end point
    // The box only has to hold the point: one narrower than a long segment still gets the exact
    // answer, as the products of a segment this long need more than 64 bits.
    const std::int64_t far = std::int64_t{1} << 40;
    const Seg long_one = seg(-far, -far, far, far - 1);
    for (const Point p : {Point{far / 2, far / 2}, Point{far / 2, far / 2 + 1}}) {
        EXPECT_EQ(qd::on_path(long_one, {p.x, p.y, p.x, p.y}, p).has_value(),
                  qd::on_path(long_one, qd::segment_box(long_one), p).has_value());
    }
    EXPECT_TRUE(qd::on_path(long_one, {0, 0, 0, 0}, {0, 0}));
    // A diagonal edge passing a vertex's pixel is cut there; forty copies crowd the cell and
    // outnumber the vertices, and every copy is cut at both vertices it passes.
    qd::Rings store;
    for (int copy = 0; copy < 40; ++copy) {
        store.push(Ring{{0, 0}, {10, 3}, {0, 3}}, 3);
    }
    store.push(Ring{{3, 1}, {4, 2}, {2, 2}}, 3);
    store.push(Ring{{7, 2}, {8, 0}, {9, 0}}, 3);
    auto snapped = qd::snap_round(store.segments());
    std::map<std::pair<Point, Point>, int> pieces;
    for (const qb::SnapSeg& s2 : snapped.segments) {
        pieces[{snapped.points[s2.from], snapped.points[s2.to]}] = s2.wa;
    }
    EXPECT_EQ((pieces[{{0, 0}, {3, 1}}]), 40);
    EXPECT_EQ((pieces[{{3, 1}, {7, 2}}]), 40);
}

// A small star crowds its crossings so that the hot-pixel search buckets the vertices of its
// leaves; a fan of straight and slanted triangles through one corner adds runs of collinear
// vertices. Every piece matches the plain search.
TEST(BooleanPhases, CrowdedHotPixelsMatchThePlainSearch) {
    qd::Rings store;
    Ring star;
    for (int i = 0; i < 201; ++i) {
        const double a = 2 * std::numbers::pi * ((i * 100) % 201) / 201;
        star.push_back({std::llround(5000 * std::cos(a)), std::llround(5000 * std::sin(a))});
    }
    store.push(star, 3);
    for (int i = 0; i < 60; ++i) {
        store.push(Ring{{-6000, -6000}, {i * 97 - 3000, 4000}, {i * 97 - 3000, 4000 + i % 7}}, 3);
    }
    const qd::par::List<Seg> segs = store.segments();
    const std::vector<Seg> input(segs.begin(), segs.end());
    const auto snapped = qd::snap_round(segs);
    const std::vector<Point> points(snapped.points.begin(), snapped.points.end());
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::pair<int, int>> pieces;
    for (const qb::SnapSeg& p : snapped.segments) {
        pieces[{p.from, p.to}] = {p.wa, p.wb};
    }
    EXPECT_GT(points.size(), 20000u);
    EXPECT_EQ(pieces, plain_pieces(input, points));
}

TEST(BooleanPhases, UntouchedRings) {
    auto run = [](const Ring& r) { return qd::untouched(qd::ring_edges(r)); };
    auto triangle = run({{0, 0}, {4, 0}, {0, 4}});
    ASSERT_TRUE(triangle);
    EXPECT_TRUE(triangle->shared.empty());
    auto eight = run({{0, 0}, {2, 0}, {2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}, {0, 2}});
    ASSERT_TRUE(eight);
    EXPECT_EQ(eight->shared.size(), 2u);
    auto spike = run({{0, 0}, {4, 0}, {4, 2}, {8, 2}, {4, 2}, {4, 4}, {0, 4}});
    ASSERT_TRUE(spike);
    EXPECT_EQ(std::count(spike->flags.begin(), spike->flags.end(), true), 2);
    EXPECT_FALSE(run({{0, 0}, {2, 2}, {2, 0}, {0, 2}}));      // bow-tie
    EXPECT_FALSE(run({{0, 0}, {100, 0}, {50, 50}, {51, 0}})); // tip within a pixel of an edge
}

TEST(BooleanPhases, BoxesAndApartness) {
    EXPECT_EQ(qb::as_box(Ring{{0, 0}, {2, 0}, {2, 1}, {0, 1}}), (qb::Box{0, 0, 2, 1}));
    EXPECT_EQ(qb::as_box(Ring{{0, 1}, {2, 1}, {2, 0}, {0, 0}}), (qb::Box{0, 0, 2, 1}));
    EXPECT_FALSE(qb::as_box(Ring{{0, 0}, {2, 0}, {0, 1}, {2, 1}}));
    EXPECT_FALSE(qb::as_box(Ring{{0, 0}, {0, 0}, {2, 1}, {0, 1}}));
    EXPECT_FALSE(qb::as_box(Ring{{0, 0}, {0, 0}, {0, 1}, {0, 1}}));
    EXPECT_FALSE(qb::as_box(Ring{{0, 0}, {1, 0}, {2, 0}, {2, 1}, {0, 1}}));
    // Widths beyond i64 (IR rings carry any coordinates) are measured, not overflowed.
    constexpr std::int64_t lo = std::numeric_limits<std::int64_t>::min();
    constexpr std::int64_t hi = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(qb::as_box(Ring{{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}}), (qb::Box{lo, lo, hi, hi}));
    EXPECT_FALSE(qd::boxes_apart(std::vector<qb::Box>{{0, 0, 1, 1}, {1, 1, 2, 2}}));
    EXPECT_TRUE(qd::boxes_apart(std::vector<qb::Box>{{0, 0, 1, 1}, {2, 2, 3, 3}}));
    std::vector<qb::Box> spread;
    for (int i = 0; i < 17; ++i) {
        spread.push_back({i * 1000000, 0, i * 1000000 + 1, 1});
    }
    EXPECT_TRUE(qd::boxes_apart(spread));
    spread.push_back({-5, -5, 17000000, 5});
    EXPECT_FALSE(qd::boxes_apart(spread));
}

TEST(BooleanPhases, GridCellsFollowTheTypicalBox) {
    std::vector<qb::Box> one{{0, 0, 100, 30}};
    qd::Grid g = qd::Grid::make(one[0], one);
    EXPECT_LE(g.cell_count(), 4u);
    EXPECT_GE(std::int64_t{1} << g.shift, 100);
    std::vector<qb::Box> points;
    for (int i = 0; i < 10; ++i) {
        points.push_back({i * 1000, i * 7, i * 1000, i * 7});
    }
    qd::Grid pg = qd::Grid::make({0, 0, 9000, 63}, points);
    EXPECT_LE(pg.cell_count(), 20u);
    EXPECT_GT(pg.shift, 0u);
    // Boxes piled on one place refine the grid below their size, but not past 2n cells.
    std::vector<qb::Box> pile(1000, qb::Box{0, 0, 1000, 1000});
    qd::Grid fine = qd::Grid::make(pile[0], pile);
    EXPECT_LT(std::int64_t{1} << fine.shift, 1000);
    EXPECT_GE(fine.cell_count() * 24, 1000u);
    EXPECT_LE(fine.cell_count(), 2000u);
    // A horizontal segment lists the cells of its row only; a diagonal one its way through.
    qd::Grid grid{0, 0, 8, 8, 4};
    std::vector<std::uint64_t> cells;
    Seg flat = seg(3, 20, 60, 20);
    grid.cells_of(flat, qd::segment_box(flat), cells);
    EXPECT_EQ(cells, (std::vector<std::uint64_t>{8, 9, 10, 11}));
    cells.clear();
    Seg diagonal = seg(0, 0, 47, 47);
    grid.cells_of(diagonal, qd::segment_box(diagonal), cells);
    EXPECT_EQ(cells, (std::vector<std::uint64_t>{0, 8, 1, 9, 17, 10, 18}));
}

TEST(BooleanPhases, PolygonIntakeKinds) {
    qd::Rings store;
    store.add_polygon(Ring{{0, 0}, {0, 1}, {1, 1}, {1, 0}});
    ASSERT_EQ(store.entries.size(), 1u);
    EXPECT_EQ(store.entries[0].kind, qd::Kind::Convex);
    EXPECT_EQ(store.entries[0].box, (qb::Box{0, 0, 1, 1}));
    EXPECT_EQ(store.points[1], (Point{1, 1})); // reversed to run counter-clockwise
    store.add_polygon(Ring{{0, 0},
                           {10, 0},
                           {10, 10},
                           {0, 10},
                           {0, 5},
                           {3, 5},
                           {3, 7},
                           {7, 7},
                           {7, 3},
                           {3, 3},
                           {3, 5},
                           {0, 5}});
    EXPECT_EQ(store.entries.back().kind, qd::Kind::Simple);
    EXPECT_EQ(store.ring_count(), 3u);
    store.add_polygon(Ring{{0, 0}, {2, 2}, {2, 0}, {0, 2}});
    EXPECT_EQ(store.entries.back().kind, qd::Kind::Resolved);
    EXPECT_EQ(store.ring_count(), 5u);
    store.add_polygon(Ring{{0, 0}, {1, 1}, {2, 2}});
    EXPECT_EQ(store.entries.size(), 3u);
    EXPECT_FALSE(store.push(Ring{{0, 0}, {0, 0}, {1, 0}, {1, 0}, {0, 0}}, 3));
}

TEST(BooleanPhases, SweepOfTheUnitSquare) {
    qd::Rings store;
    store.push(Ring{{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 3);
    auto snapped = qd::snap_round(store.segments());
    ASSERT_EQ(snapped.points, (qd::par::List<Point>{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
    auto pairs = qd::classify(snapped.points, snapped.segments, qb::Rule::Positive);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> got;
    for (auto p : pairs) {
        got.push_back({p.from, p.to});
    }
    EXPECT_EQ(got, (std::vector<std::pair<std::uint32_t, std::uint32_t>>{
                       {0, 2}, {1, 0}, {3, 1}, {2, 3}}));
    qd::Rings clockwise;
    clockwise.push(Ring{{0, 0}, {0, 1}, {1, 1}, {1, 0}}, 3);
    auto cw = qd::snap_round(clockwise.segments());
    EXPECT_TRUE(qd::classify(cw.points, cw.segments, qb::Rule::Positive).empty());
    EXPECT_EQ(qd::classify(cw.points, cw.segments, qb::Rule::NonZero).size(), 4u);
}

TEST(BooleanPhases, ActiveSetBlocks) {
    qd::Active active;
    EXPECT_EQ(active.find(0, 0).block, 0u);
    std::vector<qd::Entry> entries;
    for (int i = 0; i < 129; ++i) {
        entries.push_back({0, i, 10, i, i, 0});
    }
    active.put(entries, {});
    ASSERT_EQ(active.blocks().size(), 3u);
    EXPECT_EQ(active.blocks()[2].size(), 1u);
    qd::Place above = active.find(5, 1000);
    EXPECT_EQ(above.block, 3u);
    EXPECT_EQ(above.below.wa, 128);
    qd::Place on = active.find(5, 64); // entry 64 passes through: the place is in block 1
    EXPECT_EQ(on.block, 1u);
    EXPECT_EQ(on.index, 0u);
    EXPECT_EQ(on.below.wa, 63);
    active.replace(on.block, on.index, 5, 64,
                   std::vector<qd::Entry>(66, qd::Entry{0, 64, 10, 64, 0, 0}));
    EXPECT_EQ(active.count(), 194u);
    EXPECT_EQ(active.blocks().size(), 4u); // 129 entries split into 64 and 65
    auto [all, spare] = active.take();
    EXPECT_EQ(all.size(), 194u);
    EXPECT_TRUE(active.blocks().empty());
}

TEST(BooleanPhases, ActiveSearchFromAnyGuessFindsThePlace) {
    // Three blocks of horizontal entries at even y, a point through an entry, between two, below
    // and above all: every guess, good or stale, must give find()'s place.
    qd::Active active;
    std::vector<qd::Entry> entries;
    for (int i = 0; i < 150; ++i) {
        entries.push_back({0, 2 * i, 10, 2 * i, i + 1, 0});
    }
    active.put(entries, {});
    for (std::int64_t y : {-1, 0, 1, 63, 64, 127, 128, 200, 298, 299}) {
        qd::Place expected = active.find(5, y);
        for (std::size_t b = 0; b <= active.blocks().size(); ++b) {
            for (std::size_t k = 0; k <= 70; ++k) {
                qd::Place got = active.find_from({b, k, {}}, 5, y);
                ASSERT_EQ(got.block, expected.block) << y << " " << b << " " << k;
                ASSERT_EQ(got.index, expected.index) << y << " " << b << " " << k;
                ASSERT_EQ(got.below.wa, expected.below.wa) << y << " " << b << " " << k;
            }
        }
    }
}

// Lists that leave new elements to par::resize must still grow by zeros: after a shrink within
// their storage, on one thread, and on the pool.
TEST(BooleanPhases, ResizedListsGrowByZeros) {
    for (int threads : {1, 8}) {
        qd::par::List<std::uint32_t> list;
        quorvane_dsl::base::pool::with_threads(threads, [&] {
            for (std::size_t n : {std::size_t{100}, std::size_t{200000}}) {
                qd::par::resize(list, n);
                std::fill(list.begin(), list.end(), 7u);
                qd::par::resize(list, n / 2);
                qd::par::resize(list, n);
                EXPECT_EQ(static_cast<std::size_t>(std::count(list.begin(), list.end(), 0u)),
                          n - n / 2);
                qd::par::resize(list, 3 * n);
                EXPECT_EQ(static_cast<std::size_t>(std::count(list.begin(), list.end(), 0u)),
                          3 * n - n / 2);
            }
        });
    }
}

TEST(BooleanPhases, KeySortsAndChunksDoNotDependOnThreads) {
    std::mt19937_64 rng(3);
    for (std::size_t n : {1023u, 1024u, 20000u, 70000u}) {
        std::vector<std::uint64_t> keys(n);
        for (auto& k : keys) {
            k = rng() & ((std::uint64_t{1} << 40) - 1);
        }
        auto expected = keys;
        std::sort(expected.begin(), expected.end());
        for (int threads : {1, 8}) {
            auto sorted = keys;
            quorvane_dsl::base::pool::with_threads(threads, [&] { qd::sort_keys(sorted, 40); });
            EXPECT_EQ(sorted, expected) << n << " keys, " << threads << " threads";
        }
    }
    // Records with equal keys keep their order, however the keys crowd: all equal, one shared
    // top digit, most in one bucket, few distinct values.
    std::vector<std::vector<std::uint64_t>> shapes(4);
    for (std::uint32_t i = 0; i < 90000; ++i) {
        shapes[0].push_back(7);
        shapes[1].push_back((std::uint64_t{1} << 45) | (rng() & 0xFFFFF));
        shapes[2].push_back(i % 10 == 0 ? rng() & ((std::uint64_t{1} << 46) - 1) : 12345);
        shapes[3].push_back((rng() % 5) << 40);
    }
    for (const auto& shape : shapes) {
        std::vector<qd::KeyItem> items;
        for (std::uint64_t k : shape) {
            items.push_back({k, static_cast<std::uint32_t>(items.size())});
        }
        auto expected = items;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const auto& a, const auto& b) { return a.key < b.key; });
        for (int threads : {1, 8}) {
            auto sorted = items;
            quorvane_dsl::base::pool::with_threads(threads, [&] { qd::sort_keys(sorted, 46); });
            EXPECT_TRUE(std::equal(
                sorted.begin(), sorted.end(), expected.begin(), expected.end(),
                [](const auto& a, const auto& b) { return a.key == b.key && a.value == b.value; }))
                << "keys from " << shape[0] << ", " << threads << " threads";
        }
    }
    auto calls = [](std::size_t n, int threads) {
        std::size_t count = 0;
        std::vector<std::size_t> joined;
        quorvane_dsl::base::pool::with_threads(threads, [&] {
            std::atomic<std::size_t> c{0};
            joined = qd::par::flat_map(n, [&](std::size_t b, std::size_t e) {
                ++c;
                std::vector<std::size_t> out;
                for (std::size_t i = b; i < e; ++i) {
                    out.push_back(i);
                }
                return out;
            });
            count = c;
        });
        EXPECT_EQ(joined.size(), n);
        EXPECT_TRUE(std::is_sorted(joined.begin(), joined.end()));
        return count;
    };
    EXPECT_EQ(calls(16383, 8), 1u);
    EXPECT_EQ(calls(16384, 8), 32u);
    EXPECT_EQ(calls(100000, 1), 1u);
    EXPECT_EQ(calls(0, 8), 1u);
}
