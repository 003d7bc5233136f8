#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "io/gds/reader.hpp"
#include "io/gds/record.hpp"
#include "io/gds/writer.hpp"

using namespace vork::io::gds;
using namespace vork::models;
using top::LayoutDb;
using Bytes = std::vector<std::uint8_t>;

namespace {

// A hand-made stream: records appended one by one.
struct Stream {
    Bytes bytes = {0, 6, rec::HEADER, 2, 0x02, 0x58};
    Stream& raw(std::uint8_t type, Bytes payload = {}) {
        EXPECT_TRUE(writer::write_record(bytes, type, 0, payload));
        return *this;
    }
    Stream& i16(std::uint8_t type, std::vector<std::int16_t> values) {
        EXPECT_TRUE(writer::write_i16_record(bytes, type, values));
        return *this;
    }
    Stream& i32(std::uint8_t type, std::int32_t v) {
        return raw(type, {static_cast<std::uint8_t>(v >> 24), static_cast<std::uint8_t>(v >> 16),
                          static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
    }
    Stream& text(std::uint8_t type, std::string_view t) {
        EXPECT_TRUE(writer::write_ascii_record(bytes, type, t));
        return *this;
    }
    Stream& xy(std::vector<Point> points) {
        EXPECT_TRUE(writer::write_xy_record(bytes, points));
        return *this;
    }
    Stream& real(std::uint8_t type, std::vector<double> values) {
        EXPECT_TRUE(writer::write_real8_record(bytes, type, values));
        return *this;
    }
    Stream& structure(std::string_view name) { return raw(rec::BGNSTR).text(rec::STRNAME, name); }
    // The stream as a peer would end it.
    Bytes closed() const {
        Bytes out = bytes;
        EXPECT_TRUE(writer::write_record(out, rec::ENDLIB, 0, {}));
        return out;
    }
};

std::string read_error(const Bytes& bytes) {
    auto db = reader::read_layout(bytes);
    return db ? "ok" : debug_text(db.error());
}

LayoutDb read_ok(const Bytes& bytes) {
    auto db = reader::read_layout(bytes);
    EXPECT_TRUE(db) << debug_text(db.error());
    return db ? std::move(*db) : LayoutDb{};
}

Bytes write_ok(const LayoutDb& db) {
    auto bytes = writer::write_gds(db);
    EXPECT_TRUE(bytes) << debug_text(bytes.error());
    return bytes ? *bytes : Bytes{};
}

// A database with every element and placement the writer can store.
LayoutDb sample() {
    LayoutDb db;
    db.name = "LIB";
    const CellId top = *db.add_cell("top");
    const CellId child = *db.add_cell("child");
    const LayerId metal = db.layer({std::nullopt, 1, 2});
    const LayerId text_layer = db.layer({std::nullopt, 63, 0});
    const std::vector<Point> ring = {{0, 0}, {10, 0}, {5, 8}};
    const auto add = [&](CellId cell, LayerId layer, shape::Shape s,
                         shape::GdsElementMeta meta = {}) {
        ASSERT_TRUE(
            db.insert_shape_record(cell, layer, {db.store_meta(std::move(meta)), std::move(s)}));
    };
    add(child, metal, shape::Box{-5, -5, 5, 5});
    add(top, metal, shape::Boundary{db.store_points(ring)},
        {{{"first", 1}, {"second", 2}}, 7, std::uint16_t{3}});
    add(top, metal,
        shape::Path{.points = db.store_points(ring),
                    .width = 50,
                    .width_present = true,
                    .width_absolute = true,
                    .path_type = 4},
        {.shape_extras = db.store_shape_extras({.begin_extension = 3, .end_extension = -4})});
    add(top, text_layer,
        db.store_text({.text = "hello",
                       .width = 20,
                       .transform = {{7, 8}, shape::General{2.0, 30.0, true, false, true}},
                       .presentation = 5,
                       .path_type = 1}));
    add(top, metal, shape::Node{db.store_points(ring)});
    add(top, metal, shape::SimplePolygon{db.store_points(ring)});
    const std::vector<Point> closed = {{0, 0}, {10, 0}, {5, 8}, {0, 0}};
    add(top, metal, shape::Polygon{db.store_points(closed), {}});
    add(top, metal, shape::Box{1, 1, 1, 1},
        {.shape_extras =
             db.store_shape_extras({.box_xy = db.store_points(std::vector<Point>{{1, 1}})})});
    db.insert_instance(top, {.transform = {{100, 200}, shape::Orthogonal{5}}, .cell = child});
    db.insert_instance(top, {.repetition = top::RegularArray{3, 2, {10, 0}, {0, 20}},
                             .transform = {{5, 5}, shape::Orthogonal{0}},
                             .cell = child});
    return db;
}

} // namespace

TEST(Stream, EmptyLibraryIsSeventyBytes) {
    LayoutDb db;
    db.name = "QUORVANE";
    const Bytes bytes = write_ok(db);
    EXPECT_EQ(bytes.size(), 70u);
    const Bytes expected_head = {0, 6, 0, 2, 0x02, 0x58, 0, 28, 1, 2};
    EXPECT_TRUE(std::equal(expected_head.begin(), expected_head.end(), bytes.begin()));
    EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), (Bytes{0, 4, 4, 0}));
    // UNITS 1e-6 and 1e-9.
    EXPECT_EQ(reader::decode_real8(bytes.data() + 50), 1e-6);
    EXPECT_EQ(reader::decode_real8(bytes.data() + 58), 1e-9);
    LayoutDb unnamed;
    const Bytes vork = write_ok(unnamed);
    EXPECT_EQ(std::string(vork.begin() + 38, vork.begin() + 42), "VORK");
}

