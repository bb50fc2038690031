// Simplification of a built map's arcs (through kvgsimplify), and the bookkeeping around it:
// the rings of a map, small rings dropped, arcs no ring or path uses any more left out.
#ifndef KVGIMPORT_SIMPLIFY_MAP_H
#define KVGIMPORT_SIMPLIFY_MAP_H

#include "kvgimport.h"
#include "map_writer.h"

namespace kvgimport {

// Every ring of every feature, outer rings and holes alike.
std::vector<kvgsimplify::RingArcs> ringsOf(const Map &map);

// How many rings and paths use each arc.
std::vector<uint32_t> arcUses(const Map &map);

// Per arc, whether a path uses it.
std::vector<bool> pathArcs(const Map &map);

// Drops the rings of less than `doubleArea` (twice the area, in square grid steps) that can go
// without opening a gap (kvgsimplify::droppableRings): a polygon whose outer ring goes, with its
// holes. Returns how many rings went. Arcs left unused stay until compactArcs.
size_t dropSmallRings(Map &map, double doubleArea);

// Leaves out the arcs that nothing uses, numbering the others again in their order.
void compactArcs(Map &map);

// Simplifies the map's arcs as `options` ask; `step` is the grid step in map units.
void simplifyMap(Map &map, const SimplifyOptions &options, double step, ImportSummary &summary);

}  // namespace kvgimport

#endif  // KVGIMPORT_SIMPLIFY_MAP_H
