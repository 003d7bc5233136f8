// Running a shell command from a test and taking what it prints on standard output.
#pragma once

#include <array>
#include <cstdio>
#include <string>

namespace quorvane_test {

// Standard output of `command`; empty when the shell cannot be started.
inline std::string shell_output(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        return out;
    }
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) {
        out.append(buffer.data(), n);
    }
    ::pclose(pipe);
    return out;
}

} // namespace quorvane_test
