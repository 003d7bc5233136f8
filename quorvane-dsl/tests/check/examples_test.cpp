#include <gtest/gtest.h>

#include <string>

#include "analysis.hpp"

using namespace quorvane_dsl;

// The example designs are the first thing a newcomer runs; they must stay free of diagnostics.
TEST(CheckExamples, AnalyseClean) {
    for (const char* name : {"bond_pads.qvs", "waveguides.qvs", "comb.qvs", "chip.qvs"}) {
        const auto analysis = analyze(std::string(QV_TEST_DATA) + "/../../examples/" + name);
        ASSERT_TRUE(analysis.has_value()) << analysis.error();
        for (const diag::Diagnostic& d : analysis->hir.diagnostics) {
            ADD_FAILURE() << name << ": " << d.message;
        }
    }
}
