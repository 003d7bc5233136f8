// Library finishing: port connections by position, and cells of one name merged or renamed.
#include "eval/finish.hpp"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "base/angle.hpp"
#include "lvs/ports.hpp"
#include "signature/signature.hpp"

namespace quorvane_dsl::eval {

namespace {

ir::PortRef ref_of(const lvs::Port& port) {
    return ir::PortRef{port.marker, port.instance, port.index};
}

bool port_less(const ir::PortRef& a, const ir::PortRef& b) {
    return std::tie(a.port, a.instance, a.index) < std::tie(b.port, b.instance, b.index);
}

// The two ends of a connection, lesser first, so that a pair is found whichever end it names
// first.
struct Ends {
    ir::PortRef low;
    ir::PortRef high;

    Ends(ir::PortRef a, ir::PortRef b) : low(std::move(a)), high(std::move(b)) {
        if (port_less(high, low)) {
            std::swap(low, high);
        }
    }
};

struct EndsLess {
    bool operator()(const Ends& x, const Ends& y) const {
        if (port_less(x.low, y.low) || port_less(y.low, x.low)) {
            return port_less(x.low, y.low);
        }
        return port_less(x.high, y.high);
    }
};

void connect_cell(const ir::Library& lib, ir::Cell& cell) {
    std::vector<lvs::Port> ports = lvs::ports(lib.cells, cell);
    std::erase_if(ports, [](const lvs::Port& p) { return p.kind != "port"; });
    std::map<std::pair<std::int64_t, std::int64_t>, std::vector<std::size_t>> at;
    // Looked up rather than searched: a cell of many ports would otherwise compare every new
    // connection with all the ones before it.
    std::set<Ends, EndsLess> known;
    for (const ir::Connection& c : cell.connections) {
        known.emplace(c.a, c.b);
    }
    for (std::size_t i = 0; i < ports.size(); ++i) {
        at[{ports[i].x, ports[i].y}].push_back(i);
    }
    for (const auto& [position, group] : at) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            for (std::size_t j = i + 1; j < group.size(); ++j) {
                const lvs::Port& p = ports[group[i]];
                const lvs::Port& q = ports[group[j]];
                // Two ports of one instance never meet each other.
                if (p.instance && q.instance && *p.instance == *q.instance) {
                    continue;
                }
                const double turn = base::normalize_angle(p.angle - q.angle);
                if (turn != 0 && turn != 180) {
                    continue;
                }
                const ir::PortRef a = ref_of(p);
                const ir::PortRef b = ref_of(q);
                if (known.emplace(a, b).second) {
                    cell.connections.push_back(ir::Connection{a, b, false});
                }
            }
        }
    }
}

// The first of "name$1", "name$2", ... not yet taken; it is taken from then on. `next` holds per
// name the number after the last one given, all below it being taken: a name given to many cells
// is not tried from 1 again for each of them.
std::string fresh_name(const std::string& name, std::unordered_set<std::string>& taken,
                       std::unordered_map<std::string, std::uint64_t>& next) {
    for (std::uint64_t& n = next.try_emplace(name, 1).first->second;; ++n) {
        std::string candidate = name + "$" + std::to_string(n);
        if (taken.insert(candidate).second) {
            ++n;
            return candidate;
        }
    }
}

void compact(ir::Library& lib, const std::vector<std::uint64_t>& remap) {
    std::vector<std::uint64_t> new_index(lib.cells.size());
    std::vector<ir::Cell> kept;
    for (std::uint64_t i = 0; i < lib.cells.size(); ++i) {
        if (remap[i] == i) {
            new_index[i] = kept.size();
            kept.push_back(std::move(lib.cells[i]));
        }
    }
    for (ir::Cell& cell : kept) {
        for (ir::Instance& instance : cell.instances) {
            instance.cell = new_index[remap[instance.cell]];
        }
    }
    std::vector<std::uint64_t> tops;
    for (std::uint64_t top : lib.tops) {
        const std::uint64_t moved = new_index[remap[top]];
        if (std::ranges::find(tops, moved) == tops.end()) {
            tops.push_back(moved);
        }
    }
    lib.cells = std::move(kept);
    lib.tops = std::move(tops);
}

} // namespace

void connect_ports(ir::Library& lib) {
    for (ir::Cell& cell : lib.cells) {
        connect_cell(lib, cell);
    }
}

void settle_names(ir::Library& lib, const std::unordered_set<std::uint64_t>& copied) {
    std::unordered_map<std::string, std::vector<std::uint64_t>> by_name;
    std::vector<std::vector<std::uint64_t>*> groups; // in order of their lowest index
    for (std::uint64_t i = 0; i < lib.cells.size(); ++i) {
        auto& group = by_name[lib.cells[i].name];
        group.push_back(i);
        if (group.size() == 2) {
            groups.push_back(&group);
        }
    }
    if (groups.empty()) {
        return;
    }
    std::ranges::sort(groups, {}, [](const auto* g) { return g->front(); });
    signature::Digests digests(lib);
    std::vector<std::uint64_t> remap(lib.cells.size());
    for (std::uint64_t i = 0; i < remap.size(); ++i) {
        remap[i] = i;
    }
    std::vector<std::uint64_t> renamed;
    for (auto* group : groups) {
        std::ranges::stable_sort(*group, {}, [&](std::uint64_t i) { return copied.contains(i); });
        // The first cell of each content, looked up by digest: a name shared by many cells of
        // different content would otherwise compare each with all the ones before it.
        std::map<sha256::Digest, std::uint64_t> first_of;
        std::vector<std::uint64_t> representatives;
        for (std::uint64_t i : *group) {
            const auto [first, added] = first_of.try_emplace(digests.cell(i), i);
            if (added) {
                representatives.push_back(i);
            } else {
                remap[i] = first->second;
            }
        }
        renamed.insert(renamed.end(), representatives.begin() + 1, representatives.end());
    }
    std::unordered_set<std::string> taken;
    for (const ir::Cell& cell : lib.cells) {
        taken.insert(cell.name);
    }
    std::unordered_map<std::string, std::uint64_t> next;
    for (std::uint64_t i : renamed) {
        lib.cells[i].name = fresh_name(lib.cells[i].name, taken, next);
    }
    for (std::uint64_t i = 0; i < remap.size(); ++i) {
        if (remap[i] != i) {
            compact(lib, remap);
            return;
        }
    }
}

} // namespace quorvane_dsl::eval
