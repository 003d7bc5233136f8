// The parser reads any text into a lossless tree and reports errors at places inside it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz.hpp"
#include "syntax/parser.hpp"

using namespace quorvane_dsl::syntax;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    const parser::Parse parsed = parser::parse(text);
    std::string tree_text;
    for (const auto& event : parsed.tree().preorder_with_tokens()) {
        if (event.walk == Walk::Enter && event.element.is_token()) {
            tree_text += event.element.text();
        }
    }
    QV_FUZZ_CHECK(tree_text == text);
    std::uint32_t previous_start = 0;
    for (const SyntaxError& error : parsed.errors) {
        QV_FUZZ_CHECK(error.range.start <= error.range.end && error.range.end <= text.size());
        QV_FUZZ_CHECK(error.range.start >= previous_start);
        previous_start = error.range.start;
    }
    return 0;
}
