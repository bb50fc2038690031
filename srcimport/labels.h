// Labels placed as a cartographer places them: a polygon's label at the pole of inaccessibility
// of its largest part, sized by the room there between a smallest and a largest size; a point's
// beside its mark, on its right or else its left. No two labels overlap (the larger feature keeps its label) and none leaves
// the page.
#ifndef KVGIMPORT_LABELS_H
#define KVGIMPORT_LABELS_H

#include <cstddef>
#include <string>
#include <vector>

#include "model.h"

namespace kvgimport {

constexpr double LABEL_MIN_MM = 1.6;
constexpr double LABEL_MAX_MM = 4;

struct LabelWish {
    std::string text;
    Pos at;                // grid position: the centre of the room, or the mark
    double roomMm = 0;     // the room's radius on the page; 0 for a mark
    double weight = 0;     // the feature's size: the larger wins where labels collide
};

struct PlacedLabel {
    enum Side { centred, right, left };  // on its room's centre, or right or left of a mark
    size_t wish;      // index of the wish it answers
    Pos at;           // grid position of the text's anchor: its centre, or its end by the mark
    double sizeMm;    // font size
    Side side;
};

struct Page {
    double xmin, ymin, xmax, ymax;  // grid units, margins included
    double stepMm;                  // millimetres per grid step
};

// The labels kept, in the order of the wishes.
std::vector<PlacedLabel> placeLabels(const std::vector<LabelWish> &wishes, const Page &page);

}  // namespace kvgimport

#endif  // KVGIMPORT_LABELS_H
