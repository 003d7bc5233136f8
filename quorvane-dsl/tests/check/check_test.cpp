#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/stack.hpp"
#include "check/check.hpp"
#include "lower/lower.hpp"
#include "syntax/parser.hpp"

using namespace quorvane_dsl;

namespace {

struct Result {
    hir::Hir hir;
    check::Checked checked;
};

Result analyze_text(std::string text) {
    load::Loaded loaded;
    const source::FileId file = loaded.files.add("t.qvs", text);
    loaded.sources.emplace_back(file, syntax::parser::parse(text));
    Result result{lower::lower(std::move(loaded)), {}};
    result.checked = check::check(result.hir);
    return result;
}

// The checker's messages in the order of their places, each followed by " @ " and the text it
// points at. Lowering must have found nothing, so that each case tests the checker alone. A
// checker that keeps no expression types must find the same, in the same order, and store the
// same type for every definition and binding.
std::vector<std::string> messages(std::string text) {
    const Result r = analyze_text(text);
    for (const diag::Diagnostic& d : r.hir.diagnostics) {
        ADD_FAILURE() << "lowering: " << d.message;
    }
    const check::Checked untyped = check::check(r.hir, {.expr_types = false});
    EXPECT_EQ(untyped.diagnostics, r.checked.diagnostics);
    EXPECT_TRUE(untyped.types.exprs.empty());
    EXPECT_TRUE(untyped.types.bindings == r.checked.types.bindings);
    EXPECT_TRUE(untyped.types.params == r.checked.types.params);
    EXPECT_TRUE(untyped.types.attrs == r.checked.types.attrs);
    EXPECT_TRUE(untyped.types.consts == r.checked.types.consts);
    EXPECT_TRUE(untyped.types.xs_params == r.checked.types.xs_params);
    EXPECT_EQ(r.checked.types.exprs.size(), r.hir.exprs.size());
    auto diags = r.checked.diagnostics;
    std::ranges::stable_sort(diags, {}, [](const diag::Diagnostic& d) {
        return std::pair{d.src.range.start, d.src.range.end};
    });
    std::vector<std::string> out;
    for (const diag::Diagnostic& d : diags) {
        out.push_back(d.message + " @ " +
                      text.substr(d.src.range.start, d.src.range.end - d.src.range.start));
    }
    return out;
}

using Lines = std::vector<std::string>;

constexpr const char* layers = "define layer { m { gds 1/0 } }\n";

std::string in_cell(const std::string& body) {
    return std::string(layers) + "cell c {\n" + body + "\n}\n";
}

} // namespace

TEST(Check, DefinitionsAndTheirCycles) {
    EXPECT_EQ(messages("define a = b\ndefine b = a\n"),
              Lines{"`a` is defined in terms of itself @ a"});
    EXPECT_EQ(messages("define x: size = 5\ndefine dbu = 1\ndefine DBU = 1\n"),
              (Lines{"`x` is declared size but its value is integer @ 5",
                     "`dbu` must be a size, e.g. `1nm` @ dbu"}));
    EXPECT_EQ(messages("cell k(n = 0, e = [], w = 2um, s = \"a\") { attribute { a a } }"),
              (Lines{"the type of `n` cannot be told from `0`; give a unit (`0um`) or a type "
                     "(`n size = 0`) @ 0",
                     "the type of `e` cannot be told from an empty list; give a type, e.g. "
                     "`e [size] = []` @ []",
                     "attribute `a` is defined in terms of itself @ a"}));
    EXPECT_EQ(messages("cell k(b bool = 2um, w size = 5, s shape, t Shape, u [foo]) { }"),
              (Lines{"expected bool, found size @ 2um",
                     "expected size, found integer; did you mean `5um`? @ 5",
                     "cells cannot take shapes as parameters @ shape",
                     "unknown type `Shape`; expected integer, number, size, angle, string, bool, "
                     "point or xsection @ Shape"}));
    EXPECT_EQ(
        messages(std::string(layers) +
                 "define xsection x(a xsection, b [foo], c foo) {\n m 1um offset 1\n"
                 " with radius = 1um, radius = 2um, bend = \"spline\", p = true, foo = 1, 3\n}\n"),
        (Lines{"cross-section parameters are integers, numbers, sizes, angles, strings, bools, "
               "points or lists of them, not xsection @ a",
               "cross-section parameters are integers, numbers, sizes, angles, strings, bools, "
               "points or lists of them, not [unknown] @ b",
               "unknown type `foo`; expected integer, number, size, angle, string, bool or "
               "point @ foo",
               "an offset is a size or a list of sizes, found integer @ 1",
               "`radius` is given twice @ radius",
               "`bend` must be \"arc\", \"euler\" or \"corner\" @ \"spline\"",
               "`p` must be number, found bool @ true",
               "unknown cross-section property `foo`; properties: type, min_radius, radius, "
               "bend, p, pitch @ foo",
               "cross-section properties need a name: `with min_radius = 5um` @ 3"}));
    EXPECT_EQ(messages("cell k { marker { p { at (0, 0); with angle = 90deg, width = 2, "
                       "color = 3 } } }"),
              Lines{"marker attribute `width` must be size, found integer @ width"});
}

