#include <cctype>
#include <charconv>
#include <variant>

#include "cairo_painter.h"
#include "command.h"
#include "output.h"

namespace kvgtool {

namespace {

constexpr OptionRule RENDER_OPTIONS[] = {
    {"-o", true}, {"--width", true}, {"--dpi", true}, {"--format", true}};
constexpr uint32_t MAX_WIDTH = 32767;
constexpr double MAX_DPI = 100000;

enum class Format { Png, Pdf };

bool endsWith(const std::string &text, const std::string &end) {
    if (text.size() < end.size()) return false;
    for (size_t i = 0; i < end.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[text.size() - end.size() + i])) != end[i])
            return false;
    return true;
}

template <class Number>
std::optional<Number> parseNumber(const std::string &text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The format, the pixel size and the target that the options ask for; a usage message when
// they do not fit together.
struct Request {
    Format format = Format::Png;
    kvgrender::RasterSize size;
    std::string target;
};

std::variant<Request, std::string> request(const Options &options) {
    const auto value = [&](const char *name) -> std::optional<std::string> {
        const auto found = options.values.find(name);
        if (found == options.values.end()) return std::nullopt;
        return found->second;
    };
    Request r;
    const std::optional<std::string> format = value("--format");
    if (format && *format != "png" && *format != "pdf") return "unknown format '" + *format + "'";
    const std::string extension = format ? "." + *format : ".png";
    r.target = value("-o").value_or(defaultTarget(options.positional[0], extension));
    const char *named = endsWith(r.target, ".pdf")   ? ".pdf"
                        : endsWith(r.target, ".png") ? ".png"
                                                     : nullptr;
    if (format && named != nullptr && extension != named)
        return "--format " + *format + " contradicts the name " + r.target;
    if (!format && named == nullptr && r.target != "-")
        return "cannot tell the format of " + r.target + ": name it .png or .pdf, or give --format";
    const std::string chosen = format ? extension : named != nullptr ? named : ".png";
    r.format = chosen == ".pdf" ? Format::Pdf : Format::Png;
    const std::optional<std::string> width = value("--width"), dpi = value("--dpi");
    if (width && dpi) return "--width and --dpi exclude each other";
    if ((width || dpi) && r.format == Format::Pdf) return "--width and --dpi are for PNG";
    if (width) {
        r.size.width = parseNumber<uint32_t>(*width);
        if (!r.size.width || *r.size.width == 0 || *r.size.width > MAX_WIDTH)
            return "--width takes a whole number of pixels from 1 to " + std::to_string(MAX_WIDTH);
    }
    if (dpi) {
        r.size.dpi = parseNumber<double>(*dpi);
        if (!r.size.dpi || !(*r.size.dpi > 0 && *r.size.dpi <= MAX_DPI))
            return "--dpi takes a number of pixels an inch above 0, at most 100000";
    }
    return r;
}

int renderCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(RENDER_COMMAND, args, withLimitOptions(RENDER_OPTIONS), 1, err);
    if (!options) return EXIT_USAGE;
    const std::variant<Request, std::string> asked = request(*options);
    if (const auto *problem = std::get_if<std::string>(&asked)) {
        err << "kvg render: " << *problem << "\nusage: kvg render " << RENDER_COMMAND.synopsis
            << "\n";
        return EXIT_USAGE;
    }
    const Request &r = std::get<Request>(asked);
    if (r.target == "-" && writesToTerminal(out)) {
        err << "kvg render: standard output is a terminal, which cannot show a "
            << (r.format == Format::Pdf ? "PDF" : "PNG")
            << "; name a file with -o or redirect the output\n";
        return EXIT_USAGE;
    }
    return writeRendering(RENDER_COMMAND, *options, r.target, out, err,
                          [&](std::span<const uint8_t> bytes, std::ostream &stream,
                              const kvgr::impl::Limits &limits) {
                              return r.format == Format::Pdf
                                         ? kvgrender::renderPdf(bytes, stream, limits)
                                         : kvgrender::renderPng(bytes, r.size, stream, limits);
                          });
}

}  // namespace

const Command RENDER_COMMAND = {
    "render",
    "FILE [-o OUT.png|OUT.pdf] [--width PX | --dpi N] [--format png|pdf] [LIMITS]",
    "render a KVG file as PNG or PDF",
    "Draws the file with cairo by the rendering rules of doc/rendering.md, the same picture as\n"
    "'kvg svg': to a PNG of the page at N pixels an inch (default 96) or PX pixels across, or\n"
    "to a one-page PDF of the page's size. The format follows the name of OUT (default: FILE\n"
    "with the extension of --format, else .png; '-' for standard output, PNG unless --format\n"
    "pdf, never a terminal); a --format that contradicts a .png or .pdf name is refused.\n"
    "The output is written beside OUT and put in its place only when complete; an output that\n"
    "is the input file is refused. The file must be valid ('kvg check'); otherwise the first\n"
    "fault is reported (exit 1), as is a drawing beyond the renderer's limits or a page of\n"
    "more than 32767 pixels on a side.\n"
    "The drawing is held whole: --max-bytes is 256M by default.\n",
    renderCommand, true};

}  // namespace kvgtool
