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

enum class EventTag : std::uint16_t { Open, Close, Advance };

// What the grammar records; the tree is built from these once the grammar is done. An Open's
// kind is ERROR until its node is closed; an Advance's kind is `no_kind` or the contextual
// keyword kind the token is stored under.
struct Event {
    EventTag tag;
    std::uint16_t kind;
};

inline constexpr std::uint16_t no_kind = kind::kind_count + 1;

// The index of an Open event.
struct Marker {
    std::uint32_t index;
};

// The grammar's view of the token stream: only non-trivia tokens, each with the flag telling
// whether a line feed separates it from the token before.
class Parser {
  public:
    using RecoverySet = bool (*)(Parser&);

    Parser(std::string_view text, std::vector<SyntaxKind> kinds,
           std::vector<source::TextRange> ranges, std::vector<bool> line_breaks);

    Marker open();
    Marker close(Marker marker, SyntaxKind kind);
    Marker open_before(std::uint32_t event_index);
    std::uint32_t event_count() const { return static_cast<std::uint32_t>(events_.size()); }

    void advance();
    void advance_as(SyntaxKind kind);

    bool eof() const { return position_ == kinds_.size(); }
    bool at(SyntaxKind kind);
    SyntaxKind nth(std::uint32_t n);
    bool nth_at_contextual(std::uint32_t n, SyntaxKind kind);
    bool at_contextual(SyntaxKind kind) { return nth_at_contextual(0, kind); }
    // True at a token preceded by a line feed, and at the end of input.
    bool starts_line() const;
    // The same for the token n places ahead.
    bool nth_starts_line(std::uint32_t n) const;
    std::uint32_t position() const { return position_; }

    bool expect(SyntaxKind kind);
    void error(std::string_view message);
    void recover(std::string_view message, RecoverySet set);
    bool has_errors() const { return !errors_.empty(); }

    // Nesting guard of the recursive productions: `enter` is false (and changes nothing) once
    // the limit is reached; every successful `enter` is paired with `leave`.
    bool enter();
    void leave() { --depth_; }

    std::vector<Event> take_events() { return std::move(events_); }
    std::vector<SyntaxError> take_errors() { return std::move(errors_); }

    // Deep enough for any hand-written source, shallow enough that the recursive grammar and
    // every recursive reader of the tree stay far from the end of the stack.
    static constexpr std::uint32_t max_depth = 1000;

  private:
    void spend_fuel();
    void refuel() { fuel_ = initial_fuel; }
    source::TextRange current_range() const;

    static constexpr std::uint32_t initial_fuel = 256;

    std::vector<SyntaxKind> kinds_;
    std::vector<source::TextRange> ranges_;
    std::vector<bool> line_breaks_;
    std::vector<Event> events_;
    std::vector<SyntaxError> errors_;
    std::string_view text_;
    std::uint32_t position_ = 0;
    std::uint32_t fuel_ = initial_fuel;
    std::uint32_t depth_ = 0;
};

} // namespace quorvane_dsl::syntax::parser
