#include "diag/diag.hpp"

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "base/utf8.hpp"

namespace quorvane_dsl::diag {

namespace {

// Up to the first line feed, without a carriage return directly before it.
std::string_view first_line(std::string_view text) {
    std::size_t feed = text.find('\n');
    if (feed == std::string_view::npos) {
        return text;
    }
    text = text.substr(0, feed);
    if (text.ends_with('\r')) {
        text.remove_suffix(1);
    }
    return text;
}

// A longer source line is shown as a window of this many characters around the carets, with
// "…" where it was cut: one long line must not make every diagnostic on it as long. Nor does it
// make rendering one cost more than the window: many diagnostics on a long line stay linear.
constexpr std::size_t max_shown_chars = 100;
constexpr std::size_t shown_before_caret = 30;

// Carets under the first line of the range, counted no further than a window holds.
std::size_t caret_count(std::string_view text, source::TextRange range) {
    if (range.start > range.end || !base::utf8::is_char_boundary(text, range.start) ||
        !base::utf8::is_char_boundary(text, range.end)) {
        return 1;
    }
    const std::size_t window_bytes = 4 * (max_shown_chars + 2);
    std::string_view covered =
        text.substr(range.start, std::min<std::size_t>(range.len(), window_bytes));
    return std::max<std::size_t>(base::utf8::char_count(first_line(covered)), 1);
}

// Spaces that put the carets under the column; none when the column is not within the line.
std::size_t caret_indent(std::string_view line, std::uint32_t byte_col) {
    if (byte_col > line.size() || !base::utf8::is_char_boundary(line, byte_col)) {
        return 0;
    }
    return base::utf8::char_count(line.substr(0, byte_col));
}

// The first character start at or after `pos`, characters taken as decoding from the line's
// start takes them: only a well-formed character spans several bytes.
std::size_t char_start_from(std::string_view line, std::size_t pos) {
    for (std::size_t back = 1; back <= 3 && back <= pos; ++back) {
        if (!base::utf8::is_continuation(line[pos - back])) {
            const std::size_t end = pos - back + base::utf8::decode(line, pos - back).len;
            return std::max(end, pos);
        }
    }
    return pos;
}

// Where the `count`-th character before the character start `to` starts, or 0 when fewer
// characters stand before it. A character takes at most four bytes: the search starts no
// further back than that.
std::size_t char_start_back(std::string_view line, std::size_t to, std::size_t count) {
    const std::size_t reach = 4 * count + 8;
    std::vector<std::size_t> starts;
    for (std::size_t pos = char_start_from(line, to > reach ? to - reach : 0); pos < to;
         pos += base::utf8::decode(line, pos).len) {
        starts.push_back(pos);
    }
    return starts.size() >= count ? starts[starts.size() - count] : 0;
}

struct ShownLine {
    std::string text;
    std::size_t indent = 0;
    std::size_t carets = 1;
};

ShownLine clipped(std::string_view line, std::uint32_t byte_col, std::size_t carets) {
    if (base::utf8::char_prefix(line, max_shown_chars).size() == line.size()) {
        return {std::string(line), caret_indent(line, byte_col), carets};
    }
    const bool on_char = byte_col <= line.size() && base::utf8::is_char_boundary(line, byte_col);
    const std::size_t caret = on_char ? byte_col : 0;
    const std::size_t first = std::min(char_start_back(line, caret, shown_before_caret),
                                       char_start_back(line, line.size(), max_shown_chars));
    const std::string_view window = base::utf8::char_prefix(line.substr(first), max_shown_chars);
    const std::size_t lead = base::utf8::char_count(line.substr(first, caret - first));
    const std::string_view ellipsis = "…";
    ShownLine shown;
    shown.text.append(first > 0 ? ellipsis : "").append(window);
    shown.text.append(first + window.size() < line.size() ? ellipsis : "");
    shown.indent = lead + (first > 0 ? 1 : 0);
    shown.carets = std::max<std::size_t>(std::min(carets, max_shown_chars - lead), 1);
    return shown;
}

} // namespace

std::vector<bool> may_be_shown(const std::vector<Diagnostic>& diagnostics) {
    const auto place = [&](std::size_t i) {
        const Src& src = diagnostics[i].src;
        return std::tuple(src.file.index, src.range.start, src.range.end);
    };
    std::vector<std::size_t> errors;
    for (std::size_t i = 0; i < diagnostics.size(); ++i) {
        if (diagnostics[i].severity == Severity::Error) {
            errors.push_back(i);
        }
    }
    std::ranges::stable_sort(errors, {}, place);
    std::vector<bool> shown(diagnostics.size(), true);
    std::size_t before = 0; // distinct errors of the file before this one
    for (std::size_t k = 1; k < errors.size(); ++k) {
        const std::size_t previous = errors[k - 1];
        const std::size_t current = errors[k];
        if (diagnostics[current].src.file != diagnostics[previous].src.file) {
            before = 0;
        } else if (place(current) != place(previous) ||
                   diagnostics[current].message != diagnostics[previous].message) {
            ++before;
        }
        shown[current] = before < shown_errors_per_file;
    }
    return shown;
}

bool HiddenErrors::hidden(const std::vector<Diagnostic>& diagnostics, Src src) {
    for (; seen_ < diagnostics.size(); ++seen_) {
        const Diagnostic& d = diagnostics[seen_];
        if (d.severity != Severity::Error) {
            continue;
        }
        auto& first = first_[d.src.file.index];
        const Place place{d.src.range.start, d.src.range.end};
        if (first.size() == shown_errors_per_file && first.rbegin()->first <= place) {
            continue;
        }
        first.emplace(place, d.message);
        if (first.size() > shown_errors_per_file) {
            first.erase(std::prev(first.end()));
        }
    }
    const auto found = first_.find(src.file.index);
    return found != first_.end() && found->second.size() == shown_errors_per_file &&
           found->second.rbegin()->first < Place{src.range.start, src.range.end};
}

std::string_view severity_word(Severity severity) {
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Info:
        return "info";
    }
    return "error";
}

