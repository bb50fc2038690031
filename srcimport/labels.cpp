#include "labels.h"

#include <algorithm>
#include <numeric>
#include <optional>

namespace kvgimport {

namespace {

constexpr double GLYPH_WIDTH = 0.6;   // of the font size: a sans-serif's average advance
constexpr double LINE_HEIGHT = 1.2;  // of the font size: ascent and descent
constexpr double MARK_GAP_MM = 1.5;  // from a mark's centre to its label

struct Box {
    double xmin, ymin, xmax, ymax;
    bool overlaps(const Box &o) const {
        return xmin < o.xmax && o.xmin < xmax && ymin < o.ymax && o.ymin < ymax;
    }
};

// Characters, not bytes: UTF-8's continuation bytes do not count.
double characters(const std::string &text) {
    const auto count = std::ranges::count_if(text, [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; });
    return double(std::max<std::ptrdiff_t>(count, 1));
}

// The size whose text fits the room's width (its diameter), within the smallest and largest.
double fittingSize(const LabelWish &wish) {
    if (wish.roomMm <= 0) return LABEL_MIN_MM;
    const double width = GLYPH_WIDTH * characters(wish.text);
    return std::clamp(2 * wish.roomMm / width, LABEL_MIN_MM, LABEL_MAX_MM);
}

}  // namespace

std::vector<PlacedLabel> placeLabels(const std::vector<LabelWish> &wishes, const Page &page) {
    std::vector<size_t> order(wishes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return wishes[a].weight > wishes[b].weight; });
    std::vector<Box> taken;
    std::vector<PlacedLabel> placed;
    // The box of a label whose left edge is `left`, moved onto the page where it would leave it;
    // nothing when it is larger than the page or meets a label already placed.
    const auto room = [&](double left, double y, double width, double height) -> std::optional<Box> {
        const double x0 = std::clamp(left, page.xmin, std::max(page.xmin, page.xmax - width));
        const double y0 = std::clamp(y - height / 2, page.ymin, std::max(page.ymin, page.ymax - height));
        const Box box{x0, y0, x0 + width, y0 + height};
        if (box.xmax > page.xmax || box.ymax > page.ymax) return std::nullopt;
        if (std::ranges::any_of(taken, [&](const Box &t) { return t.overlaps(box); })) return std::nullopt;
        return box;
    };
    for (const size_t w : order) {
        const LabelWish &wish = wishes[w];
        const double size = fittingSize(wish);
        const double width = GLYPH_WIDTH * size * characters(wish.text) / page.stepMm;
        const double height = LINE_HEIGHT * size / page.stepMm;
        const double gap = MARK_GAP_MM / page.stepMm;
        std::optional<Box> box;
        PlacedLabel::Side side = PlacedLabel::centred;
        if (wish.roomMm > 0) {
            box = room(wish.at.x - width / 2, wish.at.y, width, height);
        } else if (wish.at.x + gap + width <= page.xmax && (box = room(wish.at.x + gap, wish.at.y, width, height))) {
            side = PlacedLabel::right;
        } else {
            box = room(wish.at.x - gap - width, wish.at.y, width, height);
            side = PlacedLabel::left;
        }
        if (!box) continue;
        taken.push_back(*box);
        const double x = side == PlacedLabel::centred ? (box->xmin + box->xmax) / 2
                         : side == PlacedLabel::right ? box->xmin
                                                      : box->xmax;
        placed.push_back({w, {x, (box->ymin + box->ymax) / 2}, size, side});
    }
    std::ranges::sort(placed, {}, &PlacedLabel::wish);
    return placed;
}

}  // namespace kvgimport
