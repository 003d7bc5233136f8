// The parser reads any text into a lossless tree and reports errors at places inside it; the
// rendered diagnostics of parsing, lowering and checking stay within a fixed multiple of the
// text's size.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "analyse.hpp"
#include "diag/diag.hpp"
#include "fuzz.hpp"
#include "syntax/parser.hpp"

using namespace quorvane_dsl::syntax;
namespace diag = quorvane_dsl::diag;

namespace {

void check_lossless(const parser::Parse& parsed, std::string_view text) {
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
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = quorvane_fuzz::text_of(data, size);
    parser::Parse parsed = parser::parse(text);
    check_lossless(parsed, text);
    const auto analysis = quorvane_fuzz::analyse(text, std::move(parsed));
    std::size_t rendered = 0;
    for (const diag::Diagnostic& diagnostic : analysis.hir.diagnostics) {
        rendered += diag::render(analysis.hir.files.files, diagnostic).size();
    }
    // A snippet line is clipped to a window around its carets and runs of stray characters are
    // one error, so each byte of input accounts for a bounded share of the output.
    constexpr std::size_t bytes_per_input_byte = 1000;
    QV_FUZZ_CHECK(rendered <= bytes_per_input_byte * (text.size() + 1));
    return 0;
}
