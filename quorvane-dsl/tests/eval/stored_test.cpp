#include <gtest/gtest.h>

#include <algorithm>

#include "analysis.hpp"
#include "eval/evaluator.hpp"
#include "eval/stored.hpp"
#include "eval/variant_name.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::eval;

namespace {

std::vector<ir::Geometry> place(const geom::LocalGeometry& g, geom::Transform t, double dbu = 1) {
    Analysis analysis;
    Evaluator ev(analysis);
    ev.dbu = dbu;
    std::vector<ir::Geometry> out;
    ev.shape_geometry(g, t, out);
    return out;
}

} // namespace

TEST(EvalStored, SizesAndPointsSnapToTheGridOtherValuesStay) {
    EXPECT_EQ(to_stored(Value::size(2.6), 1)->kind, (ir::Value{ir::Value::Number{3, {1, 0}}}.kind));
    EXPECT_EQ(to_stored(Value::size(1.3), 0.5)->kind,
              (ir::Value{ir::Value::Number{1.5, {1, 0}}}.kind));
    EXPECT_EQ(to_stored(Value::angle(12.34), 1)->kind,
              (ir::Value{ir::Value::Number{12.34, {0, 1}}}.kind));
    EXPECT_EQ(to_stored(Value{Value::Point{-0.5, 0.5, 45, nullptr}}, 1)->kind,
              (ir::Value{ir::Value::Point{-1, 1, 45}}.kind));
    EXPECT_EQ(snap(1e300, 1), 9223372036854775807.0);
    // Nested lists store in order; the first value without a stored form refuses the whole.
    const Value nested =
        Value::list({Value::integer(1), Value::list({Value::boolean(true)}), Value::string("x")});
    EXPECT_EQ(to_stored(nested, 1)->to_literal(), "[1, [true], \"x\"]");
    const Value bad = Value::list({Value::size(1), Value{Value::Shape{}}, Value{Value::Range{}}});
    EXPECT_EQ(to_stored(bad, 1).error(), "a shape cannot be stored as a value");
}

TEST(EvalStored, GeometryInDatabaseUnits) {
    const geom::LocalGeometry box{geom::BBox{0, 0, 10, 4}};
    EXPECT_EQ(place(box, {90, 100, 0, false}),
              (std::vector<ir::Geometry>{{ir::Box{96, 0, 100, 10}}}));
    EXPECT_EQ(place(box, {89.9999999999, 100, 0, false}),
              (std::vector<ir::Geometry>{{ir::Box{96, 0, 100, 10}}}));
    const auto turned = place(box, {45, 0, 0, false});
    ASSERT_EQ(turned.size(), 1u);
    const auto& polygon = std::get<ir::Polygon>(turned[0].kind);
    ASSERT_EQ(polygon.points.size(), 4u);
    EXPECT_EQ(polygon.points[0], (ir::Point{0, 0}));
    const geom::LocalGeometry group{geom::Group{{
        box,
        geom::LocalGeometry{geom::Polygon{{{0, 0}, {0.2, 0}, {10, 0}, {10, 10}, {0, 0.3}}}},
        geom::LocalGeometry{geom::Path{2, {{0, 0}, {5, 0}, {0, 0}}}},
    }}};
    const auto parts = place(group, {}, 1);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(std::get<ir::Polygon>(parts[1].kind).points,
              (std::vector<ir::Point>{{0, 0}, {10, 0}, {10, 10}}));
    EXPECT_EQ(std::get<ir::Path>(parts[2].kind).points, (std::vector<ir::Point>{{0, 0}, {5, 0}}));
    EXPECT_EQ(place(geom::LocalGeometry{geom::BBox{-0.5, -0.5, 0.5, 0.5}}, {}),
              (std::vector<ir::Geometry>{{ir::Box{-1, -1, 1, 1}}}));
}

// Variant names reach IR text, GDSII and netlists; their digits must never change.
TEST(EvalStored, VariantNamesHashTheKey) {
    EXPECT_EQ(key_hash(""), 0x84222325u);
    EXPECT_EQ(variant_name("pad", ""), "pad$84222325");
    EXPECT_EQ(
        variant_name("pad", "w=2um"), "pad$" + [] {
            std::uint64_t h = 0xcbf29ce484222325ull;
            for (char c : std::string("w=2um")) {
                h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
            }
            char text[9];
            std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(h & 0xffffffffu));
            return std::string(text);
        }());
}

// A large child is searched from the front at first and through its tables later, with the same
// answers: a parameter before an attribute of the same name, the first of a repeated name.
TEST(EvalStored, MembersOfALargeChildFoundByName) {
    ir::Cell cell;
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i) {
        names.push_back("n" + std::to_string(i));
        const ir::Value value{ir::Value::Int{i}};
        (i % 2 ? cell.params : cell.attrs).emplace_back(names.back(), value);
        cell.attrs.emplace_back("n" + std::to_string(i / 3), value);
        cell.markers.push_back({"n" + std::to_string(i / 2), {}, {}});
    }
    names.push_back("none");
    const auto first = [](const std::vector<ir::NamedValue>& values, const std::string& name) {
        const auto found = std::ranges::find(values, name, &ir::NamedValue::first);
        return found == values.end() ? nullptr : &found->second;
    };
    StoredIndex index;
    for (int round = 0; round < 10; ++round) {
        for (const std::string& name : names) {
            const ir::Value* param = first(cell.params, name);
            EXPECT_EQ(index.value(3, cell, name), param ? param : first(cell.attrs, name)) << name;
            EXPECT_EQ(index.marker(3, cell, name), cell.marker(name)) << name;
        }
    }
}
