#include <cmath>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "io/gds/writer.hpp"
#include "ir/text.hpp"
#include "lib.hpp"
#include "read.hpp"

namespace ir = quorvane_dsl::ir;
namespace models = vork::models;
namespace shape = vork::models::shape;
using models::CellId;
using models::top::LayoutDb;
using quorvane_dsl_gds::read::from_layout;
using quorvane_dsl_gds::read::polygon_or_box;
using quorvane_dsl_gds::read::read_gds;
using quorvane_dsl_gds::read::sanitize;

namespace {

std::vector<std::uint8_t> stream_of(const LayoutDb& db) {
    auto bytes = vork::io::gds::writer::write_gds(db);
    EXPECT_TRUE(bytes);
    return bytes ? *bytes : std::vector<std::uint8_t>{};
}

shape::ShapeRecord text_record(LayoutDb& db, std::vector<shape::GdsProperty> properties,
                               shape::Transform at = {}) {
    return {db.store_meta({std::move(properties)}), db.store_text({.text = "t", .transform = at})};
}

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::uint8_t> file_bytes(const std::string& path) {
    const std::string text = file_text(path);
    return {text.begin(), text.end()};
}

} // namespace

TEST(Import, PolygonsBoxesAndNames) {
    const auto is_box = [](std::vector<ir::Point> points) {
        return std::holds_alternative<ir::Box>(polygon_or_box(std::move(points)).kind);
    };
    EXPECT_TRUE(is_box({{0, 0}, {10, 0}, {10, 5}, {0, 5}}));
    EXPECT_TRUE(is_box({{0, 5}, {0, 0}, {10, 0}, {10, 5}}));
    // Out and back along two sides covers no area: it must not become the full box.
    EXPECT_FALSE(is_box({{0, 0}, {10, 0}, {10, 10}, {10, 0}}));
    EXPECT_FALSE(is_box({{0, 0}, {5, 5}, {10, 0}, {5, -5}}));
    EXPECT_FALSE(is_box({{0, 0}, {10, 0}, {10, 0}, {0, 0}}));
    EXPECT_FALSE(is_box({{0, 0}, {10, 0}, {10, 5}}));

    EXPECT_EQ(sanitize("inv"), "inv");
    EXPECT_EQ(sanitize("a b"), "a_b");
    EXPECT_EQ(sanitize("7seg"), "_7seg");
    EXPECT_EQ(sanitize(""), "_");
    EXPECT_EQ(sanitize("µx"), "_x");
}

