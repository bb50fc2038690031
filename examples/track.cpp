// A GPS track: a CSV file of longitude/latitude points drawn as a line on a 150 x 150 mm page,
// with its start and end marked, its length and a scale bar, through the C++ interface.
//
// The points are projected onto metres (x east, y north, from the first point; longitudes
// shrink by the cosine of the latitude), and the world window is the track's extent in metres
// with a margin. Line weights and font sizes are whole world units, so here whole metres: the
// program computes how many metres make a millimetre on the page.
//
// Usage: track [TRACK.csv [OUT.kvg]]    (default data/track.csv, track.kvg)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "kvgwriter.hpp"

namespace {

constexpr double PAGE_MM = 150.0;
constexpr double METRES_PER_DEGREE = 111'320.0;
constexpr double PI = 3.14159265358979323846;

// The track's points, in degrees; throws on a line that is not two numbers.
std::vector<kvg::Point> readTrack(const std::string &path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error(path + ": cannot be read");
    std::vector<kvg::Point> points;
    std::string line;
    std::getline(in, line);  // the header: longitude,latitude
    for (int number = 2; std::getline(in, line); ++number) {
        std::istringstream fields(line);
        kvg::Point p{};
        char comma = 0;
        if (!(fields >> p.x >> comma >> p.y) || comma != ',')
            throw std::runtime_error(path + ":" + std::to_string(number) + ": not lon,lat");
        points.push_back(p);
    }
    if (points.size() < 2) throw std::runtime_error(path + ": fewer than two points");
    return points;
}

// Longitude and latitude onto metres east and north of the first point.
std::vector<kvg::Point> project(const std::vector<kvg::Point> &degrees) {
    const kvg::Point origin = degrees.front();
    const double shrink = std::cos(origin.y * PI / 180);
    std::vector<kvg::Point> metres;
    for (const kvg::Point &p : degrees) {
        metres.push_back({(p.x - origin.x) * METRES_PER_DEGREE * shrink,
                          (p.y - origin.y) * METRES_PER_DEGREE});
    }
    return metres;
}

double length(const std::vector<kvg::Point> &metres) {
    double sum = 0;
    for (size_t i = 1; i < metres.size(); ++i)
        sum += std::hypot(metres[i].x - metres[i - 1].x, metres[i].y - metres[i - 1].y);
    return sum;
}

// The square window around the track, with a margin of a tenth on every side.
kvg::Window windowAround(const std::vector<kvg::Point> &metres) {
    auto [left, right] = std::minmax_element(metres.begin(), metres.end(),
                                             [](auto a, auto b) { return a.x < b.x; });
    auto [bottom, top] = std::minmax_element(metres.begin(), metres.end(),
                                             [](auto a, auto b) { return a.y < b.y; });
    const double cx = (left->x + right->x) / 2, cy = (bottom->y + top->y) / 2;
    const double half = std::max(right->x - left->x, top->y - bottom->y) * 0.6;
    return {cx - half, cx + half, cy - half, cy + half};
}

void draw(kvg::File &f, const std::vector<kvg::Point> &metres, const kvg::Window &window) {
    const double metresPerMm = (window.xmax - window.xmin) / PAGE_MM;
    const auto mm = [metresPerMm](double millimetres) {
        return static_cast<uint32_t>(std::lround(millimetres * metresPerMm));
    };
    // A line weight holds at most 255 world units.
    const auto weight = [&mm](double millimetres) {
        return static_cast<uint8_t>(std::min<uint32_t>(mm(millimetres), 255));
    };
    f.beginLayer("track");
    f.setLineColor(0xE66100);  // orange
    f.setLineStyle(KVG_JOINT_ROUND, KVG_NO_ARROW, KVG_ARROW, weight(0.8));
    f.polyline(metres);

    f.beginLayer("waypoints");
    f.setMarkColor(0x1A9641);  // green start
    f.setMarkStyle(KVG_MARK_CIRCLE, 14);  // 14/96 inch, 3.7 mm
    f.mark(metres.front().x, metres.front().y);
    f.setMarkColor(0xD7191C);  // red end
    f.setMarkStyle(KVG_MARK_BOX, 14);
    f.mark(metres.back().x, metres.back().y);

    // The length beside the start, and a scale bar of one kilometre in the lower-left corner.
    char text[32];
    std::snprintf(text, sizeof text, "%.1f km", length(metres) / 1000);
    f.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_BOLD, mm(5));
    f.setTextAlignment(KVG_TEXT_WEST, 0);
    f.text(metres.front().x + mm(4), metres.front().y, text);
    const double x0 = window.xmin + mm(10), y0 = window.ymin + mm(10);
    f.setLineStyle(KVG_JOINT_DEFAULT, KVG_NO_ARROW, KVG_NO_ARROW, weight(1));
    f.line(x0, y0, x0 + 1000, y0);
    f.setFont(KVG_FONT_SANS_SERIF, KVG_FONT_PLAIN, mm(4));
    f.setTextAlignment(KVG_TEXT_SOUTH, 0);
    f.text(x0 + 500, y0 + mm(2), "1 km");
}

}  // namespace

int main(int argc, char **argv) {
    const std::string input = argc > 1 ? argv[1] : "data/track.csv";
    const std::string output = argc > 2 ? argv[2] : "track.kvg";
    try {
        const std::vector<kvg::Point> metres = project(readTrack(input));
        const kvg::Window window = windowAround(metres);
        // If anything below throws, the file is abandoned: `output` keeps what it held.
        kvg::File f(output, {.world = window, .width_mm = PAGE_MM, .height_mm = PAGE_MM});
        draw(f, metres, window);
        f.close();
        std::printf("wrote %s: %zu points\n", output.c_str(), metres.size());
    } catch (const std::exception &e) {
        std::fprintf(stderr, "track: %s\n", e.what());
        return 1;
    }
}
