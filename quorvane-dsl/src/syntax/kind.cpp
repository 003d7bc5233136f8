#include "syntax/kind.hpp"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "base/fatal.hpp"

namespace quorvane_dsl::syntax::kind {

namespace {

constexpr std::array<std::string_view, kind_count> names = {
    "WHITESPACE",
    "COMMENT",
    "IDENT",
    "NUMBER",
    "STRING",
    "ERROR_TOKEN",
    "L_BRACE",
    "R_BRACE",
    "L_PAREN",
    "R_PAREN",
    "L_BRACK",
    "R_BRACK",
    "COMMA",
    "DOT",
    "DOT2",
    "COLON",
    "SEMI",
    "EQ",
    "EQ2",
    "NEQ",
    "LT",
    "LTEQ",
    "GT",
    "GTEQ",
    "PLUS",
    "MINUS",
    "STAR",
    "SLASH",
    "PERCENT",
    "BANG",
    "AMP2",
    "PIPE2",
    "AMP",
    "PIPE",
    "CARET",
    "CELL_KW",
    "DEFINE_KW",
    "FOR_KW",
    "IN_KW",
    "IF_KW",
    "ELSE_KW",
    "SELF_KW",
    "TRUE_KW",
    "FALSE_KW",
    "IMPORT_KW",
    "LAYER_KW",
    "PARAM_KW",
    "ATTRIBUTE_KW",
    "MARKER_KW",
    "SHAPE_KW",
    "CLONE_KW",
    "PLACE_KW",
    "AT_KW",
    "WITH_KW",
    "AS_KW",
    "OFFSET_KW",
    "ROTATE_KW",
    "MIRROR_KW",
    "XSECTION_KW",
    "GDS_KW",
    "EOF",
    "SOURCE_FILE",
    "IMPORT",
    "LAYER_TABLE",
    "LAYER_DEF",
    "LAYER_PROP",
    "GDS_SPEC",
    "CONST_DEF",
    "XSECTION_DEF",
    "XS_SECTION",
    "CELL",
    "PARAM_SECTION",
    "PARAM_DECL",
    "PARAM_LIST",
    "ATTR_SECTION",
    "ATTR_DECL",
    "MARKER_SECTION",
    "MARKER_DECL",
    "MARKER_AT",
    "AT_LIST",
    "WITH_CLAUSE",
    "ARG",
    "LAYER_BLOCK",
    "BLOCK",
    "SHAPE_STMT",
    "SHAPE_EXPR",
    "CLONE_STMT",
    "PLACE_STMT",
    "PLACE_BLOCK",
    "PLACE_SPEC",
    "OFFSET_MOD",
    "ROTATE_MOD",
    "MIRROR_MOD",
    "AS_NAME",
    "SHAPE_PLACE",
    "DEFINE_STMT",
    "FOR_STMT",
    "IF_STMT",
    "ASSIGN_STMT",
    "EXPR_STMT",
    "NAME_TYPE",
    "LIST_TYPE",
    "NAME",
    "NAME_REF",
    "LITERAL",
    "SELF_EXPR",
    "PAREN_EXPR",
    "POINT_EXPR",
    "LIST_EXPR",
    "BIN_EXPR",
    "PREFIX_EXPR",
    "FIELD_EXPR",
    "INDEX_EXPR",
    "CALL_EXPR",
    "ARG_LIST",
    "ERROR",
};

constexpr std::array<std::pair<std::string_view, SyntaxKind>, 9> reserved = {{
    {"cell", SyntaxKind::CELL_KW},
    {"define", SyntaxKind::DEFINE_KW},
    {"for", SyntaxKind::FOR_KW},
    {"in", SyntaxKind::IN_KW},
    {"if", SyntaxKind::IF_KW},
    {"else", SyntaxKind::ELSE_KW},
    {"self", SyntaxKind::SELF_KW},
    {"true", SyntaxKind::TRUE_KW},
    {"false", SyntaxKind::FALSE_KW},
}};

constexpr std::array<std::pair<std::string_view, SyntaxKind>, 16> contextual = {{
    {"import", SyntaxKind::IMPORT_KW},
    {"layer", SyntaxKind::LAYER_KW},
    {"param", SyntaxKind::PARAM_KW},
    {"attribute", SyntaxKind::ATTRIBUTE_KW},
    {"marker", SyntaxKind::MARKER_KW},
    {"shape", SyntaxKind::SHAPE_KW},
    {"clone", SyntaxKind::CLONE_KW},
    {"place", SyntaxKind::PLACE_KW},
    {"at", SyntaxKind::AT_KW},
    {"with", SyntaxKind::WITH_KW},
    {"as", SyntaxKind::AS_KW},
    {"offset", SyntaxKind::OFFSET_KW},
    {"rotate", SyntaxKind::ROTATE_KW},
    {"mirror", SyntaxKind::MIRROR_KW},
    {"xsection", SyntaxKind::XSECTION_KW},
    {"gds", SyntaxKind::GDS_KW},
}};

// Identifiers are looked up on every lex and at every contextual test of the grammar, so a word
// is found by one slot of a small table and one comparison. The slot mixes the length, the first
// two and the last letters; every keyword has at least two.
constexpr std::size_t slot_count = 64;

constexpr std::size_t slot(std::string_view word) {
    const auto letter = [&](std::size_t i) { return static_cast<unsigned char>(word[i]); };
    return (word.size() + letter(0) + letter(1) + 3 * letter(word.size() - 1)) % slot_count;
}

struct KeywordTable {
    std::array<std::string_view, slot_count> words{};
    std::array<SyntaxKind, slot_count> kinds{};
    std::size_t longest = 0;
};

template <std::size_t N>
constexpr KeywordTable
keyword_table(const std::array<std::pair<std::string_view, SyntaxKind>, N>& entries) {
    KeywordTable table;
    for (const auto& [word, kind] : entries) {
        const std::size_t at = slot(word);
        if (word.size() < 2 || !table.words[at].empty()) {
            throw "a keyword of one letter, or two keywords in one slot";
        }
        table.words[at] = word;
        table.kinds[at] = kind;
        table.longest = std::max(table.longest, word.size());
    }
    return table;
}

constexpr KeywordTable reserved_table = keyword_table(reserved);
constexpr KeywordTable contextual_table = keyword_table(contextual);

std::optional<SyntaxKind> lookup(const KeywordTable& table, std::string_view text) {
    if (text.size() < 2 || text.size() > table.longest) {
        return std::nullopt;
    }
    const std::size_t at = slot(text);
    const std::string_view word = table.words[at];
    if (word.size() != text.size()) {
        return std::nullopt;
    }
    // A few letters: a loop the compiler sees through, not a library call.
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word[i] != text[i]) {
            return std::nullopt;
        }
    }
    return table.kinds[at];
}

} // namespace

