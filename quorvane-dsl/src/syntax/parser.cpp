#include "syntax/parser.hpp"

#include <algorithm>

#include "base/fatal.hpp"
#include "syntax/grammar.hpp"
#include "syntax/lexer.hpp"

namespace quorvane_dsl::syntax::parser {
namespace {

using enum SyntaxKind;

bool holds_line_feed(std::string_view text) {
    return text.find('\n') != std::string_view::npos;
}

// Replays the grammar's events over the full token list. Trivia go into the node that is open
// when the next token or node is reached, so no node but the root starts or ends with trivia.
class TreeReplay {
  public:
    TreeReplay(std::string_view text, const std::vector<lexer::Token>& tokens)
        : text_(text), tokens_(tokens) {}

    std::shared_ptr<const Tree> run(const std::vector<Event>& events) {
        std::uint32_t depth = 0;
        for (const Event& event : events) {
            switch (event.tag) {
            case EventTag::Open:
                if (depth > 0) {
                    emit_trivia();
                }
                builder_.start_node(kind::from_raw(event.kind));
                ++depth;
                break;
            case EventTag::Close:
                if (--depth == 0) {
                    emit_rest();
                }
                builder_.finish_node();
                break;
            case EventTag::Advance:
                advance(event.kind);
                break;
            }
        }
        return builder_.finish();
    }

  private:
    void emit_token(SyntaxKind kind) {
        const lexer::Token& token = tokens_[next_];
        builder_.token(kind, text_.substr(offset_, token.len));
        offset_ += token.len;
        ++next_;
    }

    void emit_trivia() {
        while (next_ < tokens_.size() && kind::is_trivia(tokens_[next_].kind)) {
            emit_token(tokens_[next_].kind);
        }
    }

    void advance(std::uint16_t carried_kind) {
        emit_trivia();
        if (next_ == tokens_.size()) {
            base::fatal("event past the last token");
        }
        emit_token(carried_kind == no_kind ? tokens_[next_].kind : kind::from_raw(carried_kind));
    }

    void emit_rest() {
        while (next_ < tokens_.size()) {
            emit_token(tokens_[next_].kind);
        }
    }

