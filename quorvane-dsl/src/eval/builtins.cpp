#include "eval/builtins.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>

#include "base/round.hpp"
#include "base/utf8.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::eval {

namespace {

using hir::Builtin;
using Outcome = std::expected<Value, std::string>;

constexpr double pi = 3.141592653589793;
constexpr std::int64_t i64_min = std::numeric_limits<std::int64_t>::min();

struct Number {
    double value = 0;
    units::Dim dim{};
};

// One call: its builtin and arguments, with the two shared steps of taking and reading them.
struct Call {
    Builtin builtin;
    std::vector<Value>& args;

    std::string name() const { return std::string(hir::builtin_name(builtin)); }

    std::expected<Value*, std::string> take(std::size_t position) const {
        if (position >= args.size()) {
            return std::unexpected(name() + " is missing an argument");
        }
        return &args[position];
    }

    std::expected<Number, std::string> read(const Value& v) const {
        if (const auto* i = std::get_if<Value::Int>(&v.kind)) {
            return Number{static_cast<double>(i->value), {}};
        }
        if (const auto* q = std::get_if<Value::Quantity>(&v.kind)) {
            return Number{q->value, q->dim};
        }
        return std::unexpected(name() + " expected a number, found " + std::string(v.describe()));
    }

    std::expected<Number, std::string> number(std::size_t position) const {
        auto v = take(position);
        if (!v) {
            return std::unexpected(std::move(v.error()));
        }
        return read(**v);
    }
};

Outcome square_root(const Call& call) {
    const auto x = call.number(0);
    if (!x) {
        return std::unexpected(x.error());
    }
    if (x->value < 0) {
        return std::unexpected("square root of a negative value");
    }
    // Analysis refuses odd exponents; should one get here, it still gets a plain message.
    if (x->dim.length % 2 != 0 || x->dim.angle % 2 != 0) {
        return std::unexpected("cannot take the square root of " +
                               std::string(call.args[0].describe()));
    }
    return Value::quantity(std::sqrt(x->value), {static_cast<std::int8_t>(x->dim.length / 2),
                                                 static_cast<std::int8_t>(x->dim.angle / 2)});
}

Outcome absolute(const Call& call) {
    const auto v = call.take(0);
    if (!v) {
        return std::unexpected(v.error());
    }
    if (const auto* i = std::get_if<Value::Int>(&(*v)->kind)) {
        if (i->value == i64_min) {
            return std::unexpected("integer overflow");
        }
        return Value::integer(i->value < 0 ? -i->value : i->value);
    }
    const auto x = call.read(**v);
    if (!x) {
        return std::unexpected(x.error());
    }
    return Value::quantity(std::fabs(x->value), x->dim);
}

// The first argument whose number beats every earlier one; ties and NaN keep the earlier.
Outcome extreme(const Call& call, bool smallest) {
    if (call.args.empty()) {
        return std::unexpected(call.name() + " is missing an argument");
    }
    std::size_t best = 0;
    double best_value = 0;
    for (std::size_t i = 0; i < call.args.size(); ++i) {
        const auto x = call.read(call.args[i]);
        if (!x) {
            return std::unexpected(x.error());
        }
        if (i == 0 || (smallest ? x->value < best_value : x->value > best_value)) {
            best = i;
            best_value = x->value;
        }
    }
    return std::move(call.args[best]);
}

Outcome rounded(const Call& call) {
    const auto v = call.take(0);
    if (!v) {
        return std::unexpected(v.error());
    }
    if (std::holds_alternative<Value::Int>((*v)->kind)) {
        return std::move(**v);
    }
    const auto x = call.read(**v);
    if (!x) {
        return std::unexpected(x.error());
    }
    const double r = call.builtin == Builtin::Floor  ? std::floor(x->value)
                     : call.builtin == Builtin::Ceil ? std::ceil(x->value)
                                                     : std::round(x->value);
    if (x->dim == units::Dim{}) {
        return Value::integer(base::round_to_i64(r));
    }
    return Value::quantity(r, x->dim);
}

// Exact powers of integers by repeated squaring; a product leaving i64 is an overflow.
Outcome integer_power(std::int64_t base, std::int64_t exponent) {
    // These bases never grow, so any exponent has an exact result.
    if (base == 0 || base == 1) {
        return Value::integer(exponent == 0 ? 1 : base);
    }
    if (base == -1) {
        return Value::integer(exponent % 2 == 0 ? 1 : -1);
    }
    if (exponent > 4294967295) {
        return std::unexpected("integer overflow");
    }
    std::int64_t result = 1;
    while (exponent > 0) {
        if (exponent & 1) {
            if (__builtin_mul_overflow(result, base, &result)) {
                return std::unexpected("integer overflow");
            }
        }
        exponent >>= 1;
        if (exponent > 0 && __builtin_mul_overflow(base, base, &base)) {
            return std::unexpected("integer overflow");
        }
    }
    return Value::integer(result);
}

// Multiplies an 8-bit exponent; the product wraps in 8 bits as the exponents always do.
std::int8_t scale_exponent(std::int8_t exponent, int n) {
    return static_cast<std::int8_t>(static_cast<std::uint8_t>(exponent * n));
}

Outcome power(const Call& call) {
    const auto base = call.take(0);
    if (!base) {
        return std::unexpected(base.error());
    }
    const auto exponent = call.take(1);
    if (!exponent) {
        return std::unexpected(exponent.error());
    }
    const auto* bi = std::get_if<Value::Int>(&(*base)->kind);
    const auto* ei = std::get_if<Value::Int>(&(*exponent)->kind);
    if (bi && ei && ei->value >= 0) {
        return integer_power(bi->value, ei->value);
    }
    const auto b = call.read(**base);
    if (!b) {
        return std::unexpected(b.error());
    }
    const auto e = call.read(**exponent);
    if (!e) {
        return std::unexpected(e.error());
    }
    // NaN has no truncation; it scales the dimension by nothing.
    const int n = std::isnan(e->value)
                      ? 0
                      : static_cast<int>(std::clamp(std::trunc(e->value), -128.0, 127.0));
    return Value::quantity(std::pow(b->value, e->value),
                           {scale_exponent(b->dim.length, n), scale_exponent(b->dim.angle, n)});
}

Outcome trigonometry(const Call& call) {
    const auto x = call.number(0);
    if (!x) {
        return std::unexpected(x.error());
    }
    const double radians = (x->value * pi) / 180;
    switch (call.builtin) {
    case Builtin::Sin:
        return Value::number(std::sin(radians));
    case Builtin::Cos:
        return Value::number(std::cos(radians));
    case Builtin::Tan:
        return Value::number(std::tan(radians));
    case Builtin::Atan:
        return Value::angle((std::atan(x->value) * 180) / pi);
    default:
        break;
    }
    if (!(x->value >= -1 && x->value <= 1)) {
        return std::unexpected(call.name() + "(" + units::format_number(x->value) +
                               ") is undefined");
    }
    const double r = call.builtin == Builtin::Asin ? std::asin(x->value) : std::acos(x->value);
    return Value::angle((r * 180) / pi);
}

Outcome arc_tangent2(const Call& call) {
    const auto y = call.number(0);
    if (!y) {
        return std::unexpected(y.error());
    }
    const auto x = call.number(1);
    if (!x) {
        return std::unexpected(x.error());
    }
    return Value::angle((std::atan2(y->value, x->value) * 180) / pi);
}

Outcome length(const Call& call) {
    const auto v = call.take(0);
    if (!v) {
        return std::unexpected(v.error());
    }
    if (const auto* s = std::get_if<Value::Str>(&(*v)->kind)) {
        return Value::integer(static_cast<std::int64_t>(base::utf8::char_count(*s->text)));
    }
    if (const auto* l = std::get_if<Value::List>(&(*v)->kind)) {
        return Value::integer(static_cast<std::int64_t>(l->elements().size()));
    }
    return std::unexpected("len needs a list or a string, found " + std::string((*v)->describe()));
}

} // namespace

