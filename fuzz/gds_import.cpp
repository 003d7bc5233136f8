// An imported stream converts back to a layout; its IR text, when it prints and its names are
// ones the text can carry, reads back and prints the same. Written out as GDSII again and
// imported anew, it gives the same library up to the order of layers, cells and their contents.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz.hpp"
#include "ir/ir.hpp"
#include "ir_round_trip.hpp"
#include "lib.hpp"
#include "read.hpp"

namespace ir = quorvane_dsl::ir;

namespace {

// The second field of a shape line: its layer.
std::string_view shape_layer(std::string_view line) {
    for (std::string_view keyword : {"  box ", "  polygon ", "  path "}) {
        if (line.starts_with(keyword)) {
            const std::string_view rest = line.substr(keyword.size());
            return rest.substr(0, rest.find(' '));
        }
    }
    return {};
}

// A polygon's last point when it repeats the first comes back without it: GDSII closes a ring
// only when it is open, and the import drops one closing point.
std::string without_closing_point(const std::string& line) {
    const std::size_t first = line.find(" (");
    const std::size_t last = line.rfind(" (");
    const std::size_t first_end = line.find(' ', first + 1);
    if (first == last || line.compare(first, first_end - first, line, last) != 0) {
        return line;
    }
    return line.substr(0, last);
}

// The database unit passes through metres, which may change its last bits.
std::string rounded_dbu(const std::string& line) {
    char text[64];
    std::snprintf(text, sizeof text, "dbu %.12g", std::strtod(line.c_str() + 4, nullptr));
    return text;
}

// The IR text without what GDSII does not carry (tops, connections, markers without locations,
// layers without shapes) and the instance names it makes up anew, its layer lines, cell blocks and
// the lines inside each block sorted. The text `written` again has its polygons' closing points
// dropped as the second import drops them.
std::vector<std::string> normal_form(std::string_view text, bool written) {
    std::vector<std::string> layers;
    std::vector<std::string> cells;
    std::vector<std::string> lines;
    std::set<std::string> used;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        std::string line(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
        if (line.starts_with("  inst ")) {
            line.erase(7, line.find(' ', 7) - 7);
        } else if (written && line.starts_with("  polygon ")) {
            line = without_closing_point(line);
        } else if (line.starts_with("dbu ")) {
            line = rounded_dbu(line);
        }
        if (line.starts_with("layer ")) {
            layers.push_back(line);
        } else if (line.starts_with("cell ")) {
            lines.assign(1, line);
        } else if (line == "}" && !lines.empty()) {
            std::sort(lines.begin() + 1, lines.end());
            std::string block;
            for (const std::string& inner : lines) {
                block += inner + '\n';
            }
            cells.push_back(block);
            lines.clear();
        } else if (!lines.empty() && !line.starts_with("  connect ") &&
                   !(line.starts_with("  marker ") && line.ends_with(' '))) {
            lines.push_back(line);
            used.emplace(shape_layer(line));
        } else if (lines.empty() && !line.starts_with("top ")) {
            layers.push_back(line);
        }
    }
    std::erase_if(layers, [&](const std::string& line) {
        const std::string_view name =
            line.starts_with("layer ") ? std::string_view(line).substr(6) : "";
        return !name.empty() && !used.contains(std::string(name.substr(0, name.find(' '))));
    });
    std::sort(layers.begin(), layers.end());
    std::sort(cells.begin(), cells.end());
    layers.insert(layers.end(), cells.begin(), cells.end());
    return layers;
}

void check_written_again(const ir::Library& library, const std::string& printed) {
    const auto written = quorvane_dsl_gds::write_gds(library);
    if (!written || !written->warnings.empty()) {
        return;
    }
    const auto again = quorvane_dsl_gds::read::read_gds(written->bytes);
    QV_FUZZ_CHECK(again);
    const auto reprinted = ir::print(again->library);
    QV_FUZZ_CHECK(reprinted && normal_form(*reprinted, false) == normal_form(printed, true));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto imported = quorvane_dsl_gds::read::read_gds(std::vector(data, data + size));
    if (!imported) {
        return 0;
    }
    const auto printed = ir::print(imported->library);
    if (!printed) {
        (void)quorvane_dsl_gds::to_layout(imported->library);
        return 0;
    }
    check_written_again(imported->library, *printed);
    // Whatever the names, printed text reads back to itself: names it cannot carry are refused.
    quorvane_fuzz::check_reads_back(imported->library, *printed);
    return 0;
}
