#include <gtest/gtest.h>

#include "parse_helpers.hpp"

namespace quorvane_dsl::syntax {
namespace {

using testing::errors_of;
using testing::shape_of;
using Errors = std::vector<std::string>;

TEST(Parser, Smoke) {
    EXPECT_EQ(shape_of("cell a { }"), "SOURCE_FILE(CELL(CELL_KW NAME(IDENT) L_BRACE R_BRACE))");
    EXPECT_EQ(errors_of("cell a {"), Errors{"expected `}`@8..8"});
}

} // namespace
} // namespace quorvane_dsl::syntax
