#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include <unistd.h>

#include "inputs.hpp"

namespace fs = std::filesystem;
using quorvane::distinct_files;
using quorvane::refuse_overwriting_inputs;

namespace {

// Named per process: runs of the suite from several builds share the temporary directory.
fs::path fresh_dir(const std::string& name) {
    const fs::path dir = fs::path(::testing::TempDir()) / (name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    return dir;
}

} // namespace

TEST(Inputs, AnOutputIsRefusedWhateverNameItsInputGoesBy) {
    const fs::path dir = fresh_dir("qv_inputs");
    const std::string input = (dir / "t.qvs").string();
    std::ofstream(input) << "layer m = 1/0\n";
    fs::create_hard_link(input, dir / "hard.qvs");
    fs::create_symlink(input, dir / "soft.qvs");
    std::ofstream(dir / "other.qvs") << "layer m = 1/0\n";
    const quorvane::InputFiles inputs{(dir / "other.qvs").string(), input};

    for (const fs::path& alias : {dir / "sub/../t.qvs", dir / "hard.qvs", dir / "soft.qvs"}) {
        EXPECT_EQ(refuse_overwriting_inputs(alias.string(), inputs).error(),
                  "the output `" + alias.string() + "` is the input file");
    }
    // A new file, another file, and a device written in place are no inputs.
    EXPECT_TRUE(refuse_overwriting_inputs((dir / "new.gds").string(), inputs));
    EXPECT_TRUE(refuse_overwriting_inputs((dir / "other.qvs").string(), {input}));
    EXPECT_TRUE(refuse_overwriting_inputs("/dev/null", {"/dev/null"}));

    EXPECT_EQ(distinct_files({input, (dir / "soft.qvs").string(), (dir / "sub/../t.qvs").string(),
                              (dir / "other.qvs").string(), "missing", "missing"}),
              (std::vector<std::string>{input, (dir / "other.qvs").string(), "missing"}));
    fs::remove_all(dir);
}
