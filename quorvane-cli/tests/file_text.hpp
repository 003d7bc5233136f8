// The whole content of a file, for comparing what a command wrote.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quorvane_test {

// Empty when the file cannot be read, which the comparison then shows.
inline std::string file_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace quorvane_test
