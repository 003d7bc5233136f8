// An imported IR file as the loader read it.
#pragma once

#include <vector>

#include "ir/model.hpp"
#include "source/location.hpp"
#include "source/source.hpp"

namespace quorvane_dsl::load {

struct IrFile {
    ir::Library library;
    std::vector<source::TextRange> spans; // per library cell: where it stands in the IR text
    source::FileId file;                  // the IR text in the file set
    source::FileId importer;              // the source file whose import brought it in
    // The import's path string, quotes included; diagnostics about the file as a whole go here.
    source::TextRange import_range;
};

} // namespace quorvane_dsl::load
