#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analyse.hpp"
#include "analysis.hpp"
#include "base/stack.hpp"
#include "eval/eval.hpp"
#include "eval/evaluator.hpp"
#include "eval/variant_name.hpp"
#include "lvs/findings.hpp"
#include "lvs/ports.hpp"

using namespace quorvane_dsl;
using namespace quorvane_dsl::eval;

namespace {

std::vector<std::string> messages(const std::vector<diag::Diagnostic>& diagnostics) {
    std::vector<std::string> result;
    for (const auto& d : diagnostics) {
        result.push_back(d.message);
    }
    return result;
}

std::vector<ArgValue> with(std::string name, Value value) {
    return {ArgValue{std::move(name), std::move(value), {}}};
}

} // namespace

TEST(Evaluate, VariantsShareCellsByKeyAndHashTheirNames) {
    const Analysis a = analyse("define layer { m { gds 1/0 } }\n"
                               "cell pad(w size = 2um, n = 3) { attribute { twice 2 * w } }\n"
                               "cell fixed(w size) { }\n");
    Evaluator ev(a);
    const hir::CellId pad = *a.hir.cell_by_name("pad");
    const auto plain = ev.instantiate(pad, {}, {});
    ASSERT_TRUE(plain.has_value());
    // Equal to the defaults after snapping to the grid: the same cell under its plain name.
    EXPECT_EQ(ev.instantiate(pad, with("w", Value::size(2000.4)), {}), plain);
    const auto other = ev.instantiate(pad, with("w", Value::size(3000)), {});
    ASSERT_TRUE(other.has_value());
    EXPECT_NE(*other, *plain);
    EXPECT_EQ(ev.lib.cells[*plain].name, "pad");
    EXPECT_EQ(ev.lib.cells[*other].name, variant_name("pad", "n=3;w=3um"));
    // Without defaults every variant is hashed, even the only one.
    const auto fixed = ev.instantiate(*a.hir.cell_by_name("fixed"), with("w", Value::size(1)), {});
    ASSERT_TRUE(fixed.has_value());
    EXPECT_EQ(ev.lib.cells[*fixed].name, variant_name("fixed", "w=1nm"));
    EXPECT_EQ(ev.lib.cells.size(), 3u);
    EXPECT_TRUE(ev.diagnostics.empty());
}

// A constant that fails while only the default key is computed must still report its error
// where the variant really uses it.
TEST(Evaluate, FailuresInsideDiscardedComputationsAreReportedOnNextUse) {
    const Analysis a = analyse("define bad = 1um / 0\n"
                               "cell pad(w = bad) { attribute { uses bad } }\n");
    Evaluator ev(a);
    const auto built = ev.instantiate(*a.hir.cell_by_name("pad"), with("w", Value::size(2)), {});
    EXPECT_FALSE(built.has_value());
    EXPECT_EQ(messages(ev.diagnostics), std::vector<std::string>{"division by zero"});
}

// The limit itself (one report, then everything stops) is the golden case check/source_loop_limit.
TEST(Evaluate, EveryStatementAndExpressionIsAStep) {
    const Analysis a = analyse("cell ten { for i in 0..10 { define a = 1\n define b = 2\n"
                               "define c = 3 } }\n");
    Evaluator ev(a);
    ASSERT_TRUE(ev.instantiate(*a.hir.cell_by_name("ten"), {}, {}).has_value());
    // The loop and its range (3 expressions), then 10 iterations of 3 statements with one literal
    // each.
    EXPECT_EQ(ev.steps, 1u + 3 + 10 + 30 + 30);
}