TEST(Stream, RoundTripKeepsEveryRecordAndIsDeterministic) {
    const LayoutDb db = sample();
    const Bytes first = write_ok(db);
    EXPECT_EQ(write_ok(db), first);
    const LayoutDb back = read_ok(first);
    EXPECT_EQ(back.name, "LIB");
    ASSERT_EQ(back.cells.size(), 2u);
    EXPECT_EQ(back.cells[1].name, "child");
    const auto& top = back.cells[0];
    ASSERT_EQ(top.instances.size(), 2u);
    const auto& array = std::get<top::RegularArray>(*top.instances[1].repetition);
    EXPECT_EQ(array.columns, 3);
    EXPECT_EQ(array.row_step, (Point{0, 20}));
    EXPECT_EQ((*top.instances[1].aref_points)[1], (Point{35, 5}));
    EXPECT_EQ((*top.instances[1].aref_points)[2], (Point{5, 45}));
    const auto& general = std::get<shape::General>(top.instances[0].transform.orientation);
    EXPECT_TRUE(general.reflection);
    EXPECT_EQ(general.angle, 90.0);
    const auto& metal = top.shapes.begin()->second;
    ASSERT_EQ(metal.size(), 6u);
    // Polygons are written closed: an open ring gets its first point again, a closed one stays.
    for (std::size_t i : {3, 4}) {
        const auto& boundary = std::get<shape::Boundary>(metal[i].shape);
        EXPECT_EQ(back.points_of(boundary.points).size(), 4u);
    }
    EXPECT_EQ(back.meta_of(metal[0].meta).properties[1].value, "second");
    EXPECT_EQ(back.meta_of(metal[0].meta).plex, 7);
    // Elements without extras take no room; the path's extensions and the odd box's XY do.
    EXPECT_EQ(back.metas.size(), 3u);
    const auto& path = std::get<shape::Path>(metal[1].shape);
    EXPECT_EQ(path.width, 50);
    EXPECT_TRUE(path.width_absolute);
    EXPECT_EQ(back.shape_extras_of(back.meta_of(metal[1].meta)).end_extension, -4);
    EXPECT_EQ(back.points_of(path.points).size(), 3u);
    // The general text transform, read back, writes the same records.
    EXPECT_EQ(write_ok(back), first);
}