    std::string_view text_;
    const std::vector<lexer::Token>& tokens_;
    TreeBuilder builder_;
    std::size_t next_ = 0;
    std::uint32_t offset_ = 0;
};

} // namespace

Parser::Parser(std::string_view text, std::vector<SyntaxKind> kinds,
               std::vector<source::TextRange> ranges, std::vector<bool> line_breaks)
    : kinds_(std::move(kinds)), ranges_(std::move(ranges)), line_breaks_(std::move(line_breaks)),
      text_(text) {
    events_.reserve(kinds_.size() * 3 + 2);
}

Marker Parser::open() {
    const Marker marker{event_count()};
    events_.push_back({EventTag::Open, kind::to_raw(ERROR)});
    return marker;
}

// Closing a node is progress as well: unwinding many open brackets at the end of input looks
// ahead once or twice per level without consuming anything.
Marker Parser::close(Marker marker, SyntaxKind kind) {
    events_[marker.index].kind = kind::to_raw(kind);
    events_.push_back({EventTag::Close, 0});
    refuel();
    return marker;
}

Marker Parser::open_before(std::uint32_t event_index) {
    events_.insert(events_.begin() + event_index, Event{EventTag::Open, kind::to_raw(ERROR)});
    return Marker{event_index};
}

void Parser::advance() {
    if (eof()) {
        base::fatal("advance past the end");
    }
    refuel();
    events_.push_back({EventTag::Advance, no_kind});
    ++position_;
}

void Parser::advance_as(SyntaxKind kind) {
    if (eof()) {
        base::fatal("advance past the end");
    }
    refuel();
    events_.push_back({EventTag::Advance, kind::to_raw(kind)});
    ++position_;
}

void Parser::spend_fuel() {
    if (fuel_ == 0) {
        base::fatal("parser is stuck at token " + std::to_string(position_));
    }
    --fuel_;
}

bool Parser::at(SyntaxKind kind) {
    return nth(0) == kind;
}

SyntaxKind Parser::nth(std::uint32_t n) {
    spend_fuel();
    const std::size_t index = std::size_t{position_} + n;
    return index < kinds_.size() ? kinds_[index] : END_OF_FILE;
}

bool Parser::nth_at_contextual(std::uint32_t n, SyntaxKind kind) {
    spend_fuel();
    const std::size_t index = std::size_t{position_} + n;
    if (index >= kinds_.size() || kinds_[index] != IDENT) {
        return false;
    }
    const source::TextRange range = ranges_[index];
    return kind::from_contextual_keyword(text_.substr(range.start, range.len())) == kind;
}

bool Parser::starts_line() const {
    return nth_starts_line(0);
}

bool Parser::nth_starts_line(std::uint32_t n) const {
    const std::size_t index = std::size_t{position_} + n;
    return index >= line_breaks_.size() || line_breaks_[index];
}

bool Parser::expect(SyntaxKind kind) {
    if (at(kind)) {
        advance();
        return true;
    }
    error("expected " + std::string(kind::description(kind)));
    return false;
}

source::TextRange Parser::current_range() const {
    if (!eof()) {
        return ranges_[position_];
    }
    const std::uint32_t end = ranges_.empty() ? 0 : ranges_.back().end;
    return source::TextRange{end, end};
}

void Parser::error(std::string_view message) {
    if (!eof() && kinds_[position_] == ERROR_TOKEN) {
        return;
    }
    const source::TextRange range = current_range();
    if (!errors_.empty() && errors_.back().range == range) {
        return;
    }
    errors_.push_back(SyntaxError{std::string(message), range});
}

void Parser::recover(std::string_view message, RecoverySet set) {
    const Marker marker = open();
    error(message);
    advance();
    while (!eof() && !starts_line() && !set(*this)) {
        advance();
    }
    close(marker, ERROR);
}

bool Parser::enter() {
    if (depth_ == max_depth) {
        return false;
    }
    ++depth_;
    return true;
}

SyntaxNode Parse::tree() const {
    SyntaxNode root = SyntaxNode::root(green);
    if (root.kind() != SOURCE_FILE) {
        base::fatal("root is a SOURCE_FILE");
    }
    return root;
}

Parse parse(std::string_view text) {
    lexer::Lexed lexed = lexer::lex(text);

    std::vector<SyntaxKind> kinds;
    std::vector<source::TextRange> ranges;
    std::vector<bool> line_breaks;
    kinds.reserve(lexed.tokens.size());
    ranges.reserve(lexed.tokens.size());
    line_breaks.reserve(lexed.tokens.size());
    bool pending_line_break = false;
    std::uint32_t offset = 0;
    for (const lexer::Token& token : lexed.tokens) {
        const source::TextRange range{offset, offset + token.len};
        offset = range.end;
        if (token.kind == WHITESPACE) {
            pending_line_break |= holds_line_feed(text.substr(range.start, range.len()));
        } else if (token.kind != COMMENT) {
            kinds.push_back(token.kind);
            ranges.push_back(range);
            line_breaks.push_back(pending_line_break);
            pending_line_break = false;
        }
    }

    Parser p(text, std::move(kinds), std::move(ranges), std::move(line_breaks));
    const Marker root = p.open();
    grammar::source_file(p);
    p.close(root, SOURCE_FILE);

    Parse result;
    result.green = TreeReplay(text, lexed.tokens).run(p.take_events());
    result.errors = std::move(lexed.errors);
    std::vector<SyntaxError> parser_errors = p.take_errors();
    result.errors.insert(result.errors.end(), std::make_move_iterator(parser_errors.begin()),
                         std::make_move_iterator(parser_errors.end()));
    std::stable_sort(
        result.errors.begin(), result.errors.end(),
        [](const SyntaxError& a, const SyntaxError& b) { return a.range.start < b.range.start; });
    return result;
}

} // namespace quorvane_dsl::syntax::parser
