// A record's arguments as named fields, for the text and JSON dumps alike.
#ifndef KVGTOOL_DESCRIBE_H
#define KVGTOOL_DESCRIBE_H

#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "kvgreader.hpp"

namespace kvgtool {

// A list too long to hold as text: it hands its items to `emit` one at a time.
using WordEmitter = std::function<void(std::string_view)>;
using WordList = std::function<void(const WordEmitter &emit)>;

class FieldSink {
public:
    virtual ~FieldSink() = default;
    virtual void number(std::string_view name, double value) = 0;
    virtual void angle(std::string_view name, double degrees) = 0;
    virtual void flag(std::string_view name, bool value) = 0;
    virtual void text(std::string_view name, std::string_view value) = 0;  // free text
    virtual void word(std::string_view name, std::string_view value) = 0;  // a keyword
    // Positions and extents in file coordinates; a sink may add their page coordinates.
    virtual void point(std::string_view name, kvgr::Point position) = 0;
    virtual void extent(std::string_view name, kvgr::Point extent) = 0;
    virtual void points(std::string_view name, std::span<const kvgr::Point> positions) = 0;
    virtual void numbers(std::string_view name, std::span<const double> values) = 0;
    virtual void words(std::string_view name, const WordList &words) = 0;
};

// "rgb:FF8000", "index8:3", "gray12:ABC", ...: the colour size and the value as written.
std::string colorWord(const kvgr::Color &color);

// Writes the arguments of `record` into `sink`; the reader gives the pixels of an image.
void describe(const kvgr::Record &record, const kvgr::Reader &reader, FieldSink &sink);

}  // namespace kvgtool

#endif  // KVGTOOL_DESCRIBE_H