TEST(Import, LayersShapesAndInstances) {
    LayoutDb db;
    const CellId top = *db.add_cell("top");
    const CellId leaf = *db.add_cell("a b");
    const auto metal = db.layer({"metal", 1, 0});
    const auto metal_again = db.layer({"metal", 2, 0});
    const auto metal_1 = db.layer({"metal_1", 3, 0});
    const auto labels = db.layer({std::nullopt, 255, 0});
    const auto boundary = [&](std::vector<models::Point> points) {
        return shape::ShapeRecord{{}, shape::Boundary{db.store_points(points)}};
    };
    (void)db.insert_shape_record(top, metal, boundary({{0, 0}, {10, 0}, {10, 5}, {0, 5}, {0, 0}}));
    (void)db.insert_shape_record(top, metal_again,
                                 boundary({{0, 0}, {10, 0}, {0, 5}, {0, 0}, {0, 0}}));
    (void)db.insert_shape_record(top, metal_1, {{}, shape::Node{}});
    (void)db.insert_shape_record(
        top, metal_1,
        {{}, shape::Path{.points = db.store_points(std::vector<models::Point>{{0, 0}, {0, 0}})}});
    (void)db.insert_shape_record(top, labels, text_record(db, {}));
    const auto place = [&](shape::Transform t, std::optional<models::top::Repetition> r = {}) {
        (void)db.insert_instance(top, {.repetition = std::move(r), .transform = t, .cell = leaf});
    };
    place({{1, 2}, shape::Orthogonal{6}});
    place({{0, 0}, shape::General{.angle = -90}});
    place({{0, 0}, shape::General{.magnification = 2, .angle = 89.9999999995}});
    place({{5, 5}, shape::Orthogonal{0}}, models::top::ExplicitOffsets{{{1, 0}, {2, 0}}});
    place({{0, 0}, shape::Orthogonal{0}}, models::top::RegularArray{-3, 2, {10, 0}, {0, 10}});
    place({{0, 0}, shape::Orthogonal{0}}, models::top::RegularArray{3, 2, {10, 0}, {0, 10}});

    const auto result = from_layout(db);
    const ir::Library& library = result.library;
    ASSERT_EQ(library.layers.size(), 3u);
    EXPECT_EQ(library.layers[0].name, "metal");
    EXPECT_EQ(library.layers[1].name, "metal_1");
    EXPECT_EQ(library.layers[2].name, "metal_1_1");
    const ir::Cell& cell = library.cells[0];
    ASSERT_EQ(cell.shapes.size(), 2u);
    EXPECT_TRUE(std::holds_alternative<ir::Box>(cell.shapes[0].geometry.kind));
    EXPECT_EQ(std::get<ir::Polygon>(cell.shapes[1].geometry.kind).points.size(), 4u);
    std::vector<std::string> names;
    for (const ir::Instance& i : cell.instances) {
        names.push_back(i.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"a_b_0", "a_b_1", "a_b_2", "a_b_3_0", "a_b_3_1", "a_b_5"}));
    EXPECT_EQ(cell.instances[0].rotation, 180);
    EXPECT_TRUE(cell.instances[0].mirror);
    EXPECT_EQ(cell.instances[1].rotation, 270);
    EXPECT_EQ(cell.instances[2].rotation, 90);
    EXPECT_EQ(cell.instances[4].x, 7);
    EXPECT_EQ(cell.instances[5].array->columns, 3u);
    EXPECT_EQ(library.tops, (std::vector<std::uint64_t>{0}));
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "cell `top`: skipped a Node element", "cell `top`: skipped a Path element",
                  "cell `top`: magnification 2 of an instance is not supported and was dropped",
                  "cell `top`: skipped an array of `a b` with -3 columns and 2 rows",
                  "1 text label(s) without quorvane metadata were not read"}));
}

TEST(Import, PathEndsKeepTheirExtent) {
    LayoutDb db;
    const CellId top = *db.add_cell("top");
    const auto layer = db.layer({std::nullopt, 1, 0});
    const auto path = [&](std::uint16_t type, std::int64_t begin, std::int64_t end) {
        (void)db.insert_shape_record(
            top, layer,
            {db.store_meta({.shape_extras = db.store_shape_extras(
                                {.begin_extension = begin, .end_extension = end})}),
             shape::Path{.points = db.store_points(
                             std::vector<models::Point>{{0, 0}, {0, 0}, {100, 0}, {100, 50}}),
                         .width = 20,
                         .width_present = true,
                         .path_type = type}});
    };
    path(0, 7, 7);
    path(2, 0, 0);
    path(4, 5, -8);
    path(1, 0, 0);
    // Square ends of an odd width along a 45 degree segment move by 12.5 / sqrt(2) = 8.84 in x
    // and y, which rounds to 9.
    (void)db.insert_shape_record(
        top, layer,
        {db.store_meta({}),
         shape::Path{.points = db.store_points(std::vector<models::Point>{{0, 0}, {100, 100}}),
                     .width = 25,
                     .width_present = true,
                     .path_type = 2}});
    const auto result = from_layout(db);
    const auto ends = [&](std::size_t i) {
        const auto& points =
            std::get<ir::Path>(result.library.cells[0].shapes[i].geometry.kind).points;
        return std::pair{points.front(), points.back()};
    };
    EXPECT_EQ(ends(0), (std::pair{ir::Point{0, 0}, ir::Point{100, 50}}));
    EXPECT_EQ(ends(1), (std::pair{ir::Point{-10, 0}, ir::Point{100, 60}}));
    EXPECT_EQ(ends(2), (std::pair{ir::Point{-5, 0}, ir::Point{100, 42}}));
    EXPECT_EQ(ends(3), (std::pair{ir::Point{0, 0}, ir::Point{100, 50}}));
    EXPECT_EQ(ends(4), (std::pair{ir::Point{-9, -9}, ir::Point{109, 109}}));
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "cell `top`: round path ends cannot be kept and were made flush"}));
}

