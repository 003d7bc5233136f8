#include <cmath>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "ir/ir.hpp"
#include "ir/walk.hpp"

namespace {

using namespace quorvane_dsl::ir;

const std::string example = "quorvane-ir 1\n"
                            "dbu 1nm\n"
                            "layer metal1 10/0\n"
                            "cell pad source=pad {\n"
                            "  param w 5um\n"
                            "  attr rows 4\n"
                            "  box metal1 -2500 -2500 2500 2500\n"
                            "  marker p (0,0,0deg) (2500,0,90deg) {width=500nm}\n"
                            "}\n"
                            "cell chip source=chip {\n"
                            "  path metal1 width=500 (0,0) (10000,0)\n"
                            "  inst a pad at (0,0)\n"
                            "  inst b pad at (10000,0) rot=90 mirror\n"
                            "  inst row pad at (0,20000) array=4x1 step=(10000,0) (0,0)\n"
                            "  connect a.p[0] b.p[0] geometric\n"
                            "}\n"
                            "top chip\n";

std::string reprint(const std::string& text) {
    auto library = parse(text);
    EXPECT_TRUE(library) << library.error().text();
    return library ? print(*library).value() : "";
}

std::string error_of(const std::string& text) {
    auto library = parse(text);
    return library ? "(read)" : library.error().text();
}

TEST(IrText, ExampleRoundTripsByteForByte) {
    EXPECT_EQ(reprint(example), example);
    const Library library = parse(example).value();
    ASSERT_EQ(library.cells.size(), 2u);
    const Instance& b = library.cells[1].instances[1];
    EXPECT_EQ(b.rotation, 90);
    EXPECT_TRUE(b.mirror);
    EXPECT_EQ(library.cells[1].instances[2].array, (Array{4, 1, Point{10000, 0}, Point{0, 0}}));
    EXPECT_EQ(library.cells[0].markers[0].attrs[0].second, (Value{Value::Number{500, {1, 0}}}));
    EXPECT_EQ(library.tops, std::vector<std::uint64_t>{1});
}

TEST(IrText, PrintedEdgeFormsReadBack) {
    Library library;
    library.dbu = 0.25;
    library.layers.push_back({"m", 1, 2});
    Cell cell{.name = "c", .source = ""};
    cell.shapes.push_back({0, Geometry{Polygon{}}});
    cell.shapes.push_back({0, Geometry{Path{7, {}}}});
    cell.markers.push_back({"bare", {}, {}});
    cell.markers.push_back({"tagged", {}, {{"kind", Value{Value::String{"a \"b\"\tc"}}}}});
    cell.instances.push_back({"self_ref", 0, 1, 2, -0.0, false, std::nullopt});
    cell.blackbox = Blackbox{{-1, -2, 3, 4}, "sha256:ab", ""};
    library.cells.push_back(cell);
    library.cells.push_back(Cell{.name = "d", .source = "x"});
    library.cells[0].instances[0].cell = 1;
    library.cells[0].connections.push_back({{"p", std::nullopt, 3}, {"q", "u", 0}, false});
    const std::string text = print(library).value();
    EXPECT_NE(text.find("  marker bare \n"), std::string::npos);
    EXPECT_NE(text.find("  marker tagged  {kind=\"a \\\"b\\\"\\tc\"}\n"), std::string::npos);
    EXPECT_NE(text.find("  polygon m \n"), std::string::npos);
    EXPECT_NE(text.find("  inst self_ref d at (1,2)\n"), std::string::npos);
    EXPECT_NE(text.find("  connect self.p[3] u.q[0]\n"), std::string::npos);
    auto back = parse(text).value();
    back.cells[0].instances[0].rotation = -0.0;
    EXPECT_EQ(back, library);
    EXPECT_EQ(reprint(text), text);

    Library empty;
    empty.dbu = 1;
    EXPECT_EQ(print(empty).value(), "quorvane-ir 1\ndbu 1nm\n");
}

TEST(IrText, WiderGrammarReads) {
    const std::string text = "\r\n\n  quorvane-ir 1\r\n"
                             "top b\n"
                             "dbu 2nm\n"
                             "dbu 0.25nm\n"
                             "layer m 1/+2\n"
                             "cell a source= { extra\n"
                             "\tinst x b at (0,0) mirror rot=45 rot=90\n"
                             "  path m (0,0) width=5 width=7 (1,+2)\n"
                             "  polygon m width=3 (1,1)\n"
                             "  connect a.p[0] b.p[0] geometric extra\n"
                             "  marker p (0,0,0deg) {a=1 b=2,}\n"
                             "  marker m {}\n"
                             "  marker p (5,5,90deg)\n"
                             "  blackbox content=c interface=i footprint=(1,2,3,4) content=d\n"
                             "} trailing words\n"
                             "cell b source=b {\n"
                             "}\n";
    const auto read = parse_with_spans(text);
    ASSERT_TRUE(read) << read.error().text();
    const Library& library = read->library;
    EXPECT_EQ(library.dbu, 0.25);
    const Cell& a = library.cells[0];
    EXPECT_EQ(a.instances[0].rotation, 90);
    EXPECT_TRUE(a.instances[0].mirror);
    EXPECT_EQ(std::get<Path>(a.shapes[0].geometry.kind), (Path{7, {{0, 0}, {1, 2}}}));
    EXPECT_EQ(std::get<Polygon>(a.shapes[1].geometry.kind).points.size(), 1u);
    EXPECT_TRUE(a.connections[0].geometric);
    EXPECT_EQ(a.markers[0].attrs.size(), 2u);
    ASSERT_EQ(a.markers.size(), 3u);
    EXPECT_EQ(a.marker("p"), &a.markers[0]);
    EXPECT_EQ(a.blackbox->content, "d");
    EXPECT_EQ(library.tops, std::vector<std::uint64_t>{1});
    ASSERT_EQ(read->spans.size(), 2u);
    EXPECT_EQ(text.substr(read->spans[0].start, read->spans[0].end - read->spans[0].start), "a");
    EXPECT_EQ(text.substr(read->spans[1].start, 1), "b");
}

TEST(IrText, FailureTableNamesTheLine) {
    const std::string head = "quorvane-ir 1\ndbu 1nm\nlayer m 1/0\n";
    const std::pair<std::string, std::string> cases[] = {
        {"", "line 1: empty IR text"},
        {"\n \n\t\n", "line 1: empty IR text"},
        {"\n\nquorvane-ir 2\n", "line 3: expected the header `quorvane-ir 1`"},
        {"quorvane-ir 1\n", "line 1: missing `dbu`"},
        {head + "cell a source= {\n}\ncell a {\n", "line 6: cell `a` is defined twice"},
        {head + "dbu 1 nm\n", "line 4: expected `dbu <size>nm`, found `dbu 1 nm`"},
        {head + "dbu 0nm\n", "line 4: expected `dbu <size>nm`, found `dbu 0nm`"},
        {head + "dbu infnm\n", "line 4: expected `dbu <size>nm`, found `dbu infnm`"},
        {head + "top zz\n", "line 4: unknown cell `zz`"},
        {head + "cell a src=a {\n", "line 4: expected `cell <name> source=<cell> {`"},
        {head + "layer x 1\n", "line 4: expected `layer <name> <layer>/<datatype>`"},
        {head + "layer x 1/a\n", "line 4: expected `<layer>/<datatype>`, found `1/a`"},
        {head + "layer m 2/0\n", "line 4: layer `m` is defined twice"},
        {head + "}\n", "line 4: unexpected `}`"},
        {head + "# note\n", "line 4: unexpected `#`"},
        {head + "cell a source=a {\ntop a\n", "line 5: unexpected `top` in a cell"},
        {head + "cell a source=a {\nbox m 0 0 10\n",
         "line 5: expected `box <layer> <left> <bottom> <right> <top>`"},
        {head + "cell a source=a {\nbox zz 0 0 1 x\n",
         "line 5: expected `box <layer> <left> <bottom> <right> <top>`"},
        {head + "cell a source=a {\npolygon m (0,0) 5\n",
         "line 5: expected a point `(x,y)`, found `5`"},
        {head + "cell a source=a {\npath m (0,0) width=abc (1,1)\n",
         "line 5: a path needs `width=<dbu>`"},
        {head + "cell a source=a {\nbox late 0 0 1 1\n}\nlayer late 2/0\n",
         "line 5: unknown layer `late`"},
        {head + "cell a source=a {\ninst x a (0,0)\n",
         "line 5: expected `inst <name> <cell> at (x,y)`"},
        {head + "cell a source=a {\ninst x zz at (0)\n", "line 5: unknown cell `zz`"},
        {head + "cell a source=a {\ninst x a at (0)\n", "line 5: expected `(x,y)`, found `(0)`"},
        {head + "cell a source=a {\ninst x a at (0,0) rot=abc\n", "line 5: bad rotation `abc`"},
        {head + "cell a source=a {\ninst x a at (0,0) array=2x2 step=(1,1)\n",
         "line 5: expected `array=<c>x<r> step=(x,y) (x,y)`"},
        {head + "cell a source=a {\ninst x a at (0,0) array=2x2 step=(1,1) (1)\n",
         "line 5: expected `step=(x,y) (x,y)`"},
        {head + "cell a source=a {\ninst x a at (0,0) array=-1x2 step=(1,1) (1,1)\n",
         "line 5: bad column count `-1`"},
        {head + "cell a source=a {\ninst x a at (0,0) array=1x+ step=(1,1) (1,1)\n",
         "line 5: bad row count `+`"},
        {head + "cell a source=a {\ninst x a at (0,0) flip\n", "line 5: unexpected `flip`"},
        {head + "cell a source=a {\nconnect a.p[0] b.p[0] other\n", "line 5: unexpected `other`"},
        {head + "cell a source=a {\nconnect a.p[0]\n", "line 5: expected `connect <port> <port>`"},
        {head + "cell a source=a {\nparam w\n", "line 5: cannot read the value ``"},
        {head + "cell a source=a {\nattr w 1 2\n", "line 5: cannot read the value `1 2`"},
        {head + "cell a source=a {\nmarker m (0,0,0)\n",
         "line 5: cannot read the marker `m (0,0,0)`"},
        {head + "cell a source=a {\nmarker m {\n", "line 5: cannot read the marker `m {`"},
        {head + "cell a source=a {\nblackbox content=c interface=i\n",
         "line 5: expected `blackbox footprint=(l,b,r,t) interface=... content=...`"},
        {head + "cell a source=a {\nblackbox footprint=(1,2,3,4) size=2\n",
         "line 5: unexpected `size=2`"},
        {head + "cell a source=a {\nbox m 0 0 1 1\n\n", "line 5: a cell is not closed with `}`"},
        {head +
             "cell a source=a {\ninst x b at (0,0)\n}\ncell b source=b {\ninst y a at (0,0)\n}\n",
         "line 4: cell `a` contains itself"},
        {head +
             "cell a source=a {\ninst x b at (0,0)\n}\ncell b source=b {\ninst y b at (0,0)\n}\n",
         "line 7: cell `b` contains itself"},
    };
    for (const auto& [text, message] : cases) {
        EXPECT_EQ(error_of(text), message) << text;
    }
}

TEST(IrText, RefusesWhatLaterStagesCannotHandle) {
    const std::string head = "quorvane-ir 1\ndbu 1nm\ncell a source=a {\n";
    // Empty arrays and rotations that are not numbers have no placement.
    EXPECT_EQ(error_of(head + "inst x a at (0,0) array=0x1 step=(1,0) (0,1)\n}\n"),
              "line 4: bad column count `0`");
    EXPECT_EQ(error_of(head + "inst x a at (0,0) array=3x0 step=(1,0) (0,1)\n}\n"),
              "line 4: bad row count `0`");
    EXPECT_EQ(error_of(head + "inst x a at (0,0) rot=nan\n}\n"), "line 4: bad rotation `nan`");
    EXPECT_EQ(error_of(head + "inst x a at (0,0) rot=-inf\n}\n"), "line 4: bad rotation `-inf`");
    EXPECT_EQ(error_of(head + "marker m (0,0,nandeg)\n}\n"),
              "line 4: cannot read the marker `m (0,0,nandeg)`");
    EXPECT_EQ(error_of(head + "marker m (0,0,1e999deg)\n}\n"),
              "line 4: cannot read the marker `m (0,0,1e999deg)`");
    // Nesting is bounded instead of exhausting the stack.
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(error_of(head + "attr deep " + deep + "\n}\n"),
              "line 4: cannot read the value `" + deep + "`: it nests deeper than 200 levels");
    EXPECT_EQ(error_of(head + "marker m {a=" + deep + "}\n}\n"),
              "line 4: cannot read the marker `m {a=" + deep +
                  "}`: it nests deeper than 200 levels");
    const std::string fine = std::string(150, '[') + std::string(150, ']');
    EXPECT_EQ(error_of(head + "attr ok " + fine + "\n}\n"), "(read)");
}

TEST(IrText, NumbersOfAnyDimensionAreWrittenAndReadBackWithoutIt) {
    Library library;
    Cell cell{.name = "c", .source = "c"};
    const Value area{Value::Number{2500, {2, 0}}};
    const Value pin{Value::String{"pin"}};
    cell.params = {{"a", area}};
    cell.attrs = {{"v", Value{Value::List{{Value{Value::Number{8, {3, 0}}}, pin}}}}, {"w", area}};
    cell.markers.push_back({"m", {{0, 0, 0}}, {{"area", area}, {"kind", pin}}});
    library.cells.push_back(cell);
    const std::string text = print(library).value();
    EXPECT_NE(text.find("  param a 2500 # area\n"), std::string::npos) << text;
    EXPECT_NE(text.find("  attr v [8, \"pin\"]\n"), std::string::npos) << text;
    // In the braces the comment would swallow the attributes after it and the closing brace.
    EXPECT_NE(text.find("  marker m (0,0,0deg) {area=2500, kind=\"pin\"}\n"), std::string::npos)
        << text;
    const Library again = parse(text).value();
    const Value plain{Value::Int{2500}};
    const Cell& read = again.cells.at(0);
    EXPECT_EQ(read.params, (std::vector<NamedValue>{{"a", plain}}));
    EXPECT_EQ(read.attrs,
              (std::vector<NamedValue>{{"v", Value{Value::List{{Value{Value::Int{8}}, pin}}}},
                                       {"w", plain}}));
    EXPECT_EQ(read.markers.at(0).attrs, (std::vector<NamedValue>{{"area", plain}, {"kind", pin}}));

    // A whole number beyond the integers reads back as a number, not as an overflowing integer.
    library.cells[0].attrs = {{"v", Value{Value::Number{2.7e19, {3, 0}}}}};
    const std::string huge = print(library).value();
    EXPECT_NE(huge.find("  attr v 27000000000000000000.0 # length^3\n"), std::string::npos) << huge;
    EXPECT_EQ(parse(huge).value().cells.at(0).attrs.at(0).second,
              (Value{Value::Number{2.7e19, {0, 0}}}));
}

TEST(IrText, NumbersThatAreNotFiniteAreRefusedWhenWriting) {
    Library library;
    library.cells.push_back(Cell{.name = "c", .source = "c"});
    // Infinite lengths and angles would read back as names ("infum"), the rest not at all.
    library.cells[0].attrs = {{"w", Value{Value::Number{INFINITY, {1, 0}}}}};
    EXPECT_EQ(print(library).error(), "cannot write cell `c` as IR text: attr `w` holds the number "
                                      "inf, which has no literal");
    library.cells[0].attrs.clear();
    library.cells[0].params = {
        {"p", Value{Value::Named{"xs", {{"at", Value{Value::Point{0, -INFINITY, 0}}}}}}}};
    EXPECT_EQ(print(library).error(),
              "cannot write cell `c` as IR text: param `p` holds the number "
              "-inf, which has no literal");
    library.cells[0].params.clear();
    library.cells[0].markers.push_back({"m", {{0, 0, 90}, {0, 0, NAN}}, {}});
    EXPECT_EQ(print(library).error(), "cannot write cell `c` as IR text: location 1 of marker `m` "
                                      "holds the number NaN, which has no literal");
}

TEST(IrText, NamesThatWouldNotReadBackAreRefused) {
    const auto library_with = [](auto change) {
        Library library;
        library.layers = {{"m1", 1, 0}, {"m2", 2, 0}};
        Cell leaf{.name = "leaf", .source = "leaf"};
        Cell top{.name = "top", .source = "top"};
        top.instances.push_back({"a", 0, 0, 0, 0, false, std::nullopt});
        top.markers.push_back({"pin", {{0, 0, 0}}, {{"kind", Value{Value::String{"x"}}}}});
        top.params.push_back({"w", Value{Value::Int{3}}});
        top.connections.push_back({{"p", "a", 0}, {"q", std::nullopt, 1}, false});
        library.cells = {leaf, top};
        library.tops = {1};
        change(library);
        return print(library);
    };
    const auto refusal = [&](auto change) {
        const auto printed = library_with(change);
        return printed ? std::string("printed") : printed.error();
    };
    // A marker name holding a line feed once added a line of its own to the text.
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].markers[0].name = "m\nbox m1 0 0 9 9"; }),
              "cannot write cell `top` as IR text: marker `m\\x0abox m1 0 0 9 9` would not "
              "read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[0].name = "a b"; }),
              "cannot write cell `a b` as IR text: cell name `a b` would not read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[0].name = ""; }),
              "cannot write cell `` as IR text: cell name `` would not read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].name = "leaf"; }),
              "cannot write cell `leaf` as IR text: another cell has the same name");
    EXPECT_EQ(refusal([](Library& l) { l.layers[1].name = "m1"; }),
              "cannot write layer `m1` as IR text: its name would not read back as this layer");
    EXPECT_EQ(refusal([](Library& l) { l.layers[0].name = "m\u00a0"; }),
              "cannot write layer `m\u00a0` as IR text: its name would not read back as this "
              "layer");
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].connections[0].a.instance = "a.b"; }),
              "cannot write cell `top` as IR text: port `a.b.p[0]` would not read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].params[0].first = "w{"; }),
              "cannot write cell `top` as IR text: param `w{` would not read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].markers[0].attrs[0].first = "a-b"; }),
              "cannot write cell `top` as IR text: attribute `a-b` of marker `pin` would not "
              "read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].source = "x\ty"; }),
              "cannot write cell `top` as IR text: source `x\\x09y` would not read back");
    EXPECT_EQ(refusal([](Library& l) { l.cells[1].instances[0].name = "c\u0085"; }),
              "cannot write cell `top` as IR text: instance `c\\xc2\\x85` would not read back");

    // Names of any other characters, and an empty source, read back as they were written.
    const auto printed = library_with([](Library& l) {
        l.cells[0].name = "caf\u00e9/7.x";
        l.cells[0].source = "";
        l.layers[0].name = "M1:drawing";
    });
    ASSERT_TRUE(printed) << printed.error();
    const auto again = parse(*printed);
    ASSERT_TRUE(again) << again.error().text();
    EXPECT_EQ(print(*again).value(), *printed);
}

