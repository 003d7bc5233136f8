#include <cmath>
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "boolean/split.hpp"
#include "link/link.hpp"
#include "signature/signature.hpp"

namespace {

using namespace quorvane_dsl;
using ir::Value;

std::string hex_of(std::string_view text) {
    return sha256::to_hex(signature::sha(text));
}

Value length(double nm) {
    return Value{Value::Number{nm, {1, 0}}};
}

TEST(Signature, CanonicalValues) {
    using signature::canonical;
    EXPECT_EQ(canonical(Value{Value::Int{0}}), "0");
    EXPECT_EQ(canonical(Value{Value::Int{42}}), "i42");
    EXPECT_EQ(canonical(Value{Value::Int{-7}}), "i-7");
    EXPECT_EQ(canonical(length(2500)), "q2500^1,0");
    EXPECT_EQ(canonical(length(0)), "0");
    EXPECT_EQ(canonical(length(0.0000004)), "0");
    EXPECT_EQ(canonical(Value{Value::Number{45, {0, 1}}}), "q45^0,1");
    EXPECT_EQ(canonical(Value{Value::Number{0.5, {0, 0}}}), "q0.5^0,0");
    EXPECT_EQ(canonical(Value{Value::Number{-12.3456784, {-1, 2}}}), "q-12.345678^-1,2");
    EXPECT_EQ(canonical(Value{Value::Point{1, -2.5, 450}}), "p(1,-2.5,450)");
    EXPECT_EQ(canonical(Value{Value::String{"a\"\t"}}), "\"a\\\"\\t\"");
    // Canonical texts are hashed, never lexed: a carriage return stays raw.
    EXPECT_EQ(canonical(Value{Value::String{"a\r\n\\"}}), "\"a\r\\n\\\\\"");
    EXPECT_EQ(canonical(Value{Value::List{{Value{Value::Bool{true}}, Value{Value::Int{1}}}}}),
              "[true,i1]");
    EXPECT_EQ(canonical(Value{Value::Named{"xs", {{"w", length(2)}, {"a", Value{Value::Int{3}}}}}}),
              "xxs(a=i3,w=q2^1,0)");
    EXPECT_EQ(canonical(Value{Value::Named{"m", {}}}), "xm()");
    EXPECT_EQ(signature::number_text(1e21), "1000000000000000000000");
    EXPECT_EQ(signature::number_text(0.0000005), "0.000001");
    EXPECT_EQ(signature::angle_text(-90), "270");
    EXPECT_EQ(signature::angle_text(450), "90");
    EXPECT_EQ(signature::angle_text(359.9999999999), "0");
    EXPECT_EQ(signature::angle_text(90.0000000005), "90");
    EXPECT_EQ(signature::angle_text(12.3456789), "12.345679");
}

// A number whose dimension has no unit reads back as a plain one, and signs differently, unless
// it rounds to zero; inside a list the comment GDS metadata writes hides the closing bracket.
TEST(Signature, ValuesReadBackAlike) {
    using ir::Stored;
    const auto alike = [](const Value& value) {
        return signature::reads_back_alike(value, Stored::ToTheEnd) &&
               signature::reads_back_alike(value, Stored::AmongText);
    };
    const Value area{Value::Number{2500, {2, 0}}};
    const Value no_area{Value::Number{0, {2, 0}}};
    EXPECT_FALSE(alike(area));
    EXPECT_FALSE(alike(Value{Value::Number{2.5, {1, 1}}}));
    EXPECT_FALSE(alike(Value{Value::Named{"xs", {{"a", area}}}}));
    EXPECT_FALSE(alike(Value{Value::List{{no_area}}}));
    EXPECT_FALSE(alike(Value{Value::Int{INT64_MIN}}));
    EXPECT_FALSE(alike(Value{Value::Number{NAN, {0, 0}}}));
    EXPECT_TRUE(alike(no_area));
    EXPECT_TRUE(alike(Value{Value::Number{0.0000001, {2, 0}}}));
    EXPECT_TRUE(alike(Value{Value::List{{length(1005), length(0), Value{Value::Int{-3}}}}}));
    EXPECT_TRUE(alike(Value{Value::Number{-0.0, {0, 0}}}));
    EXPECT_TRUE(alike(Value{Value::Point{1000, 0, 90}}));
    EXPECT_TRUE(alike(Value{Value::Named{"xs", {{"w", length(2)}}}}));
}

TEST(Signature, ContentTexts) {
    ir::Library library;
    library.layers = {{"m2", 2, 0}, {"m10", 10, 0}};
    ir::Cell top{.name = "top", .source = ""};
    library.cells.push_back(top);
    signature::Digests plain(library);
    EXPECT_EQ(sha256::to_hex(plain.cell(0)), hex_of("cell top\nsource \n"));

    ir::Cell cell{.name = "c", .source = "src"};
    cell.params = {{"w2", Value{Value::Int{1}}}, {"w", length(0)}};
    cell.attrs = {{"b", Value{Value::Bool{false}}}};
    cell.shapes.push_back({0, ir::Geometry{ir::Box{0, 0, 10, 20}}});
    cell.shapes.push_back({1, ir::Geometry{ir::Polygon{{{10, 20}, {0, 20}, {0, 0}, {10, 0}}}}});
    cell.shapes.push_back({0, ir::Geometry{ir::Polygon{{{0, 0}, {10, 0}, {10, 20}, {1, 21}}}}});
    cell.shapes.push_back({0, ir::Geometry{ir::Path{4, {{0, 0}, {5, 0}}}}});
    cell.markers.push_back(
        {"z", {{1, 2, 0}, {3, 4, -90}}, {{"b", Value{Value::Int{2}}}, {"a", length(5)}}});
    cell.markers.push_back({"a", {}, {}});
    cell.instances.push_back({"u", 0, 5, 6, 270, false, std::nullopt});
    cell.instances.push_back({"v", 0, 5, 6, -90, true, ir::Array{2, 3, {1, 0}, {0, -1}}});
    cell.blackbox = ir::Blackbox{{0, 1, 2, 3}, "sha256:i", "sha256:c"};
    library.cells.push_back(cell);
    library.dbu = 0.001;
    signature::Digests digests(library);
    const std::string child = hex_of("cell top\nsource \n");
    const std::string text = "cell c\n"
                             "source src\n"
                             "param w 0\n"
                             "param w2 i1\n"
                             "attr b false\n"
                             "marker a {}\n"
                             "marker z 1,2,0 3,4,270 {a=q5^1,0 b=i2}\n"
                             "blackbox 0 1 2 3 sha256:i sha256:c\n"
                             "10/0 box 0 0 10 20\n"
                             "2/0 box 0 0 10 20\n"
                             "2/0 path 4 0,0 5,0\n"
                             "2/0 polygon 0,0 10,0 10,20 1,21\n"
                             "inst " +
                             child + " 5 6 270 false\n" + "inst " + child +
                             " 5 6 270 true 2x3 1,0 0,-1\n";
    EXPECT_EQ(sha256::to_hex(digests.cell(1)), hex_of(text));
    EXPECT_EQ(digests.content(1),
              "sha256:" + hex_of("quorvane.content 1\ndbu 0.001\ncell " + hex_of(text) + "\n"));
    const std::string header = text.substr(0, text.find("blackbox"));
    EXPECT_EQ(signature::interface(library.cells[1], {-1, -2, 3, 4}, 0.0000004),
              "sha256:" +
                  hex_of("quorvane.interface 1\ndbu 0\n" + header + "footprint -1 -2 3 4\n"));
}

TEST(Signature, CyclesHashToZeros) {
    ir::Library library;
    ir::Cell self{.name = "s", .source = "s"};
    self.instances.push_back({"i", 0, 0, 0, 0, false, std::nullopt});
    library.cells.push_back(self);
    signature::Digests digests(library);
    const auto first = digests.cell(0);
    EXPECT_EQ(sha256::to_hex(first),
              hex_of("cell s\nsource s\ninst " + std::string(64, '0') + " 0 0 0 false\n"));
    EXPECT_EQ(digests.cell(0), first);
}

TEST(Signature, DeepHierarchyStaysOffTheCallStack) {
    ir::Library library;
    library.layers = {{"m", 1, 0}};
    const std::size_t depth = 50000;
    library.cells.resize(depth);
    for (std::size_t i = 0; i + 1 < depth; ++i) {
        library.cells[i].instances.push_back({.cell = i + 1});
    }
    library.cells.back().shapes.push_back({0, ir::Geometry{ir::Box{0, 0, 1, 1}}});
    signature::Digests digests(library);
    EXPECT_EQ(digests.content(0).size(), 71u);
    EXPECT_EQ(signature::footprint(library, 0), (ir::Box{0, 0, 1, 1}));
    ir::Library target;
    link::Linker linker;
    EXPECT_EQ(linker.contents(target, 0, library, 0).value().instances[0].cell, depth - 2);
    EXPECT_EQ(target.cells.size(), depth - 1);
}

ir::Library child_and_parent(ir::Instance inst) {
    ir::Library library;
    library.layers = {{"m", 1, 0}};
    ir::Cell child{.name = "child", .source = "child"};
    child.shapes.push_back({0, ir::Geometry{ir::Box{0, 0, 10, 20}}});
    ir::Cell parent{.name = "parent", .source = "parent"};
    inst.cell = 0;
    parent.instances.push_back(inst);
    library.cells = {child, parent};
    return library;
}

TEST(Footprint, PlacementsAndPorts) {
    using signature::footprint;
    for (double rotation : {90.0, -270.0, 450.0}) {
        EXPECT_EQ(footprint(child_and_parent({.x = 100, .rotation = rotation}), 1),
                  (ir::Box{80, 0, 100, 10}))
            << rotation;
    }
    EXPECT_EQ(footprint(child_and_parent({.mirror = true}), 1), (ir::Box{0, -20, 10, 0}));
    auto arrayed = child_and_parent({.array = ir::Array{3, 2, {10, 0}, {0, 10}}});
    arrayed.cells[0].shapes[0].geometry = ir::Geometry{ir::Box{0, 0, 5, 5}};
    EXPECT_EQ(footprint(arrayed, 1), (ir::Box{0, 0, 25, 15}));

    ir::Library library;
    ir::Cell empty{.name = "e", .source = "e"};
    ir::Cell wrapper{.name = "w", .source = "w"};
    wrapper.instances.push_back({.cell = 0});
    ir::Cell ports{.name = "p", .source = "p"};
    ports.markers.push_back({"a", {{5, 7, 0}}, {}});
    ports.markers.push_back({"b", {{-50, 7, 0}}, {{"kind", Value{Value::String{"anchor"}}}}});
    ports.markers.push_back({"c", {{6, 9, 0}}, {{"kind", Value{Value::Int{5}}}}});
    library.cells = {empty, wrapper, ports};
    EXPECT_EQ(footprint(library, 0), std::nullopt);
    EXPECT_EQ(footprint(library, 1), std::nullopt);
    EXPECT_EQ(footprint(library, 2), (ir::Box{5, 7, 6, 9}));
}

TEST(Footprint, HullEdgeCases) {
    ir::Library library;
    library.layers = {{"m", 1, 0}};
    ir::Cell line{.name = "l", .source = "l"};
    line.shapes.push_back({0, ir::Geometry{ir::Polygon{{{0, 0}, {5, 5}, {10, 10}}}}});
    line.instances.push_back({.cell = 0});
    library.cells = {line};
    signature::HullMemo memo(1);
    // Collinear points drop out; the chain closes on its first point.
    EXPECT_EQ(signature::hull(library, 0, memo), (signature::Hull{{0, 0}, {10, 10}, {0, 0}}));
    EXPECT_EQ(signature::footprint(library, 0), (ir::Box{0, 0, 10, 10}));

    auto half = child_and_parent({.rotation = 45});
    half.cells[0].shapes[0].geometry = ir::Geometry{ir::Box{0, 0, 5, 5}};
    // The corner (5, 0) turned by 45 degrees lands at (3.5355.., 3.5355..), (0, 5) at x -3.5355..
    EXPECT_EQ(signature::footprint(half, 1), (ir::Box{-4, 0, 4, 7}));
    auto path = child_and_parent({});
    path.cells[0].shapes[0].geometry = ir::Geometry{ir::Path{5, {{0, 0}, {10, 0}}}};
    EXPECT_EQ(signature::footprint(path, 1), (ir::Box{0, -3, 10, 3}));
}

} // namespace

