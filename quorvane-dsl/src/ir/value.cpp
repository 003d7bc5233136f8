#include "ir/value.hpp"

#include <cmath>

#include "ir/scan.hpp"
#include "syntax/lexer.hpp"

namespace quorvane_dsl::ir {

using syntax::kind::SyntaxKind;

bool Value::List::operator==(const List& other) const {
    return items == other.items;
}

bool Value::Named::operator==(const Named& other) const {
    return name == other.name && args == other.args;
}

namespace {

constexpr units::Dim plain_dim{0, 0};
constexpr units::Dim length_dim{1, 0};
constexpr units::Dim angle_dim{0, 1};

// How a number whose dimension has no literal is written: with its dimension as a comment, or
// alone where the comment would hide the text after it.
enum class DimensionNote { Written, Left };

std::string number_literal(const Value::Number& number, DimensionNote note) {
    if (number.dim == length_dim) {
        return units::format_length(number.value);
    }
    if (number.dim == angle_dim) {
        return units::format_angle(number.value);
    }
    std::string text = units::format_number(number.value);
    if (number.dim == plain_dim) {
        if (text.find('.') == std::string::npos) {
            text += ".0";
        }
        return text;
    }
    // A whole number beyond the integers would be read back as one and overflow: the point
    // makes it read as the number it is.
    if (text.find('.') == std::string::npos && std::fabs(number.value) >= 0x1p63) {
        text += ".0";
    }
    if (note == DimensionNote::Left) {
        return text;
    }
    return text + " # " + units::dim_text(number.dim);
}

std::string point_literal(const Value::Point& point) {
    std::string text = "(" + units::format_length(point.x) + ", " + units::format_length(point.y);
    if (point.angle != 0.0) {
        text += ", " + units::format_angle(point.angle);
    }
    return text + ")";
}

struct LiteralWriter {
    std::string& out;
    DimensionNote note;
    // The note of the numbers inside lists and named values, which a closing bracket follows.
    DimensionNote inner_note;

    void operator()(const Value::Int& v) const { out += std::to_string(v.value); }
    void operator()(const Value::Number& v) const { out += number_literal(v, note); }
    void operator()(const Value::String& v) const { out += units::escape_string(v.text); }
    void operator()(const Value::Bool& v) const { out += v.value ? "true" : "false"; }
    void operator()(const Value::Point& v) const { out += point_literal(v); }
    void operator()(const Value::List& v) const {
        out += '[';
        for (std::size_t i = 0; i < v.items.size(); ++i) {
            out += i == 0 ? "" : ", ";
            std::visit(inner(), v.items[i].kind);
        }
        out += ']';
    }
    void operator()(const Value::Named& v) const {
        out += v.name;
        if (v.args.empty()) {
            return;
        }
        out += '(';
        for (std::size_t i = 0; i < v.args.size(); ++i) {
            out += i == 0 ? "" : ", ";
            out += v.args[i].first;
            out += " = ";
            std::visit(inner(), v.args[i].second.kind);
        }
        out += ')';
    }

    LiteralWriter inner() const { return {out, inner_note, inner_note}; }
};

std::optional<Value> number_value(std::string_view text) {
    const auto [numeral, suffix] = syntax::lexer::split_number(text);
    if (suffix.empty()) {
        if (numeral.find('.') != std::string_view::npos) {
            const auto value = scan::read_f64(numeral);
            return value ? std::optional(Value{Value::Number{*value, plain_dim}}) : std::nullopt;
        }
        const auto value = scan::read_i64(numeral);
        return value ? std::optional(Value{Value::Int{*value}}) : std::nullopt;
    }
    const auto unit = units::parse_unit(suffix);
    const auto value = scan::read_f64(numeral);
    if (!unit || !value) {
        return std::nullopt;
    }
    const units::Dim dim =
        units::unit_kind(*unit) == units::UnitKind::Length ? length_dim : angle_dim;
    return Value{Value::Number{*value * units::scale_factor(*unit), dim}};
}

// An x or y of a point literal: a length, or the integer 0.
std::optional<double> point_coordinate(const Value& value, units::Dim dim) {
    if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
        return number->dim == dim ? std::optional(number->value) : std::nullopt;
    }
    if (const auto* integer = std::get_if<Value::Int>(&value.kind)) {
        return integer->value == 0 ? std::optional(0.0) : std::nullopt;
    }
    return std::nullopt;
}

class ValueReader {
  public:
    ValueReader(std::span<const Token> tokens, std::size_t& pos) : tokens_(tokens), pos_(pos) {}

