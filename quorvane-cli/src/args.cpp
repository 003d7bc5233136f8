#include "args.hpp"

#include <algorithm>
#include <array>

namespace quorvane {

std::vector<std::string> flag_values(Args args, std::string_view flag) {
    std::vector<std::string> values;
    for (std::size_t i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == flag) {
            values.push_back(args[i + 1]);
        }
    }
    return values;
}

namespace {

constexpr std::array<std::string_view, 7> valued_options = {
    "--top", "--gds", "--dummy", "--output", "--layers", "--netlist", "--whitebox"};

bool is_valued_option(std::string_view arg) {
    return std::ranges::find(valued_options, arg) != valued_options.end();
}

} // namespace

std::vector<std::string> positional(Args args) {
    std::vector<std::string> out;
    bool skip = false;
    for (const std::string& arg : args) {
        if (skip) {
            skip = false;
        } else if (arg.size() >= 2 && arg.starts_with("--")) {
            skip = is_valued_option(arg);
        } else if (arg == "-o") {
            skip = true;
        } else {
            out.push_back(arg);
        }
    }
    return out;
}

} // namespace quorvane