TEST(Import, MetadataEntries) {
    LayoutDb db;
    const CellId cell = *db.add_cell("c");
    const auto layer = db.layer({std::nullopt, 255, 0});
    const auto add = [&](std::vector<shape::GdsProperty> properties, shape::Transform at = {}) {
        (void)db.insert_shape_record(cell, layer, text_record(db, std::move(properties), at));
    };
    add({{"quorvane.cell", 1},
         {"src", 2},
         {"layer:metal=1/0", 10},
         {"param:width=2um", 11},
         {"attr:=1", 12},
         {"param:width=", 13},
         {"foo=bar", 14},
         {"blackbox:interface=sha256:x", 15},
         {"blackbox:content=sha256:y", 16},
         {"param:hidden=1", 40000}});
    add({{"quorvane.marker", 1}, {"p", 2}, {"1", 3}, {"kind=\"port\"", 10}},
        {{5, 6}, shape::Orthogonal{1}});
    add({{"quorvane.marker", 1}, {"p", 2}, {"0", 3}, {"45", 4}, {"kind=\"other\"", 10}});
    add({{"quorvane.marker", 1}, {"-1", 3}});
    // A value cut short (as by a NUL in GDSII's strings) is left out aloud, as in a cell record.
    add({{"quorvane.marker", 1}, {"q", 2}, {"0", 3}, {"kind=\"x", 10}});
    add({{"quorvane.cell ", 1}});
    const auto result = from_layout(db);
    const ir::Cell& c = result.library.cells[0];
    EXPECT_EQ(c.source, "src");
    ASSERT_EQ(c.params.size(), 1u);
    EXPECT_EQ(c.params[0].second.to_literal(), "2um");
    ASSERT_EQ(c.attrs.size(), 1u);
    EXPECT_EQ(c.attrs[0].first, "");
    EXPECT_FALSE(c.blackbox);
    ASSERT_EQ(c.markers.size(), 3u);
    EXPECT_TRUE(c.markers[2].attrs.empty());
    EXPECT_EQ(c.markers[0].locations[0], (ir::Frame{0, 0, 45}));
    EXPECT_EQ(c.markers[0].locations[1], (ir::Frame{5, 6, 90}));
    EXPECT_EQ(c.markers[0].attrs[0].second.to_literal(), "\"port\"");
    EXPECT_EQ(c.markers[1].name, "marker");
    EXPECT_TRUE(result.library.layers.empty());
    EXPECT_EQ(result.warnings, (std::vector<std::string>{
                                   "cell `c`: cannot read `param:width=`",
                                   "cell `c`: incomplete blackbox metadata was not read",
                                   "cell `c`, marker `q`: cannot read `kind=\"x`",
                                   "1 text label(s) without quorvane metadata were not read"}));
}

