// What the programs of examples/ and the README's blocks drew: each file is valid, and the
// examples' pictures (rendered by kvg svg and rsvg-convert at 96 pixels an inch) show what the
// programs promise, at the places where they put it. The files come from build.sh, in the
// directory that KVG_EXAMPLES_OUT names.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "test_support.h"
#include "tool_support.h"

namespace kvgtest {
namespace {

namespace fs = std::filesystem;

fs::path outputs() {
    const char *dir = std::getenv("KVG_EXAMPLES_OUT");
    return dir != nullptr ? dir : "";
}

// An example's picture, with its page in millimetres to place things by.
class Picture {
public:
    Picture(const std::string &name, double width_mm, double height_mm)
        : height_mm_(height_mm) {
        const fs::path kvgPath = outputs() / name / (name + ".kvg");
        const std::string svgPath = (outputs() / name / (name + ".svg")).string();
        const ToolRun r = kvg({"svg", kvgPath.string(), "-o", svgPath});
        if (r.status != 0) throw std::runtime_error("kvg svg " + kvgPath.string() + ": " + r.err);
        image_ = rasterize(svgPath);
        EXPECT_EQ(image_.width, static_cast<uint32_t>(pixelsFor(width_mm)));
    }

    // The pixel at (x, y) millimetres from the page's lower-left corner.
    Rgba at(double x_mm, double y_mm) const {
        return image_.at(pixel(x_mm), pixel(height_mm_ - y_mm));
    }
    // How many pixels of the rectangle (millimetres, lower-left corner and size) pass `test`.
    int count(double x_mm, double y_mm, double w_mm, double h_mm,
              const std::function<bool(Rgba)> &test) const {
        int n = 0;
        for (uint32_t py = pixel(height_mm_ - y_mm - h_mm); py < pixel(height_mm_ - y_mm); ++py) {
            for (uint32_t px = pixel(x_mm); px < pixel(x_mm + w_mm); ++px) {
                n += test(image_.at(px, py)) ? 1 : 0;
            }
        }
        return n;
    }
    int countAll(uint32_t rgb) const { return count(0, 0, width(), height_mm_, colour(rgb)); }
    double width() const { return image_.width * 25.4 / 96; }

    static std::function<bool(Rgba)> colour(uint32_t rgb) {
        return [rgb](Rgba c) { return near(c, rgb); };
    }
    static bool dark(Rgba c) { return c.r < 90 && c.g < 90 && c.b < 90; }
    // A thin light grey line partly covering the pixel: grey, neither dark nor white.
    static bool lightGrey(Rgba c) {
        return c.r == c.g && c.g == c.b && c.r > 120 && c.r < 240;
    }

    // The runs of pixels that pass `test` along the row at `y_mm`, from x0_mm to x1_mm.
    int runs(double y_mm, double x0_mm, double x1_mm, const std::function<bool(Rgba)> &test) const {
        int n = 0;
        bool inside = false;
        const uint32_t py = pixel(height_mm_ - y_mm);
        for (uint32_t px = pixel(x0_mm); px < pixel(x1_mm); ++px) {
            const bool passes = test(image_.at(px, py));
            n += passes && !inside ? 1 : 0;
            inside = passes;
        }
        return n;
    }

private:
    uint32_t pixel(double mm) const {
        const double p = std::floor(mm * 96 / 25.4);
        return static_cast<uint32_t>(std::clamp(p, 0.0, double(image_.width) - 1));
    }

