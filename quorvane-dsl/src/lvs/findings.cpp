#include "lvs/findings.hpp"

#include <cmath>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "lvs/ports.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::lvs {

namespace {

// A port reference that borrows its texts from a port record or a connection of one cell.
struct PortKey {
    std::string_view marker;
    std::optional<std::string_view> instance;
    std::uint64_t index = 0;
    bool operator==(const PortKey&) const = default;
};

struct PortKeyHash {
    std::size_t operator()(const PortKey& key) const {
        const std::hash<std::string_view> text;
        std::size_t h = text(key.marker);
        // Keeps "self" markers apart from an instance whose name is empty.
        h = h * 31 + (key.instance ? text(*key.instance) + 1 : 0);
        return h * 31 + std::hash<std::uint64_t>{}(key.index);
    }
};

PortKey key_of(const Port& port) {
    return {port.marker, port.instance, port.index};
}

PortKey key_of(const ir::PortRef& ref) {
    return {ref.port, ref.instance, ref.index};
}

std::string ref_text(const Port& port) {
    return ir::PortRef{port.marker, port.instance, port.index}.text();
}

class CellCheck {
  public:
    CellCheck(const ir::Library& library, const ir::Cell& cell, std::vector<Finding>& out)
        : library_(library), cell_(cell), out_(out), ports_(ports(library.cells, cell)) {
        index_.reserve(ports_.size());
        for (std::size_t i = 0; i < ports_.size(); ++i) {
            // A later record of the same reference is the one found.
            index_[key_of(ports_[i])] = i;
        }
        connected_.reserve(2 * cell.connections.size());
        for (const ir::Connection& connection : cell.connections) {
            connected_.insert(key_of(connection.a));
            connected_.insert(key_of(connection.b));
        }
    }

    void unconnected() {
        for (const Port& port : ports_) {
            if (port.kind == "port" && port.instance && !connected_.contains(key_of(port))) {
                add("port " + ref_text(port) + " is not connected", true);
            }
        }
    }

    void mismatches() {
        for (const ir::Connection& connection : cell_.connections) {
            const auto a = index_.find(key_of(connection.a));
            const auto b = index_.find(key_of(connection.b));
            if (a != index_.end() && b != index_.end()) {
                compare(connection.a.text(), ports_[a->second], connection.b.text(),
                        ports_[b->second]);
            }
        }
    }

  private:
    void compare(const std::string& a, const Port& pa, const std::string& b, const Port& pb) {
        if (pa.type && pb.type && *pa.type != *pb.type) {
            add(a + " (" + *pa.type + ") is connected to " + b + " (" + *pb.type + ")", false);
        }
        // A cross-section fixes the width, so differing cross-sections say all there is.
        if (pa.xsection && pb.xsection && *pa.xsection != *pb.xsection) {
            add(a + " (cross-section " + *pa.xsection + ") is connected to " + b +
                    " (cross-section " + *pb.xsection + ")",
                false);
        } else if (pa.width && pb.width && std::abs(*pa.width - *pb.width) > library_.dbu / 2) {
            add(a + " (" + units::format_length(*pa.width) + ") is connected to " + b + " (" +
                    units::format_length(*pb.width) + ") of a different width",
                false);
        }
    }

    void add(std::string message, bool warning) {
        out_.push_back({cell_.name, std::move(message), warning});
    }

    const ir::Library& library_;
    const ir::Cell& cell_;
    std::vector<Finding>& out_;
    std::vector<Port> ports_;
    std::unordered_map<PortKey, std::size_t, PortKeyHash> index_;
    std::unordered_set<PortKey, PortKeyHash> connected_;
};

} // namespace

std::vector<Finding> findings(const ir::Library& library) {
    std::vector<Finding> out;
    for (const ir::Cell& cell : library.cells) {
        CellCheck check(library, cell, out);
        check.unconnected();
        check.mismatches();
    }
    return out;
}

} // namespace quorvane_dsl::lvs
