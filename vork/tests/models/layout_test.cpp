#include <gtest/gtest.h>

#include "models/top.hpp"

using namespace vork::models;
using top::LayoutDb;

TEST(LayoutDb, LayersAreKeyedByNameAndNumbers) {
    LayoutDb db;
    EXPECT_EQ(db.dbu, 0.001);
    EXPECT_EQ(db.meta.scale, 1.0);
    EXPECT_FALSE(db.name);
    EXPECT_EQ(db.layer({"metal", 1, 0}).value, 0u);
    EXPECT_EQ(db.layer({"metal", 1, 0}).value, 0u);
    EXPECT_EQ(db.layer({std::nullopt, 1, 0}).value, 1u);
    EXPECT_EQ(db.layers.size(), 2u);
}

TEST(LayoutDb, InsertionsCheckIdsAndKeepLayerOrder) {
    LayoutDb db;
    ASSERT_TRUE(db.add_cell("top"));
    EXPECT_EQ(debug_text(db.add_cell("top").error()), "DuplicateCellName(\"top\")");
    ASSERT_TRUE(db.add_cell("child"));
    for (int l : {3, 1, 2}) {
        db.layer({std::nullopt, l, 0});
    }
    const auto record = [](std::int64_t left) {
        return shape::ShapeRecord{{}, shape::Box{left, 0, left + 1, 1}};
    };
    EXPECT_EQ(debug_text(db.insert_shape_record(CellId{9}, LayerId{5}, record(0)).error()),
              "UnknownLayer(LayerId(5))");
    EXPECT_EQ(debug_text(db.insert_shape_record(CellId{9}, LayerId{0}, record(0)).error()),
              "UnknownCell(CellId(9))");
    ASSERT_TRUE(db.insert_shape_record(CellId{0}, LayerId{2}, record(1)));
    ASSERT_TRUE(db.insert_shape_record(CellId{0}, LayerId{0}, record(2)));
    ASSERT_TRUE(db.insert_shape_record(CellId{0}, LayerId{2}, record(3)));
    std::vector<std::int64_t> order;
    for (const auto& [layer, records] : db.cells[0].shapes) {
        for (const auto& r : records) {
            order.push_back(std::get<shape::Box>(r.shape).left);
        }
    }
    EXPECT_EQ(order, (std::vector<std::int64_t>{2, 1, 3}));

    top::CellInstance instance{.cell = CellId{9}};
    EXPECT_EQ(debug_text(db.insert_instance(CellId{0}, instance).error()),
              "UnknownCell(CellId(9))");
    instance.cell = CellId{1};
    EXPECT_EQ(debug_text(db.insert_instance(CellId{7}, instance).error()),
              "UnknownCell(CellId(7))");
    EXPECT_TRUE(db.insert_instance(CellId{0}, instance));

    EXPECT_EQ(debug_text(db.set_dbu(0.0).error()), "InvalidDbu(0.0)");
    EXPECT_EQ(debug_text(db.set_dbu(-1e-9).error()), "InvalidDbu(-1e-9)");
    EXPECT_EQ(debug_text(db.set_dbu(-1e16).error()), "InvalidDbu(-1e16)");
    EXPECT_EQ(debug_text(db.set_dbu(std::numeric_limits<double>::quiet_NaN()).error()),
              "InvalidDbu(NaN)");
    EXPECT_EQ(debug_text(db.set_dbu(-std::numeric_limits<double>::infinity()).error()),
              "InvalidDbu(-inf)");
    EXPECT_EQ(db.dbu, 0.001);
    EXPECT_TRUE(db.set_dbu(5e-324));
}

TEST(LayoutDb, DebugNumbers) {
    EXPECT_EQ(debug_f64(0.25), "0.25");
    EXPECT_EQ(debug_f64(3.0), "3.0");
    EXPECT_EQ(debug_f64(1.5e-7), "1.5e-7");
    EXPECT_EQ(debug_f64(0.0001), "0.0001");
    EXPECT_EQ(debug_f64(1.25e20), "1.25e20");
    EXPECT_EQ(debug_f64(9999999999999998.0), "9999999999999998.0");
    EXPECT_EQ(debug_quoted("a\"b\\"), "\"a\\\"b\\\\\"");
}
