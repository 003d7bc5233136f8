#include "parse_helpers.hpp"

namespace quorvane_dsl::syntax::testing {

std::string shape_of(const SyntaxNode& node) {
    std::string out(kind::name(node.kind()));
    out += '(';
    bool first = true;
    for (const SyntaxElement& element : node.children_with_tokens()) {
        if (kind::is_trivia(element.kind())) {
            continue;
        }
        if (!first) {
            out += ' ';
        }
        first = false;
        if (const auto child = element.as_node()) {
            out += shape_of(*child);
        } else {
            out += kind::name(element.kind());
        }
    }
    out += ')';
    return out;
}

std::string shape_of(std::string_view text) {
    return shape_of(parser::parse(text).tree());
}

std::vector<std::string> errors_of(std::string_view text) {
    std::vector<std::string> out;
    for (const SyntaxError& error : parser::parse(text).errors) {
        out.push_back(error.message + "@" + std::to_string(error.range.start) + ".." +
                      std::to_string(error.range.end));
    }
    return out;
}

} // namespace quorvane_dsl::syntax::testing
