// kvgsimplify: simplification of a shared topology's arcs that keeps the topology.
//
// Every interior vertex of every arc gets an importance once (rankVertices): the largest
// tolerance at which it is still kept. A level of detail is then only a threshold: a vertex is
// kept when its importance reaches it. Arc ends (junctions, and the start of a closed arc) are
// always kept, so an arc shared by two rings is simplified once and the neighbours never part.
// protectRings keeps every ring a ring with area at any threshold, and repairCrossings puts back
// the vertices that a threshold's segments need so that no two of them cross. All of it is a
// pure function of the arcs and the thresholds asked for, so the same input gives the same
// vertices whatever runs it.
#ifndef KVGSIMPLIFY_SIMPLIFY_H
#define KVGSIMPLIFY_SIMPLIFY_H

#include <cstddef>
#include <limits>
#include <vector>

#include "topology.h"

namespace kvgsimplify {

using kvgimport::ArcRef;
using kvgimport::Chain;
using kvgimport::GridPos;

enum class Method {
    visvalingam,     // weighted effective area, as the usual web tools default to
    douglasPeucker,  // distance from the chord
};

// The importance of a vertex that every level of detail keeps.
constexpr double ALWAYS = std::numeric_limits<double>::infinity();

// Per arc, per vertex: the largest threshold that keeps the vertex. In grid steps: a distance
// for Douglas-Peucker; for Visvalingam the side of the square whose area is the vertex's
// weighted effective area.
using Importance = std::vector<std::vector<double>>;

Importance rankVertices(const std::vector<Chain> &arcs, Method method);

// A ring as the arcs it walks (arc i forwards is i + 1, backwards -(i + 1)).
using RingArcs = std::vector<ArcRef>;

// Makes the vertices that every ring needs to keep an area (at least three positions off one
// line) important at every threshold. Returns how many vertices it raised.
size_t protectRings(const std::vector<Chain> &arcs, const std::vector<RingArcs> &rings,
                    Importance &importance);

// Which rings may go: those marked small whose arcs only rings that go too use (never a `fixed`
// arc: one a path uses), so that dropping them opens no gap beside a neighbour. An island in
// two layers goes from both; a small enclave goes with the hole it fills.
std::vector<bool> droppableRings(const std::vector<RingArcs> &rings, std::vector<bool> small,
                                 const std::vector<bool> &fixed);

// The threshold that keeps `share` (0 to 1) of the vertices that may go.
double thresholdForShare(const Importance &importance, double share);

struct Repair {
    size_t restored = 0;   // vertices put back
    size_t unmended = 0;   // crossings of segments that were already in the input
};

// Raises the importance of the fewest vertices (the most important first) needed so that no two
// segments of the arcs at `threshold` cross, touch or overlap where the input's did not, and no
// segment passes over a part of the map (an island, a lake) that its arc went round. Called
// for several thresholds, the coarsest first, it keeps every one of them sound.
Repair repairCrossings(const std::vector<Chain> &arcs, Importance &importance, double threshold);

// The arcs with the vertices that `threshold` keeps.
std::vector<Chain> simplified(const std::vector<Chain> &arcs, const Importance &importance,
                              double threshold);

// Twice the signed area of a ring given as arcs (positive: counterclockwise), at a threshold.
double doubleArea(const std::vector<Chain> &arcs, const RingArcs &ring,
                  const Importance *importance = nullptr, double threshold = 0);

}  // namespace kvgsimplify

#endif  // KVGSIMPLIFY_SIMPLIFY_H