TEST(Check, Expressions) {
    EXPECT_EQ(
        messages("define a = [0, 1um]\ndefine b = [1um, 0]\ndefine c = 2um + 3\n"
                 "define d = \"a\" - \"b\"\ndefine e = 0.5..2\ndefine f = (1um, 2um).z\n"
                 "define g = -true\ndefine h = [1][1um]\ndefine i = 3[0]\n"
                 "define j = 0 + 0 + 7 / 2 * 2um * 3um\n"),
        (Lines{"list elements must share a type: expected integer, found size @ 1um",
               "cannot apply `+` to size and integer; did you mean `3um`? @ 2um + 3",
               "cannot apply `-` to string and string @ \"a\" - \"b\"",
               "cannot apply `..` to number and integer @ 0.5..2",
               "a point has `x`, `y` and `angle`, not `z` @ z", "cannot apply `-` to bool @ -true",
               "expected integer, found size @ 1um", "cannot index integer @ 3"}));
    EXPECT_EQ(messages(in_cell("layer m {\n shape rect with width = 1um, height = 1um as a\n"
                               " shape circle with radius = 1um as b\n"
                               " shape a + 2um as ok\n shape 2um + a as p\n shape a & 2um as q\n"
                               " shape a - b as r\n}\n"
                               "define x = a.top_left + a.foo\ndefine y = self.marker.nope\n")),
              (Lines{"put the shape first: `a + b` combines shapes, `a + 2um` grows or shrinks "
                     "one @ 2um + a",
                     "`&` combines shapes, not shape rect and size @ a & 2um",
                     "`rect` has no anchor `foo`; anchors: origin, center, left_center, "
                     "right_center, top_center, bottom_center, bottom_left, bottom_right, "
                     "top_left, top_right @ foo",
                     "`c` has no marker `nope`; it has no markers @ nope"}));
    EXPECT_EQ(messages(std::string(layers) +
                       "define a = self\n"
                       "define xsection x(w size = 1um) { m w }\n"
                       "define b = x.foo\ndefine c = x.w + x().width + x(2um).pitch\n"),
              (Lines{"`self` is only available inside a cell @ self",
                     "cross-section `x` has no member `foo`; members: width, type, min_radius, "
                     "radius, bend, p, pitch, w @ foo"}));
}

// A cell of many names is looked up through a table: parameters, attributes and markers are
// told apart, reads go both ways, and unknown names and cycles are reported as in a small cell.
TEST(Check, MembersOfALargeCell) {
    std::string params;
    for (int i = 0; i < 10; ++i) {
        params += (i ? ", p" : "p") + std::to_string(i) + " size = 1um";
    }
    const std::string text = std::string(layers) + "cell c(" + params +
                             ") {\n"
                             " attribute { x self.p3 + self.y; y self.marker.m1[0].x\n"
                             " z self.nope; u self.x + x; v self.v; w self.marker.r }\n"
                             " marker { m0 { at (0, 0) }; m1 { at (1um, 0) }; m2 { at (0, 0) } }\n"
                             " layer m { shape rect with width = self.u, height = 1um as r }\n"
                             "}\n"
                             "cell d { place c as i\n define s = i.x + i.p9 + i.r }\n";
    EXPECT_EQ(messages(text),
              (Lines{"`c` has no member `nope`; members: origin, marker, p0, p1, p2, p3, p4, p5, "
                     "p6, p7, p8, p9, x, y, z, u, v, w @ nope",
                     "attribute `v` is defined in terms of itself @ v",
                     "`c` has no marker `r`; markers: m0, m1, m2 @ r",
                     "`c` has no member `r`; members: origin, marker, p0, p1, p2, p3, p4, p5, "
                     "p6, p7, p8, p9, x, y, z, u, v, w @ r"}));
}

