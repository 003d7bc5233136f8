#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lower/lower.hpp"
#include "syntax/parser.hpp"

namespace quorvane_dsl::lower {
namespace {

using hir::Expr;
using hir::Res;
using hir::Stmt;

hir::Hir lower_sources(const std::vector<std::string>& texts) {
    load::Loaded loaded;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const source::FileId file = loaded.files.add("f" + std::to_string(i) + ".qvs", texts[i]);
        loaded.sources.emplace_back(file, syntax::parser::parse(texts[i]));
    }
    return lower(std::move(loaded));
}

hir::Hir lower_text(const std::string& text) {
    return lower_sources({text});
}

std::vector<std::string> messages(const hir::Hir& hir) {
    std::vector<std::string> result;
    for (const auto& diagnostic : hir.diagnostics) {
        result.push_back(diagnostic.message);
    }
    return result;
}

const hir::CellDef& cell(const hir::Hir& hir, std::string_view name) {
    return hir.cells[*hir.cell_by_name(name)];
}

template <class T> const T& stmt_as(const hir::Hir& hir, hir::StmtId id) {
    return std::get<T>(hir.stmt(id).kind);
}

template <class T> const T& expr_as(const hir::Hir& hir, hir::ExprId id) {
    return std::get<T>(hir.expr(id).kind);
}

// The binding a name expression resolves to.
const hir::Binding& local_of(const hir::Hir& hir, hir::ExprId id) {
    return hir.bindings[*expr_as<Expr::Name>(hir, id).res.local()];
}

TEST(Lower, StatementsComeAfterTheirNestedStatementsAndKeepTheirOrder) {
    const hir::Hir hir = lower_text(R"(define layer { m1 { gds 1/0 } }
cell c {
    if true { define a = 1 } else if false { define b = 2 } else { define d = 3 }
    for i in 0..3 { define e = i }
    layer m1 { shape rect with width = 1um as r }
})");
    EXPECT_TRUE(hir.diagnostics.empty()) << messages(hir)[0];
    const auto body = hir.body(cell(hir, "c").body);
    ASSERT_EQ(body.size(), 3u);
    const auto& outer = stmt_as<Stmt::If>(hir, body[0]);
    ASSERT_EQ(hir.body(outer.else_body).size(), 1u);
    const auto& inner = stmt_as<Stmt::If>(hir, hir.body(outer.else_body)[0]);
    EXPECT_EQ(hir.body(inner.else_body).size(), 1u);
    EXPECT_LT(hir.body(outer.else_body)[0], body[0]);
    EXPECT_LT(hir.body(inner.then_body)[0], hir.body(outer.else_body)[0]);
    const auto& loop = stmt_as<Stmt::For>(hir, body[1]);
    EXPECT_EQ(hir.bindings[loop.binding].kind, hir::BindingKind::ForVar);
    // The loop body reads the loop variable.
    const auto& define = stmt_as<Stmt::Define>(hir, hir.body(loop.body)[0]);
    EXPECT_EQ(hir.text(local_of(hir, define.value).name), "i");
    const auto& block = stmt_as<Stmt::LayerBlock>(hir, body[2]);
    const auto& shape = stmt_as<Stmt::Shape>(hir, hir.body(block.body)[0]);
    EXPECT_EQ(shape.primitive, hir::Primitive::Rect);
    EXPECT_EQ(shape.layer, block.layer);
    EXPECT_TRUE(shape.in_layer);
    ASSERT_EQ(shape.args.count, 1u);
    EXPECT_EQ(hir.text(hir.args_of(shape.args)[0].name->name), "width");
    EXPECT_EQ(hir.stmt_srcs.size(), hir.stmts.size());
}

TEST(Lower, ScopesBindingsAndPreboundNames) {
    const hir::Hir hir = lower_text(R"(cell c(x = 1) {
    define x = x + 1
    define y = x
    for i in 0..2 { place c at (0, 0) as inner; define z = inner }
    define after = i
    place c at (0, 0) as top
    define t = top
})");
    const auto& c = cell(hir, "c");
    const auto& first = stmt_as<Stmt::Define>(hir, hir.body(c.body)[0]);
    // The value is lowered before its own binding exists: it reads the parameter.
    const auto& sum = expr_as<Expr::Binary>(hir, first.value);
    EXPECT_EQ(expr_as<Expr::Name>(hir, sum.lhs).res, (Res{Res::Param{*hir.cell_by_name("c"), 0}}));
    EXPECT_EQ(hir.bindings[first.binding].kind, hir::BindingKind::Define);
    const auto& second = stmt_as<Stmt::Define>(hir, hir.body(c.body)[1]);
    EXPECT_EQ(*expr_as<Expr::Name>(hir, second.value).res.local(), first.binding);

