#include "diag/suggestion.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "base/utf8.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::diag {
namespace {

// A lower bound of the edit distance from the characters alone, whatever their order: an edit
// removes at most one surplus character from each side. Only for ASCII; other texts get 0.
std::size_t bag_bound(std::string_view a, std::string_view b) {
    std::array<int, 128> count{};
    for (const char c : a) {
        if (static_cast<unsigned char>(c) >= count.size()) {
            return 0;
        }
        ++count[static_cast<unsigned char>(c)];
    }
    for (const char c : b) {
        if (static_cast<unsigned char>(c) >= count.size()) {
            return 0;
        }
        --count[static_cast<unsigned char>(c)];
    }
    std::size_t surplus_a = 0;
    std::size_t surplus_b = 0;
    for (const int n : count) {
        if (n > 0) {
            surplus_a += static_cast<std::size_t>(n);
        } else {
            surplus_b += static_cast<std::size_t>(-n);
        }
    }
    return std::max(surplus_a, surplus_b);
}

} // namespace

std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates) {
    if (name.size() < 3) {
        return "";
    }
    const std::size_t limit = name.size() / 3;
    const std::size_t length = base::utf8::char_count(name);
    std::optional<std::pair<std::size_t, std::string_view>> best;
    for (const std::string_view candidate : candidates) {
        // The distance is at least the difference in length and the surplus of characters: most
        // candidates of a large program drop out here, before the distance's table is built.
        const std::size_t other = base::utf8::char_count(candidate);
        if ((other > length ? other - length : length - other) > limit ||
            bag_bound(name, candidate) > limit) {
            continue;
        }
        const std::size_t distance = units::edit_distance(name, candidate);
        if (distance <= limit && (!best || std::pair{distance, candidate} < *best)) {
            best = {distance, candidate};
        }
    }
    return best ? "; did you mean `" + std::string(best->second) + "`?" : "";
}

} // namespace quorvane_dsl::diag