    double height_mm_;
    Image image_;
};

class ExamplePictures : public testing::Test {
protected:
    void SetUp() override {
        if (outputs().empty()) GTEST_SKIP() << "KVG_EXAMPLES_OUT names no directory";
        if (!haveRsvg()) GTEST_SKIP() << "rsvg-convert is not installed";
    }
};

// The world -100..100 maps onto the 100 mm page: world w lies at 50 + w / 2 mm.
TEST_F(ExamplePictures, PolylineShowsAZigzagAFilledTriangleAndALabel) {
    const Picture p("polyline", 100, 100);
    EXPECT_GT(p.countAll(0x2B5C8A), 400) << "the zigzag";
    EXPECT_TRUE(near(p.at(50, 70), 0xE8A33D)) << describe(p.at(50, 70));  // inside the triangle
    EXPECT_TRUE(near(p.at(50, 88), 0xFFFFFF)) << "nothing above it";
    EXPECT_GT(p.count(35, 22, 30, 6, Picture::dark), 80) << "the label";
}

// World units are tenths of a millimetre on a 160 x 100 mm page.
TEST_F(ExamplePictures, ChartShowsTwoSeriesAxesTicksAndALegend) {
    const Picture p("chart", 160, 100);
    EXPECT_GT(p.countAll(0x1F77B4), 500) << "the Oslo series";
    EXPECT_GT(p.countAll(0xD62728), 500) << "the Lisbon series";
    EXPECT_GT(p.count(17, 11.8, 105, 0.5, Picture::dark), 300) << "the x axis";
    EXPECT_GT(p.count(15.8, 13, 0.5, 76, Picture::dark), 200) << "the y axis";
    EXPECT_GT(p.count(16, 6, 106, 4, Picture::dark), 300) << "the month labels below it";
    // Twelve month ticks, 2 mm long below the x axis, and no tick between two months.
    EXPECT_EQ(p.runs(11, 17, 122, Picture::dark), 12) << "the month ticks";
    EXPECT_EQ(p.runs(31.5, 13.5, 15.7, Picture::dark), 1) << "the tick of 0 degrees";
    // The grid line of 10 degrees, dashed 2 mm on and 2 mm off across the 106 mm of the plot
    // (the two series cross it at a few places).
    EXPECT_GT(p.runs(51, 17, 122, Picture::lightGrey), 15) << "the dashed grid";
    EXPECT_GT(p.count(130, 84, 10, 2, Picture::colour(0x1F77B4)), 60) << "Oslo's swatch";
    EXPECT_GT(p.count(130, 74, 10, 2, Picture::colour(0xD62728)), 60) << "Lisbon's swatch";
    EXPECT_GT(p.count(143, 72, 15, 16, Picture::dark), 100) << "the legend's names";
    EXPECT_GT(p.count(40, 93, 80, 6, Picture::dark), 300) << "the title";
}

// The track is drawn in orange across most of the 150 mm page, with its start and end marks
// and the scale bar.
TEST_F(ExamplePictures, TrackShowsTheTrackItsEndsAndAScale) {
    const Picture p("track", 150, 150);
    EXPECT_GT(p.countAll(0xE66100), 1500) << "the track";
    EXPECT_GT(p.count(0, 0, 50, 150, Picture::colour(0xE66100)), 100) << "reaching left";
    EXPECT_GT(p.count(100, 0, 50, 150, Picture::colour(0xE66100)), 100) << "reaching right";
    EXPECT_GT(p.countAll(0x1A9641), 40) << "the start";
    EXPECT_GT(p.countAll(0xD7191C), 40) << "the end";
    EXPECT_GT(p.count(8, 9, 60, 2, Picture::dark), 150) << "the scale bar";
}

// The world is the 120 x 80 mm page in millimetres.
TEST_F(ExamplePictures, PlanarMapShowsCountriesALakeAndAnIslandInIt) {
    const Picture p("planar_map", 120, 80);
    const auto expectColour = [&p](double x, double y, uint32_t rgb, const char *what) {
        EXPECT_TRUE(near(p.at(x, y), rgb)) << what << ": " << describe(p.at(x, y));
    };
    expectColour(55, 20, 0x7FBF7B, "West");
    expectColour(50, 63, 0x7FBF7B, "West");
    expectColour(95, 50, 0xF1D67B, "East");
    expectColour(45, 33, 0x6BAED6, "the lake");
    expectColour(34, 40, 0x7FBF7B, "the island, filled as West again");
    expectColour(3, 75, 0xDDEEFF, "the sea");
    // The dashed border, over more than one of its 8 mm periods.
    EXPECT_GT(p.count(56, 28, 12, 24, Picture::colour(0x404040)), 100) << "the border";
    EXPECT_GT(p.count(80, 37, 12, 6, Picture::dark), 40) << "East's name";
}

// The README's blocks wrote valid files.
TEST_F(ExamplePictures, ReadmeBlocksWriteValidFiles) {
    int files = 0;
    for (const auto &entry : fs::directory_iterator(outputs() / "readme")) {
        if (entry.path().extension() != ".kvg") continue;
        ++files;
        EXPECT_NO_THROW(expectValidKvg(entry.path().string())) << entry.path();
    }
    EXPECT_GE(files, 2);
}

}  // namespace
}  // namespace kvgtest