TEST(Check, BuiltinCalls) {
    EXPECT_EQ(
        messages(std::string(layers) +
                 "define xsection x(w size = 1um, g size = 1um) { m w }\n"
                 "define a = sqrt(2um * 3um) + sqrt(1um) + sqrt(1, 2)\n"
                 "define b = min(1um, 2deg) + min()\ndefine c = atan2(1um, 2)\n"
                 "define d = sin(90) + sin(0) + pi() + len(3) + pow(2um, n)\n"
                 "define n = 2\ndefine e = x(g = 2um, 1um)\ndefine f = x(1um, 2um, 3um)\n"
                 "define g = x(1um, w = 2um)\ndefine h = x(q = 1um)\n"
                 "define i = sqrt(x = 4)\n"),
        (Lines{"cannot take the square root of size @ 1um", "sqrt takes 1 argument @ sqrt(1, 2)",
               "min arguments must share a dimension: size and angle @ 2deg",
               "min needs at least one argument @ min()",
               "atan2 arguments must share a dimension: size and integer @ atan2(1um, 2)",
               "sin takes an angle, found integer; did you mean `90deg`? @ 90",
               "`pi` is a constant, not a function @ pi",
               "len takes a list or a string, found integer @ 3",
               "the exponent of a quantity with a unit must be an integer literal @ n",
               "positional arguments come before named ones @ 1um",
               "cross-section `x` takes 2 parameters @ 3um", "parameter `w` is given twice @ 2um",
               "cross-section `x` has no parameter `q` @ q",
               "only cross-sections take named arguments @ x"}));
    // The results feed further rules, so their types matter as much as the messages.
    EXPECT_EQ(messages("define a = sqrt(2um * 3um) + pow(2um, 2) / 1um\n"
                       "define b = floor(2.5) + abs(0) + pow(2, 3) + len([]) + sign(2um)\n"
                       "define c = floor(2.5um) + min(1um, 0) + asin(1) / 1deg * 1um\n"
                       "define d: bool = a\ndefine e: bool = b\ndefine f: bool = c\n"),
              (Lines{"`d` is declared bool but its value is size @ a",
                     "`e` is declared bool but its value is integer @ b",
                     "`f` is declared bool but its value is size @ c"}));
}

TEST(Check, Statements) {
    EXPECT_EQ(
        messages(in_cell("param { p size = 1um }\n"
                         "define z = 0\ndefine s: size = 3\ndefine t: size = 0\n"
                         "define l = [1um]\nl.append(2um)\nl.append(true)\n"
                         "for i in 0..3 { i = 2 }\np = 1um\nz = \"a\"\nz = 5\n"
                         "1 + 2\nfor k in 5 { }\nif 1 { }\n"
                         "for q in [(0, 0)] { define u: point = q }\n")),
        (Lines{"expected size, found integer @ 3", "cannot append bool to a list of size @ true",
               "only variables declared with `define` can be assigned @ i",
               "only variables declared with `define` can be assigned @ p",
               "cannot assign string to `z` of type integer @ \"a\"",
               "this expression has no effect @ 1 + 2",
               "`for` needs a list or a range such as `0..n`, found integer @ 5",
               "expected bool, found integer @ 1"}));
    EXPECT_EQ(
        messages(std::string(layers) + "define xsection x(w size = 1um) { m w }\n" +
                 "cell c {\n"
                 " shape rect with width = 1um, height = 1um as r\n"
                 " layer m {\n"
                 "  shape straight with length = 1um, width = x() as s\n"
                 "  shape straight with length = 1um as t\n"
                 "  shape rect with width = 1um, height = 1um as a\n"
                 "  shape rect with width = 1um, height = 1um as b\n"
                 "  shape a + 1um, \"square\" as j1\n"
                 "  shape a | b, \"round\" as j2\n"
                 "  shape 3 as j3\n"
                 " }\n"
                 "}\n"),
        (Lines{"`shape` must be inside a `layer` block, unless its width is a cross-section "
               "@ shape rect with width = 1um, height = 1um as r",
               "a shape drawn with a cross-section gets its layers from it; write it outside "
               "`layer` blocks @ shape straight with length = 1um, width = x() as s",
               "missing `width` for straight(length: size, width: size | xsection) @ shape "
               "straight with length = 1um as t",
               "the join must be \"miter\", \"round\" or \"bevel\" @ \"square\"",
               "a join only applies to growing or shrinking by a distance, as in "
               "`a + 2um, \"round\"` @ \"round\"",
               "expected shapes combined with `+`, `-`, `&`, `|` or `^`, found integer @ 3"}));
}

