// Syntax kinds: the one numbering of tokens and tree nodes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvane_dsl::syntax::kind {

// One numbering for tokens and tree nodes. The numbers are part of the tree's contract:
// readers test ranges of them (trivia, tokens, nodes), so the order below never changes.
enum class SyntaxKind : std::uint16_t {
    // Trivia and leaf tokens.
    WHITESPACE,
    COMMENT,
    IDENT,
    NUMBER,
    STRING,
    ERROR_TOKEN,
    // Punctuation and operators.
    L_BRACE,
    R_BRACE,
    L_PAREN,
    R_PAREN,
    L_BRACK,
    R_BRACK,
    COMMA,
    DOT,
    DOT2,
    COLON,
    SEMI,
    EQ,
    EQ2,
    NEQ,
    LT,
    LTEQ,
    GT,
    GTEQ,
    PLUS,
    MINUS,
    STAR,
    SLASH,
    PERCENT,
    BANG,
    AMP2,
    PIPE2,
    AMP,
    PIPE,
    CARET,
    // Reserved keywords.
    CELL_KW,
    DEFINE_KW,
    FOR_KW,
    IN_KW,
    IF_KW,
    ELSE_KW,
    SELF_KW,
    TRUE_KW,
    FALSE_KW,
    // Contextual keywords: lexed as IDENT, stored under these kinds where the grammar accepts them.
    IMPORT_KW,
    LAYER_KW,
    PARAM_KW,
    ATTRIBUTE_KW,
    MARKER_KW,
    SHAPE_KW,
    CLONE_KW,
    PLACE_KW,
    AT_KW,
    WITH_KW,
    AS_KW,
    OFFSET_KW,
    ROTATE_KW,
    MIRROR_KW,
    XSECTION_KW,
    GDS_KW,
    // What the parser's look-ahead reports past the last token; never stored in a tree.
    // (Named EOF in debug text; the identifier EOF is taken by <cstdio>.)
    END_OF_FILE,
    // Nodes.
    SOURCE_FILE,
    IMPORT,
    LAYER_TABLE,
    LAYER_DEF,
    LAYER_PROP,
    GDS_SPEC,
    CONST_DEF,
    XSECTION_DEF,
    XS_SECTION,
    CELL,
    PARAM_SECTION,
    PARAM_DECL,
    PARAM_LIST,
    ATTR_SECTION,
    ATTR_DECL,
    MARKER_SECTION,
    MARKER_DECL,
    MARKER_AT,
    AT_LIST,
    WITH_CLAUSE,
    ARG,
    LAYER_BLOCK,
    BLOCK,
    SHAPE_STMT,
    SHAPE_EXPR,
    CLONE_STMT,
    PLACE_STMT,
    PLACE_BLOCK,
    PLACE_SPEC,
    OFFSET_MOD,
    ROTATE_MOD,
    MIRROR_MOD,
    AS_NAME,
    SHAPE_PLACE,
    DEFINE_STMT,
    FOR_STMT,
    IF_STMT,
    ASSIGN_STMT,
    EXPR_STMT,
    NAME_TYPE,
    LIST_TYPE,
    NAME,
    NAME_REF,
    LITERAL,
    SELF_EXPR,
    PAREN_EXPR,
    POINT_EXPR,
    LIST_EXPR,
    BIN_EXPR,
    PREFIX_EXPR,
    FIELD_EXPR,
    INDEX_EXPR,
    CALL_EXPR,
    ARG_LIST,
    ERROR,
    // Counts the kinds; never a token or a node.
    LAST,
};

inline constexpr std::uint16_t kind_count = static_cast<std::uint16_t>(SyntaxKind::LAST);
static_assert(kind_count == 116);
static_assert(static_cast<std::uint16_t>(SyntaxKind::SOURCE_FILE) == 61);

constexpr std::uint16_t to_raw(SyntaxKind kind) {
    return static_cast<std::uint16_t>(kind);
}

// Ends the process for a raw value outside the table (116 or more).
SyntaxKind from_raw(std::uint16_t raw);

constexpr bool is_trivia(SyntaxKind kind) {
    return kind == SyntaxKind::WHITESPACE || kind == SyntaxKind::COMMENT;
}
constexpr bool is_token_kind(SyntaxKind kind) {
    return kind < SyntaxKind::SOURCE_FILE;
}
constexpr bool is_node_kind(SyntaxKind kind) {
    return kind >= SyntaxKind::SOURCE_FILE && kind < SyntaxKind::LAST;
}
// Reserved and contextual keywords.
constexpr bool is_keyword(SyntaxKind kind) {
    return kind >= SyntaxKind::CELL_KW && kind <= SyntaxKind::GDS_KW;
}

// The upper-case name, as a tree listing prints it ("EOF" for END_OF_FILE).
std::string_view name(SyntaxKind kind);

// Completes "expected " when the parser misses a token: "`=`", "a number", or "a token".
std::string_view description(SyntaxKind kind);

std::optional<SyntaxKind> from_keyword(std::string_view text);
std::optional<SyntaxKind> from_contextual_keyword(std::string_view text);

} // namespace quorvane_dsl::syntax::kind

namespace quorvane_dsl::syntax {
using kind::SyntaxKind;
}
