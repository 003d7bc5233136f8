#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "file_text.hpp"
#include "limited_run.hpp"

namespace fs = std::filesystem;

namespace {

using quorvane_test::file_text;
using quorvane_test::run_limited;

// Named per process: runs of the suite from several builds share the temporary directory.
// Open to all, for a run that drops its privileges.
fs::path fresh_dir(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / (name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::permissions(dir, fs::perms::all);
    return dir;
}

std::string bin() {
    const char* path = std::getenv("QV_BIN");
    return path ? path : "quorvane";
}

// Runs the tool as a user of this test's own: a process limit counts every process of the
// user, so a user that others run as too (nobody) would let them take its threads.
std::string as_own_user() {
    const std::string user = std::to_string(200000 + ::getpid());
    return "setpriv --reuid=" + user + " --regid=" + user + " --clear-groups";
}

bool leaves_temporaries(const fs::path& dir) {
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.path().filename().string().find(".partial-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Two crossing circles fine enough that their boolean takes every parallel step.
constexpr const char* crossing_circles = R"(define layer { core { gds 1/0 } }

cell top {
    layer core {
        shape circle with radius = 50um, segments = 12000 as a at (0, 0)
        shape circle with radius = 50um, segments = 12000 as b at (20um, 0)
        shape a ^ b as both
    }
}
)";

// The executable for many runs: the one without sanitizers where the build has it.
std::string fast_bin() {
    const std::string plain = quorvane_test::plain_bin();
    return plain.empty() ? bin() : plain;
}

// Starts `args[k]` (shell words; output to `k.out`, errors to `k.err`) in `dir` all at once, as
// one user of their own under `prlimit --nproc=limit`: each waits for a lock the shell holds
// until all have been started. Gives back the status of each, 128 and the signal for one that a
// signal ended.
std::vector<int> run_together(const fs::path& dir, const std::vector<std::string>& args, int limit,
                              const std::string& as_user) {
    std::string script = "cd '" + dir.string() + "' || exit; exec 9>.lock; flock 9; ";
    for (std::size_t k = 0; k < args.size(); ++k) {
        const std::string name = std::to_string(k);
        // Nothing of an earlier run may stand in for this one's output.
        script += "rm -f " + name + ".qvs " + name + ".status; ";
        script += "(flock -s .lock env ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=" +
                  std::to_string(limit) + " " + as_user + " '" + fast_bin() + "' " + args[k] +
                  " >" + name + ".out 2>" + name + ".err 9>&-; echo $? >" + name + ".status) & ";
    }
    script += "sleep 0.05; flock -u 9; wait";
    std::system(script.c_str());
    std::vector<int> statuses;
    for (std::size_t k = 0; k < args.size(); ++k) {
        statuses.push_back(std::stoi(file_text(dir / (std::to_string(k) + ".status"))));
    }
    return statuses;
}

} // namespace

// Processes of one user started together under a limit that just suffices take each other's
// threads: a worker that cannot start only leaves a pool smaller, in every process, whenever
// it fails.
TEST(ProcessLimits, ProcessesStartedTogetherTakeEachOthersThreadsAndAllFinish) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the tool as another user under a process limit";
    }
    const fs::path dir = fresh_dir("quorvane_thread_race");
    std::ofstream(dir / "a.qvs") << crossing_circles;
    ASSERT_EQ(run_limited(fast_bin(), "", "build a.qvs -o a.gds", dir).status, 0);
    const std::string as_user = as_own_user();
    const auto ir = run_limited(fast_bin(), "", "ir a.qvs", dir);
    ASSERT_EQ(run_limited(fast_bin(), "", "decompile a.gds -o whole.qvs", dir).status, 0);
    const std::string decompiled = file_text(dir / "whole.qvs");
    int runs = 0;
    int started = 0;
    for (const int processes : {3, 8}) {
        // Half build the circles' boolean, half decompile to a file through a temporary.
        std::vector<std::string> args;
        for (int k = 0; k < processes; ++k) {
            args.push_back(k % 2 ? "ir a.qvs" : "decompile a.gds -o " + std::to_string(k) + ".qvs");
        }
        const int step = processes == 3 ? 1 : 3;
        for (int round = 0; round < 5; ++round) {
            for (int limit = 9; limit <= 9 * processes; limit += step) {
                const std::vector<int> statuses = run_together(dir, args, limit, as_user);
                for (int k = 0; k < processes; ++k) {
                    const std::string name = std::to_string(k);
                    ++runs;
                    // The system may refuse to run the tool at all when the user is at its
                    // limit as it changes to the user: that run never started.
                    if (statuses[k] == 126) {
                        continue;
                    }
                    ++started;
                    ASSERT_EQ(statuses[k], 0) << processes << " processes, limit " << limit << ": "
                                              << file_text(dir / (name + ".err"));
                    const std::string out =
                        k % 2 ? file_text(dir / (name + ".out")) : file_text(dir / (name + ".qvs"));
                    ASSERT_TRUE(out == (k % 2 ? ir.out : decompiled))
                        << processes << " processes, limit " << limit << ", run " << k;
                }
                ASSERT_FALSE(leaves_temporaries(dir));
            }
        }
    }
    EXPECT_GT(started, runs * 3 / 4) << started << " of " << runs << " runs started";
}

