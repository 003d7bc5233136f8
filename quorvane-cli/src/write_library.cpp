#include "write_library.hpp"

#include <iostream>

#include "file_io.hpp"
#include "lib.hpp"
#include "load.hpp"

namespace quorvane {

std::expected<void, std::string> write_library(quorvane_dsl::ir::Library library,
                                               const std::string& path) {
    if (extension(path) == "qvir") {
        auto text = quorvane_dsl::ir::print(library);
        if (!text) {
            return std::unexpected(std::move(text.error()));
        }
        return write_whole_file(path, *text);
    }
    auto written = quorvane_dsl_gds::write_gds(std::move(library));
    if (!written) {
        return std::unexpected(std::move(written.error()));
    }
    for (const std::string& warning : written->warnings) {
        std::cerr << "warning: " << warning << '\n';
    }
    return write_whole_file(path,
                            std::string_view(reinterpret_cast<const char*>(written->bytes.data()),
                                             written->bytes.size()));
}

std::expected<void, std::string> print_library(const quorvane_dsl::ir::Library& library) {
    auto text = quorvane_dsl::ir::print(library);
    if (!text) {
        return std::unexpected(std::move(text.error()));
    }
    return write_standard_output(*text);
}

} // namespace quorvane
