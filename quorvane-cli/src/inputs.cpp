#include "inputs.hpp"

#include <filesystem>
#include <unordered_set>

#include <sys/stat.h>

#include "file_io.hpp"

namespace quorvane {

namespace {

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

} // namespace

void add_sources(InputFiles& inputs, const quorvane_dsl::source::Files& files) {
    for (const quorvane_dsl::source::SourceFile& file : files.files) {
        inputs.push_back(file.name);
    }
}

std::expected<void, std::string> refuse_overwriting_inputs(const std::string& output,
                                                           const InputFiles& inputs) {
    struct stat written {};
    if (is_standard_output(output) || ::stat(output.c_str(), &written) != 0 ||
        !S_ISREG(written.st_mode)) {
        return {};
    }
    for (const std::string& input : inputs) {
        struct stat read {};
        if (::stat(input.c_str(), &read) == 0 && same_file(read, written)) {
            return std::unexpected("the output `" + output + "` is the input file");
        }
    }
    return {};
}

std::filesystem::path canonical_or_as_written(const std::filesystem::path& path) {
    std::error_code error;
    std::filesystem::path canonical = std::filesystem::canonical(path, error);
    return error ? path : canonical;
}

std::vector<std::string> distinct_files(const std::vector<std::string>& paths) {
    std::vector<std::string> distinct;
    std::unordered_set<std::string> seen;
    for (const std::string& path : paths) {
        if (seen.insert(canonical_or_as_written(path).string()).second) {
            distinct.push_back(path);
        }
    }
    return distinct;
}

} // namespace quorvane