// The limit on processes holds only for a user without privileges, so the run drops to a user of
// its own; `prlimit` sets it, as not every shell's `ulimit` does. The sanitizer's leak check needs
// a thread of its own at the end, which the limit refuses.
TEST(ProcessLimits, ThreadsThatCannotStartLeaveTheSameOutput) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the tool as another user under a process limit";
    }
    const fs::path dir = fresh_dir("quorvane_thread_limit");
    std::ofstream(dir / "a.qvs") << crossing_circles;
    ASSERT_EQ(run_limited(bin(), "", "build a.qvs -o a.gds", dir).status, 0);
    const std::string as_user = as_own_user();
    const std::string quiet = "env ASAN_OPTIONS=detect_leaks=0 ";
    // The decompiler's text also goes to a writer thread of its own.
    for (const std::string command : {"ir a.qvs", "decompile a.gds"}) {
        const auto unlimited = run_limited(bin(), "", command, dir, quiet + as_user);
        ASSERT_EQ(unlimited.status, 0) << unlimited.err;
        // Under each the pool starts what workers it can; one leaves no work thread either.
        for (const std::string processes : {"3", "2", "1"}) {
            const auto limited = run_limited(
                bin(), "", command, dir, quiet + "prlimit --nproc=" + processes + " " + as_user);
            EXPECT_EQ(limited.status, 0) << command << ", " << processes << ": " << limited.err;
            EXPECT_TRUE(limited.out == unlimited.out) << command << ", " << processes;
        }
    }
}

// The pool never uses more threads than there are processors, whatever count it is given.
TEST(ProcessLimits, AThreadCountBeyondTheProcessorsRunsAsAnyOther) {
    const fs::path dir = fresh_dir("quorvane_thread_count");
    std::ofstream(dir / "a.qvs") << crossing_circles;
    const auto usual = run_limited(bin(), "", "ir a.qvs", dir);
    ASSERT_EQ(usual.status, 0) << usual.err;
    const auto huge =
        run_limited(bin(), "", "ir a.qvs", dir, "env RAYON_NUM_THREADS=1000000000000");
    EXPECT_EQ(huge.status, 0) << huge.err;
    EXPECT_TRUE(huge.out == usual.out);
}

