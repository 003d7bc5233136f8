#include <random>
#include <string>

#include <gtest/gtest.h>

#include "syntax/lexer.hpp"

using namespace quorvane_dsl::syntax;
using namespace quorvane_dsl::syntax::lexer;
using enum SyntaxKind;

namespace {

// "KIND:text" per token, so a failing case shows both the cut and the kinds.
std::string cut(std::string_view text) {
    Lexed lexed = lex(text);
    std::string out;
    std::size_t offset = 0;
    for (const Token& token : lexed.tokens) {
        if (!out.empty()) {
            out += ' ';
        }
        out += kind::name(token.kind);
        out += ':';
        out += text.substr(offset, token.len);
        offset += token.len;
    }
    EXPECT_EQ(offset, text.size()) << "tokens do not tile the text";
    return out;
}

std::string errors(std::string_view text) {
    std::string out;
    for (const SyntaxError& error : lex(text).errors) {
        out += error.message + " @" + std::to_string(error.range.start) + ".." +
               std::to_string(error.range.end) + ";";
    }
    return out;
}

} // namespace

TEST(Lexer, WordsAndKeywords) {
    EXPECT_TRUE(lex("").tokens.empty());
    EXPECT_TRUE(lex("").errors.empty());
    EXPECT_EQ(cut("cell x"), "CELL_KW:cell WHITESPACE:  IDENT:x");
    EXPECT_EQ(cut("cells layer _a1 self"), "IDENT:cells WHITESPACE:  IDENT:layer WHITESPACE:  "
                                           "IDENT:_a1 WHITESPACE:  SELF_KW:self");
}

TEST(Lexer, Numbers) {
    EXPECT_EQ(cut("1.5e3"), "NUMBER:1.5e NUMBER:3");
    EXPECT_EQ(cut("0x10"), "NUMBER:0x NUMBER:10");
    EXPECT_EQ(cut(".5"), "DOT:. NUMBER:5");
    EXPECT_EQ(cut("1.x"), "NUMBER:1 DOT:. IDENT:x");
    EXPECT_EQ(cut("1."), "NUMBER:1 DOT:.");
    EXPECT_EQ(cut("1..5"), "NUMBER:1 DOT2:.. NUMBER:5");
    EXPECT_EQ(cut("2um3"), "NUMBER:2um NUMBER:3");
    EXPECT_EQ(cut("500nm 2.5um 90deg"),
              "NUMBER:500nm WHITESPACE:  NUMBER:2.5um WHITESPACE:  NUMBER:90deg");
    // Micro sign and Greek mu are unit letters, two bytes each.
    EXPECT_EQ(lex("3\u00B5m").tokens, (std::vector<Token>{{4, NUMBER}}));
    EXPECT_EQ(lex("3\u03BCm").tokens, (std::vector<Token>{{4, NUMBER}}));
    EXPECT_TRUE(lex("3\u03BCm").errors.empty());

    EXPECT_EQ(split_number("2.5um").numeral, "2.5");
    EXPECT_EQ(split_number("2.5um").unit, "um");
    EXPECT_EQ(split_number("500").unit, "");
    EXPECT_EQ(split_number("3\u00B5m").numeral, "3");
    EXPECT_EQ(split_number("3\u00B5m").unit, "\u00B5m");
    EXPECT_EQ(split_number("3\u03BCm").unit, "\u03BCm");
}

TEST(Lexer, Punctuation) {
    EXPECT_EQ(cut("..."), "DOT2:.. DOT:.");
    EXPECT_EQ(cut("==="), "EQ2:== EQ:=");
    EXPECT_EQ(cut("!=="), "NEQ:!= EQ:=");
    EXPECT_EQ(cut("=>"), "EQ:= GT:>");
    EXPECT_EQ(cut("&&&|||<=>=!"), "AMP2:&& AMP:& PIPE2:|| PIPE:| LTEQ:<= GTEQ:>= BANG:!");
    EXPECT_EQ(cut("{}()[],:;+-*/%^"), "L_BRACE:{ R_BRACE:} L_PAREN:( R_PAREN:) L_BRACK:[ "
                                      "R_BRACK:] COMMA:, COLON:: SEMI:; PLUS:+ MINUS:- STAR:* "
                                      "SLASH:/ PERCENT:% CARET:^");
}

