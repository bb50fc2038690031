// Whole files: their size and their bytes.
#ifndef KVG_SCENE_FILES_H
#define KVG_SCENE_FILES_H

#include <cstdint>
#include <string>
#include <vector>

namespace scene {

// Throws std::runtime_error when the file cannot be read.
uint64_t fileSize(const std::string &path);
std::vector<unsigned char> readFile(const std::string &path);

}  // namespace scene

#endif  // KVG_SCENE_FILES_H
