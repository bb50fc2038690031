// Shared topology from quantized rings and lines, as TopoJSON's server side builds it: a
// junction wherever chains meet or part (a point whose neighbours differ between two visits,
// and every line's ends), every chain cut at its junctions into arcs, and every distinct arc
// kept once, whichever direction it is walked in. A ring without junctions is one closed arc,
// the same arc whatever position it starts at.
#ifndef KVGIMPORT_TOPOLOGY_H
#define KVGIMPORT_TOPOLOGY_H

#include <cstdint>
#include <vector>

namespace kvgimport {

struct GridPos {
    int32_t x, y;
    friend bool operator==(const GridPos &, const GridPos &) = default;
    friend auto operator<=>(const GridPos &, const GridPos &) = default;
};

using Chain = std::vector<GridPos>;  // no position repeats the one before it

struct ChainInput {
    Chain points;  // a ring ends where it starts; at least 4 positions (a line at least 2)
    bool ring;
};

// An arc in a chain: arc i walked forwards is i + 1, backwards -(i + 1).
using ArcRef = int32_t;

struct Topology {
    std::vector<Chain> arcs;
    std::vector<std::vector<ArcRef>> chains;  // per input chain, its arcs in order
    std::vector<uint32_t> uses;               // per arc, how many times the chains walk it
};

// `junctions` are cut points besides those found (a source's own arc ends).
Topology buildTopology(const std::vector<ChainInput> &chains, const std::vector<GridPos> &junctions);

}  // namespace kvgimport

#endif  // KVGIMPORT_TOPOLOGY_H
