// Expressions, argument lists, written types and the stored values of imported IR cells.
#include <array>
#include <charconv>
#include <limits>

#include "base/stack.hpp"
#include "lower/lowerer.hpp"
#include "lower/walk.hpp"
#include "syntax/lexer.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::lower {
namespace {

constexpr std::array<std::pair<SyntaxKind, hir::BinOp>, 17> binary_ops = {{
    {SyntaxKind::PLUS, hir::BinOp::Add},
    {SyntaxKind::MINUS, hir::BinOp::Sub},
    {SyntaxKind::STAR, hir::BinOp::Mul},
    {SyntaxKind::SLASH, hir::BinOp::Div},
    {SyntaxKind::PERCENT, hir::BinOp::Rem},
    {SyntaxKind::EQ2, hir::BinOp::Eq},
    {SyntaxKind::NEQ, hir::BinOp::Ne},
    {SyntaxKind::LT, hir::BinOp::Lt},
    {SyntaxKind::LTEQ, hir::BinOp::Le},
    {SyntaxKind::GT, hir::BinOp::Gt},
    {SyntaxKind::GTEQ, hir::BinOp::Ge},
    {SyntaxKind::AMP2, hir::BinOp::And},
    {SyntaxKind::PIPE2, hir::BinOp::Or},
    {SyntaxKind::DOT2, hir::BinOp::Range},
    {SyntaxKind::AMP, hir::BinOp::BitAnd},
    {SyntaxKind::PIPE, hir::BinOp::BitOr},
    {SyntaxKind::CARET, hir::BinOp::BitXor},
}};

std::optional<hir::BinOp> binary_op(SyntaxKind kind) {
    for (const auto& [token, op] : binary_ops) {
        if (token == kind) {
            return op;
        }
    }
    return std::nullopt;
}

// "; did you mean `nm`?" for a unit within two edits, else the list of units.
std::string unit_hint(std::string_view suffix) {
    static constexpr std::array<std::string_view, 5> units = {"nm", "um", "mm", "deg", "rad"};
    std::string_view best = units[0];
    std::size_t best_distance = units::edit_distance(suffix, best);
    for (std::string_view unit : units) {
        // Only a strictly closer unit replaces an earlier one.
        if (const std::size_t distance = units::edit_distance(suffix, unit);
            distance < best_distance) {
            best = unit;
            best_distance = distance;
        }
    }
    if (best_distance <= 2) {
        return "; did you mean `" + std::string(best) + "`?";
    }
    return "; known units: nm, um, mm, deg, rad";
}

double parse_f64(std::string_view digits) {
    // Most numbers with a unit are a few digits alone (`500nm`, `2um`): read here, as reading a
    // general decimal costs several times more. Below 2^53 such an integer is its f64 exactly.
    if (digits.size() <= 15 && !digits.empty()) {
        std::uint64_t whole = 0;
        bool plain = true;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                plain = false;
                break;
            }
            whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
        }
        if (plain) {
            return static_cast<double>(whole);
        }
    }
    double value = 0;
    const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    // Too large for an f64 rounds to infinity, as reading a decimal does; anything unreadable is 0.
    if (fault == std::errc::result_out_of_range) {
        return std::numeric_limits<double>::infinity();
    }
    return fault == std::errc{} && end == digits.data() + digits.size() ? value : 0;
}

