#include "syntax/parser.hpp"

#include <algorithm>

#include "base/fatal.hpp"
#include "base/stack.hpp"
#include "syntax/grammar.hpp"
#include "syntax/lexer.hpp"

namespace quorvane_dsl::syntax::parser {
namespace {

using enum SyntaxKind;

} // namespace

Parser::Parser(std::string_view text, const TokenColumns& tokens) : tokens_(tokens), text_(text) {
    std::uint32_t last = token_count();
    while (last > 0 && kind::is_trivia(kind_at(last - 1))) {
        --last;
    }
    code_end_ = last > 0 ? range_at(last - 1).end : 0;
    position_ = code_from(0);
    // An advance per token of code and an open and a close per node, which are about as many
    // again: 81 M events for the 52 M tokens (21 M of them trivia) of a 100 MB source. Growing
    // would copy them all into fresh memory, while capacity never touched costs none.
    events_.reserve(2 * std::size_t{token_count()} + 2);
}

source::TextRange Parser::range_at(std::uint32_t index) const {
    const std::uint32_t end = index + 1 < token_count() ? tokens_.starts[index + 1]
                                                        : static_cast<std::uint32_t>(text_.size());
    return {tokens_.starts[index], end};
}

std::uint32_t Parser::nth_index(std::uint32_t n) const {
    std::uint32_t index = position_;
    for (; n > 0 && index < token_count(); --n) {
        index = code_from(index + 1);
    }
    return index;
}

// Comments run to the end of their line, so only white space can hold the line feed. White space
// is mostly a blank or a line break with indentation: a byte loop beats a library search.
bool Parser::line_feed_before(std::uint32_t index) const {
    while (index > 0 && kind::is_trivia(kind_at(index - 1))) {
        --index;
        if (kind_at(index) == WHITESPACE) {
            const source::TextRange range = range_at(index);
            for (std::uint32_t at = range.start; at < range.end; ++at) {
                if (text_[at] == '\n') {
                    return true;
                }
            }
        }
    }
    return false;
}

Marker Parser::open_before(std::uint32_t event_index) {
    events_.insert(events_.begin() + event_index, TreeEvent::open(ERROR));
    return Marker{event_index};
}

void Parser::close_wrapper() {
    events_.push_back(TreeEvent::close());
    refuel();
}

void Parser::open_wrappers_before(std::uint32_t event_index, std::uint32_t count, SyntaxKind kind) {
    events_.insert(events_.begin() + event_index, count, TreeEvent::open(kind));
}

void Parser::past_end() {
    base::fatal("advance past the end");
}

void Parser::stuck() const {
    base::fatal("parser is stuck at token " + std::to_string(position_));
}

bool Parser::nth_at_contextual(std::uint32_t n, SyntaxKind kind) {
    spend_fuel();
    const std::uint32_t index = nth_index(n);
    if (index >= token_count() || kind_at(index) != IDENT) {
        return false;
    }
    if (index != contextual_checked_) {
        const source::TextRange range = range_at(index);
        contextual_checked_ = index;
        contextual_ =
            kind::from_contextual_keyword(text_.substr(range.start, range.len())).value_or(IDENT);
    }
    return contextual_ == kind;
}

bool Parser::nth_starts_line(std::uint32_t n) const {
    const std::uint32_t index = nth_index(n);
    return index >= token_count() || line_feed_before(index);
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
        return range_at(position_);
    }
    return source::TextRange{code_end_, code_end_};
}

void Parser::error(std::string_view message) {
    if (!eof() && kind_at(position_) == ERROR_TOKEN) {
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
    if (depth_ == max_depth || !base::stack_room()) {
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
    return parse_owned(std::string(text));
}

Parse parse_owned(std::string text) {
    lexer::LexedColumns lexed = lexer::lex_columns(text);
    std::vector<TreeEvent> events;
    std::vector<SyntaxError> parser_errors;
    {
        Parser p(text, lexed.tokens);
        const Marker root = p.open();
        grammar::source_file(p);
        p.close(root, SOURCE_FILE);
        events = p.take_events();
        parser_errors = p.take_errors();
    }

    Parse result;
    result.green =
        assemble_tree(std::move(text), std::move(lexed.tokens), events, TriviaEvents::Attached);
    result.errors = std::move(lexed.errors);
    result.errors.insert(result.errors.end(), std::make_move_iterator(parser_errors.begin()),
                         std::make_move_iterator(parser_errors.end()));
    std::stable_sort(
        result.errors.begin(), result.errors.end(),
        [](const SyntaxError& a, const SyntaxError& b) { return a.range.start < b.range.start; });
    return result;
}

} // namespace quorvane_dsl::syntax::parser
