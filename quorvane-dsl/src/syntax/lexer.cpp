#include "syntax/lexer.hpp"

#include <limits>
#include <string>

#include "base/fatal.hpp"
#include "base/utf8.hpp"

namespace quorvane_dsl::syntax::lexer {

namespace {

using enum SyntaxKind;

using base::utf8::decode;
using base::utf8::Decoded;
using base::utf8::invalid_byte;
using base::utf8::is_white_space;

constexpr char32_t micro_sign = 0xB5;
constexpr char32_t greek_mu = 0x3BC;

bool is_ascii_letter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_ascii_digit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool is_unit_letter(char32_t c) {
    return is_ascii_letter(c) || c == micro_sign || c == greek_mu;
}
bool is_ident_char(char32_t c) {
    return is_ascii_letter(c) || is_ascii_digit(c) || c == '_';
}

std::optional<SyntaxKind> single_punct(char32_t c) {
    switch (c) {
    case '{':
        return L_BRACE;
    case '}':
        return R_BRACE;
    case '(':
        return L_PAREN;
    case ')':
        return R_PAREN;
    case '[':
        return L_BRACK;
    case ']':
        return R_BRACK;
    case ',':
        return COMMA;
    case ':':
        return COLON;
    case ';':
        return SEMI;
    case '+':
        return PLUS;
    case '-':
        return MINUS;
    case '*':
        return STAR;
    case '/':
        return SLASH;
    case '%':
        return PERCENT;
    case '^':
        return CARET;
    default:
        return std::nullopt;
    }
}

struct PairRule {
    char first;
    char next;
    SyntaxKind pair;
    SyntaxKind single;
};

constexpr PairRule pair_rules[] = {
    {'!', '=', NEQ, BANG}, {'<', '=', LTEQ, LT},    {'>', '=', GTEQ, GT},  {'=', '=', EQ2, EQ},
    {'&', '&', AMP2, AMP}, {'|', '|', PIPE2, PIPE}, {'.', '.', DOT2, DOT},
};

std::string char_text(std::string_view text, std::size_t start, std::size_t end) {
    return std::string(text.substr(start, end - start));
}

std::string hex_byte(unsigned char byte) {
    constexpr char digits[] = "0123456789ABCDEF";
    return {'0', 'x', digits[byte >> 4], digits[byte & 0xF]};
}

class Lexer {
  public:
    explicit Lexer(std::string_view text) : text_(text) {}

    // Calls add(start, end, kind) for each token in order.
    template <class Add> void run(Add&& add) {
        while (pos_ < text_.size()) {
            std::size_t start = pos_;
            SyntaxKind kind = classify(start, bump());
            add(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(pos_), kind);
        }
    }

    std::vector<SyntaxError> take_errors() { return std::move(errors_); }

  private:
    char32_t bump() {
        if (pos_ >= text_.size()) {
            base::fatal("bump past the end");
        }
        Decoded decoded = decode(text_, pos_);
        pos_ += decoded.len;
        return decoded.ch;
    }

    // The character at the position plus `ahead` characters, without consuming; 0 at the end.
    char32_t peek(std::size_t ahead = 0) const {
        std::size_t pos = pos_;
        for (; ahead > 0 && pos < text_.size(); --ahead) {
            pos += decode(text_, pos).len;
        }
        return pos < text_.size() ? decode(text_, pos).ch : 0;
    }

    bool at_end() const { return pos_ >= text_.size(); }

    void error(std::size_t start, std::string message) {
        errors_.push_back({std::move(message),
                           {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(pos_)}});
        run_length_ = 0;
    }

    // A run of stray characters is one error over the whole run: one error per character, each
    // printing the whole line, made a small file print gigabytes.
    void stray(std::size_t start, std::string message) {
        if (run_length_ > 0 && errors_.back().range.end == start) {
            ++run_length_;
            errors_.back().range.end = static_cast<std::uint32_t>(pos_);
            errors_.back().message =
                run_head_ + " and " + std::to_string(run_length_ - 1) + " more after it";
            return;
        }
        run_head_ = message;
        error(start, std::move(message));
        run_length_ = 1;
    }

