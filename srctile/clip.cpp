// Cutting a tile: every arc cut once at the buffered box into pieces (so that neighbours share
// them), every ring walked through its arcs' pieces into chains from where it comes in across
// the box to where it goes out, and the chains of a polygon joined along the box as the
// polygon's interior lies (outer rings counterclockwise, the box's boundary walked the same
// way from each exit to the next entry). The runs along the box are the faces' own edges.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

#include "clip.h"

namespace kvgtile {

namespace {

struct Point {
    double x, y;
};

struct Piece {
    Chain points;  // tile units, no position repeating the one before it
    bool entry = false;  // begins where its arc comes in across the box
    bool exit = false;   // ends where its arc goes out
};

// A piece walked in a ring: its arc, its number among the arc's pieces, and the direction.
struct Step {
    size_t arc, piece;
    bool forwards;
};

struct RingChain {
    std::vector<Step> steps;
    GridPos start, end;
};

// The part of the segment ab inside the square [lo, hi]², as parameters along it.
bool clipSegment(Point a, Point b, double lo, double hi, double &t0, double &t1) {
    t0 = 0;
    t1 = 1;
    const double from[2] = {a.x, a.y}, delta[2] = {b.x - a.x, b.y - a.y};
    for (int axis = 0; axis < 2; ++axis) {
        if (delta[axis] == 0) {
            if (from[axis] < lo || from[axis] > hi) return false;
            continue;
        }
        double enter = (lo - from[axis]) / delta[axis], leave = (hi - from[axis]) / delta[axis];
        if (enter > leave) std::swap(enter, leave);
        t0 = std::max(t0, enter);
        t1 = std::min(t1, leave);
        if (t0 > t1) return false;
    }
    return true;
}

double twiceArea(const Chain &ring) {
    double sum = 0;
    for (size_t i = 0; i + 1 < ring.size(); ++i) sum += double(ring[i].x) * ring[i + 1].y - double(ring[i + 1].x) * ring[i].y;
    return sum;
}

template <typename P>
bool inside(P p, const std::vector<P> &ring) {
    bool in = false;
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
        if ((ring[i].y > p.y) != (ring[j].y > p.y) &&
            p.x < double(ring[j].x - ring[i].x) * (p.y - ring[i].y) / double(ring[j].y - ring[i].y) + ring[i].x)
            in = !in;
    return in;
}

class Cutter {
public:
    Cutter(const kvgimport::Map &map, const MapRings &rings, const Detail &detail, const TileFrame &frame)
        : map_(map), rings_(rings), detail_(detail), frame_(frame), side_(int64_t(frame.hi) - frame.lo) {}

    TileContent run(const TileSelection &selection) {
        TileContent content;
        for (const TileSelection::Feature &selected : selection.features) {
            if (content.layers.empty() || content.layers.back().index != selected.layer)
                content.layers.push_back({selected.layer, {}, {}});
            TileLayer &layer = content.layers.back();
            const bool filled = map_.layers[selected.layer].filled;
            TileFeature feature{selected.feature, {}, {}};
            for (const size_t p : selected.polygons) cutPolygon(rings_.polygons[selected.layer][selected.feature][p], filled, feature, layer);
            const auto &paths = map_.layers[selected.layer].features[selected.feature].paths;
            for (const size_t p : selected.paths)
                for (const kvgimport::ArcRef ref : paths[p]) drawArc(size_t(std::abs(ref)) - 1, layer);
            for (const kvgimport::Pos &m : selected.marks) {
                const kvgimport::Pos at = {(m.x - frame_.originX) * frame_.scale, (m.y - frame_.originY) * frame_.scale};
                if (at.x >= frame_.lo && at.x <= frame_.hi && at.y >= frame_.lo && at.y <= frame_.hi) feature.marks.push_back(at);
            }
            if (!feature.polygons.empty() || !feature.marks.empty()) layer.features.push_back(std::move(feature));
        }
        std::erase_if(content.layers, [](TileLayer &layer) {
            std::ranges::sort(layer.drawn);
            layer.drawn.erase(std::unique(layer.drawn.begin(), layer.drawn.end()), layer.drawn.end());
            return layer.features.empty() && layer.drawn.empty();
        });
        content.edges = std::move(edges_);
        return content;
    }

private:
    Point toTile(GridPos g) const { return {(g.x - frame_.originX) * frame_.scale, (g.y - frame_.originY) * frame_.scale}; }
    GridPos rounded(Point p) const {
        // Halves round up whatever the sign, so that a position lands on the same unit in
        // every tile whose grid is this one shifted by whole tiles.
        const auto snap = [&](double v) { return int32_t(std::clamp<double>(std::floor(v + 0.5), frame_.lo, frame_.hi)); };
        return {snap(p.x), snap(p.y)};
    }

