// Reading a vector source through GDAL/OGR: the layers asked for (all when none are named),
// every feature with its fields and its geometry, flattened into polygons, paths and points.
#ifndef KVGIMPORT_OGR_SOURCE_H
#define KVGIMPORT_OGR_SOURCE_H

#include <string>
#include <vector>

#include "model.h"

namespace kvgimport {

// Registers OGR's drivers and keeps its messages off the standard error (the importer reports
// them itself); done once.
void initialiseOgr();

// Whether OGR takes `path` for a TopoJSON file.
bool isTopoJson(const std::string &path);

// Throws InputError when the source cannot be opened, a layer asked for is missing, or a
// geometry is of a kind a map cannot hold.
Source readOgr(const std::string &path, const std::vector<std::string> &layers);

}  // namespace kvgimport

#endif  // KVGIMPORT_OGR_SOURCE_H
