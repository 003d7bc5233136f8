#include <gtest/gtest.h>

#include "load.hpp"

namespace {

TEST(Load, ExtensionOfTheLastComponent) {
    using quorvane::extension;
    EXPECT_EQ(extension("a/b.qvir"), "qvir");
    EXPECT_EQ(extension("design.GDS"), "GDS");
    EXPECT_EQ(extension("lib.tar.gdsii"), "gdsii");
    EXPECT_EQ(extension("out.qvir/"), "qvir");
    EXPECT_EQ(extension("out.qvir/."), "qvir");
    EXPECT_EQ(extension("a/b.gds/.//./"), "gds");
    EXPECT_EQ(extension("./."), "");
    EXPECT_EQ(extension(".gds"), "");
    EXPECT_EQ(extension("name."), "");
    EXPECT_EQ(extension("dir.d/file"), "");
    EXPECT_EQ(extension("a/.."), "");
    EXPECT_EQ(extension("/"), "");
}

} // namespace
