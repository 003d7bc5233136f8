// HIR expressions, what their names resolve to, and the builtin and operator tables.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "hir/ids.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::hir {

// The builtin functions (and the constant `pi`), in the order of their u8 values.
enum class Builtin : std::uint8_t {
    Sqrt,
    Abs,
    Min,
    Max,
    Floor,
    Ceil,
    Round,
    Sign,
    Pow,
    Sin,
    Cos,
    Tan,
    Asin,
    Acos,
    Atan,
    Atan2,
    Len,
    Str,
    Pi,
};

inline constexpr std::size_t builtin_count = 19;

std::string_view builtin_name(Builtin builtin);
// The one-line text shown when a builtin's type is displayed.
std::string_view builtin_signature(Builtin builtin);
// The builtin of that exact name, or none.
std::optional<Builtin> builtin_by_name(std::string_view name);

// What a name denotes. Positions (`index`) count from 0 in the owner's list.
struct Res {
    struct Local {
        BindingId binding;
        bool operator==(const Local&) const = default;
    };
    struct Param {
        CellId cell;
        std::uint32_t index = 0;
        bool operator==(const Param&) const = default;
    };
    struct Attr {
        CellId cell;
        std::uint32_t index = 0;
        bool operator==(const Attr&) const = default;
    };
    struct Marker {
        CellId cell;
        std::uint32_t index = 0;
        bool operator==(const Marker&) const = default;
    };
    struct Const {
        ConstId id;
        bool operator==(const Const&) const = default;
    };
    struct Cell {
        CellId id;
        bool operator==(const Cell&) const = default;
    };
    struct XSection {
        XsId id;
        bool operator==(const XSection&) const = default;
    };
    struct XsParam {
        XsId xs;
        std::uint32_t index = 0;
        bool operator==(const XsParam&) const = default;
    };
    struct Layer {
        LayerId id;
        bool operator==(const Layer&) const = default;
    };
    struct Builtin {
        hir::Builtin builtin = hir::Builtin::Sqrt;
        bool operator==(const Builtin&) const = default;
    };
    // The fault was reported where the name stood; later stages stay silent about it.
    struct Unresolved {
        bool operator==(const Unresolved&) const = default;
    };

    std::variant<Local, Param, Attr, Marker, Const, Cell, XSection, XsParam, Layer, Builtin,
                 Unresolved>
        kind = Unresolved{};

    bool operator==(const Res&) const = default;

    bool is_unresolved() const { return std::holds_alternative<Unresolved>(kind); }
    // The binding when this is a local, else none.
    std::optional<BindingId> local() const;
};

// Operators of two operands, in the order of their u8 values.
enum class BinOp : std::uint8_t {
    Add,
    Sub,
    Mul,
    Div,
    Rem,
    Eq,
    Ne,
    Lt,
    Le,
    Gt,
    Ge,
    And,
    Or,
    Range,
    BitAnd,
    BitOr,
    BitXor,
};

// The written form: "+", "..", "&&" and so on.
std::string_view binop_text(BinOp op);

enum class PrefixOp : std::uint8_t { Neg, Not };

// One argument of a call or `with` clause; positional when `name` is absent.
struct NamedArg {
    Symbol name;
    Src src; // of the name
    bool operator==(const NamedArg&) const = default;
};

struct Arg {
    std::optional<NamedArg> name;
    ExprId value;
    bool operator==(const Arg&) const = default;
};

// A written type: `name` wrapped in `lists` list brackets, so `[[size]]` is {2, "size"}. Only
// the innermost name carries a place; a bracket pair without a type inside is an empty name at
// the brackets. Kept flat so that deeply nested brackets need no recursion anywhere.
struct TypeAnn {
    std::uint32_t lists = 0;
    Symbol name;
    Src src;
    bool operator==(const TypeAnn&) const = default;
};

// One expression. Parentheses make no expression of their own.
struct Expr {
    // An absent or malformed expression whose fault is already reported, or a stored IR value
    // without an expression form.
    struct Missing {
        bool operator==(const Missing&) const = default;
    };
    // The number as written, its unit not yet applied. A literal written as an integer without
    // a unit keeps its exact value, which an f64 cannot always hold; every other number keeps
    // its f64. Both share eight bytes, held as two words so that, like every other
    // alternative, this one fits twelve bytes aligned to four: an expression takes sixteen.
    struct Number {
        using Bits = std::array<std::uint32_t, 2>;

        std::optional<units::Unit> unit;
        bool integer = false;
        Bits bits{}; // an f64, or the i64 of an exact integer

        // Not for an integer without a unit: that one is exact.
        static Number of(double value, std::optional<units::Unit> unit, bool integer) {
            return {unit, integer, std::bit_cast<Bits>(value)};
        }
        static Number exact_integer(std::int64_t value) {
            return {std::nullopt, true, std::bit_cast<Bits>(value)};
        }
        // For an exact integer, the nearest f64.
        double value() const {
            return exact() ? static_cast<double>(*exact()) : std::bit_cast<double>(bits);
        }
        std::optional<std::int64_t> exact() const {
            return integer && !unit ? std::optional(std::bit_cast<std::int64_t>(bits))
                                    : std::nullopt;
        }
        bool operator==(const Number&) const = default;
    };
    struct Str {
        Symbol value;
        bool operator==(const Str&) const = default;
    };
    struct Bool {
        bool value = false;
        bool operator==(const Bool&) const = default;
    };
    struct Name {
        Res res;
        bool operator==(const Name&) const = default;
    };
    struct SelfRef {
        bool operator==(const SelfRef&) const = default;
    };
    struct Point {
        ExprId x;
        ExprId y;
        arena::OptIdx<Expr> angle;
        bool operator==(const Point&) const = default;
    };
    struct List {
        ExprRun elements;
        bool operator==(const List&) const = default;
    };
    struct Binary {
        BinOp op = BinOp::Add;
        ExprId lhs;
        ExprId rhs;
        bool operator==(const Binary&) const = default;
    };
    struct Prefix {
        PrefixOp op = PrefixOp::Neg;
        ExprId operand;
        bool operator==(const Prefix&) const = default;
    };
    // The place of the name is kept aside (Hir::name_srcs): the largest alternative sets the size
    // of every expression.
    struct Field {
        ExprId base;
        NameSrcId name_src;
        Symbol name;
        bool operator==(const Field&) const = default;
    };
    struct Index {
        ExprId base;
        ExprId index;
        bool operator==(const Index&) const = default;
    };
    struct Call {
        ExprId callee;
        ArgRun args;
        bool operator==(const Call&) const = default;
    };

    std::variant<Missing, Number, Str, Bool, Name, SelfRef, Point, List, Binary, Prefix, Field,
                 Index, Call>
        kind;

    bool operator==(const Expr&) const = default;
};

} // namespace quorvane_dsl::hir
