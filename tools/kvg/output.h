// Writing a command's result file.
#ifndef KVGTOOL_OUTPUT_H
#define KVGTOOL_OUTPUT_H

#include <ostream>
#include <string>
#include <string_view>

#include "command.h"

namespace kvgtool {

// Writes `content` to `path` ("-": standard output, `out`); on failure writes
// "kvg NAME: cannot write PATH" to `err` and returns false.
bool writeOutput(const Command &command, const std::string &path, std::string_view content,
                 std::ostream &out, std::ostream &err);

// `path` with its extension (after the last dot of the file name) replaced by `extension`.
std::string replaceExtension(const std::string &path, const std::string &extension);

}  // namespace kvgtool

#endif  // KVGTOOL_OUTPUT_H
