#include "diag/suggestion.hpp"

#include <optional>
#include <utility>

#include "units/units.hpp"

namespace quorvane_dsl::diag {

std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates) {
    if (name.size() < 3) {
        return "";
    }
    const std::size_t limit = name.size() / 3;
    std::optional<std::pair<std::size_t, std::string_view>> best;
    for (const std::string_view candidate : candidates) {
        const std::size_t distance = units::edit_distance(name, candidate);
        if (distance <= limit && (!best || std::pair{distance, candidate} < *best)) {
            best = {distance, candidate};
        }
    }
    return best ? "; did you mean `" + std::string(best->second) + "`?" : "";
}

} // namespace quorvane_dsl::diag
