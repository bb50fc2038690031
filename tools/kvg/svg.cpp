#include "command.h"
#include "output.h"
#include "svg_painter.h"

namespace kvgtool {

namespace {

constexpr OptionRule SVG_OPTIONS[] = {{"-o", true}};

int svgCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(SVG_COMMAND, args, withLimitOptions(SVG_OPTIONS), 1, err);
    if (!options) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    const auto named = options->values.find("-o");
    const std::string target =
        named != options->values.end() ? named->second : defaultTarget(path, ".svg");
    return writeRendering(SVG_COMMAND, *options, target, out, err, kvgrender::renderSvg);
}

}  // namespace

const Command SVG_COMMAND = {
    "svg", "FILE [-o OUT.svg] [LIMITS]", "render a KVG file as SVG 1.1",
    "Writes the drawing as SVG to OUT.svg (default: FILE with the extension .svg; '-' for\n"
    "standard output, the default when FILE is '-', standard input), by the rendering rules\n"
    "of doc/rendering.md: the page of the header's size in millimetres (one user unit a\n"
    "millimetre), the file window on it with one scale for both axes, centred; layers as\n"
    "groups (hidden layers not displayed), objects as nested groups, shapes defined once and\n"
    "placed with <use>, images as embedded PNG, edges and faces defined once and used where\n"
    "they are drawn.\n"
    "The output is written beside OUT.svg and put in its place only when complete; an output\n"
    "that is the input file is refused. The file must be valid ('kvg check'); otherwise the\n"
    "first fault is reported (exit 1), as is a drawing beyond the renderer's limits.\n"
    "The drawing is held whole: --max-bytes is 256M by default.\n",
    svgCommand, true};

}  // namespace kvgtool