TEST(Import, NumbersOutOfRangeAndNegativeZero) {
    LayoutDb db;
    const CellId cell = *db.add_cell("c");
    const CellId child = *db.add_cell("d");
    const auto layer = db.layer({std::nullopt, 255, 0});
    const shape::Transform turned{{0, 0}, shape::Orthogonal{1}};
    const auto marker_at = [&](const char* name, const char* index, const char* angle) {
        (void)db.insert_shape_record(
            cell, layer,
            text_record(db,
                        {{"quorvane.marker", 1}, {name, 2}, {index, 3}, {angle, 4}, {"a=1", 10}},
                        turned));
    };
    // A decimal beyond the f64 range saturates, as the standard reading does, and a location
    // that is not finite is dropped; the marker's next carrier brings its attributes.
    for (const char* angle : {"1e400", "-1e400", "1e-400", "nan"}) {
        marker_at(angle, "0", angle);
    }
    marker_at("nan", "1", "90");
    const auto imported = from_layout(db);
    const auto& markers = imported.library.cells[0].markers;
    ASSERT_EQ(markers.size(), 2u);
    EXPECT_EQ(markers[0].name, "1e-400");
    EXPECT_EQ(markers[0].locations, (std::vector<ir::Frame>{{0, 0, 0.0}}));
    EXPECT_EQ(markers[1].locations, (std::vector<ir::Frame>{{0, 0, 90}}));
    EXPECT_EQ(markers[1].attrs.size(), 1u);
    EXPECT_EQ(
        imported.warnings,
        (std::vector<std::string>{
            "cell `c`, marker `1e400`: angle inf of location 0 is not finite and was dropped",
            "cell `c`, marker `-1e400`: angle -inf of location 0 is not finite and was "
            "dropped",
            "cell `c`, marker `nan`: angle NaN of location 0 is not finite and was dropped"}));

    (void)db.insert_instance(
        cell, {.transform = {{0, 0}, shape::General{.magnification = -0.0}}, .cell = child});
    EXPECT_EQ(from_layout(db).warnings.back(),
              "cell `c`: magnification -0 of an instance is not supported and was dropped");
}

TEST(Import, RoundTripThroughGdsKeepsTheLibrary) {
    ir::Library library;
    library.dbu = 0.5;
    library.layers = {{"metal", 1, 0}, {"marker", 63, 0}};
    ir::Cell leaf;
    leaf.name = leaf.source = "leaf";
    // In layer order, as GDSII groups elements.
    leaf.shapes = {{0, ir::Geometry{ir::Box{0, 0, 5, 5}}},
                   {0, ir::Geometry{ir::Path{3, {{0, 0}, {10, 0}, {10, 10}}}}},
                   {1, ir::Geometry{ir::Polygon{{{0, 0}, {7, 0}, {0, 7}}}}}};
    leaf.params.emplace_back("n", ir::Value{ir::Value::Int{3}});
    leaf.markers.push_back({"p", {{1, 2, 0}, {3, 4, 12.5}}, {}});
    leaf.blackbox = ir::Blackbox{{-5, 0, 5, 5}, "sha256:i", "sha256:c"};
    ir::Cell top;
    top.name = "top";
    top.source = "top_src";
    ir::Instance placed;
    placed.name = "leaf_0";
    placed.cell = 0;
    placed.x = 100;
    placed.rotation = 45;
    placed.mirror = true;
    placed.array = ir::Array{2, 3, {10, 0}, {0, 10}};
    top.instances = {placed};
    library.cells = {leaf, top};
    library.tops = {1};

    auto layout = quorvane_dsl_gds::to_layout(library);
    ASSERT_TRUE(layout);
    auto back = read_gds(stream_of(layout->layout));
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->library, library);
    EXPECT_TRUE(back->warnings.empty());
}

