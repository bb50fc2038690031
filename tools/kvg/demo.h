// The demonstration drawing of `kvg demo`: a small map that uses every family of the writer
// interface.
#ifndef KVGTOOL_DEMO_H
#define KVGTOOL_DEMO_H

#include <string>

namespace kvgtool {

// Writes the drawing to `path` (gzip-compressed); throws kvg::Error on failure.
void writeDemo(const std::string &path);

}  // namespace kvgtool

#endif  // KVGTOOL_DEMO_H
