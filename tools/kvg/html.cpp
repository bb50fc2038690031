#include <zlib.h>

#include "command.h"
#include "output.h"
#include "png.h"
#include "viewer_page.h"

namespace kvgtool {

namespace {

constexpr OptionRule HTML_OPTIONS[] = {{"-o", true}};
constexpr std::string_view DRAWING_MARK = "<!--DRAWING-->";

// The bytes as a gzip stream, as the page's decoder inflates them.
std::optional<std::string> gzip(const kvgr::impl::Bytes &bytes) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return std::nullopt;
    std::string out(deflateBound(&z, static_cast<uLong>(bytes.size())), '\0');
    z.next_in = const_cast<Bytef *>(bytes.data());
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
    const std::optional<Options> options = parseOptions(HTML_COMMAND, args, HTML_OPTIONS, 1, err);
    if (!options) return EXIT_USAGE;
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
        named != options->values.end() ? named->second : replaceExtension(path, ".html");
    if (sameFile(path, target)) {
        err << "kvg html: the output " << target << " is the input file; nothing written\n";
        return EXIT_FAILED;
    }
    const std::optional<kvgr::impl::LoadedFile> file = loadKvg(HTML_COMMAND, path, err);
    if (!file) return EXIT_FAILED;
    if (const std::optional<kvgr::impl::Error> error = kvgr::impl::validate(file->bytes)) {
        err << "kvg html: " << path << ": " << error->message() << "\n";
        return EXIT_FAILED;
    }
    const std::optional<std::string> compressed = gzip(file->bytes);
    if (!compressed) {
        err << "kvg html: " << path << ": cannot compress the drawing\n";
        return EXIT_FAILED;
    }
    const std::unique_ptr<OutputFile> output = OutputFile::open(HTML_COMMAND, target, out, err);
    if (!output) return EXIT_FAILED;
    // Base64 holds no markup, so the drawing cannot end its script element early.
    output->stream() << page.substr(0, mark)
                     << "<script id=\"kvg-drawing\" type=\"application/octet-stream\" data-name=\""
                     << escapeAttribute(baseName(path)) << "\">"
                     << kvgrender::base64(*compressed) << "</script>"
                     << page.substr(mark + DRAWING_MARK.size());
    return output->commit(err) ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

const Command HTML_COMMAND = {
    "html", "FILE [-o OUT.html]", "write a self-contained HTML page that shows a KVG file",
    "Writes one HTML file (default: FILE with the extension .html; '-' for standard output)\n"
    "that holds the web viewer (the decoder and Canvas renderer) and the drawing, compressed:\n"
    "it opens offline in a browser, fits the drawing to the window, pans and zooms (wheel,\n"
    "drag, touch), switches layers and names the face, edge or object under the pointer.\n"
    "The output is written beside OUT.html and put in its place only when complete; an\n"
    "output that is the input file is refused. The file must be valid ('kvg check');\n"
    "otherwise the first fault is reported (exit 1).\n",
    htmlCommand};

}  // namespace kvgtool
