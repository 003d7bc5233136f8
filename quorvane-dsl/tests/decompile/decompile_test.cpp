#include <gtest/gtest.h>

#include <limits>
#include <random>

#include "base/pool.hpp"
#include "decompile/decompile.hpp"
#include "decompile/decompiler.hpp"
#include "format/format.hpp"
#include "syntax/parser.hpp"

namespace {

using namespace quorvane_dsl;
using decompile::decompile;
using decompile::LayerSource;

ir::Cell named(std::string name) {
    ir::Cell cell;
    cell.name = cell.source = std::move(name);
    return cell;
}

ir::Instance instance(std::string name, std::uint64_t cell, std::int64_t x, double rotation) {
    ir::Instance placed;
    placed.name = std::move(name);
    placed.cell = cell;
    placed.x = x;
    placed.rotation = rotation;
    return placed;
}

ir::Library worked_example() {
    ir::Library library;
    library.layers = {{"metal1", 1, 0}};
    ir::Cell top = named("top");
    top.shapes.push_back({0, ir::Geometry{ir::Box{0, 0, 2000, 1000}}});
    top.instances.push_back(instance("u1", 1, 5000, 90));
    library.cells = {top, named("sub")};
    return library;
}

// The text handed to the formatter.
std::string decompiled(const ir::Library& library, const LayerSource* source = nullptr) {
    const auto result = decompile::unformatted(library, source);
    EXPECT_TRUE(result.warnings.empty()) << result.warnings[0];
    return result.text;
}

// The text of one cell block, from its opening line to the closing brace.
std::string block(const std::string& text, const std::string& opening) {
    const std::size_t start = text.find(opening);
    return start == std::string::npos ? ""
                                      : text.substr(start, text.find("\n}\n", start) + 3 - start);
}

TEST(Decompile, WorkedExampleAndArray) {
    ir::Library library = worked_example();
    EXPECT_EQ(decompiled(library), "# Decompiled by quorvane.\n\n"
                                   "define layer {\n    metal1 { gds 1/0 }\n}\n\n"
                                   "cell top {\n"
                                   "    layer metal1 {\n"
                                   "        shape rect with 2um, 1um as r\n"
                                   "        place r at (1um, 500nm)\n"
                                   "    }\n"
                                   "    place sub.origin at (5um, 0) rotate 90deg as u1\n"
                                   "}\n\n"
                                   "cell sub {\n}\n\n");
    ir::Instance& placed = library.cells[0].instances[0];
    placed.x = 0;
    placed.rotation = 0;
    placed.array = ir::Array{3, 2, {10000, 0}, {0, 5000}};
    EXPECT_NE(
        decompiled(library).find("    place {\n"
                                 "        for i in 0..3 {\n"
                                 "            for j in 0..2 {\n"
                                 "                place sub.origin at (0 + i * 10um, 0 + j * 5um)\n"
                                 "            }\n"
                                 "        }\n"
                                 "    }\n}\n"),
        std::string::npos);
    placed.rotation = 180;
    placed.mirror = true;
    placed.array = ir::Array{1, 4, {0, 0}, {0, 0}};
    EXPECT_NE(decompiled(library).find("place sub.origin at (0, 0) rotate 180deg mirror\n"),
              std::string::npos);

    // The copies of an array are named sub_0, sub_1, ... skipping names in use, while a chosen
    // name may not repeat one: named placements go first, so that they are in use.
    library.cells[0].instances.push_back(instance("sub_1", 1, 7, 0));
    const std::string text = decompiled(library);
    EXPECT_LT(text.find("place sub.origin at (7nm, 0) as sub_1\n"), text.find("    place {\n"));
}

TEST(Decompile, IdentifierRule) {
    const std::pair<const char*, const char*> cases[] = {
        {"metal 1", "metal_1"}, {"3v3", "_3v3"}, {"", "_"},          {"in", "in_"},
        {"pi", "pi_"},          {"µm", "_m"},    {"layer", "layer"}, {"a\xFF", "a_"}};
    for (const auto& [text, expected] : cases) {
        decompile::NameSet names;
        EXPECT_EQ(decompile::identifier(text, names), expected) << text;
    }
    decompile::NameSet names;
    names.insert("metal1");
    names.insert("cell_");
    EXPECT_EQ(decompile::identifier("metal1", names), "metal1_1");
    EXPECT_EQ(decompile::identifier("cell", names), "cell__1");
    for (const char* expected : {"r", "r_1", "r_2"}) {
        EXPECT_EQ(decompile::identifier("r", names), expected);
    }
    // A cell's set sees the file's names; its own stay out of the file's.
    names.insert("r_4");
    decompile::NameSet cell(&names);
    EXPECT_EQ(decompile::identifier("r", cell), "r_3");
    EXPECT_EQ(decompile::identifier("r", cell), "r_5");
    EXPECT_FALSE(names.contains("r_5"));
    // A counter passes over base_N however it was taken, here as a name of its own.
    EXPECT_EQ(decompile::identifier("x_1", cell), "x_1");
    EXPECT_EQ(decompile::identifier("x", cell), "x");
    EXPECT_EQ(decompile::identifier("x", cell), "x_2");
}

TEST(Decompile, FileFrameAndNameClashes) {
    ir::Library library;
    library.dbu = 1 + 1e-13;
    EXPECT_EQ(decompile(library, nullptr).text, "# Decompiled by quorvane.\n");
    library.dbu = 0.5;
    library.layers = {{"metal1", 1, 0}, {"big", -32768, 3}, {"via", 9, 9}};
    library.cells = {named("a-b"), named("a.b"), named("via"),
                     named("dbu"), named("i"),   named("pad")};
    for (std::uint64_t layer = 0; layer < 3; ++layer) {
        library.cells[5].shapes.push_back({layer, ir::Geometry{ir::Box{0, 0, 2, 2}}});
    }
    LayerSource source{.import_path = "tech/base.qvs",
                       .layers = {{{1, 0}, "m1"}, {{-32768, 3}, "via"}},
                       .globals = {"m1", "via", "pad", "width"}};
    const std::string text = decompiled(library, &source);
    EXPECT_EQ(text.substr(0, text.find("# `a-b`")), "# Decompiled by quorvane.\n\n"
                                                    "import \"tech/base.qvs\"\n\n"
                                                    "define dbu = 0.5nm\n\n"
                                                    "define layer {\n"
                                                    "    via_1 { gds 9/9 }\n"
                                                    "}\n\n");
    for (const char* cell : {"cell a_b {", "cell a_b_1 {", "cell via_2 {", "cell dbu_1 {",
                             "cell i_1 {", "cell pad_1 {"}) {
        EXPECT_NE(text.find(cell), std::string::npos) << cell;
    }
    EXPECT_NE(text.find("    layer m1 {\n        shape rect with 1nm, 1nm as r\n"),
              std::string::npos);
    EXPECT_NE(text.find("    layer via {\n"), std::string::npos);
    EXPECT_NE(text.find("    layer via_1 {\n"), std::string::npos);
    // Without a source, numbers past 32767 come back negative and are written so.
    EXPECT_NE(decompiled(library).find("    big { gds -32768/3 }\n"), std::string::npos);
}

TEST(Decompile, CellContents) {
    ir::Library library;
    library.layers = {{"m", 1, 0}, {"n", 2, 0}};
    ir::Cell cell = named("my cell");
    cell.source = "pad";
    cell.params = {{"a", ir::Value{ir::Value::Number{5000, {1, 0}}}},
                   {"n", ir::Value{ir::Value::Int{3}}}};
    cell.blackbox = ir::Blackbox{{0, 0, 1, 1}, "sha256:1", "sha256:2"};
    const ir::Value xs{ir::Value::Named{"xs", {}}};
    cell.attrs = {{"area", ir::Value{ir::Value::Number{4, {2, 0}}}},
                  {"xs", xs},
                  {"nested", ir::Value{ir::Value::List{{ir::Value{ir::Value::List{{xs}}}}}}},
                  {"w", ir::Value{ir::Value::Number{300, {1, 0}}}}};
    cell.markers = {{"p",
                     {{0, 10, 0}, {20, 0, 90}},
                     {{"kind", ir::Value{ir::Value::String{"pin"}}},
                      {"xs", xs},
                      {"bad key", ir::Value{ir::Value::Int{1}}}}},
                    {"q", {}, {{"xs", xs}}}};
    const auto shape = [&](std::uint64_t layer, auto geometry) {
        cell.shapes.push_back({layer, ir::Geometry{geometry}});
    };
    shape(1, ir::Box{0, 0, 0, 5});
    shape(0, ir::Polygon{{{0, 0}, {10, 0}, {10, 0}, {10, 10}, {0, 0}}});
    shape(1, ir::Polygon{{{0, 0}, {1, 1}, {1, 1}}});
    shape(0, ir::Path{0, {{0, 0}, {1, 0}}});
    shape(0, ir::Path{4, {{0, 0}, {0, 0}, {8, 0}}});
    shape(0, ir::Box{1, 1, 4, 2});
    cell.connections.push_back({{"p", std::nullopt, 0}, {"p", std::nullopt, 1}, false});
    library.cells = {cell};
    const auto result = decompile::unformatted(library, nullptr);
    EXPECT_EQ(block(result.text, "# `my cell`"),
              "# `my cell` from cell `pad` with a = 5um, n = 3\n"
              "# A blackbox: interface sha256:1, content sha256:2\n"
              "cell my_cell {\n"
              "    attribute {\n"
              "        w 300nm\n"
              "    }\n"
              "    marker {\n"
              "        p {\n"
              "            at {\n"
              "            (0, 10nm)\n"
              "            (20nm, 0, 90deg)\n"
              "            }\n"
              "            with kind = \"pin\"\n"
              "        }\n"
              "        q {\n"
              "            at {\n"
              "\n"
              "            }\n"
              "        }\n"
              "    }\n"
              "    layer n {\n"
              "    }\n"
              "    layer m {\n"
              "        shape polygon with [(0, 0), (10nm, 0), (10nm, 10nm), (0, 0)] as p_1\n"
              "        place p_1 at self.origin\n"
              "        shape path with [(0, 0), (0, 0), (8nm, 0)], 4nm as w_1\n"
              "        place w_1 at self.origin\n"
              "        shape rect with 3nm, 1nm as r\n"
              "        place r at (2.5nm, 1.5nm)\n"
              "    }\n"
              "}\n");
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "cell `my cell`: skipped the attribute `bad key` of marker `p`, whose name is "
                  "no identifier",
                  "cell `my cell`: skipped an empty box",
                  "cell `my cell`: skipped a polygon with fewer than 3 points",
                  "cell `my cell`: skipped a path without width or with fewer than 2 points"}));
}

