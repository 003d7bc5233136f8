#include "write_library.hpp"

#include <iostream>

#include "file_io.hpp"
#include "io/gds/writer.hpp"
#include "lib.hpp"
#include "load.hpp"

namespace quorvane {

namespace {

std::expected<std::vector<std::uint8_t>, std::string>
gds_stream(const quorvane_dsl::ir::Library& library) {
    auto converted = quorvane_dsl_gds::to_layout(library);
    if (!converted) {
        return std::unexpected(std::move(converted.error()));
    }
    auto bytes = vork::io::gds::writer::write_gds(converted->layout);
    if (!bytes) {
        return std::unexpected(vork::io::gds::debug_text(bytes.error()));
    }
    for (const std::string& warning : converted->warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    return std::move(*bytes);
}

} // namespace

std::expected<void, std::string> write_library(const quorvane_dsl::ir::Library& library,
                                               const std::string& path) {
    if (extension(path) == "qvir") {
        auto text = quorvane_dsl::ir::print(library);
        if (!text) {
            return std::unexpected(std::move(text.error()));
        }
        return write_whole_file(
            path, std::span(reinterpret_cast<const std::uint8_t*>(text->data()), text->size()));
    }
    auto bytes = gds_stream(library);
    if (!bytes) {
        return std::unexpected(std::move(bytes.error()));
    }
    return write_whole_file(path, *bytes);
}

} // namespace quorvane