TEST(Check, Placement) {
    const std::string cells = std::string(layers) +
                              "cell K(width size, length size, a integer = 1) { }\n"
                              "cell L(a integer, b integer) { }\n";
    EXPECT_EQ(
        messages(cells + "cell c {\n"
                         " place K with width = 1um, lenth = 2um, width = 3, 4 at (0, 0)\n"
                         " place L at (0, 0) as l\n"
                         " place l at (0, 0)\n"
                         " place c at (0, 0)\n"
                         " layer m { place K.origin with width = 1um, length = 1um at (0, 0) }\n"
                         " place* K.marker at (0, 0)\n"
                         "}\n"),
        (Lines{"missing parameter `length` of `K` @ place K with width = 1um, lenth = 2um, "
               "width = 3, 4 at (0, 0)",
               "`K` has no parameter `lenth`; did you mean `length`? @ lenth",
               "parameter `width` is given twice @ width",
               "parameter `width` of `K` is size, found integer; did you mean `3um`? @ 3",
               "cell parameters are passed by name: `with name = value` @ 4",
               "missing parameter `a`, `b` of `L` @ place L at (0, 0) as l",
               "instance `l` is already placed; `place` a cell to create a new instance @ l",
               "a cell cannot contain itself @ c",
               "cells are placed outside `layer` blocks @ K.origin",
               "missing parameter `width`, `length` of `K` @ place* K.marker at (0, 0)",
               "`place` needs a shape, a shape anchor, a cell or a cell anchor @ K.marker",
               "`place*` positions auxiliary shapes; cells are placed with `place` @ K.marker"}));
    EXPECT_EQ(messages(in_cell("layer m {\n"
                               " shape rect with width = 1um, height = 1um as a at (0, 0)\n"
                               " shape union with a = a as u\n shape a + 1um as g\n"
                               " clone u as v at (0, 0)\n"
                               "}\n"
                               "place u at (0, 0)\nplace g.center at (0, 0)\n"
                               "define p = (0, 0)\nplace p with x = 1 at (0, 0) as n\n")),
              (Lines{"`u` is the result of `union` and lies where its operands are placed; it "
                     "cannot be placed @ u",
                     "`g` combines other shapes and lies where they are placed; it cannot be "
                     "placed @ g.center",
                     "`with` on `place` gives cell parameters; only cells take them @ place p with "
                     "x = 1 at (0, 0) as n",
                     "`place` needs a shape, a shape anchor, a cell or a cell anchor @ p",
                     "`as` names a new instance; shapes are named by `shape ... as` @ n"}));
}

TEST(Check, PrimitiveArguments) {
    const std::string rect_sig = "rect(width: size, height: size, corner_radius?: size, "
                                 "line_width?: size, segments?: integer)";
    EXPECT_EQ(
        messages(std::string(layers) +
                 "define xsection x { m 1um }\ncell c {\nlayer m {\n"
                 " shape rect with width = 1um, 2um as a\n"
                 " shape rect with 1um, 1um, 0, 0, 8, 9 as b\n"
                 " shape circle with r = 1um as c\n"
                 " shape regular_polygon with sides = 6 as d\n"
                 " shape regular_polygon with sides = 6, radius = 1um, side_length = 1um as e\n"
                 " shape path with points = [(0, 0)], width = 1um, ends = \"butt\" as f\n"
                 " shape union with a = 3 as g\n"
                 " shape difference with a = a as h\n"
                 " shape euler with width = 1um, angle = 90deg, p = 1 as i\n"
                 "}\n"
                 "shape taper with length = 1um, width1 = 1um, width2 = x as j\n"
                 "shape straight with length = 5, width = true as k\n}\n"),
        (Lines{
            "missing `height` for " + rect_sig + " @ shape rect with width = 1um, 2um as a",
            "parameter `width` is given twice @ 2um", "too many arguments for " + rect_sig + " @ 9",
            "missing `radius` for circle(radius: size, segments?: integer, angle?: angle, "
            "start_angle?: angle) @ shape circle with r = 1um as c",
            "`circle` has no parameter `r`; parameters: radius, segments, angle, start_angle @ r",
            "missing `radius` or `side_length` for regular_polygon(sides: integer, radius?: "
            "size, side_length?: size, rotation?: angle, corner_radius?: size, line_width?: "
            "size, segments?: integer) @ shape regular_polygon with sides = 6 as d",
            "give only one of `radius` or `side_length` @ shape regular_polygon with sides = "
            "6, radius = 1um, side_length = 1um as e",
            "`ends` must be one of \"flush\", \"square\", \"round\" @ \"butt\"",
            "expected a shape or a list of shapes, found integer @ 3",
            "missing `b` for difference(a: shape | [shape], b: shape | [shape]) @ shape "
            "difference with a = a as h",
            "missing `radius` or `min_radius` for euler(radius?: size, width: size | xsection, "
            "angle: angle, p?: number, segments?: integer, min_radius?: size) @ shape euler "
            "with width = 1um, angle = 90deg, p = 1 as i",
            "the widths of a taper are both sizes or both cross-sections @ x",
            "expected size, found integer; did you mean `5um`? @ 5",
            "expected a size or a cross-section, found bool @ true"}));
}

