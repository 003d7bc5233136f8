#include <algorithm>
#include <iostream>
#include <iterator>
#include <map>
#include <unordered_map>

#include "commands.hpp"
#include "file_io.hpp"
#include "load.hpp"
#include "lvs/json.hpp"
#include "lvs/netlist.hpp"
#include "port_findings.hpp"

namespace quorvane {

namespace {

using quorvane_dsl::lvs::NetCell;
using quorvane_dsl::lvs::NetConnection;

// The first cell of each name.
using CellsByName = std::unordered_map<std::string_view, const NetCell*>;

CellsByName first_of_each_name(std::span<const NetCell> cells) {
    CellsByName by_name;
    by_name.reserve(cells.size());
    for (const NetCell& cell : cells) {
        by_name.emplace(cell.name, &cell);
    }
    return by_name;
}

// Instance name to cell name in byte order of the names; a repeated name keeps its last cell.
std::map<std::string, std::string> instance_map(const NetCell& cell) {
    std::map<std::string, std::string> by_name;
    for (const auto& inst : cell.instances) {
        by_name[inst.name] = inst.cell;
    }
    return by_name;
}

std::vector<NetConnection> lacking(const std::vector<NetConnection>& from,
                                   const std::vector<NetConnection>& in) {
    std::vector<NetConnection> out;
    std::ranges::set_difference(from, in, std::back_inserter(out));
    return out;
}

std::vector<std::string> differences(const NetCell& design, const NetCell& reference) {
    std::vector<std::string> out;
    const auto ours = instance_map(design);
    const auto theirs = instance_map(reference);
    for (const auto& [name, cell] : theirs) {
        const auto found = ours.find(name);
        if (found == ours.end()) {
            out.push_back("missing instance " + name + " of " + cell);
        } else if (found->second != cell) {
            out.push_back("instance " + name + " is " + found->second + ", expected " + cell);
        }
    }
    for (const auto& [name, cell] : ours) {
        if (!theirs.contains(name)) {
            out.push_back("extra instance " + name + " of " + cell);
        }
    }
    for (const auto& [a, b] : lacking(reference.connections, design.connections)) {
        out.push_back("missing connection " + a + " \u2014 " + b);
    }
    for (const auto& [a, b] : lacking(design.connections, reference.connections)) {
        out.push_back("extra connection " + a + " \u2014 " + b);
    }
    return out;
}

// Prints how one top cell compares with the reference; true when it matches.
bool compare_top(const NetCell& design, const CellsByName& reference) {
    const auto found = reference.find(design.name);
    if (found == reference.end()) {
        std::cerr << "error: the reference has no cell `" << design.name << "`\n";
        return false;
    }
    const std::vector<std::string> found_differences = differences(design, *found->second);
    for (const std::string& difference : found_differences) {
        std::cerr << "error: " << difference << " (in " << design.name << ")\n";
    }
    if (found_differences.empty()) {
        std::cout << design.name << ": matches the reference (" << design.instances.size()
                  << " instances, " << design.connections.size() << " connections)\n";
    }
    return found_differences.empty();
}

} // namespace

Outcome lvs(Args args) {
    const std::vector<std::string> references = flag_values(args, "--netlist");
    if (references.empty()) {
        return Error{"lvs needs a reference: --netlist <ref.json>"};
    }
    // The reference is read first: a bad one costs no compilation.
    const std::string& path = references[0];
    const auto text = read(path);
    if (!text) {
        return Error{text.error()};
    }
    const auto reference = quorvane_dsl::lvs::read_netlist(*text);
    if (!reference) {
        return Error{path + ": " + reference.error()};
    }
    InputFiles inputs;
    const auto library = compile_lib(args, "lvs", inputs);
    if (!library) {
        return library.error();
    }
    bool ok = !print_findings(*library);
    const std::vector<NetCell> design = quorvane_dsl::lvs::netlist(*library);
    const CellsByName reference_by_name = first_of_each_name(*reference);
    // A loaded library names each cell once, so a top's own entry is the first of its name.
    for (const std::uint64_t top : library->tops) {
        ok = compare_top(design[top], reference_by_name) && ok;
    }
    return ok ? Outcome{Pass{}} : Outcome{Fail{}};
}

} // namespace quorvane
