// Renders a KVG drawing as an SVG 1.1 document.
//
// The SVG user space is the file's coordinate space with the y axis turned over (y up in the
// file, down in SVG): the viewBox is the file window, stretched over a page of the header's
// millimetre size. Layers become groups (hidden layers are not displayed), objects nested
// groups, shapes <symbol>s placed with <use>, images embedded PNGs, marks <use>s of one symbol
// per mark type. How the drawing maps onto SVG where the file leaves it open:
// - image pixels run row after row from the bottom row up, like the file's y axis, and a
//   source rectangle counts pixels from the lower-left corner;
// - a texture's pixels and a mark's size are CSS pixels (1/96 inch) on the page;
// - one bit of a dash pattern (most significant bit first) is half a millimetre on the page,
//   or the line's width when that is longer;
// - arcs run counter-clockwise from the start angle to the end angle (equal angles draw the
//   whole ellipse); a filled arc is a pie slice;
// - arrow heads are four line widths long;
// - a face is filled with its holes cut out (even-odd), holes of holes filled again;
// - blend modes other than source-over are drawn as source-over.
#ifndef KVGTOOL_SVG_RENDER_H
#define KVGTOOL_SVG_RENDER_H

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "kvgreader.h"

namespace kvgtool {

// Renders the (decompressed) bytes of a KVG file into `svg`. Returns the reader's error for an
// invalid file, and then `svg` holds nothing useful.
std::optional<kvgr::Error> renderSvg(std::span<const uint8_t> bytes, std::string &svg);

}  // namespace kvgtool

#endif  // KVGTOOL_SVG_RENDER_H
