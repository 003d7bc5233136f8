#include <algorithm>
#include <iostream>

#include "blackbox/blackbox.hpp"
#include "commands.hpp"
#include "dummies.hpp"
#include "file_io.hpp"
#include "inputs.hpp"
#include "load.hpp"
#include "write_library.hpp"

namespace quorvane {

namespace {

using quorvane_dsl::ir::Library;

std::vector<std::string> blackbox_names(const Library& design) {
    std::vector<std::string> names;
    for (const quorvane_dsl::ir::Cell& cell : design.cells) {
        if (cell.blackbox) {
            names.push_back(cell.name);
        }
    }
    return names;
}

// Errors come after every unboxed and warning line; any of them means nothing is written.
bool print_report(const quorvane_dsl::blackbox::UnboxReport& report) {
    for (const std::string& line : report.unboxed) {
        std::cerr << "unboxed " << line << '\n';
    }
    for (const std::string& line : report.warnings) {
        std::cerr << "warning: " << line << '\n';
    }
    for (const std::string& line : report.errors) {
        std::cerr << "error: " << line << '\n';
    }
    return report.errors.empty();
}

} // namespace

Outcome unbox(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"unbox needs exactly one design file"};
    }
    const std::vector<std::string> paths = flag_values(args, "--whitebox");
    if (paths.empty()) {
        return Error{"unbox needs a whitebox library: --whitebox <lib>"};
    }
    InputFiles inputs;
    auto design = load_design(files[0], args, inputs);
    if (!design) {
        return design.error();
    }
    const std::vector<std::string> names = blackbox_names(*design);
    // The first library offering a cell wins, so a file named again would add nothing but
    // another copy of itself in memory.
    const std::vector<std::string> distinct = distinct_files(paths);
    // Whitebox libraries are only read; the offered list borrows them until the end.
    std::vector<Library> libraries;
    libraries.reserve(distinct.size());
    for (const std::string& path : distinct) {
        Loaded loaded = load_library(path, {names, TopMode::IfPresent}, inputs);
        if (!loaded) {
            return loaded.error();
        }
        libraries.push_back(std::move(*loaded));
    }
    std::vector<quorvane_dsl::blackbox::Whiteboxes> offered;
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        offered.push_back({distinct[i], &libraries[i]});
    }
    const std::vector<std::string> out = flag_values(args, "-o");
    if (!out.empty()) {
        if (auto apart = refuse_overwriting_inputs(out.front(), inputs); !apart) {
            return Error{std::move(apart.error())};
        }
    }
    const bool allow_revision = std::ranges::find(args, "--allow-revision") != args.end();
    if (!print_report(quorvane_dsl::blackbox::unbox(*design, offered, allow_revision))) {
        return Fail{};
    }
    if (auto filled = add_dummies(*design, args); !filled) {
        return Error{std::move(filled.error())};
    }
    if (out.empty()) {
        if (auto written = print_library(*design); !written) {
            return Error{std::move(written.error())};
        }
        return Pass{};
    }
    if (auto written = write_library(*design, out.front()); !written) {
        return Error{std::move(written.error())};
    }
    // Standard output carries the library and nothing else.
    if (is_standard_output(out.front())) {
        return Pass{};
    }
    std::cout << "wrote " << out.front() << ": " << design->cells.size() << " cells\n";
    return Pass{};
}

} // namespace quorvane
