// The grammar's productions, one function per construct, recording parser events.
#pragma once

#include "syntax/kind.hpp"
#include "syntax/parser.hpp"

// The productions of the language. Each records its nodes as events on the parser and never
// builds tree nodes itself; a missing piece is reported and left out of its node.
namespace quorvane_dsl::syntax::grammar {

using parser::Parser;

// Items of a file, until the end of input (runs inside the root node).
void source_file(Parser& p);

// Items and sections.
void param_list(Parser& p);
void param_decl(Parser& p);
void attr_decl(Parser& p);
void marker_decl(Parser& p);

// Blocks and statements.
void stmt(Parser& p, bool in_place);
void block(Parser& p, SyntaxKind kind, bool in_place);
void if_stmt(Parser& p, bool in_place);
void clone_stmt(Parser& p);
void shape_place(Parser& p);
void place_spec_rest(Parser& p);
void modifiers(Parser& p);
void with_clause(Parser& p);
void arg(Parser& p);
void as_name(Parser& p);
void define(Parser& p, SyntaxKind kind);

// Names, types and expressions.
void expr_bp(Parser& p, std::uint8_t min_bp);
void expr(Parser& p);
void name_ref(Parser& p);
void name(Parser& p);
void type_ref(Parser& p);

// Shared helpers of the productions.
bool at_expr_start(Parser& p);
// Reports `message` at the current token and wraps that one token in an ERROR node.
void skip_as_error(Parser& p, std::string_view message);
// Reports a construct nested beyond the parser's depth limit and skips it: everything up to
// the end of the enclosing bracket, or of the line when there is none, or up to a `cell`.
void skip_too_deep(Parser& p);

// Recovery sets.
bool statement_set(Parser& p);
bool item_set(Parser& p);

// Keeps the nesting count of one production call; releases every level it took.
class Nesting {
  public:
    explicit Nesting(Parser& p) : p_(p) {}
    Nesting(const Nesting&) = delete;
    Nesting& operator=(const Nesting&) = delete;
    ~Nesting() {
        for (; levels_ > 0; --levels_) {
            p_.leave();
        }
    }
    // One level deeper; at the limit, false with the too-deep construct reported and skipped.
    bool deeper() {
        if (!p_.enter()) {
            skip_too_deep(p_);
            return false;
        }
        ++levels_;
        return true;
    }

  private:
    Parser& p_;
    std::uint32_t levels_ = 0;
};

} // namespace quorvane_dsl::syntax::grammar
