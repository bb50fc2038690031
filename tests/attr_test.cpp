// Graphic attributes: the attribute records' bytes, checks and mirror, and the setters and
// getters of the drawing interface with their conversions and layer-start defaults.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "test_support.h"
#include "unit_writer.h"

namespace kvgtest {
namespace {

// ---- Records on a bare stream (point and relative point size 32) ----

using Record = int (*)(KVGF_State *);

// A record call on `st`, with its text for failure messages.
#define RECORD(call) #call, [](KVGF_State *st) { return call; }

struct RecordCase {
    uint8_t color_size;
    const char *call;
    Record write;
    const char *expected;  // the bytes written, or the message of a refusal
    int code = KVG_ERR_NONE;
};

void PrintTo(const RecordCase &c, std::ostream *os) { *os << c.call; }

class AttributeRecordBytes : public ::testing::TestWithParam<RecordCase> {};

TEST_P(AttributeRecordBytes, AreCodeAndArgumentsInOrder) {
    StreamFixture stream;
    stream.state()->color_size = GetParam().color_size;
    EXPECT_EQ(GetParam().write(stream.state()), 0) << stream.message();
    EXPECT_EQ(hex(stream.bytes()), GetParam().expected);
}

constexpr uint8_t kRGB = KVG_COLOR_RGB;
constexpr uint8_t kIndex8 = KVG_COLOR_INDEX8;
const KVG_Color kColors[] = {0x112233, 0x445566, 0x778899};
const KVG_Color kIndexes[] = {1, 0, 2};

INSTANTIATE_TEST_SUITE_P(
    Records, AttributeRecordBytes,
    ::testing::Values(
        RecordCase{kRGB, RECORD(KVGF_SetBlendMode(st, 3)), "5E 03"},
        RecordCase{kRGB, RECORD(KVGF_SetLineColor(st, 0x112233)), "5F 11 22 33"},
        RecordCase{kRGB, RECORD(KVGF_SetLineDashes(st, 0x1F0F0)), "60 F0 F0"},
        RecordCase{kRGB, RECORD(KVGF_SetLineStyle(st, 1, 2, 3, 4)), "61 01 02 03 04"},
        RecordCase{kRGB, RECORD(KVGF_SetMarkStyle(st, 8, 300)), "63 08 81 2C"},
        // Twelve bits of grey are bit-packed; the final flush pads them.
        RecordCase{KVG_COLOR_GRAY12, RECORD(KVGF_SetFillColor(st, 0xABC)), "64 AB C0"},
        RecordCase{kRGB, RECORD(KVGF_SetGradientFill(st, 1, 2, 0x010203, -1, 300, 0xA0B0C0)),
                   "65 00 01 00 02 01 02 03 FF FF 01 2C A0 B0 C0"},
        RecordCase{kRGB, RECORD(KVGF_SetTextureFill(st, 500, -500, 200)),
                   "66 01 F4 FE 0C 80 C8"},
        RecordCase{kRGB, RECORD(KVGF_SetStretchedTextureFill(st, 500, 500, 20, 10, 7)),
                   "67 01 F4 01 F4 00 14 00 0A 07"},
        RecordCase{kRGB, RECORD(KVGF_SetImageStretchMode(st, 1)), "68 01"},
        RecordCase{KVG_COLOR_GRAY8, RECORD(KVGF_SetTextColor(st, 0x80)), "69 80"},
        RecordCase{kRGB, RECORD(KVGF_SetFont(st, 3, 3, 10)), "6A 03 03 0A"},
        // 90 degrees as (cos, sin) scaled by 32767 and floored; 263 keeps its low 8 bits.
        RecordCase{kRGB, RECORD(KVGF_SetTextAlignment(st, 263, 90)), "6B 07 00 00 7F FF"},
        RecordCase{kRGB, RECORD(KVGF_SetPalette(st, 3, kColors)),
                   "6C 02 11 22 33 44 55 66 77 88 99"},
        RecordCase{kIndex8, RECORD(KVGF_SetPalette(st, 2, kIndexes)), "6C 01 01 00"}));

// The whole state as bytes, to show that a refusal changed nothing in it.
std::vector<uint8_t> snapshot(const KVGF_State *st) {
    std::vector<uint8_t> bytes(sizeof *st);
    std::memcpy(bytes.data(), st, sizeof *st);
    return bytes;
}

class AttributeRecordRefusals : public ::testing::TestWithParam<RecordCase> {};

TEST_P(AttributeRecordRefusals, WriteNothingAndLeaveTheMirror) {
    StreamFixture stream;
    KVGF_State *st = stream.state();
    st->color_size = GetParam().color_size;
    st->point_size = 16;
    const std::vector<uint8_t> before = snapshot(st);

    EXPECT_EQ(GetParam().write(st), -1);
    EXPECT_EQ(stream.message(), GetParam().expected);
    EXPECT_EQ(stream.code(), GetParam().code);
    EXPECT_TRUE(snapshot(st) == before);
    EXPECT_EQ(hex(stream.bytes()), "");
}

constexpr const char *kBadColor = "Color KVG type invalid for current color size";
constexpr const char *kBadSize = "Size KVG type limit exceeded";
constexpr int kParam = KVG_ERR_PARAM;
constexpr int kLimits = KVG_ERR_LIMITS;

INSTANTIATE_TEST_SUITE_P(
    Records, AttributeRecordRefusals,
    ::testing::Values(
        RecordCase{kRGB, RECORD(KVGF_SetBlendMode(st, 8)), "Invalid blend mode", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetLineStyle(st, 4, 0, 6, 1)),
                   "Invalid line joint style", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetLineStyle(st, 0, 6, 0, 1)),
                   "Invalid line begin decoration style", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetLineStyle(st, 0, 0, 6, 1)),
                   "Invalid line end decoration style", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetMarkStyle(st, 9, 1)), "Invalid mark style", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetMarkStyle(st, 0, 4194304)), kBadSize, kLimits},
        RecordCase{kRGB, RECORD(KVGF_SetStretchedTextureFill(st, 0, 0, 0, 5, 0)),
                   "Invalid bounding box dimensions", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetTextureFill(st, 0, 0, 4194304)),
                   "Identifier KVG type limit exceeded", kLimits},
        RecordCase{kRGB, RECORD(KVGF_SetImageStretchMode(st, 2)),
                   "Invalid image stretch mode", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetFont(st, 4, 4, 1)), "Invalid font typeface", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetFont(st, 0, 4, 1)), "Invalid font style", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetFont(st, 0, 0, 4194304)), kBadSize, kLimits},
        RecordCase{kRGB, RECORD(KVGF_SetTextAlignment(st, 12, 0)),
                   "Invalid text alignment reference point", kParam},
        RecordCase{kRGB, RECORD(KVGF_SetLineColor(st, 0x01000000)), kBadColor, kLimits},
        // An index is never looked up beyond the palette, two entries by default.
        RecordCase{kIndex8, RECORD(KVGF_SetMarkColor(st, 2)), kBadColor, kLimits},
        RecordCase{kIndex8, RECORD(KVGF_SetTextColor(st, 256)), kBadColor, kLimits},
        RecordCase{KVG_COLOR_INDEX1, RECORD(KVGF_SetFillColor(st, 0xFFFFFFFF)), kBadColor, kLimits},
        RecordCase{KVG_COLOR_GRAY8, RECORD(KVGF_SetGradientFill(st, 0, 0, 1, 1, 1, 256)), kBadColor,
                   kLimits},
        // A point beyond the stream's size (16 here) records nothing.
        RecordCase{kRGB, RECORD(KVGF_SetGradientFill(st, 0, 0, 1, 1000, 1, 2)), ""},
        // Index 2 names no entry of the old palette; index 1 none of the new one-entry palette.
        RecordCase{kIndex8, RECORD(KVGF_SetPalette(st, 3, kIndexes)), kBadColor, kLimits},
        RecordCase{kIndex8, RECORD(KVGF_SetPalette(st, 1, kIndexes)), kBadColor, kLimits}));

