// Array merging: a run finder and the merge that turns runs and blocks of runs into arrays.
#include "eval/arrays.hpp"

#include <limits>
#include <utility>

namespace quorvane_dsl::eval {

namespace {

bool matches(const ArrayCandidate& a, const ArrayCandidate& b) {
    return a.mergeable && b.mergeable && a.instance.cell == b.instance.cell &&
           a.instance.rotation == b.instance.rotation && a.instance.mirror == b.instance.mirror;
}

// Wrapping differences: origins far apart never overflow into undefined behaviour.
ir::Point step_between(const ir::Instance& from, const ir::Instance& to) {
    const auto minus = [](std::int64_t a, std::int64_t b) {
        return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) -
                                         static_cast<std::uint64_t>(b));
    };
    return {minus(to.x, from.x), minus(to.y, from.y)};
}

} // namespace

Run find_run(const std::vector<ArrayCandidate>& c, std::size_t s, std::optional<ir::Point> expected,
             std::size_t limit) {
    if (s + 1 >= c.size() || !matches(c[s], c[s + 1])) {
        return {1, expected};
    }
    const ir::Point d = step_between(c[s].instance, c[s + 1].instance);
    if (expected && *expected != d) {
        return {1, expected};
    }
    if (limit < 3 || s + 2 >= c.size()) {
        return {2, d};
    }
    for (std::size_t j = 2;; ++j) {
        if (!matches(c[s + j - 1], c[s + j]) ||
            step_between(c[s + j - 1].instance, c[s + j].instance) != d) {
            return {j, d};
        }
        if (j + 1 >= limit || s + j + 1 >= c.size()) {
            return {j + 1, d};
        }
    }
}

std::vector<ir::Instance> merge_arrays(std::vector<ArrayCandidate> c) {
    std::vector<ir::Instance> out;
    std::size_t i = 0;
    while (i < c.size()) {
        if (!c[i].mergeable) {
            out.push_back(std::move(c[i].instance));
            ++i;
            continue;
        }
        const Run first = find_run(c, i, std::nullopt, std::numeric_limits<std::size_t>::max());
        const std::size_t n = first.count;
        const auto same_run = [&](std::size_t at) {
            if (at >= c.size() || !matches(c[i], c[at])) {
                return false;
            }
            const Run next = find_run(c, at, first.step, n);
            return next.count == n && next.step == first.step;
        };
        std::size_t rows = 1;
        ir::Point b;
        if (n >= 2 && same_run(i + n)) {
            b = step_between(c[i].instance, c[i + n].instance);
            rows = 2;
            while (same_run(i + rows * n) &&
                   step_between(c[i + (rows - 1) * n].instance, c[i + rows * n].instance) == b) {
                ++rows;
            }
        }
        ir::Instance merged = std::move(c[i].instance);
        if (rows >= 2) {
            merged.array = ir::Array{static_cast<std::uint32_t>(rows),
                                     static_cast<std::uint32_t>(n), b, *first.step};
        } else if (n >= 2) {
            merged.array =
                ir::Array{static_cast<std::uint32_t>(n), 1, *first.step, ir::Point{0, 0}};
        }
        out.push_back(std::move(merged));
        i += rows * n;
    }
    return out;
}

} // namespace quorvane_dsl::eval
