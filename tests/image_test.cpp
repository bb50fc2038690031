// Images: definitions in every kind of colour mode with the palette and colour-size records
// they need, refused pixels, and whole and partial uses.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "unit_writer.h"

namespace kvgtest {
namespace {

struct DefinitionCase {
    const char *name;
    std::function<void(KVG_File *)> prepare;  // sets the current stream's mode and palette
    uint16_t w, h;
    std::vector<KVG_Color> pixels;
    const char *definitions;
    const char *layers;
};

class ImageDefinitions : public ::testing::TestWithParam<DefinitionCase> {};

TEST_P(ImageDefinitions, CarryTheCurrentModeAndPalette) {
    const DefinitionCase &c = GetParam();
    UnitWriter writer;
    c.prepare(writer.get());
    uint32_t id = UINT32_MAX;
    ASSERT_EQ(KVG_setImage(writer.get(), c.w, c.h, c.pixels.data(), &id), 0);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(hex(writer.close()), hex(unitFile(c.definitions, c.layers)));
}

void setMode(KVG_File *fl, int mode) { ASSERT_EQ(KVG_setColorSize(fl, mode), 0); }

INSTANTIATE_TEST_SUITE_P(
    Modes, ImageDefinitions,
    ::testing::Values(
        // The definitions stream already is in RGB: no size record.
        DefinitionCase{"Rgb", [](KVG_File *) {}, 2, 1, {0x112233, 0x445566},
                       "6D 00 02 00 01 11 22 33 44 55 66", ""},
        // The default palettes are equal: only the size changes. Bits 101, padded.
        DefinitionCase{"Index1", [](KVG_File *fl) { setMode(fl, KVG_COLOR_INDEX1); }, 3, 1,
                       {1, 0, 1}, "5D 00 6D 00 03 00 01 A0", "5D 00"},
        DefinitionCase{"Gray12", [](KVG_File *fl) { setMode(fl, KVG_COLOR_GRAY12); }, 2, 1,
                       {0xABC, 0x123}, "5D 03 6D 00 02 00 01 AB C1 23", "5D 03"},
        DefinitionCase{"Rgba", [](KVG_File *fl) { setMode(fl, KVG_COLOR_RGBA); }, 1, 1,
                       {0x11223344}, "5D 07 6D 00 01 00 01 11 22 33 44", "5D 07"},
        // A grey palette goes out in its own mode before the indexes switch the mode.
        DefinitionCase{"GrayPalette",
                       [](KVG_File *fl) {
                           const KVG_Color grays[] = {0x10, 0x20};
                           setMode(fl, KVG_COLOR_GRAY8);
                           ASSERT_EQ(KVG_setPalette(fl, 2, grays), 0);
                           setMode(fl, KVG_COLOR_INDEX1);
                       },
                       2, 1, {1, 0}, "5D 02 6C 01 10 20 5D 00 6D 00 02 00 01 80",
                       "5D 02 6C 01 10 20 5D 00"},
        DefinitionCase{"Empty", [](KVG_File *) {}, 0, 0, {0}, "6D 00 00 00 00", ""}),
    [](const ::testing::TestParamInfo<DefinitionCase> &info) {
        return std::string(info.param.name);
    });

// Red, green, blue, then INDEX8: the layer stream's palette differs from the definitions'.
void useRgbPaletteIndexes(KVG_File *fl) {
    const KVG_Color rgb[] = {0xFF0000, 0x00FF00, 0x0000FF};
    ASSERT_EQ(KVG_setPalette(fl, 3, rgb), 0);
    setMode(fl, KVG_COLOR_INDEX8);
}
constexpr const char *kRgbPaletteRecords = "6C 02 FF 00 00 00 FF 00 00 00 FF 5D 01";

TEST(ImageWriter, PaletteIsWrittenOnceUntilItChanges) {
    UnitWriter writer;
    useRgbPaletteIndexes(writer.get());
    const KVG_Color first[] = {0, 1, 2, 1};
    const KVG_Color second[] = {2};
    uint32_t ids[3] = {UINT32_MAX, UINT32_MAX, UINT32_MAX};
    ASSERT_EQ(KVG_setImage(writer.get(), 2, 2, first, &ids[0]), 0);
    ASSERT_EQ(KVG_setImage(writer.get(), 1, 1, second, &ids[1]), 0);
    // Remapped to blue, red, green: sent again, in its own RGB mode.
    const KVG_Color remap[] = {2, 0, 1};
    ASSERT_EQ(KVG_setPalette(writer.get(), 3, remap), 0);
    const KVG_Color red[] = {1};
    ASSERT_EQ(KVG_setImage(writer.get(), 1, 1, red, &ids[2]), 0);

    EXPECT_EQ(ids[0], 0u);
    EXPECT_EQ(ids[1], 1u);
    EXPECT_EQ(ids[2], 2u);
    EXPECT_EQ(hex(writer.close()),
              hex(unitFile(std::string(kRgbPaletteRecords) +
                               " 6D 00 02 00 02 00 01 02 01 6D 00 01 00 01 02"
                               " 5D 06 6C 02 00 00 FF FF 00 00 00 FF 00 5D 01 6D 00 01 00 01 01",
                           std::string(kRgbPaletteRecords) + " 6C 02 02 00 01")));
}

// A refused image leaves no trace: no palette or size record, no partial pixels, and the next
// image still gets the first identifier.
TEST(ImageWriter, RefusedPixelWritesNothing) {
    UnitWriter writer;
    useRgbPaletteIndexes(writer.get());
    const KVG_Color beyond_palette[] = {0, 1, 3};
    uint32_t id = UINT32_MAX;
    EXPECT_EQ(KVG_setImage(writer.get(), 3, 1, beyond_palette, &id), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_LIMITS);
    EXPECT_EQ(writer.message(), "Color KVG type invalid for current color size");
    EXPECT_EQ(id, UINT32_MAX);

    setMode(writer.get(), KVG_COLOR_RGB);
    const KVG_Color too_wide[] = {0x112233, 0x1000000};
    EXPECT_EQ(KVG_setImage(writer.get(), 2, 1, too_wide, &id), -1);
    EXPECT_EQ(id, UINT32_MAX);

    const KVG_Color pixel = 0x445566;
    ASSERT_EQ(KVG_setImage(writer.get(), 1, 1, &pixel, &id), 0);
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(hex(writer.close()),
              hex(unitFile("6D 00 01 00 01 44 55 66", std::string(kRgbPaletteRecords) + " 5D 06")));
}

uint32_t defineImage(KVG_File *fl) {
    const KVG_Color pixel = 0x112233;
    uint32_t id = UINT32_MAX;
    EXPECT_EQ(KVG_setImage(fl, 1, 1, &pixel, &id), 0);
    return id;
}
constexpr const char *kImage = "6D 00 01 00 01 11 22 33";

TEST(ImageWriter, UsesWriteTheirRectangles) {
    UnitWriter writer;
    const uint32_t id = defineImage(writer.get());
    ASSERT_EQ(KVG_image(writer.get(), id, 10, 20, 30, 40), 0);
    ASSERT_EQ(KVG_subImage(writer.get(), id, 1, 2, 3, 4, 10, 20, 30, 40), 0);
    // The far source corner passes 65535 without wrapping and needs single precision.
    ASSERT_EQ(KVG_subImage(writer.get(), id, 65535, 0, 65535, 1, 10, 20, 30, 40), 0);
    EXPECT_EQ(hex(writer.close()),
              hex(unitFile(kImage,
                           "50 58 3A 00 0A 14 1E 28 19 00 01 02 04 06 0A 14 1E 28 "
                           "53 5B 19 00 47 7F FF 00 00 00 00 00 47 FF FF 00 3F 80 00 00 "
                           "41 20 00 00 41 A0 00 00 41 F0 00 00 42 20 00 00")));
}

TEST(ImageWriter, ImageInsideShapeDrawsIntoTheShape) {
    UnitWriter writer;
    const uint32_t image = defineImage(writer.get());
    uint32_t shape = UINT32_MAX;
    ASSERT_EQ(KVG_beginSetShape(writer.get(), 10, 20, &shape), 0);
    ASSERT_EQ(KVG_image(writer.get(), image, 10, 20, 30, 40), 0);
    ASSERT_EQ(KVG_endSetShape(writer.get()), 0);
    EXPECT_EQ(hex(writer.close()),
              hex(unitFile(std::string(kImage) + " 50 6F 0A 14 58 3A 00 0A 14 1E 28 70", "")));
}

TEST(ImageWriter, DestinationRoundingToNothingWritesNothing) {
    UnitWriter writer;
    const uint32_t id = defineImage(writer.get());
    EXPECT_EQ(KVG_image(writer.get(), id, 10, 20, 0.4, 40), -2);
    EXPECT_EQ(KVG_subImage(writer.get(), id, 0, 0, 1, 1, 10, 20, 30, 0.4), -2);
    EXPECT_EQ(writer.code(), KVG_ERR_NONE);
    EXPECT_EQ(hex(writer.close()), hex(unitFile(kImage, "")));
}

struct UseFailure {
    const char *name;
    std::function<int(KVG_File *)> call;  // image 0 is defined, image 1 is not
    const char *message;
};

class ImageUseFailures : public ::testing::TestWithParam<UseFailure> {};

TEST_P(ImageUseFailures, AreParameterErrors) {
    UnitWriter writer;
    defineImage(writer.get());
    EXPECT_EQ(GetParam().call(writer.get()), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_PARAM);
    EXPECT_EQ(writer.message(), GetParam().message);
    EXPECT_EQ(hex(writer.close()), hex(unitFile(kImage, "")));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, ImageUseFailures,
    ::testing::Values(
        // The identifier is checked first, then the destination, then the source.
        UseFailure{"ImageUndefined", [](KVG_File *fl) { return KVG_image(fl, 1, 0, 0, 0, 10); },
                   "Invalid image identifier"},
        UseFailure{"SubImageUndefined",
                   [](KVG_File *fl) { return KVG_subImage(fl, 1, 0, 0, 0, 1, 0, 0, -1, 10); },
                   "Invalid image identifier"},
        UseFailure{"ImageZeroWidth", [](KVG_File *fl) { return KVG_image(fl, 0, 0, 0, 0, 10); },
                   "Invalid destination rectangle dimensions"},
        UseFailure{"SubImageNegativeHeight",
                   [](KVG_File *fl) { return KVG_subImage(fl, 0, 0, 0, 0, 1, 0, 0, 10, -1); },
                   "Invalid destination rectangle dimensions"},
        UseFailure{"SubImageZeroSourceWidth",
                   [](KVG_File *fl) { return KVG_subImage(fl, 0, 0, 0, 0, 1, 0, 0, 10, 10); },
                   "Invalid sub-image rectangle dimensions"},
        UseFailure{"SubImageZeroSourceHeight",
                   [](KVG_File *fl) { return KVG_subImage(fl, 0, 5, 5, 1, 0, 0, 0, 10, 10); },
                   "Invalid sub-image rectangle dimensions"}),
    [](const ::testing::TestParamInfo<UseFailure> &info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kvgtest
