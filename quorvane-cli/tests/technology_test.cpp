#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "technology.hpp"

namespace {

namespace fs = std::filesystem;

TEST(Technology, ImportPathAndOutputDirectory) {
    using quorvane::parent_directory;
    EXPECT_EQ(parent_directory("a/b/out.qvs"), "a/b");
    EXPECT_EQ(parent_directory("out.qvs"), "");
    EXPECT_EQ(parent_directory("/top.qvs"), "/");
    EXPECT_EQ(parent_directory("a//b/"), "a");
    EXPECT_EQ(parent_directory("/"), "");

    const fs::path root =
        fs::canonical(fs::temp_directory_path()) / ("qv-technology-" + std::to_string(::getpid()));
    fs::create_directories(root / "tech" / "deep");
    fs::create_directories(root / "other");
    std::ofstream(root / "tech" / "deep" / "base.qvs") << "";
    const std::string base = (root / "tech" / "deep" / "base.qvs").string();
    using quorvane::relative_path;
    EXPECT_EQ(relative_path(base, (root / "tech").string()), "deep/base.qvs");
    EXPECT_EQ(relative_path(base, (root / "tech" / "deep" / ".." / "deep").string()), "base.qvs");
    // Outside the output's directory the path stays absolute; a missing file stays as written.
    EXPECT_EQ(relative_path(base, (root / "other").string()), base);
    EXPECT_EQ(relative_path((root / "te").string(), (root / "tech").string()),
              (root / "te").string());
    EXPECT_EQ(relative_path("missing/x.qvs", ""), "missing/x.qvs");
    fs::remove_all(root);
}

} // namespace
