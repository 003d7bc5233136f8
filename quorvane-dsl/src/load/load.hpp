// The import loader: reads a source file and everything it imports, source and IR text alike.
#pragma once

#include <expected>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "diag/diag.hpp"
#include "load/ir_file.hpp"
#include "source/source.hpp"
#include "syntax/parser.hpp"

namespace quorvane_dsl::load {

// Everything lowering needs; lowering takes it whole.
struct Loaded {
    // The root first, then in the order registered. A parsed source's text is held by its
    // tree alone, not here, until lowering hands it back.
    source::Files files;
    // Every parsed source file: the root first, then breadth-first in import order.
    std::vector<std::pair<source::FileId, syntax::parser::Parse>> sources;
    std::vector<IrFile> ir_files;              // those that parsed, in import order
    std::vector<diag::Diagnostic> diagnostics; // syntax errors and imports that failed
};

// Lexical: `.` components drop out, `..` removes the name before it (or stays when there is
// none), repeated and trailing separators vanish. The file system is not consulted.
std::string normalize_path(std::string_view path);

// Follows the top-level imports of `path` through a work list; each file is read once, however
// it is reached. Fails only when the root cannot be read: "reading <path as given>: <reason>".
std::expected<Loaded, std::string> load(const std::string& path);

} // namespace quorvane_dsl::load
