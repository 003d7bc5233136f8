#include <iostream>

#include "commands.hpp"
#include "decompile/decompile.hpp"
#include "file_io.hpp"
#include "read.hpp"
#include "technology.hpp"

namespace quorvane {

Outcome decompile(Args args) {
    const std::vector<std::string> files = positional(args);
    if (files.size() != 1) {
        return Error{"decompile needs exactly one GDS file"};
    }
    auto bytes = read_bytes(files[0]);
    if (!bytes) {
        return Error{std::move(bytes.error())};
    }
    auto read = quorvane_dsl_gds::read::read_gds(std::move(*bytes));
    if (!read) {
        return Error{std::move(read.error())};
    }
    for (const std::string& warning : read->warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    const std::vector<std::string> outputs = flag_values(args, "-o");
    std::optional<quorvane_dsl::decompile::LayerSource> source;
    if (const std::vector<std::string> layers = flag_values(args, "--layers"); !layers.empty()) {
        auto named = technology(layers[0], outputs.empty() ? "" : parent_directory(outputs[0]));
        if (!named) {
            return std::move(named.error());
        }
        source = std::move(*named);
    }
    const auto decompiled =
        quorvane_dsl::decompile::decompile(read->library, source ? &*source : nullptr);
    for (const std::string& warning : decompiled.warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    const std::string output = outputs.empty() ? "-" : outputs[0];
    if (auto written = write_whole_file(output, decompiled.text); !written) {
        return Error{std::move(written.error())};
    }
    // Standard output carries the source and nothing else.
    if (is_standard_output(output)) {
        return Pass{};
    }
    std::cout << "wrote " << outputs[0] << ": " << read->library.cells.size() << " cells\n";
    return Pass{};
}

} // namespace quorvane
