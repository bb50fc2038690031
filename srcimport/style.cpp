#include "style.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "colouring.h"

namespace kvgimport {

namespace {

// Soft tones in which black text and grey borders read well.
constexpr Colour NEIGHBOUR_PALETTE[] = {0xF6DDB8, 0xD5E8C8, 0xC9DDF0, 0xFCEFC0,
                                        0xEBD3DF, 0xD3E4E6, 0xE4D8C4, 0xDCE3B8};
// Categories: twelve distinct tones of one lightness (ColorBrewer's Set3).
constexpr Colour CATEGORY_PALETTE[] = {0x8DD3C7, 0xFFFFB3, 0xBEBADA, 0xFB8072,
                                       0x80B1D3, 0xFDB462, 0xB3DE69, 0xFCCDE5,
                                       0xD9D9D9, 0xBC80BD, 0xCCEBC5, 0xFFED6F};
// Quantities: light to dark (ColorBrewer's YlGnBu).
constexpr Colour RAMP[] = {0xFFFFCC, 0xC7E9B4, 0x7FCDBB, 0x41B6C4, 0x1D91C0, 0x225EA8, 0x0C2C84};
constexpr Colour NO_VALUE = 0xE6E6E6;
constexpr size_t MAX_LEGEND_CATEGORIES = 12;

std::string formatNumber(double v) {
    std::ostringstream s;
    s.precision(4);
    s << v;
    return s.str();
}

Fills categories(const std::vector<Value> &values, const std::string &title) {
    std::map<std::string, size_t> index;  // category names in sorted order
    for (const Value &v : values)
        if (const auto *text = std::get_if<std::string>(&v)) index.emplace(*text, 0);
    size_t next = 0;
    for (auto &[name, i] : index) i = next++;
    Fills fills{{}, index.size(), {title, {}}};
    for (const Value &v : values) {
        const auto *text = std::get_if<std::string>(&v);
        fills.colours.push_back(text ? CATEGORY_PALETTE[index[*text] % std::size(CATEGORY_PALETTE)]
                                     : NO_VALUE);
    }
    if (index.size() <= MAX_LEGEND_CATEGORIES)
        for (const auto &[name, i] : index)
            fills.legend.entries.emplace_back(CATEGORY_PALETTE[i], name);
    return fills;
}

// Classes of about equal counts; their upper bounds are values of the data.
Fills ramp(const std::vector<Value> &values, const std::string &title) {
    std::vector<double> sorted;
    for (const Value &v : values)
        if (const auto *number = std::get_if<double>(&v)) sorted.push_back(*number);
    std::ranges::sort(sorted);
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<double> bounds;  // upper bound of each class
    const size_t classes = std::min(std::size(RAMP), sorted.size());
    for (size_t c = 1; c <= classes; ++c) bounds.push_back(sorted[c * sorted.size() / classes - 1]);
    Fills fills{{}, bounds.size(), {title, {}}};
    const auto rampColour = [&](size_t c) {  // spread over the whole ramp
        return RAMP[classes <= 1 ? 0 : c * (std::size(RAMP) - 1) / (classes - 1)];
    };
    for (const Value &v : values) {
        const auto *number = std::get_if<double>(&v);
        if (!number) {
            fills.colours.push_back(NO_VALUE);
            continue;
        }
        const size_t c = static_cast<size_t>(std::ranges::lower_bound(bounds, *number) - bounds.begin());
        fills.colours.push_back(rampColour(c));
    }
    for (size_t c = 0; c < bounds.size(); ++c) {
        const double low = c == 0 ? sorted.front() : bounds[c - 1];
        fills.legend.entries.emplace_back(
            rampColour(c), c == 0 ? formatNumber(low) + " – " + formatNumber(bounds[c])
                                  : "> " + formatNumber(low) + " – " + formatNumber(bounds[c]));
    }
    return fills;
}

}  // namespace

Fills neighbourFills(const std::vector<std::vector<uint32_t>> &neighbours) {
    const std::vector<uint32_t> colour = colourGraph(neighbours);
    Fills fills;
    for (const uint32_t c : colour) {
        fills.colours.push_back(NEIGHBOUR_PALETTE[c % std::size(NEIGHBOUR_PALETTE)]);
        fills.distinct = std::max<size_t>(fills.distinct, c + 1);
    }
    return fills;
}

Fills fieldFills(const std::vector<Value> &values, const Field &field) {
    return field.numeric ? ramp(values, field.name) : categories(values, field.name);
}

}  // namespace kvgimport
