// kvg info and kvg check on a tile archive (PMTiles): told from a KVG file by its first bytes.
#ifndef KVGTOOL_ARCHIVE_H
#define KVGTOOL_ARCHIVE_H

#include <ostream>
#include <string>

#include "command.h"

namespace kvgtool {

// Whether `path` begins as a tile archive does ("PMTiles"); standard input never does.
bool isArchive(const std::string &path);

// What kvg info prints for an archive: header, sections, metadata, and per zoom the tiles and
// the sizes of their stored contents.
int describeArchive(const Command &command, const std::string &path, std::ostream &out,
                    std::ostream &err);

// What kvg check does for an archive: every directory and count checked, and every distinct
// tile content decoded by the KVG reader.
int checkArchive(const Command &command, const std::string &path, std::ostream &out,
                 std::ostream &err);

}  // namespace kvgtool

#endif  // KVGTOOL_ARCHIVE_H