TEST(ProcessLimits, WritesPastTheFileSizeLimitFailAndLeaveNothingBehind) {
    const fs::path dir = fresh_dir("quorvane_file_size_limit");
    std::ofstream(dir / "a.qvs") << crossing_circles;
    std::ofstream(dir / "old.gds") << "old";
    // Written in place: a file with a second name, and a link to a file not yet there.
    std::ofstream(dir / "linked.gds") << "old";
    fs::create_hard_link(dir / "linked.gds", dir / "second.gds");
    fs::create_symlink("missing.gds", dir / "dangling.gds");
    // The shell counts the limit in blocks of 512 or 1024 bytes; either is far below the output.
    for (const char* output : {"new.gds", "old.gds", "linked.gds", "dangling.gds"}) {
        const auto run = run_limited(bin(), "-f 64", std::string("build a.qvs -o ") + output, dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.err,
                  std::string("error: writing ") + output + ": File too large (os error 27)\n");
    }
    // A target that cannot be written at all says why, as it would without the limit.
    fs::create_symlink("loop.gds", dir / "loop.gds");
    EXPECT_EQ(run_limited(bin(), "-f 64", "build a.qvs -o loop.gds", dir).err,
              "error: writing loop.gds: Too many levels of symbolic links (os error 40)\n");
    EXPECT_FALSE(fs::exists(dir / "new.gds"));
    EXPECT_FALSE(fs::exists(dir / "missing.gds"));
    EXPECT_EQ(file_text(dir / "old.gds"), "old");
    EXPECT_EQ(file_text(dir / "linked.gds"), "old");
    EXPECT_FALSE(leaves_temporaries(dir));

    const auto printed = run_limited(bin(), "-f 64", "ir a.qvs", dir);
    EXPECT_EQ(printed.status, 2);
    EXPECT_EQ(printed.err, "error: writing standard output: File too large (os error 27)\n");
}

// Standard output in a file is measured against the limit before anything is written, by every
// command: a cut-off netlist or listing once stayed behind, said to have failed with "Success".
TEST(ProcessLimits, StandardOutputPastTheFileSizeLimitIsNotWrittenAtAll) {
    const fs::path dir = fresh_dir("quorvane_stdout_size_limit");
    std::string source = "define layer { metal { gds 1/0 } }\n"
                         "cell pad { layer metal { shape rect with width = 1um, height = 1um as "
                         "body at (0, 0) } }\ncell top {\n";
    for (int i = 0; i < 8000; ++i) {
        source +=
            "    place pad at (" + std::to_string(i) + "um, 0) as p" + std::to_string(i) + "\n";
    }
    std::ofstream(dir / "a.qvs") << source << "}\n";
    // The listing goes out in pieces of 1 MiB, well within this limit but not all of them.
    for (const auto& [limits, command] :
         {std::pair{"-f 64", "netlist a.qvs"}, std::pair{"-f 4000", "parse a.qvs"}}) {
        const auto run = run_limited(bin(), limits, command, dir);
        EXPECT_EQ(run.status, 2) << command;
        EXPECT_TRUE(run.out.empty()) << command << " left " << run.out.size() << " bytes";
        EXPECT_EQ(run.err, "error: writing standard output: File too large (os error 27)\n");
    }
    // Lines printed one by one go out whole: here the first buffer full fits and the rest not.
    std::string files;
    for (int i = 0; i < 400; ++i) {
        const std::string name = std::string(200, 'f') + std::to_string(i) + ".qvs";
        std::ofstream(dir / name) << "cell  c { }\n";
        files += " " + name;
    }
    const auto checked = run_limited(bin(), "-f 160", "fmt --check" + files, dir);
    EXPECT_EQ(checked.status, 2);
    EXPECT_GT(checked.out.size(), 0U);
    EXPECT_TRUE(checked.out.ends_with(" needs formatting\n"));
}

// Where no thread can start, the calling thread switches to the same large stack: a chain of
// definitions far deeper than its own stack would follow evaluates all the same.
TEST(ProcessLimits, DeepChainsEvaluateWhereNoThreadCanStart) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to run the tool as another user under a process limit";
    }
    const fs::path dir = fresh_dir("quorvane_deep_without_threads");
    std::ofstream chain(dir / "a.qvs");
    chain << "define c0 = 1\n";
    for (int i = 1; i < 10000; ++i) {
        chain << "define c" << i << " = c" << i - 1 << " + 1\n";
    }
    chain << "cell top { attribute { v c9999 } }\n";
    chain.close();
    // A user no other run shares: every process of the user counts against the limit.
    const std::string as_user = as_own_user();
    const std::string quiet = "env ASAN_OPTIONS=detect_leaks=0 ";
    const auto unlimited = run_limited(bin(), "", "ir a.qvs", dir, quiet + as_user);
    ASSERT_EQ(unlimited.status, 0) << unlimited.err;
    const auto limited =
        run_limited(bin(), "", "ir a.qvs", dir, quiet + "prlimit --nproc=1 " + as_user);
    EXPECT_EQ(limited.status, 0) << limited.err;
    EXPECT_TRUE(limited.out == unlimited.out);
}
