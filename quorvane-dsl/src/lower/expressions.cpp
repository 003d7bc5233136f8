// Expressions, argument lists, written types and the stored values of imported IR cells.
#include <array>
#include <charconv>
#include <limits>

#include "lower/lowerer.hpp"
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

// The first N expression children, gathered in one pass without a list on the heap.
template <std::size_t N>
std::array<std::optional<ast::Expr>, N> leading_exprs(const SyntaxNode& node) {
    // Walked by index, so that passing a child costs no count on the shared tree.
    std::array<std::optional<ast::Expr>, N> found;
    std::size_t count = 0;
    const syntax::Tree& tree = *node.tree();
    constexpr auto step = syntax::Step::ChildNodes;
    for (std::uint32_t child = syntax::detail::first_index(tree, step, node.index());
         child != syntax::no_index && count < N;
         child = syntax::detail::next_index(tree, step, node.index(), child)) {
        if (auto e = ast::Expr::cast(SyntaxNode(node.tree(), child))) {
            found[count++] = std::move(e);
        }
    }
    return found;
}

} // namespace

hir::ExprId Lowerer::expr(const std::optional<ast::Expr>& expr, source::TextRange fallback) {
    return expr ? lower_expr(*expr) : missing(fallback);
}

hir::ExprId Lowerer::number(const SyntaxNode& literal, const syntax::SyntaxToken& token) {
    const auto parts = syntax::lexer::split_number(token.text());
    std::optional<units::Unit> unit;
    if (!parts.unit.empty()) {
        unit = units::parse_unit(parts.unit);
        if (!unit) {
            error(src(literal),
                  "unknown unit `" + std::string(parts.unit) + "`" + unit_hint(parts.unit));
            return missing(literal.text_range());
        }
    }
    const bool integer = parts.numeral.find('.') == std::string_view::npos;
    // An integer is exact, so it must not pass through an f64 that would round it.
    if (integer && !unit) {
        const auto exact = parse_i64(parts.numeral);
        if (!exact) {
            error(src(literal),
                  "integer literal `" + std::string(token.text()) + "` does not fit in 64 bits");
            return missing(literal.text_range());
        }
        return hir_.add_expr(hir::Expr{hir::Expr::Number::exact_integer(*exact)}, src(literal));
    }
    return hir_.add_expr(hir::Expr{hir::Expr::Number::of(parse_f64(parts.numeral), unit, integer)},
                         src(literal));
}

// A chain of operators is as long as the source makes it, so its left operands are followed in
// a loop, never by recursion; the items come out in the order recursion would give them.
hir::ExprId Lowerer::binary_chain(const ast::Expr& outermost) {
    // The right operands may hold chains of their own, which stack above this one.
    const std::size_t first = chain_stack_.size();
    chain_stack_.push_back(outermost);
    std::optional<ast::Expr> leftmost;
    while (true) {
        leftmost = leading_exprs<1>(chain_stack_.back().syntax())[0];
        if (!leftmost || leftmost->kind() != ast::Expr::Kind::BinExpr) {
            break;
        }
        chain_stack_.push_back(*leftmost);
    }
    hir::ExprId lhs = expr(leftmost, chain_stack_.back().syntax().text_range());
    for (std::size_t link = chain_stack_.size(); link-- > first;) {
        const SyntaxNode node = chain_stack_[link].syntax();
        const hir::ExprId rhs = expr(leading_exprs<2>(node)[1], node.text_range());
        const auto token = chain_stack_[link].op();
        const auto op = token ? binary_op(token->kind()) : std::nullopt;
        hir::Expr lowered =
            op ? hir::Expr{hir::Expr::Binary{*op, lhs, rhs}} : hir::Expr{hir::Expr::Missing{}};
        lhs = hir_.add_expr(std::move(lowered), src(node));
    }
    chain_stack_.erase(chain_stack_.begin() + static_cast<std::ptrdiff_t>(first),
                       chain_stack_.end());
    return lhs;
}

