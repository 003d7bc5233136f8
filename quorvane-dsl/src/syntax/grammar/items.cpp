#include "syntax/grammar.hpp"

namespace quorvane_dsl::syntax::grammar {
namespace {

using enum SyntaxKind;

void import_item(Parser& p) {
    const auto m = p.open();
    p.advance_as(IMPORT_KW);
    p.expect(STRING);
    p.close(m, IMPORT);
}

// GDSII stores layer and datatype numbers in 16 bits that readers take as signed, so numbers
// from 32768 on come back negative; a leading minus lets such layers be written as read.
void gds_number(Parser& p) {
    if (p.at(MINUS)) {
        p.advance();
    }
    p.expect(NUMBER);
}

void gds_spec(Parser& p) {
    const auto m = p.open();
    gds_number(p);
    p.expect(SLASH);
    gds_number(p);
    p.close(m, GDS_SPEC);
}

void layer_prop(Parser& p) {
    const auto m = p.open();
    if (p.at_contextual(GDS_KW)) {
        p.advance_as(GDS_KW);
        gds_spec(p);
    } else {
        name(p);
        expr(p);
    }
    p.close(m, LAYER_PROP);
}

void layer_def(Parser& p) {
    const auto m = p.open();
    name(p);
    if (p.expect(L_BRACE)) {
        while (!p.eof() && !p.at(R_BRACE)) {
            if (p.at(IDENT)) {
                layer_prop(p);
            } else if (p.at(SEMI)) {
                p.advance();
            } else if (p.at(CELL_KW)) {
                break;
            } else {
                skip_as_error(p, "expected a layer property such as `gds 1/0`");
            }
        }
        p.expect(R_BRACE);
    }
    p.close(m, LAYER_DEF);
}

void layer_table(Parser& p) {
    const auto m = p.open();
    p.advance();
    p.advance_as(LAYER_KW);
    p.expect(L_BRACE);
    while (!p.eof() && !p.at(R_BRACE)) {
        if (p.at(IDENT)) {
            layer_def(p);
        } else if (p.at(SEMI)) {
            p.advance();
        } else if (p.at(CELL_KW)) {
            break;
        } else {
            skip_as_error(p, "expected a layer name");
        }
    }
    p.expect(R_BRACE);
    p.close(m, LAYER_TABLE);
}

// A band of a cross-section: its layer, its width and an optional offset, all on one line.
void xs_section(Parser& p) {
    const auto m = p.open();
    name_ref(p);
    if (!p.starts_line() && at_expr_start(p)) {
        expr_bp(p, 0);
    } else {
        p.error("expected the width of the section");
    }
    if (!p.starts_line() && p.at_contextual(OFFSET_KW)) {
        const auto offset = p.open();
        p.advance_as(OFFSET_KW);
        if (!p.starts_line() && at_expr_start(p)) {
            expr_bp(p, 0);
        } else {
            p.error("expected an offset after `offset`");
        }
        p.close(offset, OFFSET_MOD);
    }
    p.close(m, XS_SECTION);
}

bool at_xsection_with(Parser& p) {
    if (!p.at_contextual(WITH_KW)) {
        return false;
    }
    const SyntaxKind next = p.nth(1);
    return next == L_BRACE || (next == IDENT && p.nth(2) == EQ);
}

void xsection_def(Parser& p) {
    const auto m = p.open();
    p.advance();
    p.advance_as(XSECTION_KW);
    name(p);
    if (p.at(L_PAREN)) {
        param_list(p);
    }
    if (p.expect(L_BRACE)) {
        while (!p.eof() && !p.at(R_BRACE)) {
            if (at_xsection_with(p)) {
                with_clause(p);
            } else if (p.at(IDENT)) {
                xs_section(p);
            } else if (p.at(SEMI)) {
                p.advance();
            } else if (p.at(CELL_KW)) {
                break;
            } else {
                skip_as_error(p, "expected a section such as `si 500nm`, or `with ...`");
            }
        }
        p.expect(R_BRACE);
    }
    p.close(m, XSECTION_DEF);
}

void define_item(Parser& p) {
    if (p.nth_at_contextual(1, LAYER_KW) && p.nth(2) == L_BRACE) {
        layer_table(p);
    } else if (p.nth_at_contextual(1, XSECTION_KW) && p.nth(2) == IDENT) {
        xsection_def(p);
    } else {
        define(p, CONST_DEF);
    }
}

using Entry = void (*)(Parser&);

void section(Parser& p, SyntaxKind node, SyntaxKind keyword, Entry entry,
             std::string_view message) {
    const auto m = p.open();
    p.advance_as(keyword);
    p.expect(L_BRACE);
    while (!p.eof() && !p.at(R_BRACE)) {
        if (p.at(IDENT)) {
            entry(p);
        } else if (p.at(SEMI)) {
            p.advance();
        } else if (p.at(CELL_KW)) {
            break;
        } else {
            p.recover(message, statement_set);
        }
    }
    p.expect(R_BRACE);
    p.close(m, node);
}

void cell_body_entry(Parser& p) {
    const bool brace_follows = p.nth(1) == L_BRACE;
    if (brace_follows && p.at_contextual(PARAM_KW)) {
        section(p, PARAM_SECTION, PARAM_KW, param_decl, "expected a parameter");
    } else if (brace_follows && p.at_contextual(ATTRIBUTE_KW)) {
        section(p, ATTR_SECTION, ATTRIBUTE_KW, attr_decl, "expected an attribute");
    } else if (brace_follows && p.at_contextual(MARKER_KW)) {
        section(p, MARKER_SECTION, MARKER_KW, marker_decl, "expected a marker name");
    } else {
        const std::uint32_t before = p.position();
        stmt(p, false);
        if (p.position() == before) {
            p.recover("expected `param`, `attribute`, `marker`, a `layer` block or a statement",
                      statement_set);
        }
    }
}

void cell(Parser& p) {
    const auto m = p.open();
    p.advance();
    name(p);
    if (p.at(L_PAREN)) {
        param_list(p);
    }
    if (!p.expect(L_BRACE)) {
        p.close(m, CELL);
        return;
    }
    while (!p.eof() && !p.at(R_BRACE) && !p.at(CELL_KW)) {
        cell_body_entry(p);
    }
    p.expect(R_BRACE);
    p.close(m, CELL);
}

// `at` followed by one location or a braced list of them.
void marker_at(Parser& p) {
    const auto m = p.open();
    p.advance_as(AT_KW);
    if (p.eof()) {
        p.error("expected an expression");
    } else if (p.at(L_BRACE)) {
        const auto list = p.open();
        p.advance();
        while (!p.eof() && !p.at(R_BRACE)) {
            if (at_expr_start(p)) {
                expr_bp(p, 0);
            } else if (p.at(SEMI) || p.at(COMMA)) {
                p.advance();
            } else if (p.at(CELL_KW)) {
                break;
            } else {
                skip_as_error(p, "expected a location");
            }
        }
        p.expect(R_BRACE);
        p.close(list, AT_LIST);
    } else {
        expr(p);
    }
    p.close(m, MARKER_AT);
}

} // namespace

void source_file(Parser& p) {
    while (!p.eof()) {
        if (p.at(CELL_KW)) {
            cell(p);
        } else if (p.at(DEFINE_KW)) {
            define_item(p);
        } else if (p.at_contextual(IMPORT_KW)) {
            import_item(p);
        } else if (p.at(SEMI)) {
            p.advance();
        } else {
            p.recover("expected `cell`, `define` or `import`", item_set);
        }
    }
}

void param_list(Parser& p) {
    const auto m = p.open();
    p.advance();
    while (!p.eof() && !p.at(R_PAREN)) {
        if (p.at(IDENT)) {
            param_decl(p);
            if (!p.at(COMMA)) {
                break;
            }
            p.advance();
        } else if (p.at(L_BRACE) || p.at(CELL_KW)) {
            break;
        } else {
            skip_as_error(p, "expected a parameter");
        }
    }
    p.expect(R_PAREN);
    p.close(m, PARAM_LIST);
}

void param_decl(Parser& p) {
    const auto m = p.open();
    name(p);
    if (!p.starts_line() && (p.at(IDENT) || p.at(L_BRACK))) {
        type_ref(p);
    }
    if (p.at(EQ)) {
        p.advance();
        expr(p);
    }
    p.close(m, PARAM_DECL);
}

void attr_decl(Parser& p) {
    const auto m = p.open();
    name(p);
    expr(p);
    p.close(m, ATTR_DECL);
}

void marker_decl(Parser& p) {
    const auto m = p.open();
    name(p);
    if (p.expect(L_BRACE)) {
        while (!p.eof() && !p.at(R_BRACE)) {
            if (p.at_contextual(AT_KW)) {
                marker_at(p);
            } else if (p.at_contextual(WITH_KW)) {
                with_clause(p);
            } else if (p.at(SEMI)) {
                p.advance();
            } else if (p.at(CELL_KW)) {
                break;
            } else {
                skip_as_error(p, "expected `at` or `with`");
            }
        }
        p.expect(R_BRACE);
    }
    p.close(m, MARKER_DECL);
}

} // namespace quorvane_dsl::syntax::grammar