TEST(Stream, WriterRefusals) {
    const auto refusal = [](auto change) {
        LayoutDb db = sample();
        change(db);
        return debug_text(writer::write_gds(db).error());
    };
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  db.holes.push_back({});
                  db.cells[0].shapes.begin()->second.push_back({{}, shape::Polygon{{}, {0, 1}}});
              }),
              "Unsupported(\"GDS BOUNDARY cannot natively store polygon holes\")");
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  db.cells[0].shapes.begin()->second.push_back({{}, shape::EdgePair{}});
              }),
              "Unsupported(\"GDS has no native EDGE or EdgePair element\")");
    EXPECT_EQ(
        refusal([](LayoutDb& db) { db.cells[0].instances[0].repetition = top::ExplicitOffsets{}; }),
        "Unsupported(\"GDS AREF cannot natively store explicit offset arrays\")");
    EXPECT_EQ(refusal([](LayoutDb& db) { db.cells[0].shapes[LayerId{9}]; }),
              "Layout(UnknownLayer(LayerId(9)))");
    EXPECT_EQ(refusal([](LayoutDb& db) { db.cells[0].instances[0].cell = CellId{3}; }),
              "Layout(UnknownCell(CellId(3)))");
    EXPECT_EQ(refusal([](LayoutDb& db) { db.cells[0].name = std::string(65531, 'x'); }),
              "Format(\"record exceeds GDS maximum length\")");
    // Values beyond their GDSII field would wrap silently: they are refused, naming the cell.
    EXPECT_EQ(refusal([](LayoutDb& db) { db.points[0].x = std::int64_t{1} << 32; }),
              "Format(\"cell `top`: coordinate 4294967296 does not fit in GDSII's 32 bits\")");
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  db.cells[1].shapes.begin()->second[0].shape = shape::Box{0, 0, 3000000000, 1};
              }),
              "Format(\"cell `child`: coordinate 3000000000 does not fit in GDSII's 32 bits\")");
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  db.cells[0].instances[0].transform.orientation = shape::General{.angle = 1e300};
              }),
              "Format(\"cell `top`: real 1e300 has no GDSII 8-byte form\")");
    EXPECT_EQ(refusal([](LayoutDb& db) { db.layers[0].layer = 40000; }),
              "Format(\"cell `top`: layer 40000 does not fit in GDSII's 16 bits\")");
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  std::get<top::RegularArray>(*db.cells[0].instances[1].repetition).columns =
                      -40000;
              }),
              "Format(\"cell `top`: array column count -40000 does not fit in GDSII's 16 bits\")");
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  std::get<top::RegularArray>(*db.cells[0].instances[1].repetition).row_step.y =
                      std::int64_t{1} << 40;
              }),
              "Format(\"cell `top`: array corner coordinate 2199023255557 does not fit in "
              "GDSII's 32 bits\")");
    EXPECT_EQ(refusal([](LayoutDb& db) {
                  auto& path = std::get<shape::Path>(db.cells[0].shapes.begin()->second[1].shape);
                  path.width = std::int64_t{1} << 31;
                  path.width_absolute = false;
              }),
              "Format(\"cell `top`: width 2147483648 does not fit in GDSII's 32 bits\")");
}

namespace {

// Every placement of a cell's instances: origin, orientation and placed cell.
std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> placements(const LayoutDb& db,
                                                                            const top::Cell& cell) {
    std::vector<std::tuple<std::int64_t, std::int64_t, std::string>> out;
    for (const top::CellInstance& instance : cell.instances) {
        const auto array = std::get<top::RegularArray>(*instance.repetition);
        const auto& general = std::get<shape::General>(instance.transform.orientation);
        const std::string what = db.cells[instance.cell.value].name + " " +
                                 std::to_string(general.angle) + (general.reflection ? " m" : "");
        for (std::int64_t c = 0; c < array.columns; ++c) {
            for (std::int64_t r = 0; r < array.rows; ++r) {
                out.emplace_back(
                    instance.transform.origin.x + c * array.column_step.x + r * array.row_step.x,
                    instance.transform.origin.y + c * array.column_step.y + r * array.row_step.y,
                    what);
            }
        }
    }
    std::ranges::sort(out);
    return out;
}

} // namespace

