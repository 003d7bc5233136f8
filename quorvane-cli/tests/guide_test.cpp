// Keeps the designer's guide true: every example it shows checks and builds, and every command
// it shows prints what the guide says it prints.
//
// examples/guide/session.txt holds the guide's shell sessions, blocks separated by blank lines:
// "$ quorvane <args>" lines, each followed by what the command prints on the terminal (standard
// output and error as they come). QV_REGEN=1 rewrites the outputs; copy the changed blocks into
// the guide.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "file_text.hpp"

namespace fs = std::filesystem;

namespace {

using quorvane_test::file_text;

const fs::path repo_root = fs::path(QV_TEST_DATA) / ".." / "..";
const fs::path examples_dir = repo_root / "examples" / "guide";
const fs::path session_file = examples_dir / "session.txt";
const std::string prompt = "$ quorvane ";

struct Command {
    std::string args;   // as written after the prompt; split at spaces
    std::string output; // the lines the guide shows, each ending in a newline
};

std::vector<std::vector<Command>> read_session(const std::string& text) {
    std::vector<std::vector<Command>> blocks(1);
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            if (!blocks.back().empty()) {
                blocks.emplace_back();
            }
        } else if (line.starts_with(prompt)) {
            blocks.back().push_back({line.substr(prompt.size()), ""});
        } else if (!blocks.back().empty()) {
            blocks.back().back().output += line + "\n";
        }
    }
    if (blocks.back().empty()) {
        blocks.pop_back();
    }
    return blocks;
}

std::string block_text(const std::vector<Command>& block) {
    std::string text;
    for (const Command& command : block) {
        text += prompt + command.args + "\n" + command.output;
    }
    return text;
}

// What one command run in `work` prints, both streams in order, and its exit status.
std::pair<std::string, int> run_in(const fs::path& work, const std::string& args) {
    const char* bin = std::getenv("QV_BIN");
    const std::string command = "cd '" + work.string() + "' && '" + (bin ? bin : "quorvane") +
                                "' " + args + " >.output 2>&1 </dev/null";
    const int raw = std::system(command.c_str());
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return {file_text(work / ".output"), status};
}

fs::path fresh_copy_of_examples() {
    const fs::path work =
        fs::temp_directory_path() / ("quorvane-guide-" + std::to_string(::getpid()));
    fs::remove_all(work);
    fs::copy(examples_dir, work, fs::copy_options::recursive);
    return work;
}

TEST(Guide, SessionsPrintWhatTheGuideShowsAndEveryExampleBuilds) {
    // The README's first design is one of the examples too.
    const std::string guide =
        file_text(repo_root / "docs" / "guide.md") + file_text(repo_root / "README.md");
    ASSERT_FALSE(guide.empty());
    const fs::path work = fresh_copy_of_examples();

    auto blocks = read_session(file_text(session_file));
    for (auto& block : blocks) {
        for (Command& command : block) {
            const auto [output, status] = run_in(work, command.args);
            EXPECT_EQ(status, 0) << command.args;
            if (std::getenv("QV_REGEN")) {
                command.output = output;
            }
            EXPECT_EQ(output, command.output) << command.args;
        }
        EXPECT_NE(guide.find(block_text(block)), std::string::npos)
            << "the guide does not show this session:\n"
            << block_text(block);
    }
    if (std::getenv("QV_REGEN")) {
        std::string text;
        for (const auto& block : blocks) {
            text += (text.empty() ? "" : "\n") + block_text(block);
        }
        std::ofstream(session_file, std::ios::binary) << text;
    }

    // After the sessions, since some examples import what a session wrote.
    for (const auto& entry : fs::directory_iterator(examples_dir)) {
        if (entry.path().extension() != ".qvs") {
            continue;
        }
        const std::string name = entry.path().filename().string();
        EXPECT_NE(guide.find(file_text(entry.path())), std::string::npos)
            << "the guide does not show " << name << " as it stands";
        EXPECT_EQ(run_in(work, "check " + name).second, 0) << name;
        EXPECT_EQ(run_in(work, "build " + name + " -o " + name + ".gds").second, 0) << name;
    }
    fs::remove_all(work);
}

} // namespace