TEST(AttributeRecordMirror, IndexPaletteRemapsTheOldOneAndKeepsItsColourSize) {
    StreamFixture stream;
    KVGF_State *st = stream.state();
    st->color_size = KVG_COLOR_GRAY8;
    const KVG_Color greys[] = {0x10, 0x20, 0x30};
    ASSERT_EQ(KVGF_SetPalette(st, 3, greys), 0);
    st->color_size = KVG_COLOR_INDEX8;
    const KVG_Color indexes[] = {2, 2, 0};
    ASSERT_EQ(KVGF_SetPalette(st, 3, indexes), 0);

    EXPECT_EQ(st->palette.length, 3);
    EXPECT_EQ(st->palette.color_size, KVG_COLOR_GRAY8);
    EXPECT_EQ(std::vector<uint32_t>(st->palette.colors, st->palette.colors + 3),
              (std::vector<uint32_t>{0x30, 0x30, 0x10}));
    EXPECT_EQ(hex(stream.bytes()), "6C 02 10 20 30 6C 02 02 02 00");
}

TEST(AttributeRecordMirror, FillModeFollowsTheLastFillRecord) {
    StreamFixture stream;
    KVGF_State *st = stream.state();
    st->color_size = KVG_COLOR_INDEX8;
    ASSERT_EQ(KVGF_SetGradientFill(st, 1, 2, 1, 3, 4, 0), 0);
    EXPECT_EQ(st->fill.mode, FILL_GRADIENT);
    EXPECT_EQ(st->fill.gradient_c0, 1u);  // gradient indexes stay indexes
    EXPECT_EQ(st->fill.gradient_color_size, KVG_COLOR_INDEX8);

    ASSERT_EQ(KVGF_SetStretchedTextureFill(st, 5, 6, 7, 8, 1), 0);
    ASSERT_EQ(KVGF_SetTextureFill(st, 9, 10, 2), 0);
    EXPECT_EQ(st->fill.mode, FILL_TEXTURE);
    EXPECT_EQ(st->fill.texture_ur_x, 7);  // a plain texture keeps the stretched extent

    ASSERT_EQ(KVGF_SetFillColor(st, 1), 0);
    EXPECT_EQ(st->fill.mode, FILL_COLOR);
    EXPECT_EQ(st->fill.color, 0u);
}

