// Helpers of the importer's tests: sources in other formats made through OGR.
#ifndef KVG_IMPORT_SUPPORT_H
#define KVG_IMPORT_SUPPORT_H

#include <string>
#include <vector>

namespace kvgtest {

// The source converted by OGR into another format, as `ogr2ogr ARGS TO FROM` would.
void translate(const std::string &from, const std::string &to, std::vector<std::string> args);

}  // namespace kvgtest

#endif  // KVG_IMPORT_SUPPORT_H
