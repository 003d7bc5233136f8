#include "source/source.hpp"

#include <algorithm>
#include <cstring>

#include "base/fatal.hpp"

namespace quorvane_dsl::source {

LineIndex::LineIndex(std::string_view text) {
    if (text.size() > max_text_size) {
        base::fatal("a text of 4 GiB or more cannot be indexed");
    }
    // memchr steps over a line many bytes at a time: a byte loop made this a pass of its own as
    // long as lexing a large source.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    for (const char* at = begin; at != end;) {
        const auto* feed = static_cast<const char*>(std::memchr(at, '\n', end - at));
        if (feed == nullptr) {
            break;
        }
        at = feed + 1;
        line_starts.push_back(static_cast<std::uint32_t>(at - begin));
    }
    length = static_cast<std::uint32_t>(text.size());
}

LineCol LineIndex::line_col(std::uint32_t offset) const {
    offset = std::min(offset, length);
    auto after = std::upper_bound(line_starts.begin(), line_starts.end(), offset);
    auto line = static_cast<std::uint32_t>(after - line_starts.begin() - 1);
    return {line, offset - line_starts[line]};
}

FileId Files::add(std::string name, std::string text) {
    LineIndex line_index(text);
    files.push_back({std::move(name), std::move(text), std::move(line_index)});
    return {static_cast<std::uint32_t>(files.size() - 1)};
}

const SourceFile& Files::operator[](FileId id) const {
    return file_at(files, id);
}

const SourceFile& file_at(std::span<const SourceFile> files, FileId id) {
    if (id.index >= files.size()) {
        base::fatal("file id " + std::to_string(id.index) + " is out of range (" +
                    std::to_string(files.size()) + " files)");
    }
    return files[id.index];
}

} // namespace quorvane_dsl::source