TEST(Lexer, TriviaAndComments) {
    EXPECT_EQ(cut("# c\r\n  x"), "COMMENT:# c WHITESPACE:\r\n   IDENT:x");
    EXPECT_EQ(cut("x # last"), "IDENT:x WHITESPACE:  COMMENT:# last");
    // Tab, no-break space and ideographic space form one run.
    EXPECT_EQ(lex("\t\u00A0\u3000").tokens, (std::vector<Token>{{6, WHITESPACE}}));
}

TEST(Lexer, Strings) {
    EXPECT_EQ(cut(R"("a\"b" x)"), R"(STRING:"a\"b" WHITESPACE:  IDENT:x)");
    EXPECT_EQ(cut("\"abc\ny"), "STRING:\"abc WHITESPACE:\n IDENT:y");
    EXPECT_EQ(errors("\"abc\ny"), "unterminated string @0..4;");
    // A backslash before the line break consumes nothing: still unterminated.
    EXPECT_EQ(cut("\"a\\\r\nb\""), "STRING:\"a\\ WHITESPACE:\r\n IDENT:b STRING:\"");
    EXPECT_EQ(errors("x \"a\\"), "unterminated string @2..5;");
    EXPECT_EQ(errors("\"\\\"\""), "");
    EXPECT_EQ(cut("\"\u00B5\""), "STRING:\"\u00B5\"");
}

TEST(Lexer, ErrorTokensHoldWholeCharacters) {
    EXPECT_EQ(cut("\u00B5m"), "ERROR_TOKEN:\u00B5 IDENT:m");
    EXPECT_EQ(errors("\u00B5m"), "unexpected character `\u00B5` @0..2;");
    EXPECT_EQ(cut("a@\U0001F600"), "IDENT:a ERROR_TOKEN:@ ERROR_TOKEN:\U0001F600");
    // A run of stray characters stays one token each but is one error: one per character,
    // each printing its whole line, once made 30 KB of `@` print 1.35 GB.
    EXPECT_EQ(errors("`~\\$ ~"), "unexpected character ``` and 3 more after it @0..4;"
                                 "unexpected character `~` @5..6;");
    EXPECT_EQ(errors("\xFF@\"\n@"), "invalid UTF-8 byte 0xFF and 1 more after it @0..2;"
                                    "unterminated string @2..3;unexpected character `@` @4..5;");
    // Bytes that are not UTF-8 (a lone continuation, a truncated sequence, an overlong form)
    // are one error token each.
    EXPECT_EQ(lex("\x80\xE2\x82 \xC0\xAF").tokens, (std::vector<Token>{{1, ERROR_TOKEN},
                                                                       {1, ERROR_TOKEN},
                                                                       {1, ERROR_TOKEN},
                                                                       {1, WHITESPACE},
                                                                       {1, ERROR_TOKEN},
                                                                       {1, ERROR_TOKEN}}));
    EXPECT_EQ(errors("\xFF"), "invalid UTF-8 byte 0xFF @0..1;");
}

// Random and garbled input: lexing finishes, the tokens tile the text, every error lies in it.
TEST(Lexer, FuzzedInputTilesTheText) {
    std::mt19937 rng(20261206);
    const std::string pieces[] = {"cell",   " ",    "\n",   "\r\n", "#x",     "\"",   "\\",
                                  "1.5um",  ".",    "..",   "=",    "!",      "&",    "|",
                                  "\u00B5", "\xCE", "\xBC", "\xE3", "\x80",   "\xF0", "\t",
                                  "a_1",    "{",    "}",    "@",    "\u3000", "9",    "e"};
    for (int round = 0; round < 2000; ++round) {
        std::string text;
        int length = static_cast<int>(rng() % 64);
        for (int i = 0; i < length; ++i) {
            if (rng() % 4 == 0) {
                text += static_cast<char>(rng() % 256);
            } else {
                text += pieces[rng() % std::size(pieces)];
            }
        }
        Lexed lexed = lex(text);
        std::size_t total = 0;
        for (const Token& token : lexed.tokens) {
            ASSERT_GT(token.len, 0u);
            ASSERT_LT(kind::to_raw(token.kind), kind::to_raw(IMPORT_KW));
            total += token.len;
        }
        ASSERT_EQ(total, text.size()) << text;
        for (const SyntaxError& error : lexed.errors) {
            ASSERT_LE(error.range.start, error.range.end);
            ASSERT_LE(error.range.end, text.size());
        }
    }
}
