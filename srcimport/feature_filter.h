// Picking features: an attribute filter in OGR's SQL dialect (--where "pop_est > 1e7") and a
// list of names or ids (--select).
#ifndef KVGIMPORT_FEATURE_FILTER_H
#define KVGIMPORT_FEATURE_FILTER_H

#include <string>
#include <vector>

#include "model.h"

namespace kvgimport {

// Keeps the layer's features that match `where` (unless empty) and whose name is one of
// `names` (unless empty). Throws InputError for a filter OGR cannot evaluate on the layer.
void filterFeatures(Layer &layer, const std::string &where, const std::vector<std::string> &names);

}  // namespace kvgimport

#endif  // KVGIMPORT_FEATURE_FILTER_H
