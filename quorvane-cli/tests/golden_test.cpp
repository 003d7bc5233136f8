// Runs every folder under cases/ as one command-line case:
//   cmd      the arguments, one per line
//   stdout   expected standard output
//   stderr   expected standard error
//   status   expected exit status
//   expect/  files the command must leave behind in its working folder, byte for byte
// Every other file of the folder is copied into a fresh working folder first.
// QV_REGEN=1 rewrites stdout, stderr, status and the files already under expect/.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const fs::path cases_root = fs::path(QV_TEST_DATA) / "cases";
const std::vector<std::string> control_files = {"cmd", "stdout", "stderr", "status", "expect"};

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> read_lines(const fs::path& path) {
    std::vector<std::string> lines;
    std::istringstream in(read_file(path));
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::string shell_quote(const std::string& arg) {
    std::string quoted = "'";
    for (char c : arg) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::vector<std::string> case_names() {
    std::vector<std::string> names;
    if (fs::is_directory(cases_root)) {
        for (const auto& entry : fs::directory_iterator(cases_root)) {
            if (fs::exists(entry.path() / "cmd")) {
                names.push_back(entry.path().filename().string());
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

fs::path prepare_workdir(const fs::path& case_dir) {
    fs::path work = fs::temp_directory_path() / ("qv-golden-" + std::to_string(::getpid()) + "-" +
                                                 case_dir.filename().string());
    fs::remove_all(work);
    fs::create_directories(work);
    for (const auto& entry : fs::directory_iterator(case_dir)) {
        if (!is_control(entry.path().filename())) {
            fs::copy(entry.path(), work / entry.path().filename(), fs::copy_options::recursive);
        }
    }
    return work;
}

int run_case(const fs::path& case_dir, const fs::path& work) {
    const char* bin = std::getenv("QV_BIN");
    std::string command =
        "cd " + shell_quote(work.string()) + " && " + shell_quote(bin ? bin : "quorvane");
    for (const std::string& arg : read_lines(case_dir / "cmd")) {
        command += " " + shell_quote(arg);
    }
    command += " >.stdout 2>.stderr </dev/null";
    const int raw = std::system(command.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

class Golden : public testing::TestWithParam<std::string> {};

TEST_P(Golden, Case) {
    const fs::path case_dir = cases_root / GetParam();
    const fs::path work = prepare_workdir(case_dir);
    const int status = run_case(case_dir, work);
    const std::string out = read_file(work / ".stdout");
    const std::string err = read_file(work / ".stderr");
    const fs::path expect_dir = case_dir / "expect";

    if (std::getenv("QV_REGEN")) {
        write_file(case_dir / "stdout", out);
        write_file(case_dir / "stderr", err);
        write_file(case_dir / "status", std::to_string(status) + "\n");
        if (fs::is_directory(expect_dir)) {
            for (const auto& entry : fs::directory_iterator(expect_dir)) {
                write_file(entry.path(), read_file(work / entry.path().filename()));
            }
        }
    } else {
        EXPECT_EQ(out, read_file(case_dir / "stdout")) << "standard output";
        EXPECT_EQ(err, read_file(case_dir / "stderr")) << "standard error";
        EXPECT_EQ(std::to_string(status) + "\n", read_file(case_dir / "status"));
        if (fs::is_directory(expect_dir)) {
            for (const auto& entry : fs::directory_iterator(expect_dir)) {
                const fs::path produced = work / entry.path().filename();
                EXPECT_TRUE(fs::exists(produced)) << produced;
                EXPECT_EQ(read_file(produced), read_file(entry.path())) << produced;
            }
        }
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
