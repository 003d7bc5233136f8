#include <cstddef>
#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "commands.hpp"
#include "decompile/decompile.hpp"
#include "file_io.hpp"
#include "read.hpp"
#include "technology.hpp"
#include "writer_thread.hpp"

namespace quorvane {

namespace {

using quorvane_dsl::decompile::LayerSource;

// Laid out text waiting for the file, at most; a few batches of the decompiler's pieces.
constexpr std::size_t waiting_limit = 32 * 1024 * 1024;

// The decompiled text goes out while it is laid out. Should the formatter reject a piece, the
// write is dropped, leaving no file, and the whole text is written as `decompile` makes it.
// The warnings come back whether or not the write succeeded.
std::pair<std::vector<std::string>, std::expected<void, std::string>>
write_decompiled(const std::string& path, const quorvane_dsl::ir::Library& library,
                 const LayerSource* source) {
    std::vector<std::string> warnings;
    bool unparsed = false;
    const auto stream = [&](const Sink& sink) -> std::expected<void, std::string> {
        WriterThread writer(sink, waiting_limit);
        auto streamed = quorvane_dsl::decompile::decompile_to(
            library, source, [&](std::string piece) { writer.take(std::move(piece)); });
        writer.finish();
        if (!streamed) {
            unparsed = true;
            return std::unexpected(std::string());
        }
        warnings = std::move(*streamed);
        return {};
    };
    auto written = write_whole_file(path, stream);
    if (unparsed) {
        auto whole = quorvane_dsl::decompile::decompile(library, source);
        warnings = std::move(whole.warnings);
        written = write_whole_file(path, whole.text);
    }
    return {std::move(warnings), std::move(written)};
}

} // namespace

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
    InputFiles inputs{files[0]};
    std::optional<LayerSource> source;
    if (const std::vector<std::string> layers = flag_values(args, "--layers"); !layers.empty()) {
        auto named =
            technology(layers[0], outputs.empty() ? "" : parent_directory(outputs[0]), inputs);
        if (!named) {
            return std::move(named.error());
        }
        source = std::move(*named);
    }
    const std::string output = outputs.empty() ? "-" : outputs[0];
    if (auto apart = refuse_overwriting_inputs(output, inputs); !apart) {
        return Error{std::move(apart.error())};
    }
    auto [warnings, written] = write_decompiled(output, read->library, source ? &*source : nullptr);
    for (const std::string& warning : warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    if (!written) {
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
