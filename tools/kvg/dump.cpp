#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <stdexcept>
#include <streambuf>

#include "command.h"
#include "describe.h"

namespace kvgtool {

namespace {

// Room for any double in fixed notation with three decimals: up to 309 integer digits, a sign,
// a point and the decimals.
constexpr size_t NUMBER_ROOM = std::numeric_limits<double>::max_exponent10 + 8;

// `value` in the given notation; to_chars cannot fail with this much room, but a failure
// would leave the buffer unwritten, so it is checked all the same.
template <class... Format>
std::string chars(double value, Format... format) {
    char buffer[NUMBER_ROOM];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, format...);
    if (result.ec != std::errc()) throw std::logic_error("number does not fit its buffer");
    return std::string(buffer, result.ptr);
}

// The shortest text that reads back as `value`.
std::string shortest(double value) { return chars(value); }

// Three decimals without trailing zeros: page coordinates to the micrometre, angles.
std::string threeDecimals(double value) {
    std::string text = chars(value, std::chars_format::fixed, 3);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

bool isUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const int extra = c < 0x80                ? 0
                          : c >= 0xC2 && c < 0xE0 ? 1
                          : c >= 0xE0 && c < 0xF0 ? 2
                          : c >= 0xF0 && c < 0xF5 ? 3
                                                  : -1;
        if (extra < 0 || text.size() - i <= static_cast<size_t>(extra)) return false;
        for (int k = 1; k <= extra; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
        }
        i += static_cast<size_t>(extra) + 1;
    }
    return true;
}

// Quotes `value`, escaping quotes, backslashes and control bytes, and every byte above 0x7F
// when the text is not UTF-8, with the format `escape`: \xNN in the text dump, \u00NN in
// JSON, which thereby reads such bytes as Latin-1.
std::string quoted(std::string_view value, const char *escape) {
    const bool utf8 = isUtf8(value);
    std::string out = "\"";
    for (const char byte : value) {
        const unsigned char c = static_cast<unsigned char>(byte);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += byte;
        } else if (c < 0x20 || c == 0x7F || (c > 0x7F && !utf8)) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, escape, c);
            out += buffer;
        } else {
            out += byte;
        }
    }
    return out + "\"";
}

// A list in brackets: `each` writes the items, each into the stream that its argument, item(),
// returns after the separator.
template <class Each>
void bracketed(std::ostream &out, char separator, Each each) {
    bool first = true;
    out << '[';
    each([&]() -> std::ostream & {
        if (!first) out << separator;
        first = false;
        return out;
    });
    out << ']';
}

// One line of `name=value` pairs: positions as x,y@wx,wy (file coordinates, then millimetres
// on the page), lists in brackets, free text quoted.
class TextSink final : public FieldSink {
public:
    TextSink(std::ostream &out, const kvgr::PageMapping &page) : out_(out), page_(page) {}
    void number(std::string_view name, double value) override { field(name) << shortest(value); }
    void angle(std::string_view name, double degrees) override {
        field(name) << threeDecimals(degrees);
    }
    void flag(std::string_view name, bool value) override { field(name) << (value ? '1' : '0'); }
    void text(std::string_view name, std::string_view value) override {
        field(name) << quoted(value, "\\x%02X");
    }
    void word(std::string_view name, std::string_view value) override { field(name) << value; }
    void point(std::string_view name, kvgr::Point p) override {
        located(field(name), p, kvgr::toPage(page_, p));
    }
    void extent(std::string_view name, kvgr::Point e) override {
        located(field(name), e, kvgr::toPageExtent(page_, e));
    }
    void points(std::string_view name, std::span<const kvgr::Point> ps) override {
        list(name, [&](const auto &item) {
            for (const kvgr::Point &p : ps) located(item(), p, kvgr::toPage(page_, p));
        });
    }
    void numbers(std::string_view name, std::span<const double> values) override {
        list(name, [&](const auto &item) {
            for (const double value : values) item() << shortest(value);
        });
    }
    void words(std::string_view name, const WordList &words) override {
        list(name, [&](const auto &item) { words([&](std::string_view w) { item() << w; }); });
    }

private:
    static void located(std::ostream &out, kvgr::Point file, kvgr::Point page) {
        out << shortest(file.x) << ',' << shortest(file.y) << '@' << threeDecimals(page.x) << ','
            << threeDecimals(page.y);
    }
    std::ostream &field(std::string_view name) { return out_ << ' ' << name << '='; }
    template <class Each>
    void list(std::string_view name, Each each) {
        bracketed(field(name), ' ', each);
    }