std::string value_text(const Value& value) {
    if (const auto* i = std::get_if<Value::Int>(&value.kind)) {
        return std::to_string(i->value);
    }
    if (const auto* q = std::get_if<Value::Quantity>(&value.kind)) {
        if (q->dim == Value::length_dim) {
            return units::format_length(q->value);
        }
        if (q->dim == Value::angle_dim) {
            return units::format_angle(q->value);
        }
        return units::format_number(q->value);
    }
    if (const auto* b = std::get_if<Value::Bool>(&value.kind)) {
        return b->value ? "true" : "false";
    }
    if (const auto* s = std::get_if<Value::Str>(&value.kind)) {
        return *s->text;
    }
    return "<" + std::string(value.describe()) + ">";
}

std::expected<Value, std::string> call_builtin(Builtin builtin, std::vector<Value> args) {
    const Call call{builtin, args};
    switch (builtin) {
    case Builtin::Sqrt:
        return square_root(call);
    case Builtin::Abs:
        return absolute(call);
    case Builtin::Min:
    case Builtin::Max:
        return extreme(call, builtin == Builtin::Min);
    case Builtin::Floor:
    case Builtin::Ceil:
    case Builtin::Round:
        return rounded(call);
    case Builtin::Sign: {
        const auto x = call.number(0);
        if (!x) {
            return std::unexpected(x.error());
        }
        return Value::integer(x->value < 0 ? -1 : x->value > 0 ? 1 : 0);
    }
    case Builtin::Pow:
        return power(call);
    case Builtin::Sin:
    case Builtin::Cos:
    case Builtin::Tan:
    case Builtin::Asin:
    case Builtin::Acos:
    case Builtin::Atan:
        return trigonometry(call);
    case Builtin::Atan2:
        return arc_tangent2(call);
    case Builtin::Len:
        return length(call);
    case Builtin::Str: {
        const auto v = call.take(0);
        if (!v) {
            return std::unexpected(v.error());
        }
        return Value::string(value_text(**v));
    }
    case Builtin::Pi:
        break;
    }
    return Value::number(pi);
}

} // namespace quorvane_dsl::eval
