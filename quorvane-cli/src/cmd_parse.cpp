#include <iostream>

#include "commands.hpp"
#include "file_io.hpp"
#include "quote.hpp"
#include "report.hpp"
#include "syntax/parser.hpp"

namespace quorvane {
namespace {

using quorvane_dsl::syntax::SyntaxNode;
using quorvane_dsl::syntax::Walk;

void append_line(std::string& out, std::size_t depth,
                 const quorvane_dsl::syntax::SyntaxElement& element) {
    out.append(2 * depth, ' ');
    out += quorvane_dsl::syntax::kind::name(element.kind());
    out += '@';
    out += std::to_string(element.text_range().start);
    out += "..";
    out += std::to_string(element.text_range().end);
    if (element.is_token()) {
        out += ' ';
        out += quote_text(element.text());
    }
    out += '\n';
}

// One line per node and token in preorder: indentation, KIND@start..end, and for a token its
// quoted text.
std::string syntax_listing(const SyntaxNode& root) {
    std::string out;
    std::size_t depth = 0;
    for (const auto& event : root.preorder_with_tokens()) {
        if (event.walk == Walk::Leave) {
            --depth;
            continue;
        }
        append_line(out, depth, event.element);
        ++depth;
    }
    return out;
}

} // namespace

Outcome parse_cmd(Args args) {
    if (args.size() != 1) {
        return Error{"parse needs exactly one file"};
    }
    const std::string& path = args[0];
    std::expected<std::string, std::string> text = read(path);
    if (!text) {
        return Error{text.error()};
    }
    const quorvane_dsl::syntax::parser::Parse parsed = quorvane_dsl::syntax::parser::parse(*text);
    const std::string listing = syntax_listing(parsed.tree());
    if (auto written = write_standard_output(listing); !written) {
        return Error{std::move(written.error())};
    }
    print_syntax_errors(path, *text, parsed.errors);
    return parsed.errors.empty() ? Outcome{Pass{}} : Outcome{Fail{}};
}

} // namespace quorvane