    std::ostream &out_;
    const kvgr::PageMapping &page_;
};

// One JSON object per record: positions as {"file":[x,y],"world":[wx,wy]}, the page
// coordinates under the name "world".
class JsonSink final : public FieldSink {
public:
    static constexpr const char *JSON_ESCAPE = "\\u%04X";
    JsonSink(std::ostream &out, const kvgr::PageMapping &page) : out_(out), page_(page) {}
    void number(std::string_view name, double value) override { field(name) << json(value); }
    void angle(std::string_view name, double degrees) override { number(name, degrees); }
    void flag(std::string_view name, bool value) override {
        field(name) << (value ? "true" : "false");
    }
    void text(std::string_view name, std::string_view value) override {
        field(name) << quoted(value, JSON_ESCAPE);
    }
    void word(std::string_view name, std::string_view value) override {
        field(name) << quoted(value, JSON_ESCAPE);
    }
    void point(std::string_view name, kvgr::Point p) override {
        located(field(name), p, kvgr::toPage(page_, p));
    }
    void extent(std::string_view name, kvgr::Point e) override {
        located(field(name), e, kvgr::toPageExtent(page_, e));
    }
    void points(std::string_view name, std::span<const kvgr::Point> ps) override {
        array(name, [&](const auto &item) {
            for (const kvgr::Point &p : ps) located(item(), p, kvgr::toPage(page_, p));
        });
    }
    void numbers(std::string_view name, std::span<const double> values) override {
        array(name, [&](const auto &item) {
            for (const double value : values) item() << json(value);
        });
    }
    void words(std::string_view name, const WordList &words) override {
        array(name, [&](const auto &item) {
            words([&](std::string_view w) { item() << quoted(w, JSON_ESCAPE); });
        });
    }

    std::ostream &field(std::string_view name) { return out_ << ",\"" << name << "\":"; }

private:
    static std::string json(double value) {
        return std::isfinite(value) ? shortest(value) : "null";
    }
    static void located(std::ostream &out, kvgr::Point file, kvgr::Point page) {
        out << "{\"file\":[" << json(file.x) << ',' << json(file.y) << "],\"world\":["
            << json(page.x) << ',' << json(page.y) << "]}";
    }
    template <class Each>
    void array(std::string_view name, Each each) {
        bracketed(field(name), ',', each);
    }

    std::ostream &out_;
    const kvgr::PageMapping &page_;
};

// The identifier a definition defines and the shape that holds the record, then its arguments.
void describeWithContext(const kvgr::Record &record, const kvgr::Reader &reader,
                         FieldSink &sink) {
    if (record.definition >= 0) sink.number("id", record.definition);
    if (record.shape >= 0 && record.code != KVGR_BEGIN_SET_SHAPE) {
        sink.number("in_shape", record.shape);
    }
    describe(record, reader, sink);
}

void textLine(std::ostream &out, const kvgr::Record &record, const kvgr::Reader &reader,
              const kvgr::PageMapping &page) {
    out << record.offset << ' ' << kvgr::recordName(record.code);
    TextSink sink(out, page);
    describeWithContext(record, reader, sink);
    out << '\n';
}

void jsonLine(std::ostream &out, const kvgr::Record &record, const kvgr::Reader &reader,
              const kvgr::PageMapping &page) {
    out << "{\"offset\":" << record.offset;
    JsonSink sink(out, page);
    sink.number("length", static_cast<double>(record.length));
    sink.number("code", record.code);
    sink.word("record", kvgr::recordName(record.code));
    sink.word("section", record.section == KVGR_SECTION_LAYERS ? "layers" : "definitions");
    describeWithContext(record, reader, sink);
    out << "}\n";
}

// The output of a dump is bounded by its input: at most OUTPUT_FLOOR bytes and OUTPUT_PER_BYTE
// for each byte taken from the input so far (compressed or not). A plain file's dump never comes
// near it (a byte of content prints as a few dozen at most); a gzip bomb, whose content is a
// thousand times its size, is stopped after a few hundred megabytes instead of gigabytes.
constexpr uint64_t OUTPUT_FLOOR = uint64_t{1} << 20;
constexpr uint64_t OUTPUT_PER_BYTE = 256;

