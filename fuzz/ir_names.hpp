// Whether a library's names are ones the IR text can carry.
#pragma once

// Whether a library's names are ones the IR text can carry: the text writes names as they are,
// so only names that are one field, without "{" and (for instances) without ".", unique cell
// and layer names and identifier marker attribute names read back.

#include <algorithm>
#include <set>
#include <string_view>

#include "ir/ir.hpp"
#include "ir/scan.hpp"

namespace quorvane_fuzz {

inline bool is_field(std::string_view text) {
    const auto fields = quorvane_dsl::ir::scan::fields(text);
    return fields.size() == 1 && fields[0] == text && !text.contains('{');
}

inline bool is_identifier(std::string_view text) {
    const auto tokens = quorvane_dsl::ir::literal_tokens(text, false);
    return tokens && tokens->size() == 1 &&
           (*tokens)[0].kind == quorvane_dsl::syntax::SyntaxKind::IDENT &&
           (*tokens)[0].text == text;
}

inline bool all_fields(const std::vector<quorvane_dsl::ir::NamedValue>& values) {
    return std::ranges::all_of(values, [](const auto& value) { return is_field(value.first); });
}

inline bool names_read_back(const quorvane_dsl::ir::Library& library) {
    std::set<std::string_view> layers;
    for (const auto& layer : library.layers) {
        if (!is_field(layer.name) || !layers.insert(layer.name).second) {
            return false;
        }
    }
    std::set<std::string_view> cells;
    for (const auto& cell : library.cells) {
        if (!is_field(cell.name) || !is_field(cell.source) || !cells.insert(cell.name).second ||
            !all_fields(cell.params) || !all_fields(cell.attrs)) {
            return false;
        }
        for (const auto& instance : cell.instances) {
            if (!is_field(instance.name) || instance.name.contains('.')) {
                return false;
            }
        }
        for (const auto& marker : cell.markers) {
            if (!is_field(marker.name) || !std::ranges::all_of(marker.attrs, [](const auto& a) {
                    return is_identifier(a.first);
                })) {
                return false;
            }
        }
        if (cell.blackbox &&
            (!is_field(cell.blackbox->interface) || !is_field(cell.blackbox->content))) {
            return false;
        }
    }
    return true;
}

} // namespace quorvane_fuzz
