#pragma once

// The connectivity of every cell of a library: ports, instances and connections, and the JSON
// text in which the netlist command writes it.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ir/model.hpp"

namespace quorvane_dsl::lvs {

// One location of a port marker, in nanometres and degrees.
struct NetPort {
    std::string marker;
    std::uint64_t index = 0;
    double x = 0;
    double y = 0;
    double angle = 0;
    bool operator==(const NetPort&) const = default;
};

struct NetInstance {
    std::string name;
    std::string cell;
    bool operator==(const NetInstance&) const = default;
};

// Two endpoint texts ("self.in[0]", "r1.opt[1]"), the smaller first.
using NetConnection = std::pair<std::string, std::string>;

struct NetCell {
    std::string name;
    std::string source;
    std::vector<NetPort> ports;
    std::vector<NetInstance> instances;
    // Sorted by byte order of the texts, without duplicates.
    std::vector<NetConnection> connections;
    bool operator==(const NetCell&) const = default;
};

// One NetCell per cell of the library, in library order, top cells or not.
std::vector<NetCell> netlist(const ir::Library& library);

// The pair of two endpoint texts, the smaller first.
NetConnection connection_of(std::string a, std::string b);

// Sorts the pairs and drops repeats, so a connection recorded twice counts once.
void make_connection_set(std::vector<NetConnection>& pairs);

// Appends s as a JSON string literal; only the quote, the backslash and controls are escaped.
void json_string(std::string& out, std::string_view s);

// The whole JSON document of a netlist, ending with a line feed.
std::string netlist_text(std::span<const NetCell> cells);

} // namespace quorvane_dsl::lvs
