// Diagnostics and their rendering with source snippets.
#pragma once

#include <algorithm>
#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "source/location.hpp"
#include "source/source.hpp"

namespace quorvane_dsl::diag {

using source::Src;

enum class Severity : std::uint8_t { Error = 0, Warning = 1, Info = 2 };

struct Note {
    std::string message;
    Src src;
    friend bool operator==(const Note&, const Note&) = default;
};

struct Diagnostic {
    std::string message;
    std::vector<Note> notes;
    Src src;
    Severity severity = Severity::Error;
    friend bool operator==(const Diagnostic&, const Diagnostic&) = default;
};

inline bool has_error(std::span<const Diagnostic> diagnostics) {
    return std::ranges::any_of(diagnostics,
                               [](const Diagnostic& d) { return d.severity == Severity::Error; });
}

// The command line prints at most this many errors of a file, the first by place.
inline constexpr std::size_t shown_errors_per_file = 100;

// For each diagnostic, whether it can be printed once the list is merged with later ones,
// ordered by place and rid of repeats: every warning and note, and the errors with fewer than
// `shown_errors_per_file` errors of their file before them.
std::vector<bool> may_be_shown(const std::vector<Diagnostic>& diagnostics);

// Follows a list of diagnostics while it grows and tells when an error can no longer be shown
// (by `may_be_shown` or the command line): its file already holds `shown_errors_per_file`
// distinct errors placed before it, and errors added later only add to them.
class HiddenErrors {
  public:
    // Whether an error at `src`, added after `diagnostics`, can never be shown.
    bool hidden(const std::vector<Diagnostic>& diagnostics, Src src);

  private:
    using Place = std::pair<std::uint32_t, std::uint32_t>; // start and end
    std::size_t seen_ = 0;
    // Per file, its first distinct errors by place, at most `shown_errors_per_file` of them.
    std::unordered_map<std::uint32_t, std::set<std::pair<Place, std::string>>> first_;
};

// "error", "warning" or "info".
std::string_view severity_word(Severity severity);

// The header line and source snippet of the diagnostic, then of each note; ends with a line
// feed. Ends the process for a file id outside `files`.
std::string render(std::span<const source::SourceFile> files, const Diagnostic& diagnostic);

// Appends the four snippet lines: arrow with path:line:column, gutter, source line, carets. A
// long line is cut to a window around the carets, with "…" where it was cut.
void snippet(std::string& out, std::span<const source::SourceFile> files, source::FileId file,
             source::TextRange range);

} // namespace quorvane_dsl::diag
