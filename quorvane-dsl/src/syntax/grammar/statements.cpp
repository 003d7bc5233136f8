#include "syntax/grammar.hpp"

namespace quorvane_dsl::syntax::grammar {
namespace {

using enum SyntaxKind;

bool is_infix_operator(SyntaxKind kind) {
    switch (kind) {
    case DOT2:
    case EQ2:
    case NEQ:
    case LT:
    case LTEQ:
    case GT:
    case GTEQ:
    case PLUS:
    case MINUS:
    case STAR:
    case SLASH:
    case PERCENT:
    case AMP2:
    case PIPE2:
    case AMP:
    case PIPE:
    case CARET:
        return true;
    default:
        return false;
    }
}

// After "shape": a lone name (with an optional `with` clause) names a shape to build, anything
// that continues the name on its line makes the whole thing an expression.
bool shape_takes_name_form(Parser& p) {
    if (!p.at(IDENT)) {
        return false;
    }
    const SyntaxKind next = p.nth(1);
    if (next == END_OF_FILE || p.nth_starts_line(1)) {
        return true;
    }
    return !is_infix_operator(next) && next != L_PAREN && next != L_BRACK && next != COMMA &&
           next != DOT;
}

void shape_stmt(Parser& p) {
    const auto m = p.open();
    p.advance_as(SHAPE_KW);
    if (shape_takes_name_form(p)) {
        name_ref(p);
        if (p.at_contextual(WITH_KW)) {
            with_clause(p);
        }
    } else {
        const auto e = p.open();
        expr(p);
        if (p.at(COMMA)) {
            p.advance();
            expr(p);
        }
        p.close(e, SHAPE_EXPR);
    }
    as_name(p);
    shape_place(p);
    p.close(m, SHAPE_STMT);
}

void layer_block(Parser& p) {
    const auto m = p.open();
    p.advance_as(LAYER_KW);
    name_ref(p);
    block(p, BLOCK, false);
    p.close(m, LAYER_BLOCK);
}

void place_stmt(Parser& p) {
    const auto m = p.open();
    p.advance_as(PLACE_KW);
    if (p.at(STAR)) {
        p.advance();
    }
    if (p.at(L_BRACE)) {
        block(p, PLACE_BLOCK, true);
    } else {
        const auto spec = p.open();
        expr(p);
        place_spec_rest(p);
        p.close(spec, PLACE_SPEC);
    }
    p.close(m, PLACE_STMT);
}

void for_stmt(Parser& p, bool in_place) {
    const auto m = p.open();
    p.advance();
    name(p);
    p.expect(IN_KW);
    expr(p);
    block(p, BLOCK, in_place);
    p.close(m, FOR_STMT);
}

// An expression statement, an assignment, or a placement written without `place`.
void generic_stmt(Parser& p, bool in_place) {
    if (!at_expr_start(p)) {
        return;
    }
    const auto m = p.open();
    expr_bp(p, 0);
    if (p.at_contextual(AT_KW) || p.at_contextual(WITH_KW)) {
        if (!in_place) {
            p.error("a placement outside `place { }` needs the `place` keyword");
        }
        place_spec_rest(p);
        p.close(m, PLACE_SPEC);
    } else if (p.at(EQ)) {
        p.advance();
        expr(p);
        p.close(m, ASSIGN_STMT);
    } else {
        p.close(m, EXPR_STMT);
    }
}

// The value after `at`, `offset` or `rotate`, which must stand on the keyword's line.
void value_on_line(Parser& p, std::string_view message) {
    if (!p.starts_line() && at_expr_start(p)) {
        expr_bp(p, 0);
    } else {
        p.error(message);
    }
}

void at_location(Parser& p) {
    if (p.at_contextual(AT_KW)) {
        p.advance_as(AT_KW);
        value_on_line(p, "expected a location after `at`");
    } else {
        p.error("expected `at`");
    }
}

bool next_starts_shape(Parser& p) {
    switch (p.nth(1)) {
    case IDENT:
    case NUMBER:
    case STRING:
    case L_PAREN:
    case L_BRACK:
        return true;
    default:
        return false;
    }
}

bool next_starts_placement(Parser& p) {
    switch (p.nth(1)) {
    case IDENT:
    case L_BRACE:
    case STAR:
    case SELF_KW:
        return true;
    default:
        return false;
    }
}

} // namespace

bool statement_set(Parser& p) {
    return p.at(R_BRACE) || p.at(CELL_KW);
}

bool item_set(Parser& p) {
    return p.at(CELL_KW) || p.at(DEFINE_KW);
}

void stmt(Parser& p, bool in_place) {
    if (p.at_contextual(LAYER_KW) && p.nth(1) == IDENT) {
        layer_block(p);
    } else if (p.at_contextual(SHAPE_KW) && next_starts_shape(p)) {
        shape_stmt(p);
    } else if (p.at_contextual(CLONE_KW) && p.nth(1) == IDENT) {
        clone_stmt(p);
    } else if (p.at_contextual(PLACE_KW) && next_starts_placement(p)) {
        place_stmt(p);
    } else if (p.at(SEMI)) {
        p.advance();
    } else if (p.at(DEFINE_KW)) {
        define(p, DEFINE_STMT);
    } else if (p.at(FOR_KW)) {
        for_stmt(p, in_place);
    } else if (p.at(IF_KW)) {
        if_stmt(p, in_place);
    } else {
        generic_stmt(p, in_place);
    }
}

void block(Parser& p, SyntaxKind kind, bool in_place) {
    Nesting nesting(p);
    if (!nesting.deeper()) {
        return;
    }
    const auto m = p.open();
    if (!p.expect(L_BRACE)) {
        p.close(m, kind);
        return;
    }
    while (!p.eof() && !p.at(R_BRACE) && !p.at(CELL_KW)) {
        const std::uint32_t before = p.position();
        stmt(p, in_place);
        if (p.position() == before) {
            p.recover("expected a statement", statement_set);
        }
    }
    p.expect(R_BRACE);
    p.close(m, kind);
}

void if_stmt(Parser& p, bool in_place) {
    Nesting nesting(p);
    if (!nesting.deeper()) {
        return;
    }
    const auto m = p.open();
    p.advance();
    expr(p);
    block(p, BLOCK, in_place);
    if (p.at(ELSE_KW)) {
        p.advance();
        if (p.at(IF_KW)) {
            if_stmt(p, in_place);
        } else {
            block(p, BLOCK, in_place);
        }
    }
    p.close(m, IF_STMT);
}

void clone_stmt(Parser& p) {
    const auto m = p.open();
    p.advance_as(CLONE_KW);
    name_ref(p);
    as_name(p);
    shape_place(p);
    p.close(m, CLONE_STMT);
}

void shape_place(Parser& p) {
    if (p.starts_line() || !(p.at(DOT) || p.at_contextual(AT_KW))) {
        return;
    }
    const auto m = p.open();
    if (p.at(DOT)) {
        p.advance();
        name_ref(p);
    }
    at_location(p);
    modifiers(p);
    p.close(m, SHAPE_PLACE);
}

void place_spec_rest(Parser& p) {
    if (p.at_contextual(WITH_KW)) {
        with_clause(p);
    }
    at_location(p);
    modifiers(p);
    if (p.at_contextual(AS_KW)) {
        as_name(p);
    }
}

void modifiers(Parser& p) {
    for (;;) {
        if (p.at_contextual(OFFSET_KW)) {
            const auto m = p.open();
            p.advance_as(OFFSET_KW);
            value_on_line(p, "expected an offset after `offset`");
            p.close(m, OFFSET_MOD);
        } else if (p.at_contextual(ROTATE_KW)) {
            const auto m = p.open();
            p.advance_as(ROTATE_KW);
            value_on_line(p, "expected an angle after `rotate`");
            p.close(m, ROTATE_MOD);
        } else if (p.at_contextual(MIRROR_KW)) {
            const auto m = p.open();
            p.advance_as(MIRROR_KW);
            p.close(m, MIRROR_MOD);
        } else {
            return;
        }
    }
}

void with_clause(Parser& p) {
    Nesting nesting(p);
    if (!nesting.deeper()) {
        return;
    }
    const auto m = p.open();
    p.advance_as(WITH_KW);
    if (!p.at(L_BRACE)) {
        arg(p);
        while (p.at(COMMA)) {
            p.advance();
            arg(p);
        }
        p.close(m, WITH_CLAUSE);
        return;
    }
    p.advance();
    while (!p.eof() && !p.at(R_BRACE)) {
        if (at_expr_start(p)) {
            arg(p);
        } else if (p.at(COMMA) || p.at(SEMI)) {
            p.advance();
        } else if (p.at(CELL_KW)) {
            break;
        } else {
            skip_as_error(p, "expected an argument");
        }
    }
    p.expect(R_BRACE);
    p.close(m, WITH_CLAUSE);
}

void arg(Parser& p) {
    const auto m = p.open();
    if (p.at(IDENT) && p.nth(1) == EQ) {
        name(p);
        p.advance();
    }
    expr(p);
    p.close(m, ARG);
}

void as_name(Parser& p) {
    if (!p.at_contextual(AS_KW)) {
        p.error("expected `as <name>`");
        return;
    }
    const auto m = p.open();
    p.advance_as(AS_KW);
    name(p);
    p.close(m, AS_NAME);
}

void define(Parser& p, SyntaxKind kind) {
    const auto m = p.open();
    p.advance();
    name(p);
    if (p.at(COLON)) {
        p.advance();
        type_ref(p);
    }
    if (p.expect(EQ)) {
        expr(p);
    }
    p.close(m, kind);
}

void skip_as_error(Parser& p, std::string_view message) {
    const auto m = p.open();
    p.error(message);
    p.advance();
    p.close(m, ERROR);
}

void skip_too_deep(Parser& p) {
    const auto is_opener = [](SyntaxKind k) {
        return k == L_PAREN || k == L_BRACK || k == L_BRACE;
    };
    const auto is_closer = [](SyntaxKind k) {
        return k == R_PAREN || k == R_BRACK || k == R_BRACE;
    };
    // Nothing to skip here: the construct that went too deep was reported and skipped already,
    // up to this closing bracket.
    if (p.eof() || is_closer(p.nth(0))) {
        if (!p.has_errors()) {
            p.error("nested too deeply");
        }
        return;
    }
    p.error("nested too deeply");
    const auto m = p.open();
    std::uint64_t balance = 0;
    do {
        const SyntaxKind kind = p.nth(0);
        balance += is_opener(kind) ? 1 : 0;
        balance -= is_closer(kind) ? 1 : 0;
        p.advance();
    } while (!p.eof() && !p.at(CELL_KW) &&
             (balance > 0 || (!p.starts_line() && !is_closer(p.nth(0)))));
    p.close(m, ERROR);
}

} // namespace quorvane_dsl::syntax::grammar
