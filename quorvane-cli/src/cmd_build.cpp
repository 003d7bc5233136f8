#include <iostream>

#include "commands.hpp"
#include "dummies.hpp"
#include "file_io.hpp"
#include "load.hpp"
#include "write_library.hpp"

namespace quorvane {

namespace {

std::string top_names(const quorvane_dsl::ir::Library& library) {
    std::string names;
    for (std::uint64_t top : library.tops) {
        if (!names.empty()) {
            names += ", ";
        }
        names += library.cells[top].name;
    }
    return names;
}

} // namespace

Outcome build(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"build needs exactly one file"};
    }
    std::vector<std::string> outputs = flag_values(args, "-o");
    if (outputs.empty()) {
        outputs = flag_values(args, "--output");
    }
    if (outputs.empty()) {
        return Error{"build needs an output file: -o <out.gds>"};
    }
    auto loaded = load_design(files[0], args);
    if (!loaded) {
        return loaded.error();
    }
    if (auto filled = add_dummies(*loaded, args); !filled) {
        return Error{std::move(filled.error())};
    }
    const quorvane_dsl::ir::Library& library = *loaded;
    if (auto written = write_library(library, outputs[0]); !written) {
        return Error{std::move(written.error())};
    }
    // Standard output carries the library and nothing else.
    if (is_standard_output(outputs[0])) {
        return Pass{};
    }
    std::cout << "wrote " << outputs[0] << ": " << library.cells.size() << " cells, top "
              << top_names(library) << '\n';
    return Pass{};
}

} // namespace quorvane
