#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis.hpp"
#include "hir/hir.hpp"
#include "hir/members.hpp"

namespace quorvane_dsl::hir {
namespace {

Src at(std::uint32_t start, std::uint32_t end) {
    return Src{{start, end}, source::FileId{0}};
}

TEST(Hir, GlobalLookupsFindOnlyTheirKind) {
    Hir hir;
    hir.globals["c"] = Global{Global::Kind::Cell, 0};
    hir.globals["x"] = Global{Global::Kind::XSection, 0};
    hir.globals["m1"] = Global{Global::Kind::Layer, 0};
    EXPECT_EQ(hir.cell_by_name("c"), CellId{0});
    EXPECT_EQ(hir.cell_by_name("x"), std::nullopt);
    EXPECT_EQ(hir.cell_by_name("m1"), std::nullopt);
    EXPECT_EQ(hir.cell_by_name("nothing"), std::nullopt);
    EXPECT_EQ(hir.xsection_by_name("x"), XsId{0});
    EXPECT_EQ(hir.xsection_by_name("c"), std::nullopt);
}

TEST(Hir, DefinitionPlacesAndParameterPositions) {
    Hir hir;
    XsDef xs{.name = "wg", .src = at(0, 2)};
    EXPECT_EQ(xs.param("w"), std::nullopt);
    xs.params = {ParamDef{.name = "w", .src = at(3, 4)}, ParamDef{.name = "g", .src = at(5, 6)}};
    ASSERT_TRUE(xs.param("g"));
    EXPECT_EQ(xs.param("g")->first, 1u);
    XsId id = hir.xsections.alloc(std::move(xs));
    EXPECT_EQ(hir.res_src(Res{Res::XsParam{id, 1}}), at(5, 6));
    EXPECT_EQ(hir.res_src(Res{Res::XSection{id}}), at(0, 2));
    EXPECT_EQ(hir.res_src(Res{Res::Builtin{Builtin::Pi}}), std::nullopt);
    EXPECT_EQ(hir.res_src(Res{}), std::nullopt);

    ExprId e = hir.add_expr(Expr{Expr::Missing{}}, at(7, 9));
    EXPECT_EQ(hir.expr_src(e), at(7, 9));
    EXPECT_EQ(hir.exprs.size(), hir.expr_ranges.size());
}

TEST(Hir, TablesReadBackByName) {
    EXPECT_EQ(primitive_by_name("regular_polygon"), Primitive::RegularPolygon);
    EXPECT_EQ(primitive_name(Primitive::Erode), "erode");
    EXPECT_EQ(primitive_by_name("Rect"), std::nullopt);
    EXPECT_EQ(builtin_by_name("atan2"), Builtin::Atan2);
    EXPECT_EQ(builtin_name(Builtin::Pi), "pi");
    EXPECT_EQ(binop_text(BinOp::Range), "..");
    EXPECT_EQ(binop_text(BinOp::BitXor), "^");
}

// Enough texts to grow the table several times, among them texts of every length around the
// eight-byte steps of the hash, one a prefix of the next.
TEST(Hir, TextsInternEachTextOnceAndFindOnlyInterned) {
    Texts texts;
    EXPECT_EQ(texts.intern(""), Symbol{});
    EXPECT_EQ(texts.find(std::string_view{}), Symbol{});
    std::vector<std::string> all;
    for (int i = 0; i < 3000; ++i) {
        all.push_back(std::string(static_cast<std::size_t>(i % 20), 'w') + std::to_string(i / 20));
    }
    std::vector<Symbol> symbols;
    for (const std::string& text : all) {
        EXPECT_EQ(texts.find(text), std::nullopt) << text;
        symbols.push_back(texts.intern(text));
    }
    EXPECT_EQ(texts.size(), all.size() + 1);
    for (std::size_t i = 0; i < all.size(); ++i) {
        EXPECT_EQ(texts.intern(all[i]), symbols[i]);
        EXPECT_EQ(texts.find(all[i]), symbols[i]);
        EXPECT_EQ(texts[symbols[i]], all[i]);
    }
    EXPECT_EQ(texts.find("w"), std::nullopt);
}

// A large cell is searched from the front at first and through its table later: every name is
// the same member both ways, the first of a repeated name wins, other names are none.
TEST(Hir, MembersOfALargeCell) {
    Hir hir;
    const CellId cell = hir.cells.alloc(CellDef{.name = "c"});
    constexpr std::uint32_t count = 100;
    constexpr Member::Kind kinds[] = {Member::Kind::Param, Member::Kind::Attr, Member::Kind::Marker,
                                      Member::Kind::None};
    for (std::uint32_t i = 0; i < count; ++i) {
        const Res res[] = {Res{Res::Param{cell, i / 4}}, Res{Res::Attr{cell, i / 4}},
                           Res{Res::Marker{cell, i / 4}}, Res{Res::Local{BindingId{i / 4}}}};
        hir.cell_names.push_back({hir.texts.intern("n" + std::to_string(i)), res[i % 4]});
    }
    hir.cell_names.push_back({hir.texts.intern("n5"), Res{Res::Param{cell, 99}}});
    hir.cells[cell].names = {0, count + 1};
    const Symbol unknown = hir.texts.intern("unknown");
    MemberIndex members(hir);
    for (int round = 0; round < 10; ++round) {
        for (std::uint32_t i = 0; i < count; ++i) {
            const Member found = members.find(cell, hir.cell_names[i].name);
            EXPECT_EQ(found.kind, kinds[i % 4]) << round << " " << i;
            EXPECT_EQ(found.index, found.kind == Member::Kind::None ? 0 : i / 4) << i;
        }
        EXPECT_EQ(members.find(cell, unknown).kind, Member::Kind::None);
    }
}

} // namespace
} // namespace quorvane_dsl::hir