    std::optional<Value> value(std::size_t depth) {
        if (pos_ >= tokens_.size() || depth >= max_literal_depth) {
            return std::nullopt;
        }
        const Token token = tokens_[pos_++];
        switch (token.kind) {
        case SyntaxKind::NUMBER:
            return number_value(token.text);
        case SyntaxKind::STRING:
            return Value{Value::String{units::unescape_string(token.text)}};
        case SyntaxKind::TRUE_KW:
            return Value{Value::Bool{true}};
        case SyntaxKind::FALSE_KW:
            return Value{Value::Bool{false}};
        case SyntaxKind::MINUS:
            return negated(depth);
        case SyntaxKind::L_PAREN:
            return point(depth);
        case SyntaxKind::L_BRACK:
            return list(depth);
        case SyntaxKind::IDENT:
            return named(std::string(token.text), depth);
        default:
            return std::nullopt;
        }
    }

  private:
    bool at(SyntaxKind kind) const { return pos_ < tokens_.size() && tokens_[pos_].kind == kind; }

    void skip_comma() {
        if (at(SyntaxKind::COMMA)) {
            ++pos_;
        }
    }

    // A run of minus signs is counted rather than recursed into, so that any number of them
    // reads without nesting; each one flips the sign of the number after the run.
    std::optional<Value> negated(std::size_t depth) {
        bool negative = true;
        while (at(SyntaxKind::MINUS)) {
            negative = !negative;
            ++pos_;
        }
        auto inner = value(depth);
        if (!inner) {
            return std::nullopt;
        }
        if (auto* integer = std::get_if<Value::Int>(&inner->kind)) {
            // The digits alone never reach the smallest integer, so the sign always flips.
            integer->value = negative ? -integer->value : integer->value;
            return inner;
        }
        if (auto* number = std::get_if<Value::Number>(&inner->kind)) {
            number->value = negative ? -number->value : number->value;
            return inner;
        }
        return std::nullopt;
    }

    // Values up to the closing token, each optionally followed by one comma.
    std::optional<std::vector<Value>> items(SyntaxKind close, std::size_t depth) {
        std::vector<Value> items;
        while (!at(close)) {
            auto item = value(depth + 1);
            if (!item) {
                return std::nullopt;
            }
            items.push_back(std::move(*item));
            skip_comma();
        }
        ++pos_;
        return items;
    }

    std::optional<Value> point(std::size_t depth) {
        const auto parts = items(SyntaxKind::R_PAREN, depth);
        if (!parts || parts->size() < 2 || parts->size() > 3) {
            return std::nullopt;
        }
        const auto x = point_coordinate((*parts)[0], length_dim);
        const auto y = point_coordinate((*parts)[1], length_dim);
        const auto angle =
            parts->size() == 3 ? point_coordinate((*parts)[2], angle_dim) : std::optional(0.0);
        if (!x || !y || !angle) {
            return std::nullopt;
        }
        return Value{Value::Point{*x, *y, *angle}};
    }

    std::optional<Value> list(std::size_t depth) {
        auto list = items(SyntaxKind::R_BRACK, depth);
        if (!list) {
            return std::nullopt;
        }
        return Value{Value::List{std::move(*list)}};
    }