// Marker attributes the language types keep only values of their type, else the text would not
// check; a zero stands for any quantity.
TEST(Decompile, MarkerAttributesOfTheWrongTypeAreSkipped) {
    ir::Library library;
    ir::Cell cell = named("c");
    const auto integer = [](std::int64_t v) { return ir::Value{ir::Value::Int{v}}; };
    cell.markers = {{"p",
                     {{0, 0, 0}},
                     {{"width", integer(500)},
                      {"angle", integer(0)},
                      {"kind", integer(5)},
                      {"xsection", integer(3)},
                      {"other", integer(7)}}}};
    library.cells = {cell};
    const auto result = decompile(library, nullptr);
    EXPECT_NE(result.text.find("with angle = 0, other = 7\n"), std::string::npos) << result.text;
    EXPECT_EQ(result.warnings,
              (std::vector<std::string>{
                  "cell `c`: skipped the attribute `width` of marker `p`, which must hold a size",
                  "cell `c`: skipped the attribute `kind` of marker `p`, which must hold a string",
                  "cell `c`: skipped the attribute `xsection` of marker `p`, which must hold a "
                  "cross-section"}));
}

// Lists keep only elements that share a type as the language sees their literals: the first
// element sets it (a plain 0 as an integer), an integer may follow a plain number, a 0 any
// quantity, and an empty list any list. A list that types once its zeros carry the unit of its
// quantity is written so.
TEST(Decompile, ListsOfMixedElementsAreSkipped) {
    const auto integer = [](std::int64_t v) { return ir::Value{ir::Value::Int{v}}; };
    const auto number = [](double v, units::Dim dim) {
        return ir::Value{ir::Value::Number{v, dim}};
    };
    const auto list = [](std::vector<ir::Value> items) {
        return ir::Value{ir::Value::List{std::move(items)}};
    };
    const ir::Value one_um = number(1000, {1, 0});
    ir::Library library;
    ir::Cell cell = named("c");
    cell.attrs = {{"text", list({integer(1), ir::Value{ir::Value::String{"x"}}})},
                  {"rising", list({integer(1), number(1.5, {0, 0})})},
                  {"falling", list({number(1.5, {0, 0}), integer(1)})},
                  {"bare", list({one_um, integer(2)})},
                  {"zero_last", list({one_um, integer(0)})},
                  {"zero_first", list({number(0, {1, 0}), one_um})},
                  {"zero_deep", list({list({integer(0)}), list({one_um})})},
                  {"zero_int", list({integer(0), integer(2), one_um})},
                  {"deep", list({list({integer(1)}), integer(2)})},
                  {"ragged", list({list({integer(1)}), list({integer(1), integer(2)}), list({})})}};
    cell.markers = {{"p",
                     {{0, 0, 0}},
                     {{"q", list({ir::Value{ir::Value::Bool{true}}, integer(2)})},
                      {"e", list({list({}), list({one_um})})},
                      {"t", list({integer(0), number(90, {0, 1})})}}}};
    library.cells = {cell};
    const auto result = decompile(library, nullptr);
    EXPECT_NE(result.text.find("falling    [1.5, 1]\n        zero_last  [1um, 0]\n"
                               "        zero_first [0nm, 1um]\n        zero_deep  [[0nm], [1um]]\n"
                               "        ragged     [[1], [1, 2], []]\n"),
              std::string::npos)
        << result.text;
    EXPECT_NE(result.text.find("with e = [[], [1um]], t = [0deg, 90deg]\n"), std::string::npos)
        << result.text;
    const std::string skipped = "`, whose list elements do not share a type";
    EXPECT_EQ(result.warnings, (std::vector<std::string>{
                                   "cell `c`: skipped the attribute `text" + skipped,
                                   "cell `c`: skipped the attribute `rising" + skipped,
                                   "cell `c`: skipped the attribute `bare" + skipped,
                                   "cell `c`: skipped the attribute `zero_int" + skipped,
                                   "cell `c`: skipped the attribute `deep" + skipped,
                                   "cell `c`: skipped the attribute `q` of marker `p" + skipped}));
}