TEST(Stream, ArraysBeyondSixteenBitCountsAreSplitIntoArefs) {
    LayoutDb db;
    const CellId top = *db.add_cell("top");
    const CellId leaf = *db.add_cell("leaf");
    const shape::Transform turned{{7, -3}, shape::General{.angle = 90, .reflection = true}};
    db.insert_instance(top, {.repetition = top::RegularArray{70000, 2, {2, 1}, {0, 5}},
                             .transform = turned,
                             .cell = leaf});
    db.insert_instance(top, {.repetition = top::RegularArray{3, 40000, {-4, 0}, {1, -2}},
                             .transform = turned,
                             .cell = leaf});
    const LayoutDb back = read_ok(write_ok(db));
    // 3 + 2 blocks of at most 32767 columns and rows.
    EXPECT_EQ(back.cells[0].instances.size(), 5u);
    EXPECT_EQ(placements(back, back.cells[0]), placements(db, db.cells[0]));
}

// Every placement fits 32 bits, but a corner point past the last column or row does not: that
// column or row is written apart, with a zero step; rotated, mirrored and stepping backwards.
TEST(Stream, ArraysWhoseCornersLeaveThirtyTwoBitsAreSplitIntoArefs) {
    LayoutDb db;
    const CellId top = *db.add_cell("top");
    const CellId leaf = *db.add_cell("leaf");
    const shape::Transform turned{{0, 0}, shape::General{.angle = 90, .reflection = true}};
    db.insert_instance(top, {.repetition = top::RegularArray{32767, 1, {65539, 0}, {0, 0}},
                             .transform = {{0, 0}, shape::General{.angle = 180}},
                             .cell = leaf});
    const std::int64_t quarter = std::int64_t{1} << 30;
    db.insert_instance(top,
                       {.repetition = top::RegularArray{2, 3, {-quarter - 1, 0}, {0, quarter - 1}},
                        .transform = turned,
                        .cell = leaf});
    const LayoutDb back = read_ok(write_ok(db));
    // 2 pieces for the first array; the second loses its last column and last row.
    ASSERT_EQ(back.cells[0].instances.size(), 6u);
    const auto& last = std::get<top::RegularArray>(*back.cells[0].instances[1].repetition);
    EXPECT_EQ(back.cells[0].instances[1].transform.origin, (Point{2147450874, 0}));
    EXPECT_EQ(last.column_step, (Point{0, 0}));
    EXPECT_EQ(placements(back, back.cells[0]), placements(db, db.cells[0]));
    // One placement beyond 32 bits keeps the array's refusal.
    std::get<top::RegularArray>(*db.cells[0].instances[1].repetition).columns = 3;
    EXPECT_EQ(debug_text(writer::write_gds(db).error()),
              "Format(\"cell `top`: array corner coordinate -3221225475 does not fit in GDSII's "
              "32 bits\")");
}

TEST(Stream, ReaderIsLenientAboutTheFrame) {
    EXPECT_TRUE(read_ok(Stream().closed()).cells.empty());
    Stream s;
    s.structure("a").raw(rec::BOUNDARY).xy({{0, 0}, {1, 0}, {0, 1}}).raw(rec::ENDEL);
    s.raw(rec::ENDSTR).raw(rec::BOX).i16(rec::LAYER, {4}).xy({{2, 3}}).raw(rec::ENDEL);
    // An SREF before its structure creates the cell; a repeated STRNAME continues a cell.
    s.raw(rec::SREF).text(rec::SNAME, "later").raw(rec::ENDEL);
    s.raw(rec::PATH).xy({{1, 1}}); // dropped: followed by another element
    s.raw(rec::TEXT).i16(rec::DATATYPE, {3}).i16(rec::TEXTTYPE, {5}).raw(rec::ENDEL);
    s.structure("later").structure("a").raw(rec::NODE).raw(rec::ENDEL);
    s.raw(rec::BOUNDARY); // open at ENDLIB: dropped
    LayoutDb db = read_ok(s.closed());
    ASSERT_EQ(db.cells.size(), 2u);
    EXPECT_EQ(db.cells[1].name, "later");
    const auto& a = db.cells[0];
    EXPECT_EQ(a.instances.size(), 1u);
    ASSERT_EQ(db.layers.size(), 3u);
    EXPECT_EQ(db.layers[1].layer, 4);
    EXPECT_EQ(db.layers[2].datatype, 5);
    const auto& box = std::get<shape::Box>(a.shapes.at(LayerId{1})[0].shape);
    EXPECT_EQ(box.left, 2);
    EXPECT_EQ(box.top, 3);
    EXPECT_EQ(a.shapes.at(LayerId{0}).size(), 2u); // the boundary and the node
    EXPECT_EQ(db.points.size(), 4u);               // the dropped path left no points behind
    const auto& text = db.text_of(std::get<shape::Text>(a.shapes.at(LayerId{2})[0].shape));
    EXPECT_EQ(text.transform.origin, (Point{0, 0}));
    EXPECT_TRUE(std::holds_alternative<shape::Orthogonal>(text.transform.orientation));

    Stream units;
    units.real(rec::UNITS, {0.001, 1e-9}).raw(rec::ENDLIB).raw(0xFF, {1});
    db = read_ok(units.bytes);
    EXPECT_EQ(db.dbu, 0.001);
    EXPECT_EQ(db.meta.scale, 1000.0);
}

