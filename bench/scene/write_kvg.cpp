// The scene through kvgwriter: the map's edges and faces as definitions, a layer that fills
// every face and draws every edge, and a layer of the figures. And the walk drawn as it goes,
// for the memory check.
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "kvgwriter.h"
#include "writers.h"

namespace scene {

namespace {

// Drawing calls give 0, -1 on failure, or -2 when the figure vanished on the grid (a vertex
// on its predecessor), which is no failure.
void check(KVG_File *fl, int result) {
    if (result == -1) throw std::runtime_error(KVG_getErrorDescription(fl));
}

// The calls that draw the scene's points: one per point, or one per figure.
enum class Calls { PER_POINT, BULK };

void defineMap(KVG_File *fl, const Scene &s, Calls calls) {
    for (const Slice &edge : s.edges) {
        const auto points = s.points(edge);
        int32_t id = 0;
        if (calls == Calls::BULK) {
            check(fl, KVG_setEdge(fl, &id, points.size(), &points[0].x));
            continue;
        }
        check(fl, KVG_beginSetEdge(fl, &id, points[0].x, points[0].y));
        for (size_t i = 1; i < points.size(); ++i) {
            check(fl, KVG_vertexSetEdge(fl, points[i].x, points[i].y));
        }
        check(fl, KVG_endSetEdge(fl));
    }
    for (const Face &face : s.faces) {
        uint32_t id = 0;
        check(fl, KVG_beginSetFace(fl, &id));
        for (int32_t edge : s.edgesOf(face)) {
            check(fl, KVG_edgeSetFace(fl, std::abs(edge), edge < 0));
        }
        check(fl, KVG_endSetFace(fl));
    }
}

void drawMap(KVG_File *fl, const Scene &s) {
    check(fl, KVG_beginLayer(fl, "map", KVG_TRUE, KVG_TRUE));
    for (uint32_t id = 0; id < s.faces.size(); ++id) {
        check(fl, KVG_setFillColor(fl, s.faces[id].rgb));
        check(fl, KVG_face(fl, id));
    }
    check(fl, KVG_setLineColor(fl, 0x808080));
    const auto nedges = static_cast<int32_t>(s.edges.size());
    if (nedges <= INT16_MAX) {
        check(fl, KVG_edgeRange(fl, 1, static_cast<int16_t>(nedges)));
    } else {
        for (int32_t id = 1; id <= nedges; ++id) check(fl, KVG_edge(fl, id));
    }
}

void drawFigure(KVG_File *fl, const Scene &s, const Figure &figure, Calls calls) {
    const auto points = s.points(figure);
    const int type = figure.closed ? KVG_BEGIN_POLYGON : KVG_BEGIN_POLYLINE;
    if (calls == Calls::BULK) {
        check(fl, KVG_polyline(fl, type, points.size(), &points[0].x));
        return;
    }
    check(fl, KVG_begin(fl, type, points[0].x, points[0].y));
    for (size_t i = 1; i < points.size(); ++i) check(fl, KVG_vertex(fl, points[i].x, points[i].y));
    check(fl, KVG_end(fl));
}

void drawFigures(KVG_File *fl, const Scene &s, Calls calls) {
    check(fl, KVG_beginLayer(fl, "figures", KVG_TRUE, KVG_TRUE));
    check(fl, KVG_setLineColor(fl, 0x000000));
    check(fl, KVG_setFillColor(fl, 0x4682B4));
    for (const Figure &figure : s.figures) {
        KVG_setFill(fl, figure.closed ? KVG_TRUE : KVG_FALSE);  // polygons filled, writes nothing
        drawFigure(fl, s, figure, calls);
    }
}

void drawWalk(KVG_File *fl, uint64_t points_per_figure, uint64_t figures) {
    check(fl, KVG_beginLayer(fl, "walk", KVG_TRUE, KVG_TRUE));
    Walk walk(7);
    for (uint64_t f = 0; f < figures; ++f) {
        const WorldPoint first = walk.restart();
        check(fl, KVG_begin(fl, KVG_BEGIN_POLYLINE, first.x, first.y));
        for (uint64_t i = 1; i < points_per_figure; ++i) {
            const WorldPoint p = walk.next();
            check(fl, KVG_vertex(fl, p.x, p.y));
        }
        check(fl, KVG_end(fl));
    }
}

// Creates `path` with the default options, plain or compressed, draws, and closes it.
template <typename Draw>
uint64_t writeFile(const std::string &path, bool compressed, Draw draw) {
    KVG_FileOptions *opt = KVG_newFileOptions();
    KVG_setCompressionFileOption(opt, compressed ? 1 : 0);
    KVG_File *fl = KVG_create(path.c_str(), opt);
    KVG_deleteFileOptions(opt);
    if (fl == nullptr) throw std::runtime_error("cannot create " + path);
    try {
        draw(fl);
    } catch (...) {
        KVG_close(fl);
        throw;
    }
    check(fl, KVG_close(fl));
    return fileSize(path);
}

}  // namespace

uint64_t writeKvg(const Scene &s, const std::string &path, bool compressed, bool bulk) {
    const Calls calls = bulk ? Calls::BULK : Calls::PER_POINT;
    return writeFile(path, compressed, [&s, calls](KVG_File *fl) {
        defineMap(fl, s, calls);
        drawMap(fl, s);
        drawFigures(fl, s, calls);
    });
}

uint64_t writeKvgWalk(const std::string &path, uint64_t points_per_figure, uint64_t figures) {
    return writeFile(path, false, [=](KVG_File *fl) { drawWalk(fl, points_per_figure, figures); });
}

}  // namespace scene
