#include "report.hpp"

#include <iostream>

#include "diag/diag.hpp"
#include "source/source.hpp"

namespace quorvane {

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