// A stream cut short must not read as a smaller design: wherever it ends before ENDLIB, after a
// whole record or inside a header, the offset is named; padding after ENDLIB is still fine. What
// does not open with HEADER is no stream at all.
TEST(Stream, ReaderRefusesCutAndForeignStreams) {
    const Bytes whole = write_ok(sample());
    std::size_t boundaries = 0;
    const std::size_t after_header = 6;
    for (std::size_t at = after_header; at + 4 <= whole.size();
         at += (whole[at] << 8) | whole[at + 1]) {
        for (std::size_t cut = at; cut < at + 4; ++cut) {
            EXPECT_EQ(read_error(Bytes(whole.begin(), whole.begin() + cut)),
                      "Format(\"the stream ends at byte " + std::to_string(cut) +
                          " before ENDLIB: the file is truncated\")")
                << cut;
        }
        ++boundaries;
    }
    EXPECT_GT(boundaries, 50u);
    // A stream must open with HEADER: an empty file or text is no GDSII.
    EXPECT_EQ(read_error({}), "Format(\"the stream is empty: not a GDSII file\")");
    const std::string not_gds =
        "Format(\"the stream does not start with a HEADER record: not a GDSII file\")";
    EXPECT_EQ(read_error({0, 6, 0}), not_gds);
    const std::string text = "quorvane-ir 1\n";
    EXPECT_EQ(read_error(Bytes(text.begin(), text.end())), not_gds);
    EXPECT_EQ(read_error(Bytes(whole.begin() + 6, whole.end())), not_gds);
    Bytes padded = whole;
    padded.resize(2048 * ((whole.size() + 2047) / 2048), 0);
    EXPECT_EQ(write_ok(read_ok(padded)), whole);
}

TEST(Stream, ReaderElementDetails) {
    Stream s;
    s.structure("c");
    s.raw(rec::PATH).i32(rec::WIDTH, -100).i16(rec::PROPATTR, {1});
    s.text(rec::PROPVALUE, "x").text(rec::PROPVALUE, "y").raw(rec::ENDEL);
    s.raw(rec::SREF).text(rec::SNAME, "c").real(rec::MAG, {2.0}).xy({{1, 2}, {3, 4}});
    s.raw(rec::ENDEL);
    s.raw(rec::AREF).text(rec::SNAME, "c").i16(rec::COLROW, {3, -2});
    s.xy({{0, 0}, {10, 0}, {0, 7}, {9, 9}}).raw(rec::ENDEL);
    const LayoutDb db = read_ok(s.closed());
    const auto& cell = db.cells[0];
    const auto& path_record = cell.shapes.begin()->second[0];
    const auto& path = std::get<shape::Path>(path_record.shape);
    EXPECT_EQ(path.width, 100);
    EXPECT_TRUE(path.width_absolute);
    const auto& path_meta = db.meta_of(path_record.meta);
    EXPECT_EQ(path_meta.shape_extras, 0u);
    ASSERT_EQ(path_meta.properties.size(), 2u);
    EXPECT_EQ(path_meta.properties[1].attribute, 1);
    const auto& sref = cell.instances[0];
    EXPECT_EQ(sref.transform.origin, (Point{1, 2}));
    const auto& g = std::get<shape::General>(sref.transform.orientation);
    EXPECT_EQ(g.magnification, 2.0);
    EXPECT_EQ(g.angle, 0.0);
    const auto& array = std::get<top::RegularArray>(*cell.instances[1].repetition);
    EXPECT_EQ(array.column_step, (Point{3, 0}));
    EXPECT_EQ(array.row_step, (Point{0, -3}));
    EXPECT_EQ(array.rows, -2);
}

