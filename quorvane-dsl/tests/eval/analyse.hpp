// Analysis of a source text for the evaluator's tests, which expect it to be clean.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <unistd.h>

#include "analysis.hpp"

namespace quorvane_dsl {

// Analyses `text` as a file of its own; any diagnostic fails the calling test.
inline Analysis analyse(const std::string& text) {
    const auto path =
        std::filesystem::temp_directory_path() / ("qv-eval-" + std::to_string(::getpid()) + ".qvs");
    std::ofstream(path) << text;
    auto analysis = analyze(path.string());
    std::filesystem::remove(path);
    EXPECT_TRUE(analysis.has_value());
    for (const auto& d : analysis->hir.diagnostics) {
        ADD_FAILURE() << "analysis: " << d.message;
    }
    return std::move(*analysis);
}

} // namespace quorvane_dsl
