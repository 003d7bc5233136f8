#include "dummies.hpp"

#include <cstdio>
#include <iostream>
#include <vector>

#include "dummy/dummy.hpp"
#include "ir/text.hpp"

namespace quorvane {

namespace {

// The fill fraction as a percentage with one decimal, correctly rounded.
std::string percent(double fraction) {
    char text[400];
    std::snprintf(text, sizeof text, "%.1f", fraction * 100);
    return text;
}

} // namespace

std::expected<void, std::string> add_dummies(quorvane_dsl::ir::Library& library, Args args) {
    const std::vector<std::string> texts = flag_values(args, "--dummy");
    std::vector<quorvane_dsl::dummy::Rule> rules;
    rules.reserve(texts.size());
    for (const std::string& text : texts) {
        auto rule = quorvane_dsl::dummy::Rule::parse(text);
        if (!rule) {
            return std::unexpected("--dummy " + text + ": " + rule.error());
        }
        rules.push_back(std::move(*rule));
    }
    if (rules.empty()) {
        return {};
    }
    auto reports = quorvane_dsl::dummy::generate(library, rules);
    if (!reports) {
        return std::unexpected(std::move(reports.error()));
    }
    for (const quorvane_dsl::dummy::Report& report : *reports) {
        std::cerr << "dummy " << quorvane_dsl::ir::spelled_out(report.layer) << " in "
                  << quorvane_dsl::ir::spelled_out(report.cell) << ": " << report.tiles
                  << " tiles in " << report.instances << " instances, " << percent(report.fill)
                  << "% of the fill area\n";
    }
    return {};
}

} // namespace quorvane
