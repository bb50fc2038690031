// Fill colours of a map's features: neighbours apart, or from a field (a categorical palette
// for texts, a sequential ramp in quantile classes for numbers, with the legend that explains
// it).
#ifndef KVGIMPORT_STYLE_H
#define KVGIMPORT_STYLE_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "model.h"

namespace kvgimport {

using Colour = uint32_t;  // 0xRRGGBB

struct Legend {
    std::string title;
    std::vector<std::pair<Colour, std::string>> entries;
};

struct Fills {
    std::vector<Colour> colours;  // one per feature
    size_t distinct = 0;          // colours used
    Legend legend;                // empty for neighbours' colours
    std::string note;             // what the user should know of the colours, if anything
};

// Different colours for neighbours (`neighbours` as for colourGraph).
Fills neighbourFills(const std::vector<std::vector<uint32_t>> &neighbours);

// Colours from the values of one field, one per feature; no value takes a neutral grey.
Fills fieldFills(const std::vector<Value> &values, const Field &field);

}  // namespace kvgimport

#endif  // KVGIMPORT_STYLE_H
