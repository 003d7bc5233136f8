#include "link/link.hpp"

#include "ir/text.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::link {

void CopyPath::push(std::uint64_t cell) {
    order_.push_back(cell);
    members_.insert(cell);
}

void CopyPath::pop() {
    members_.erase(order_.back());
    order_.pop_back();
}

namespace {

std::optional<std::uint64_t> layer_named(const ir::Library& library, std::string_view name) {
    for (std::size_t i = 0; i < library.layers.size(); ++i) {
        if (library.layers[i].name == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> layer_numbered(const ir::Library& library, const ir::Layer& like) {
    for (std::size_t i = 0; i < library.layers.size(); ++i) {
        if (library.layers[i].layer == like.layer && library.layers[i].datatype == like.datatype) {
            return i;
        }
    }
    return std::nullopt;
}

std::string free_layer_name(const ir::Library& library, const std::string& name) {
    if (!layer_named(library, name)) {
        return name;
    }
    for (std::uint64_t n = 1;; ++n) {
        std::string candidate = name + "_" + std::to_string(n);
        if (!layer_named(library, candidate)) {
            return candidate;
        }
    }
}

std::string contains_itself(const ir::Library& source, std::uint64_t cell) {
    return "cell " + ir::shown(source.cells.at(cell).name) + " contains itself";
}

} // namespace

std::uint64_t Linker::map_layer(ir::Library& target, std::uint64_t source_id,
                                const ir::Library& source, std::uint64_t layer) {
    const Key key{source_id, layer};
    if (const auto found = layer_map_.find(key); found != layer_map_.end()) {
        return found->second;
    }
    const ir::Layer& from = source.layers.at(layer);
    std::optional<std::uint64_t> chosen;
    // A published blackbox draws on layers of these names; they meet their namesakes whatever
    // their numbers.
    if (from.name == "blackbox" || from.name == "marker") {
        chosen = layer_named(target, from.name);
    }
    if (!chosen) {
        chosen = layer_numbered(target, from);
    }
    if (!chosen) {
        chosen = target.layers.size();
        target.layers.push_back({free_layer_name(target, from.name), from.layer, from.datatype});
    }
    layer_map_.emplace(key, *chosen);
    return *chosen;
}

std::expected<ir::Cell, std::string> Linker::contents(ir::Library& target, std::uint64_t source_id,
                                                      const ir::Library& source,
                                                      std::uint64_t cell) {
    if (!(source.dbu == target.dbu)) {
        return std::unexpected("it uses a database unit of " + units::format_number(source.dbu) +
                               "nm, this layout " + units::format_number(target.dbu) + "nm");
    }
    CopyPath path;
    path.push(cell);
    return translate(target, source_id, source, cell, path);
}

std::expected<std::uint64_t, std::string> Linker::copy_cell(ir::Library& target,
                                                            std::uint64_t source_id,
                                                            const ir::Library& source,
                                                            std::uint64_t cell, CopyPath& path) {
    if (const auto found = cell_map_.find({source_id, cell}); found != cell_map_.end()) {
        return found->second;
    }
    if (path.contains(cell)) {
        return std::unexpected(contains_itself(source, cell));
    }
    path.push(cell);
    auto translated = translate(target, source_id, source, cell, path);
    if (!translated) {
        return std::unexpected(std::move(translated.error()));
    }
    path.pop();
    const std::uint64_t index = target.cells.size();
    target.cells.push_back(std::move(*translated));
    cell_map_.emplace(Key{source_id, cell}, index);
    return index;
}

// Children are copied before their parents and their layers matched before the parent's own;
// an explicit stack stands for the recursion so that deep hierarchies cannot exhaust the call
// stack.
std::expected<ir::Cell, std::string> Linker::translate(ir::Library& target, std::uint64_t source_id,
                                                       const ir::Library& source,
                                                       std::uint64_t cell, CopyPath& path) {
    struct Entry {
        std::uint64_t cell;
        std::vector<std::uint64_t> children;
    };
    std::vector<Entry> stack;
    stack.push_back({cell, {}});
    while (true) {
        Entry& top = stack.back();
        const ir::Cell& from = source.cells.at(top.cell);
        if (top.children.size() < from.instances.size()) {
            const std::uint64_t child = from.instances[top.children.size()].cell;
            if (const auto found = cell_map_.find({source_id, child}); found != cell_map_.end()) {
                top.children.push_back(found->second);
                continue;
            }
            if (path.contains(child)) {
                return std::unexpected(contains_itself(source, child));
            }
            path.push(child);
            stack.push_back({child, {}});
            continue;
        }
        ir::Cell copy{from.name, from.source,  from.params,      from.attrs,   {},
                      {},        from.markers, from.connections, from.blackbox};
        copy.instances.reserve(from.instances.size());
        for (std::size_t i = 0; i < from.instances.size(); ++i) {
            ir::Instance inst = from.instances[i];
            inst.cell = top.children[i];
            copy.instances.push_back(std::move(inst));
        }
        copy.shapes.reserve(from.shapes.size());
        for (const ir::Shape& shape : from.shapes) {
            copy.shapes.push_back(
                {map_layer(target, source_id, source, shape.layer), shape.geometry});
        }
        const std::uint64_t done = top.cell;
        stack.pop_back();
        if (stack.empty()) {
            return copy;
        }
        path.pop();
        const std::uint64_t index = target.cells.size();
        target.cells.push_back(std::move(copy));
        cell_map_.emplace(Key{source_id, done}, index);
        stack.back().children.push_back(index);
    }
}

} // namespace quorvane_dsl::link
