// A record's arguments as named fields, for the text and JSON dumps alike.
#ifndef KVGTOOL_DESCRIBE_H
#define KVGTOOL_DESCRIBE_H

#include <span>
#include <string>
#include <string_view>

#include "kvgreader.h"

namespace kvgtool {

// A position or extent in file coordinates, with its world coordinates (millimetres).
struct Located {
    kvgr::Point file;
    kvgr::Point world;
};

class FieldSink {
public:
    virtual ~FieldSink() = default;
    virtual void number(std::string_view name, double value) = 0;
    virtual void angle(std::string_view name, double degrees) = 0;
    virtual void flag(std::string_view name, bool value) = 0;
    virtual void text(std::string_view name, std::string_view value) = 0;  // free text
    virtual void word(std::string_view name, std::string_view value) = 0;  // a keyword
    virtual void point(std::string_view name, const Located &point) = 0;
    virtual void points(std::string_view name, std::span<const Located> points) = 0;
    virtual void numbers(std::string_view name, std::span<const double> values) = 0;
    virtual void words(std::string_view name, std::span<const std::string> values) = 0;
};

// "rgb:FF8000", "index8:3", "gray12:ABC", ...: the colour size and the value as written.
std::string colorWord(const kvgr::Color &color);

// Writes the arguments of `record` into `sink`, positions with their world coordinates.
void describe(const kvgr::Record &record, const kvgr::Header &header, FieldSink &sink);

}  // namespace kvgtool

#endif  // KVGTOOL_DESCRIBE_H
