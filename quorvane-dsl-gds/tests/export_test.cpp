#include <gtest/gtest.h>

#include <cmath>

#include "io/gds/writer.hpp"
#include "lib.hpp"
#include "read.hpp"

namespace ir = quorvane_dsl::ir;
namespace shape = vork::models::shape;
using quorvane_dsl_gds::to_layout;

namespace {

ir::Cell cell_named(std::string name) {
    ir::Cell cell;
    cell.name = name;
    cell.source = std::move(name);
    return cell;
}

ir::Instance instance_of(std::uint64_t cell, double rotation, bool mirror) {
    ir::Instance instance;
    instance.name = "i";
    instance.cell = cell;
    instance.x = 5;
    instance.y = 5;
    instance.rotation = rotation;
    instance.mirror = mirror;
    return instance;
}

std::vector<std::string> property_texts(const vork::models::top::LayoutDb& db,
                                        const shape::ShapeRecord& record) {
    std::vector<std::string> texts;
    for (const auto& p : db.meta_of(record.meta).properties) {
        texts.push_back(std::to_string(p.attribute) + ":" + p.value);
    }
    return texts;
}

} // namespace

TEST(Export, MetadataTextsCarryWhatGdsCannotHold) {
    ir::Library library;
    library.dbu = 1;
    library.layers = {{"metal", 1, 0}, {"via", 2, 0}};
    ir::Cell pad = cell_named("pad");
    pad.source = "pad_src";
    pad.params.emplace_back("w", ir::Value{ir::Value::Number{2000, {1, 0}}});
    pad.attrs.emplace_back("long", ir::Value{ir::Value::String{std::string(130, 'x')}});
    pad.attrs.emplace_back("rows", ir::Value{ir::Value::Int{4}});
    pad.blackbox = ir::Blackbox{{-5, 0, 10, 20}, "sha256:a", "sha256:b"};
    pad.shapes.push_back({0, ir::Geometry{ir::Box{0, 0, 10, 10}}});
    ir::Marker port{"p", {{0, 0, 0}, {10, 0, 12.5}}, {}};
    port.attrs.emplace_back("kind", ir::Value{ir::Value::String{"port"}});
    port.attrs.emplace_back("note", ir::Value{ir::Value::String{std::string(200, 'n')}});
    pad.markers.push_back(port);
    library.cells.push_back(pad);

    auto out = to_layout(library);
    ASSERT_TRUE(out) << out.error();
    const auto& db = out->layout;
    EXPECT_EQ(db.name, "QUORVANE");
    EXPECT_EQ(db.dbu, 0.001);
    ASSERT_EQ(db.layers.size(), 3u);
    EXPECT_EQ(db.layers[2].layer, 255);
    const auto& texts = db.cells[0].shapes.at({2});
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(property_texts(db, texts[0]),
              (std::vector<std::string>{
                  "1:quorvane.cell", "2:pad_src", "10:layer:metal=1/0", "11:layer:via=2/0",
                  "12:param:w=2um", "13:attr:rows=4", "14:blackbox:footprint=-5,0,10,20",
                  "15:blackbox:interface=sha256:a", "16:blackbox:content=sha256:b"}));
    EXPECT_EQ(property_texts(db, texts[2]),
              (std::vector<std::string>{"1:quorvane.marker", "2:p", "3:1", "4:12.5",
                                        "10:kind=\"port\""}));
    const auto& location = db.text_of(std::get<shape::Text>(texts[2].shape));
    EXPECT_EQ(location.text, "p[1]");
    EXPECT_EQ(location.transform.origin, (vork::models::Point{10, 0}));
    ASSERT_EQ(out->warnings.size(), 3u);
    EXPECT_EQ(out->warnings[0], "cell `pad`: `attr:long=\"" + std::string(29, 'x') +
                                    "…` is "
                                    "longer than 126 bytes and is not written to GDS");
    EXPECT_EQ(out->warnings[1], "cell `pad`, marker `p`: attribute `note` is longer than 126 "
                                "bytes and is not written to GDS");

    // A library layer named marker carries the texts after its own shapes.
    library.layers.push_back({"marker", 63, 0});
    library.cells[0].shapes.push_back({2, ir::Geometry{ir::Box{1, 1, 2, 2}}});
    out = to_layout(library);
    ASSERT_TRUE(out);
    EXPECT_EQ(out->layout.layers.size(), 3u);
    EXPECT_EQ(out->layout.cells[0].shapes.at({2}).size(), 4u);
}

