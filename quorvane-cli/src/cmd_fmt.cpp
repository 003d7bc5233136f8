#include <iostream>
#include <string>

#include "commands.hpp"
#include "file_io.hpp"
#include "format/format.hpp"
#include "report.hpp"

namespace quorvane {

namespace {

// Carriage return and line feed pairs become line feeds; a lone carriage return stays.
std::string lf_text(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        out += text[i];
    }
    return out;
}

} // namespace

Outcome fmt(Args args) {
    bool check = false;
    std::vector<std::string> files;
    for (const std::string& arg : args) {
        if (arg == "--check") {
            check = true;
        }
        if (!arg.starts_with("--")) {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        return Error{"fmt needs at least one file"};
    }
    bool failed = false;
    for (const std::string& path : files) {
        std::expected<std::string, std::string> content = read(path);
        if (!content) {
            return Error{content.error()};
        }
        const std::string text = lf_text(*content);
        const auto formatted = quorvane_dsl::format::format(text);
        if (!formatted) {
            print_syntax_errors(path, text, formatted.error());
            failed = true;
            continue;
        }
        if (*formatted == text) {
            continue;
        }
        if (check) {
            std::cout << path << " needs formatting\n";
            failed = true;
            continue;
        }
        if (auto written = write_whole_file(path, *formatted); !written) {
            return Error{written.error()};
        }
        std::cout << "formatted " << path << '\n';
    }
    return failed ? Outcome{Fail{}} : Outcome{Pass{}};
}

} // namespace quorvane