// Names may hold any character; whatever the library holds, the text parses. Only a layer name
// handed in by the caller can break it, and then the text comes unformatted.
TEST(Decompile, GeneratedTextParses) {
    ir::Library library;
    library.layers = {{"in", 1, 0}};
    ir::Cell cell = named("line\nbreak\r# x");
    cell.source = "src\nx";
    cell.attrs = {{"for", ir::Value{ir::Value::String{"a\"b\\\n"}}}};
    cell.markers = {{"if", {{1, 2, 45.5}}, {{"self_", ir::Value{ir::Value::Bool{true}}}}}};
    cell.shapes.push_back({0, ir::Geometry{ir::Box{-3, -3, 3, 3}}});
    // Wider than an i64 difference holds; IR text can carry it.
    cell.shapes.push_back({0, ir::Geometry{ir::Box{INT64_MIN + 1, 0, INT64_MAX, 1}}});
    library.cells = {cell, named("pi")};
    library.cells[1].instances.push_back(instance("cell", 0, -7, 45));
    auto result = decompile(library, nullptr);
    EXPECT_TRUE(syntax::parser::parse(result.text).errors.empty()) << result.text;
    EXPECT_TRUE(result.warnings.empty());

    const LayerSource source{.import_path = "t.qvs", .layers = {{{1, 0}, "not a name"}}};
    EXPECT_FALSE(decompile::decompile_to(library, &source, [](std::string) {}));
    result = decompile(library, &source);
    EXPECT_EQ(result.text, decompile::unformatted(library, &source).text);
    EXPECT_EQ(result.warnings,
              std::vector<std::string>{
                  "the generated source did not parse (3 error(s)); it is written unformatted"});
}

