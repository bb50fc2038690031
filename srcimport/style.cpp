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
constexpr Colour OTHER = 0xB8B8B8;  // the categories beyond the palette

std::string formatNumber(double v) {
    std::ostringstream s;
    s.precision(4);
    s << v;
    return s.str();
}

// One colour per category while the palette lasts; beyond it the most common categories keep
// theirs and the rest share the colour of "other", which the legend and a note explain.
Fills categories(const std::vector<Value> &values, const std::string &title) {
    std::map<std::string, size_t> count;  // features per category, by name
    for (const Value &v : values)
        if (const auto *text = std::get_if<std::string>(&v)) ++count[*text];
    std::vector<std::pair<std::string, size_t>> ranked(count.begin(), count.end());
    const size_t palette = std::size(CATEGORY_PALETTE);
    const size_t coloured = ranked.size() <= palette ? ranked.size() : palette - 1;
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto &a, const auto &b) { return a.second > b.second; });
    std::sort(ranked.begin(), ranked.begin() + ptrdiff_t(coloured));  // the legend in name order
    std::map<std::string, Colour> colour;
    Fills fills{{}, 0, {title, {}}, {}};
    for (size_t i = 0; i < ranked.size(); ++i) {
        colour[ranked[i].first] = i < coloured ? CATEGORY_PALETTE[i] : OTHER;
        if (i < coloured) fills.legend.entries.emplace_back(CATEGORY_PALETTE[i], ranked[i].first);
    }
    const size_t others = ranked.size() - coloured;
    if (others > 0) {
        fills.legend.entries.emplace_back(OTHER, "other (" + std::to_string(others) + ")");
        fills.note = "--fill-by " + title + ": " + std::to_string(ranked.size()) + " categories for " +
                     std::to_string(palette) + " colours, the " + std::to_string(others) +
                     " least common drawn as \"other\"";
    }
    fills.distinct = coloured + (others > 0);
    for (const Value &v : values) {
        const auto *text = std::get_if<std::string>(&v);
        fills.colours.push_back(text ? colour[*text] : NO_VALUE);
    }
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
    Fills fills{{}, bounds.size(), {title, {}}, {}};
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