TEST(Stream, ReaderWarnsWhereTheLayoutKeepsOnlyPart) {
    Stream s;
    s.structure("a").raw(rec::BOUNDARY).xy({{0, 0}, {1, 0}, {0, 1}}).xy({{0, 0}, {2, 0}, {0, 2}});
    s.raw(rec::ENDEL).raw(rec::SREF).text(rec::SNAME, "nowhere").xy({{0, 0}}).raw(rec::ENDEL);
    s.raw(rec::AREF).text(rec::SNAME, "a").i16(rec::COLROW, {3, 2});
    s.xy({{0, 0}, {10, 0}, {0, 8}}).raw(rec::ENDEL).raw(rec::ENDSTR);
    s.structure("a").raw(rec::ENDSTR);
    const auto read = reader::read_layout_with_warnings(s.closed());
    ASSERT_TRUE(read);
    EXPECT_EQ(read->warnings,
              (std::vector<reader::ReadWarning>{
                  {"a", "an element has two XY records; only the last is kept"},
                  {"a", "an AREF span does not divide evenly by its count; the step is truncated"},
                  {"a", "two structures of this name are merged into one cell"},
                  {"nowhere", "referenced but never defined; read as an empty cell"}}));
}

TEST(Stream, ReaderErrors) {
    for (std::uint8_t length : {0, 1, 2, 3}) {
        EXPECT_EQ(read_error({0, length, 0, 0}),
                  "Format(\"invalid record length " + std::to_string(length) + "\")");
    }
    EXPECT_EQ(read_error({0, 8, 0, 0, 1}), "Io(Kind(UnexpectedEof))");
    const auto in_cell = [](auto build) {
        Stream s;
        s.structure("c");
        build(s);
        return read_error(s.closed());
    };
    EXPECT_EQ(in_cell([](Stream& s) { s.real(rec::UNITS, {1.0}); }),
              "Format(\"UNITS must contain two real8 values\")");
    EXPECT_EQ(in_cell([](Stream& s) {
                  s.real(rec::UNITS, {1.0, 0.0});
              }),
              "Layout(InvalidDbu(0.0))");
    EXPECT_EQ(in_cell([](Stream& s) {
                  s.real(rec::UNITS, {1.0, -1e-9});
              }),
              "Layout(InvalidDbu(-0.001))");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::AREF).i16(rec::COLROW, {1}); }),
              "Format(\"COLROW must contain two i16 values\")");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::BOX).text(rec::PROPVALUE, "v"); }),
              "Format(\"PROPVALUE appears before PROPATTR\")");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::ENDEL); }),
              "Format(\"ENDEL without active element\")");
    // 6 bytes of HEADER, 10 of BGNSTR and STRNAME, 4 of BOUNDARY and 28 of XY.
    EXPECT_EQ(in_cell([](Stream& s) {
                  s.raw(rec::BOUNDARY).xy({{0, 0}, {1, 0}, {0, 1}}).raw(rec::ENDSTR);
              }),
              "Format(\"ENDSTR at byte 48 comes before the ENDEL of a BOUNDARY: the structure is "
              "truncated\")");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::BGNSTR).raw(rec::BOX).raw(rec::ENDEL); }),
              "Format(\"ENDEL outside of a structure\")");
    EXPECT_EQ(read_error(Stream().raw(rec::BOX).raw(rec::ENDEL).closed()),
              "Format(\"ENDEL outside of a structure\")");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::BOX).raw(rec::ENDEL); }),
              "Format(\"BOX is missing XY points\")");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::SREF).raw(rec::ENDEL); }),
              "Format(\"SREF/AREF is missing SNAME\")");
    EXPECT_EQ(in_cell([](Stream& s) {
                  s.raw(rec::AREF).text(rec::SNAME, "c").xy({{0, 0}, {1, 1}, {2, 2}});
                  s.raw(rec::ENDEL);
              }),
              "Format(\"AREF is missing COLROW\")");
    EXPECT_EQ(in_cell([](Stream& s) {
                  s.raw(rec::AREF).text(rec::SNAME, "c").i16(rec::COLROW, {1, 1});
                  s.xy({{0, 0}, {1, 1}}).raw(rec::ENDEL);
              }),
              "Format(\"AREF XY must contain three points\")");
    EXPECT_EQ(in_cell([](Stream& s) {
                  s.raw(rec::AREF).text(rec::SNAME, "c").i16(rec::COLROW, {0, 5});
                  s.xy({{0, 0}, {1, 1}, {2, 2}}).raw(rec::ENDEL);
              }),
              "Format(\"AREF COLROW entries must be non-zero\")");
    // Payloads are decoded only where they are used.
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::LAYER, {1}); }), "ok");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::BOX).raw(rec::LAYER, {1}); }),
              "Format(\"i16 record has odd byte length\")");
    EXPECT_EQ(in_cell([](Stream& s) { s.raw(rec::BOX).raw(rec::STRING, {0xC3}); }),
              "Format(\"incomplete utf-8 byte sequence from index 0\")");
}

