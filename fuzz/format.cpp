// Formatted text parses cleanly, keeps every token and comment in order and is already in its
// canonical layout.

#include "format/format.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/utf8.hpp"
#include "fuzz.hpp"
#include "syntax/parser.hpp"

using namespace quorvane_dsl::syntax;

namespace {

// The texts of the tokens other than white space; comments without their trailing blanks.
std::vector<std::string_view> significant_texts(const SyntaxNode& root) {
    std::vector<std::string_view> texts;
    for (const auto& event : root.preorder_with_tokens()) {
        if (event.walk != Walk::Enter || !event.element.is_token() ||
            event.element.kind() == SyntaxKind::WHITESPACE) {
            continue;
        }
        std::string_view text = event.element.text();
        if (event.element.kind() == SyntaxKind::COMMENT) {
            text = quorvane_dsl::base::utf8::trim_end(text);
        }
        texts.push_back(text);
    }
    return texts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    const auto formatted = quorvane_dsl::format::format(text);
    if (!formatted) {
        return 0;
    }
    const parser::Parse reparsed = parser::parse(*formatted);
    QV_FUZZ_CHECK(reparsed.errors.empty());
    QV_FUZZ_CHECK(significant_texts(reparsed.tree()) ==
                  significant_texts(parser::parse(text).tree()));
    const auto again = quorvane_dsl::format::format(*formatted);
    QV_FUZZ_CHECK(again && *again == *formatted);
    return 0;
}
