// The parser reads any text into a lossless tree and reports errors at places inside it, and
// their rendering stays within a fixed multiple of the text's size.

#include <cstddef>
#include <cstdint>
#include <string>

#include "diag/diag.hpp"
#include "fuzz.hpp"
#include "source/source.hpp"
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
    quorvane_dsl::source::Files files;
    const auto file = files.add("f.qvs", std::string(text));
    std::size_t rendered = 0;
    for (const SyntaxError& error : parsed.errors) {
        QV_FUZZ_CHECK(error.range.start <= error.range.end && error.range.end <= text.size());
        QV_FUZZ_CHECK(error.range.start >= previous_start);
        previous_start = error.range.start;
        rendered +=
            quorvane_dsl::diag::render(
                files.files, {.message = error.message, .notes = {}, .src = {error.range, file}})
                .size();
    }
    // A snippet line is clipped to about 100 characters and runs of stray characters are one
    // error, so each byte of input accounts for a bounded share of the output.
    constexpr std::size_t bytes_per_input_byte = 1000;
    QV_FUZZ_CHECK(rendered <= bytes_per_input_byte * (text.size() + 1));
    return 0;
}
