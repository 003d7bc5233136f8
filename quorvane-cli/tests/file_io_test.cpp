#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "file_io.hpp"
#include "file_text.hpp"

using namespace std::string_literals;

namespace fs = std::filesystem;

namespace {

using quorvane_test::file_text;

// Named per process: runs of the suite from several builds share the temporary directory.
fs::path fresh_dir(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / (name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Runs the built tool through the shell; its exit status.
int run(const std::string& command) {
    const int raw = std::system(("\"$QV_BIN\" " + command).c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// Stands for a user's kill arriving mid-write: the file size limit stops the write into the
// temporary with SIGXFSZ, at a point that never varies.
extern "C" void terminate_instead(int) {
    ::raise(SIGTERM);
}

} // namespace

TEST(FileIo, ATerminatedWriteLeavesNoTemporaryBehind) {
    const fs::path dir = fresh_dir("quorvane_killed_write");
    const fs::path file = dir / "a.qvs";
    std::ofstream(file) << "old\n";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, terminate_instead);
        const rlimit limit{.rlim_cur = 1, .rlim_max = RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        (void)quorvane::write_whole_file(file, std::string(4096, 'x'));
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_EQ(file_text(file), "old\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST(FileIo, ReplacedFilesKeepTheirLinksAndOwnerAndNoStaleTemporaries) {
    const fs::path dir = fresh_dir("quorvane_file_io");
    const fs::path file = dir / "a.qvs";
    const fs::path other = dir / "b.qvs";
    std::ofstream(file) << "old\n";
    fs::create_hard_link(file, other);
    ASSERT_TRUE(quorvane::write_whole_file(file, "new\n"));
    // A rename would have left the other name holding the old text.
    EXPECT_EQ(file_text(other), "new\n");
    EXPECT_EQ(fs::hard_link_count(file), 2u);

    fs::remove(other);
    // A temporary of a writer that no longer runs is removed; one of a running process stays.
    const fs::path stale = dir / ".a.qvs.partial-2147483646-0";
    const fs::path live = dir / (".a.qvs.partial-" + std::to_string(::getppid()) + "-0");
    std::ofstream(stale) << "old";
    std::ofstream(live) << "old";
    ASSERT_TRUE(quorvane::write_whole_file(file, "new\n"));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(live));
    // A hidden file named like the file it stands beside is no temporary of it.
    const fs::path hidden = dir / ".partial-2147483646-0";
    std::ofstream(hidden) << "kept";
    ASSERT_TRUE(quorvane::write_whole_file(dir / "partial-2147483646-0", "new\n"));
    EXPECT_TRUE(fs::exists(hidden));
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(file.c_str(), 4321, 4322), 0);
        ASSERT_TRUE(quorvane::write_whole_file(file, "newer\n"));
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 4321u);
        EXPECT_EQ(info.st_gid, 4322u);
        EXPECT_EQ(file_text(file), "newer\n");
    }
}

// The temporary's name is longer than the file's, and must still be one the file system takes.
TEST(FileIo, NamesAsLongAsTheFileSystemTakesAreWritten) {
    const fs::path dir = fresh_dir("quorvane_long_names");
    for (const std::size_t length : {238, 255}) {
        const fs::path file = dir / std::string(length, 'n');
        ASSERT_TRUE(quorvane::write_whole_file(file, "new\n"));
        ASSERT_TRUE(quorvane::write_whole_file(file, "newer\n"));
        EXPECT_EQ(file_text(file), "newer\n");
    }
    // A temporary whose name was cut short is still known for the file's when its writer is gone.
    const std::string tail = ".partial-2147483646-0";
    const fs::path stale = dir / ("." + std::string(255 - 1 - tail.size(), 'n') + tail);
    std::ofstream(stale) << "old";
    // A file that only begins like one is someone else's.
    const fs::path users = dir / ("." + std::string(255 - 1 - tail.size(), 'n') +
                                  tail.substr(0, tail.size() - 1) + "x");
    std::ofstream(users) << "kept";
    ASSERT_TRUE(quorvane::write_whole_file(dir / std::string(255, 'n'), "new\n"));
    EXPECT_FALSE(fs::exists(stale));
    EXPECT_TRUE(fs::exists(users));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 3);
}

