// Reading a TopoJSON topology: its arcs decoded (the delta encoding and the transform undone),
// every leaf geometry of every object one feature with its properties, the arcs' ends kept so
// that the map keeps the topology's arcs.
#ifndef KVGIMPORT_TOPOJSON_SOURCE_H
#define KVGIMPORT_TOPOJSON_SOURCE_H

#include <string_view>

#include "model.h"

namespace kvgimport {

class SourceBudget;

// Throws InputError naming the member that is wrong ("objects.o.arcs[0][1]: ..."), or when the
// topology takes more than `budget` allows.
Source readTopoJson(std::string_view json, SourceBudget &budget);

}  // namespace kvgimport

#endif  // KVGIMPORT_TOPOJSON_SOURCE_H