TEST(Export, ValuesOfAnyDimensionAreWrittenAsTheirLiterals) {
    ir::Library library;
    ir::Cell pad = cell_named("pad");
    const ir::Value area{ir::Value::Number{2500, {2, 0}}};
    pad.attrs = {{"a", area}, {"v", ir::Value{ir::Value::List{{area}}}}};
    pad.markers.push_back({"m", {{0, 0, 0}}, {{"area", area}}});
    library.cells.push_back(pad);
    auto out = to_layout(library);
    ASSERT_TRUE(out) << out.error();
    const auto& texts = out->layout.cells[0].shapes.at({0});
    ASSERT_EQ(texts.size(), 2u);
    // The comment stays inside the list, though it hides the closing bracket from a reader.
    EXPECT_EQ(property_texts(out->layout, texts[0]),
              (std::vector<std::string>{"1:quorvane.cell", "2:pad", "10:attr:a=2500 # area",
                                        "11:attr:v=[2500 # area]"}));
    EXPECT_EQ(property_texts(out->layout, texts[1]),
              (std::vector<std::string>{"1:quorvane.marker", "2:m", "3:0", "4:0",
                                        "10:area=2500 # area"}));
}

TEST(Export, PlacementsAndRefusals) {
    ir::Library library;
    library.cells = {cell_named("top"), cell_named("leaf")};
    library.cells[0].instances = {instance_of(1, 0, false), instance_of(1, 90, false),
                                  instance_of(1, 90, true), instance_of(1, 45, false)};
    ir::Instance array = instance_of(1, 0, false);
    array.array = ir::Array{3, 2, {10, 0}, {0, 20}};
    library.cells[0].instances.push_back(array);
    auto out = to_layout(library);
    ASSERT_TRUE(out) << out.error();
    const auto& instances = out->layout.cells[0].instances;
    EXPECT_EQ(std::get<shape::Orthogonal>(instances[1].transform.orientation).code, 1);
    const auto& mirrored = std::get<shape::General>(instances[2].transform.orientation);
    EXPECT_TRUE(mirrored.reflection);
    EXPECT_EQ(mirrored.angle, 90.0);
    auto bytes = vork::io::gds::writer::write_gds(out->layout);
    ASSERT_TRUE(bytes);

    library.dbu = 0;
    EXPECT_EQ(to_layout(library).error(), "InvalidDbu(0.0)");
    library.dbu = 1;
    library.cells[1].name = "top";
    EXPECT_EQ(to_layout(library).error(), "DuplicateCellName(\"top\")");
}

TEST(Export, EmptyLibraryIsTheSeventyByteFile) {
    auto out = to_layout(ir::Library{});
    ASSERT_TRUE(out);
    EXPECT_EQ(vork::io::gds::writer::write_gds(out->layout)->size(), 70u);
}

TEST(Export, LargeGeometryIsCutForGds) {
    ir::Library library;
    library.layers = {{"metal", 1, 0}};
    ir::Cell cell = cell_named("big");
    const auto ring = [](std::size_t n) {
        std::vector<ir::Point> points;
        for (std::size_t i = 0; i < n; ++i) {
            points.push_back({static_cast<std::int64_t>(i), i % 2 == 0 ? 0 : 10});
        }
        points.push_back({static_cast<std::int64_t>(n), -100});
        return points;
    };
    cell.shapes.push_back({0, ir::Geometry{ir::Polygon{ring(7999)}}});
    cell.shapes.push_back({0, ir::Geometry{ir::Polygon{ring(8000)}}});
    std::vector<ir::Point> line;
    for (std::int64_t i = 0; i < 9000; ++i) {
        line.push_back({i * 10, 0});
    }
    cell.shapes.push_back({0, ir::Geometry{ir::Path{4, line}}});
    library.cells.push_back(cell);
    auto out = to_layout(library);
    ASSERT_TRUE(out);
    const auto& records = out->layout.cells[0].shapes.at({0});
    ASSERT_GT(records.size(), 3u);
    EXPECT_EQ(out->layout.points_of(std::get<shape::Polygon>(records[0].shape).outer).size(),
              8000u);
    for (std::size_t i = 1; i < records.size(); ++i) {
        const auto& piece = std::get<shape::Polygon>(records[i].shape);
        EXPECT_LE(out->layout.points_of(piece.outer).size(), 8000u);
    }
    EXPECT_TRUE(vork::io::gds::writer::write_gds(out->layout));
}

TEST(Export, EntryNumbersNeverWrapIntoTheKey) {
    ir::Library library;
    ir::Cell cell = cell_named("many");
    for (int i = 0; i < 32760; ++i) {
        cell.params.emplace_back(std::string("p").append(std::to_string(i)),
                                 ir::Value{ir::Value::Int{i}});
    }
    library.cells.push_back(cell);
    auto out = to_layout(library);
    ASSERT_TRUE(out);
    const auto& properties =
        out->layout.meta_of(out->layout.cells[0].shapes.begin()->second[0].meta).properties;
    EXPECT_EQ(properties.size(), 2u + 32758u);
    EXPECT_EQ(properties.back().attribute, 32767);
    ASSERT_EQ(out->warnings.size(), 2u);
    EXPECT_EQ(out->warnings[0], "cell `many`: `param:p32758=32758…` is past the 32758 metadata "
                                "entries GDS can number and is not written to GDS");
}