TEST(Import, NulBytesAreRefusedOrLeftOutAloud) {
    using namespace std::string_literals;
    ir::Library library;
    library.layers = {{"m", 1, 0}};
    ir::Cell top;
    top.name = top.source = "top";
    top.params = {{"s", ir::Value{ir::Value::String{"a\0b"s}}}};
    top.attrs = {{"n", ir::Value{ir::Value::Int{1}}}};
    top.markers = {{"p", {{0, 0, 0}}, {{"kind", ir::Value{ir::Value::String{"x\0y"s}}}}}};
    library.cells = {top};
    library.tops = {0};

    // IR text carries the values; GDSII, whose strings end at a NUL, leaves them out aloud.
    const auto text = ir::print(library);
    ASSERT_TRUE(text) << text.error();
    EXPECT_EQ(ir::parse(*text).value(), library);
    auto written = quorvane_dsl_gds::write_gds(library);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->warnings,
              (std::vector<std::string>{
                  "cell `top`: `param:s` holds a NUL byte and is not written to GDS",
                  "cell `top`, marker `p`: attribute `kind` holds a NUL byte and is not written "
                  "to GDS"}));
    auto back = read_gds(written->bytes);
    ASSERT_TRUE(back) << back.error();
    EXPECT_TRUE(back->library.cells[0].params.empty());
    EXPECT_EQ(back->library.cells[0].attrs, top.attrs);
    EXPECT_TRUE(back->library.cells[0].markers.at(0).attrs.empty());

    // A name would come back as another (`a\0b` as `a`): both writers refuse it alike.
    const auto refusals = [](ir::Library named) {
        return std::pair{ir::print(named).error(), quorvane_dsl_gds::write_gds(named).error()};
    };
    const auto refused = [](std::string what) {
        return std::pair{"cannot write cell `top` as IR text: " + what + " would not read back",
                         "cannot write cell `top` as GDS: " + what + " would not read back"};
    };
    ir::Library named = library;
    named.cells[0].params[0].first = "s\0"s;
    EXPECT_EQ(refusals(named), refused("param `s\\x00`"));
    named = library;
    named.cells[0].markers[0].attrs[0].first = "k\0"s;
    EXPECT_EQ(refusals(named), refused("attribute `k\\x00` of marker `p`"));
    named = library;
    named.layers[0].name = "m\0"s;
    EXPECT_EQ(quorvane_dsl_gds::write_gds(named).error(),
              "cannot write layer `m\\x00` as GDS: its name would not read back");
    named = library;
    named.cells[0].name = "top\0b"s;
    EXPECT_EQ(refusals(named).second,
              "cannot write cell `top\\x00b` as GDS: cell name `top\\x00b` would not read back");
}

// GDSII gives back every byte of a name but a NUL: control characters travel, IR text still
// refuses them, and messages spell them out.
TEST(Import, ControlCharactersInNamesTravelThroughGds) {
    ir::Library library;
    library.layers = {{"m", 1, 0}};
    ir::Cell leaf;
    leaf.name = "tab\tname";
    leaf.source = "cr\rsource";
    leaf.shapes = {{0, ir::Geometry{ir::Box{0, 0, 5, 5}}}};
    leaf.params = {{"lf\nparam", ir::Value{ir::Value::Int{1}}}};
    leaf.markers = {{"del\x7fmarker", {{1, 2, 0}}, {{"c\x01", ir::Value{ir::Value::Int{2}}}}}};
    ir::Cell top;
    top.name = top.source = "\x01top";
    ir::Instance placed;
    placed.name = "tab_name_0";
    top.instances = {placed};
    library.cells = {leaf, top};
    library.tops = {1};

    auto written = quorvane_dsl_gds::write_gds(library);
    ASSERT_TRUE(written) << written.error();
    EXPECT_TRUE(written->warnings.empty());
    auto back = read_gds(written->bytes);
    ASSERT_TRUE(back) << back.error();
    EXPECT_EQ(back->library, library);
    EXPECT_EQ(ir::print(library).error(), "cannot write cell `tab\\x09name` as IR text: cell "
                                          "name `tab\\x09name` would not read back");

    library.cells[0].params.emplace_back("long",
                                         ir::Value{ir::Value::String{std::string(200, 'x')}});
    written = quorvane_dsl_gds::write_gds(library);
    ASSERT_TRUE(written) << written.error();
    EXPECT_EQ(written->warnings, std::vector<std::string>{
                                     "cell `tab\\x09name`: `param:long=\"" + std::string(28, 'x') +
                                     "…` is longer than 126 bytes and is not written to GDS"});

    // The stream writer's refusal spells the name out too, inside its debug form.
    library.cells[0].shapes[0].geometry = ir::Geometry{ir::Box{0, 0, 5000000000, 5}};
    EXPECT_EQ(quorvane_dsl_gds::write_gds(library).error(),
              "Format(\"cell `tab\\\\x09name`: coordinate 5000000000 does not fit in GDSII's 32 "
              "bits\")");
}

