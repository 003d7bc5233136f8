#include <gtest/gtest.h>

#include "check/types.hpp"
#include "hir/primitives.hpp"

using namespace quorvane_dsl;
using check::Ty;
using hir::Primitive;

namespace {

hir::Hir with_cells(std::initializer_list<const char*> names) {
    hir::Hir hir;
    for (const char* name : names) {
        hir::CellDef cell;
        cell.name = name;
        hir.cells.alloc(std::move(cell));
    }
    return hir;
}

hir::TypeAnn ann(hir::Hir& hir, std::string_view name, std::uint32_t lists = 0) {
    return {lists, hir.texts.intern(name), {}};
}

} // namespace

TEST(CheckTypes, Texts) {
    const hir::Hir hir = with_cells({"K"});
    const auto text = [&](const Ty& ty) { return check::show(hir, ty); };
    EXPECT_EQ(text(Ty::list_of(Ty::list_of(Ty::size()))), "[[size]]");
    EXPECT_EQ(text(Ty::quantity({1, 1})), "length\u00B7angle");
    EXPECT_EQ(text(Ty::quantity({0, -1})), "angle^-1");
    EXPECT_EQ(text(Ty::quantity({2, 0})), "area");
    EXPECT_EQ(text(Ty::zero()), "integer");
    EXPECT_EQ(text(Ty::shape(Primitive::Rect)), "shape rect");
    EXPECT_EQ(text(Ty::list_of(Ty::shape(Primitive::Rect))), "[shape rect]");
    EXPECT_EQ(text(Ty::shape()), "shape");
    EXPECT_EQ(text(Ty::instance(hir::CellId{0})), "instance of K");
    EXPECT_EQ(text(Ty::cell(hir::CellId{0})), "cell K");
    EXPECT_EQ(text(Ty::markers(hir::CellId{0})), "markers of K");
    EXPECT_EQ(text(Ty::builtin(hir::Builtin::Len)), "len(list) -> integer");
    EXPECT_EQ(text(Ty::list_of(Ty::unknown())), "[unknown]");
}

TEST(CheckTypes, Assignable) {
    using check::assignable;
    const Ty sizes = Ty::list_of(Ty::size());
    EXPECT_TRUE(assignable(Ty::unknown(), sizes));
    EXPECT_TRUE(assignable(Ty::point(), Ty::unknown()));
    EXPECT_TRUE(assignable(Ty::list_of(Ty::unknown()), sizes));
    EXPECT_FALSE(assignable(Ty::list_of(Ty::point()), Ty::point()));
    EXPECT_FALSE(assignable(Ty::point(), Ty::list_of(Ty::point())));
    EXPECT_FALSE(assignable(Ty::list_of(Ty::list_of(Ty::unknown())), sizes));
    EXPECT_TRUE(assignable(Ty::list_of(Ty::integer()), Ty::list_of(Ty::number())));

    for (const Ty wanted : {Ty::size(), Ty::angle(), Ty::quantity({2, 0}), Ty::integer()}) {
        EXPECT_TRUE(assignable(Ty::zero(), wanted));
    }
    EXPECT_FALSE(assignable(Ty::zero(), Ty::boolean()));
    EXPECT_TRUE(assignable(Ty::integer(), Ty::number()));
    EXPECT_FALSE(assignable(Ty::integer(), Ty::size()));
    EXPECT_FALSE(assignable(Ty::integer(), Ty::angle()));
    EXPECT_FALSE(assignable(Ty::number(), Ty::integer()));
    EXPECT_FALSE(assignable(Ty::size(), Ty::number()));

    EXPECT_TRUE(assignable(Ty::shape(Primitive::Rect), Ty::shape()));
    EXPECT_FALSE(assignable(Ty::shape(), Ty::shape(Primitive::Rect)));
    EXPECT_FALSE(assignable(Ty::shape(Primitive::Rect), Ty::shape(Primitive::Circle)));
    EXPECT_TRUE(assignable(Ty::list_of(Ty::shape(Primitive::Rect)), Ty::list_of(Ty::shape())));
    EXPECT_FALSE(assignable(Ty::instance(hir::CellId{0}), Ty::instance(hir::CellId{1})));
    EXPECT_TRUE(assignable(Ty::instance(hir::CellId{0}), Ty::instance(hir::CellId{0})));
}

TEST(CheckTypes, AnnotationsAndUnitHints) {
    hir::Hir hir;
    const auto written = [&](std::string_view name, std::uint32_t lists = 0) {
        return check::ann_type(hir, ann(hir, name, lists));
    };
    EXPECT_EQ(written("Point2D"), Ty::point());
    EXPECT_EQ(written("Size"), Ty::unknown());
    EXPECT_EQ(written(""), Ty::unknown());
    EXPECT_EQ(check::ann_type(hir, hir::TypeAnn{}), Ty::unknown());
    EXPECT_EQ(written("xsection"), Ty::xsection());
    EXPECT_EQ(check::show(hir, written("angle", 2)), "[[angle]]");
    EXPECT_EQ(written("foo", 1), Ty::list_of(Ty::unknown()));

    const auto number = [&](double value, bool integer, std::optional<units::Unit> unit = {}) {
        const auto literal =
            integer && !unit ? hir::Expr::Number::exact_integer(static_cast<std::int64_t>(value))
                             : hir::Expr::Number::of(value, unit, integer);
        return hir.add_expr({literal}, {});
    };
    const auto five = number(5, true);
    const auto two_half = number(2.5, false);
    const auto three_um = number(3, true, units::Unit::Micrometre);
    const auto minus = hir.add_expr({hir::Expr::Prefix{hir::PrefixOp::Neg, five}}, {});
    EXPECT_EQ(check::unit_hint(hir, five, Ty::size()), "; did you mean `5um`?");
    EXPECT_EQ(check::unit_hint(hir, two_half, Ty::size()), "; did you mean `2.5um`?");
    EXPECT_EQ(check::unit_hint(hir, number(90, true), Ty::angle()), "; did you mean `90deg`?");
    EXPECT_EQ(check::unit_hint(hir, three_um, Ty::size()), "");
    EXPECT_EQ(check::unit_hint(hir, five, Ty::number()), "");
    EXPECT_EQ(check::unit_hint(hir, five, Ty::quantity({2, 0})), "");
    EXPECT_EQ(check::unit_hint(hir, minus, Ty::size()), "");
}

TEST(CheckTypes, PrimitiveSignatures) {
    EXPECT_EQ(hir::primitive_signature(Primitive::Rect),
              "rect(width: size, height: size, corner_radius?: size, line_width?: size, "
              "segments?: integer)");
    EXPECT_EQ(hir::primitive_signature(Primitive::Taper),
              "taper(length: size, width1: size | xsection, width2: size | xsection, profile?: "
              "string, segments?: integer)");
    EXPECT_EQ(hir::primitive_signature(Primitive::Erode),
              "erode(a: shape | [shape], distance: size, join?: string, segments?: integer)");
    EXPECT_EQ(hir::primitive_params(Primitive::Path)[2].choices.size(), 3u);
}
