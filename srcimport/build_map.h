// The first half of an import: the source read, made planar, projected, quantized and built into
// a shared topology, styled, and not yet written. The tiler starts from here.
#ifndef KVGIMPORT_BUILD_MAP_H
#define KVGIMPORT_BUILD_MAP_H

#include <string>

#include "kvgimport.h"
#include "map_writer.h"

namespace kvgimport {

// Throws InputError as importMap does; fills in the summary's features, report, notes and labels.
Map buildMap(const std::string &input, const ImportOptions &options, const ImportProgress &progress,
             ImportSummary &summary);

}  // namespace kvgimport

#endif  // KVGIMPORT_BUILD_MAP_H
