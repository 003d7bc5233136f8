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
const std::string no_room =
    "error: the address-space limit leaves no room for a work stack of 4 MiB; raise `ulimit -v`\n";

std::string repeated(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

// c<levels - 1> places the cell one below it, down to the leaf c0.
std::string hierarchy(int levels) {
    std::string text = leaf;
    for (int i = 1; i < levels; ++i) {
        text +=
            "cell c" + std::to_string(i) + " { place c" + std::to_string(i - 1) + " at (0, 0) }\n";
    }
    return text;
}

// Each constant defined from the one before, the last read by an attribute.
std::string definition_chain(int length) {
    std::string text = "define d0 = 1\n";
    for (int i = 1; i < length; ++i) {
        text += "define d" + std::to_string(i) + " = d" + std::to_string(i - 1) + " + 1\n";
    }
    return text + "cell top { attribute { v d" + std::to_string(length - 1) + " } }\n";
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
    const std::string deep = hierarchy(5001);
    for (const std::string args : {"check t.qvs", "ir t.qvs", "build t.qvs -o t.gds"}) {
        const auto run = run_limited(deep, "-v 4194304 -s 1024", args);
        EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
    }
    // A quarter of 16 MiB is just the least work stack. Below it the main thread's stack does
    // not serve, however large `ulimit -s`: it would get its room only as it grows, from a limit
    // the binary alone nearly fills.
    const auto least = run_limited(leaf, "-v 16384 -s 8192");
    EXPECT_EQ(least.status, 0) << least.err;
    for (const std::string stack : {"1024", "8192"}) {
        const auto tight = run_limited(leaf, "-v 12000 -s " + stack);
        EXPECT_EQ(tight.status, 2) << stack;
        EXPECT_EQ(tight.err, no_room) << stack;
    }
    for (const std::string args : {"--version", "--help"}) {
        EXPECT_EQ(run_limited(leaf, "-v 12000 -s 1024", args).status, 0) << args;
    }
    // Booleans that start the pool: its threads share the one heap, where a heap of their own
    // each would reserve 64 MiB and leave the data none.
    const auto circle = [](const char* name, const char* at) {
        return std::string("shape circle with radius = 100um, segments = 65536 as ") + name +
               " at (" + at + ")\n";
    };
    const std::string circles = "define layer { m { gds 1/0 } }\ncell top { layer m {\n" +
                                circle("a", "0, 0") + circle("b", "37um, 11um") +
                                circle("c", "-29um, 23um") + circle("d", "13um, -41um") +
                                "shape (a ^ b) ^ (c ^ d) as x\n} }\n";
    const auto pooled = run_limited(circles, "-v 262144", "build t.qvs -o t.gds");
    EXPECT_EQ(pooled.status, 0) << pooled.err;
}

// Deep designs under address-space and stack limits from tight to none end in their result or
// in an error, never in a signal: the guards count only stack room the address space holds.
TEST(StackLimits, DeepDesignsEndWithoutSignalUnderAnyLimits) {
    if (plain_bin().empty()) {
        GTEST_SKIP() << "no executable without sanitizers in this build (configure with "
                        "-DQV_PLAIN_BIN, as scripts/test.sh does)";
    }
    const std::string deep_hierarchy = hierarchy(2000);
    const std::string chain = definition_chain(20000);
    const std::string nesting = leaf + "define a = [0]\ndefine x = " + std::string(999, '-') +
                                "1 + " + repeated("a[", 400) + "0" + std::string(400, ']') +
                                "\ncell top { attribute { v x }\nlayer m {\n" +
                                repeated("if true {\n", 400) + box + "\n" + repeated("}\n", 400) +
                                "} }\n";
    for (const std::string* source : {&deep_hierarchy, &chain, &nesting}) {
        for (const char* space : {"12288", "16384", "32768", "131072", "262144", "524288", "786432",
                                  "1048576", "4194304"}) {
            for (const char* stack : {"8192", "65536", "262144", "1048576", "unlimited"}) {
                const std::string limits = std::string("-v ") + space + " -s " + stack;
                const auto run = run_limited(*source, limits);
                const bool ended_well =
                    (run.status == 0 && run.err.empty()) ||
                    (run.status == 1 && run.err.find("nests too deeply") != std::string::npos) ||
                    (run.status == 2 &&
                     (run.err == "error: out of memory while running `check`\n" ||
                      run.err == no_room));
                EXPECT_TRUE(ended_well) << limits << " on " << source->substr(0, 40) << "\nstatus "
                                        << run.status << ", signal " << run.signal << "\n"
                                        << run.err.substr(0, 200);
            }
        }
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