// Every kind of cell content in quantity: enough boxes on one layer to be written in parallel
// chunks, short and long polygons and paths, empty shapes, arrays that the formatter joins onto
// one line, markers and attributes that it aligns, cells with only skipped shapes.
ir::Library mixed_library(double dbu) {
    std::mt19937_64 random(3);
    const auto coordinate = [&] { return static_cast<std::int64_t>(random() % 4000001) - 2000000; };
    ir::Library library;
    library.dbu = dbu;
    library.layers = {{"metal 1", 1, 0}, {"via", 2, 0}, {"r", 3, 0}};
    library.cells = {named("leaf"), named("big"), named("empty")};
    ir::Cell& leaf = library.cells[0];
    leaf.attrs = {{"width", ir::Value{ir::Value::Number{300, {1, 0}}}},
                  {"n", ir::Value{ir::Value::Int{3}}}};
    leaf.markers = {{"a", {{0, 10, 0}}, {}}, {"bb", {{5, 5, 90}}, {}}};
    leaf.shapes.push_back({2, ir::Geometry{ir::Box{0, 0, 1, 1}}});
    ir::Cell& big = library.cells[1];
    for (int i = 0; i < 9000; ++i) {
        const std::int64_t x = coordinate();
        const std::int64_t y = coordinate();
        const auto size = static_cast<std::int64_t>(random() % 3001);
        const std::uint64_t layer = i % 7 == 0 ? 1 : 0;
        if (i % 50 == 0) {
            std::vector<ir::Point> points;
            for (std::size_t k = 0; k < 3 + random() % 40; ++k) {
                points.push_back({coordinate(), coordinate()});
            }
            big.shapes.push_back({layer, ir::Geometry{ir::Polygon{points}}});
            big.shapes.push_back({layer, ir::Geometry{ir::Path{size, points}}});
        } else {
            big.shapes.push_back({layer, ir::Geometry{ir::Box{x, y, x + size, y + size / 2}}});
        }
    }
    // Lengths far beyond GDSII's, as IR text may carry them.
    big.shapes.push_back({0, ir::Geometry{ir::Box{INT64_MIN + 1, -5, INT64_MAX, 7}}});
    big.instances.push_back(instance("u", 0, 500, 90));
    big.instances.push_back(instance("u", 0, -1500, 0));
    big.instances.back().array = ir::Array{2, 3, {1000, 0}, {0, 2000}};
    library.cells[2].shapes.push_back({0, ir::Geometry{ir::Path{0, {}}}});
    return library;
}

