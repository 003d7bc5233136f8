// The files a command reads, kept apart from the files it writes.
#pragma once

#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "source/source.hpp"

namespace quorvane {

// Every file a command has read, as it was named, imports included.
using InputFiles = std::vector<std::string>;

// Adds every file an analysis read: the source and its imports.
void add_sources(InputFiles& inputs, const quorvane_dsl::source::Files& files);

// "the output `<out>` is the input file" when the output is one of the inputs (the same device
// and inode, however either path is spelled). Only a regular file counts: standard output (`-`
// too, even beside a file of that name) and devices are written in place and never replace
// what was read.
std::expected<void, std::string> refuse_overwriting_inputs(const std::string& output,
                                                           const InputFiles& inputs);

// The canonical form of `path`, or `path` itself when it has none (it does not exist, say).
std::filesystem::path canonical_or_as_written(const std::filesystem::path& path);

// The paths less those naming, by canonical path, a file named before them; a path that
// cannot be canonicalised counts as written.
std::vector<std::string> distinct_files(const std::vector<std::string>& paths);

} // namespace quorvane