TEST(Export, RefusesOrWarnsWhereIrTextWould) {
    ir::Library library;
    library.layers = {{"m", 1, 0}};
    library.cells = {cell_named("top")};
    ir::Cell& top = library.cells[0];
    top.attrs = {{"w", ir::Value{ir::Value::Number{INFINITY, {1, 0}}}}};
    // Written as metadata, an infinite length came back as the name `infum`.
    EXPECT_EQ(quorvane_dsl_gds::write_gds(library).error(),
              "cannot write cell `top` as GDS: attr `w` holds the number inf, which has no "
              "literal");
    top.attrs.clear();

    // Too few points for a BOUNDARY or a PATH record, and a marker with nowhere to carry its
    // attributes.
    top.shapes = {{0, {ir::Polygon{{{0, 0}, {5, 5}}}}},
                  {0, {ir::Polygon{{{0, 0}, {5, 0}, {5, 5}}}}},
                  {0, {ir::Polygon{{{0, 0}, {0, 9}, {0, 0}}}}},
                  {0, {ir::Path{3, {{1, 1}}}}},
                  {0, {ir::Path{3, {}}}}};
    top.markers = {{"loose", {}, {{"kind", ir::Value{ir::Value::String{"pin"}}}}}};
    const auto written = quorvane_dsl_gds::write_gds(library);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->warnings,
              (std::vector<std::string>{
                  "cell `top`: a polygon on layer `m` with 2 points is too short for GDS and is "
                  "left out",
                  "cell `top`: a polygon on layer `m` with 2 points is too short for GDS and is "
                  "left out",
                  "cell `top`: a path on layer `m` with 1 point is too short for GDS and is left "
                  "out",
                  "cell `top`: a path on layer `m` with 0 points is too short for GDS and is left "
                  "out",
                  "cell `top`: marker `loose` has attributes but no location and is not written "
                  "to GDS"}));
    const auto layout = to_layout(library);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->layout.cells[0].shapes.at(vork::models::LayerId{0}).size(), 1u);
}

TEST(Export, MarkersSharingANameAreWrittenAndComeBackAsOne) {
    ir::Library library;
    library.cells = {cell_named("top")};
    const ir::Value one{ir::Value::Int{1}};
    // Only markers whose texts are written meet under one name: `r` without a location is not.
    // Three carriers of one name give one warning, its name spelled out.
    library.cells[0].markers = {{"p\t", {{0, 0, 0}}, {{"a", one}}},
                                {"r", {}, {}},
                                {"p\t", {{5, 0, 90}}, {{"b", one}}},
                                {"r", {{7, 0, 0}}, {}},
                                {"p\t", {}, {}},
                                {"p\t", {{9, 0, 0}}, {}}};
    const auto written = quorvane_dsl_gds::write_gds(library);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->warnings,
              (std::vector<std::string>{"cell `top`, marker `p\\x09`: more than one marker has "
                                        "this name, and GDS gives them back as one"}));
    const auto back = quorvane_dsl_gds::read::read_gds(written->bytes);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->library.cells.at(0).markers,
              (std::vector<ir::Marker>{{"p\t", {{0, 0, 0}, {5, 0, 90}, {9, 0, 0}}, {{"a", one}}},
                                       {"r", {{7, 0, 0}}, {}}}));
}

TEST(Export, NamesHoldingAnEqualsSignAreLeftOutAloud) {
    // The reader splits an entry at its first `=`: `a=b` with 4 would come back as `a` with the
    // unreadable value `b=4`, so such names stay out of GDS with a warning.
    ir::Library library;
    library.cells = {cell_named("top")};
    ir::Cell& top = library.cells[0];
    const ir::Value four{ir::Value::Int{4}};
    top.params = {{"p=q", four}};
    top.attrs = {{"a=b", four}, {"c", four}};
    top.markers = {{"m", {{0, 0, 0}}, {{"k=", four}, {"n", four}}}};
    const auto written = quorvane_dsl_gds::write_gds(library);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->warnings,
              (std::vector<std::string>{
                  "cell `top`: `param:p=q` holds a `=` and is not written to GDS",
                  "cell `top`: `attr:a=b` holds a `=` and is not written to GDS",
                  "cell `top`, marker `m`: attribute `k=` holds a `=` and is not written to GDS"}));
    const auto back = quorvane_dsl_gds::read::read_gds(written->bytes);
    ASSERT_TRUE(back) << back.error();
    EXPECT_TRUE(back->warnings.empty());
    const ir::Cell& cell = back->library.cells.at(0);
    EXPECT_TRUE(cell.params.empty());
    EXPECT_EQ(cell.attrs, (std::vector<ir::NamedValue>{{"c", four}}));
    EXPECT_EQ(cell.markers.at(0).attrs, (std::vector<ir::NamedValue>{{"n", four}}));
}