// The formatter lays the text out in pieces: cut after cells and around runs of shape
// statements, which pass as they are. The join must be the layout of the whole text, for every
// size of piece and every thread count.
TEST(Decompile, PiecesLayOutAsTheWhole) {
    std::vector<ir::Library> libraries = {worked_example(), mixed_library(1), mixed_library(0.5),
                                          mixed_library(1000)};
    libraries[0].cells.push_back(named("r"));
    const std::size_t unbounded = std::numeric_limits<std::size_t>::max();
    for (const ir::Library& library : libraries) {
        const auto whole = format::format(decompile::unformatted(library, nullptr).text);
        ASSERT_TRUE(whole.has_value());
        for (const decompile::PieceLimits limits :
             {decompile::PieceLimits{1, 1}, decompile::PieceLimits{1, unbounded},
              decompile::PieceLimits{300, 5000}, decompile::PieceLimits{unbounded, unbounded}}) {
            std::string joined;
            const auto append = [&](std::string piece) {
                EXPECT_FALSE(piece.empty());
                joined += piece;
            };
            ASSERT_TRUE(decompile::decompile_in_pieces(library, nullptr, limits, append));
            EXPECT_EQ(joined, *whole) << limits.piece << " " << limits.batch;
        }
        base::pool::with_threads(1, [&] { EXPECT_EQ(decompile(library, nullptr).text, *whole); });
    }
}

} // namespace
