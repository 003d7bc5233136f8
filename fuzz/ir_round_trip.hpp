// The print–parse–print check of IR text, shared by the targets that print libraries.
#pragma once

#include <string>

#include "fuzz.hpp"
#include "ir/ir.hpp"

namespace quorvane_fuzz {

// What a library printed as reads back and prints to the very same text.
inline void check_reads_back(const std::string& printed) {
    const auto again = quorvane_dsl::ir::parse(printed);
    QV_FUZZ_CHECK(again);
    const auto reprinted = quorvane_dsl::ir::print(*again);
    QV_FUZZ_CHECK(reprinted && *reprinted == printed);
}

} // namespace quorvane_fuzz