std::string render(std::span<const source::SourceFile> files, const Diagnostic& diagnostic) {
    std::string out;
    out.append(severity_word(diagnostic.severity)).append(": ");
    out.append(diagnostic.message).append("\n");
    snippet(out, files, diagnostic.src.file, diagnostic.src.range);
    for (const Note& note : diagnostic.notes) {
        out.append("note: ").append(note.message).append("\n");
        snippet(out, files, note.src.file, note.src.range);
    }
    return out;
}

void snippet(std::string& out, std::span<const source::SourceFile> files, source::FileId file,
             source::TextRange range) {
    const source::SourceFile& source = source::file_at(files, file);
    std::string_view text = source.text;
    const source::LineIndex& index = source.line_index;
    std::uint32_t offset = std::min(range.start, index.length);
    source::LineCol position = index.line_col(offset);
    std::uint32_t line_start = index.line_starts[position.line];
    // The line ends at the line feed before the next line's start, found without reading it.
    const bool last = position.line + 1 == index.line_starts.size();
    const std::size_t start = std::min<std::size_t>(line_start, text.size());
    const std::size_t end = std::clamp<std::size_t>(
        last ? text.size() : index.line_starts[position.line + 1] - 1, start, text.size());
    std::string_view line = text.substr(start, end - start);
    if (!last && line.ends_with('\r')) {
        line.remove_suffix(1);
    }

    std::string line_number = std::to_string(position.line + 1);
    std::string pad(line_number.size(), ' ');
    out.append(pad).append("--> ").append(source.name).append(":").append(line_number);
    out.append(":").append(std::to_string(position.col + 1)).append("\n");
    out.append(pad).append(" |\n");
    const ShownLine shown = clipped(line, position.col, caret_count(text, range));
    out.append(line_number).append(" | ").append(shown.text).append("\n");
    out.append(pad).append(" | ");
    out.append(shown.indent, ' ');
    out.append(shown.carets, '^').append("\n");
}

} // namespace quorvane_dsl::diag
