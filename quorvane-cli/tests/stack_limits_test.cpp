#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "limited_run.hpp"

namespace fs = std::filesystem;
using quorvane_test::plain_bin;

namespace {

constexpr const char* box = "shape rect with width = 1um, height = 1um as r at (0, 0)";
const std::string leaf =
    std::string("define layer { m { gds 1/0 } }\ncell c0 { layer m { ") + box + " } }\n";

std::string repeated(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

// Runs `args` on `source`, written as t.qvs, under `limits`.
quorvane_test::LimitedRun run_limited(const std::string& source, const std::string& limits,
                                      const std::string& args = "check t.qvs") {
    const fs::path dir =
        fs::path(::testing::TempDir()) / ("qv_stack_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "t.qvs") << source;
    auto run = quorvane_test::run_limited(plain_bin(), limits, args, dir);
    fs::remove_all(dir);
    return run;
}

} // namespace

// Under the limits of shared machines a command gets the largest work stack they allow, deep
// designs included; limits too tight for any stack end it with the limit to raise, though the
// version and the usage are printed all the same.
TEST(StackLimits, CommandsRunUnderAnAddressSpaceLimit) {
    if (plain_bin().empty()) {
        GTEST_SKIP() << "no executable without sanitizers in this build (configure with "
                        "-DQV_PLAIN_BIN, as scripts/test.sh does)";
    }
    // c5000 places c4999 and so on down to c0.
    std::string deep = leaf;
    for (int i = 1; i <= 5000; ++i) {
        deep +=
            "cell c" + std::to_string(i) + " { place c" + std::to_string(i - 1) + " at (0, 0) }\n";
    }
    for (const std::string args : {"check t.qvs", "ir t.qvs", "build t.qvs -o t.gds"}) {
        const auto run = run_limited(deep, "-v 4194304 -s 1024", args);
        EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
    }
    // The usual 8 MiB main thread stack serves where a quarter of the limit is too small.
    const auto usual_stack = run_limited(leaf, "-v 12000 -s 8192");
    EXPECT_EQ(usual_stack.status, 0) << usual_stack.err;
    const auto tight = run_limited(leaf, "-v 12000 -s 1024");
    EXPECT_EQ(tight.status, 2);
    EXPECT_EQ(tight.err, "error: the address-space limit leaves no room for a work stack of 4 MiB; "
                         "raise `ulimit -v`\n");
    for (const std::string args : {"--version", "--help"}) {
        EXPECT_EQ(run_limited(leaf, "-v 12000 -s 1024", args).status, 0) << args;
    }
}

// Valid sources nested close to the parser's limit (an `if`, a call or an indexing takes two
// levels) check under small limits too.
TEST(StackLimits, DeepNestingChecksUnderSmallLimits) {
    if (plain_bin().empty()) {
        GTEST_SKIP() << "no executable without sanitizers in this build (configure with "
                        "-DQV_PLAIN_BIN, as scripts/test.sh does)";
    }
    for (const std::string& value :
         {std::string(999, '-') + "1", std::string(150, '[') + "1" + std::string(150, ']'),
          repeated("a[", 400) + "0" + std::string(400, ']'),
          repeated("abs(", 400) + "1" + std::string(400, ')')}) {
        const auto run = run_limited("define a = [0]\ndefine x = " + value +
                                         "\ncell top { attribute { v x } }\n",
                                     "-v 1048576 -s 512");
        EXPECT_EQ(run.status, 0) << value.substr(0, 20) << "\n" << run.err;
    }
    const auto blocks = run_limited(leaf + "cell top { layer m {\n" + repeated("if true {\n", 400) +
                                        box + "\n" + repeated("}\n", 400) + "} }\n",
                                    "-v 1048576 -s 512");
    EXPECT_EQ(blocks.status, 0) << blocks.err;
}