    // An `as` name inside a loop is a new binding visible from the next statement on.
    const auto& loop = stmt_as<Stmt::For>(hir, hir.body(c.body)[2]);
    const auto& inner = stmt_as<Stmt::Place>(hir, hir.body(loop.body)[0]);
    EXPECT_EQ(*expr_as<Expr::Name>(hir, stmt_as<Stmt::Define>(hir, hir.body(loop.body)[1]).value)
                   .res.local(),
              *inner.name);
    EXPECT_FALSE(hir.bindings[*inner.name].recorded);
    EXPECT_EQ(messages(hir), std::vector<std::string>{"unknown name `i`"});

    // A cell-level `as` name is pre-bound, recorded once, and visible everywhere in the cell.
    const auto& top = stmt_as<Stmt::Place>(hir, hir.body(c.body)[4]);
    EXPECT_TRUE(hir.bindings[*top.name].recorded);
    EXPECT_EQ(hir.bindings[*top.name].kind, hir::BindingKind::Instance);
    const auto names = hir.names_of(c.names);
    const auto named_top = std::ranges::find_if(
        names, [&](const hir::CellName& name) { return hir.text(name.name) == "top"; });
    ASSERT_NE(named_top, names.end());
    EXPECT_EQ(named_top->res, (Res{Res::Local{*top.name}}));
    std::size_t declarations = 0;
    for (const auto& occurrence : hir.occurrences) {
        declarations += occurrence.declaration && occurrence.res == Res{Res::Local{*top.name}};
    }
    EXPECT_EQ(declarations, 1u);
}

TEST(Lower, PlaceStarAndShapePlacements) {
    const hir::Hir hir = lower_text(R"(define layer { m1 { gds 1/0 } }
cell c {
    place* { c at (0, 0); place c at (1, 1) }
    place { c at (0, 0) rotate 90deg rotate 180deg mirror }
    define r = 1
    layer m1 {
        shape rect with width = 1um as r.left at (0, 0) rotate 90deg
        clone r as s at (5, 5)
    }
})");
    // An ordinary use of `r` finds the define, which hides the cell-level shape name.
    EXPECT_EQ(messages(hir), std::vector<std::string>{"`r` is not a shape"});
    const auto body = hir.body(cell(hir, "c").body);
    const auto& starred = stmt_as<Stmt::PlaceBlock>(hir, body[0]);
    ASSERT_EQ(hir.body(starred.body).size(), 2u);
    EXPECT_TRUE(stmt_as<Stmt::Place>(hir, hir.body(starred.body)[0]).star);
    EXPECT_TRUE(stmt_as<Stmt::Place>(hir, hir.body(starred.body)[1]).star);
    const auto& plain =
        stmt_as<Stmt::Place>(hir, hir.body(stmt_as<Stmt::PlaceBlock>(hir, body[1]).body)[0]);
    EXPECT_FALSE(plain.star);
    EXPECT_TRUE(plain.mirror);
    ASSERT_TRUE(plain.rotate);
    EXPECT_EQ(expr_as<Expr::Number>(hir, *plain.rotate).value(), 180);

    const auto& block = stmt_as<Stmt::LayerBlock>(hir, body[3]);
    ASSERT_EQ(hir.body(block.body).size(), 4u);
    const auto& shape = stmt_as<Stmt::Shape>(hir, hir.body(block.body)[0]);
    const auto& tail = stmt_as<Stmt::Place>(hir, hir.body(block.body)[1]);
    // The tail places the shape itself, although `r` also names the earlier define.
    const auto& anchor = expr_as<Expr::Field>(hir, tail.target);
    EXPECT_EQ(hir.text(anchor.name), "left");
    EXPECT_EQ(*expr_as<Expr::Name>(hir, anchor.base).res.local(), shape.binding);
    EXPECT_EQ(tail.args.count, 0u);
    EXPECT_FALSE(tail.name);
    EXPECT_TRUE(tail.in_layer);
    ASSERT_TRUE(tail.rotate);
    const auto& clone = stmt_as<Stmt::Clone>(hir, hir.body(block.body)[2]);
    EXPECT_EQ(*clone.source.local(), stmt_as<Stmt::Define>(hir, body[2]).binding);
    EXPECT_EQ(*expr_as<Expr::Name>(hir, stmt_as<Stmt::Place>(hir, hir.body(block.body)[3]).target)
                   .res.local(),
              clone.binding);
}

