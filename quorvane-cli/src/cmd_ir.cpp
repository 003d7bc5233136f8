#include "commands.hpp"
#include "dummies.hpp"
#include "file_io.hpp"
#include "load.hpp"

namespace quorvane {

Outcome ir(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"ir needs exactly one file"};
    }
    auto library = load_design(files[0], args);
    if (!library) {
        return library.error();
    }
    if (auto filled = add_dummies(*library, args); !filled) {
        return Error{std::move(filled.error())};
    }
    auto text = quorvane_dsl::ir::print(*library);
    if (!text) {
        return Error{std::move(text.error())};
    }
    if (auto written = write_standard_output(*text); !written) {
        return Error{std::move(written.error())};
    }
    return Pass{};
}

} // namespace quorvane
