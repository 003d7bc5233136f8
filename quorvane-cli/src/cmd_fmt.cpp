#include <iostream>
#include <string>

#include "commands.hpp"
#include "file_io.hpp"
#include "format/format.hpp"
#include "report.hpp"
#include "syntax/parser.hpp"

namespace quorvane {

namespace {

// Carriage return and line feed pairs become line feeds; a lone carriage return stays. In
// place: a large file is not held twice.
void to_lf(std::string& text) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            continue;
        }
        text[kept++] = text[i];
    }
    text.resize(kept);
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
        to_lf(*content);
        quorvane_dsl::syntax::parser::Parse parse =
            quorvane_dsl::syntax::parser::parse_owned(std::move(*content));
        if (!parse.errors.empty()) {
            print_syntax_errors(path, parse.green->text, parse.errors);
            failed = true;
            continue;
        }
        const std::string formatted = quorvane_dsl::format::format_node(parse.tree());
        const bool unchanged = formatted == parse.green->text;
        parse = {};
        if (unchanged) {
            continue;
        }
        if (check) {
            std::cout << path << " needs formatting\n";
            failed = true;
            continue;
        }
        if (auto written = write_whole_file(path, formatted); !written) {
            return Error{written.error()};
        }
        std::cout << "formatted " << path << '\n';
    }
    return failed ? Outcome{Fail{}} : Outcome{Pass{}};
}

} // namespace quorvane
