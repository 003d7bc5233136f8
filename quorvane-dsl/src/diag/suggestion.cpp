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

Nearest::Nearest(std::string_view name)
    : name_(name), limit_(name.size() / 3), length_(base::utf8::char_count(name)) {}

void Nearest::consider(std::string_view candidate) {
    if (name_.size() < 3) {
        return;
    }
    // The distance is at least the difference in length and the surplus of characters: most
    // candidates of a large program drop out here, before the distance's table is built.
    const std::size_t other = base::utf8::char_count(candidate);
    if ((other > length_ ? other - length_ : length_ - other) > limit_ ||
        bag_bound(name_, candidate) > limit_) {
        return;
    }
    const std::size_t distance = units::edit_distance(name_, candidate);
    if (distance <= limit_ &&
        (!best_ || std::pair{distance, candidate} <
                       std::pair{best_->first, std::string_view(best_->second)})) {
        best_ = {distance, std::string(candidate)};
    }
}

std::string Nearest::hint() const {
    return best_ ? "; did you mean `" + best_->second + "`?" : "";
}

std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates) {
    Nearest nearest(name);
    for (const std::string_view candidate : candidates) {
        nearest.consider(candidate);
    }
    return nearest.hint();
}

} // namespace quorvane_dsl::diag