    bool alongOneSide(const Chain &points) const {
        const auto all = [&](auto test) { return std::ranges::all_of(points, test); };
        return all([&](GridPos p) { return p.x == frame_.lo; }) || all([&](GridPos p) { return p.x == frame_.hi; }) ||
               all([&](GridPos p) { return p.y == frame_.lo; }) || all([&](GridPos p) { return p.y == frame_.hi; });
    }

    bool alongSide(GridPos a, GridPos b) const {
        return (a.x == b.x && (a.x == frame_.lo || a.x == frame_.hi)) ||
               (a.y == b.y && (a.y == frame_.lo || a.y == frame_.hi));
    }
    // A piece that rounding made begin or end with a run along the box starts or ends where it
    // leaves the box instead, so that the run the face takes along the box does not overlap it.
    void trim(Piece &piece) const {
        Chain &p = piece.points;
        if (piece.exit)
            while (p.size() >= 2 && alongSide(p[p.size() - 2], p.back())) p.pop_back();
        size_t first = 0;
        if (piece.entry)
            while (first + 1 < p.size() && alongSide(p[first], p[first + 1])) ++first;
        p.erase(p.begin(), p.begin() + ptrdiff_t(first));
    }

    std::vector<Piece> cutArc(const Chain &arc) const {
        std::vector<Piece> pieces;
        bool open = false;
        const auto add = [&](GridPos p) {
            if (pieces.back().points.back() != p) pieces.back().points.push_back(p);
        };
        for (size_t i = 0; i + 1 < arc.size(); ++i) {
            const Point a = toTile(arc[i]), b = toTile(arc[i + 1]);
            double t0, t1;
            if (!clipSegment(a, b, frame_.lo, frame_.hi, t0, t1)) continue;
            const auto at = [&](double t) {
                return t == 0 ? a : t == 1 ? b : Point{a.x + t * (b.x - a.x), a.y + t * (b.y - a.y)};
            };
            if (!open) {
                pieces.push_back({{rounded(at(t0))}, !(i == 0 && t0 == 0), false});
                open = true;
            }
            add(rounded(at(t1)));
            if (t1 < 1) {
                pieces.back().exit = true;
                open = false;
                // In and out again within half a unit of the box: nothing inside it.
                if (pieces.back().entry && alongOneSide(pieces.back().points)) pieces.pop_back();
            }
        }
        for (Piece &piece : pieces) trim(piece);
        return pieces;
    }

    const std::vector<Piece> &piecesOf(size_t arc) {
        const auto found = pieces_.find(arc);
        if (found != pieces_.end()) return found->second.pieces;
        CutArc &cut = pieces_[arc];
        cut.pieces = cutArc(detail_.arcs[arc]);
        cut.edges.assign(cut.pieces.size(), 0);
        return cut.pieces;
    }

    // The edge of a piece (0 for a piece that is only a point), made at its first use.
    int32_t edgeOf(size_t arc, size_t piece) {
        CutArc &cut = pieces_[arc];
        if (cut.edges[piece] == 0 && cut.pieces[piece].points.size() > 1) {
            edges_.push_back(cut.pieces[piece].points);
            cut.edges[piece] = int32_t(edges_.size());
        }
        return cut.edges[piece];
    }

    void drawArc(size_t arc, TileLayer &layer) {
        for (size_t k = 0; k < piecesOf(arc).size(); ++k)
            if (const int32_t edge = edgeOf(arc, k)) layer.drawn.push_back(edge);
    }

    // ---- Rings into chains

    std::vector<Step> stepsOf(const kvgimport::RingArcs &ring, bool reverse) {
        std::vector<Step> steps;
        const auto walk = [&](kvgimport::ArcRef ref) {
            const bool forwards = (ref > 0) != reverse;
            const size_t arc = size_t(std::abs(ref)) - 1, n = piecesOf(arc).size();
            for (size_t k = 0; k < n; ++k) steps.push_back({arc, forwards ? k : n - 1 - k, forwards});
        };
        if (reverse) std::for_each(ring.rbegin(), ring.rend(), walk);
        else std::ranges::for_each(ring, walk);
        return steps;
    }
    const Piece &pieceOf(const Step &s) { return pieces_[s.arc].pieces[s.piece]; }
    bool entersAt(const Step &s) { return s.forwards ? pieceOf(s).entry : pieceOf(s).exit; }
    bool leavesAt(const Step &s) { return s.forwards ? pieceOf(s).exit : pieceOf(s).entry; }
    GridPos firstOf(const Step &s) { return s.forwards ? pieceOf(s).points.front() : pieceOf(s).points.back(); }
    GridPos lastOf(const Step &s) { return s.forwards ? pieceOf(s).points.back() : pieceOf(s).points.front(); }

