#include "command.h"
#include "output.h"
#include "svg_render.h"

namespace kvgtool {

namespace {

constexpr OptionRule SVG_OPTIONS[] = {{"-o", true}};

int svgCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(SVG_COMMAND, args, SVG_OPTIONS, 1, err);
    if (!options) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    const auto named = options->values.find("-o");
    const std::string target =
        named != options->values.end() ? named->second : replaceExtension(path, ".svg");
    const std::optional<kvgr::LoadedFile> file = loadKvg(SVG_COMMAND, path, err);
    if (!file) return EXIT_FAILED;
    std::string svg;
    if (const std::optional<kvgr::Error> error = renderSvg(file->bytes, svg)) {
        err << "kvg svg: " << path << ": " << error->message() << "\n";
        return EXIT_FAILED;
    }
    return writeOutput(SVG_COMMAND, target, svg, out, err) ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

const Command SVG_COMMAND = {
    "svg", "FILE [-o OUT.svg]", "render a KVG file as SVG 1.1",
    "Writes the drawing as SVG to OUT.svg (default: FILE with the extension .svg; '-' for\n"
    "standard output): the file window stretched over the page of the header's size in\n"
    "millimetres, y up; layers as groups (hidden layers not displayed), objects as nested\n"
    "groups, line colours, widths, dashes, joints and arrows, colour, gradient and texture\n"
    "fills, texts with font and alignment, marks, shapes as symbols, images as embedded PNG,\n"
    "edges as paths and faces filled with their holes cut out.\n"
    "Image rows run from the bottom up; texture pixels and mark sizes are CSS pixels on the\n"
    "page; one bit of a dash pattern is 0.5 mm (at least the line's width); arcs run\n"
    "counter-clockwise. Blend modes other than source-over are drawn as source-over.\n"
    "The file must be valid ('kvg check'); otherwise the first fault is reported (exit 1).\n",
    svgCommand};

}  // namespace kvgtool