// Passes bytes on to another stream's buffer up to an allowance, which the dump raises as the
// input is read; a byte beyond it fails, as a full disk would, and marks the output cut.
class BoundedBuffer final : public std::streambuf {
public:
    explicit BoundedBuffer(std::streambuf *target) : target_(target) {}
    void allow(uint64_t bytes) { allowed_ = bytes; }
    uint64_t count() const { return count_; }
    bool cut() const { return cut_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char *data, std::streamsize size) override {
        const uint64_t room = allowed_ - std::min(allowed_, count_);
        if (static_cast<uint64_t>(size) > room) {
            cut_ = true;
            size = static_cast<std::streamsize>(room);
        }
        const std::streamsize put = target_->sputn(data, size);
        count_ += static_cast<uint64_t>(put);
        return put;
    }
    int sync() override { return target_->pubsync(); }

private:
    std::streambuf *target_;
    uint64_t allowed_ = 0;
    uint64_t count_ = 0;
    bool cut_ = false;
};

// The output allowed after `inputBytes` of input: `fixed` if given (not 0), else in proportion.
uint64_t outputAllowed(uint64_t fixed, uint64_t inputBytes) {
    if (fixed != 0) return fixed;
    return inputBytes > (UINT64_MAX - OUTPUT_FLOOR) / OUTPUT_PER_BYTE
               ? UINT64_MAX
               : OUTPUT_FLOOR + inputBytes * OUTPUT_PER_BYTE;
}

constexpr OptionRule DUMP_OPTIONS[] = {{"--json", false}, {"--max-output", true}};

int dump(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options =
        parseOptions(DUMP_COMMAND, args, withLimitOptions(DUMP_OPTIONS), 1, err);
    if (!options) return EXIT_USAGE;
    const std::optional<kvgr::impl::Limits> limits = limitsOf(DUMP_COMMAND, *options, err);
    if (!limits) return EXIT_USAGE;
    uint64_t maxOutput = 0;  // none given: in proportion to the input
    if (!countOption(DUMP_COMMAND, *options, "--max-output", err, maxOutput)) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    const bool json = options->flags.contains("--json");
    BoundedBuffer bounded(out.rdbuf());
    std::ostream limited(&bounded);
    const int status = readRecords(DUMP_COMMAND, path, err, *limits, [&](kvgr::Reader &reader) {
        const kvgr::PageMapping page = reader.pageMapping();
        // Output that cannot be written, or passes its allowance, ends the dump.
        while (limited) {
            const kvgr::Record *record = reader.next();
            if (record == nullptr) break;
            bounded.allow(outputAllowed(maxOutput, reader.inputBytes()));
            (json ? jsonLine : textLine)(limited, *record, reader, page);
        }
    });
    if (!bounded.cut()) {
        if (!limited) out.setstate(std::ios::badbit);  // the command reports it
        return status;
    }
    err << "kvg dump: " << displayName(path) << ": output stopped at " << bounded.count()
        << " bytes, "
        << (maxOutput != 0 ? "the limit of --max-output"
                           : "1 MiB and 256 bytes for each byte of input")
        << "\n";
    return EXIT_FAILED;
}

}  // namespace

const Command DUMP_COMMAND = {
    "dump", "FILE [--json] [--max-output N] [LIMITS]",
    "print every record with its decoded arguments",
    "One line per record: its byte offset, its name and its arguments. Positions are printed\n"
    "as x,y@wx,wy: file coordinates, then millimetres on the drawing (the file window mapped\n"
    "onto the drawing's size in millimetres, origin at its lower-left corner). Colours are\n"
    "printed as colour size and value (rgb:FF8000, index8:3).\n"
    "  --json  one JSON object per line instead; positions as {\"file\":[x,y],\"world\":[x,y]}\n"
    "  --max-output N  stop with a message (exit 1) once the output passes N bytes; by\n"
    "                  default 1 MiB and 256 bytes for each byte read from FILE, which no plain\n"
    "                  file reaches but a small gzip stream of huge content does\n"
    "Records are printed up to the first fault, which is reported as in 'kvg check' (exit 1).\n"
    "FILE '-' is standard input.\n",
    dump, true};

}  // namespace kvgtool
