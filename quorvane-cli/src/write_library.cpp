#include "write_library.hpp"

#include <iostream>

#include "file_io.hpp"
#include "lib.hpp"
#include "load.hpp"

namespace quorvane {

std::expected<void, std::string> write_library(quorvane_dsl::ir::Library library,
                                               const std::string& path) {
    if (extension(path) == "qvir") {
        auto text = render_library(library, path);
        if (!text) {
            return std::unexpected(std::move(text.error()));
        }
        return write_whole_file(path, text->bytes);
    }
    // The stream goes out while it is encoded, so that it never stands whole in memory beside
    // the layout database.
    std::vector<std::string> warnings;
    const auto stream = [&](const Sink& sink) -> std::expected<void, std::string> {
        auto converted = quorvane_dsl_gds::write_gds(std::move(library), sink);
        if (!converted) {
            return std::unexpected(std::move(converted.error()));
        }
        warnings = std::move(*converted);
        return {};
    };
    auto written = write_whole_file(path, stream);
    for (const std::string& warning : warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    return written;
}

std::expected<RenderedLibrary, std::string> render_library(const quorvane_dsl::ir::Library& library,
                                                           const std::string& path) {
    if (extension(path) == "qvir") {
        auto text = quorvane_dsl::ir::print(library);
        if (!text) {
            return std::unexpected(std::move(text.error()));
        }
        return RenderedLibrary{std::move(*text), {}};
    }
    auto stream = quorvane_dsl_gds::write_gds(library);
    if (!stream) {
        return std::unexpected(std::move(stream.error()));
    }
    return RenderedLibrary{std::string(stream->bytes.begin(), stream->bytes.end()),
                           std::move(stream->warnings)};
}

std::expected<void, std::string> print_library(const quorvane_dsl::ir::Library& library) {
    auto text = quorvane_dsl::ir::print(library);
    if (!text) {
        return std::unexpected(std::move(text.error()));
    }
    return write_standard_output(*text);
}

} // namespace quorvane
