// The event-based parser: the grammar's events become a lossless tree and its errors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "syntax/kind.hpp"
#include "syntax/syntax_error.hpp"
#include "syntax/tree.hpp"

namespace quorvane_dsl::syntax::parser {

// One file's lossless syntax tree and its syntax errors (lexer errors first, then parser
// errors, stably sorted by start).
struct Parse {
    std::shared_ptr<const Tree> green;
    std::vector<SyntaxError> errors;

    // The root, always a SOURCE_FILE; shares the green tree.
    SyntaxNode tree() const;
};

Parse parse(std::string_view text);
// The same, keeping the text given instead of a copy of it.
Parse parse_owned(std::string text);

// The index of an Open event.
struct Marker {
    std::uint32_t index;
};

// The grammar's view of the token stream: only non-trivia tokens, and whether a line feed
// separates each from the token before. It steps over the trivia of the lexer's columns itself,
// so no second list of tokens is kept.
class Parser {
  public:
    using RecoverySet = bool (*)(Parser&);

    Parser(std::string_view text, const TokenColumns& tokens);

    // The steps below run once or more per token: they are inline, their faults out of line.
    Marker open() {
        const Marker marker{event_count()};
        events_.push_back(TreeEvent::open(SyntaxKind::ERROR));
        return marker;
    }
    // Closing a node is progress as well: unwinding many open brackets at the end of input looks
    // ahead once or twice per level without consuming anything.
    Marker close(Marker marker, SyntaxKind kind) {
        events_[marker.index] = TreeEvent::open(kind);
        events_.push_back(TreeEvent::close());
        refuel();
        return marker;
    }
    Marker open_before(std::uint32_t event_index);
    // A chain of `count` nodes of `kind` around what was parsed since `event_index`, each closed
    // already by `close_wrapper`: the events shift once for the whole chain, not once per link.
    void close_wrapper();
    void open_wrappers_before(std::uint32_t event_index, std::uint32_t count, SyntaxKind kind);
    std::uint32_t event_count() const { return static_cast<std::uint32_t>(events_.size()); }

    void advance() { take(TreeEvent::advance()); }
    void advance_as(SyntaxKind kind) { take(TreeEvent::advance_as(kind)); }

    bool eof() const { return position_ == token_count(); }
    bool at(SyntaxKind kind) { return nth(0) == kind; }
    SyntaxKind nth(std::uint32_t n) {
        spend_fuel();
        const std::uint32_t index = n == 0 ? position_ : nth_index(n);
        return index < token_count() ? kind_at(index) : SyntaxKind::END_OF_FILE;
    }
    bool nth_at_contextual(std::uint32_t n, SyntaxKind kind);
    bool at_contextual(SyntaxKind kind) { return nth_at_contextual(0, kind); }
    // True at a token preceded by a line feed, and at the end of input.
    bool starts_line() {
        if (line_checked_ != position_) {
            line_checked_ = position_;
            line_start_ = eof() || line_feed_before(position_);
        }
        return line_start_;
    }
    // The same for the token n places ahead.
    bool nth_starts_line(std::uint32_t n) const;
    // Grows with every token taken.
    std::uint32_t position() const { return position_; }

    bool expect(SyntaxKind kind);
    void error(std::string_view message);
    void recover(std::string_view message, RecoverySet set);
    bool has_errors() const { return !errors_.empty(); }

    // Nesting guard of the recursive productions: `enter` is false (and changes nothing) once
    // the limit is reached or the stack runs low; every successful `enter` is paired with
    // `leave`.
    bool enter();
    void leave() { --depth_; }

    std::vector<TreeEvent> take_events() { return std::move(events_); }
    std::vector<SyntaxError> take_errors() { return std::move(errors_); }

    // Deep enough for any hand-written source, shallow enough that the recursive grammar and
    // every recursive reader of the tree stay far from the end of the stack.
    static constexpr std::uint32_t max_depth = 1000;

  private:
    void spend_fuel() {
        if (fuel_ == 0) [[unlikely]] {
            stuck();
        }
        --fuel_;
    }
    [[noreturn]] void stuck() const;
    void refuel() { fuel_ = initial_fuel; }
    void take(TreeEvent event) {
        if (eof()) [[unlikely]] {
            past_end();
        }
        refuel();
        events_.push_back(event);
        position_ = code_from(position_ + 1);
    }
    [[noreturn]] static void past_end();
    source::TextRange current_range() const;
    std::uint32_t token_count() const { return static_cast<std::uint32_t>(tokens_.kinds.size()); }
    SyntaxKind kind_at(std::uint32_t index) const {
        return static_cast<SyntaxKind>(tokens_.kinds[index]);
    }
    source::TextRange range_at(std::uint32_t index) const;
    // The first non-trivia token at or after `index`, or the token count.
    std::uint32_t code_from(std::uint32_t index) const {
        while (index < token_count() && kind::is_trivia(kind_at(index))) {
            ++index;
        }
        return index;
    }
    // The non-trivia token n places after the current one, or the token count.
    std::uint32_t nth_index(std::uint32_t n) const;
    bool line_feed_before(std::uint32_t index) const;

    static constexpr std::uint32_t initial_fuel = 256;

    const TokenColumns& tokens_;
    std::vector<TreeEvent> events_;
    std::vector<SyntaxError> errors_;
    std::string_view text_;
    std::uint32_t position_ = 0; // the current non-trivia token's index in the columns
    std::uint32_t code_end_ = 0; // where the last non-trivia token ends
    std::uint32_t fuel_ = initial_fuel;
    std::uint32_t depth_ = 0;
    // Whether the token at `line_checked_` starts a line: the grammar asks again at one token.
    std::uint32_t line_checked_ = no_index;
    bool line_start_ = false;
    // The contextual keyword the identifier at `contextual_checked_` spells (IDENT for none):
    // the grammar tries one keyword after another at the same token.
    std::uint32_t contextual_checked_ = no_index;
    SyntaxKind contextual_ = SyntaxKind::IDENT;
};

} // namespace quorvane_dsl::syntax::parser