// ---- The drawing interface (default window: 20.48 file units per world unit) ----

TEST(AttributeWriter, SettersWriteEveryTimeAndFillSwitchWritesNothing) {
    WriterFixture writer;
    ASSERT_EQ(KVG_setLineColor(writer.get(), 0x112233), 0);
    ASSERT_EQ(KVG_setLineColor(writer.get(), 0x112233), 0);
    EXPECT_EQ(KVG_setFill(writer.get(), 5), 0);
    EXPECT_EQ(KVG_getFill(writer.get()), 1);
    EXPECT_EQ(KVG_setFill(writer.get(), 0), 1);
    EXPECT_EQ(hex(writer.closeLayerSection()), "5F 11 22 33 5F 11 22 33");
}

TEST(AttributeWriter, LineWeightIsScaledAndClampedToOneByte) {
    WriterFixture writer;
    KVG_File *fl = writer.get();
    int joint = -1, begin = -1, end = -1;
    uint8_t weight = 0;
    ASSERT_EQ(KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_ARROW, KVG_OVAL_ARROW, 2), 0);
    KVG_getLineStyle(fl, &joint, &begin, &end, &weight);
    EXPECT_EQ(std::vector<int>({joint, begin, end, weight}), std::vector<int>({2, 1, 5, 40}));

    ASSERT_EQ(KVG_setLineStyle(fl, 0, 0, 0, 0x10C), 0);  // low 8 bits 12: 245.76
    ASSERT_EQ(KVG_setLineStyle(fl, 0, 0, 0, 13), 0);     // 266.24 does not fit a byte
    KVG_getLineStyle(fl, nullptr, nullptr, nullptr, &weight);
    EXPECT_EQ(weight, 255);
    EXPECT_EQ(hex(writer.closeLayerSection()), "61 02 01 05 28 61 00 00 00 F5 61 00 00 00 FF");
}

TEST(AttributeWriter, FontSizeIsScaledAndLimited) {
    WriterFixture writer;
    KVG_File *fl = writer.get();
    ASSERT_EQ(KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_ITALIC, 10), 0);
    EXPECT_EQ(KVG_setFont(fl, 0, 0, 204800), -1);  // 4194304 file units
    EXPECT_EQ(writer.message(), "Font size too big");
    EXPECT_EQ(writer.code(), KVG_ERR_PARAM);

    uint8_t typeface = 0, style = 0;
    uint32_t size = 0;
    KVG_getFont(fl, &typeface, &style, &size);
    EXPECT_EQ(std::vector<uint32_t>({typeface, style, size}), std::vector<uint32_t>({2, 2, 204}));
    EXPECT_EQ(hex(writer.closeLayerSection()), "6A 02 02 80 CC");
}

