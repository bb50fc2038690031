#include "topology.h"

#include <algorithm>
#include <ranges>
#include <span>
#include <unordered_map>
#include <unordered_set>

namespace kvgimport {

namespace {

uint64_t key(GridPos p) { return uint64_t(uint32_t(p.x)) << 32 | uint32_t(p.y); }

// The positions of a ring without its closing repeat.
std::span<const GridPos> openRing(const ChainInput &c) {
    return std::span(c.points).first(c.points.size() - 1);
}

// Finds the junctions: the points visited twice with different neighbours, and lines' ends.
class JunctionFinder {
public:
    explicit JunctionFinder(size_t points) {
        neighbours_.reserve(points);
        junctions_.reserve(points / 8);
    }

    void visit(const ChainInput &c) {
        if (!c.ring) {
            junctions_.insert(key(c.points.front()));
            junctions_.insert(key(c.points.back()));
            for (size_t i = 1; i + 1 < c.points.size(); ++i)
                visit(c.points[i], c.points[i - 1], c.points[i + 1]);
            return;
        }
        const std::span<const GridPos> ring = openRing(c);
        const size_t n = ring.size();
        for (size_t i = 0; i < n; ++i) visit(ring[i], ring[(i + n - 1) % n], ring[(i + 1) % n]);
    }
    void add(GridPos p) { junctions_.insert(key(p)); }
    bool is(GridPos p) const { return junctions_.contains(key(p)); }

private:
    struct Neighbours {
        GridPos previous, next;
    };
    void visit(GridPos p, GridPos previous, GridPos next) {
        const auto [found, added] = neighbours_.try_emplace(key(p), Neighbours{previous, next});
        if (added) return;
        const Neighbours &seen = found->second;
        const bool same = (seen.previous == previous && seen.next == next) ||
                          (seen.previous == next && seen.next == previous);
        if (!same) junctions_.insert(key(p));
    }

    std::unordered_map<uint64_t, Neighbours> neighbours_;
    std::unordered_set<uint64_t> junctions_;
};

// Keeps every distinct arc once and answers the reference of an arc met again.
class ArcStore {
public:
    explicit ArcStore(Topology &topology) : topology_(topology) {}

    // An arc between junctions.
    ArcRef open(Chain arc) {
        const uint64_t ends = endsKey(arc.front(), arc.back());
        const auto [first, last] = byEnds_.equal_range(ends);
        for (auto it = first; it != last; ++it) {
            const Chain &known = topology_.arcs[it->second];
            if (known == arc) return use(it->second, true);
            if (std::equal(known.begin(), known.end(), arc.rbegin(), arc.rend())) return use(it->second, false);
        }
        return add(std::move(arc), ends);
    }

    // A ring without junctions: compared whatever position it starts at and either way round.
    ArcRef closed(std::span<const GridPos> ring) {
        Chain forwards = rotated(ring.begin(), ring.end());
        Chain backwards = rotated(ring.rbegin(), ring.rend());
        const uint64_t ends = endsKey(forwards.front(), forwards.front());
        const auto [first, last] = byEnds_.equal_range(ends);
        for (auto it = first; it != last; ++it) {
            const Chain &known = topology_.arcs[it->second];
            if (known == forwards) return use(it->second, true);
            if (known == backwards) return use(it->second, false);
        }
        return add(std::move(forwards), ends);
    }

private:
    static uint64_t endsKey(GridPos a, GridPos b) {
        const uint64_t ka = key(a), kb = key(b);  // the same whichever end comes first
        return std::min(ka, kb) * 0x9E3779B97F4A7C15ULL ^ std::max(ka, kb);
    }
    // The ring's positions from its least one on, closed again.
    template <typename It>
    static Chain rotated(It begin, It end) {
        const It least = std::min_element(begin, end);
        Chain result(least, end);
        result.insert(result.end(), begin, least);
        result.push_back(result.front());
        return result;
    }
    ArcRef use(size_t index, bool forwards) {
        ++topology_.uses[index];
        const ArcRef ref = static_cast<ArcRef>(index + 1);
        return forwards ? ref : -ref;
    }
    ArcRef add(Chain arc, uint64_t ends) {
        const size_t index = topology_.arcs.size();
        topology_.arcs.push_back(std::move(arc));
        topology_.uses.push_back(0);
        byEnds_.emplace(ends, index);
        return use(index, true);
    }

    Topology &topology_;
    std::unordered_multimap<uint64_t, size_t> byEnds_;
};

// The chain's positions from `from` to `to` (indexes into a ring taken round and round).
Chain piece(std::span<const GridPos> positions, size_t from, size_t to) {
    Chain result;
    for (size_t i = from; i <= to; ++i) result.push_back(positions[i % positions.size()]);
    return result;
}

std::vector<ArcRef> cut(const ChainInput &c, const JunctionFinder &junctions, ArcStore &store) {
    std::vector<ArcRef> refs;
    if (!c.ring) {
        size_t start = 0;
        for (size_t i = 1; i < c.points.size(); ++i) {
            if (i + 1 < c.points.size() && !junctions.is(c.points[i])) continue;
            refs.push_back(store.open(piece(c.points, start, i)));
            start = i;
        }
        return refs;
    }
    const std::span<const GridPos> ring = openRing(c);
    const auto first = std::ranges::find_if(ring, [&](GridPos p) { return junctions.is(p); });
    if (first == ring.end()) return {store.closed(ring)};
    const size_t start = static_cast<size_t>(first - ring.begin());
    size_t from = start;
    for (size_t i = start + 1; i <= start + ring.size(); ++i) {
        if (i < start + ring.size() && !junctions.is(ring[i % ring.size()])) continue;
        refs.push_back(store.open(piece(ring, from, i)));
        from = i;
    }
    return refs;
}

}  // namespace

Topology buildTopology(const std::vector<ChainInput> &chains, const std::vector<GridPos> &junctions) {
    size_t points = 0;
    for (const ChainInput &c : chains) points += c.points.size();
    JunctionFinder finder(points);
    for (const ChainInput &c : chains) finder.visit(c);
    for (GridPos p : junctions) finder.add(p);

    Topology topology;
    ArcStore store(topology);
    topology.chains.reserve(chains.size());
    for (const ChainInput &c : chains) topology.chains.push_back(cut(c, finder, store));
    return topology;
}

}  // namespace kvgimport