TEST(IrText, CycleFindsTheFirstCellMetAgain) {
    std::vector<Cell> cells(3);
    cells[0].instances.push_back({.cell = 1});
    cells[1].instances.push_back({.cell = 2});
    EXPECT_EQ(cycle(cells), std::nullopt);
    cells[2].instances.push_back({.cell = 1});
    EXPECT_EQ(cycle(cells), 1u);
}

TEST(IrText, PortReferences) {
    EXPECT_EQ(parse_port("self.a[0]"), (PortRef{"a", std::nullopt, 0}));
    EXPECT_EQ(parse_port("u1.a.b[2]"), (PortRef{"a.b", "u1", 2}));
    EXPECT_EQ(parse_port("x.p[+7]"), (PortRef{"p", "x", 7}));
    EXPECT_EQ(parse_port(".a[0]"), (PortRef{"a", "", 0}));
    EXPECT_EQ(parse_port("self.[0]"), (PortRef{"", std::nullopt, 0}));
    for (const char* bad : {"a[0]", "self.a[]", "self.a[-1]", "self.a[ 1]", "self.a[1] ", "self.a",
                            "self.a[18446744073709551616]"}) {
        EXPECT_EQ(parse_port(bad), std::nullopt) << bad;
    }
    EXPECT_EQ((PortRef{"a", "self", 0}).text(), "self.a[0]");
    EXPECT_EQ((PortRef{"p", "u", 18446744073709551615ULL}).text(), "u.p[18446744073709551615]");
}

} // namespace

