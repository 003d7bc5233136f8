#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "file_text.hpp"
#include "write_library.hpp"

namespace fs = std::filesystem;
namespace ir = quorvane_dsl::ir;

namespace {

using quorvane_test::file_text;

ir::Library one_cell() {
    ir::Library library;
    ir::Cell cell;
    cell.name = cell.source = "top";
    library.cells.push_back(cell);
    return library;
}

} // namespace

TEST(WriteLibrary, FormatByExtensionAndNoPartialFiles) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("quorvane_write_library_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "dir.qvir");
    const ir::Library library = one_cell();
    for (const std::string name : {"out.qvir", "out.QVIR", "out.gds", ".qvir", "dir.qvir/out"}) {
        ASSERT_TRUE(quorvane::write_library(library, (dir / name).string()));
        EXPECT_EQ(file_text(dir / name).starts_with("quorvane-ir 1"), name == "out.qvir") << name;
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
    EXPECT_EQ(file_text(dir / "keep.gds"), "old");
    EXPECT_FALSE(fs::exists(dir / "zero.gds"));
    EXPECT_FALSE(quorvane::write_library(library, (dir / "dir.qvir").string()));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        files += entry.is_regular_file() ? 1 : 0;
    }
    EXPECT_EQ(files, 6u); // out.qvir, out.QVIR, out.gds, .qvir, keep.gds, zero.qvir
    fs::remove_all(dir);
}

TEST(WriteLibrary, LinksAndModesOfExistingFilesStay) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("quorvane_write_existing_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "real");
    std::ofstream(dir / "real" / "target.gds") << "old";
    fs::permissions(dir / "real" / "target.gds", fs::perms(0640));
    fs::create_symlink("real/target.gds", dir / "link.gds");
    fs::create_symlink("real/new.qvir", dir / "dangling.qvir");
    const ir::Library library = one_cell();
    ASSERT_TRUE(quorvane::write_library(library, (dir / "link.gds").string()));
    ASSERT_TRUE(quorvane::write_library(library, (dir / "dangling.qvir").string()));
    EXPECT_TRUE(fs::is_symlink(dir / "link.gds"));
    EXPECT_TRUE(fs::is_symlink(dir / "dangling.qvir"));
    EXPECT_EQ(file_text(dir / "real" / "target.gds").substr(0, 2), std::string("\0\6", 2));
    EXPECT_EQ(fs::status(dir / "real" / "target.gds").permissions(), fs::perms(0640));
    EXPECT_TRUE(file_text(dir / "real" / "new.qvir").starts_with("quorvane-ir 1"));

    // A pipe is written in place, not replaced by a file. The end held open here lets the
    // writer in without a second thread, and a write that misses the pipe cannot hang the test.
    ASSERT_EQ(::mkfifo((dir / "pipe.gds").c_str(), 0600), 0);
    const int pipe = ::open((dir / "pipe.gds").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(pipe, 0);
    EXPECT_TRUE(quorvane::write_library(library, (dir / "pipe.gds").string()));
    std::array<char, 2> head{};
    EXPECT_EQ(::read(pipe, head.data(), head.size()), 2);
    ::close(pipe);
    EXPECT_EQ(std::string(head.data(), 2), std::string("\0\6", 2));
    EXPECT_TRUE(fs::is_fifo(dir / "pipe.gds"));
    fs::remove_all(dir);
}

TEST(WriteLibrary, PlantedTemporaryNamesAreNeitherFollowedNorRemoved) {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("quorvane_write_planted_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "victim") << "keep";
    std::ofstream(dir / "out.qvir") << "old";
    // Whoever can write to the folder can guess the temporary's name.
    const std::string prefix = ".out.qvir.partial-" + std::to_string(::getpid()) + "-";
    fs::create_symlink("victim", dir / (prefix + "0"));
    std::ofstream(dir / (prefix + "1")) << "theirs";
    ASSERT_TRUE(quorvane::write_library(one_cell(), (dir / "out.qvir").string()));
    EXPECT_TRUE(file_text(dir / "out.qvir").starts_with("quorvane-ir 1"));
    EXPECT_EQ(file_text(dir / "victim"), "keep");
    EXPECT_TRUE(fs::is_symlink(dir / (prefix + "0")));
    EXPECT_EQ(file_text(dir / (prefix + "1")), "theirs");
    fs::remove_all(dir);
}
