// The first half of an import: the source read, made planar, projected, quantized and built into
// a shared topology, styled, and not yet written. The tiler starts from here.
#ifndef KVGIMPORT_BUILD_MAP_H
#define KVGIMPORT_BUILD_MAP_H

#include <string>

#include "kvgimport.h"
#include "map_writer.h"

namespace kvgimport {

// Throws InputError as importMap does; `features` receives the number of features read.
Map buildMap(const std::string &input, const ImportOptions &options, const ImportProgress &progress,
             size_t &features);

}  // namespace kvgimport

#endif  // KVGIMPORT_BUILD_MAP_H
