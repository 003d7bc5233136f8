#include "load.hpp"

#include <iostream>

#include "analysis.hpp"
#include "file_io.hpp"
#include "ir/text.hpp"
#include "read.hpp"
#include "report.hpp"

namespace quorvane {

namespace {

using quorvane_dsl::ir::Library;

std::unexpected<Outcome> error(std::string message) {
    return std::unexpected(Outcome{Error{std::move(message)}});
}

// The reader's warnings name the file; they never fail the load.
Loaded load_gds(const std::string& path) {
    auto bytes = read_bytes(path);
    if (!bytes) {
        return error(std::move(bytes.error()));
    }
    auto read = quorvane_dsl_gds::read::read_gds(std::move(*bytes));
    if (!read) {
        return error("reading " + path + ": " + read.error());
    }
    for (const std::string& warning : read->warnings) {
        std::cerr << "warning: " << path << ": " << warning << '\n';
    }
    return std::move(read->library);
}

Loaded load_ir_text(const std::string& path) {
    auto text = read(path);
    if (!text) {
        return error(std::move(text.error()));
    }
    auto library = quorvane_dsl::ir::parse(*text);
    if (!library) {
        return error(path + ": " + library.error().text());
    }
    return std::move(*library);
}

// With names, a file's library takes exactly those cells as its tops, in the given order.
Loaded select_tops(const std::string& path, Library library, const TopSelection& tops) {
    if (tops.mode == TopMode::IfPresent || tops.names.empty()) {
        return library;
    }
    std::vector<std::uint64_t> chosen;
    chosen.reserve(tops.names.size());
    for (const std::string& name : tops.names) {
        std::size_t index = 0;
        while (index < library.cells.size() && library.cells[index].name != name) {
            ++index;
        }
        if (index == library.cells.size()) {
            return error(path + " has no cell " + quorvane_dsl::ir::shown(name));
        }
        chosen.push_back(index);
    }
    library.tops = std::move(chosen);
    return library;
}

// A source runs through analysis and evaluation; its diagnostics are printed here, and a
// source with errors gives no library.
Loaded load_source(const std::string& path, const TopSelection& tops, InputFiles& inputs) {
    auto analysis = quorvane_dsl::analyze(path, command_analysis);
    if (!analysis) {
        return error(std::move(analysis.error()));
    }
    add_sources(inputs, analysis->hir.files);
    if (!report(*analysis)) {
        return std::unexpected(Outcome{Fail{}});
    }
    std::vector<std::string> names;
    for (const std::string& name : tops.names) {
        // A whitebox source is asked only for the cells it defines.
        if (tops.mode == TopMode::Required || analysis->hir.cell_by_name(name)) {
            names.push_back(name);
        }
    }
    auto library = evaluate(*analysis, std::move(names));
    if (!library) {
        return std::unexpected(Outcome{Fail{}});
    }
    return std::move(*library);
}

} // namespace

std::string_view extension(std::string_view path) {
    // Trailing separators and "." components name the same file: a/b.gds/. is a/b.gds.
    for (;;) {
        if (path.size() > 1 && path.back() == '/') {
            path.remove_suffix(1);
        } else if (path.size() > 2 && path.ends_with("/.")) {
            path.remove_suffix(2);
        } else {
            break;
        }
    }
    const std::size_t slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name == "." || name == "..") {
        return {};
    }
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

bool is_gds(std::string_view path) {
    const std::string_view ext = extension(path);
    return ext == "gds" || ext == "gds2" || ext == "gdsii";
}

Loaded load_library(const std::string& path, const TopSelection& tops, InputFiles& inputs) {
    const bool gds = is_gds(path);
    if (!gds && extension(path) != "qvir") {
        return load_source(path, tops, inputs);
    }
    inputs.push_back(path);
    Loaded loaded = gds ? load_gds(path) : load_ir_text(path);
    if (!loaded) {
        return loaded;
    }
    return select_tops(path, std::move(*loaded), tops);
}

Loaded compile_lib(Args args, std::string_view command, InputFiles& inputs) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return std::unexpected(Error{std::string(command) + " needs exactly one file"});
    }
    const std::vector<std::string> tops = flag_values(args, "--top");
    // A netlist is drawn from the design's source, whatever the file's name: GDSII keeps no
    // connections, so every port of a layout read back would seem unconnected.
    return load_source(files[0], {tops, TopMode::Required}, inputs);
}

std::expected<quorvane_dsl::ir::Library, Outcome> load_design(const std::string& path, Args args,
                                                              InputFiles& inputs) {
    const std::vector<std::string> tops = flag_values(args, "--top");
    return load_library(path, {tops, TopMode::Required}, inputs);
}

} // namespace quorvane
