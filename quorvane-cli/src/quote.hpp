// Token text quoted for the syntax-tree printer.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

// `text` as a double-quoted literal: quotes and backslashes escaped, tab, carriage return, line
// feed and NUL as \t \r \n \0, non-printable and grapheme-extending characters as \u{hex}.
// Bytes that are not valid UTF-8 are written as \u{fffd}.
std::string quote_text(std::string_view text);

} // namespace quorvane
