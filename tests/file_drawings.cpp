#include "file_drawings.h"

#include <gtest/gtest.h>

#include "describe.h"
#include "kvgreader.h"

namespace kvgtest {

namespace {

// Collects a record's fields as text.
class TextSink : public kvgtool::FieldSink {
public:
    std::string fields;
    void number(std::string_view name, double v) override { add(name, std::to_string(v)); }
    void angle(std::string_view name, double v) override { add(name, std::to_string(v)); }
    void flag(std::string_view name, bool v) override { add(name, v ? "yes" : "no"); }
    void text(std::string_view name, std::string_view v) override { add(name, std::string(v)); }
    void word(std::string_view name, std::string_view v) override { add(name, std::string(v)); }
    void point(std::string_view name, const kvgtool::Located &p) override {
        add(name, coordinates(p.file));
    }
    void points(std::string_view name, std::span<const kvgtool::Located> ps) override {
        std::string all;
        for (const auto &p : ps) all += coordinates(p.file);
        add(name, all);
    }
    void numbers(std::string_view name, std::span<const double> vs) override {
        std::string all;
        for (double v : vs) all += std::to_string(v) + " ";
        add(name, all);
    }
    void words(std::string_view name, std::span<const std::string> vs) override {
        std::string all;
        for (const auto &v : vs) all += v + " ";
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

}  // namespace

std::vector<std::string> drawings(const Bytes &file) {
    kvgr::Decoder decoder(file);
    kvgr::Record record;
    std::vector<std::string> out;
    while (decoder.next(record)) {
        if (record.code >= kvgfmt::POINT_SIZE_FIRST && record.code <= kvgfmt::COLOR_SIZE) continue;
        TextSink sink;
        kvgtool::describe(record, decoder.header(), sink);
        out.push_back(std::string(kvgr::recordName(record.code)) + ": " + sink.fields);
    }
    EXPECT_FALSE(decoder.error()) << decoder.error()->message();
    return out;
}

}  // namespace kvgtest
