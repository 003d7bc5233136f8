#include "lvs/netlist.hpp"

#include <algorithm>
#include <array>

#include "base/fatal.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::lvs {

namespace {

void add_ports(NetCell& out, const ir::Cell& cell, double dbu) {
    for (const ir::Marker& marker : cell.markers) {
        if (ir::marker_kind(marker) != "port") {
            continue;
        }
        for (std::size_t k = 0; k < marker.locations.size(); ++k) {
            const ir::Frame& at = marker.locations[k];
            out.ports.push_back({marker.name, k, static_cast<double>(at.x) * dbu,
                                 static_cast<double>(at.y) * dbu, at.angle});
        }
    }
}

NetCell net_cell(const ir::Library& library, const ir::Cell& cell) {
    NetCell out{.name = cell.name, .source = cell.source};
    add_ports(out, cell, library.dbu);
    out.instances.reserve(cell.instances.size());
    for (const ir::Instance& inst : cell.instances) {
        if (inst.cell >= library.cells.size()) {
            base::fatal("an instance places a cell outside the library");
        }
        out.instances.push_back({inst.name, library.cells[inst.cell].name});
    }
    out.connections.reserve(cell.connections.size());
    for (const ir::Connection& connection : cell.connections) {
        out.connections.push_back(connection_of(connection.a.text(), connection.b.text()));
    }
    make_connection_set(out.connections);
    return out;
}

// Each entry of a non-empty list stands on its own line, eight spaces in.
template <typename T, typename Write>
void json_list(std::string& out, std::span<const T> items, Write write) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        out += i == 0 ? "\n        " : ",\n        ";
        write(items[i]);
    }
    out += items.empty() ? "]" : "\n      ]";
}

void write_cell(std::string& out, const NetCell& cell) {
    out += "\n      \"name\": ";
    json_string(out, cell.name);
    out += ",\n      \"source\": ";
    json_string(out, cell.source);
    out += ",\n      \"ports\": [";
    json_list(out, std::span(cell.ports), [&](const NetPort& port) {
        out += "{\"marker\": ";
        json_string(out, port.marker);
        out += ", \"index\": " + std::to_string(port.index);
        out += ", \"x\": " + units::format_number(port.x);
        out += ", \"y\": " + units::format_number(port.y);
        out += ", \"angle\": " + units::format_number(port.angle) + "}";
    });
    out += ",\n      \"instances\": [";
    json_list(out, std::span(cell.instances), [&](const NetInstance& inst) {
        out += "{\"name\": ";
        json_string(out, inst.name);
        out += ", \"cell\": ";
        json_string(out, inst.cell);
        out += "}";
    });
    out += ",\n      \"connections\": [";
    json_list(out, std::span(cell.connections), [&](const NetConnection& pair) {
        out += "[";
        json_string(out, pair.first);
        out += ", ";
        json_string(out, pair.second);
        out += "]";
    });
    out += "\n    }";
}

} // namespace

std::vector<NetCell> netlist(const ir::Library& library) {
    std::vector<NetCell> cells;
    cells.reserve(library.cells.size());
    for (const ir::Cell& cell : library.cells) {
        cells.push_back(net_cell(library, cell));
    }
    return cells;
}

NetConnection connection_of(std::string a, std::string b) {
    if (b < a) {
        std::swap(a, b);
    }
    return {std::move(a), std::move(b)};
}

void make_connection_set(std::vector<NetConnection>& pairs) {
    std::ranges::sort(pairs);
    const auto repeats = std::ranges::unique(pairs);
    pairs.erase(repeats.begin(), repeats.end());
}

void json_string(std::string& out, std::string_view s) {
    constexpr std::array<char, 16> hex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                          '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
    out += '"';
    for (const char c : s) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (byte < 0x20) {
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        } else {
            // Bytes of multi-byte characters are all above 0x7F, so UTF-8 passes through whole.
            out += c;
        }
    }
    out += '"';
}

std::string netlist_text(std::span<const NetCell> cells) {
    std::string out = "{\n  \"cells\": [";
    for (std::size_t i = 0; i < cells.size(); ++i) {
        out += i == 0 ? "\n    {" : ",\n    {";
        write_cell(out, cells[i]);
    }
    out += "\n  ]\n}\n";
    return out;
}

} // namespace quorvane_dsl::lvs