std::optional<std::int64_t> parse_i64(std::string_view digits) {
    std::int64_t value = 0;
    const auto [end, fault] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (fault != std::errc{} || end != digits.data() + digits.size()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

hir::ExprId Lowerer::expr(const std::optional<ast::Expr>& expr, source::TextRange fallback) {
    return expr ? lower_expr(*expr) : missing(fallback);
}

// Below the handle's node, the tree is walked by index.
hir::ExprId Lowerer::lower_expr(const ast::Expr& expr) {
    tree_ = expr.syntax().tree().get();
    return lower_at(expr.syntax().index());
}

// The fallback's range is taken only when the value is missing: a range costs ranks of the tree.
hir::ExprId Lowerer::expr_at(std::uint32_t node, std::uint32_t fallback) {
    return node != syntax::no_index ? lower_at(node) : missing(tree_->range(fallback));
}

hir::ExprId Lowerer::number(source::TextRange literal, std::string_view token) {
    const auto parts = syntax::lexer::split_number(token);
    std::optional<units::Unit> unit;
    if (!parts.unit.empty()) {
        unit = units::parse_unit(parts.unit);
        if (!unit) {
            error(src(literal),
                  "unknown unit `" + std::string(parts.unit) + "`" + unit_hint(parts.unit));
            return missing(literal);
        }
    }
    const bool integer = parts.numeral.find('.') == std::string_view::npos;
    // An integer is exact, so it must not pass through an f64 that would round it.
    if (integer && !unit) {
        const auto exact = parse_i64(parts.numeral);
        if (!exact) {
            error(src(literal),
                  "integer literal `" + std::string(token) + "` does not fit in 64 bits");
            return missing(literal);
        }
        return hir_.add_expr(hir::Expr{hir::Expr::Number::exact_integer(*exact)}, src(literal));
    }
    return hir_.add_expr(hir::Expr{hir::Expr::Number::of(parse_f64(parts.numeral), unit, integer)},
                         src(literal));
}

// A chain of operators is as long as the source makes it, so its left operands are followed in
// a loop, never by recursion; the items come out in the order recursion would give them.
hir::ExprId Lowerer::binary_chain(std::uint32_t outermost) {
    const syntax::Tree& tree = *tree_;
    // The right operands may hold chains of their own, which stack above this one.
    const std::size_t first = chain_stack_.size();
    // Each link's operands and operator are found on the way down, in one pass over it.
    const auto push_link = [&](std::uint32_t node) {
        const walk::ExprParts parts = walk::expr_parts(tree, node, SyntaxKind::BIN_EXPR);
        chain_stack_.push_back({node, parts.first, parts.second, parts.token});
    };
    push_link(outermost);
    while (chain_stack_.back().lhs != syntax::no_index &&
           tree.kind(chain_stack_.back().lhs) == SyntaxKind::BIN_EXPR) {
        push_link(chain_stack_.back().lhs);
    }
    hir::ExprId lhs = expr_at(chain_stack_.back().lhs, chain_stack_.back().node);
    for (std::size_t link = chain_stack_.size(); link-- > first;) {
        const ChainLink parts = chain_stack_[link];
        const hir::ExprId rhs = expr_at(parts.rhs, parts.node);
        const auto op =
            parts.op != syntax::no_index ? binary_op(tree.kind(parts.op)) : std::nullopt;
        const hir::Expr lowered =
            op ? hir::Expr{hir::Expr::Binary{*op, lhs, rhs}} : hir::Expr{hir::Expr::Missing{}};
        lhs = hir_.add_expr(lowered, src_at(parts.node));
    }
    chain_stack_.resize(first);
    return lhs;
}

hir::ExprId Lowerer::lower_at(std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    if (!base::stack_room()) [[unlikely]] {
        too_deep(tree.range(node));
        return missing(tree.range(node));
    }
    // Operator chains and parentheses make no expression at this node, so take no range of it.
    switch (tree.kind(node)) {
    case SyntaxKind::BIN_EXPR:
        return binary_chain(node);
    case SyntaxKind::PAREN_EXPR:
        return expr_at(walk::first_expr(tree, node), node);
    default:
        break;
    }
    const source::TextRange range = tree.range(node);
    const auto push = [&](const hir::Expr& expr) { return hir_.add_expr(expr, src(range)); };
    switch (tree.kind(node)) {
    case SyntaxKind::LITERAL: {
        const std::uint32_t token = walk::first_token(tree, node);
        if (token == syntax::no_index) {
            return push({hir::Expr::Missing{}});
        }
        switch (tree.kind(token)) {
        case SyntaxKind::NUMBER:
            return number(range, walk::text(tree, token));
        case SyntaxKind::STRING:
            return push({hir::Expr::Str{
                hir_.texts.intern(syntax::lexer::unescape_string(walk::text(tree, token)))}});
        case SyntaxKind::TRUE_KW:
            return push({hir::Expr::Bool{true}});
        case SyntaxKind::FALSE_KW:
            return push({hir::Expr::Bool{false}});
        default:
            return push({hir::Expr::Missing{}});
        }
    }
    case SyntaxKind::NAME_REF:
        return push({hir::Expr::Name{resolve(node, range)}});
    case SyntaxKind::SELF_EXPR:
        return push({hir::Expr::SelfRef{}});
    case SyntaxKind::POINT_EXPR: {
        const auto parts = walk::leading_exprs<3>(tree, node);
        const hir::ExprId x = expr_at(parts[0], node);
        const hir::ExprId y = expr_at(parts[1], node);
        std::optional<hir::ExprId> angle;
        if (parts[2] != syntax::no_index) {
            angle = lower_at(parts[2]);
        }
        return push({hir::Expr::Point{x, y, angle}});
    }
    case SyntaxKind::LIST_EXPR: {
        const std::size_t from = element_stack_.size();
        walk::Children children(tree, node);
        for (std::uint32_t child = children.next(); child != syntax::no_index;
             child = children.next()) {
            if (walk::is_expr(tree.kind(child))) {
                const hir::ExprId element = lower_at(child);
                element_stack_.push_back(element);
            }
        }
        const hir::ExprRun elements = hir_.add_elements(std::span(element_stack_).subspan(from));
        element_stack_.resize(from);
        return push({hir::Expr::List{elements}});
    }
    case SyntaxKind::PREFIX_EXPR: {
        const walk::ExprParts parts = walk::expr_parts(tree, node, SyntaxKind::PREFIX_EXPR);
        const hir::PrefixOp op =
            parts.token != syntax::no_index && tree.kind(parts.token) == SyntaxKind::MINUS
                ? hir::PrefixOp::Neg
                : hir::PrefixOp::Not;
        const hir::ExprId operand = expr_at(parts.first, node);
        return push({hir::Expr::Prefix{op, operand}});
    }
    case SyntaxKind::FIELD_EXPR: {
        const walk::ExprParts parts = walk::expr_parts(tree, node, SyntaxKind::DOT);
        const hir::ExprId base = expr_at(parts.first, node);
        // The base may itself be a NAME_REF; the field's is the one after the dot.
        const std::uint32_t field = parts.after;
        if (field == syntax::no_index || tree.kind(field) != SyntaxKind::NAME_REF) {
            return push({hir::Expr::Missing{}});
        }
        return push({hir::Expr::Field{base, hir_.name_srcs.alloc(src_at(field)),
                                      hir_.texts.intern(walk::name_text(tree, field))}});
    }
    case SyntaxKind::INDEX_EXPR: {
        const walk::ExprParts parts = walk::expr_parts(tree, node, SyntaxKind::L_BRACK);
        const hir::ExprId base = expr_at(parts.first, node);
        const hir::ExprId index = expr_at(parts.after, node);
        return push({hir::Expr::Index{base, index}});
    }
    case SyntaxKind::CALL_EXPR: {
        const walk::ExprParts parts = walk::expr_parts(tree, node, SyntaxKind::ARG_LIST);
        const hir::ExprId callee = expr_at(parts.first, node);
        const std::size_t from = arg_stack_.size();
        if (parts.marked != syntax::no_index) {
            call_args(parts.marked, node);
        }
        return push({hir::Expr::Call{callee, take_args(from)}});
    }
    default:
        return push({hir::Expr::Missing{}});
    }
}

// The ARG children of an ARG_LIST and its bare positional expressions, in order; a value that
// is missing stands at the call.
void Lowerer::call_args(std::uint32_t list, std::uint32_t call) {
    const syntax::Tree& tree = *tree_;
    walk::Children children(tree, list);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        if (tree.kind(child) == SyntaxKind::ARG) {
            arg_stack_.push_back(arg(child, call));
        } else if (walk::is_expr(tree.kind(child))) {
            arg_stack_.push_back(hir::Arg{std::nullopt, lower_at(child)});
        }
    }
}

// The name and value of an ARG node, found in one pass; a missing value stands at `fallback`.
hir::Arg Lowerer::arg(std::uint32_t node, std::uint32_t fallback) {
    const syntax::Tree& tree = *tree_;
    std::uint32_t name = syntax::no_index;
    std::uint32_t value = syntax::no_index;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        if (tree.kind(child) == SyntaxKind::NAME && name == syntax::no_index) {
            name = child;
        } else if (walk::is_expr(tree.kind(child)) && value == syntax::no_index) {
            value = child;
        }
    }
    hir::Arg lowered;
    if (name != syntax::no_index) {
        lowered.name = hir::NamedArg{hir_.texts.intern(walk::name_text(tree, name)), src_at(name)};
    }
    lowered.value = expr_at(value, fallback);
    return lowered;
}

