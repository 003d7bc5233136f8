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
// quoted text. The listing is many times the size of the text, so it goes out in pieces.
std::expected<void, std::string> write_syntax_listing(const SyntaxNode& root) {
    return stream_standard_output([&](const Sink& sink) -> std::expected<void, std::string> {
        constexpr std::size_t piece = std::size_t{1} << 20;
        std::string out;
        out.reserve(piece + 4096);
        const auto flush = [&] {
            sink(std::span(reinterpret_cast<const std::uint8_t*>(out.data()), out.size()));
            out.clear();
        };
        std::size_t depth = 0;
        for (const auto& event : root.preorder_with_tokens()) {
            if (event.walk == Walk::Leave) {
                --depth;
                continue;
            }
            append_line(out, depth, event.element);
            ++depth;
            if (out.size() >= piece) {
                flush();
            }
        }
        flush();
        return {};
    });
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
    // The tree keeps the text: no second copy of it.
    const quorvane_dsl::syntax::parser::Parse parsed =
        quorvane_dsl::syntax::parser::parse_owned(std::move(*text));
    if (auto written = write_syntax_listing(parsed.tree()); !written) {
        return Error{std::move(written.error())};
    }
    print_syntax_errors(path, parsed.green->text, parsed.errors);
    return parsed.errors.empty() ? Outcome{Pass{}} : Outcome{Fail{}};
}

} // namespace quorvane