TEST(Lower, ExpressionsAndLiterals) {
    const hir::Hir hir = lower_text(R"(define a = (1 + 2) * 3
define b = [500nm, 2.5um, 90deg, 3µm, 9007199254740993, 1.0, -9223372036854775807]
define c = f(1, w = 2).x[0]
define d = (1, 2, 45deg)
define e = 99999999999999999999
define g = 5xm + 5xyz
define min = 1
define h = min + pi)");
    const auto value = [&](std::string_view name) {
        return hir.consts[hir::ConstId{hir.globals.at(std::string(name)).index}].value;
    };
    const auto& product = expr_as<Expr::Binary>(hir, value("a"));
    EXPECT_EQ(product.op, hir::BinOp::Mul);
    // Parentheses make no expression: the sum's place is inside them.
    EXPECT_EQ(hir.expr_src(product.lhs).range, (source::TextRange{12, 17}));
    EXPECT_LT(product.lhs, value("a"));

    const auto list = hir.elements(expr_as<Expr::List>(hir, value("b")).elements);
    ASSERT_EQ(list.size(), 7u);
    const auto number = [&](std::size_t i) { return expr_as<Expr::Number>(hir, list[i]); };
    EXPECT_EQ(number(0), Expr::Number::of(500, units::Unit::Nanometre, true));
    EXPECT_EQ(number(1), Expr::Number::of(2.5, units::Unit::Micrometre, false));
    EXPECT_EQ(number(2), Expr::Number::of(90, units::Unit::Degree, true));
    EXPECT_EQ(number(3).unit, units::Unit::Micrometre);
    EXPECT_EQ(number(4).exact(), 9007199254740993);
    EXPECT_EQ(number(4).value(), 9007199254740992.0);
    EXPECT_EQ(number(5), Expr::Number::of(1.0, std::nullopt, false));
    EXPECT_EQ(expr_as<Expr::Prefix>(hir, list[6]).op, hir::PrefixOp::Neg);

    const auto& index = expr_as<Expr::Index>(hir, value("c"));
    const auto& field = expr_as<Expr::Field>(hir, index.base);
    const auto& call = expr_as<Expr::Call>(hir, field.base);
    const auto args = hir.args_of(call.args);
    ASSERT_EQ(args.size(), 2u);
    EXPECT_FALSE(args[0].name);
    EXPECT_EQ(hir.text(args[1].name->name), "w");
    EXPECT_TRUE(expr_as<Expr::Point>(hir, value("d")).angle);

    EXPECT_TRUE(std::holds_alternative<Expr::Missing>(hir.expr(value("e")).kind));
    const auto& sum = expr_as<Expr::Binary>(hir, value("h"));
    EXPECT_EQ(expr_as<Expr::Name>(hir, sum.lhs).res, (Res{Res::Const{hir::ConstId{6}}}));
    EXPECT_EQ(expr_as<Expr::Name>(hir, sum.rhs).res, (Res{Res::Builtin{hir::Builtin::Pi}}));
    EXPECT_EQ(messages(hir), (std::vector<std::string>{
                                 "unknown name `f`",
                                 "integer literal `99999999999999999999` does not fit in 64 bits",
                                 "unknown unit `xm`; did you mean `nm`?",
                                 "unknown unit `xyz`; known units: nm, um, mm, deg, rad",
                             }));
}

TEST(Lower, NameResolutionMessages) {
    const hir::Hir hir = lower_text(R"(define layer { metal1 { gds 1/0 } }
cell c(width size, cat = 1, cut = 2) {
    attribute { a widt; b widht; k cnt; v body }
    define body = 1
    layer metl1 { }
    layer c { }
    clone body as copy
    shape rect as c2
    shape c2 with width = 1 as c3
})");
    EXPECT_EQ(messages(hir),
              (std::vector<std::string>{
                  "unknown name `widt`; did you mean `width`?",
                  "unknown name `widht`",
                  "unknown name `cnt`; did you mean `cat`?",
                  "`body` is a variable of the cell body, which `param`, `attribute` and `marker` "
                  "cannot see; define it as an attribute to use it here",
                  "unknown layer `metl1`; did you mean `metal1`?",
                  "`c` is not a layer",
                  "`body` is not a shape",
                  "`c2` is a shape, not a primitive, so `with` does not apply; write an expression "
                  "such as `c2 + 1um`",
              }));
}

