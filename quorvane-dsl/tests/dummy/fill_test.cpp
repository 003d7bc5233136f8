#include <gtest/gtest.h>

#include <random>
#include <set>

#include "base/pool.hpp"
#include "boolean/boolean.hpp"
#include "boolean/keyhole.hpp"
#include "boolean/offset.hpp"
#include "dummy/dummy.hpp"
#include "dummy/flatten.hpp"
#include "dummy/grid.hpp"
#include "ir/engine.hpp"
#include "ir/text.hpp"
#include "signature/signature.hpp"

namespace {

using namespace quorvane_dsl;
using boolean::Ring;

ir::Shape box_on(std::uint64_t layer, std::int64_t x0, std::int64_t y0, std::int64_t x1,
                 std::int64_t y1) {
    return {layer, ir::Geometry{ir::Box{x0, y0, x1, y1}}};
}

// Layers: 0 metal (fill), 1 other, 2 area, 3 excl.
ir::Library library_with(std::vector<ir::Shape> shapes) {
    ir::Library library;
    library.layers = {{"metal", 1, 0}, {"other", 2, 0}, {"area", 3, 0}, {"excl", 4, 0}};
    library.cells.push_back(ir::Cell{.name = "top", .source = "top", .shapes = std::move(shapes)});
    library.tops = {0};
    return library;
}

struct Tile {
    std::int64_t x = 0;
    std::int64_t y = 0;
    auto operator<=>(const Tile&) const = default;
};

// Every tile a fill placed in `top` under the instance `name`.
std::set<Tile> tiles_of(const ir::Library& library, std::uint64_t top, const std::string& name) {
    std::set<Tile> tiles;
    for (const ir::Instance& holder : library.cells[top].instances) {
        if (holder.name != name) {
            continue;
        }
        for (const ir::Instance& i : library.cells[holder.cell].instances) {
            const ir::Array a = i.array.value_or(ir::Array{1, 1, {}, {}});
            for (std::int64_t u = 0; u < a.columns; ++u) {
                for (std::int64_t v = 0; v < a.rows; ++v) {
                    tiles.insert({i.x + u * a.column_step.x + v * a.row_step.x,
                                  i.y + u * a.column_step.y + v * a.row_step.y});
                }
            }
        }
    }
    return tiles;
}

// Position by position, the blocking and region tests as plainly as they can be written.
std::set<Tile> expected_tiles(const dummy::Flattened& flat, const dummy::Pitch& p,
                              const dummy::Region& region, const boolean::Box& frame) {
    const auto crossed = [&](const Ring& ring, const boolean::Box& open) {
        for (std::size_t e = 0; e < ring.size(); ++e) {
            if (dummy::edge_crosses(ring[e], ring[(e + 1) % ring.size()], open)) {
                return true;
            }
        }
        return false;
    };
    const auto centre_winding = [](const Ring& ring, std::int64_t cx, std::int64_t cy) {
        int w = 0;
        for (std::size_t e = 0; e < ring.size(); ++e) {
            const boolean::Point a{2 * ring[e].x, 2 * ring[e].y};
            const auto& n = ring[(e + 1) % ring.size()];
            const boolean::Point b{2 * n.x, 2 * n.y};
            const __int128 cross =
                __int128(b.x - a.x) * (cy - a.y) - __int128(cx - a.x) * (b.y - a.y);
            if (a.y <= cy) {
                w += b.y > cy && cross > 0;
            } else {
                w -= b.y <= cy && cross < 0;
            }
        }
        return w;
    };
    std::set<Tile> tiles;
    const std::int64_t k = p.keepout;
    for (std::int64_t j = frame.y0 / p.pitch - 2; j * p.pitch <= frame.y1; ++j) {
        for (std::int64_t i = frame.x0 / p.pitch - 2; i * p.pitch <= frame.x1; ++i) {
            const std::int64_t x = i * p.pitch + p.offset(j);
            const std::int64_t y = j * p.pitch;
            const boolean::Box tile{x, y, x + p.size, y + p.size};
            const std::int64_t cx = 2 * x + p.size;
            const std::int64_t cy = 2 * y + p.size;
            bool inside = true;
            if (const auto* box = std::get_if<boolean::Box>(&region)) {
                inside =
                    box->x0 <= x && x + p.size <= box->x1 && box->y0 <= y && y + p.size <= box->y1;
            } else {
                int w = 0;
                for (const Ring& ring : std::get<boolean::Polygons>(region)) {
                    inside = inside && !crossed(ring, tile);
                    w += centre_winding(ring, cx, cy);
                }
                inside = inside && w != 0;
            }
            const boolean::Box grown{x - k, y - k, x + p.size + k, y + p.size + k};
            bool blocked = false;
            for (const dummy::Blocker& blocker : flat.blocking) {
                if (const auto* b = std::get_if<boolean::Box>(&blocker)) {
                    blocked = blocked || (b->x0 < grown.x1 && grown.x0 < b->x1 &&
                                          b->y0 < grown.y1 && grown.y0 < b->y1);
                } else {
                    const Ring& ring = std::get<Ring>(blocker);
                    blocked = blocked || crossed(ring, grown) || centre_winding(ring, cx, cy) != 0;
                }
            }
            if (inside && !blocked) {
                tiles.insert({x, y});
            }
        }
    }
    return tiles;
}

Ring random_polygon(std::mt19937_64& rng, std::int64_t span) {
    std::uniform_int_distribution<std::int64_t> pos(0, span);
    std::uniform_int_distribution<int> count(3, 7);
    Ring ring(static_cast<std::size_t>(count(rng)));
    for (auto& point : ring) {
        point = {pos(rng), pos(rng)};
    }
    return ring;
}

ir::Library random_layout(std::mt19937_64& rng, bool with_area) {
    std::uniform_int_distribution<std::int64_t> pos(0, 40000);
    std::uniform_int_distribution<std::int64_t> side(100, 6000);
    std::uniform_int_distribution<std::uint64_t> layer(0, 3);
    std::vector<ir::Shape> shapes;
    for (int n = 0; n < 12; ++n) {
        const std::int64_t x = pos(rng), y = pos(rng);
        shapes.push_back(box_on(layer(rng), x, y, x + side(rng), y + side(rng)));
        shapes.push_back({layer(rng) == 1 ? 1u : 0u,
                          ir::Geometry{ir::Polygon{ir::from_boolean(random_polygon(rng, 40000))}}});
    }
    if (with_area) {
        shapes.push_back(
            {2, ir::Geometry{ir::Polygon{ir::from_boolean(random_polygon(rng, 40000))}}});
        shapes.push_back(box_on(2, 5000, 5000, 30000, 20000));
    }
    ir::Library library = library_with(std::move(shapes));
    ir::Cell child{.name = "child", .source = "child"};
    child.shapes = {box_on(0, 0, 0, 3000, 1000),
                    {0, ir::Geometry{ir::Path{400, {{0, 0}, {5000, 2000}, {6000, 6000}}}}}};
    library.cells.push_back(child);
    const double angles[] = {0, 90, 180, 270, 45, 30};
    for (int n = 0; n < 3; ++n) {
        library.cells[0].instances.push_back({.name = "c" + std::to_string(n),
                                              .cell = 1,
                                              .x = pos(rng),
                                              .y = pos(rng),
                                              .rotation = angles[rng() % 6],
                                              .mirror = rng() % 2 == 0});
    }
    return library;
}

// Random layouts: the fill matches the position-by-position rules, no tile comes nearer than the
// keepout to a blocking shape, and every tile lies in the fill region.
TEST(DummyFill, RandomLayoutsFollowTheRules) {
    std::mt19937_64 rng(7);
    for (int round = 0; round < 60; ++round) {
        const bool with_area = round % 3 == 0;
        ir::Library library = random_layout(rng, with_area);
        dummy::Rule rule{.layer = std::string("metal"),
                         .size = double(500 + rng() % 2500),
                         .space = double(rng() % 2000),
                         .keepout = double(rng() % 2000),
                         .margin = double(rng() % 3 == 0 ? rng() % 1500 : 0),
                         .exclude = {std::string("excl")},
                         .stagger = rng() % 2 == 0};
        if (with_area) {
            rule.area = std::string("area");
        }
        const ir::Library before = library;
        const dummy::Targets targets{
            0, {3}, with_area ? std::optional<std::uint64_t>(2) : std::nullopt};
        const dummy::Flattened flat = dummy::flatten(before, 0, targets).value();
        const auto reports = dummy::generate(library, {rule}).value();
        ASSERT_EQ(reports.size(), 1u);
        const std::set<Tile> tiles = tiles_of(library, 0, "dummy_metal");
        EXPECT_EQ(reports[0].tiles, tiles.size());

        const std::int64_t s = std::llround(rule.size);
        const dummy::Pitch pitch{s, std::llround(rule.size + rule.space),
                                 std::llround(rule.keepout), rule.stagger};
        const std::int64_t m = std::llround(rule.margin);
        dummy::Region region;
        boolean::Box frame;
        if (with_area) {
            auto rings = m > 0 ? boolean::erode(flat.area, boolean::Join::Miter, std::nullopt, m)
                               : boolean::boolean(flat.area, {}, boolean::Op::Union);
            frame = boolean::empty_box;
            for (const Ring& r : *rings) {
                frame = boolean::box_union(frame, boolean::bounds(r));
            }
            region = std::move(*rings);
        } else {
            const ir::Box fp = signature::footprint(before, 0).value();
            frame = {fp.left + m, fp.bottom + m, fp.right - m, fp.top - m};
            region = frame;
        }
        EXPECT_EQ(tiles, expected_tiles(flat, pitch, region, frame)) << "round " << round;

        // Independently of the rules' wording: tiles keep clear of the blocking shapes grown by
        // the keepout (bevelled, one unit less for rounding) and stay inside the region.
        boolean::Polygons tile_rings;
        for (const Tile& t : tiles) {
            tile_rings.push_back({{t.x, t.y}, {t.x + s, t.y}, {t.x + s, t.y + s}, {t.x, t.y + s}});
        }
        // A result set gives holes as separate clockwise rings, which an operand would take for
        // filled polygons; keyholed, the grown blockers and the region are operands again.
        boolean::Polygons blockers;
        for (const dummy::Blocker& b : flat.blocking) {
            const auto* box = std::get_if<boolean::Box>(&b);
            blockers.push_back(box ? Ring{{box->x0, box->y0},
                                          {box->x1, box->y0},
                                          {box->x1, box->y1},
                                          {box->x0, box->y1}}
                                   : std::get<Ring>(b));
        }
        const auto kept = boolean::dilate(blockers, boolean::Join::Bevel, std::nullopt,
                                          std::max<double>(0, pitch.keepout - 1));
        EXPECT_TRUE(
            boolean::boolean(tile_rings, boolean::keyholes(*kept), boolean::Op::Intersection)
                ->empty())
            << "round " << round;
        if (const auto* rings = std::get_if<boolean::Polygons>(&region)) {
            EXPECT_TRUE(
                boolean::boolean(tile_rings, boolean::keyholes(*rings), boolean::Op::Difference)
                    ->empty())
                << "round " << round;
        }
    }
}

dummy::Rule rule_on(std::string layer, double size, double space, double keepout) {
    return {.layer = std::move(layer), .size = size, .space = space, .keepout = keepout};
}

TEST(DummyFill, NamesLayersAndLaterRules) {
    ir::Library library = library_with({box_on(1, 0, 0, 10000, 10000)});
    library.cells.push_back({.name = "DUMMY_metal", .source = "x"});
    library.cells.push_back(
        {.name = "top2", .source = "top2", .shapes = {box_on(1, 0, 0, 4000, 4000)}});
    library.cells[0].instances.push_back({.name = "dummy_metal", .cell = 1});
    library.tops = {0, 2};
    dummy::Rule first = rule_on("metal", 1000, 1000, 0);
    first.datatype = 7;
    dummy::Rule second = rule_on("metal_dummy", 1000, 1000, 0);
    dummy::Rule third = rule_on("metal", 1000, 1000, 500);
    third.layer = dummy::GdsPair{9, 0};
    third.exclude = {std::string("metal_dummy")};
    const auto reports = dummy::generate(library, {first, second, third}).value();
    ASSERT_EQ(reports.size(), 6u);
    EXPECT_EQ(reports[0].tiles, 25u);
    EXPECT_EQ(reports[1].cell, "top2");
    EXPECT_EQ(reports[1].tiles, 4u);
    EXPECT_DOUBLE_EQ(reports[1].fill, 0.25);
    // The second rule fills the first rule's tile layer, so every position is taken; its unused
    // tile cell is dropped again.
    EXPECT_EQ(reports[2].tiles, 0u);
    EXPECT_EQ(reports[3].instances, 0u);
    EXPECT_EQ(reports[4].tiles, 0u);
    EXPECT_EQ(library.layers[4], (ir::Layer{"metal_dummy", 1, 7}));
    EXPECT_EQ(library.layers[5], (ir::Layer{"L9_0", 9, 0}));
    EXPECT_EQ(library.cells[3].name, "DUMMY_metal$1");
    EXPECT_EQ(library.cells[3].shapes[0], box_on(4, 0, 0, 1000, 1000));
    EXPECT_EQ(library.cells[4].name, "top$DUMMY_metal");
    EXPECT_EQ(library.cells[0].instances.back().name, "dummy_metal_1");
    EXPECT_EQ(library.cells[5].name, "top2$DUMMY_metal");
    EXPECT_EQ(library.cells.size(), 6u);
}

// Every arrayed instance replaced by one plain instance per element.
ir::Library without_arrays(ir::Library library) {
    for (ir::Cell& cell : library.cells) {
        std::vector<ir::Instance> plain;
        for (const ir::Instance& i : cell.instances) {
            const ir::Array a = i.array.value_or(ir::Array{1, 1, {}, {}});
            for (std::int64_t u = 0; u < a.columns; ++u) {
                for (std::int64_t v = 0; v < a.rows; ++v) {
                    ir::Instance one = i;
                    one.array.reset();
                    one.x = i.x + u * a.column_step.x + v * a.row_step.x;
                    one.y = i.y + u * a.column_step.y + v * a.row_step.y;
                    plain.push_back(std::move(one));
                }
            }
        }
        cell.instances = std::move(plain);
    }
    return library;
}

// Arrays are blocked element by element without being flattened: nested, turned and mirrored
// arrays of boxes, slanted polygons, paths and blackboxes fill exactly as their elements placed
// one by one, and so does an array under a turn that is not a quarter turn.
TEST(DummyFill, ArraysBlockAsTheirElements) {
    std::mt19937_64 rng(11);
    const double angles[] = {0, 90, 180, 270, 45};
    for (int round = 0; round < 40; ++round) {
        ir::Library library = library_with({box_on(1, -20000, -20000, 40000, 40000)});
        ir::Cell leaf{.name = "leaf", .source = "leaf"};
        leaf.shapes = {box_on(0, 0, 0, 300 + rng() % 900, 200),
                       {0, ir::Geometry{ir::Polygon{{{0, 0}, {700, 100}, {200, 900}}}}},
                       {3, ir::Geometry{ir::Path{100, {{0, 0}, {900, 400}}}}}};
        ir::Cell boxed{.name = "boxed", .source = "boxed"};
        boxed.blackbox = ir::Blackbox{{-100, -100, 400, 100}, "i", "c"};
        ir::Cell mid{.name = "mid", .source = "mid"};
        const auto array = [&] {
            return ir::Array{static_cast<std::uint32_t>(1 + rng() % 4),
                             static_cast<std::uint32_t>(rng() % 4),
                             {static_cast<std::int64_t>(rng() % 3000) - 500, 0},
                             {static_cast<std::int64_t>(rng() % 400), 2500}};
        };
        mid.instances.push_back({.name = "a", .cell = 2, .x = 100, .array = array()});
        mid.instances.push_back({.name = "b", .cell = 3, .y = -700, .rotation = 90});
        library.cells.insert(library.cells.end(), {mid, leaf, boxed});
        for (int n = 0; n < 3; ++n) {
            library.cells[0].instances.push_back({.name = "m" + std::to_string(n),
                                                  .cell = 1 + rng() % 3,
                                                  .x = static_cast<std::int64_t>(rng() % 20000),
                                                  .y = static_cast<std::int64_t>(rng() % 20000),
                                                  .rotation = angles[rng() % 5],
                                                  .mirror = rng() % 2 == 0,
                                                  .array = array()});
        }
        ir::Library plain = without_arrays(library);
        dummy::Rule rule = rule_on("metal", 500 + rng() % 1000, rng() % 1000, rng() % 800);
        rule.exclude = {std::string("excl")};
        rule.stagger = rng() % 2 == 0;
        const auto arrayed = dummy::generate(library, {rule}).value();
        const auto placed = dummy::generate(plain, {rule}).value();
        EXPECT_EQ(arrayed[0].tiles, placed[0].tiles) << "round " << round;
        EXPECT_EQ(tiles_of(library, 0, "dummy_metal"), tiles_of(plain, 0, "dummy_metal"))
            << "round " << round;
    }
}

TEST(DummyFill, KeepoutIsStrict) {
    // Tile (0, 0)-(1000, 1000) with a keepout of 500 reaches x = 1500 but does not block there.
    for (const std::int64_t left : {1500, 1499}) {
        ir::Library library =
            library_with({box_on(1, 0, 0, 3000, 1000), box_on(0, left, 0, 3000, 1000)});
        dummy::generate(library, {rule_on("metal", 1000, 2000, 500)}).value();
        EXPECT_EQ(tiles_of(library, 0, "dummy_metal").count({0, 0}), left == 1500 ? 1u : 0u);
    }
}

TEST(DummyFill, FlattensThroughPlacements) {
    ir::Library library = library_with({});
    ir::Cell leaf{.name = "leaf", .source = "leaf", .shapes = {box_on(0, 10, 20, 30, 60)}};
    ir::Cell mid{.name = "mid", .source = "mid"};
    mid.instances.push_back({.name = "l", .cell = 2, .x = 100, .rotation = 90});
    mid.instances.push_back({.name = "none", .cell = 2, .array = ir::Array{3, 0, {5, 0}, {0, 5}}});
    ir::Cell boxed{.name = "boxed", .source = "boxed", .shapes = {box_on(0, 0, 0, 1, 1)}};
    boxed.blackbox = ir::Blackbox{{-5, -5, 5, 5}, "i", "c"};
    library.cells.push_back(mid);
    library.cells.push_back(leaf);
    library.cells.push_back(boxed);
    library.cells[0].instances.push_back({.name = "m", .cell = 1, .x = 1000, .mirror = true});
    library.cells[0].instances.push_back({.name = "r", .cell = 2, .rotation = 45});
    library.cells[0].instances.push_back({.name = "b", .cell = 3, .x = 50, .rotation = 90});
    const auto flat = dummy::flatten(library, 0, {0, {}, std::nullopt}).value();
    ASSERT_EQ(flat.blocking.size(), 3u);
    // Under the mirrored placement the child's quarter turn runs the other way:
    // (x, y) -> (1100 - y, -x).
    EXPECT_EQ(std::get<boolean::Box>(flat.blocking[0]), (boolean::Box{45, -5, 55, 5}));
    EXPECT_EQ(std::get<Ring>(flat.blocking[1]).size(), 4u);
    EXPECT_EQ(std::get<boolean::Box>(flat.blocking[2]), (boolean::Box{1040, -30, 1080, -10}));
}

TEST(DummyFill, RefusesWhatItCannotFillExactly) {
    ir::Library looped = library_with({box_on(0, 0, 0, 10, 10)});
    looped.cells.push_back({.name = "a", .source = "a"});
    looped.cells.push_back({.name = "b", .source = "b"});
    looped.cells[0].instances.push_back({.name = "x", .cell = 1});
    looped.cells[1].instances.push_back({.name = "y", .cell = 2});
    looped.cells[2].instances.push_back({.name = "z", .cell = 1});
    EXPECT_EQ(dummy::generate(looped, {rule_on("metal", 1, 1, 0)}).error(),
              "cell `a` contains itself");

    ir::Library far =
        library_with({box_on(1, 0, 0, 1000, 1000), box_on(0, 0, 0, 10, std::int64_t{1} << 41)});
    EXPECT_EQ(
        dummy::generate(far, {rule_on("metal", 1000, 0, 0)}).error(),
        "dummy fill of cell `top`: coordinate out of range: (1000, 2199023255552) lies outside "
        "the exact range of the polygon engine, which is -2^40 to 2^40 (1099511627776) "
        "database units");

    ir::Library wide = library_with({box_on(1, 0, 0, 200000, 100000)});
    EXPECT_EQ(dummy::generate(wide, {rule_on("metal", 1, 0, 0)}).error(),
              "the dummy grid would have 20000100000 tiles; use larger tiles or a smaller area");
    EXPECT_EQ(dummy::generate(wide, {rule_on("metal", 1e13, 0, 0)}).error(),
              "the dummy `size` is 10000000000000 database units, beyond the coordinate limit of "
              "2^40 (1099511627776)");

    // Arrays of arrays of arrays: 2^60 placements are refused before any is made.
    ir::Library nested = library_with({});
    for (std::uint64_t level = 1; level <= 3; ++level) {
        nested.cells.push_back({.name = "n" + std::to_string(level), .source = "n"});
        nested.cells[level - 1].instances.push_back(
            {.name = "a", .cell = level, .array = ir::Array{1024, 1024, {1, 0}, {0, 1}}});
    }
    nested.cells.back().shapes = {box_on(0, 0, 0, 1, 1)};
    EXPECT_EQ(
        dummy::generate(nested, {rule_on("metal", 1, 0, 0)}).error(),
        "cell `top` places more than 268435456 cells and shapes when flattened for dummy fill");
}

TEST(DummyFill, SameResultOnOneAndEightThreads) {
    // An area outline large enough for the engine's parallel steps.
    Ring circle;
    for (int k = 0; k < 40000; ++k) {
        const double a = 2 * 3.141592653589793 * k / 40000;
        circle.push_back({std::llround(200000 * std::cos(a)), std::llround(200000 * std::sin(a))});
    }
    std::mt19937_64 rng(3);
    ir::Library library = random_layout(rng, false);
    library.cells[0].shapes.push_back({2, ir::Geometry{ir::Polygon{ir::from_boolean(circle)}}});
    dummy::Rule rule = rule_on("metal", 2000, 1000, 1000);
    rule.area = std::string("area");
    rule.margin = 3000;
    ir::Library one = library;
    ir::Library eight = library;
    quorvane_dsl::base::pool::with_threads(1, [&] { dummy::generate(one, {rule}).value(); });
    quorvane_dsl::base::pool::with_threads(8, [&] { dummy::generate(eight, {rule}).value(); });
    EXPECT_EQ(one, eight);
    EXPECT_GT(tiles_of(one, 0, "dummy_metal").size(), 10000u);
}

} // namespace
