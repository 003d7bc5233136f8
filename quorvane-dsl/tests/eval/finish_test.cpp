#include <gtest/gtest.h>

#include "eval/finish.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::eval;

namespace {

ir::Marker port(std::string name, std::vector<ir::Frame> at, std::string kind = "port") {
    return ir::Marker{
        std::move(name), std::move(at), {{"kind", ir::Value{ir::Value::String{kind}}}}};
}

ir::PortRef self(std::string marker, std::uint64_t index = 0) {
    return {std::move(marker), std::nullopt, index};
}

ir::Cell box_cell(std::string name, std::int64_t side) {
    ir::Cell cell;
    cell.name = std::move(name);
    cell.source = cell.name;
    cell.shapes.push_back({0, ir::Geometry{ir::Box{0, 0, side, side}}});
    return cell;
}

} // namespace

TEST(Finish, PortsThatMeetConnect) {
    ir::Library lib;
    ir::Cell cell;
    cell.markers = {port("a", {{0, 0, 90}, {5, 5, 10}, {9, 9, 0}}),
                    port("b", {{0, 0, 270}, {5, 5, 370}, {9, 9, 90}}),
                    port("c", {{0, 0, 90}}, "pin")};
    cell.connections.push_back({self("b", 1), self("a", 1), true});
    lib.cells.push_back(cell);
    connect_ports(lib);
    // Opposite at (0,0); (5,5) was there already in the other orientation; 0 and 90 never meet.
    const std::vector<ir::Connection> expected{{self("b", 1), self("a", 1), true},
                                               {self("a", 0), self("b", 0), false}};
    EXPECT_EQ(lib.cells[0].connections, expected);

    // Two locations of one instance's marker never connect; the instance meets the parent.
    ir::Library two;
    ir::Cell child;
    child.name = "child";
    child.markers = {port("p", {{0, 0, 0}, {0, 0, 180}})};
    ir::Cell parent;
    parent.name = "parent";
    parent.markers = {port("q", {{10, 0, 0}})};
    parent.instances.push_back({"c0", 0, 10, 0, 0, false, {}});
    two.cells = {child, parent};
    connect_ports(two);
    ASSERT_EQ(two.cells[1].connections.size(), 2u);
    EXPECT_EQ(two.cells[1].connections[0].b, (ir::PortRef{"p", "c0", 0}));
    EXPECT_EQ(two.cells[0].connections.size(), 1u); // the child's own two locations
}

TEST(Finish, CellsOfOneNameMergeOrRename) {
    ir::Library lib;
    lib.layers = {{"metal", 1, 0}};
    lib.cells = {box_cell("pad", 1),   box_cell("pad", 2), box_cell("pad", 1),
                 box_cell("pad$1", 9), box_cell("pad", 3), box_cell("top", 1)};
    lib.cells[5].instances.push_back({"a", 2, 0, 0, 0, false, {}});
    lib.tops = {2, 0, 5};
    // The copied cell 0 loses to the source cell 2 of equal content; the source cells come
    // first, so cell 1 keeps the name and "pad$1" is skipped as taken.
    settle_names(lib, {0});
    std::vector<std::string> names;
    for (const ir::Cell& c : lib.cells) {
        names.push_back(c.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"pad", "pad$2", "pad$1", "pad$3", "top"}));
    EXPECT_EQ(lib.cells[4].instances[0].cell, 1u);
    EXPECT_EQ(lib.tops, (std::vector<std::uint64_t>{1, 4}));
}
