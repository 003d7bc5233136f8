#include <gtest/gtest.h>

#include "lvs/ports.hpp"

namespace {

using namespace quorvane_dsl;
using ir::Value;

struct Placed {
    std::int64_t x;
    std::int64_t y;
    double angle;
    bool operator==(const Placed&) const = default;
};

// The one port that a child location (px, py, pa) gives through the instance.
Placed through(ir::Instance inst, ir::Frame frame) {
    ir::Cell child{.name = "child", .source = "child"};
    child.markers.push_back({"p", {frame}, {}});
    ir::Cell parent{.name = "parent", .source = "parent"};
    inst.cell = 0;
    parent.instances.push_back(inst);
    const std::vector<ir::Cell> cells = {child, parent};
    const auto ports = lvs::ports(cells, cells[1]);
    EXPECT_EQ(ports.size(), 1u);
    EXPECT_EQ(ports[0].instance, inst.name);
    return {ports[0].x, ports[0].y, ports[0].angle};
}

TEST(Ports, PlacedLocations) {
    EXPECT_EQ(through({.x = 100, .rotation = 90}, {10, 0, 0}), (Placed{100, 10, 90}));
    EXPECT_EQ(through({.x = 100, .rotation = -270}, {10, 0, 0}), (Placed{100, 10, 90}));
    EXPECT_EQ(through({.mirror = true}, {10, 5, 90}), (Placed{10, -5, 270}));
    EXPECT_EQ(through({.rotation = 90, .mirror = true}, {10, 5, 0}), (Placed{5, 10, 90}));
    EXPECT_EQ(through({.rotation = 45}, {1, 0, 0}), (Placed{1, 1, 45}));
    EXPECT_EQ(through({}, {0, 0, -90}), (Placed{0, 0, 270}));
    EXPECT_EQ(through({.x = INT64_MAX}, {INT64_MAX, 0, 0}).x, INT64_MAX);
}

TEST(Ports, OwnMarkersKindsAndAttributes) {
    ir::Cell child{.name = "child", .source = "child"};
    child.markers.push_back({"c", {{1, 1, 0}}, {}});
    ir::Cell cell{.name = "cell", .source = "cell"};
    cell.markers.push_back({"a",
                            {{0, 0, -90}, {5, 5, 0}},
                            {{"kind", Value{Value::Int{3}}},
                             {"type", Value{Value::String{"t1"}}},
                             {"type", Value{Value::String{"t2"}}},
                             {"width", Value{Value::Int{500}}},
                             {"xsection", Value{Value::Named{"xs", {}}}}}});
    cell.markers.push_back({"a",
                            {{7, 7, 0}},
                            {{"kind", Value{Value::String{"pin"}}},
                             {"kind", Value{Value::String{"port"}}},
                             {"width", Value{Value::Number{500, {1, 0}}}}}});
    cell.instances.push_back({.name = "arr", .array = ir::Array{1, 1, {}, {}}});
    cell.instances.push_back({.name = "plain", .x = 10});
    const std::vector<ir::Cell> cells = {child, cell};
    const auto ports = lvs::ports(cells, cells[1]);
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0].kind, "port");
    EXPECT_EQ(ports[0].type, "t2");
    EXPECT_EQ(ports[0].width, std::nullopt);
    EXPECT_EQ(ports[0].xsection, "xs");
    EXPECT_EQ(ports[0].angle, -90);
    EXPECT_EQ(ports[1].index, 1u);
    EXPECT_EQ(ports[2].kind, "pin");
    EXPECT_EQ(ports[2].width, 500);
    EXPECT_EQ(ports[2].index, 0u);
    EXPECT_EQ(ports[3].marker, "c");
    EXPECT_EQ(ports[3].x, 11);
    EXPECT_EQ(lvs::ports(cells, cells[0]).size(), 1u);
    ir::Cell lonely{.name = "l", .source = "l"};
    lonely.instances.push_back({.name = "x", .cell = 1}); // a cell without markers
    const std::vector<ir::Cell> no_markers = {lonely, ir::Cell{.name = "e", .source = "e"}};
    EXPECT_TRUE(lvs::ports(no_markers, no_markers[0]).empty());
}

} // namespace