// A length has no direction: a world window mirrored on one axis (y growing downwards) scales
// weights and font sizes as the unmirrored window does.
TEST(AttributeWriter, MirroredWindowScalesLengthsByItsMagnitude) {
    std::unique_ptr<KVG_FileOptions, OptionsDeleter> opt(plainOptions());
    KVG_setWorldFileOption(opt.get(), -100, 100, 100, -100);
    WriterFixture writer(opt.get());
    KVG_File *fl = writer.get();
    ASSERT_EQ(KVG_setLineStyle(fl, KVG_JOINT_ROUND, KVG_ARROW, KVG_OVAL_ARROW, 2), 0);
    ASSERT_EQ(KVG_setFont(fl, KVG_FONT_SERIF, KVG_FONT_ITALIC, 10), 0);
    EXPECT_EQ(hex(writer.closeLayerSection()), "61 02 01 05 28 6A 02 02 80 CC");
}

TEST(AttributeWriter, IndexColoursReadBackAsPaletteEntries) {
    WriterFixture writer;
    KVG_File *fl = writer.get();
    ASSERT_EQ(KVG_setColorSize(fl, KVG_COLOR_INDEX8), 0);
    ASSERT_EQ(KVG_setTextColor(fl, 1), 0);
    EXPECT_EQ(KVG_setLineColor(fl, 256), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_LIMITS);
    const KVG_Color swap[] = {1, 0};
    ASSERT_EQ(KVG_setPalette(fl, 2, swap), 0);

    KVG_Color color = 7;
    uint8_t color_size = 0;
    KVG_getTextColor(fl, &color, &color_size);
    EXPECT_EQ(color, 0u);
    EXPECT_EQ(color_size, KVG_COLOR_RGB);
    int ncolors = 0;
    KVG_Color colors[256] = {};
    KVG_getPalette(fl, &ncolors, colors, &color_size);
    EXPECT_EQ(std::vector<KVG_Color>(colors, colors + ncolors),
              (std::vector<KVG_Color>{0, 0xFFFFFF}));
    EXPECT_EQ(color_size, KVG_COLOR_RGB);
    EXPECT_EQ(hex(writer.closeLayerSection()), "5D 01 69 01 6C 01 01 00");
}

TEST(AttributeWriter, GradientPointsAreConvertedBothWays) {
    WriterFixture writer;
    KVG_File *fl = writer.get();
    // (10, 10) and (-10, 20) land on (205, 205) and (-205, 410): 24 bits for both.
    ASSERT_EQ(KVG_setGradientFill(fl, 10, 10, 0x0000FF, -10, 20, 0xFF0000), 0);
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    KVG_Color c1 = 0, c2 = 0;
    uint8_t color_size = 0;
    KVG_getGradientFill(fl, &x1, &y1, &c1, &x2, &y2, &c2, &color_size);
    EXPECT_DOUBLE_EQ(x1, 205 / 20.48);
    EXPECT_DOUBLE_EQ(x2, -205 / 20.48);
    EXPECT_DOUBLE_EQ(y2, 410 / 20.48);
    EXPECT_EQ(c2, 0xFF0000u);
    EXPECT_EQ(color_size, KVG_COLOR_RGB);
    EXPECT_EQ(hex(writer.closeLayerSection()), "51 65 0C D0 CD 00 00 FF F3 31 9A FF 00 00");
}

TEST(AttributeWriter, TexturesNeedADefinedImage) {
    WriterFixture writer;
    EXPECT_EQ(KVG_setTextureFill(writer.get(), 0, 0, 0), -1);
    EXPECT_EQ(KVG_setStretchedTextureFill(writer.get(), 0, 0, 1, 1, 0), -1);
    EXPECT_EQ(writer.message(), "Invalid image identifier");
    EXPECT_EQ(writer.code(), KVG_ERR_PARAM);
    EXPECT_EQ(hex(writer.closeLayerSection()), "");
}

