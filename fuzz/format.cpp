// Formatted text parses cleanly, keeps every token and comment in order and is already in its
// canonical layout.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "format/format.hpp"
#include "fuzz.hpp"
#include "syntax/parser.hpp"

using namespace quorvane_dsl::syntax;

namespace {

// The UTF-8 forms of the white space the formatter trims from the ends of lines.
constexpr std::string_view white_spaces[] = {
    "\t",           "\n",           "\v",           "\f",           "\r",           " ",
    "\xC2\x85",     "\xC2\xA0",     "\xE1\x9A\x80", "\xE2\x80\x80", "\xE2\x80\x81", "\xE2\x80\x82",
    "\xE2\x80\x83", "\xE2\x80\x84", "\xE2\x80\x85", "\xE2\x80\x86", "\xE2\x80\x87", "\xE2\x80\x88",
    "\xE2\x80\x89", "\xE2\x80\x8A", "\xE2\x80\xA8", "\xE2\x80\xA9", "\xE2\x80\xAF", "\xE2\x81\x9F",
    "\xE3\x80\x80",
};

std::string_view trim_end(std::string_view text) {
    for (bool trimmed = true; trimmed;) {
        trimmed = false;
        for (std::string_view space : white_spaces) {
            if (text.ends_with(space)) {
                text.remove_suffix(space.size());
                trimmed = true;
            }
        }
    }
    return text;
}

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
            text = trim_end(text);
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
