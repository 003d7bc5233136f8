// The top cells of imported IR files become cells of the program; published blackboxes are
// verified against their interface signatures.
#include <algorithm>
#include <array>
#include <string_view>
#include <unordered_set>

#include "lower/lowerer.hpp"
#include "signature/signature.hpp"

namespace quorvane_dsl::lower {
namespace {

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Only names that source code could write can be seen from source.
bool is_source_name(std::string_view name) {
    static constexpr std::array<std::string_view, 9> reserved = {
        "cell", "define", "else", "false", "for", "if", "in", "self", "true"};
    if (name.empty() || !(is_ascii_letter(name.front()) || name.front() == '_')) {
        return false;
    }
    const bool word_chars = std::all_of(name.begin(), name.end(), [](char c) {
        return is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '_';
    });
    return word_chars && std::find(reserved.begin(), reserved.end(), name) == reserved.end();
}

} // namespace

void Lowerer::import_ir_file(load::IrFile file) {
    const std::size_t position = hir_.ir_files.size();
    for (const std::uint64_t top : file.library.tops) {
        import_cell(position, file, top);
    }
    hir_.ir_files.push_back(std::move(file));
}

void Lowerer::import_cell(std::size_t file_index, const load::IrFile& file, std::uint64_t index) {
    const ir::Cell& cell = file.library.cells[index];
    if (!is_source_name(cell.name)) {
        return;
    }
    if (auto changed = signature::changed_blackbox(cell, file.library.dbu)) {
        error({file.import_range, file.importer}, std::move(*changed));
    }
    file_ = file.file;
    const source::TextRange span = file.spans[index];
    const hir::Src at = src(span);
    const hir::CellId id = hir_.cells.alloc(hir::CellDef{
        .origin = {hir::CellOrigin::Imported{file_index, static_cast<std::size_t>(index)}},
        .name = cell.name,
        .span = span,
        .src = at});
    if (!declare_global_at(cell.name, span, {hir::Global::Kind::Cell, id.raw})) {
        return;
    }
    occurrence(hir::Res{hir::Res::Cell{id}}, at, true);
    const auto first_name = static_cast<std::uint32_t>(hir_.cell_names.size());
    std::unordered_set<std::string_view> taken;
    const auto take = [&](const std::string& name, hir::Res res) {
        if (!is_source_name(name) || !taken.insert(name).second) {
            return false;
        }
        hir_.cell_names.push_back({hir_.texts.intern(name), res});
        return true;
    };
    // Stored parameters and attributes alike read as attributes: an imported cell takes no
    // parameters.
    for (const auto* values : {&cell.params, &cell.attrs}) {
        for (const auto& [name, value] : *values) {
            const auto index = static_cast<std::uint32_t>(hir_.cells[id].attrs.size());
            if (!take(name, hir::Res{hir::Res::Attr{id, index}})) {
                continue;
            }
            const hir::ExprId expr = value_expr(value, at);
            hir_.cells[id].attrs.push_back({.name = name, .src = at, .value = expr});
        }
    }
    for (const ir::Marker& marker : cell.markers) {
        const auto index = static_cast<std::uint32_t>(hir_.cells[id].markers.size());
        if (!take(marker.name, hir::Res{hir::Res::Marker{id, index}})) {
            continue;
        }
        hir_.cells[id].markers.push_back({.name = marker.name, .src = at});
    }
    hir_.cells[id].names = {first_name,
                            static_cast<std::uint32_t>(hir_.cell_names.size()) - first_name};
}

} // namespace quorvane_dsl::lower