hir::ArgRun Lowerer::args(std::uint32_t node) {
    const std::size_t from = arg_stack_.size();
    push_args(node);
    return take_args(from);
}

hir::ArgRun Lowerer::take_args(std::size_t from) {
    const hir::ArgRun run = hir_.add_args(std::span(arg_stack_).subspan(from));
    arg_stack_.resize(from);
    return run;
}

void Lowerer::push_args(const SyntaxNode& node) {
    tree_ = node.tree().get();
    push_args(node.index());
}

void Lowerer::push_args(std::uint32_t node) {
    const syntax::Tree& tree = *tree_;
    walk::Children children(tree, node);
    for (std::uint32_t child = children.next(); child != syntax::no_index;
         child = children.next()) {
        if (tree.kind(child) == SyntaxKind::ARG) {
            arg_stack_.push_back(arg(child, child));
        }
    }
}

hir::TypeAnn type_ann(hir::Texts& texts, source::FileId file, const ast::Type& type) {
    return type_ann(texts, file, *type.syntax.tree(), type.syntax.index());
}

hir::TypeAnn type_ann(hir::Texts& texts, source::FileId file, const syntax::Tree& tree,
                      std::uint32_t type) {
    hir::TypeAnn result;
    std::uint32_t current = type;
    // Brackets nest as deep as the parser allows; count them instead of recursing.
    while (tree.kind(current) == SyntaxKind::LIST_TYPE) {
        const std::uint32_t element = walk::type_child(tree, current);
        if (element == syntax::no_index) {
            result.src = {tree.range(current), file};
            return result;
        }
        ++result.lists;
        current = element;
    }
    result.name = texts.intern(walk::name_text(tree, current));
    result.src = {tree.range(current), file};
    return result;
}

