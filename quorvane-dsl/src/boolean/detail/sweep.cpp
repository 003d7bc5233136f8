#include "boolean/detail/sweep.hpp"

#include <algorithm>
#include <atomic>

#include "boolean/detail/par.hpp"

namespace quorvane_dsl::boolean::detail {

namespace {

template <Rule R> bool inside(Winding w) {
    if constexpr (R == Rule::Union) {
        return w.wa > 0 || w.wb > 0;
    } else if constexpr (R == Rule::Intersection) {
        return w.wa > 0 && w.wb > 0;
    } else if constexpr (R == Rule::Difference) {
        return w.wa > 0 && !(w.wb > 0);
    } else if constexpr (R == Rule::Xor) {
        return (w.wa > 0) != (w.wb > 0);
    } else if constexpr (R == Rule::NonZero) {
        return w.wa != 0;
    } else {
        return w.wa > 0;
    }
}

Entry entry_of(std::span<const Point> points, const SnapSeg& s, Winding w) {
    const Point& p = points[s.from];
    const Point& q = points[s.to];
    return {p.x, p.y, q.x, q.y, w.wa, w.wb};
}

// Orders the outgoing segments of p bottom to top, clockwise-most first, vertical last.
void sort_by_direction(std::vector<std::uint32_t>& out, std::span<const Point> points,
                       std::span<const SnapSeg> segs, Point p) {
    auto before = [&](std::uint32_t a, std::uint32_t b) {
        const Point& qa = points[segs[a].to];
        const Point& qb = points[segs[b].to];
        i128 c = i128(qa.x - p.x) * (qb.y - p.y) - i128(qa.y - p.y) * (qb.x - p.x);
        return c > 0;
    };
    // A vertex has a handful of outgoing segments: a stable insertion sort puts them in the same
    // order as std::stable_sort without the scratch buffer that one allocates per call.
    if (out.size() > 16) {
        std::stable_sort(out.begin(), out.end(), before);
        return;
    }
    for (std::size_t i = 1; i < out.size(); ++i) {
        std::uint32_t s = out[i];
        std::size_t j = i;
        for (; j > 0 && before(s, out[j - 1]); --j) {
            out[j] = out[j - 1];
        }
        out[j] = s;
    }
}

inline constexpr std::size_t prefetch_distance = 16;

template <Rule R> struct Sweeper {
    std::span<const Point> points;
    std::span<const SnapSeg> segs;
    std::size_t cursor = 0;
    std::vector<Pair> output;
    std::vector<std::uint32_t> outgoing;
    std::vector<Entry> fresh;
    Active active;

    void gather(std::uint32_t v, Point p) {
        outgoing.clear();
        while (cursor < segs.size() && segs[cursor].from == v) {
            // The far ends of segments lie anywhere in the point list: fetch those of a few
            // events ahead, so that they are in the cache when their events need them.
            if (cursor + prefetch_distance < segs.size()) {
                __builtin_prefetch(&points[segs[cursor + prefetch_distance].to]);
            }
            outgoing.push_back(static_cast<std::uint32_t>(cursor++));
        }
        sort_by_direction(outgoing, points, segs, p);
    }

    // Emits the boundary pairs of the outgoing segments; returns the winding above the last.
    template <class Add> Winding classify_outgoing(Winding w, Add&& add) {
        for (std::uint32_t i : outgoing) {
            const SnapSeg& s = segs[i];
            Winding above{w.wa + s.wa, w.wb + s.wb};
            bool was = inside<R>(w), is = inside<R>(above);
            if (was != is) {
                output.push_back(is ? Pair{s.from, s.to} : Pair{s.to, s.from});
            }
            add(s, above);
            w = above;
        }
        return w;
    }

    // Returns a guess at the place of the next event up at the same x: just above the entries
    // this one put in, but below its vertical one, which runs up to that event.
    Place per_event(std::uint32_t v, const Place* guess) {
        Point p = points[v];
        gather(v, p);
        Place place = guess ? active.find_from(*guess, p.x, p.y) : active.find(p.x, p.y);
        fresh.clear();
        classify_outgoing(place.below, [&](const SnapSeg& s, Winding above) {
            fresh.push_back(entry_of(points, s, above));
        });
        active.replace(place.block, place.index, p.x, p.y, fresh);
        bool vertical = !fresh.empty() && fresh.back().x2 == p.x;
        return {place.block, place.index + fresh.size() - (vertical ? 1 : 0), {}};
    }

    // Rebuilds the active list for a whole run of events at one x in one ordered walk. The events
    // come bottom to top, as the list is ordered: entries below an event are kept, entries
    // through it end there, and its outgoing segments follow with the winding of the entry
    // below. A vertical outgoing segment ends at a later event of the same run, which reads only
    // the old list and could not remove it, so it is never added.
    void merge_pass(std::span<const std::uint32_t> run, std::int64_t x) {
        auto [old, list] = active.take();
        list.clear();
        list.reserve(old.size() + run.size());
        std::size_t j = 0;
        for (std::uint32_t v : run) {
            Point p = points[v];
            while (j < old.size()) {
                int s = side(old[j], p.x, p.y);
                if (s < 0) {
                    break;
                }
                if (s > 0) {
                    list.push_back(old[j]);
                }
                ++j;
            }
            gather(v, p);
            Winding w = list.empty() ? Winding{} : Winding{list.back().wa, list.back().wb};
            classify_outgoing(w, [&](const SnapSeg& s, Winding above) {
                if (points[s.to].x != x) {
                    list.push_back(entry_of(points, s, above));
                }
            });
        }
        list.insert(list.end(), old.begin() + static_cast<std::ptrdiff_t>(j), old.end());
        active.put(std::move(list), std::move(old));
    }

    void run(std::span<const std::uint32_t> events) {
        std::size_t i = 0;
        while (i < events.size()) {
            std::int64_t x = points[events[i]].x;
            // Runs are short and the events' points lie in order in memory: a scan reads the
            // next few points where a binary search over all events would miss the cache.
            std::size_t r = 1;
            while (i + r < events.size() && points[events[i + r]].x == x) {
                ++r;
            }
            auto run_events = events.subspan(i, r);
            // A short run against a long list: one search per event touches little of it. A run
            // that is long for the list: one merge over all of it beats a search per event.
            if (active.count() > 32 * r) {
                Place guess = per_event(run_events[0], nullptr);
                for (std::uint32_t v : run_events.subspan(1)) {
                    guess = per_event(v, &guess);
                }
            } else {
                merge_pass(run_events, x);
            }
            i += r;
        }
    }
};

template <Rule R>
std::vector<Pair> sweep_with(std::span<const Point> points, std::span<const SnapSeg> segs,
                             std::span<const std::uint32_t> events, std::size_t first,
                             std::vector<Entry> initial) {
    Sweeper<R> s{points, segs, first, {}, {}, {}, {}};
    s.active.put(std::move(initial), {});
    s.run(events);
    return std::move(s.output);
}

// a lies below b at x, both crossing x with x1 < x <= x2.
bool below_at(const Entry& a, const Entry& b, std::int64_t x) {
    i128 adx = a.x2 - a.x1, ady = a.y2 - a.y1, bdx = b.x2 - b.x1, bdy = b.y2 - b.y1;
    i128 lhs = (i128(a.y1 - b.y1) * adx + ady * (x - a.x1)) * bdx;
    i128 rhs = i128(x - b.x1) * adx * bdy;
    if (lhs != rhs) {
        return lhs < rhs;
    }
    return adx * (b.y1 - a.y2) - ady * (b.x1 - a.x2) > 0;
}

std::vector<std::uint32_t> used_points(std::span<const Point> points,
                                       std::span<const SnapSeg> segs) {
    std::size_t n = segs.size();
    std::vector<std::uint8_t> flags(points.size(), 0);
    bool parallel = par::goes_parallel(n);
    if (parallel) {
        par::for_chunks(n, par::chunk_count(n), [&](std::size_t, std::size_t b, std::size_t e) {
            for (std::size_t i = b; i < e; ++i) {
                std::atomic_ref<std::uint8_t>(flags[segs[i].from])
                    .store(1, std::memory_order_relaxed);
                std::atomic_ref<std::uint8_t>(flags[segs[i].to])
                    .store(1, std::memory_order_relaxed);
            }
        });
    } else {
        for (const SnapSeg& s : segs) {
            flags[s.from] = flags[s.to] = 1;
        }
    }
    auto list = [&](std::size_t b, std::size_t e) {
        std::vector<std::uint32_t> out;
        for (std::size_t v = b; v < e; ++v) {
            if (flags[v]) {
                out.push_back(static_cast<std::uint32_t>(v));
            }
        }
        return out;
    };
    if (parallel) {
        return par::flat_map(points.size(), list);
    }
    return list(0, points.size());
}

struct Slab {
    std::size_t start = 0;
    std::size_t end = 0;
};

std::vector<Slab> make_slabs(std::span<const Point> points, const std::vector<std::uint32_t>& used,
                             std::size_t segment_count) {
    std::size_t m = used.size();
    std::size_t count = 1;
    if (segment_count >= par::threshold && par::threads() > 1) {
        count = par::chunk_count(m);
    }
    std::vector<Slab> slabs(count);
    for (std::size_t k = 0; k < count; ++k) {
        slabs[k] = {par::chunk_start(k, m, count), par::chunk_start(k + 1, m, count)};
    }
    for (std::size_t k = 1; k < count; ++k) {
        std::size_t s = std::max(slabs[k - 1].start, slabs[k].start);
        while (s > 0 && s < m && points[used[s]].x == points[used[s - 1]].x) {
            ++s;
        }
        slabs[k - 1].end = s;
        slabs[k].start = s;
    }
    std::erase_if(slabs, [](const Slab& s) { return s.start >= s.end; });
    return slabs;
}

template <Rule R>
std::vector<Pair> classify_with(std::span<const Point> points, std::span<const SnapSeg> segs) {
    std::vector<std::uint32_t> used = used_points(points, segs);
    std::vector<Slab> slabs = make_slabs(points, used, segs.size());
    if (slabs.size() < 2) {
        return sweep_with<R>(points, segs, used, 0, {});
    }
    std::vector<std::int64_t> cuts;
    std::vector<std::uint32_t> first_ids;
    for (const Slab& s : slabs) {
        cuts.push_back(points[used[s.start]].x);
        first_ids.push_back(used[s.start]);
    }
    // Ids follow the points' (x, y) order and a slab starts at the first used point of its x,
    // so an end point lies at or right of a cut exactly when its id is at least the slab's
    // first id: the test reads no points, whose reads at the far ends would miss the cache.
    // The segments come by ascending start, so the first cut right of the start only advances.
    std::vector<std::uint64_t> pairs = par::flat_map(segs.size(), [&](std::size_t b,
                                                                      std::size_t e) {
        std::vector<std::uint64_t> out;
        std::size_t right = 1;
        for (std::size_t i = b; i < e; ++i) {
            while (right < first_ids.size() && first_ids[right] <= segs[i].from) {
                ++right;
            }
            for (std::size_t k = right; k < first_ids.size() && first_ids[k] <= segs[i].to; ++k) {
                out.push_back((std::uint64_t{k} << 32) | i);
            }
        }
        return out;
    });
    std::sort(pairs.begin(), pairs.end());
    std::vector<std::vector<Pair>> outputs(slabs.size());
    base::pool::for_each(slabs.size(), [&](std::size_t k) {
        std::int64_t x = cuts[k];
        auto lo = std::lower_bound(pairs.begin(), pairs.end(), std::uint64_t{k} << 32);
        auto hi = std::lower_bound(pairs.begin(), pairs.end(), std::uint64_t{k + 1} << 32);
        // Entries carry the winding changes until sorted, then the windings above them.
        std::vector<Entry> initial;
        initial.reserve(static_cast<std::size_t>(hi - lo));
        for (auto it = lo; it != hi; ++it) {
            const SnapSeg& s = segs[static_cast<std::uint32_t>(*it)];
            initial.push_back(entry_of(points, s, {s.wa, s.wb}));
        }
        std::sort(initial.begin(), initial.end(),
                  [x](const Entry& a, const Entry& b) { return below_at(a, b, x); });
        Winding w;
        for (Entry& e : initial) {
            w = {w.wa + e.wa, w.wb + e.wb};
            e.wa = w.wa;
            e.wb = w.wb;
        }
        std::uint32_t first_id = used[slabs[k].start];
        auto first = static_cast<std::size_t>(
            std::partition_point(segs.begin(), segs.end(),
                                 [&](const SnapSeg& s) { return s.from < first_id; }) -
            segs.begin());
        auto events = std::span<const std::uint32_t>(used).subspan(slabs[k].start,
                                                                   slabs[k].end - slabs[k].start);
        outputs[k] = sweep_with<R>(points, segs, events, first, std::move(initial));
    });
    return par::concat(std::move(outputs));
}

} // namespace

std::vector<Pair> classify(std::span<const Point> points, std::span<const SnapSeg> segments,
                           Rule rule) {
    switch (rule) {
    case Rule::Union:
        return classify_with<Rule::Union>(points, segments);
    case Rule::Intersection:
        return classify_with<Rule::Intersection>(points, segments);
    case Rule::Difference:
        return classify_with<Rule::Difference>(points, segments);
    case Rule::Xor:
        return classify_with<Rule::Xor>(points, segments);
    case Rule::NonZero:
        return classify_with<Rule::NonZero>(points, segments);
    case Rule::Positive:
        return classify_with<Rule::Positive>(points, segments);
    }
    return {};
}

std::vector<Pair> sweep(std::span<const Point> points, std::span<const SnapSeg> segments,
                        std::span<const std::uint32_t> events, std::size_t first,
                        std::vector<Entry> initial, Rule rule) {
    switch (rule) {
    case Rule::Union:
        return sweep_with<Rule::Union>(points, segments, events, first, std::move(initial));
    case Rule::Intersection:
        return sweep_with<Rule::Intersection>(points, segments, events, first, std::move(initial));
    case Rule::Difference:
        return sweep_with<Rule::Difference>(points, segments, events, first, std::move(initial));
    case Rule::Xor:
        return sweep_with<Rule::Xor>(points, segments, events, first, std::move(initial));
    case Rule::NonZero:
        return sweep_with<Rule::NonZero>(points, segments, events, first, std::move(initial));
    case Rule::Positive:
        return sweep_with<Rule::Positive>(points, segments, events, first, std::move(initial));
    }
    return {};
}

} // namespace quorvane_dsl::boolean::detail
