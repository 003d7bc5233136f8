#include "syntax/lexer.hpp"

#include <array>
#include <limits>
#include <string>
#include <utility>

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

constexpr bool is_ascii_letter(char32_t c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool is_ascii_digit(char32_t c) {
    return c >= '0' && c <= '9';
}
bool is_unit_letter(char32_t c) {
    return is_ascii_letter(c) || c == micro_sign || c == greek_mu;
}

// What an ASCII byte begins. Tokens other than white space, strings and stray characters are
// ASCII throughout, so the lexer looks at bytes and decodes only at a byte of 0x80 or more.
enum class Begins : std::uint8_t {
    Stray,
    WhiteSpace,
    Comment,
    Word,
    Number,
    String,
    Punct, // `single`
    Pair,  // `pair` when `next` follows, else `single`
};

struct ByteRule {
    Begins begins = Begins::Stray;
    char next = 0;
    SyntaxKind single = ERROR_TOKEN;
    SyntaxKind pair = ERROR_TOKEN;
};

constexpr std::array<ByteRule, 128> byte_rules = [] {
    std::array<ByteRule, 128> rules{};
    for (unsigned char c = 0; c < 128; ++c) {
        if (is_white_space(c)) {
            rules[c].begins = Begins::WhiteSpace;
        } else if (is_ascii_letter(c) || c == '_') {
            rules[c].begins = Begins::Word;
        } else if (is_ascii_digit(c)) {
            rules[c].begins = Begins::Number;
        }
    }
    rules['#'].begins = Begins::Comment;
    rules['"'].begins = Begins::String;
    constexpr std::pair<char, SyntaxKind> singles[] = {
        {'{', L_BRACE}, {'}', R_BRACE}, {'(', L_PAREN}, {')', R_PAREN}, {'[', L_BRACK},
        {']', R_BRACK}, {',', COMMA},   {':', COLON},   {';', SEMI},    {'+', PLUS},
        {'-', MINUS},   {'*', STAR},    {'/', SLASH},   {'%', PERCENT}, {'^', CARET},
    };
    for (const auto& [c, kind] : singles) {
        rules[static_cast<unsigned char>(c)] = {Begins::Punct, 0, kind, ERROR_TOKEN};
    }
    struct Pair {
        char first;
        char next;
        SyntaxKind single;
        SyntaxKind pair;
    };
    constexpr Pair pairs[] = {
        {'!', '=', BANG, NEQ}, {'<', '=', LT, LTEQ},    {'>', '=', GT, GTEQ},  {'=', '=', EQ, EQ2},
        {'&', '&', AMP, AMP2}, {'|', '|', PIPE, PIPE2}, {'.', '.', DOT, DOT2},
    };
    for (const Pair& pair : pairs) {
        rules[static_cast<unsigned char>(pair.first)] = {Begins::Pair, pair.next, pair.single,
                                                         pair.pair};
    }
    return rules;
}();

bool is_ascii_space(unsigned char byte) {
    return byte < 128 && byte_rules[byte].begins == Begins::WhiteSpace;
}
bool is_word_byte(unsigned char byte) {
    return byte < 128 &&
           (byte_rules[byte].begins == Begins::Word || byte_rules[byte].begins == Begins::Number);
}

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
            const std::size_t start = pos_;
            const SyntaxKind kind = classify(start);
            add(static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(pos_), kind);
            // White space follows most other tokens: taken here, it costs a predictable test
            // instead of the table's jump, which is hard to predict, for half the tokens.
            if (kind != WHITESPACE && is_ascii_space(byte_at(pos_))) {
                const std::size_t space = pos_;
                white_space();
                add(static_cast<std::uint32_t>(space), static_cast<std::uint32_t>(pos_),
                    WHITESPACE);
            }
        }
    }

    std::vector<SyntaxError> take_errors() { return std::move(errors_); }

  private:
    // The byte at the position, or 0 at the end (which begins nothing that continues a token).
    unsigned char byte_at(std::size_t pos) const {
        return pos < text_.size() ? static_cast<unsigned char>(text_[pos]) : 0;
    }

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

    SyntaxKind classify(std::size_t start) {
        const unsigned char lead = byte_at(start);
        if (lead >= 128) {
            return classify_wide(start);
        }
        const ByteRule& rule = byte_rules[lead];
        ++pos_;
        switch (rule.begins) {
        case Begins::WhiteSpace:
            white_space();
            return WHITESPACE;
        case Begins::Comment:
            // Line breaks are ASCII, so no multi-byte character can hide one.
            while (pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r') {
                ++pos_;
            }
            return COMMENT;
        case Begins::Word:
            while (is_word_byte(byte_at(pos_))) {
                ++pos_;
            }
            return kind::from_keyword(text_.substr(start, pos_ - start)).value_or(IDENT);
        case Begins::Number:
            number();
            return NUMBER;
        case Begins::String:
            string(start);
            return STRING;
        case Begins::Punct:
            return rule.single;
        case Begins::Pair:
            if (byte_at(pos_) == static_cast<unsigned char>(rule.next)) {
                ++pos_;
                return rule.pair;
            }
            return rule.single;
        case Begins::Stray:
            break;
        }
        return stray_char(start, false);
    }

    // A character of two to four bytes begins only white space; an invalid byte is one alone.
    [[gnu::noinline]] SyntaxKind classify_wide(std::size_t start) {
        const Decoded decoded = decode(text_, start);
        pos_ += decoded.len;
        if (is_white_space(decoded.ch)) {
            white_space();
            return WHITESPACE;
        }
        return stray_char(start, decoded.ch == invalid_byte);
    }

    // Kept out of line: its messages would weigh on every token's path.
    [[gnu::noinline]] SyntaxKind stray_char(std::size_t start, bool invalid) {
        if (invalid) {
            stray(start,
                  "invalid UTF-8 byte " + hex_byte(static_cast<unsigned char>(text_[start])));
        } else {
            stray(start, "unexpected character `" + char_text(text_, start, pos_) + "`");
        }
        return ERROR_TOKEN;
    }

    // Steps over the characters `ascii` (for bytes below 128) or `wide` (for the decoded rest)
    // accepts: only bytes of 128 or more are decoded.
    template <class Ascii, class Wide> void skip_while(Ascii ascii, Wide wide) {
        while (pos_ < text_.size()) {
            const unsigned char byte = byte_at(pos_);
            if (byte < 128) {
                if (!ascii(byte)) {
                    return;
                }
                ++pos_;
                continue;
            }
            const Decoded decoded = decode(text_, pos_);
            if (!wide(decoded.ch)) {
                return;
            }
            pos_ += decoded.len;
        }
    }

    void white_space() {
        skip_while([](unsigned char byte) { return is_ascii_space(byte); },
                   [](char32_t ch) { return is_white_space(ch); });
    }

    void digits() {
        while (is_ascii_digit(byte_at(pos_))) {
            ++pos_;
        }
    }

    void number() {
        digits();
        if (byte_at(pos_) == '.' && is_ascii_digit(byte_at(pos_ + 1))) {
            ++pos_;
            digits();
        }
        skip_while([](unsigned char byte) { return is_ascii_letter(byte); },
                   [](char32_t ch) { return is_unit_letter(ch); });
    }

    // Quotes, backslashes and line breaks are ASCII, and no byte of a multi-byte character is:
    // stepping over bytes ends a string where stepping over characters would.
    void string(std::size_t start) {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == '\n' || c == '\r') {
                break;
            }
            ++pos_;
            if (c == '"') {
                return;
            }
            if (c == '\\' && pos_ < text_.size() && text_[pos_] != '\n' && text_[pos_] != '\r') {
                ++pos_;
            }
        }
        unterminated(start);
    }

    [[gnu::noinline]] void unterminated(std::size_t start) { error(start, "unterminated string"); }

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
