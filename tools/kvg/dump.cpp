#include <charconv>
#include <cmath>
#include <cstdio>

#include "command.h"
#include "describe.h"

namespace kvgtool {

namespace {

// The shortest text that reads back as `value`.
std::string shortest(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

// Three decimals without trailing zeros: world coordinates to the micrometre, angles.
std::string threeDecimals(double value) {
    char buffer[64];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 3);
    std::string text(buffer, result.ptr);
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

// One line of `name=value` pairs: positions as x,y@wx,wy (file coordinates, then millimetres
// on the drawing), lists in brackets, free text quoted.
class TextSink final : public FieldSink {
public:
    explicit TextSink(std::string &line) : line_(line) {}
    void number(std::string_view name, double value) override { field(name, shortest(value)); }
    void angle(std::string_view name, double degrees) override {
        field(name, threeDecimals(degrees));
    }
    void flag(std::string_view name, bool value) override { field(name, value ? "1" : "0"); }
    void text(std::string_view name, std::string_view value) override {
        field(name, quoted(value, "\\x%02X"));
    }
    void word(std::string_view name, std::string_view value) override { field(name, value); }
    void point(std::string_view name, const Located &p) override { field(name, located(p)); }
    void points(std::string_view name, std::span<const Located> ps) override {
        listField(name, ps, located);
    }
    void numbers(std::string_view name, std::span<const double> values) override {
        listField(name, values, shortest);
    }
    void words(std::string_view name, std::span<const std::string> values) override {
        listField(name, values, [](const std::string &w) { return w; });
    }

private:
    static std::string located(const Located &p) {
        return shortest(p.file.x) + "," + shortest(p.file.y) + "@" + threeDecimals(p.world.x) +
               "," + threeDecimals(p.world.y);
    }
    template <class T, class F>
    void listField(std::string_view name, std::span<const T> values, F format) {
        std::string text = "[";
        for (const T &value : values) {
            if (text.size() > 1) text += ' ';
            text += format(value);
        }
        field(name, text + "]");
    }
    void field(std::string_view name, std::string_view value) {
        line_ += ' ';
        line_ += name;
        line_ += '=';
        line_ += value;
    }

    std::string &line_;
};

// One JSON object per record: positions as {"file":[x,y],"world":[wx,wy]}.
class JsonSink final : public FieldSink {
public:
    static constexpr const char *JSON_ESCAPE = "\\u%04X";
    explicit JsonSink(std::string &line) : line_(line) {}
    void number(std::string_view name, double value) override { field(name, json(value)); }
    void angle(std::string_view name, double degrees) override { number(name, degrees); }
    void flag(std::string_view name, bool value) override { field(name, value ? "true" : "false"); }
    void text(std::string_view name, std::string_view value) override {
        field(name, quoted(value, JSON_ESCAPE));
    }
    void word(std::string_view name, std::string_view value) override {
        field(name, quoted(value, JSON_ESCAPE));
    }
    void point(std::string_view name, const Located &p) override { field(name, located(p)); }
    void points(std::string_view name, std::span<const Located> ps) override {
        field(name, array(ps, located));
    }
    void numbers(std::string_view name, std::span<const double> values) override {
        field(name, array(values, json));
    }
    void words(std::string_view name, std::span<const std::string> values) override {
        field(name, array(values, [](const std::string &w) { return quoted(w, JSON_ESCAPE); }));
    }

    static std::string json(double value) {
        return std::isfinite(value) ? shortest(value) : "null";
    }

    void field(std::string_view name, std::string_view value) {
        line_ += ",\"";
        line_ += name;
        line_ += "\":";
        line_ += value;
    }

private:
    static std::string located(const Located &p) {
        return "{\"file\":[" + json(p.file.x) + "," + json(p.file.y) + "],\"world\":[" +
               json(p.world.x) + "," + json(p.world.y) + "]}";
    }
    template <class T, class F>
    static std::string array(std::span<const T> values, F format) {
        std::string text = "[";
        for (const T &value : values) {
            if (text.size() > 1) text += ',';
            text += format(value);
        }
        return text + "]";
    }

    std::string &line_;
};

// The identifier a definition defines, the shape that holds the record, then its arguments.
void describeWithContext(const kvgr::Record &record, const kvgr::Header &header, FieldSink &sink) {
    if (record.definition) sink.number("id", *record.definition);
    if (record.shape && record.code != kvgfmt::BEGIN_SET_SHAPE) {
        sink.number("in_shape", *record.shape);
    }
    describe(record, header, sink);
}

std::string textLine(const kvgr::Record &record, const kvgr::Header &header) {
    std::string line = std::to_string(record.offset) + " " + kvgr::recordName(record.code);
    TextSink sink(line);
    describeWithContext(record, header, sink);
    return line;
}

std::string jsonLine(const kvgr::Record &record, const kvgr::Header &header) {
    std::string line = "{\"offset\":" + std::to_string(record.offset);
    JsonSink sink(line);
    sink.number("length", static_cast<double>(record.length));
    sink.number("code", record.code);
    sink.word("record", kvgr::recordName(record.code));
    sink.word("section", record.section == kvgr::Section::Layers ? "layers" : "definitions");
    describeWithContext(record, header, sink);
    return line + "}";
}

constexpr OptionRule DUMP_OPTIONS[] = {{"--json", false}};

int dump(Args args, std::ostream &out, std::ostream &err) {
    const std::optional<Options> options = parseOptions(DUMP_COMMAND, args, DUMP_OPTIONS, 1, err);
    if (!options) return EXIT_USAGE;
    const std::string &path = options->positional[0];
    const std::optional<kvgr::LoadedFile> file = loadKvg(DUMP_COMMAND, path, err);
    if (!file) return EXIT_FAILED;
    const bool json = options->flags.contains("--json");
    kvgr::Decoder decoder(file->bytes);
    kvgr::Record record;
    while (decoder.next(record)) {
        out << (json ? jsonLine(record, decoder.header()) : textLine(record, decoder.header()))
            << '\n';
    }
    if (decoder.error()) {
        err << "kvg dump: " << path << ": " << decoder.error()->message() << "\n";
        return EXIT_FAILED;
    }
    return EXIT_OK;
}

}  // namespace

const Command DUMP_COMMAND = {
    "dump", "FILE [--json]", "print every record with its decoded arguments",
    "One line per record: its byte offset, its name and its arguments. Positions are printed\n"
    "as x,y@wx,wy: file coordinates, then millimetres on the drawing (the file window mapped\n"
    "onto the drawing's size in millimetres, origin at its lower-left corner). Colours are\n"
    "printed as colour size and value (rgb:FF8000, index8:3).\n"
    "  --json  one JSON object per line instead; positions as {\"file\":[x,y],\"world\":[x,y]}\n"
    "Records are printed up to the first fault, which is reported as in 'kvg check' (exit 1).\n",
    dump};

}  // namespace kvgtool