TEST(Import, SelfContainingAndDeepHierarchies) {
    LayoutDb loop;
    const CellId a = *loop.add_cell("a");
    const CellId b = *loop.add_cell("b");
    (void)loop.insert_instance(a, {.cell = b});
    (void)loop.insert_instance(b, {.cell = a});
    EXPECT_EQ(read_gds(stream_of(loop)).error(), "cell `a` contains itself");

    // A chain far deeper than any recursion could follow.
    LayoutDb deep;
    constexpr std::uint64_t depth = 100'000;
    for (std::uint64_t i = 0; i < depth; ++i) {
        (void)deep.add_cell(std::string("c").append(std::to_string(i)));
    }
    for (std::uint64_t i = 0; i + 1 < depth; ++i) {
        (void)deep.insert_instance(CellId{i}, {.cell = CellId{i + 1}});
    }
    auto read = read_gds(stream_of(deep));
    ASSERT_TRUE(read) << read.error();
    EXPECT_EQ(read->library.tops, (std::vector<std::uint64_t>{0}));
    auto again = quorvane_dsl_gds::to_layout(read->library);
    ASSERT_TRUE(again);
    EXPECT_TRUE(ir::print(read->library));
}

TEST(Import, KLayoutFiles) {
    for (const std::string name : {"shapes", "hierarchy", "pcells"}) {
        const std::string base = std::string(QV_TEST_DATA) + "/data/klayout/" + name;
        auto read = read_gds(file_bytes(base + ".gds"));
        ASSERT_TRUE(read) << read.error();
        // A cell name with a space reads back as another name, so its IR text is refused.
        const auto printed = ir::print(read->library);
        EXPECT_EQ(printed ? *printed : "error: " + printed.error() + "\n",
                  file_text(base + ".printed"))
            << name;
        std::string warnings;
        for (const std::string& warning : read->warnings) {
            warnings += "warning: data/klayout/" + name + ".gds: " + warning + "\n";
        }
        EXPECT_EQ(warnings, file_text(base + ".warnings")) << name;
    }
}

// Garbled streams with metadata, arrays and markers: every one reads into a library with
// warnings or fails with a message, and what is read prints and exports again.
TEST(Import, GarbledStreamsNeverCrash) {
    ir::Library library;
    library.layers = {{"metal", 1, 0}};
    ir::Cell leaf;
    leaf.name = leaf.source = "leaf";
    leaf.shapes = {{0, ir::Geometry{ir::Path{3, {{0, 0}, {10, 0}}}}}};
    leaf.params.emplace_back("n", ir::Value{ir::Value::Int{3}});
    leaf.markers.push_back({"p", {{1, 2, 0}, {3, 4, 90}}, {}});
    ir::Cell top;
    top.name = top.source = "top";
    ir::Instance placed;
    placed.name = "a";
    placed.array = ir::Array{2, 3, {10, 0}, {0, 10}};
    top.instances = {placed};
    library.cells = {leaf, top};
    const std::vector<std::uint8_t> valid = stream_of(quorvane_dsl_gds::to_layout(library)->layout);
    std::uint64_t state = 88172645463325252ULL;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bytes = valid;
        for (int flips = 1 + static_cast<int>(next() % 4); flips > 0; --flips) {
            bytes[next() % bytes.size()] = static_cast<std::uint8_t>(next());
        }
        auto read = read_gds(bytes);
        if (read) {
            (void)ir::print(read->library);
            (void)quorvane_dsl_gds::to_layout(read->library);
        }
    }
}
