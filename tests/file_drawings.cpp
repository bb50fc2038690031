#include "file_drawings.h"

#include <gtest/gtest.h>

#include "describe.h"

namespace kvgtest {

namespace {

// Collects a record's fields as text, positions in file coordinates.
class TextSink : public kvgtool::FieldSink {
public:
    std::string fields;
    void number(std::string_view name, double v) override { add(name, std::to_string(v)); }
    void angle(std::string_view name, double v) override { add(name, std::to_string(v)); }
    void flag(std::string_view name, bool v) override { add(name, v ? "yes" : "no"); }
    void text(std::string_view name, std::string_view v) override { add(name, std::string(v)); }
    void word(std::string_view name, std::string_view v) override { add(name, std::string(v)); }
    void point(std::string_view name, kvgr::Point p) override { add(name, coordinates(p)); }
    void extent(std::string_view name, kvgr::Point p) override { add(name, coordinates(p)); }
    void points(std::string_view name, std::span<const kvgr::Point> ps) override {
        std::string all;
        for (const auto &p : ps) all += coordinates(p);
        add(name, all);
    }
    void numbers(std::string_view name, std::span<const double> vs) override {
        std::string all;
        for (double v : vs) all += std::to_string(v) + " ";
        add(name, all);
    }
    void words(std::string_view name, const kvgtool::WordList &words) override {
        std::string all;
        words([&](std::string_view w) { (all += w) += " "; });
        add(name, all);
    }

private:
    static std::string coordinates(kvgr::Point p) {
        return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")";
    }
    void add(std::string_view name, const std::string &value) {
        fields += std::string(name) + "=" + value + " ";
    }
};

bool isSizeRecord(uint8_t code) { return code >= KVGR_POINT_SIZE_16 && code <= KVGR_COLOR_SIZE; }

}  // namespace

std::vector<std::string> drawings(const Bytes &file) {
    std::vector<std::string> out;
    try {
        kvgr::Reader reader;
        reader.openMemory(file);
        while (const kvgr::Record *record = reader.next()) {
            if (isSizeRecord(record->code)) continue;
            TextSink sink;
            kvgtool::describe(*record, reader, sink);
            out.push_back(std::string(kvgr::recordName(record->code)) + ": " + sink.fields);
        }
    } catch (const kvgr::Error &error) {
        ADD_FAILURE() << error.what();
    }
    return out;
}

}  // namespace kvgtest
