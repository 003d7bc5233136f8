// The print–read–print check of IR text, shared by the targets that print libraries.
#pragma once

#include <string>
#include <vector>

#include "fuzz.hpp"
#include "ir/ir.hpp"

namespace quorvane_fuzz {

// Values come back from their literals with the few changes that are their documented lot (a
// zero length reads as the Int 0, a dimension without a unit is lost, the last bits of a length
// in um may move); these are applied to `values` so that only other changes stand out.
inline void read_values_back(std::vector<quorvane_dsl::ir::NamedValue>& values,
                             quorvane_dsl::ir::Stored where) {
    for (auto& [name, value] : values) {
        if (auto again = quorvane_dsl::ir::Value::parse_literal(value.stored_literal(where))) {
            value = std::move(*again);
        }
    }
}

// What `library` printed as reads back to the same library, which prints to the very same text:
// a name the text cannot carry must have been refused, never changed.
inline void check_reads_back(quorvane_dsl::ir::Library library, const std::string& printed) {
    const auto again = quorvane_dsl::ir::parse(printed);
    QV_FUZZ_CHECK(again);
    for (quorvane_dsl::ir::Cell& cell : library.cells) {
        read_values_back(cell.params, quorvane_dsl::ir::Stored::ToTheEnd);
        read_values_back(cell.attrs, quorvane_dsl::ir::Stored::ToTheEnd);
        for (quorvane_dsl::ir::Marker& marker : cell.markers) {
            read_values_back(marker.attrs, quorvane_dsl::ir::Stored::AmongText);
        }
    }
    QV_FUZZ_CHECK(*again == library);
    const auto reprinted = quorvane_dsl::ir::print(*again);
    QV_FUZZ_CHECK(reprinted && *reprinted == printed);
}

} // namespace quorvane_fuzz