namespace {

// Random libraries within what the format carries faithfully: printing, reading and printing
// again must give the same text and the same library.
class RandomLibrary {
  public:
    explicit RandomLibrary(std::uint32_t seed) : rng_(seed) {}

    Library make() {
        Library library;
        library.dbu = pick(2) ? 1 : 0.25 * static_cast<double>(1 + pick(8));
        for (std::size_t i = 0, n = pick(4); i < n; ++i) {
            library.layers.push_back({"l" + std::to_string(i), int32(), int32()});
        }
        const std::size_t cells = 1 + pick(4);
        for (std::size_t i = 0; i < cells; ++i) {
            library.cells.push_back(cell(library, i));
        }
        for (std::size_t i = 0, n = pick(3); i < n; ++i) {
            library.tops.push_back(pick(cells));
        }
        return library;
    }

  private:
    std::size_t pick(std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_);
    }
    std::int64_t coordinate() { return static_cast<std::int64_t>(rng_()) - (1LL << 31); }
    std::int32_t int32() { return static_cast<std::int32_t>(rng_()); }
    std::string name() {
        return std::string(1, static_cast<char>('a' + pick(26))) + std::to_string(pick(100));
    }

    Value value(int depth) {
        switch (pick(depth > 2 ? 5 : 8)) {
        case 0:
            return Value{Value::Int{coordinate()}};
        case 1:
            return Value{Value::Number{static_cast<double>(1 + pick(9)) * 0.5, {0, 0}}};
        case 2:
            // Whole micrometres and lengths below one read back exactly.
            return Value{Value::Number{
                static_cast<double>(pick(2) ? 1 + pick(999) : 1000 * (1 + pick(5000))), {1, 0}}};
        case 3:
            return Value{Value::String{std::string("a\"\\\t\n\r#{}").substr(pick(9))}};
        case 4:
            return Value{Value::Bool{pick(2) == 1}};
        case 5:
            return Value{Value::Point{1000.0 * static_cast<double>(pick(9)), 7,
                                      static_cast<double>(pick(4) * 45)}};
        case 6: {
            Value::List list;
            for (std::size_t i = 0, n = pick(3); i < n; ++i) {
                list.items.push_back(value(depth + 1));
            }
            return Value{std::move(list)};
        }
        default: {
            Value::Named named{name(), {}};
            for (std::size_t i = 0, n = pick(3); i < n; ++i) {
                named.args.emplace_back(name(), value(depth + 1));
            }
            return Value{std::move(named)};
        }
        }
    }

