#include <csignal>
#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "base/stack.hpp"
#include "commands.hpp"
#include "file_io.hpp"
#include "usage.hpp"

namespace quorvane {
namespace {

using Driver = Outcome (*)(Args);

struct Command {
    std::string_view word;
    Driver driver;
    // Reads designs, which are followed by recursion on the work stack; the others run where
    // they are, so they answer under any limits.
    bool reads_designs;
};

Outcome print_version(Args) {
    std::cout << version_line;
    return Pass{};
}

Outcome print_usage(Args) {
    std::cout << usage_text;
    return Pass{};
}

constexpr Command commands[] = {
    // clang-format off
    {"--version", print_version, false},
    {"-V", print_version, false},
    {"help", print_usage, false},
    {"-h", print_usage, false},
    {"--help", print_usage, false},
    {"check", check, true},
    {"fmt", fmt, true},
    {"parse", parse_cmd, true},
    {"ir", ir, true},
    {"build", build, true},
    {"decompile", decompile, true},
    {"blackbox", blackbox, true},
    {"unbox", unbox, true},
    {"netlist", netlist, true},
    {"lvs", lvs, true},
    // clang-format on
};

const Command* find_command(const std::string& word) {
    for (const Command& command : commands) {
        if (command.word == word) {
            return &command;
        }
    }
    return nullptr;
}

int exit_status(const Outcome& outcome) {
    if (std::holds_alternative<Pass>(outcome)) {
        return 0;
    }
    if (std::holds_alternative<Fail>(outcome)) {
        return 1;
    }
    std::cout.flush();
    std::cerr << "error: " << std::get<Error>(outcome).message << '\n';
    return 2;
}

// An input too large for the memory there is is refused like any other bad input, not ended
// by an uncaught exception.
Outcome run_within_memory(const Command& command, Args args) {
    try {
        return command.driver(args);
    } catch (const std::bad_alloc&) {
        return Error{"out of memory while running `" + std::string(command.word) + "`"};
    }
}

// Under limits this tight a design could not even be read; the user is told what to raise.
Error no_work_stack(quorvane_dsl::base::StackLimit limit) {
    const bool address_space = limit == quorvane_dsl::base::StackLimit::AddressSpace;
    return Error{std::string(address_space ? "the address-space limit" : "the stack limit") +
                 " leaves no room for a work stack of " +
                 std::to_string(quorvane_dsl::base::min_work_stack >> 20) + " MiB; raise `ulimit " +
                 (address_space ? "-v" : "-s") + "`"};
}

// A result cut short by a full disk or a closed stream is a failure, whatever the command
// reported.
int checked_streams(int status) {
    if (const auto failed = unreported_printed_output_error()) {
        std::cerr << "error: " << *failed << '\n';
        status = 2;
    }
    std::cerr.flush();
    return std::cerr ? status : 2;
}

Outcome run_command(const std::string& word, Args args) {
    const Command* command = find_command(word);
    if (command == nullptr) {
        return Error{"unknown command `" + word + "`\n\n" + std::string(usage_text)};
    }
    if (!command->reads_designs) {
        return run_within_memory(*command, args);
    }
    // Deep designs are followed by recursion; the reserved work stack is what the depth limits
    // of parsing, analysis and evaluation are measured against.
    Outcome outcome = Pass{};
    const auto ran =
        quorvane_dsl::base::run_on_work_stack([&] { outcome = run_within_memory(*command, args); });
    if (!ran) {
        outcome = no_work_stack(ran.error());
    }
    return outcome;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << usage_text;
        return 2;
    }
    // A write past the file size limit then fails like one to a full disk: reported, its
    // temporary removed, rather than the process killed with the temporary left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    check_printed_output();
    return checked_streams(exit_status(run_command(args[0], Args(args).subspan(1))));
}

} // namespace quorvane

int main(int argc, char** argv) {
    return quorvane::main(argc, argv);
}