SyntaxKind from_raw(std::uint16_t raw) {
    if (raw >= kind_count) {
        base::fatal("syntax kind " + std::to_string(raw) + " is out of range");
    }
    return static_cast<SyntaxKind>(raw);
}

std::string_view name(SyntaxKind kind) {
    return names[to_raw(from_raw(to_raw(kind)))];
}

std::string_view description(SyntaxKind kind) {
    switch (kind) {
    case SyntaxKind::NUMBER:
        return "a number";
    case SyntaxKind::STRING:
        return "a string";
    case SyntaxKind::L_BRACE:
        return "`{`";
    case SyntaxKind::R_BRACE:
        return "`}`";
    case SyntaxKind::L_PAREN:
        return "`(`";
    case SyntaxKind::R_PAREN:
        return "`)`";
    case SyntaxKind::L_BRACK:
        return "`[`";
    case SyntaxKind::R_BRACK:
        return "`]`";
    case SyntaxKind::COMMA:
        return "`,`";
    case SyntaxKind::DOT:
        return "`.`";
    case SyntaxKind::DOT2:
        return "`..`";
    case SyntaxKind::COLON:
        return "`:`";
    case SyntaxKind::SEMI:
        return "`;`";
    case SyntaxKind::EQ:
        return "`=`";
    case SyntaxKind::SLASH:
        return "`/`";
    case SyntaxKind::CELL_KW:
        return "`cell`";
    case SyntaxKind::DEFINE_KW:
        return "`define`";
    case SyntaxKind::IN_KW:
        return "`in`";
    default:
        return "a token";
    }
}

std::optional<SyntaxKind> from_keyword(std::string_view text) {
    return lookup(reserved_table, text);
}

std::optional<SyntaxKind> from_contextual_keyword(std::string_view text) {
    return lookup(contextual_table, text);
}

} // namespace quorvane_dsl::syntax::kind
