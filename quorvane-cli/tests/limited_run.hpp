// Running the tool under the process limits of shared machines (`ulimit -v`, `-s`, `-u`, `-f`).
#pragma once

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include <sys/wait.h>

#include "file_text.hpp"

namespace quorvane_test {

struct LimitedRun {
    int status = -1; // the exit status, or -1 when a signal ended the process
    int signal = 0;  // the signal that ended it, else 0
    std::string out;
    std::string err;
};

// The executable built without sanitizers, or empty when this build has none: AddressSanitizer
// reserves its shadow memory up front, which no `ulimit -v` of a shared machine allows.
inline std::string plain_bin() {
    const char* bin = std::getenv("QV_PLAIN_BIN");
    return bin ? bin : "";
}

// One `ulimit` per flag and value of `limits`: dash, the usual /bin/sh, sets one limit per call.
inline std::string ulimit_commands(const std::string& limits) {
    std::istringstream words(limits);
    std::string commands;
    std::string flag;
    std::string value;
    while (words >> flag >> value) {
        commands += "ulimit " + flag + " " + value + " && ";
    }
    return commands;
}

// Runs `bin args` in `dir` in a child shell under `limits`, ulimit flags with their values (e.g.
// "-v 4194304 -s 1024", or none when empty); standard output and error are caught in files of
// `dir`. `args` are shell words, and so is `runner`, a command that `bin` runs under (such as
// one that drops privileges or sets a limit the shell's `ulimit` may not know).
inline LimitedRun run_limited(const std::string& bin, const std::string& limits,
                              const std::string& args, const std::filesystem::path& dir,
                              const std::string& runner = "") {
    const std::string out = (dir / ".run.out").string();
    const std::string err = (dir / ".run.err").string();
    const std::string command = "cd '" + dir.string() + "' && " + ulimit_commands(limits) +
                                "exec " + runner + " '" + bin + "' " + args + " >'" + out +
                                "' 2>'" + err + "'";
    const int raw = std::system(command.c_str());
    LimitedRun run;
    if (WIFEXITED(raw)) {
        run.status = WEXITSTATUS(raw);
    } else if (WIFSIGNALED(raw)) {
        run.signal = WTERMSIG(raw);
    }
    run.out = file_text(out);
    run.err = file_text(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

} // namespace quorvane_test
