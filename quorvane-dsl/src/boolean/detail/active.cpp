#include "boolean/detail/active.hpp"

#include <algorithm>

namespace quorvane_dsl::boolean::detail {

namespace {

Winding winding_of(const Entry& e) {
    return {e.wa, e.wb};
}

// Number of leading entries that pass strictly below p.
std::size_t below_count(const std::vector<Entry>& block, std::int64_t px, std::int64_t py) {
    auto it = std::partition_point(block.begin(), block.end(),
                                   [&](const Entry& e) { return side(e, px, py) > 0; });
    return static_cast<std::size_t>(it - block.begin());
}

} // namespace

void Active::put(std::vector<Entry> entries, std::vector<Entry> spare) {
    spare.clear();
    spare_ = std::move(spare);
    count_ = entries.size();
    blocks_.clear();
    if (entries.empty()) {
        return;
    }
    if (entries.size() <= block_cap) {
        blocks_.push_back(std::move(entries));
        return;
    }
    for (std::size_t i = 0; i < entries.size(); i += 64) {
        std::size_t end = std::min(entries.size(), i + 64);
        blocks_.emplace_back(entries.begin() + static_cast<std::ptrdiff_t>(i),
                             entries.begin() + static_cast<std::ptrdiff_t>(end));
    }
}

std::pair<std::vector<Entry>, std::vector<Entry>> Active::take() {
    count_ = 0;
    std::vector<Entry> all;
    if (blocks_.size() == 1) {
        all = std::move(blocks_[0]);
    } else {
        std::size_t total = 0;
        for (const auto& b : blocks_) {
            total += b.size();
        }
        all.reserve(total);
        for (const auto& b : blocks_) {
            all.insert(all.end(), b.begin(), b.end());
        }
    }
    blocks_.clear();
    return {std::move(all), std::move(spare_)};
}

Place Active::find(std::int64_t px, std::int64_t py) const {
    if (blocks_.empty()) {
        return {0, 0, {}};
    }
    auto it =
        std::partition_point(blocks_.begin(), blocks_.end(), [&](const std::vector<Entry>& b) {
            return !b.empty() && side(b.back(), px, py) > 0;
        });
    auto b = static_cast<std::size_t>(it - blocks_.begin());
    if (b == blocks_.size()) {
        return {b, 0, winding_of(blocks_.back().back())};
    }
    std::size_t k = below_count(blocks_[b], px, py);
    if (k > 0) {
        return {b, k, winding_of(blocks_[b][k - 1])};
    }
    if (b == 0) {
        return {0, 0, {}};
    }
    return {b, 0, winding_of(blocks_[b - 1].back())};
}

Place Active::find_from(const Place& guess, std::int64_t px, std::int64_t py) const {
    std::size_t b = guess.block, k = guess.index;
    if (b >= blocks_.size() || k == 0 || k >= blocks_[b].size()) {
        return find(px, py);
    }
    const std::vector<Entry>& block = blocks_[b];
    auto below = [&](std::size_t i) { return side(block[i], px, py) > 0; };
    if (!below(k - 1) || below(block.size() - 1)) {
        return find(px, py);
    }
    // Gallop up from the guess: the next event of a run lies a few entries higher.
    std::size_t lo = k, step = 1;
    while (lo + step < block.size() - 1 && below(lo + step - 1)) {
        lo += step;
        step *= 2;
    }
    std::size_t hi = std::min(lo + step, block.size() - 1);
    auto first = block.begin() + static_cast<std::ptrdiff_t>(lo);
    auto it = std::partition_point(first, block.begin() + static_cast<std::ptrdiff_t>(hi),
                                   [&](const Entry& e) { return side(e, px, py) > 0; });
    std::size_t index = static_cast<std::size_t>(it - block.begin());
    return {b, index, winding_of(block[index - 1])};
}

void Active::replace(std::size_t b, std::size_t k, std::int64_t px, std::int64_t py,
                     const std::vector<Entry>& fresh) {
    if (b < blocks_.size()) {
        auto run_length = [&] {
            const auto& block = blocks_[b];
            std::size_t r = 0;
            while (k + r < block.size() && side(block[k + r], px, py) == 0) {
                ++r;
            }
            return r;
        };
        std::size_t r = run_length();
        while (k + r == blocks_[b].size() && b + 1 < blocks_.size() &&
               side(blocks_[b + 1].front(), px, py) == 0) {
            auto& block = blocks_[b];
            block.insert(block.end(), blocks_[b + 1].begin(), blocks_[b + 1].end());
            blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b + 1));
            r = run_length();
        }
        count_ = count_ + fresh.size() - r;
        auto& block = blocks_[b];
        auto at = block.begin() + static_cast<std::ptrdiff_t>(k);
        if (fresh.size() == r) {
            std::copy(fresh.begin(), fresh.end(), at);
            return;
        }
        if (fresh.size() > r) {
            std::copy(fresh.begin(), fresh.begin() + static_cast<std::ptrdiff_t>(r), at);
            block.insert(at + static_cast<std::ptrdiff_t>(r),
                         fresh.begin() + static_cast<std::ptrdiff_t>(r), fresh.end());
        } else {
            std::copy(fresh.begin(), fresh.end(), at);
            block.erase(at + static_cast<std::ptrdiff_t>(fresh.size()),
                        at + static_cast<std::ptrdiff_t>(r));
        }
        fix(b);
        return;
    }
    if (fresh.empty()) {
        return;
    }
    if (blocks_.empty() || blocks_.back().size() >= block_cap) {
        blocks_.emplace_back();
        blocks_.back().reserve(block_cap);
    }
    blocks_.back().insert(blocks_.back().end(), fresh.begin(), fresh.end());
    count_ += fresh.size();
    fix(blocks_.size() - 1);
}

void Active::fix(std::size_t b) {
    auto& block = blocks_[b];
    if (block.empty()) {
        blocks_.erase(blocks_.begin() + static_cast<std::ptrdiff_t>(b));
        return;
    }
    if (block.size() <= block_cap) {
        return;
    }
    std::size_t keep = block.size() / 2;
    std::vector<Entry> upper(block.begin() + static_cast<std::ptrdiff_t>(keep), block.end());
    block.resize(keep);
    blocks_.insert(blocks_.begin() + static_cast<std::ptrdiff_t>(b + 1), std::move(upper));
}

} // namespace quorvane_dsl::boolean::detail