    // The ring's pieces as chains from entry to exit; a ring wholly inside is one closed chain.
    std::vector<RingChain> chainsOf(const std::vector<Step> &steps, std::vector<std::vector<Step>> &loops) {
        std::vector<RingChain> chains;
        const size_t n = steps.size();
        if (n == 0) return chains;
        std::vector<size_t> breaks;
        for (size_t k = 0; k < n; ++k)
            if (leavesAt(steps[k]) || entersAt(steps[(k + 1) % n])) breaks.push_back(k);
        if (breaks.empty()) {
            loops.push_back(steps);
            return chains;
        }
        for (size_t b = 0; b < breaks.size(); ++b) {
            RingChain chain;
            for (size_t k = breaks[b] + 1;; ++k) {
                chain.steps.push_back(steps[k % n]);
                if (k % n == breaks[(b + 1) % breaks.size()]) break;
            }
            chain.start = firstOf(chain.steps.front());
            chain.end = lastOf(chain.steps.back());
            const bool touchOnly = std::ranges::all_of(chain.steps, [&](const Step &s) {
                return std::ranges::all_of(pieceOf(s).points, [&](GridPos p) { return p == chain.start; });
            });
            if (!touchOnly) chains.push_back(std::move(chain));
        }
        return chains;
    }

    // ---- Joining along the box

