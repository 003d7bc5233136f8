#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "write_library.hpp"

namespace fs = std::filesystem;
namespace ir = quorvane_dsl::ir;

namespace {

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

ir::Library one_cell() {
    ir::Library library;
    ir::Cell cell;
    cell.name = cell.source = "top";
    library.cells.push_back(cell);
    return library;
}

} // namespace

TEST(WriteLibrary, FormatByExtensionAndNoPartialFiles) {
    const fs::path dir = fs::path(::testing::TempDir()) / "quorvane_write_library";
    fs::remove_all(dir);
    fs::create_directories(dir / "dir.qvir");
    const ir::Library library = one_cell();
    for (const std::string name : {"out.qvir", "out.QVIR", "out.gds", ".qvir", "dir.qvir/out"}) {
        ASSERT_TRUE(quorvane::write_library(library, (dir / name).string()));
        EXPECT_EQ(contents(dir / name).starts_with("quorvane-ir 1"), name == "out.qvir") << name;
    }

    // A failed write leaves an existing file as it was, and no stray temporary behind.
    std::ofstream(dir / "keep.gds") << "old";
    ir::Library broken = library;
    broken.cells.push_back(broken.cells[0]);
    EXPECT_EQ(quorvane::write_library(broken, (dir / "keep.gds").string()).error(),
              "DuplicateCellName(\"top\")");
    broken = library;
    broken.dbu = 0;
    EXPECT_EQ(quorvane::write_library(broken, (dir / "zero.gds").string()).error(),
              "InvalidDbu(0.0)");
    EXPECT_TRUE(quorvane::write_library(broken, (dir / "zero.qvir").string()));
    EXPECT_EQ(contents(dir / "keep.gds"), "old");
    EXPECT_FALSE(fs::exists(dir / "zero.gds"));
    EXPECT_FALSE(quorvane::write_library(library, (dir / "dir.qvir").string()));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 6u); // out.qvir, out.QVIR, out.gds, .qvir, keep.gds, zero.qvir
    fs::remove_all(dir);
}
