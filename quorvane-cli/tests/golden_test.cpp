// Runs the command-line cases under cases/<command>/ (the forms are described in cases/README.md).

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "file_text.hpp"

namespace fs = std::filesystem;

namespace {

const fs::path cases_root = fs::path(QV_TEST_DATA) / "cases";
const std::vector<std::string> control_files = {"cmd", "stdout", "stderr", "status", "expect"};

// A single-file case opens with this line; the expectations follow the source after a marker.
constexpr std::string_view run_prefix = "# run:";
constexpr std::string_view marker_prefix = "#===";
constexpr std::string_view no_final_newline = " (no newline at end)";

using quorvane_test::file_text;

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> split_words(std::string_view text) {
    std::vector<std::string> words;
    std::istringstream in{std::string(text)};
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

std::string shell_quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

bool is_single_file_case(const fs::path& path) {
    if (!fs::is_regular_file(path) || path.extension() != ".qvs") {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string first;
    std::getline(in, first);
    return first.starts_with(run_prefix);
}

// Cases by their path below cases/: "<command>/<folder>" or "<command>/<file>.qvs".
std::vector<std::string> case_names() {
    std::vector<std::string> names;
    if (!fs::is_directory(cases_root)) {
        return names;
    }
    for (const auto& group : fs::directory_iterator(cases_root)) {
        if (!group.is_directory()) {
            continue;
        }
        for (const auto& entry : fs::directory_iterator(group.path())) {
            if (fs::exists(entry.path() / "cmd") || is_single_file_case(entry.path())) {
                names.push_back(fs::relative(entry.path(), cases_root).generic_string());
            }
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool is_control(const fs::path& name) {
    return std::find(control_files.begin(), control_files.end(), name.string()) !=
           control_files.end();
}

fs::path fresh_workdir(const std::string& name) {
    std::string flat = name;
    std::replace(flat.begin(), flat.end(), '/', '-');
    const fs::path work =
        fs::temp_directory_path() / ("qv-golden-" + std::to_string(::getpid()) + "-" + flat);
    fs::remove_all(work);
    fs::create_directories(work);
    return work;
}

struct Run {
    std::string out;
    std::string err;
    int status = 0;
};

Run run_in(const fs::path& work, const std::vector<std::string>& args) {
    const char* bin = std::getenv("QV_BIN");
    std::string command =
        "cd " + shell_quote(work.string()) + " && " + shell_quote(bin ? bin : "quorvane");
    for (const std::string& arg : args) {
        command += " " + shell_quote(arg);
    }
    command += " >.stdout 2>.stderr </dev/null";
    const int raw = std::system(command.c_str());
    return {file_text(work / ".stdout"), file_text(work / ".stderr"),
            WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw)};
}

bool regenerating() {
    return std::getenv("QV_REGEN") != nullptr;
}

void check_folder_case(const fs::path& case_dir, const fs::path& work) {
    for (const auto& entry : fs::directory_iterator(case_dir)) {
        if (!is_control(entry.path().filename())) {
            fs::copy(entry.path(), work / entry.path().filename(), fs::copy_options::recursive);
        }
    }
    const Run run = run_in(work, split_lines(file_text(case_dir / "cmd")));
    const fs::path expect_dir = case_dir / "expect";
    if (regenerating()) {
        write_file(case_dir / "stdout", run.out);
        write_file(case_dir / "stderr", run.err);
        write_file(case_dir / "status", std::to_string(run.status) + "\n");
        if (fs::is_directory(expect_dir)) {
            for (const auto& entry : fs::directory_iterator(expect_dir)) {
                write_file(entry.path(), file_text(work / entry.path().filename()));
            }
        }
        return;
    }
    EXPECT_EQ(run.out, file_text(case_dir / "stdout")) << "standard output";
    EXPECT_EQ(run.err, file_text(case_dir / "stderr")) << "standard error";
    EXPECT_EQ(std::to_string(run.status) + "\n", file_text(case_dir / "status"));
    if (fs::is_directory(expect_dir)) {
        for (const auto& entry : fs::directory_iterator(expect_dir)) {
            const fs::path produced = work / entry.path().filename();
            EXPECT_TRUE(fs::exists(produced)) << produced;
            EXPECT_EQ(file_text(produced), file_text(entry.path())) << produced;
        }
    }
}

// A single-file case splits at the first marker line into its source and the comment block of
// its expectations; a run is compared by rendering its own block.
std::size_t expectations_start(const std::string& text) {
    const std::size_t marker = text.find("\n" + std::string(marker_prefix));
    return marker == std::string::npos ? text.size() : marker + 1;
}

std::string expectation_section(std::string_view title, const std::string& output) {
    if (output.empty()) {
        return "";
    }
    std::string section = std::string(marker_prefix) + " " + std::string(title);
    if (!output.ends_with('\n')) {
        section += no_final_newline;
    }
    section += "\n";
    // Every expected line starts "# " (or is "#" alone), so none can pass for a marker.
    for (const std::string& line : split_lines(output)) {
        section += line.empty() ? "#\n" : "# " + line + "\n";
    }
    return section;
}

std::string expectations(const Run& run) {
    return std::string(marker_prefix) + " status " + std::to_string(run.status) + "\n" +
           expectation_section("stdout", run.out) + expectation_section("stderr", run.err);
}

void check_single_file_case(const fs::path& file, const fs::path& work) {
    const std::string text = file_text(file);
    const std::string name = file.filename().string();
    fs::copy(file, work / name);
    std::vector<std::string> args = split_words(
        std::string_view(text).substr(run_prefix.size(), text.find('\n') - run_prefix.size()));
    ASSERT_FALSE(args.empty()) << "the first line names no command";
    args.insert(args.begin() + 1, name);
    const std::string actual = expectations(run_in(work, args));
    const std::size_t start = expectations_start(text);
    if (regenerating()) {
        std::string source = text.substr(0, start);
        if (!source.empty() && !source.ends_with('\n')) {
            source += '\n';
        }
        write_file(file, source + actual);
        return;
    }
    ASSERT_LT(start, text.size()) << "no expectations yet: run with QV_REGEN=1 and read them";
    EXPECT_EQ(actual, text.substr(start));
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, Case) {
    const fs::path path = cases_root / GetParam();
    const fs::path work = fresh_workdir(GetParam());
    if (fs::is_directory(path)) {
        check_folder_case(path, work);
    } else {
        check_single_file_case(path, work);
    }
    fs::remove_all(work);
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name;
    for (char c : info.param) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cli, Golden, testing::ValuesIn(case_names()), test_name);
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Golden);

} // namespace
