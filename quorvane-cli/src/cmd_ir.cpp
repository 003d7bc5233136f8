#include <iostream>

#include "commands.hpp"
#include "load.hpp"

namespace quorvane {

Outcome ir(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"ir needs exactly one file"};
    }
    // Dummy fill is not built yet; printing the layout without the requested fill would pass
    // off a different layout as the one asked for.
    if (!flag_values(args, "--dummy").empty()) {
        return Error{"--dummy is not supported yet"};
    }
    const std::vector<std::string> tops = flag_values(args, "--top");
    LoadOutcome loaded = load_library(files[0], {tops, TopMode::Required});
    if (std::holds_alternative<NoLibrary>(loaded)) {
        return Fail{};
    }
    if (auto* error = std::get_if<Error>(&loaded)) {
        return std::move(*error);
    }
    auto text = quorvane_dsl::ir::print(std::get<quorvane_dsl::ir::Library>(loaded));
    if (!text) {
        return Error{std::move(text.error())};
    }
    std::cout << *text;
    return Pass{};
}

} // namespace quorvane
