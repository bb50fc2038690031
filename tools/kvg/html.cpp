#include <zlib.h>

#include "command.h"
#include "output.h"
#include "png.h"
#include "viewer_page.h"

namespace kvgtool {

namespace {

constexpr OptionRule HTML_OPTIONS[] = {{"-o", true}};
constexpr std::string_view DRAWING_MARK = "<!--DRAWING-->";

constexpr std::string_view GZIP_MAGIC = "\x1F\x8B";

// The bytes as a gzip stream, as the page's decoder inflates them.
std::optional<std::string> gzip(std::string_view bytes) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef *>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(z.total_out);
    deflateEnd(&z);
    if (!done) return std::nullopt;
    return out;
}

// Text for an HTML attribute value in double quotes.
std::string escapeAttribute(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

std::string baseName(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int htmlCommand(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(HTML_COMMAND, args, withLimitOptions(HTML_OPTIONS), 1, err);
    if (!options) return EXIT_USAGE;
    const std::optional<kvgr::impl::Limits> limits = limitsOf(HTML_COMMAND, *options, err);
    if (!limits) return EXIT_USAGE;
    const std::string_view page = viewerPage();
    const size_t mark = page.find(DRAWING_MARK);
    if (mark == std::string_view::npos) {
        err << "kvg html: this kvg was built without the web viewer (scripts/setup installs the "
               "Node packages it is built from)\n";
        return EXIT_FAILED;
    }
    const std::string &path = options->positional[0];
    const auto named = options->values.find("-o");
    const std::string target =
        named != options->values.end() ? named->second : defaultTarget(path, ".html");
    if (sameFile(path, target)) {
        err << "kvg html: the output " << target << " is the input file; nothing written\n";
        return EXIT_FAILED;
    }
    // The file checked as the reader reads it, and its bytes as they are: a gzip stream as it
    // came, plain bytes compressed here.
    std::string input;
    const int status = readRecords(
        HTML_COMMAND, path, err, *limits,
        [](kvgr::Reader &reader) {
            while (reader.next() != nullptr) {
            }
        },
        &input);
    if (status != EXIT_OK) return status;
    const std::optional<std::string> compressed =
        input.starts_with(GZIP_MAGIC) ? std::optional(std::move(input)) : gzip(input);
    if (!compressed) {
        err << "kvg html: " << displayName(path) << ": cannot compress the drawing\n";
        return EXIT_FAILED;
    }
    const std::unique_ptr<OutputFile> output = OutputFile::open(HTML_COMMAND, target, out, err);
    if (!output) return EXIT_FAILED;
    // Base64 holds no markup, so the drawing cannot end its script element early.
    output->stream() << page.substr(0, mark)
                     << "<script id=\"kvg-drawing\" type=\"application/octet-stream\" data-name=\""
                     << escapeAttribute(path == "-" ? "drawing.kvg" : baseName(path)) << "\">"
                     << kvgrender::base64(*compressed) << "</script>"
                     << page.substr(mark + DRAWING_MARK.size());
    return output->commit(err) ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

const Command HTML_COMMAND = {
    "html", "FILE [-o OUT.html] [LIMITS]",
    "write a self-contained HTML page that shows a KVG file",
    "Writes one HTML file (default: FILE with the extension .html; '-' for standard output,\n"
    "the default when FILE is '-', standard input) that holds the web viewer (the decoder\n"
    "and Canvas renderer) and the drawing, compressed:\n"
    "it opens offline in a browser, fits the drawing to the window, pans and zooms (wheel,\n"
    "drag, touch), switches layers and names the face, edge or object under the pointer.\n"
    "The output is written beside OUT.html and put in its place only when complete; an\n"
    "output that is the input file is refused. The file must be valid ('kvg check');\n"
    "otherwise the first fault is reported (exit 1).\n",
    htmlCommand, true};

}  // namespace kvgtool
