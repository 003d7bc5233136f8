// Writing a library to a file as IR text or GDSII.
#pragma once

#include <expected>
#include <string>
#include <vector>

#include "ir/ir.hpp"

namespace quorvane {

// IR text when the output's extension is exactly "qvir", else GDSII (its conversion warnings
// go to standard error). Nothing reaches the path unless the whole output could be made. The
// library is taken over: GDSII output frees it before encoding, and a file replaced through a
// temporary takes the stream piece by piece as it is encoded.
std::expected<void, std::string> write_library(quorvane_dsl::ir::Library library,
                                               const std::string& path);

// The bytes `write_library` would write to `path`, with the GDSII conversion's warnings, made
// without writing anything: for outputs that must all be known to be possible before any is.
struct RenderedLibrary {
    std::string bytes;
    std::vector<std::string> warnings;
};

std::expected<RenderedLibrary, std::string> render_library(const quorvane_dsl::ir::Library& library,
                                                           const std::string& path);

// The library as IR text on standard output, every write checked.
std::expected<void, std::string> print_library(const quorvane_dsl::ir::Library& library);

} // namespace quorvane