namespace {

std::vector<ir::Point> circle_points(std::size_t count, std::int64_t radius) {
    std::vector<ir::Point> points;
    for (std::size_t i = 0; i < count; ++i) {
        const double a =
            2 * 3.141592653589793 * static_cast<double>(i) / static_cast<double>(count);
        points.push_back({static_cast<std::int64_t>(std::llround(radius * std::cos(a))),
                          static_cast<std::int64_t>(std::llround(radius * std::sin(a)))});
    }
    return points;
}

TEST(GdsPieces, CutsOnlyAboveTheLimit) {
    const ir::Geometry box{ir::Box{-(1LL << 60), 0, 1LL << 60, 1}};
    EXPECT_EQ(box.gds_pieces(), std::vector<ir::Geometry>{box});
    const ir::Geometry whole{ir::Polygon{circle_points(8000, 1000000)}};
    EXPECT_EQ(whole.gds_pieces(), std::vector<ir::Geometry>{whole});
    const ir::Geometry path{ir::Path{10, circle_points(8000, 1000000)}};
    EXPECT_EQ(path.gds_pieces(), std::vector<ir::Geometry>{path});

    const auto cut = ir::Geometry{ir::Polygon{circle_points(8001, 1000000)}}.gds_pieces();
    EXPECT_GT(cut.size(), 1u);
    for (const ir::Geometry& piece : cut) {
        EXPECT_LE(std::get<ir::Polygon>(piece.kind).points.size(),
                  quorvane_dsl::boolean::max_piece_points);
    }
    const auto outlined = ir::Geometry{ir::Path{10, circle_points(8001, 1000000)}}.gds_pieces();
    EXPECT_GT(outlined.size(), 1u);
    EXPECT_TRUE(std::holds_alternative<ir::Polygon>(outlined[0].kind));

    const ir::Geometry dot{ir::Path{10, std::vector<ir::Point>(8001, ir::Point{3, 3})}};
    EXPECT_EQ(dot.gds_pieces(), std::vector<ir::Geometry>{ir::Geometry{ir::Polygon{}}});
    // Beyond the engine's range the ring stays whole; GDSII refuses such coordinates anyway.
    auto far = circle_points(8001, 1000000);
    far[0].x = 1LL << 50;
    EXPECT_EQ(ir::Geometry{ir::Polygon{far}}.gds_pieces(),
              std::vector<ir::Geometry>{ir::Geometry{ir::Polygon{far}}});
}

} // namespace
