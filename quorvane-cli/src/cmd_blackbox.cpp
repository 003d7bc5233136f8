#include <iostream>

#include "commands.hpp"
#include "file_io.hpp"
#include "load.hpp"
#include "publish.hpp"
#include "write_library.hpp"

namespace quorvane {

namespace {

std::expected<void, std::string> write_announced(const RenderedLibrary& library,
                                                 const std::string& path) {
    auto written = write_whole_file(path, library.bytes);
    for (const std::string& warning : library.warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    if (!written) {
        return written;
    }
    // Standard output carries the library and nothing else.
    if (!is_standard_output(path)) {
        std::cout << "wrote " << path << '\n';
    }
    return {};
}

} // namespace

Outcome blackbox(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"blackbox needs exactly one file"};
    }
    InputFiles inputs;
    const auto design = load_design(files[0], args, inputs);
    if (!design) {
        return design.error();
    }
    const std::vector<std::string> gds = flag_values(args, "--gds");
    const std::vector<std::string> out = flag_values(args, "-o");
    for (const auto* paths : {&gds, &out}) {
        if (paths->empty()) {
            continue;
        }
        if (auto apart = refuse_overwriting_inputs(paths->front(), inputs); !apart) {
            return Error{std::move(apart.error())};
        }
    }
    auto published = publish_blackboxes(*design);
    if (!published) {
        return Error{std::move(published.error())};
    }
    for (const quorvane_dsl::ir::Cell& cell : published->cells) {
        if (cell.blackbox) {
            std::cerr << blackbox_summary(cell, published->dbu) << '\n';
        }
    }
    // --gds goes first, and a failed write stops before the next one. Both are made before
    // either is written, so a library that one format refuses leaves no file of the other.
    std::vector<std::string> paths;
    std::vector<RenderedLibrary> rendered;
    for (const auto* given : {&gds, &out}) {
        if (given->empty()) {
            continue;
        }
        auto made = render_library(*published, given->front());
        if (!made) {
            return Error{std::move(made.error())};
        }
        paths.push_back(given->front());
        rendered.push_back(std::move(*made));
    }
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (auto written = write_announced(rendered[i], paths[i]); !written) {
            return Error{std::move(written.error())};
        }
    }
    if (gds.empty() && out.empty()) {
        if (auto written = print_library(*published); !written) {
            return Error{std::move(written.error())};
        }
    }
    return Pass{};
}

} // namespace quorvane
