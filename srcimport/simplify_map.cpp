#include "simplify_map.h"

#include <cmath>
#include <cstdlib>

namespace kvgimport {

namespace {

template <typename SomeMap, typename Visit>
void forEachRingAndPath(SomeMap &map, Visit visit) {
    for (auto &layer : map.layers)
        for (auto &f : layer.features) {
            for (auto &rings : f.polygons)
                for (auto &ring : rings) visit(ring);
            for (auto &path : f.paths) visit(path);
        }
}

}  // namespace

std::vector<kvgsimplify::RingArcs> ringsOf(const Map &map) {
    std::vector<kvgsimplify::RingArcs> rings;
    for (const MapLayer &layer : map.layers)
        for (const MapFeature &f : layer.features)
            for (const auto &polygon : f.polygons) rings.insert(rings.end(), polygon.begin(), polygon.end());
    return rings;
}

std::vector<uint32_t> arcUses(const Map &map) {
    std::vector<uint32_t> uses(map.topology.arcs.size(), 0);
    forEachRingAndPath(map, [&](const RingArcs &arcs) {
        for (const ArcRef ref : arcs) ++uses[size_t(std::abs(ref)) - 1];
    });
    return uses;
}

std::vector<bool> pathArcs(const Map &map) {
    std::vector<bool> used(map.topology.arcs.size(), false);
    for (const MapLayer &layer : map.layers)
        for (const MapFeature &f : layer.features)
            for (const RingArcs &path : f.paths)
                for (const ArcRef ref : path) used[size_t(std::abs(ref)) - 1] = true;
    return used;
}

size_t dropSmallRings(Map &map, double doubleArea) {
    const std::vector<kvgsimplify::RingArcs> rings = ringsOf(map);
    std::vector<bool> small;
    for (const kvgsimplify::RingArcs &ring : rings)
        small.push_back(std::fabs(kvgsimplify::doubleArea(map.topology.arcs, ring)) < doubleArea);
    const std::vector<bool> drop = kvgsimplify::droppableRings(rings, std::move(small), pathArcs(map));
    // Rings in the order ringsOf gives them; a polygon whose outer ring goes takes its holes.
    size_t index = 0, dropped = 0;
    for (MapLayer &layer : map.layers)
        for (MapFeature &f : layer.features) {
            std::vector<std::vector<RingArcs>> polygons;
            for (std::vector<RingArcs> &polygon : f.polygons) {
                std::vector<RingArcs> kept;
                for (size_t r = 0; r < polygon.size(); ++r, ++index)
                    if (!drop[index] && (r == 0 || !kept.empty())) kept.push_back(std::move(polygon[r]));
                dropped += polygon.size() - kept.size();
                if (!kept.empty()) polygons.push_back(std::move(kept));
            }
            f.polygons = std::move(polygons);
        }
    return dropped;
}

void compactArcs(Map &map) {
    const std::vector<uint32_t> uses = arcUses(map);
    std::vector<ArcRef> renumbered(uses.size(), 0);
    Topology &t = map.topology;
    size_t kept = 0;
    for (size_t a = 0; a < uses.size(); ++a) {
        if (uses[a] == 0) continue;
        renumbered[a] = ArcRef(kept + 1);
        if (kept != a) t.arcs[kept] = std::move(t.arcs[a]);
        t.uses[kept] = uses[a];
        ++kept;
    }
    t.arcs.resize(kept);
    t.uses.resize(kept);
    forEachRingAndPath(map, [&](RingArcs &arcs) {
        for (ArcRef &ref : arcs) ref = ref > 0 ? renumbered[size_t(ref) - 1] : -renumbered[size_t(-ref) - 1];
    });
}

void simplifyMap(Map &map, const SimplifyOptions &options, double step, ImportSummary &summary) {
    if (options.minArea > 0) summary.droppedRings = dropSmallRings(map, 2 * options.minArea / (step * step));
    compactArcs(map);
    std::vector<Chain> &arcs = map.topology.arcs;
    for (const Chain &arc : arcs) summary.pointsBefore += arc.size();
    if (options.keep < 0 && !(options.tolerance > 0)) return;
    kvgsimplify::Importance importance = kvgsimplify::rankVertices(arcs, options.method);
    const double threshold = options.keep >= 0 ? kvgsimplify::thresholdForShare(importance, options.keep)
                                               : options.tolerance / step;
    summary.protectedPoints = kvgsimplify::protectRings(arcs, ringsOf(map), importance);
    const kvgsimplify::Repair repair = kvgsimplify::repairCrossings(arcs, importance, threshold);
    summary.restoredPoints = repair.restored;
    summary.inputCrossings = repair.unmended;
    arcs = kvgsimplify::simplified(arcs, importance, threshold);
}

}  // namespace kvgimport