    std::optional<Value> named(std::string name, std::size_t depth) {
        Value::Named named{std::move(name), {}};
        if (!at(SyntaxKind::L_PAREN)) {
            return Value{std::move(named)};
        }
        ++pos_;
        while (!at(SyntaxKind::R_PAREN)) {
            if (!at(SyntaxKind::IDENT)) {
                return std::nullopt;
            }
            std::string arg(tokens_[pos_++].text);
            if (!at(SyntaxKind::EQ)) {
                return std::nullopt;
            }
            ++pos_;
            auto arg_value = value(depth + 1);
            if (!arg_value) {
                return std::nullopt;
            }
            named.args.emplace_back(std::move(arg), std::move(*arg_value));
            skip_comma();
        }
        ++pos_;
        return Value{std::move(named)};
    }

    std::span<const Token> tokens_;
    std::size_t& pos_;
};

} // namespace

std::string Value::to_literal() const {
    std::string text;
    std::visit(LiteralWriter{text, DimensionNote::Written, DimensionNote::Written}, kind);
    return text;
}

std::string Value::stored_literal(Stored where) const {
    const DimensionNote outer =
        where == Stored::ToTheEnd ? DimensionNote::Written : DimensionNote::Left;
    std::string text;
    std::visit(LiteralWriter{text, outer, DimensionNote::Left}, kind);
    return text;
}

std::optional<std::vector<Token>> literal_tokens(std::string_view text, bool stop_at_comment) {
    const auto lexed = syntax::lexer::lex(text);
    if (!lexed.errors.empty()) {
        return std::nullopt;
    }
    std::vector<Token> tokens;
    std::size_t offset = 0;
    for (const auto& token : lexed.tokens) {
        const std::string_view token_text = text.substr(offset, token.len);
        offset += token.len;
        if (token.kind == SyntaxKind::COMMENT && stop_at_comment) {
            break;
        }
        if (token.kind != SyntaxKind::WHITESPACE && token.kind != SyntaxKind::COMMENT) {
            tokens.push_back({token.kind, token_text});
        }
    }
    return tokens;
}

std::optional<Value> Value::parse_literal(std::string_view text) {
    const auto tokens = literal_tokens(text, true);
    if (!tokens) {
        return std::nullopt;
    }
    std::size_t pos = 0;
    auto value = parse_value(*tokens, pos);
    if (!value || pos != tokens->size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<Value> parse_value(std::span<const Token> tokens, std::size_t& pos) {
    return ValueReader(tokens, pos).value(0);
}

bool nests_too_deep(std::span<const Token> tokens) {
    std::size_t depth = 0;
    for (const Token& token : tokens) {
        if (token.kind == SyntaxKind::L_PAREN || token.kind == SyntaxKind::L_BRACK) {
            if (++depth > max_literal_depth) {
                return true;
            }
        } else if ((token.kind == SyntaxKind::R_PAREN || token.kind == SyntaxKind::R_BRACK) &&
                   depth > 0) {
            --depth;
        }
    }
    return false;
}

std::optional<std::string> unwritable_number(const Value& value) {
    const auto not_finite = [](double number) -> std::optional<std::string> {
        if (std::isfinite(number)) {
            return std::nullopt;
        }
        return "the number " + units::format_number(number);
    };
    if (const auto* number = std::get_if<Value::Number>(&value.kind)) {
        return not_finite(number->value);
    }
    if (const auto* point = std::get_if<Value::Point>(&value.kind)) {
        for (const double coordinate : {point->x, point->y, point->angle}) {
            if (auto text = not_finite(coordinate)) {
                return text;
            }
        }
    } else if (const auto* list = std::get_if<Value::List>(&value.kind)) {
        for (const Value& item : list->items) {
            if (auto text = unwritable_number(item)) {
                return text;
            }
        }
    } else if (const auto* named = std::get_if<Value::Named>(&value.kind)) {
        for (const auto& [name, arg] : named->args) {
            if (auto text = unwritable_number(arg)) {
                return text;
            }
        }
    }
    return std::nullopt;
}

} // namespace quorvane_dsl::ir