    SyntaxKind classify(std::size_t start, char32_t c) {
        if (is_white_space(c)) {
            while (!at_end() && is_white_space(peek())) {
                bump();
            }
            return WHITESPACE;
        }
        if (c == '#') {
            // Line breaks are ASCII, so no multi-byte character can hide one.
            while (!at_end() && text_[pos_] != '\n' && text_[pos_] != '\r') {
                ++pos_;
            }
            return COMMENT;
        }
        if (is_ascii_letter(c) || c == '_') {
            while (!at_end() && is_ident_char(peek())) {
                bump();
            }
            return kind::from_keyword(text_.substr(start, pos_ - start)).value_or(IDENT);
        }
        if (is_ascii_digit(c)) {
            number();
            return NUMBER;
        }
        if (c == '"') {
            string(start);
            return STRING;
        }
        if (auto kind = punctuation(c)) {
            return *kind;
        }
        if (c == invalid_byte) {
            stray(start,
                  "invalid UTF-8 byte " + hex_byte(static_cast<unsigned char>(text_[start])));
        } else {
            stray(start, "unexpected character `" + char_text(text_, start, pos_) + "`");
        }
        return ERROR_TOKEN;
    }

    void number() {
        while (!at_end() && is_ascii_digit(peek())) {
            bump();
        }
        if (peek() == '.' && is_ascii_digit(peek(1))) {
            bump();
            while (!at_end() && is_ascii_digit(peek())) {
                bump();
            }
        }
        while (!at_end() && is_unit_letter(peek())) {
            bump();
        }
    }

    void string(std::size_t start) {
        while (!at_end()) {
            char32_t c = peek();
            if (c == '\n' || c == '\r') {
                break;
            }
            bump();
            if (c == '"') {
                return;
            }
            if (c == '\\' && !at_end() && peek() != '\n' && peek() != '\r') {
                bump();
            }
        }
        error(start, "unterminated string");
    }

    std::optional<SyntaxKind> punctuation(char32_t c) {
        for (const PairRule& rule : pair_rules) {
            if (c == static_cast<char32_t>(rule.first)) {
                if (!at_end() && text_[pos_] == rule.next) {
                    ++pos_;
                    return rule.pair;
                }
                return rule.single;
            }
        }
        return single_punct(c);
    }

    std::string_view text_;
    std::size_t pos_ = 0;
    std::vector<SyntaxError> errors_;
    // The stray characters in the run the last error covers, and that error's first message.
    std::size_t run_length_ = 0;
    std::string run_head_;
};

void check_size(std::string_view text) {
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        base::fatal("a source text of 4 GiB or more cannot be lexed");
    }
}

} // namespace

Lexed lex(std::string_view text) {
    check_size(text);
    Lexed lexed;
    Lexer lexer(text);
    lexer.run([&](std::uint32_t start, std::uint32_t end, SyntaxKind kind) {
        lexed.tokens.push_back({end - start, kind});
    });
    lexed.errors = lexer.take_errors();
    return lexed;
}

LexedColumns lex_columns(std::string_view text) {
    check_size(text);
    LexedColumns lexed;
    // Never more tokens than bytes; untouched capacity costs no memory.
    lexed.tokens.kinds.reserve(text.size());
    lexed.tokens.starts.reserve(text.size());
    Lexer lexer(text);
    lexer.run([&](std::uint32_t start, std::uint32_t, SyntaxKind kind) {
        lexed.tokens.kinds.push_back(static_cast<std::uint8_t>(kind::to_raw(kind)));
        lexed.tokens.starts.push_back(start);
    });
    lexed.errors = lexer.take_errors();
    return lexed;
}

NumberParts split_number(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = decode(text, i).ch;
        if (is_unit_letter(c)) {
            return {text.substr(0, i), text.substr(i)};
        }
    }
    return {text, {}};
}

} // namespace quorvane_dsl::syntax::lexer
