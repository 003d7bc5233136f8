#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "limited_run.hpp"

namespace fs = std::filesystem;
using quorvane_test::plain_bin;
using quorvane_test::run_limited;

namespace {

constexpr const char* layers = "define layer { m { gds 1/0 } }\n";
constexpr const char* box = "shape rect with width = 1um, height = 1um as r at (0, 0)";

// Named per process: runs of the suite from several builds share the temporary directory.
fs::path fresh_dir(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / (name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Cell `c0` places `c1`, and so on down to `c<depth - 1>`, which draws a box.
std::string hierarchy(int depth) {
    std::string text = std::string(layers) + "cell c" + std::to_string(depth - 1) +
                       " { layer m { " + box + " } }\n";
    for (int i = depth - 2; i >= 0; --i) {
        text +=
            "cell c" + std::to_string(i) + " { place c" + std::to_string(i + 1) + " at (0, 0) }\n";
    }
    return text;
}

std::string constant_chain(int length) {
    std::string text = "define c0 = 1\n";
    for (int i = 1; i < length; ++i) {
        text += "define c" + std::to_string(i) + " = c" + std::to_string(i - 1) + " + 1\n";
    }
    return text + "cell top { attribute { v c" + std::to_string(length - 1) + " } }\n";
}

std::string repeated(const std::string& part, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        text += part;
    }
    return text;
}

} // namespace

// Under the address-space and stack limits of shared machines every command gets a work stack
// of its own, deep designs included; limits too tight for any stack end the command with the
// limit to raise.
TEST(StackLimits, CommandsRunUnderAnAddressSpaceLimit) {
    if (plain_bin().empty()) {
        GTEST_SKIP() << "no executable without sanitizers in this build (QV_WITH_PLAIN=1)";
    }
    const fs::path dir = fresh_dir("qv_stack_limits");
    std::ofstream(dir / "two.qvs")
        << layers << "cell a { layer m { " << box << " } }\ncell top { place a at (0, 0) }\n";
    std::ofstream(dir / "cells.qvs") << hierarchy(5000);
    std::ofstream(dir / "chain.qvs") << constant_chain(20000);
    const std::string limits = "-v 4194304 -s 1024";
    for (const std::string args :
         {"check two.qvs", "ir two.qvs", "build two.qvs -o two.gds", "check cells.qvs",
          "build cells.qvs -o cells.gds", "check chain.qvs"}) {
        const auto run = run_limited(plain_bin(), limits, args, dir);
        EXPECT_EQ(run.status, 0) << args << "\n" << run.err;
    }
    const auto tight = run_limited(plain_bin(), "-v 12000 -s 1024", "check two.qvs", dir);
    EXPECT_EQ(tight.status, 2);
    EXPECT_EQ(tight.err, "error: the address-space limit leaves no room for a work stack of 4 MiB; "
                         "raise `ulimit -v`\n");
    fs::remove_all(dir);
}

// Valid sources nested as deep as the parser allows check under small limits too: every
// recursive pass measures itself against the stack it runs on.
TEST(StackLimits, DeepNestingChecksUnderSmallLimits) {
    if (plain_bin().empty()) {
        GTEST_SKIP() << "no executable without sanitizers in this build (QV_WITH_PLAIN=1)";
    }
    const fs::path dir = fresh_dir("qv_stack_nesting");
    const auto defined = [](const std::string& value) {
        return "define a = [0]\ndefine x = " + value + "\ncell top { attribute { v x } }\n";
    };
    const std::string sources[] = {
        defined(repeated("-", 999) + "1"),
        defined(repeated("[", 150) + "1" + repeated("]", 150)),
        defined(repeated("a[", 400) + "0" + repeated("]", 400)),
        defined(repeated("abs(", 400) + "1" + repeated(")", 400)),
        std::string(layers) + "cell top { layer m {\n" + repeated("if true {\n", 400) + box + "\n" +
            repeated("}\n", 400) + "} }\n",
    };
    for (const std::string& source : sources) {
        std::ofstream(dir / "deep.qvs") << source;
        const auto run = run_limited(plain_bin(), "-v 1048576 -s 512", "check deep.qvs", dir);
        EXPECT_EQ(run.status, 0) << source.substr(0, 80) << "\n" << run.err;
    }
    fs::remove_all(dir);
}
