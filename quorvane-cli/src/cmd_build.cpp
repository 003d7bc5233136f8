#include <climits>
#include <iostream>
#include <string>

#include <malloc.h>

#include "commands.hpp"
#include "dummies.hpp"
#include "file_io.hpp"
#include "ir/text.hpp"
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
        names += quorvane_dsl::ir::spelled_out(library.cells[top].name);
    }
    return names;
}

// Copying GDSII hands large blocks from stage to stage (the stream's bytes, a layout database,
// the IR, a layout database again), each freed before the next of about its size is made.
// Handed back to the system, every block was faulted in and cleared anew, which took most of
// the kernel time; kept, the next stage reuses the pages. Only this path is known to fit its
// blocks into the holes the last stage left: elsewhere (texts growing by doubling) kept blocks
// would raise the peak instead.
void keep_freed_memory() {
    ::mallopt(M_MMAP_MAX, 0);
    ::mallopt(M_TRIM_THRESHOLD, INT_MAX);
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
    if (is_gds(files[0]) && extension(outputs[0]) != "qvir" &&
        flag_values(args, "--dummy").empty()) {
        keep_freed_memory();
    }
    InputFiles inputs;
    auto loaded = load_design(files[0], args, inputs);
    if (!loaded) {
        return loaded.error();
    }
    if (auto apart = refuse_overwriting_inputs(outputs[0], inputs); !apart) {
        return Error{std::move(apart.error())};
    }
    if (auto filled = add_dummies(*loaded, args); !filled) {
        return Error{std::move(filled.error())};
    }
    // Worded before the writer takes the library over.
    const std::string wrote = "wrote " + outputs[0] + ": " + std::to_string(loaded->cells.size()) +
                              " cells, top " + top_names(*loaded) + "\n";
    if (auto written = write_library(std::move(*loaded), outputs[0]); !written) {
        return Error{std::move(written.error())};
    }
    // Standard output carries the library and nothing else.
    if (is_standard_output(outputs[0])) {
        return Pass{};
    }
    std::cout << wrote;
    return Pass{};
}

} // namespace quorvane