    std::vector<Point> points() {
        std::vector<Point> list(pick(5));
        for (Point& p : list) {
            p = {coordinate(), coordinate()};
        }
        return list;
    }

    Cell cell(const Library& library, std::size_t index) {
        Cell cell{.name = "c" + std::to_string(index), .source = pick(3) ? name() : ""};
        for (std::size_t i = 0, n = pick(3); i < n; ++i) {
            (pick(2) ? cell.params : cell.attrs).emplace_back(name(), value(0));
        }
        for (std::size_t i = 0, n = library.layers.empty() ? 0 : pick(4); i < n; ++i) {
            const std::uint64_t layer = pick(library.layers.size());
            switch (pick(3)) {
            case 0:
                cell.shapes.push_back(
                    {layer, Geometry{Box{coordinate(), coordinate(), coordinate(), coordinate()}}});
                break;
            case 1:
                cell.shapes.push_back({layer, Geometry{Polygon{points()}}});
                break;
            default:
                cell.shapes.push_back({layer, Geometry{Path{coordinate(), points()}}});
            }
        }
        // Only cells defined earlier are placed, so no cell contains itself.
        for (std::size_t i = 0, n = index == 0 ? 0 : pick(3); i < n; ++i) {
            Instance inst{name(),
                          pick(index),
                          coordinate(),
                          coordinate(),
                          static_cast<double>(pick(8)) * 22.5,
                          pick(2) == 1,
                          std::nullopt};
            if (pick(2)) {
                inst.array = Array{static_cast<std::uint32_t>(1 + pick(5)),
                                   static_cast<std::uint32_t>(1 + pick(5)),
                                   {coordinate(), coordinate()},
                                   {coordinate(), coordinate()}};
            }
            cell.instances.push_back(inst);
        }
        for (std::size_t i = 0, n = pick(3); i < n; ++i) {
            Marker marker{name(), {}, {}};
            for (std::size_t k = 0, m = pick(3); k < m; ++k) {
                marker.locations.push_back(
                    {coordinate(), coordinate(), static_cast<double>(pick(720)) - 360.5});
            }
            for (std::size_t k = 0, m = pick(3); k < m; ++k) {
                marker.attrs.emplace_back(name(), value(0));
            }
            cell.markers.push_back(std::move(marker));
        }
        for (std::size_t i = 0, n = pick(3); i < n; ++i) {
            const auto end = [&]() {
                return PortRef{name(), pick(2) ? std::optional(name()) : std::nullopt, pick(4)};
            };
            cell.connections.push_back({end(), end(), pick(2) == 1});
        }
        if (pick(3) == 0) {
            cell.blackbox = Blackbox{
                {coordinate(), coordinate(), coordinate(), coordinate()}, "sha256:" + name(), ""};
        }
        return cell;
    }

    std::mt19937 rng_;
};

TEST(IrText, PrintAndReadIsAFixedPoint) {
    for (std::uint32_t seed = 0; seed < 300; ++seed) {
        const Library library = RandomLibrary(seed).make();
        const std::string text = print(library).value();
        const auto back = parse(text);
        ASSERT_TRUE(back) << back.error().text() << "\n" << text;
        EXPECT_EQ(*back, library) << text;
        EXPECT_EQ(print(*back).value(), text);
    }
}

} // namespace
