#include <array>

#include "syntax/grammar.hpp"

namespace quorvane_dsl::syntax::grammar {
namespace {

using enum SyntaxKind;

constexpr std::uint8_t prefix_bp = 19;

struct BindingPower {
    std::uint8_t left;
    std::uint8_t right;
};

// Indexed by kind minus DOT2; a left power of 0 marks the kinds of that stretch that are no
// infix operators (COLON, SEMI, EQ, BANG).
constexpr std::array<BindingPower, 21> infix_powers = {{
    {7, 8},   // DOT2
    {0, 0},   // COLON
    {0, 0},   // SEMI
    {0, 0},   // EQ
    {5, 6},   // EQ2
    {5, 6},   // NEQ
    {5, 6},   // LT
    {5, 6},   // LTEQ
    {5, 6},   // GT
    {5, 6},   // GTEQ
    {15, 16}, // PLUS
    {15, 16}, // MINUS
    {17, 18}, // STAR
    {17, 18}, // SLASH
    {17, 18}, // PERCENT
    {0, 0},   // BANG
    {3, 4},   // AMP2
    {1, 2},   // PIPE2
    {13, 14}, // AMP
    {9, 10},  // PIPE
    {11, 12}, // CARET
}};

const BindingPower* infix_power(SyntaxKind kind) {
    if (kind < DOT2 || kind > CARET) {
        return nullptr;
    }
    const BindingPower& power = infix_powers[kind::to_raw(kind) - kind::to_raw(DOT2)];
    return power.left == 0 ? nullptr : &power;
}

void single_token_node(Parser& p, SyntaxKind kind) {
    const auto m = p.open();
    p.advance();
    p.close(m, kind);
}

// "(" expr ")" or a point of two or three components.
void paren_or_point(Parser& p) {
    const auto m = p.open();
    p.advance();
    expr(p);
    if (!p.at(COMMA)) {
        p.expect(R_PAREN);
        p.close(m, PAREN_EXPR);
        return;
    }
    p.advance();
    expr(p);
    if (p.at(COMMA)) {
        p.advance();
        expr(p);
    }
    p.expect(R_PAREN);
    p.close(m, POINT_EXPR);
}

void list_expr(Parser& p) {
    const auto m = p.open();
    p.advance();
    while (!p.eof() && !p.at(R_BRACK) && at_expr_start(p)) {
        expr_bp(p, 0);
        if (!p.at(COMMA)) {
            break;
        }
        p.advance();
    }
    p.expect(R_BRACK);
    p.close(m, LIST_EXPR);
}

void prefix_expr(Parser& p) {
    const auto m = p.open();
    p.advance();
    if (at_expr_start(p)) {
        expr_bp(p, prefix_bp);
    } else {
        p.error("expected an expression");
    }
    p.close(m, PREFIX_EXPR);
}

// Returns false when nothing could start here (the error is reported).
bool primary(Parser& p) {
    switch (p.nth(0)) {
    case IDENT:
        single_token_node(p, NAME_REF);
        return true;
    case NUMBER:
    case STRING:
    case TRUE_KW:
    case FALSE_KW:
        single_token_node(p, LITERAL);
        return true;
    case SELF_KW:
        single_token_node(p, SELF_EXPR);
        return true;
    case L_PAREN:
        paren_or_point(p);
        return true;
    case L_BRACK:
        list_expr(p);
        return true;
    case MINUS:
    case BANG:
        prefix_expr(p);
        return true;
    default:
        p.error("expected an expression");
        return false;
    }
}

void field_suffix(Parser& p) {
    p.advance();
    if (p.at(IDENT)) {
        name_ref(p);
    } else if (p.at(NUMBER)) {
        p.error("use `[i]` to pick a location, e.g. `output[0]`");
        p.advance();
    } else {
        p.error("expected a field name");
    }
}

void index_suffix(Parser& p) {
    p.advance();
    expr(p);
    p.expect(R_BRACK);
}

void call_args(Parser& p) {
    const auto m = p.open();
    p.advance();
    while (!p.eof() && !p.at(R_PAREN) && at_expr_start(p)) {
        if (p.at(IDENT) && p.nth(1) == EQ) {
            const auto a = p.open();
            name(p);
            p.advance();
            expr(p);
            p.close(a, ARG);
        } else {
            expr_bp(p, 0);
        }
        if (!p.at(COMMA)) {
            break;
        }
        p.advance();
    }
    p.expect(R_PAREN);
    p.close(m, ARG_LIST);
}

// Field access, indexing and calls on the operand that begins at event `start`. Returns false
// when the nesting limit stopped the loop.
bool postfix_loop(Parser& p, std::uint32_t start, Nesting& nesting) {
    while (!p.starts_line()) {
        const SyntaxKind kind = p.nth(0);
        if (kind != DOT && kind != L_BRACK && kind != L_PAREN) {
            return true;
        }
        if (!nesting.deeper()) {
            return false;
        }
        const auto m = p.open_before(start);
        switch (kind) {
        case DOT:
            field_suffix(p);
            p.close(m, FIELD_EXPR);
            break;
        case L_BRACK:
            index_suffix(p);
            p.close(m, INDEX_EXPR);
            break;
        default:
            call_args(p);
            p.close(m, CALL_EXPR);
            break;
        }
    }
    return true;
}

// A chain of operators wraps its left operand again and again without going deeper here, and
// every reader of the tree follows such left operands in a loop: a chain is not nesting. Only
// the right operands, one per binding power at most, recurse. The wrapping nodes are opened
// together once the chain ends, so a long chain costs no more than a short one per operator.
void infix_loop(Parser& p, std::uint32_t start, std::uint8_t min_bp) {
    std::uint32_t links = 0;
    while (!p.starts_line()) {
        const BindingPower* power = infix_power(p.nth(0));
        if (power == nullptr || power->left < min_bp) {
            break;
        }
        p.advance();
        if (at_expr_start(p)) {
            expr_bp(p, power->right);
        } else {
            p.error("expected an expression");
        }
        p.close_wrapper();
        ++links;
    }
    p.open_wrappers_before(start, links, BIN_EXPR);
}

} // namespace

bool at_expr_start(Parser& p) {
    switch (p.nth(0)) {
    case IDENT:
    case NUMBER:
    case STRING:
    case L_PAREN:
    case L_BRACK:
    case MINUS:
    case BANG:
    case SELF_KW:
    case TRUE_KW:
    case FALSE_KW:
        return true;
    default:
        return false;
    }
}

// Postfix operators wrap their operand after it is parsed, so each wrap counts as one level of
// nesting: a chain of a thousand calls is as deep a tree as a thousand parentheses.
void expr_bp(Parser& p, std::uint8_t min_bp) {
    Nesting nesting(p);
    if (!nesting.deeper()) {
        return;
    }
    const std::uint32_t start = p.event_count();
    if (!primary(p)) {
        return;
    }
    if (postfix_loop(p, start, nesting)) {
        infix_loop(p, start, min_bp);
    }
}

void expr(Parser& p) {
    if (at_expr_start(p)) {
        expr_bp(p, 0);
    } else {
        p.error("expected an expression");
    }
}

void name_ref(Parser& p) {
    if (p.at(IDENT)) {
        single_token_node(p, NAME_REF);
    } else {
        p.error("expected a name");
    }
}

void name(Parser& p) {
    if (p.at(IDENT)) {
        single_token_node(p, NAME);
    } else {
        p.error("expected a name");
    }
}

void type_ref(Parser& p) {
    if (p.at(IDENT)) {
        single_token_node(p, NAME_TYPE);
        return;
    }
    if (!p.at(L_BRACK)) {
        p.error("expected a type");
        return;
    }
    Nesting nesting(p);
    if (!nesting.deeper()) {
        return;
    }
    const auto m = p.open();
    p.advance();
    type_ref(p);
    p.expect(R_BRACK);
    p.close(m, LIST_TYPE);
}

} // namespace quorvane_dsl::syntax::grammar