// Hints come from the open scopes and the globals alike, but only for the errors a file can
// show: past the hundredth error of a file an unknown name's message has none.
TEST(Lower, HintsOnlyForErrorsThatCanBeShown) {
    std::string text = "define spacing = 1\ncell c {\n    for index in 0..2 { define x = indx }\n";
    for (int i = 0; i < 101; ++i) {
        text += "    define y" + std::to_string(i) + " = spacng\n";
    }
    const hir::Hir hir = lower_sources({text + "}\n", "define z = spacng\n"});
    const std::vector<std::string> found = messages(hir);
    // Constants are lowered before cells: the second file's error comes first.
    ASSERT_EQ(found.size(), 103u);
    EXPECT_EQ(found[0], "unknown name `spacng`; did you mean `spacing`?");
    EXPECT_EQ(found[1], "unknown name `indx`; did you mean `index`?");
    EXPECT_EQ(found[100], "unknown name `spacng`; did you mean `spacing`?");
    EXPECT_EQ(found[101], "unknown name `spacng`");
    EXPECT_EQ(found[102], "unknown name `spacng`");
}

TEST(Lower, GlobalsAcrossFilesAndRepeats) {
    const hir::Hir hir = lower_sources(
        {"define k = later\ndefine a = 1\ndefine a = nothing\n", "cell later { }\ncell a { }\n"});
    // The constant sees a cell of a file lowered after it; a repeat is never lowered.
    EXPECT_EQ(expr_as<Expr::Name>(hir, hir.consts[hir::ConstId{0}].value).res,
              (Res{Res::Cell{*hir.cell_by_name("later")}}));
    ASSERT_EQ(hir.diagnostics.size(), 2u);
    EXPECT_EQ(hir.diagnostics[0].message, "`a` is already defined");
    EXPECT_EQ(hir.diagnostics[1].src.file, source::FileId{1});
    ASSERT_EQ(hir.diagnostics[1].notes.size(), 1u);
    EXPECT_EQ(hir.diagnostics[1].notes[0].src.file, source::FileId{0});
    EXPECT_EQ(hir.cells.size(), 2u);
    EXPECT_EQ(hir.globals.at("a").kind, hir::Global::Kind::Const);
}

// Lowering gives back the storage of a tree that it alone holds as it passes through it, and keeps
// a tree held elsewhere whole; neither that nor leaving the occurrences out changes the rest.
TEST(Lower, ReleasedTreesAndLeftOutOccurrences) {
    std::string text = "define layer { m1 { gds 1/0 } }\ndefine spacing = 1\n";
    for (int i = 0; i < 500; ++i) {
        const std::string n = std::to_string(i);
        text += "cell c" + n + "(w = 1) {\n    define a = w + spacng * " + n +
                "\n    layer m1 { shape rect with width = a, height = 1 as r at (0, 0) }\n}\n";
    }
    const auto lowered = [&](bool shared, Options options) {
        load::Loaded loaded;
        const source::FileId file = loaded.files.add("f.qvs", text);
        loaded.sources.emplace_back(file, syntax::parser::parse(text));
        const std::shared_ptr<const syntax::Tree> elsewhere =
            shared ? loaded.sources[0].second.green : nullptr;
        return lower(std::move(loaded), options);
    };
    const hir::Hir kept = lowered(true, {});
    const hir::Hir released = lowered(false, {});
    const hir::Hir lean = lowered(false, {.occurrences = false});
    for (const hir::Hir* hir : {&released, &lean}) {
        EXPECT_EQ(hir->diagnostics, kept.diagnostics);
        EXPECT_EQ(hir->expr_ranges, kept.expr_ranges);
        EXPECT_EQ(hir->stmt_srcs, kept.stmt_srcs);
        EXPECT_EQ(hir->files.files[0].text, text);
    }
    EXPECT_EQ(kept.diagnostics.size(), 500u);
    EXPECT_EQ(released.occurrences.size(), kept.occurrences.size());
    EXPECT_GT(kept.occurrences.size(), 2000u);
    EXPECT_TRUE(lean.occurrences.empty());
}

