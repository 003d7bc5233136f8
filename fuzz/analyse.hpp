// Analysis of one source text in memory, as the driver makes it of a file: the targets that
// lower, check or evaluate share it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis.hpp"
#include "diag/diag.hpp"
#include "load/load.hpp"
#include "syntax/parser.hpp"

namespace quorvane_fuzz {

// The evaluation steps one input may take: few, so that a looping input ends at once.
inline constexpr std::uint64_t step_limit = 20'000;

// `parsed` is the parse of `text`; the file's imports are left out, since a fuzz input has no
// files beside it.
inline quorvane_dsl::Analysis analyse(std::string_view text,
                                      quorvane_dsl::syntax::parser::Parse parsed) {
    quorvane_dsl::load::Loaded loaded;
    const auto file = loaded.files.add("f.qvs", std::string(text));
    for (const quorvane_dsl::syntax::SyntaxError& error : parsed.errors) {
        loaded.diagnostics.push_back(
            {.message = error.message, .notes = {}, .src = {error.range, file}});
    }
    loaded.sources.emplace_back(file, std::move(parsed));
    return quorvane_dsl::analyze_loaded(std::move(loaded));
}

using quorvane_dsl::diag::has_error;

} // namespace quorvane_fuzz