TEST(FileIo, StandardOutputIsCheckedAndWrittenInPlace) {
    const fs::path dir = fresh_dir("quorvane_stdout");
    const std::string ir = (dir / "a.qvir").string();
    std::ofstream(ir)
        << "quorvane-ir 1\ndbu 1nm\nlayer m 1/0\ncell a source=a {\n  box m 0 0 2 2\n}\n"
           "top a\n";
    const std::string err = (dir / "err").string();
    // A full disk or a closed stream once cut the output short with exit status 0.
    EXPECT_EQ(run("ir " + ir + " >/dev/full 2>" + err), 2);
    EXPECT_EQ(file_text(err), "error: writing standard output: No space left on device (os error "
                              "28)\n");
    EXPECT_EQ(run("parse " + ir + " >&- 2>" + err), 2);
    EXPECT_EQ(file_text(err), "error: writing standard output: Bad file descriptor (os error 9)\n");
    // What is printed rather than written whole keeps the error of its failed write too.
    EXPECT_EQ(run("--version >/dev/full 2>" + err), 2);
    EXPECT_EQ(file_text(err), "error: writing standard output: No space left on device (os error "
                              "28)\n");
    // A failure that a command returned as its error is not said a second time at exit.
    EXPECT_EQ(
        run("blackbox " + ir + " --gds " + (dir / "bb.gds").string() + " -o - >/dev/full 2>" + err),
        2);
    EXPECT_TRUE(file_text(err).ends_with("\nerror: writing standard output: No space left on "
                                         "device (os error 28)\n"));
    EXPECT_EQ(file_text(err).find("error:"), file_text(err).rfind("error:"));

    // Appending through /dev/stdout keeps what the log held, and only the library is added.
    const fs::path log = dir / "log";
    std::ofstream(log) << "kept\n";
    EXPECT_EQ(run("build " + ir + " -o /dev/stdout >>" + log.string()), 0);
    const std::string appended = file_text(log);
    EXPECT_TRUE(appended.starts_with("kept\n\0\6\0\2"s.substr(0, 9)));
    EXPECT_EQ(appended.find("wrote"), std::string::npos);
    const fs::path dash = dir / "dash";
    EXPECT_EQ(run("build " + ir + " -o - >" + dash.string()), 0);
    EXPECT_EQ(file_text(dash), appended.substr(5));
}

TEST(FileIo, ProducedFilesAppearWholeOrNotAtAll) {
    const fs::path dir = fresh_dir("quorvane_produced");
    const auto producer = [](bool fails) {
        return [fails](const quorvane::Sink& sink) -> std::expected<void, std::string> {
            for (const std::string_view piece : {"one ", "two ", "three"}) {
                sink(std::span(reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size()));
            }
            if (fails) {
                return std::unexpected("refused");
            }
            return {};
        };
    };
    const fs::path file = dir / "out.gds";
    ASSERT_TRUE(quorvane::write_whole_file(file, producer(false)));
    EXPECT_EQ(file_text(file), "one two three");

    // A producer failing after some pieces went out leaves the file and no temporary behind;
    // so does one failing for a file written in place, which has other names.
    const fs::path other = dir / "other.gds";
    fs::create_hard_link(file, other);
    for (const fs::path& target : {dir / "new.gds", file}) {
        EXPECT_EQ(quorvane::write_whole_file(target, producer(true)).error(), "refused");
    }
    // Nor does one that runs out of memory halfway.
    const auto exhausted = [](const quorvane::Sink& sink) -> std::expected<void, std::string> {
        sink({});
        throw std::bad_alloc();
    };
    EXPECT_THROW((void)quorvane::write_whole_file(dir / "new.gds", exhausted), std::bad_alloc);
    EXPECT_FALSE(fs::exists(dir / "new.gds"));
    EXPECT_EQ(file_text(other), "one two three");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

    // Its error comes before the system's, as it would had the bytes been made first.
    EXPECT_EQ(quorvane::write_whole_file(dir / "missing" / "x.gds", producer(true)).error(),
              "refused");
    EXPECT_TRUE(quorvane::write_whole_file(dir / "missing" / "x.gds", producer(false))
                    .error()
                    .starts_with("writing "));
    fs::remove(other);
    ASSERT_TRUE(quorvane::write_whole_file(file, producer(false)));
    EXPECT_EQ(file_text(file), "one two three");
}

TEST(FileIo, InputIsReadWholeMappedOrNotAndAShortenedMappingEndsCleanly) {
    const fs::path dir = fresh_dir("quorvane_mapped_input");
    const fs::path file = dir / "a.gds";
    const std::string content = std::string(3 * 4096, 'a') + "tail";
    std::ofstream(file, std::ios::binary) << content;
    std::ofstream(dir / "empty.gds");
    const auto text = [](const quorvane_dsl::base::FileBytes& bytes) {
        return std::string(bytes.bytes().begin(), bytes.bytes().end());
    };
    auto first = quorvane::read_bytes(file);
    // Only one file is mapped at a time; the second is read.
    auto second = quorvane::read_bytes(file);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(text(*first), content);
    EXPECT_EQ(text(*second), content);
    first->release();
    EXPECT_TRUE(first->bytes().empty());
    EXPECT_EQ(text(*quorvane::read_bytes(dir / "empty.gds")), "");
    EXPECT_EQ(quorvane::read_bytes(dir / "none.gds").error(),
              "reading " + (dir / "none.gds").string() +
                  ": No such file or directory (os error 2)");

    second->release();
    EXPECT_EXIT(
        {
            auto mapped = quorvane::read_bytes(file);
            fs::resize_file(file, 4);
            std::size_t sum = 0;
            for (const std::uint8_t byte : mapped->bytes()) {
                sum += byte;
            }
            std::exit(sum == 0 ? 3 : 4);
        },
        ::testing::ExitedWithCode(2),
        "reading " + file.string() + ": the file was shortened while it was read");
}
