// The checker's types, their texts and compatibility, and the table of types it hands on.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hir/hir.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::check {

inline constexpr units::Dim dim_number{0, 0};
inline constexpr units::Dim dim_size{1, 0};
inline constexpr units::Dim dim_angle{0, 1};

enum class TyKind : std::uint8_t {
    Unknown,
    Integer,
    Zero, // the literal 0 without unit: fits integers and every quantity
    Quantity,
    Bool,
    String,
    Point,
    Range,
    Shape,
    Instance,
    Cell,
    Layer,
    Markers,
    Builtin,
    XSection,
    Nothing,
};

// A type as the checker sees it. A list type is its innermost element type with a list depth,
// so that types stay trivially copyable and nested lists need no recursion.
struct Ty {
    TyKind kind = TyKind::Unknown;
    std::uint16_t lists = 0;
    // The cell index, primitive (primitive_count for none) or builtin, or for a Quantity its
    // dimension: no type has both, so they share four bytes and a type takes eight (the
    // checker keeps one per expression).
    std::uint32_t item = 0;

    friend bool operator==(const Ty&, const Ty&) = default;

    static Ty unknown() { return {}; }
    static Ty integer() { return {TyKind::Integer}; }
    static Ty zero() { return {TyKind::Zero}; }
    static Ty quantity(units::Dim dim) {
        return {TyKind::Quantity, 0,
                static_cast<std::uint32_t>(static_cast<std::uint8_t>(dim.length) |
                                           static_cast<std::uint8_t>(dim.angle) << 8)};
    }
    static Ty number() { return quantity(dim_number); }
    static Ty size() { return quantity(dim_size); }
    static Ty angle() { return quantity(dim_angle); }
    static Ty boolean() { return {TyKind::Bool}; }
    static Ty string() { return {TyKind::String}; }
    static Ty point() { return {TyKind::Point}; }
    static Ty range() { return {TyKind::Range}; }
    static Ty shape(std::optional<hir::Primitive> primitive = std::nullopt);
    static Ty instance(hir::CellId cell) { return {TyKind::Instance, 0, cell.raw}; }
    static Ty cell(hir::CellId cell) { return {TyKind::Cell, 0, cell.raw}; }
    static Ty layer() { return {TyKind::Layer}; }
    static Ty markers(hir::CellId cell) { return {TyKind::Markers, 0, cell.raw}; }
    static Ty builtin(hir::Builtin b) {
        return {TyKind::Builtin, 0, static_cast<std::uint32_t>(b)};
    }
    static Ty xsection() { return {TyKind::XSection}; }
    static Ty nothing() { return {TyKind::Nothing}; }
    static Ty list_of(Ty element);

    bool is(TyKind k) const { return lists == 0 && kind == k; }
    bool is_unknown() const { return is(TyKind::Unknown); }
    bool is_list() const { return lists > 0; }
    bool is_quantity(units::Dim d) const { return is(TyKind::Quantity) && dim() == d; }
    // Of a Quantity; {0, 0} for every other type.
    units::Dim dim() const {
        return kind == TyKind::Quantity ? units::Dim{static_cast<std::int8_t>(item & 0xFF),
                                                     static_cast<std::int8_t>(item >> 8)}
                                        : units::Dim{};
    }
    bool is_shape() const { return is(TyKind::Shape); }
    // Integer, the literal zero or any quantity.
    bool is_numeric() const;
    // The element of a list type; only for lists.
    Ty element() const;
    // The element type below every list bracket.
    Ty innermost() const;
    // The primitive of a shape type, none for any shape.
    std::optional<hir::Primitive> primitive() const;
    hir::CellId cell_id() const { return hir::CellId{item}; }
    hir::Builtin builtin_id() const { return static_cast<hir::Builtin>(item); }
};

// Whether a value of type `found` may stand where `expected` is wanted.
bool assignable(const Ty& found, const Ty& expected);

// The type a written annotation means; unknown for a name that means nothing.
Ty ann_type(const hir::Hir& hir, const hir::TypeAnn& ann);

// The type's text in messages: "[[size]]", "shape rect", "instance of K", ...
std::string show(const hir::Hir& hir, const Ty& ty);

// "; did you mean `5um`?" when a unitless literal stands where a size or an angle is wanted;
// empty otherwise.
std::string unit_hint(const hir::Hir& hir, hir::ExprId expr, const Ty& expected);

// A cell member (parameter or attribute) by its cell and position.
using MemberKey = std::pair<hir::CellId, std::uint32_t>;
using XsParamKey = std::pair<hir::XsId, std::uint32_t>;

struct KeyHash {
    template <class T>
    std::size_t operator()(const std::pair<arena::Idx<T>, std::uint32_t>& key) const {
        return std::hash<std::uint64_t>{}((std::uint64_t{key.first.raw} << 32) | key.second);
    }
    template <class T> std::size_t operator()(arena::Idx<T> idx) const {
        return std::hash<std::uint32_t>{}(idx.raw);
    }
};

// The types the checker found, handed on with the HIR.
struct TypeInfo {
    // One per HIR expression, same index; unknown when never inferred. Empty when the checker
    // was asked not to keep them (Options::expr_types).
    std::vector<Ty> exprs;
    // By binding index; none for a binding whose statement has not been checked.
    std::vector<std::optional<Ty>> bindings;
    std::vector<std::vector<Ty>> params; // by cell index, then parameter position
    std::unordered_map<MemberKey, Ty, KeyHash> attrs;
    std::unordered_map<hir::ConstId, Ty, KeyHash> consts;
    std::unordered_map<XsParamKey, Ty, KeyHash> xs_params;

    const Ty& expr(hir::ExprId id) const { return exprs[id.raw]; }
};

} // namespace quorvane_dsl::check