hir::ExprId Lowerer::value_expr(const ir::Value& value, hir::Src at) {
    const auto push = [&](hir::Expr expr) { return hir_.add_expr(std::move(expr), at); };
    const auto number = [&](double v, std::optional<units::Unit> unit) {
        return push({hir::Expr::Number::of(v, unit, false)});
    };
    return std::visit(
        [&](const auto& v) -> hir::ExprId {
            using V = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<V, ir::Value::Int>) {
                return push({hir::Expr::Number::exact_integer(v.value)});
            } else if constexpr (std::is_same_v<V, ir::Value::Number>) {
                if (v.dim == units::Dim{1, 0}) {
                    return number(v.value, units::Unit::Nanometre);
                }
                if (v.dim == units::Dim{0, 1}) {
                    return number(v.value, units::Unit::Degree);
                }
                if (v.dim == units::Dim{0, 0}) {
                    return number(v.value, std::nullopt);
                }
                return push({hir::Expr::Missing{}});
            } else if constexpr (std::is_same_v<V, ir::Value::String>) {
                return push({hir::Expr::Str{hir_.texts.intern(v.text)}});
            } else if constexpr (std::is_same_v<V, ir::Value::Bool>) {
                return push({hir::Expr::Bool{v.value}});
            } else if constexpr (std::is_same_v<V, ir::Value::Point>) {
                const hir::ExprId x = number(v.x, units::Unit::Nanometre);
                const hir::ExprId y = number(v.y, units::Unit::Nanometre);
                const hir::ExprId angle = number(v.angle, units::Unit::Degree);
                return push({hir::Expr::Point{x, y, angle}});
            } else if constexpr (std::is_same_v<V, ir::Value::List>) {
                std::vector<hir::ExprId> elements;
                elements.reserve(v.items.size());
                for (const ir::Value& item : v.items) {
                    elements.push_back(value_expr(item, at));
                }
                return push({hir::Expr::List{hir_.add_elements(elements)}});
            } else {
                const auto xs = hir_.xsection_by_name(v.name);
                if (!xs) {
                    return push({hir::Expr::Missing{}});
                }
                const hir::ExprId callee =
                    push({hir::Expr::Name{hir::Res{hir::Res::XSection{*xs}}}});
                if (v.args.empty()) {
                    return callee;
                }
                std::vector<hir::Arg> arguments;
                for (const auto& [name, arg] : v.args) {
                    arguments.push_back(
                        {hir::NamedArg{hir_.texts.intern(name), at}, value_expr(arg, at)});
                }
                return push({hir::Expr::Call{callee, hir_.add_args(arguments)}});
            }
        },
        value.kind);
}

} // namespace quorvane_dsl::lower
