// The layer names of a technology source, for the decompiler to name layers by and import.
#pragma once

#include <expected>
#include <string>

#include "decompile/decompile.hpp"
#include "inputs.hpp"
#include "outcome.hpp"

namespace quorvane {

// The import path of `target` as seen from the directory `base`: relative when `target` lies in
// `base` or below it, else its canonical absolute path; a path that cannot be canonicalised is
// taken as written.
std::string relative_path(const std::string& target, const std::string& base);

// The directory holding `path` (empty for a bare file name); none for the root or an empty path.
std::string parent_directory(const std::string& path);

// The layers and global names of the source `path` and its imports, to be imported from
// `output_directory`; the files read are added to `inputs`. Its diagnostics are printed; a
// source with errors fails the command.
std::expected<quorvane_dsl::decompile::LayerSource, Outcome>
technology(const std::string& path, const std::string& output_directory, InputFiles& inputs);

} // namespace quorvane
