#include "diag/suggestion.hpp"

#include <optional>
#include <utility>

#include "base/utf8.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::diag {

std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates) {
    if (name.size() < 3) {
        return "";
    }
    const std::size_t limit = name.size() / 3;
    const std::size_t length = base::utf8::char_count(name);
    std::optional<std::pair<std::size_t, std::string_view>> best;
    for (const std::string_view candidate : candidates) {
        // The distance is at least the difference in length: most candidates of a large program
        // drop out here, before the distance's table is built.
        const std::size_t other = base::utf8::char_count(candidate);
        if ((other > length ? other - length : length - other) > limit) {
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