// In a cell of many attributes each one reads the next by `self` or by its plain name, and the
// last reads a parameter.
TEST(Evaluate, AttributesOfALargeCellReadEachOther) {
    constexpr int count = 40;
    std::string text = "cell top(n integer = 5) {\n attribute {\n";
    for (int i = 0; i < count - 1; ++i) {
        const std::string next = (i % 2 ? "a" : "self.a") + std::to_string(i + 1);
        text += "  a" + std::to_string(i) + " " + next + " + 1\n";
    }
    text += "  a" + std::to_string(count - 1) + " self.n\n }\n}\n";
    const auto result = evaluate(analyse(text), {});
    ASSERT_TRUE(result.library.has_value());
    const auto& attrs = result.library->cells.at(0).attrs;
    ASSERT_EQ(attrs.size(), std::size_t{count});
    for (int i = 0; i < count; ++i) {
        EXPECT_EQ(attrs[i].second, ir::Value{ir::Value::Int{5 + count - 1 - i}}) << i;
    }
}

// Chains of definitions and hierarchies are as long as the input makes them and are followed by
// recursion: on the work stack they evaluate, on a small stack they end in the depth error, never
// in a stack overflow. Operator chains are no nesting at all.
TEST(Evaluate, DeepChainsEvaluateOnTheWorkStackAndStopOnASmallOne) {
    const auto constants = [](std::uint32_t count) {
        std::string text = "define c0 = 1\n";
        for (std::uint32_t i = 1; i < count; ++i) {
            text += "define c" + std::to_string(i) + " = c" + std::to_string(i - 1) + " + 1\n";
        }
        return text + "cell top { attribute { v c" + std::to_string(count - 1) + " } }\n";
    };
    const auto attribute = [](const EvalResult& result) {
        return result.library ? std::optional(result.library->cells.back().attrs.at(0).second)
                              : std::nullopt;
    };
    ASSERT_TRUE(base::run_on_work_stack([&] {
        EXPECT_EQ(attribute(evaluate(analyse(constants(1000)), {})),
                  ir::Value{ir::Value::Int{1000}});
        std::string cells = "define layer { m { gds 1/0 } }\ncell c1249 { layer m { shape rect "
                            "with width = 1um, height = 1um as r at (0, 0) } }\n";
        for (int i = 1248; i >= 0; --i) {
            cells += "cell c" + std::to_string(i) + " { place c" + std::to_string(i + 1) +
                     " at (0, 0) }\n";
        }
        const auto hierarchy = evaluate(analyse(cells), {});
        ASSERT_TRUE(hierarchy.library.has_value());
        EXPECT_EQ(hierarchy.library->cells.size(), 1250u);
    }));
    std::string sum = "define s = 0";
    for (int i = 0; i < 100'000; ++i) {
        sum += " + 1";
    }
    const std::string logic = "define l = false && 1 / 0 == 1 || true && 2 > 1\n";
    const auto summed =
        evaluate(analyse(sum + "\n" + logic + "cell top { attribute { v s\n w l } }\n"), {});
    ASSERT_TRUE(summed.library.has_value());
    EXPECT_EQ(summed.library->cells[0].attrs.at(0).second, ir::Value{ir::Value::Int{100'000}});
    EXPECT_EQ(summed.library->cells[0].attrs.at(1).second, ir::Value{ir::Value::Bool{true}});
    const auto result = evaluate(analyse(constants(20'000)), {});
    EXPECT_FALSE(result.library.has_value());
    ASSERT_EQ(result.diagnostics.size(), 1u);
    EXPECT_TRUE(result.diagnostics[0].message.starts_with("evaluation nests too deeply"));
    // Every operand of a chain of shapes resolves one level deeper: on a small stack that ends in
    // a layout or in the depth error, never in a crash.
    std::string shapes = "define layer { m { gds 1/0 } }\ncell top { layer m { shape rect with "
                         "width = 1um, height = 1um as r at (0, 0)\nshape r";
    for (int i = 0; i < 5000; ++i) {
        shapes += " | r";
    }
    const auto merged = evaluate(analyse(shapes + " as u } }\n"), {});
    EXPECT_TRUE(merged.library.has_value() ||
                merged.diagnostics.at(0).message.starts_with("evaluation nests too deeply"));
}

// Copies of a list share their elements until one of them changes.
TEST(Evaluate, ListCopiesStayIndependentAndNestingIsBounded) {
    const auto result = evaluate(analyse(R"(cell top {
    define a = [1]
    define b = a
    b.append(2)
    define c = [a, b]
    a.append(3)
    if len(a) != 2 || len(b) != 2 || len(c[0]) != 1 || c[1][1] != 2 { define broken = 1 / 0 }
    define x = []
    for i in 0..300 { x = [x, x] }
    define y = []
    for i in 0..300 { y.append(y) }
})"),
                                 {});
    // Once per place, however many iterations go past the limit.
    EXPECT_EQ(messages(result.diagnostics),
              std::vector<std::string>(2, "lists nest more than 200 levels deep"));
    // A second variant meeting the place again reports nothing new, but is refused all the same:
    // its instance never exists, so nothing reads its attribute.
    const auto variants = evaluate(analyse(R"(cell c(n integer = 0) {
    define x = []
    for i in 0..n { x = [x] }
    attribute { depth n }
}
cell top {
    place c with n = 201 at (0, 0) as first
    place c with n = 202 at (0, 0) as second
    define broken = 1 / (second.depth - 202)
})"),
                                   {});
    EXPECT_EQ(messages(variants.diagnostics),
              std::vector<std::string>{"lists nest more than 200 levels deep"});
}

// Appending extends a list in place while it ends where its elements end, and never changes the
// other lists that share them, nor makes a list hold itself.
TEST(Evaluate, AppendsNeverReachOtherCopies) {
    const auto result = evaluate(analyse(R"(cell top {
    define x = []
    x.append(x)
    define y = []
    y.append([y])
    define a = [[1]]
    define b = a
    b.append([2])
    a.append([3])
    for v in b { b.append(v) }
    if len(x) != 1 || len(x[0]) != 0 || len(y) != 1 || len(a) != 2 || a[1][0] != 3 ||
       len(b) != 4 || b[3][0] != 2 {
        define broken = 1 / 0
    }
})"),
                                 {});
    EXPECT_TRUE(result.diagnostics.empty());
}

TEST(Evaluate, TopsDbuAndLayers) {
    const Analysis a = analyse("define layer { m { gds 1/0 } }\n"
                               "define dbu = 0.25nm\n"
                               "cell a { }\ncell b { }\n");
    const auto named = evaluate(a, {{"b", "b", "a"}});
    ASSERT_TRUE(named.library.has_value());
    EXPECT_EQ(named.library->dbu, 0.25);
    ASSERT_EQ(named.library->layers.size(), 1u);
    EXPECT_EQ(named.library->tops.size(), 2u);
    EXPECT_EQ(named.library->cells[named.library->tops[0]].name, "b");
    const auto missing = evaluate(a, {{"nope", "a"}});
    EXPECT_FALSE(missing.library.has_value());
    EXPECT_EQ(messages(missing.diagnostics), std::vector<std::string>{"no cell named `nope`"});
    const auto defaults = evaluate(a, {});
    ASSERT_TRUE(defaults.library.has_value());
    EXPECT_EQ(defaults.library->tops.size(), 2u);

    const auto bad = evaluate(analyse("define dbu = -1nm\n"), {});
    EXPECT_FALSE(bad.library.has_value());
    EXPECT_EQ(messages(bad.diagnostics), std::vector<std::string>{"`dbu` must be a positive size"});
    const auto infinite = evaluate(analyse("define dbu = 1" + std::string(400, '0') + "nm\n"), {});
    EXPECT_FALSE(infinite.library.has_value());
    EXPECT_EQ(messages(infinite.diagnostics),
              std::vector<std::string>{"`dbu` must be a positive size"});
    const auto empty = evaluate(analyse("define x = 1\n"), {});
    ASSERT_TRUE(empty.library.has_value());
    EXPECT_TRUE(empty.library->cells.empty());
}

// The waveguide example is where designers first meet ports: every one of them, the route's own
// included, tells which cross-section it carries, and the chain joins only matching ports.
TEST(Evaluate, ExampleWaveguidePortsCarryTheirCrossSections) {
    const auto analysis = analyze(std::string(QV_TEST_DATA) + "/../../examples/waveguides.qvs");
    ASSERT_TRUE(analysis.has_value());
    const auto result = evaluate(*analysis, {});
    ASSERT_TRUE(result.library.has_value());
    for (const ir::Cell& cell : result.library->cells) {
        ASSERT_FALSE(cell.markers.empty()) << cell.name;
        for (const ir::Marker& marker : cell.markers) {
            const lvs::PortAttrs attrs = lvs::attrs_of(marker.attrs);
            EXPECT_TRUE(attrs.xsection && attrs.xsection->starts_with("rib")) << cell.name;
            EXPECT_TRUE(attrs.width) << cell.name;
            EXPECT_EQ(attrs.type, "rib") << cell.name;
        }
    }
    EXPECT_TRUE(lvs::findings(*result.library).empty());
}

// Keeping no library changes no diagnostic: every source of the command-line cases, the fuzzing
// corpus and the examples (errors of geometry, markers and members of placed children among
// them) reports the same in both modes, and a library is handed back only when one is kept.
TEST(Evaluate, DiagnosticsAloneAreTheSameAsWithTheLibrary) {
    const std::filesystem::path root = std::filesystem::path(QV_TEST_DATA) / "../..";
    std::size_t compared = 0;
    std::size_t failing = 0;
    for (const char* dir : {"quorvane-cli/tests/cases", "fuzz/corpus", "examples"}) {
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root / dir)) {
            if (entry.path().extension() != ".qvs") {
                continue;
            }
            const auto analysis = analyze(entry.path().string());
            if (!analysis || std::ranges::any_of(analysis->hir.diagnostics, [](const auto& d) {
                    return d.severity == diag::Severity::Error;
                })) {
                continue;
            }
            ASSERT_TRUE(base::run_on_work_stack([&] {
                const EvalResult kept = evaluate(*analysis, {});
                const EvalResult alone = evaluate(*analysis, {.keep_library = false});
                EXPECT_EQ(kept.diagnostics, alone.diagnostics) << entry.path();
                EXPECT_FALSE(alone.library.has_value()) << entry.path();
                failing += kept.library ? 0 : 1;
            }));
            ++compared;
        }
    }
    EXPECT_GT(compared, 80u);
    EXPECT_GT(failing, 10u);
}

// Without a library a cell that no `place` names keeps nothing once built, and every mode reports
// the same: such a top whose attribute cannot be stored, a top named twice, and a placed cell
// built first as a top and then found again by the cell placing it.
TEST(Evaluate, CellsNothingPlacesKeepNothingWithoutALibrary) {
    const Analysis a =
        analyse("define layer { m { gds 1/0 } }\n"
                "cell leaf(w size = 1um) {\n"
                "    layer m { shape rect with width = w, height = 1um as r at (0, 0) }\n"
                "    attribute { outline r }\n"
                "}\n"
                "cell pad { marker { p { at (0, 0, 0deg) } } }\n"
                "cell top {\n"
                "    place pad at (0, 0) as i\n"
                "    place pad.marker.p[0] at i.marker.p[0]\n"
                "}\n");
    const std::vector<std::vector<std::string>> tops{{}, {"leaf", "leaf"}, {"pad", "top"}};
    for (const auto& named : tops) {
        const EvalResult kept = evaluate(a, {.tops = named});
        const EvalResult alone = evaluate(a, {.tops = named, .keep_library = false});
        EXPECT_EQ(kept.diagnostics, alone.diagnostics);
        EXPECT_EQ(messages(alone.diagnostics),
                  named.size() == 2 && named[0] == "pad"
                      ? std::vector<std::string>{}
                      : std::vector<std::string>{"a shape cannot be stored as a value"});
    }
}