// Top cells of an IR file become cells; names source cannot write stay invisible.
TEST(Lower, ImportedIrCells) {
    ir::Library library;
    const auto top = [&](std::string name) {
        library.cells.push_back(ir::Cell{.name = std::move(name)});
        library.tops.push_back(library.cells.size() - 1);
        return &library.cells.back();
    };
    ir::Cell* pad = top("pad");
    pad->params.emplace_back("width", ir::Value{ir::Value::Point{1, 2, 90}});
    pad->attrs.emplace_back("width", ir::Value{ir::Value::Int{7}});
    pad->attrs.emplace_back(
        "bend", ir::Value{ir::Value::Named{"wg", {{"w", ir::Value{ir::Value::Int{1}}}}}});
    pad->attrs.emplace_back("odd-name", ir::Value{ir::Value::Bool{true}});
    pad->markers = {{.name = "port"}, {.name = "port"}, {.name = "width"}};
    top("self");
    top("my-cell");
    top("café");
    library.cells.push_back(ir::Cell{.name = "child"});

    load::Loaded loaded;
    const std::string text =
        "import \"x.qvir\"\ndefine layer { si { gds 1/0 } }\ndefine xsection wg(w = 1) { si w }\n";
    const source::FileId root = loaded.files.add("main.qvs", text);
    const source::FileId ir_file = loaded.files.add("x.qvir", "");
    loaded.sources.emplace_back(root, syntax::parser::parse(text));
    loaded.ir_files.push_back({.library = std::move(library),
                               .spans = std::vector<source::TextRange>(5, {0, 3}),
                               .file = ir_file,
                               .importer = root,
                               .import_range = {7, 15}});
    const hir::Hir hir = lower(std::move(loaded));
    EXPECT_TRUE(hir.diagnostics.empty());
    EXPECT_EQ(hir.cells.size(), 1u);
    const hir::CellDef& cell = hir.cells[*hir.cell_by_name("pad")];
    EXPECT_FALSE(hir.cell_by_name("child"));
    ASSERT_EQ(cell.attrs.size(), 2u);
    EXPECT_EQ(cell.attrs[1].name, "bend");
    const auto& point = expr_as<Expr::Point>(hir, cell.attrs[0].value);
    EXPECT_EQ(expr_as<Expr::Number>(hir, point.x).unit, units::Unit::Nanometre);
    EXPECT_EQ(expr_as<Expr::Number>(hir, *point.angle).unit, units::Unit::Degree);
    const auto& call = expr_as<Expr::Call>(hir, cell.attrs[1].value);
    EXPECT_EQ(expr_as<Expr::Name>(hir, call.callee).res, (Res{Res::XSection{hir::XsId{0}}}));
    ASSERT_EQ(call.args.count, 1u);
    EXPECT_EQ(hir.text(hir.args_of(call.args)[0].name->name), "w");
    ASSERT_EQ(cell.markers.size(), 1u);
    EXPECT_TRUE(cell.markers[0].at.empty());
    EXPECT_EQ(cell.src.file, ir_file);
}

std::string repeat(std::string_view text, std::size_t count) {
    std::string result;
    for (std::size_t i = 0; i < count; ++i) {
        result += text;
    }
    return result;
}

// Every recursive form at the deepest nesting the parser accepts: lowering must not exhaust the
// stack there (the sanitized build has the largest frames).
TEST(Lower, DeepestAcceptedNesting) {
    const std::vector<std::string> sources = {
        "define a = " + repeat("(", 999) + "1" + repeat(")", 999),
        "define a = " + repeat("-", 999) + "1",
        "define a = " + repeat("[", 999) + "1" + repeat("]", 999),
        "define a = 1" + repeat(" + 1", 998),
        "define a = pi" + repeat(".c", 999),
        "define a = pi" + repeat("()", 999),
        "define b: " + repeat("[", 1000) + "size" + repeat("]", 1000) + " = 1",
        "cell c {\n" + repeat("if true {\n", 500) + repeat("}", 500) + "\n}",
        "cell c {\nif true { }" + repeat(" else if true { }", 998) + "\n}",
        "cell c {\n" + repeat("place {\n", 1000) + repeat("}", 1000) + "\n}",
    };
    for (const std::string& text : sources) {
        EXPECT_TRUE(syntax::parser::parse(text).errors.empty()) << text.substr(0, 20);
        const hir::Hir hir = lower_text(text);
        EXPECT_TRUE(hir.diagnostics.empty()) << text.substr(0, 20);
    }
    const hir::Hir typed = lower_text(sources[6]);
    EXPECT_EQ(typed.consts[hir::ConstId{0}].ty->lists, 1000u);
    EXPECT_EQ(typed.text(typed.consts[hir::ConstId{0}].ty->name), "size");
}

} // namespace
} // namespace quorvane_dsl::lower
