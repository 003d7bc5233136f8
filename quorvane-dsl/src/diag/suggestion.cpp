#include "diag/suggestion.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <optional>
#include <utility>

#include "base/utf8.hpp"
#include "units/units.hpp"

namespace quorvane_dsl::diag {
namespace {

// The bytes of a name, to bound its edit distance to a candidate from the characters alone,
// whatever their order: an edit removes at most one surplus character from each side. Only for
// ASCII; other texts get 0.
class CharBag {
  public:
    explicit CharBag(std::string_view name) : size_(name.size()) {
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= count_.size()) {
                ascii_ = false;
                return;
            }
            ++count_[byte];
        }
    }

    std::size_t bound(std::string_view candidate) {
        if (!ascii_) {
            return 0;
        }
        std::size_t matched = 0;
        std::size_t surplus = 0; // the candidate's
        std::size_t k = 0;
        for (; k < candidate.size(); ++k) {
            const auto byte = static_cast<unsigned char>(candidate[k]);
            if (byte >= count_.size()) {
                break;
            }
            if (taken_[byte] < count_[byte]) {
                ++taken_[byte];
                ++matched;
            } else {
                ++surplus;
            }
        }
        for (std::size_t j = 0; j < k; ++j) {
            taken_[static_cast<unsigned char>(candidate[j])] = 0;
        }
        if (k < candidate.size()) {
            return 0;
        }
        return std::max(size_ - matched, surplus);
    }

  private:
    std::array<std::uint32_t, 128> count_{};
    std::array<std::uint32_t, 128> taken_{}; // of count_, by the candidate being bounded
    std::size_t size_;
    bool ascii_ = true;
};

// At least as many edits as distinct characters of one side that the other lacks.
std::size_t distinct_bound(const std::array<std::uint64_t, 2>& a,
                           const std::array<std::uint64_t, 2>& b) {
    std::size_t only_a = 0;
    std::size_t only_b = 0;
    for (std::size_t k = 0; k < a.size(); ++k) {
        only_a += static_cast<std::size_t>(std::popcount(a[k] & ~b[k]));
        only_b += static_cast<std::size_t>(std::popcount(b[k] & ~a[k]));
    }
    return std::max(only_a, only_b);
}

} // namespace

std::vector<Candidate> candidates(std::span<const std::string_view> names) {
    std::vector<Candidate> result;
    result.reserve(names.size());
    for (const std::string_view name : names) {
        Candidate candidate{.name = name, .length = base::utf8::char_count(name)};
        for (const char c : name) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte >= 128) {
                candidate.ascii = false;
                break;
            }
            candidate.bytes[byte / 64] |= std::uint64_t{1} << (byte % 64);
        }
        result.push_back(candidate);
    }
    return result;
}

Nearest::Nearest(std::string_view name)
    : name_(name), limit_(name.size() / 3), traits_(candidates(std::span(&name, 1)).front()) {
    traits_.name = {};
}

void Nearest::consider(std::span<const Candidate> offered) {
    if (name_.size() < 3) {
        return;
    }
    CharBag bag(name_);
    for (const Candidate& candidate : offered) {
        // The distance is at least the difference in length and the surplus of characters: most
        // candidates of a large program drop out here, before the distance's table is built.
        const std::size_t length = traits_.length;
        if ((candidate.length > length ? candidate.length - length : length - candidate.length) >
                limit_ ||
            (traits_.ascii && candidate.ascii &&
             distinct_bound(traits_.bytes, candidate.bytes) > limit_) ||
            bag.bound(candidate.name) > limit_) {
            continue;
        }
        const std::size_t distance = units::edit_distance(name_, candidate.name);
        if (distance <= limit_ &&
            (!best_ || std::pair{distance, candidate.name} <
                           std::pair{best_->first, std::string_view(best_->second)})) {
            best_ = {distance, std::string(candidate.name)};
        }
    }
}

std::string Nearest::hint() const {
    return best_ ? "; did you mean `" + best_->second + "`?" : "";
}

std::string suggestion(std::string_view name, const std::vector<std::string_view>& candidates) {
    Nearest nearest(name);
    nearest.consider(diag::candidates(candidates));
    return nearest.hint();
}

} // namespace quorvane_dsl::diag
