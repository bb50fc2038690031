// What a file draws, independent of the sizes its points are encoded in: for comparing a file
// written around a refused call with the file written without it.
#ifndef KVG_FILE_DRAWINGS_H
#define KVG_FILE_DRAWINGS_H

#include <string>
#include <vector>

#include "test_support.h"

namespace kvgtest {

// Each record of `file` but the size records, as its name and fields, with positions in file
// coordinates. The file must decode without error (checked with EXPECT).
std::vector<std::string> drawings(const Bytes &file);

}  // namespace kvgtest

#endif
