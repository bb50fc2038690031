// Colour values: packing and unpacking in every colour mode that has components.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "kvgwriter.h"

namespace {

TEST(ColorValues, EncodersTruncateFractionsAndPackComponents) {
    EXPECT_EQ(KVG_encodeRGBAColor(0x12, 0x34, 0x56, 1.0), 0x123456FFu);
    EXPECT_EQ(KVG_encodeRGBAColor(0x12, 0x34, 0x56, 0.5), 0x1234567Fu);
    EXPECT_EQ(KVG_encodeRGBAColor(0x12, 0x34, 0x56, 0.0), 0x12345600u);
    EXPECT_EQ(KVG_encodeRGBColor(255, 128, 0), 0x00FF8000u);
    EXPECT_EQ(KVG_encodeGAColor(0.5, 1.0), 0x7FFFFFFFu);
    EXPECT_EQ(KVG_encodeGAColor(1.0, 0.0), 0xFFFF0000u);
    EXPECT_EQ(KVG_encodeG8Color(1.0), 255u);
    EXPECT_EQ(KVG_encodeG8Color(0.999), 254u);
    EXPECT_EQ(KVG_encodeG12Color(0.5), 2047u);
    EXPECT_EQ(KVG_encodeG16Color(1.0), 65535u);
}

TEST(ColorValues, ComponentDecodersStoreEveryField) {
    uint8_t r = 9, g = 9, b = 9;
    double gray = -1, alpha = -1;
    EXPECT_EQ(KVG_decodeRGBAColor(0xFF00007F, &r, &g, &b, &alpha), 0);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(alpha, 127 / 255.0);
    // Bits above the RGB value are reported, the components stored all the same.
    EXPECT_EQ(KVG_decodeRGBColor(0x01FF8001, &r, &g, &b), -1);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{255, 128, 1}));
    EXPECT_EQ(KVG_decodeGAColor(0x7FFFFFFF, &gray, &alpha), 0);
    EXPECT_EQ(gray, 32767 / 65535.0);
    EXPECT_EQ(alpha, 1.0);
}

TEST(ColorValues, GreyDecodersStoreTheFieldAndReportHigherBits) {
    const struct {
        int (*decode)(KVG_Color, double *);
        KVG_Color color;
        double gray;
        int result;
    } cases[] = {
        {KVG_decodeG8Color, 255, 1.0, 0},
        {KVG_decodeG8Color, 0x1FF, 1.0, -1},
        {KVG_decodeG12Color, 2047, 2047 / 4095.0, 0},
        {KVG_decodeG12Color, 4096, 0.0, -1},
        {KVG_decodeG16Color, 0x10001, 1 / 65535.0, -1},
    };
    for (const auto &c : cases) {
        double gray = -1;
        EXPECT_EQ(c.decode(c.color, &gray), c.result) << c.color;
        EXPECT_EQ(gray, c.gray) << c.color;
        EXPECT_EQ(c.decode(c.color, nullptr), c.result) << c.color;
    }
    EXPECT_EQ(KVG_decodeRGBAColor(1, nullptr, nullptr, nullptr, nullptr), 0);
    EXPECT_EQ(KVG_decodeRGBColor(0x01000000, nullptr, nullptr, nullptr), -1);
}

TEST(ColorValuesDeathTest, FractionsOutsideZeroToOneStopTheProcess) {
    EXPECT_DEATH(KVG_encodeG8Color(-0.1), "gray >= 0.0");
    EXPECT_DEATH(KVG_encodeG12Color(1.1), "gray <= 1.0");
    EXPECT_DEATH(KVG_encodeG16Color(std::nan("")), "gray >= 0.0");
    EXPECT_DEATH(KVG_encodeRGBAColor(0, 0, 0, 2.0), "alpha <= 1.0");
    EXPECT_DEATH(KVG_encodeGAColor(0.5, -1.0), "alpha >= 0.0");
}

}  // namespace