// Definitions naming each other in long chains must not deepen the call stack with the chain.
TEST(Check, LongChainsOfDefinitions) {
    constexpr int n = 30000;
    std::string consts;
    std::string attrs = "cell k { attribute {\n";
    std::string cells;
    for (int i = 0; i < n; ++i) {
        consts += "define c" + std::to_string(i) + " = c" + std::to_string(i + 1) + "\n";
        attrs += "a" + std::to_string(i) + " a" + std::to_string(i + 1) + "\n";
        if (i < n / 10) {
            cells += "cell k" + std::to_string(i) + " { attribute { a k" + std::to_string(i + 1) +
                     ".a } }\n";
        }
    }
    consts += "define c" + std::to_string(n) + " = c0\n";
    attrs += "a" + std::to_string(n) + " 1um\n} }\n";
    cells += "cell k" + std::to_string(n / 10) + " { attribute { a 1um } }\n";
    cells += "define total: bool = k0.a\n";
    EXPECT_EQ(messages(consts + attrs + cells),
              (Lines{"`c0` is defined in terms of itself @ c0",
                     "`total` is declared bool but its value is size @ k0.a"}));
}

// The deepest nesting the parser accepts, in every form that nests, checks without trouble.
TEST(Check, DeepNesting) {
    constexpr int depth = 900;
    std::string lists;
    std::string negations;
    std::string sums = "1";
    std::string loops;
    for (int i = 0; i < depth; ++i) {
        lists = "[" + lists + "]";
        negations += "-";
        sums += " + 1";
    }
    for (int i = 0; i < depth / 3; ++i) {
        loops = "for i" + std::to_string(i) + " in 0..2 { " + loops + " }";
    }
    EXPECT_EQ(messages("define a = " + lists + "\ndefine b = " + negations + "1um\ndefine c = " +
                       sums + "\ncell k { " + loops + " }\ndefine d: bool = c\n"),
              Lines{"`d` is declared bool but its value is integer @ c"});
}

namespace {

// Calls `work` with `room` bytes of stack left above what the guards keep back.
template <class F> void with_stack_left(std::size_t room, F&& work) {
    volatile char frame[4096];
    frame[0] = 0;
    if (base::stack_left() > base::stack_reserve + room) {
        with_stack_left(room, work);
    } else {
        work();
    }
    frame[0] = frame[0] + 1;
}

} // namespace

// Where the stack runs low before the parser's nesting limit, each pass of the front end reports
// the first place once and follows it no further, instead of running off the stack.
TEST(Check, NestingBeyondTheStackIsReported) {
    // Well below what any of the texts takes in each pass, wherever the stack happens to start.
    constexpr std::size_t room = std::size_t{16} << 10;
    std::string blocks;
    std::string chain = "if true { }";
    for (int i = 0; i < 300; ++i) {
        blocks = "if true { " + blocks + " }";
        chain += " else if true { }";
    }
    for (const std::string& text : {"define a = " + std::string(900, '-') + "1\n",
                                    std::string(layers) + "cell k { " + blocks + " }\n",
                                    std::string(layers) + "cell k { " + chain + " }\n"}) {
        with_stack_left(room, [&] {
            const syntax::parser::Parse parse = syntax::parser::parse(text);
            ASSERT_FALSE(parse.errors.empty());
            EXPECT_EQ(parse.errors.front().message, "nested too deeply");
        });
        load::Loaded loaded;
        const source::FileId file = loaded.files.add("t.qvs", text);
        loaded.sources.emplace_back(file, syntax::parser::parse(text));
        with_stack_left(room, [&] {
            const hir::Hir lowered = lower::lower(std::move(loaded));
            ASSERT_EQ(lowered.diagnostics.size(), 1u);
            EXPECT_EQ(lowered.diagnostics[0].message, "nested too deeply");
        });
        const Result full = analyze_text(text);
        ASSERT_TRUE(full.checked.diagnostics.empty());
        with_stack_left(room, [&] {
            const check::Checked checked = check::check(full.hir);
            ASSERT_EQ(checked.diagnostics.size(), 1u);
            EXPECT_EQ(checked.diagnostics[0].message,
                      "checking nests too deeply (are brackets or blocks nested too far?)");
        });
    }
}
