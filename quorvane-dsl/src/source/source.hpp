// Source files held whole in load order, with the line index of each.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane_dsl::source {

// Texts are indexed by u32 byte offsets, so a text may hold at most this many bytes.
inline constexpr std::size_t max_text_size = UINT32_MAX;

// A file's position in its Files set; handed out from 0 upwards, never reused.
struct FileId {
    std::uint32_t index = 0;
    friend bool operator==(FileId, FileId) = default;
};

// Both zero-based; the column counts bytes.
struct LineCol {
    std::uint32_t line = 0;
    std::uint32_t col = 0;
    friend bool operator==(LineCol, LineCol) = default;
};

struct LineIndex {
    // 0, then one past every line feed. A carriage return is an ordinary byte.
    std::vector<std::uint32_t> line_starts{0};
    std::uint32_t length = 0;

    LineIndex() = default;
    explicit LineIndex(std::string_view text);

    // Offsets past the end give the position of the end.
    LineCol line_col(std::uint32_t offset) const;
};

struct SourceFile {
    std::string name; // the path as the loader wrote it
    std::string text;
    LineIndex line_index;
};

struct Files {
    std::vector<SourceFile> files;

    // Never refuses and never compares names. Ends the process for a text longer than
    // max_text_size; loaders refuse such files before adding them.
    FileId add(std::string name, std::string text);
    // Ends the process for an id of another set.
    const SourceFile& operator[](FileId id) const;
};

// Looks a file up in a list of files; ends the process for an id outside it.
const SourceFile& file_at(std::span<const SourceFile> files, FileId id);

} // namespace quorvane_dsl::source
