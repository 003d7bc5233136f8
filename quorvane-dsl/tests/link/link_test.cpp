#include <gtest/gtest.h>

#include "link/link.hpp"

namespace {

using namespace quorvane_dsl;

ir::Cell cell_on(std::string name, std::uint64_t layer) {
    ir::Cell cell{.name = std::move(name), .source = "src"};
    cell.shapes.push_back({layer, ir::Geometry{ir::Box{0, 0, 1, 1}}});
    return cell;
}

std::uint64_t linked_layer(std::vector<ir::Layer> target_layers, ir::Layer from,
                           std::vector<ir::Layer>* after = nullptr) {
    ir::Library target;
    target.layers = std::move(target_layers);
    ir::Library source;
    source.layers = {std::move(from)};
    source.cells = {cell_on("c", 0)};
    link::Linker linker;
    const auto cell = linker.contents(target, 0, source, 0).value();
    if (after) {
        *after = target.layers;
    }
    return cell.shapes[0].layer;
}

TEST(Link, MapsLayersByNameThenNumbersThenAppends) {
    std::vector<ir::Layer> after;
    EXPECT_EQ(linked_layer({{"poly", 10, 0}}, {"metal1", 10, 0}, &after), 0u);
    EXPECT_EQ(after.size(), 1u);
    EXPECT_EQ(linked_layer({{"metal1", 11, 0}}, {"metal1", 10, 0}, &after), 1u);
    EXPECT_EQ(after[1], (ir::Layer{"metal1_1", 10, 0}));
    linked_layer({{"metal1", 11, 0}, {"metal1_1", 12, 0}}, {"metal1", 10, 0}, &after);
    EXPECT_EQ(after[2].name, "metal1_2");
    EXPECT_EQ(linked_layer({{"x", 63, 0}, {"blackbox", 70, 0}}, {"blackbox", 63, 0}), 1u);
    EXPECT_EQ(linked_layer({{"pins", 255, 0}}, {"marker", 255, 0}), 0u);
    EXPECT_EQ(linked_layer({{"x", 63, 0}, {"blackbox", 70, 0}}, {"Blackbox", 63, 0}), 0u);
    EXPECT_EQ(linked_layer({}, {"m", 1, 2}, &after), 0u);
    EXPECT_EQ(after, (std::vector<ir::Layer>{{"m", 1, 2}}));
}

TEST(Link, CopiesChildrenOnceAndFirst) {
    ir::Library source;
    source.layers = {{"m", 1, 0}};
    ir::Cell a{.name = "A", .source = "A"};
    a.instances.push_back({.name = "b1", .cell = 1});
    a.instances.push_back({.name = "b2", .cell = 1, .rotation = 90});
    a.instances.push_back({.name = "c", .cell = 2});
    ir::Cell b{.name = "B", .source = "B"};
    b.instances.push_back({.name = "c", .cell = 2});
    source.cells = {a, b, cell_on("C", 0), ir::Cell{.name = "E", .source = "E"}};
    ir::Library target;
    target.cells = {ir::Cell{.name = "C", .source = "mine"}};
    target.tops = {0};
    link::Linker linker;
    const auto copy = linker.contents(target, 0, source, 0).value();
    ASSERT_EQ(target.cells.size(), 3u);
    EXPECT_EQ(target.cells[1].name, "C");
    EXPECT_EQ(target.cells[2].name, "B");
    EXPECT_EQ(target.cells[2].instances[0].cell, 1u);
    EXPECT_EQ(copy.instances[0].cell, 2u);
    EXPECT_EQ(copy.instances[1].cell, 2u);
    EXPECT_EQ(copy.instances[1].rotation, 90);
    EXPECT_EQ(copy.instances[2].cell, 1u);
    EXPECT_EQ(linker.contents(target, 0, source, 0).value(), copy);
    EXPECT_EQ(target.cells.size(), 3u);
    EXPECT_EQ(target.tops, std::vector<std::uint64_t>{0});

    link::CopyPath path;
    EXPECT_EQ(linker.copy_cell(target, 0, source, 3, path).value(), 3u);
    EXPECT_EQ(target.layers.size(), 1u);
    EXPECT_EQ(linker.copy_cell(target, 1, source, 3, path).value(), 4u);
    EXPECT_TRUE(path.cells().empty());
}

TEST(Link, RefusesOtherUnitsAndCycles) {
    ir::Library source;
    source.dbu = 0.5;
    source.cells = {ir::Cell{.name = "R", .source = "R"}};
    ir::Library target;
    link::Linker linker;
    EXPECT_EQ(linker.contents(target, 0, source, 0).error(),
              "it uses a database unit of 0.5nm, this layout 1nm");
    source.dbu = 1;
    ir::Cell a{.name = "A", .source = "A"};
    a.instances.push_back({.cell = 1});
    source.cells[0].instances.push_back({.cell = 1});
    source.cells.push_back(a);
    link::CopyPath path;
    EXPECT_EQ(linker.copy_cell(target, 0, source, 1, path).error(), "cell `A` contains itself");
    source.cells[1].instances[0].cell = 0;
    EXPECT_EQ(link::Linker().contents(target, 0, source, 0).error(), "cell `R` contains itself");
}

} // namespace