// Image 0 is defined, so the layer section is the file's tail.
class StretchedTexture : public ::testing::Test {
protected:
    void SetUp() override {
        const KVG_Color pixel = 0x123456;
        uint32_t id = 99;
        ASSERT_EQ(KVG_setImage(writer.get(), 1, 1, &pixel, &id), 0);
    }
    std::string layerSection(size_t size) {
        const Bytes all = writer.close();
        return hex(Bytes(all.end() - static_cast<long>(size), all.end()));
    }
    WriterFixture writer;
};

TEST_F(StretchedTexture, RoundTripsThroughTheGrid) {
    EXPECT_EQ(KVG_setStretchedTextureFill(writer.get(), 10, 10, 5, 0, 0), -1);
    EXPECT_EQ(writer.message(), "Invalid destination rectangle dimensions");
    // Corners 204.8 and 307.2 quantize to 205 and 307: the extent is 102.
    ASSERT_EQ(KVG_setStretchedTextureFill(writer.get(), 10, 10, 5, 5, 0), 0);
    double x = 0, w = 0, h = 0;
    KVG_getStretchedTextureFill(writer.get(), &x, nullptr, &w, &h, nullptr);
    EXPECT_DOUBLE_EQ(x, 205 / 20.48);
    EXPECT_DOUBLE_EQ(w, 102 / 20.48);  // about 4.98
    EXPECT_DOUBLE_EQ(h, 102 / 20.48);
    EXPECT_EQ(layerSection(9), "51 58 67 0C D0 CD 66 66 00");
}

TEST_F(StretchedTexture, NarrowerThanTheGridKeepsItsExactExtent) {
    // Both corners quantize to 205: the extent 0.01 x 20.48 goes out as singles.
    ASSERT_EQ(KVG_setStretchedTextureFill(writer.get(), 10, 10, 0.01, 0.01, 0), 0);
    double w = 0;
    KVG_getStretchedTextureFill(writer.get(), nullptr, nullptr, &w, nullptr, nullptr);
    EXPECT_NEAR(w, 0.01, 1e-12);
    EXPECT_EQ(layerSection(15), "51 5B 67 0C D0 CD 3E 51 B7 17 3E 51 B7 17 00");
}

TEST(AttributeWriter, LayerStartRestoresDefaultsButKeepsMarks) {
    WriterFixture writer;
    KVG_File *fl = writer.get();
    int type = -1;
    uint32_t size = 0;
    KVG_Color color = 7;
    uint8_t color_size = 0;
    KVG_getMarkStyle(fl, &type, &size);
    KVG_getMarkColor(fl, &color, &color_size);
    EXPECT_EQ(std::vector<uint32_t>({uint32_t(type), size, color, color_size}),
              std::vector<uint32_t>({KVG_MARK_PLUS, 1, 0, KVG_COLOR_RGB}));

    ASSERT_EQ(KVG_setLineDashes(fl, 0xF0F0), 0);
    ASSERT_EQ(KVG_setBlendMode(fl, KVG_BLEND_CLEAR), 0);
    ASSERT_EQ(KVG_setMarkStyle(fl, KVG_MARK_STAR, 9), 0);
    ASSERT_EQ(KVG_setTextAlignment(fl, KVG_TEXT_NORTH, 45), 0);
    KVG_setFill(fl, 1);
    ASSERT_EQ(KVG_beginLayer(fl, "L", 1, 1), 0);

    EXPECT_EQ(KVG_getLineDashes(fl), 0xFFFF);
    EXPECT_EQ(KVG_getBlendMode(fl), KVG_BLEND_SOURCE_OVER_DEST);
    EXPECT_EQ(KVG_getFill(fl), 0);
    uint8_t alignment = 0;
    KVG_getTextAlignment(fl, &alignment, nullptr);
    EXPECT_EQ(alignment, KVG_TEXT_BASECENTER);
    KVG_getMarkStyle(fl, &type, &size);
    EXPECT_EQ(type, KVG_MARK_STAR);
    EXPECT_EQ(size, 9u);
    int ncolors = 0;
    KVG_Color colors[256] = {};
    KVG_getPalette(fl, &ncolors, colors, &color_size);
    EXPECT_EQ(std::vector<KVG_Color>(colors, colors + ncolors),
              (std::vector<KVG_Color>{0xFFFFFF, 0}));
    EXPECT_EQ(color_size, KVG_COLOR_RGB);
}

}  // namespace
}  // namespace kvgtest
