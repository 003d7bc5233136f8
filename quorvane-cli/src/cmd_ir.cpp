#include "commands.hpp"
#include "dummies.hpp"
#include "file_io.hpp"
#include "load.hpp"
#include "write_library.hpp"

namespace quorvane {

Outcome ir(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"ir needs exactly one file"};
    }
    InputFiles inputs;
    auto library = load_design(files[0], args, inputs);
    if (!library) {
        return library.error();
    }
    if (auto filled = add_dummies(*library, args); !filled) {
        return Error{std::move(filled.error())};
    }
    if (auto written = print_library(*library); !written) {
        return Error{std::move(written.error())};
    }
    return Pass{};
}

} // namespace quorvane