// Garbled streams of every kind must end in a database or an error: never a crash, a hang or
// memory out of proportion to the input.
TEST(Stream, GarbledInputIsRefusedCleanly) {
    const Bytes valid = write_ok(sample());
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };
    for (int round = 0; round < 20000; ++round) {
        Bytes bytes = valid;
        const int flips = 1 + static_cast<int>(next() % 8);
        for (int i = 0; i < flips; ++i) {
            bytes[next() % bytes.size()] = static_cast<std::uint8_t>(next());
        }
        if (round % 3 == 0) {
            bytes.resize(next() % bytes.size());
        }
        auto db = reader::read_layout(bytes);
        if (db) {
            EXPECT_LE(db->points.size(), bytes.size() / 8);
            EXPECT_LE(db->cells.size(), bytes.size() / 4);
            // Whatever was read can be written again or is refused with an error.
            (void)writer::write_gds(*db);
        }
    }
}

TEST(Stream, PiecesMakeTheWholeStreamAndStopAtAnError) {
    LayoutDb db = sample();
    // Enough boxes for several pieces.
    auto& boxes = db.cells[0].shapes.begin()->second;
    for (std::int64_t i = 0; i < 40'000; ++i) {
        boxes.push_back({{}, shape::Box{i, 0, i + 5, 7}});
    }
    const auto streamed = [](const LayoutDb& from, std::vector<std::size_t>& sizes) {
        Bytes joined;
        auto written = writer::write_gds(from, [&](std::span<const std::uint8_t> piece) {
            sizes.push_back(piece.size());
            joined.insert(joined.end(), piece.begin(), piece.end());
        });
        return written ? joined : Bytes{};
    };
    std::vector<std::size_t> sizes;
    EXPECT_EQ(streamed(db, sizes), write_ok(db));
    ASSERT_GT(sizes.size(), 2u);
    for (std::size_t i = 0; i + 1 < sizes.size(); ++i) {
        EXPECT_GE(sizes[i], writer::piece_bytes);
        EXPECT_LT(sizes[i], writer::piece_bytes + 256);
    }

    // A refusal late in the stream comes back as the whole writer gives it.
    boxes.push_back({{}, shape::EdgePair{}});
    sizes.clear();
    auto written = writer::write_gds(
        db, [&](std::span<const std::uint8_t> piece) { sizes.push_back(piece.size()); });
    EXPECT_EQ(debug_text(written.error()), debug_text(writer::write_gds(db).error()));
    EXPECT_FALSE(sizes.empty());
}
