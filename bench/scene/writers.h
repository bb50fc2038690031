// Every way of writing the scene that the benchmark compares. Each writes the file at `path`
// anew, returns its size in bytes, and throws std::runtime_error when it fails.
#ifndef KVG_SCENE_WRITERS_H
#define KVG_SCENE_WRITERS_H

#include <cstdint>
#include <string>

#include "files.h"
#include "scene.h"

namespace scene {

// kvgwriter with the default options (world -100..100, 4096 grid), plain or compressed, each
// point through its own call (KVG_vertex, KVG_vertexSetEdge) or every figure's points through
// one bulk call (KVG_polyline, KVG_setEdge); both write the same bytes.
uint64_t writeKvg(const Scene &s, const std::string &path, bool compressed, bool bulk);
// kvgwriter, plain, drawing `figures` polylines of `points_per_figure` points from the walk as
// it goes, so that the program itself keeps nothing of the drawing.
uint64_t writeKvgWalk(const std::string &path, uint64_t points_per_figure, uint64_t figures);

// The tightest honest SVG written by hand: grid integers, relative path commands, one path
// per figure and per face, all edges in one path; plain (`gzip_level` 0) or gzip-compressed.
uint64_t writeHandSvg(const Scene &s, const std::string &path, int gzip_level);
// The same SVG through stdio (fputs, fputc, fprintf), as most C programs write text.
uint64_t writeStdioSvg(const Scene &s, const std::string &path);

enum class CairoSurface { SVG, PDF };
// cairo's SVG or PDF surface, drawn in world coordinates through the current transformation,
// as a C application would.
uint64_t writeCairo(const Scene &s, const std::string &path, CairoSurface surface);

}  // namespace scene

#endif  // KVG_SCENE_WRITERS_H