    // The position along the box's boundary, counterclockwise from its lower left corner.
    int64_t around(GridPos p) const {
        const int64_t lo = frame_.lo, hi = frame_.hi;
        const int64_t x = std::clamp<int64_t>(p.x, lo, hi), y = std::clamp<int64_t>(p.y, lo, hi);
        const int64_t distances[4] = {y - lo, hi - x, hi - y, x - lo};  // bottom, right, top, left
        const int side = int(std::ranges::min_element(distances) - distances);
        switch (side) {
        case 0: return x - lo;
        case 1: return side_ + (y - lo);
        case 2: return 2 * side_ + (hi - x);
        default: return 3 * side_ + (hi - y);
        }
    }
    GridPos corner(int64_t k) const {
        static constexpr int CORNERS[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        const int *c = CORNERS[k % 4];
        return {c[0] ? frame_.hi : frame_.lo, c[1] ? frame_.hi : frame_.lo};
    }
    // The run along the box from `from` counterclockwise to `to`, as an edge (0: no length).
    int32_t boundaryEdge(GridPos from, GridPos to) {
        if (from == to) return 0;
        const int64_t start = around(from);
        int64_t end = around(to);
        if (end <= start) end += 4 * side_;
        Chain run = {from};
        for (int64_t k = 1; k < 8; ++k)
            if (k * side_ > start && k * side_ < end) run.push_back(corner(k));
        run.push_back(to);
        edges_.push_back(std::move(run));
        return int32_t(edges_.size());
    }
    int32_t wholeBox() {
        edges_.push_back({corner(0), corner(1), corner(2), corner(3), corner(0)});
        return int32_t(edges_.size());
    }

    std::vector<int32_t> refsOf(const std::vector<Step> &steps) {
        std::vector<int32_t> refs;
        for (const Step &s : steps)
            if (const int32_t edge = edgeOf(s.arc, s.piece)) refs.push_back(s.forwards ? edge : -edge);
        return refs;
    }

    // The open chains joined into rings along the box.
    std::vector<std::vector<int32_t>> join(const std::vector<RingChain> &chains) {
        struct Event {
            int64_t at;
            bool entry;
            size_t chain;
        };
        std::vector<Event> events;
        for (size_t c = 0; c < chains.size(); ++c) {
            events.push_back({around(chains[c].start), true, c});
            events.push_back({around(chains[c].end), false, c});
        }
        std::ranges::sort(events, [](const Event &a, const Event &b) {
            return a.at != b.at ? a.at < b.at : (!a.entry && b.entry) || (a.entry == b.entry && a.chain < b.chain);
        });
        std::vector<size_t> exitAt(chains.size());
        for (size_t i = 0; i < events.size(); ++i)
            if (!events[i].entry) exitAt[events[i].chain] = i;
        const auto nextEntry = [&](size_t chain) {
            for (size_t k = 1; k <= events.size(); ++k) {
                const Event &e = events[(exitAt[chain] + k) % events.size()];
                if (e.entry) return e.chain;
            }
            return chain;
        };
        std::vector<bool> used(chains.size(), false);
        std::vector<std::vector<int32_t>> rings;
        for (size_t first = 0; first < chains.size(); ++first) {
            if (used[first]) continue;
            std::vector<int32_t> ring;
            for (size_t c = first; !used[c];) {
                used[c] = true;
                const std::vector<int32_t> refs = refsOf(chains[c].steps);
                ring.insert(ring.end(), refs.begin(), refs.end());
                const size_t next = nextEntry(c);
                if (const int32_t run = boundaryEdge(chains[c].end, chains[next].start)) ring.push_back(run);
                c = next;
            }
            rings.push_back(std::move(ring));
        }
        return rings;
    }

    // ---- Polygons

    Chain ringPoints(const std::vector<int32_t> &refs) const {
        Chain points;
        for (const int32_t ref : refs) {
            const Chain &edge = edges_[size_t(std::abs(ref)) - 1];
            const auto add = [&](GridPos p) {
                if (points.empty() || points.back() != p) points.push_back(p);
            };
            if (ref > 0) std::ranges::for_each(edge, add);
            else std::for_each(edge.rbegin(), edge.rend(), add);
        }
        return points;
    }

    // Whether the tile's centre lies inside the polygon at this level of detail.
    bool coversCentre(const std::vector<size_t> &polygon) const {
        const double centre = (double(frame_.lo) + frame_.hi) / 2;
        const Point at = {centre / frame_.scale + frame_.originX, centre / frame_.scale + frame_.originY};
        bool in = false;
        for (const size_t r : polygon) {
            std::vector<Point> ring;
            for (const kvgimport::ArcRef ref : rings_.rings[r]) {
                const Chain &arc = detail_.arcs[size_t(std::abs(ref)) - 1];
                const auto add = [&](GridPos g) { ring.push_back({double(g.x), double(g.y)}); };
                if (ref > 0) std::ranges::for_each(arc, add);
                else std::for_each(arc.rbegin(), arc.rend(), add);
            }
            in ^= inside(at, ring);
        }
        return in;
    }

    void cutPolygon(const std::vector<size_t> &polygon, bool filled, TileFeature &feature, TileLayer &layer) {
        if (detail_.dropped[polygon.front()]) return;
        std::vector<RingChain> chains;
        std::vector<std::vector<Step>> loops;
        for (size_t k = 0; k < polygon.size(); ++k) {
            const size_t r = polygon[k];
            if (detail_.dropped[r]) continue;
            // Outer rings counterclockwise, holes clockwise: the interior on the left.
            const bool reverse = rings_.clockwise[r] != (k > 0);
            std::vector<RingChain> found = chainsOf(stepsOf(rings_.rings[r], reverse), loops);
            std::ranges::move(found, std::back_inserter(chains));
        }
        for (const RingChain &c : chains)
            for (const Step &s : c.steps) drawPiece(s, layer);
        for (const auto &loop : loops)
            for (const Step &s : loop) drawPiece(s, layer);
        if (!filled) return;
        std::vector<std::vector<int32_t>> outers = join(chains), holes;
        for (const auto &loop : loops) {
            std::vector<int32_t> refs = refsOf(loop);
            const double area = twiceArea(ringPoints(refs));
            if (area > 0) outers.push_back(std::move(refs));
            else if (area < 0) holes.push_back(std::move(refs));
        }
        std::erase_if(outers, [&](const std::vector<int32_t> &ring) { return twiceArea(ringPoints(ring)) <= 0; });
        if (outers.empty() && (!holes.empty() || (chains.empty() && coversCentre(polygon)))) outers.push_back({wholeBox()});
        std::vector<TilePolygon> result;
        for (auto &outer : outers) result.push_back({std::move(outer), {}});
        for (auto &hole : holes) {
            const GridPos probe = ringPoints(hole).front();
            std::optional<size_t> best;
            double bestArea = 0;
            for (size_t o = 0; o < result.size(); ++o) {
                const Chain points = ringPoints(result[o].outer);
                const double area = twiceArea(points);
                if (inside(Point{double(probe.x), double(probe.y)}, toPoints(points)) && (!best || area < bestArea)) {
                    best = o;
                    bestArea = area;
                }
            }
            if (best) result[*best].holes.push_back(std::move(hole));
        }
        std::ranges::move(result, std::back_inserter(feature.polygons));
    }

    static std::vector<Point> toPoints(const Chain &chain) {
        std::vector<Point> points;
        for (const GridPos g : chain) points.push_back({double(g.x), double(g.y)});
        return points;
    }

    void drawPiece(const Step &s, TileLayer &layer) {
        if (const int32_t edge = edgeOf(s.arc, s.piece)) layer.drawn.push_back(edge);
    }

    struct CutArc {
        std::vector<Piece> pieces;
        std::vector<int32_t> edges;  // per piece, 0 until it is made an edge
    };

    const kvgimport::Map &map_;
    const MapRings &rings_;
    const Detail &detail_;
    const TileFrame &frame_;
    const int64_t side_;
    std::map<size_t, CutArc> pieces_;  // ordered: the same on every run
    std::vector<Chain> edges_;
};

}  // namespace

TileContent cutTile(const kvgimport::Map &map, const MapRings &rings, const Detail &detail,
                    const TileSelection &selection, const TileFrame &frame) {
    return Cutter(map, rings, detail, frame).run(selection);
}

}  // namespace kvgtile
