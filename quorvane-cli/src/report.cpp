#include "report.hpp"

#include <cstring>
#include <iostream>

#include "diag/diag.hpp"
#include "file_io.hpp"
#include "source/source.hpp"
#include "base/utf8.hpp"

namespace quorvane {

std::string system_error_text(int code) {
    return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

std::expected<std::string, std::string> read(const std::string& path) {
    const auto bytes = read_bytes(path);
    if (!bytes) {
        return std::unexpected(bytes.error());
    }
    if (bytes->size() >= quorvane_dsl::source::max_text_size) {
        return std::unexpected("reading " + path + ": file is too large");
    }
    std::string text(bytes->begin(), bytes->end());
    if (!quorvane_dsl::syntax::utf8::is_valid(text)) {
        return std::unexpected("reading " + path + ": stream did not contain valid UTF-8");
    }
    return text;
}

void print_syntax_errors(const std::string& path, std::string_view text,
                         std::span<const quorvane_dsl::syntax::SyntaxError> errors) {
    namespace diag = quorvane_dsl::diag;
    quorvane_dsl::source::Files files;
    const quorvane_dsl::source::FileId file = files.add(path, std::string(text));
    for (const auto& error : errors) {
        const diag::Diagnostic diagnostic{.message = error.message,
                                          .notes = {},
                                          .src = {error.range, file},
                                          .severity = diag::Severity::Error};
        std::cerr << diag::render(files.files, diagnostic);
    }
}

} // namespace quorvane