hir::ExprId Lowerer::lower_expr(const ast::Expr& e) {
    const SyntaxNode& node = e.syntax();
    const source::TextRange range = node.text_range();
    const auto push = [&](hir::Expr expr) { return hir_.add_expr(std::move(expr), src(node)); };
    switch (e.kind()) {
    case ast::Expr::Kind::Literal: {
        const auto token = e.leaf();
        if (!token) {
            return push({hir::Expr::Missing{}});
        }
        switch (token->kind()) {
        case SyntaxKind::NUMBER:
            return number(node, *token);
        case SyntaxKind::STRING:
            return push(
                {hir::Expr::Str{hir_.texts.intern(syntax::lexer::unescape_string(token->text()))}});
        case SyntaxKind::TRUE_KW:
            return push({hir::Expr::Bool{true}});
        case SyntaxKind::FALSE_KW:
            return push({hir::Expr::Bool{false}});
        default:
            return push({hir::Expr::Missing{}});
        }
    }
    case ast::Expr::Kind::NameRef:
        return push({hir::Expr::Name{resolve(node)}});
    case ast::Expr::Kind::SelfExpr:
        return push({hir::Expr::SelfRef{}});
    case ast::Expr::Kind::ParenExpr:
        // Parentheses make no expression of their own.
        return expr(ast::first_expr(node), range);
    case ast::Expr::Kind::PointExpr: {
        const auto parts = leading_exprs<3>(node);
        const hir::ExprId x = expr(parts[0], range);
        const hir::ExprId y = expr(parts[1], range);
        std::optional<hir::ExprId> angle;
        if (parts[2]) {
            angle = lower_expr(*parts[2]);
        }
        return push({hir::Expr::Point{x, y, angle}});
    }
    case ast::Expr::Kind::ListExpr: {
        const std::size_t from = element_stack_.size();
        for (const ast::Expr& part : e.operands()) {
            const hir::ExprId element = lower_expr(part);
            element_stack_.push_back(element);
        }
        const hir::ExprRun elements = hir_.add_elements(std::span(element_stack_).subspan(from));
        element_stack_.resize(from);
        return push({hir::Expr::List{elements}});
    }
    case ast::Expr::Kind::BinExpr:
        return binary_chain(e);
    case ast::Expr::Kind::PrefixExpr: {
        const auto token = e.op();
        const hir::PrefixOp op =
            token && token->kind() == SyntaxKind::MINUS ? hir::PrefixOp::Neg : hir::PrefixOp::Not;
        const hir::ExprId operand = expr(ast::first_expr(node), range);
        return push({hir::Expr::Prefix{op, operand}});
    }
    case ast::Expr::Kind::FieldExpr: {
        const hir::ExprId base = expr(ast::first_expr(node), range);
        const auto field = e.field();
        if (!field) {
            return push({hir::Expr::Missing{}});
        }
        return push({hir::Expr::Field{base, hir_.name_srcs.alloc(src(*field)),
                                      hir_.texts.intern(ast::Name{*field}.text())}});
    }
    case ast::Expr::Kind::IndexExpr: {
        const hir::ExprId base = expr(ast::first_expr(node), range);
        const hir::ExprId index = expr(ast::child_after(node, SyntaxKind::L_BRACK), range);
        return push({hir::Expr::Index{base, index}});
    }
    case ast::Expr::Kind::CallExpr: {
        const hir::ExprId callee = expr(ast::first_expr(node), range);
        const std::size_t from = arg_stack_.size();
        if (const auto list = e.arg_list()) {
            for (const ast::Argument& argument : ast::arguments(*list)) {
                hir::Arg arg;
                if (argument.name) {
                    arg.name = hir::NamedArg{hir_.texts.intern(ast::Name{*argument.name}.text()),
                                             src(*argument.name)};
                }
                arg.value = expr(argument.value, range);
                arg_stack_.push_back(arg);
            }
        }
        return push({hir::Expr::Call{callee, take_args(from)}});
    }
    }
    return push({hir::Expr::Missing{}});
}

hir::ArgRun Lowerer::args(const SyntaxNode& node) {
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
    for (const SyntaxNode& arg : node.children()) {
        if (arg.kind() != SyntaxKind::ARG) {
            continue;
        }
        hir::Arg lowered;
        if (const auto name = ast::name_child(arg)) {
            lowered.name = hir::NamedArg{hir_.texts.intern(name->text()), src(name->syntax)};
        }
        lowered.value = expr(ast::first_expr(arg), arg.text_range());
        arg_stack_.push_back(lowered);
    }
}

hir::TypeAnn type_ann(hir::Texts& texts, source::FileId file, const ast::Type& type) {
    hir::TypeAnn result;
    std::optional<ast::Type> current = type;
    // Brackets nest as deep as the parser allows; count them instead of recursing.
    while (current->is_list()) {
        const auto element = current->element();
        if (!element) {
            result.src = {current->syntax.text_range(), file};
            return result;
        }
        ++result.lists;
        current = element;
    }
    result.name = texts.intern(current->name());
    result.src = {current->syntax.text_range(), file};
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
