#include "eval/operators.hpp"

#include "eval/xs_value.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

namespace quorvane_dsl::eval {

namespace {

using hir::BinOp;
using Outcome = std::expected<Value, std::string>;

constexpr const char* overflow = "integer overflow";
constexpr const char* by_zero = "division by zero";

std::unexpected<std::string> refuse(BinOp op, const Value& lhs, const Value& rhs) {
    return std::unexpected("cannot apply `" + std::string(hir::binop_text(op)) + "` to " +
                           std::string(lhs.describe()) + " and " + std::string(rhs.describe()));
}

template <typename T> bool compare(BinOp op, const T& a, const T& b) {
    switch (op) {
    case BinOp::Eq:
        return a == b;
    case BinOp::Ne:
        return a != b;
    case BinOp::Lt:
        return a < b;
    case BinOp::Le:
        return a <= b;
    case BinOp::Gt:
        return a > b;
    default:
        return a >= b;
    }
}

// Exponents combine in 8 bits and wrap; going through int keeps the wrap defined.
units::Dim add_dims(units::Dim a, units::Dim b, int sign) {
    return {static_cast<std::int8_t>(a.length + sign * b.length),
            static_cast<std::int8_t>(a.angle + sign * b.angle)};
}

Outcome integers(BinOp op, std::int64_t a, std::int64_t b) {
    std::int64_t r = 0;
    switch (op) {
    case BinOp::Add:
        return __builtin_add_overflow(a, b, &r) ? Outcome(std::unexpect, overflow)
                                                : Value::integer(r);
    case BinOp::Sub:
        return __builtin_sub_overflow(a, b, &r) ? Outcome(std::unexpect, overflow)
                                                : Value::integer(r);
    case BinOp::Mul:
        return __builtin_mul_overflow(a, b, &r) ? Outcome(std::unexpect, overflow)
                                                : Value::integer(r);
    case BinOp::Div:
        if (b == 0) {
            return std::unexpected(by_zero);
        }
        return Value::number(static_cast<double>(a) / static_cast<double>(b));
    case BinOp::Rem: {
        if (b == 0) {
            return std::unexpected(by_zero);
        }
        // i64::MIN % -1 traps in hardware; every remainder by ±1 is 0.
        if (b == -1 || b == 1) {
            return Value::integer(0);
        }
        r = a % b;
        // Adding |b| in unsigned arithmetic stays defined for b == i64::MIN, and the sum
        // always lies in [0, |b|), so it fits back into i64.
        if (r < 0) {
            const auto magnitude =
                b < 0 ? 0 - static_cast<std::uint64_t>(b) : static_cast<std::uint64_t>(b);
            r = static_cast<std::int64_t>(static_cast<std::uint64_t>(r) + magnitude);
        }
        return Value::integer(r);
    }
    case BinOp::Range:
        return Value{Value::Range{a, b}};
    default:
        return Value::boolean(compare(op, a, b));
    }
}

Outcome quantities(BinOp op, Value::Quantity a, Value::Quantity b) {
    switch (op) {
    case BinOp::Mul:
        return Value::quantity(a.value * b.value, add_dims(a.dim, b.dim, 1));
    case BinOp::Div:
        if (b.value == 0) {
            return std::unexpected(by_zero);
        }
        return Value::quantity(a.value / b.value, add_dims(a.dim, b.dim, -1));
    case BinOp::Add:
        return Value::quantity(a.value + b.value, a.dim);
    case BinOp::Sub:
        return Value::quantity(a.value - b.value, a.dim);
    case BinOp::Rem: {
        if (b.value == 0) {
            return std::unexpected(by_zero);
        }
        double r = std::fmod(a.value, b.value);
        if (r < 0) {
            r += std::fabs(b.value);
        }
        return Value::quantity(r, a.dim);
    }
    default:
        return Value::boolean(compare(op, a.value, b.value));
    }
}

// An integer meeting a quantity becomes a plain number, except that 0 takes the other side's
// dimension for every operator but `*` and `/`.
std::optional<Value::Quantity> as_quantity(BinOp op, const Value& v, units::Dim other) {
    if (const auto* q = std::get_if<Value::Quantity>(&v.kind)) {
        return *q;
    }
    if (const auto* i = std::get_if<Value::Int>(&v.kind)) {
        const bool zero_takes_dim = i->value == 0 && op != BinOp::Mul && op != BinOp::Div;
        return Value::Quantity{static_cast<double>(i->value),
                               zero_takes_dim ? other : units::Dim{}};
    }
    return std::nullopt;
}

std::optional<units::Dim> dim_of(const Value& v) {
    if (const auto* q = std::get_if<Value::Quantity>(&v.kind)) {
        return q->dim;
    }
    return std::nullopt;
}

Outcome mixed(BinOp op, const Value& lhs, const Value& rhs) {
    const auto left_dim = dim_of(lhs);
    const auto right_dim = dim_of(rhs);
    const auto a = as_quantity(op, lhs, right_dim.value_or(units::Dim{}));
    const auto b = as_quantity(op, rhs, left_dim.value_or(units::Dim{}));
    if (!a || !b || op == BinOp::Range) {
        return refuse(op, lhs, rhs);
    }
    if (op != BinOp::Mul && op != BinOp::Div && a->dim != b->dim) {
        return refuse(op, lhs, rhs);
    }
    return quantities(op, *a, *b);
}

// Whether two bools, strings, points (sources ignored) or cross-sections (by their identifying
// text) are equal; none for any other pair.
std::optional<bool> plain_equality(const Value& lhs, const Value& rhs) {
    if (const auto* a = std::get_if<Value::Bool>(&lhs.kind)) {
        const auto* b = std::get_if<Value::Bool>(&rhs.kind);
        return b ? std::optional(a->value == b->value) : std::nullopt;
    }
    if (const auto* a = std::get_if<Value::Str>(&lhs.kind)) {
        const auto* b = std::get_if<Value::Str>(&rhs.kind);
        return b ? std::optional(*a->text == *b->text) : std::nullopt;
    }
    if (const auto* a = std::get_if<Value::Point>(&lhs.kind)) {
        const auto* b = std::get_if<Value::Point>(&rhs.kind);
        return b ? std::optional(a->x == b->x && a->y == b->y && a->angle == b->angle)
                 : std::nullopt;
    }
    if (const auto* a = std::get_if<Value::XSection>(&lhs.kind)) {
        const auto* b = std::get_if<Value::XSection>(&rhs.kind);
        return b ? std::optional(a->value->key == b->value->key) : std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::expected<Value, std::string> apply_binary(BinOp op, const Value& lhs, const Value& rhs) {
    // Numbers first: nearly every operator evaluated has two, and no case below them takes one.
    const auto* li = std::get_if<Value::Int>(&lhs.kind);
    const auto* ri = std::get_if<Value::Int>(&rhs.kind);
    if (li && ri) {
        return integers(op, li->value, ri->value);
    }
    const bool lq = std::holds_alternative<Value::Quantity>(lhs.kind);
    const bool rq = std::holds_alternative<Value::Quantity>(rhs.kind);
    if ((li || lq) && (ri || rq)) {
        return mixed(op, lhs, rhs);
    }
    const auto* lp = std::get_if<Value::Point>(&lhs.kind);
    const auto* rp = std::get_if<Value::Point>(&rhs.kind);
    if (op == BinOp::Sub && lp && rp) {
        return Value{Value::Point{lp->x - rp->x, lp->y - rp->y, lp->angle, nullptr}};
    }
    if (op == BinOp::Add && lp) {
        if (!rp) {
            return refuse(op, lhs, rhs);
        }
        return Value{Value::Point{lp->x + rp->x, lp->y + rp->y, lp->angle, nullptr}};
    }
    const auto* ls = std::get_if<Value::Str>(&lhs.kind);
    const auto* rs = std::get_if<Value::Str>(&rhs.kind);
    if (op == BinOp::Add && ls) {
        if (!rs) {
            return refuse(op, lhs, rhs);
        }
        return Value::string(*ls->text + *rs->text);
    }
    if (op == BinOp::Eq || op == BinOp::Ne) {
        if (const auto equal = plain_equality(lhs, rhs)) {
            return Value::boolean(op == BinOp::Eq ? *equal : !*equal);
        }
    }
    if (lq || rq) {
        return mixed(op, lhs, rhs);
    }
    return refuse(op, lhs, rhs);
}

std::expected<Value, std::string> apply_prefix(hir::PrefixOp op, Value v) {
    const auto refused = [&] {
        return std::unexpected("cannot apply this operator to " + std::string(v.describe()));
    };
    if (op == hir::PrefixOp::Not) {
        if (const auto* b = std::get_if<Value::Bool>(&v.kind)) {
            return Value::boolean(!b->value);
        }
        return refused();
    }
    if (const auto* i = std::get_if<Value::Int>(&v.kind)) {
        // The one integer without a negation must not wrap silently into itself.
        if (i->value == std::numeric_limits<std::int64_t>::min()) {
            return std::unexpected(overflow);
        }
        return Value::integer(-i->value);
    }
    if (const auto* q = std::get_if<Value::Quantity>(&v.kind)) {
        return Value::quantity(-q->value, q->dim);
    }
    if (const auto* p = std::get_if<Value::Point>(&v.kind)) {
        return Value{Value::Point{-p->x, -p->y, p->angle, nullptr}};
    }
    return refused();
}

} // namespace quorvane_dsl::eval
