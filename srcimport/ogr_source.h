// Reading a vector source through GDAL/OGR: the layers asked for (all when none are named),
// every feature with its fields and its geometry, flattened into polygons, paths and points.
#ifndef KVGIMPORT_OGR_SOURCE_H
#define KVGIMPORT_OGR_SOURCE_H

#include <string>
#include <vector>

#include "model.h"

namespace kvgimport {

// Registers OGR's drivers, keeps its messages off the standard error (the importer reports
// them itself) and turns GDAL's network access off; done once.
void initialiseOgr();

// Whether OGR takes `path` for a TopoJSON file.
bool isTopoJson(const std::string &path);

class SourceBudget;

// Opens `path` with the drivers of the formats documented and those named in `drivers`. Throws
// InputError when the source cannot be opened, a layer asked for is missing, a geometry is of a
// kind a map cannot hold or has a position that is not a finite number, or the source takes
// more than `budget` allows. Records that OGR reports damaged are left out and named in
// Source::damaged.
Source readOgr(const std::string &path, const std::vector<std::string> &layers,
               const std::vector<std::string> &drivers, SourceBudget &budget);

}  // namespace kvgimport

#endif  // KVGIMPORT_OGR_SOURCE_H
