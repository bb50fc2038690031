// Edges and faces through the drawing interface: exact records, identifiers, refusals, and a
// whole planar map decoded back from the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "unit_writer.h"

namespace kvgtest {
namespace {

using Point = std::pair<int32_t, int32_t>;
using Chain = std::vector<Point>;  // an edge's start point, then its vertices

// ---- A reader for the records of a planar map, written from the format's layouts ----

struct DecodedFace {
    std::vector<int32_t> edges;
    std::vector<uint32_t> holes;
    bool operator==(const DecodedFace &) const = default;
};

struct DecodedMap {
    std::vector<Chain> edges;  // edges[0] is edge 1: a reader numbers them by their order
    std::vector<std::vector<int>> segment_sizes;
    std::vector<DecodedFace> faces;
    std::vector<std::string> uses;  // "edge 3", "range 1 4", "face 0", in file order
};

class BitReader {
public:
    BitReader(const Bytes &bytes, size_t start) : bytes_(bytes), pos_(start) {}

    bool atEnd() {
        align();
        return pos_ >= bytes_.size();
    }
    uint32_t bits(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            value = value << 1 | ((bytes_.at(pos_) >> (7 - bit_)) & 1u);
            if (++bit_ == 8) {
                bit_ = 0;
                ++pos_;
            }
        }
        return value;
    }
    int32_t signedBits(int n) {
        const uint32_t value = bits(n);
        return (value >> (n - 1)) != 0 ? static_cast<int32_t>(value) - (1 << n)
                                       : static_cast<int32_t>(value);
    }
    uint8_t byte() {
        align();
        return static_cast<uint8_t>(bits(8));
    }
    // Sizes, identifiers and signed identifiers: 0 + 7 bits, 10 + 14 bits or 11 + 22 bits.
    uint32_t size() { return static_cast<uint32_t>(variable(false)); }
    int32_t sidentifier() { return variable(true); }
    // Integer points of 16, 24 and 32 bits: x, then y, each half of the size.
    Point point(int size) {
        align();
        const int32_t x = signedBits(size / 2);
        return {x, signedBits(size / 2)};
    }
    Point relPoint(int size) {
        static const Point compass[8] = {{1, 0},  {1, 1},   {0, 1},  {-1, 1},
                                         {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
        if (size == 3) return compass[bits(3)];
        if (size != 6) align();
        const int32_t dx = signedBits(size / 2);
        return {dx, signedBits(size / 2)};
    }

private:
    int32_t variable(bool is_signed) {
        align();
        const int n = bits(1) == 0 ? 7 : bits(1) == 0 ? 14 : 22;
        return is_signed ? signedBits(n) : static_cast<int32_t>(bits(n));
    }
    void align() {
        if (bit_ != 0) {
            bit_ = 0;
            ++pos_;
        }
    }

    const Bytes &bytes_;
    size_t pos_;
    int bit_ = 0;
};

void decodeEdge(BitReader &in, int point_size, DecodedMap &map) {
    Chain chain{in.point(point_size)};
    std::vector<int> sizes;
    const uint32_t nsegs = in.size();
    for (uint32_t s = 0; s < nsegs; ++s) {
        const int size = in.byte();
        sizes.push_back(size);
        const uint32_t count = in.size();
        for (uint32_t i = 0; i < count; ++i) {
            const Point d = in.relPoint(size);
            chain.emplace_back(chain.back().first + d.first, chain.back().second + d.second);
        }
    }
    map.edges.push_back(chain);
    map.segment_sizes.push_back(sizes);
}

void decodeFace(BitReader &in, DecodedMap &map) {
    DecodedFace face;
    for (uint32_t n = in.size(); n > 0; --n) face.edges.push_back(in.sidentifier());
    for (uint32_t n = in.size(); n > 0; --n) face.holes.push_back(in.size());
    map.faces.push_back(face);
}

// Everything after the header of a UnitWriter's file.
DecodedMap decode(const Bytes &file) {
    static const int kPointSizes[] = {16, 24, 32, 64, 128};
    constexpr size_t kHeader = 29;
    DecodedMap map;
    BitReader in(file, kHeader);
    int point_size = 32;
    while (!in.atEnd()) {
        const uint8_t code = in.byte();
        if (code >= 0x50 && code <= 0x54) {
            point_size = kPointSizes[code - 0x50];
        } else if (code >= 0x55 && code <= 0x5C) {
            // a relative point size: no record of a map uses it
        } else if (code == 0x5D) {
            in.byte();
        } else if (code == 0x3B) {
            decodeEdge(in, point_size, map);
        } else if (code == 0x3C) {
            decodeFace(in, map);
        } else if (code == 0x3D) {
            map.uses.push_back("edge " + std::to_string(in.sidentifier()));
        } else if (code == 0x3E) {
            const int32_t first = in.sidentifier();
            map.uses.push_back("range " + std::to_string(first) + " " +
                               std::to_string(in.sidentifier()));
        } else if (code == 0x3F) {
            map.uses.push_back("face " + std::to_string(in.size()));
        } else {
            ADD_FAILURE() << "unexpected record code " << int{code};
            break;
        }
    }
    return map;
}

// ---- Helpers ----

int32_t defineEdge(KVG_File *fl, const Chain &chain) {
    int32_t id = -1;
    EXPECT_EQ(KVG_beginSetEdge(fl, &id, chain.front().first, chain.front().second), 0);
    for (size_t i = 1; i < chain.size(); ++i) {
        EXPECT_EQ(KVG_vertexSetEdge(fl, chain[i].first, chain[i].second), 0);
    }
    EXPECT_EQ(KVG_endSetEdge(fl), 0) << KVG_getErrorDescription(fl);
    return id;
}

uint32_t defineFace(KVG_File *fl, const DecodedFace &face) {
    uint32_t id = UINT32_MAX;
    EXPECT_EQ(KVG_beginSetFace(fl, &id), 0);
    for (int32_t edge : face.edges) {
        EXPECT_EQ(KVG_edgeSetFace(fl, edge < 0 ? -edge : edge, edge < 0), 0);
    }
    for (uint32_t hole : face.holes) EXPECT_EQ(KVG_holeSetFace(fl, hole), 0);
    EXPECT_EQ(KVG_endSetFace(fl), 0) << KVG_getErrorDescription(fl);
    return id;
}

// ---- Edges ----

TEST(MapEdge, RecordIsWrittenToTheDefinitionsInItsStartPointsSize) {
    UnitWriter writer;
    // Unit steps (1, 0) and (0, 1) make one 3-bit segment: codes 0 and 2, 000 010 padded.
    EXPECT_EQ(defineEdge(writer.get(), {{0, 0}, {1, 0}, {1, 1}}), 1);
    // A start point beyond 8 bits raises the point size, the next one lowers it again.
    EXPECT_EQ(defineEdge(writer.get(), {{1000, 0}, {1001, 0}}), 2);
    // Steps of 6, 6 and 8 bits cost least as one 8-bit segment: 12 F2 04.
    EXPECT_EQ(defineEdge(writer.get(), {{0, 0}, {1, 2}, {0, 4}, {0, 8}}), 3);
    EXPECT_EQ(hex(writer.close()), hex(unitFile("50 3B 00 00 01 03 02 08 "
                                                "51 3B 3E 80 00 01 03 01 00 "
                                                "50 3B 00 00 01 08 03 12 F2 04",
                                                "")));
}

TEST(MapEdge, VertexOnThePreviousPointIsDropped) {
    UnitWriter writer;
    int32_t id = 0;
    ASSERT_EQ(KVG_beginSetEdge(writer.get(), &id, 0, 0), 0);
    EXPECT_EQ(KVG_vertexSetEdge(writer.get(), 0.2, -0.3), -2);  // rounds onto the start
    EXPECT_EQ(KVG_vertexSetEdge(writer.get(), 1, 0), 0);
    EXPECT_EQ(KVG_vertexSetEdge(writer.get(), 1.4, 0), -2);
    EXPECT_EQ(KVG_endSetEdge(writer.get()), 0);
    EXPECT_EQ(writer.code(), KVG_ERR_NONE);
    EXPECT_EQ(hex(writer.close()), hex(unitFile("50 3B 00 00 01 03 01 00", "")));
}

// An edge that kept no vertex is still written, as one zero step at its start, so that every
// later edge keeps the number the writer gave it.
TEST(MapEdge, EdgeWithoutVerticesKeepsItsPlaceInTheNumbering) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    EXPECT_EQ(defineEdge(fl, {{0, 0}, {1, 0}}), 1);
    int32_t empty = 0;
    ASSERT_EQ(KVG_beginSetEdge(fl, &empty, 5, 5), 0);
    EXPECT_EQ(KVG_vertexSetEdge(fl, 5, 5), -2);
    EXPECT_EQ(KVG_endSetEdge(fl), -2);
    EXPECT_EQ(writer.code(), KVG_ERR_NONE);
    EXPECT_EQ(defineEdge(fl, {{7, 7}, {8, 8}}), 3);
    ASSERT_EQ(KVG_edge(fl, 3), 0);

    const Bytes file = writer.close();
    // The zero step needs the 6-bit size: 000 000, padded.
    EXPECT_EQ(hex(file), hex(unitFile("50 3B 00 00 01 03 01 00 "
                                      "3B 05 05 01 06 01 00 "
                                      "3B 07 07 01 03 01 20",
                                      "3D 03")));
    const DecodedMap map = decode(file);
    ASSERT_EQ(map.edges.size(), 3u);
    EXPECT_EQ(map.edges[1], (Chain{{5, 5}, {5, 5}}));
    EXPECT_EQ(map.edges[2], (Chain{{7, 7}, {8, 8}}));
}

// One Size counts a segment, so an edge holds at most 4,194,303 differences; the vertex beyond
// is refused and the edge stays open, complete up to there.
TEST(MapEdge, VertexBeyondWhatOneSizeCountsIsRefused) {
    SKIP_MILLIONS_UNDER_SANITIZER();
    constexpr int32_t kMax = 4194303;
    UnitWriter writer;
    KVG_File *fl = writer.get();
    int32_t id = 0;
    ASSERT_EQ(KVG_beginSetEdge(fl, &id, 0, 0), 0);
    for (int32_t x = 1; x <= kMax; ++x) ASSERT_EQ(KVG_vertexSetEdge(fl, x, 0), 0);
    EXPECT_EQ(KVG_vertexSetEdge(fl, kMax + 1, 0), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_LIMITS);
    EXPECT_EQ(writer.message(), "Size KVG type limit exceeded");
    ASSERT_EQ(KVG_endSetEdge(fl), 0);

    const Bytes file = writer.close();
    // 50 3B 00 00 01 03 FF FF FF, then 4,194,303 zero codes in 1,572,864 bytes (the last one
    // padded), then the closing sizes.
    const Bytes head = fromHex("50 3B 00 00 01 03 FF FF FF");
    ASSERT_EQ(file.size(), 29 + head.size() + 1572864 + 4);
    EXPECT_TRUE(std::equal(head.begin(), head.end(), file.begin() + 29));
}

// ---- Faces ----

// Identifiers are given out when a definition begins, so they can be used while it is open.
TEST(MapFace, OpenDefinitionsCanAlreadyBeUsed) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    uint32_t face = UINT32_MAX;
    ASSERT_EQ(KVG_beginSetFace(fl, &face), 0);
    EXPECT_EQ(face, 0u);
    EXPECT_EQ(KVG_face(fl, 0), 0);
    // An edge defined while the face is open can bound it.
    int32_t edge = 0;
    ASSERT_EQ(KVG_beginSetEdge(fl, &edge, 0, 0), 0);
    EXPECT_EQ(edge, 1);
    EXPECT_EQ(KVG_edge(fl, 1), 0);
    ASSERT_EQ(KVG_vertexSetEdge(fl, 0, 1), 0);
    ASSERT_EQ(KVG_endSetEdge(fl), 0);
    ASSERT_EQ(KVG_edgeSetFace(fl, 1, 1), 0);
    ASSERT_EQ(KVG_endSetFace(fl), 0);
    EXPECT_EQ(hex(writer.close()),
              hex(unitFile("50 3B 00 00 01 03 01 40 3C 01 7F 00", "3F 00 3D 01")));
}

// ---- Refusals: each records its message, changes nothing and writes nothing ----

struct Refusal {
    const char *name;
    // Made on a writer holding edge 1 and face 0, both ended.
    std::function<int(KVG_File *)> call;
    int code;
    const char *message;
};

constexpr const char *kEdgeOneFaceZero = "50 3B 00 00 01 03 01 00 3C 01 01 00";

int beginEdge(KVG_File *fl) {
    int32_t id = 0;
    return KVG_beginSetEdge(fl, &id, 0, 0);
}

int beginFace(KVG_File *fl) {
    uint32_t id = 0;
    return KVG_beginSetFace(fl, &id);
}

const Refusal kRefusals[] = {
    {"EdgeZero", [](KVG_File *fl) { return KVG_edge(fl, 0); }, KVG_ERR_PARAM,
     "Invalid edge identifier"},
    {"EdgeNotHandedOut", [](KVG_File *fl) { return KVG_edge(fl, 2); }, KVG_ERR_PARAM,
     "Invalid edge identifier"},
    {"EdgeNegative", [](KVG_File *fl) { return KVG_edge(fl, -1); }, KVG_ERR_PARAM,
     "Invalid edge identifier"},
    {"RangeStart", [](KVG_File *fl) { return KVG_edgeRange(fl, 0, 1); }, KVG_ERR_PARAM,
     "Invalid edge identifier"},
    {"RangeEnd", [](KVG_File *fl) { return KVG_edgeRange(fl, 1, 2); }, KVG_ERR_PARAM,
     "Invalid edge identifier"},
    {"VertexOutsideEdge", [](KVG_File *fl) { return KVG_vertexSetEdge(fl, 1, 1); },
     KVG_ERR_CONTEXT, "Function is invalid outside edge definition"},
    {"EndOutsideEdge", [](KVG_File *fl) { return KVG_endSetEdge(fl); }, KVG_ERR_CONTEXT,
     "Function is invalid outside edge definition"},
    {"NestedEdge", [](KVG_File *fl) { return beginEdge(fl) | beginEdge(fl); }, KVG_ERR_CONTEXT,
     "Edges cannot be nested"},
    {"NestedFace", [](KVG_File *fl) { return beginFace(fl) | beginFace(fl); }, KVG_ERR_CONTEXT,
     "Faces cannot be nested"},
    {"EdgeOutsideFace", [](KVG_File *fl) { return KVG_edgeSetFace(fl, 1, 0); },
     KVG_ERR_CONTEXT, "Function is invalid outside face definition"},
    {"HoleOutsideFace", [](KVG_File *fl) { return KVG_holeSetFace(fl, 0); }, KVG_ERR_CONTEXT,
     "Function is invalid outside face definition"},
    {"EndOutsideFace", [](KVG_File *fl) { return KVG_endSetFace(fl); }, KVG_ERR_CONTEXT,
     "Function is invalid outside face definition"},
    {"FaceBoundByUnknownEdge",
     [](KVG_File *fl) { return beginFace(fl) | KVG_edgeSetFace(fl, 2, 0); }, KVG_ERR_PARAM,
     "Invalid edge identifier"},
    {"FaceIsItsOwnHole", [](KVG_File *fl) { return beginFace(fl) | KVG_holeSetFace(fl, 1); },
     KVG_ERR_PARAM, "Invalid face identifier"},
    {"HoleNotYetBegun", [](KVG_File *fl) { return beginFace(fl) | KVG_holeSetFace(fl, 2); },
     KVG_ERR_PARAM, "Invalid face identifier"},
    {"FillUnknownFace", [](KVG_File *fl) { return KVG_face(fl, 1); }, KVG_ERR_PARAM,
     "Invalid face identifier"},
};

class MapRefusals : public ::testing::TestWithParam<Refusal> {};

TEST_P(MapRefusals, RecordTheirMessageAndWriteNothing) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    defineEdge(fl, {{0, 0}, {1, 0}});
    defineFace(fl, {{1}, {}});
    EXPECT_EQ(GetParam().call(fl), -1);
    EXPECT_EQ(writer.code(), GetParam().code);
    EXPECT_EQ(writer.message(), GetParam().message);
    // The refused call wrote nothing: the definitions go on straight after the two made
    // before it (close ends what the call left open, after them).
    const Bytes expected = unitFile(kEdgeOneFaceZero, "");
    const size_t definitions_end = expected.size() - 4;  // before the closing size records
    const Bytes file = writer.close();
    ASSERT_GE(file.size(), definitions_end);
    EXPECT_EQ(hex(Bytes(file.begin(), file.begin() + static_cast<long>(definitions_end))),
              hex(Bytes(expected.begin(), expected.begin() + static_cast<long>(definitions_end))));
}

INSTANTIATE_TEST_SUITE_P(All, MapRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(MapRefusals, FailedBeginLeavesTheOpenDefinitionAsItWas) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    int32_t edge = 0;
    ASSERT_EQ(KVG_beginSetEdge(fl, &edge, 0, 0), 0);
    ASSERT_EQ(KVG_vertexSetEdge(fl, 1, 0), 0);
    int32_t refused_edge = 99;
    EXPECT_EQ(KVG_beginSetEdge(fl, &refused_edge, 50, 50), -1);
    EXPECT_EQ(refused_edge, 99);
    ASSERT_EQ(KVG_vertexSetEdge(fl, 2, 0), 0);
    ASSERT_EQ(KVG_endSetEdge(fl), 0);

    uint32_t face = 0;
    ASSERT_EQ(KVG_beginSetFace(fl, &face), 0);
    ASSERT_EQ(KVG_edgeSetFace(fl, 1, 0), 0);
    uint32_t refused_face = 99;
    EXPECT_EQ(KVG_beginSetFace(fl, &refused_face), -1);
    EXPECT_EQ(refused_face, 99u);
    ASSERT_EQ(KVG_endSetFace(fl), 0);

    EXPECT_EQ(defineEdge(fl, {{0, 0}, {0, 1}}), 2);
    EXPECT_EQ(defineFace(fl, {{2}, {}}), 1u);
    EXPECT_EQ(hex(writer.close()), hex(unitFile("50 3B 00 00 01 03 02 00 3C 01 01 00 "
                                                "3B 00 00 01 03 01 40 3C 01 02 00",
                                                "")));
}

// While a shape is being defined, the definitions stream is the shape's: edge and face
// definitions neither begin nor end there, but uses draw into the shape.
TEST(MapInsideShape, DefinitionsAreRefusedAndUsesGoIntoTheShape) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    defineEdge(fl, {{0, 0}, {1, 0}});
    int32_t edge = 0;
    uint32_t face = 0;
    ASSERT_EQ(KVG_beginSetEdge(fl, &edge, 0, 0), 0);
    ASSERT_EQ(KVG_beginSetFace(fl, &face), 0);
    uint32_t shape = 0;
    ASSERT_EQ(KVG_beginSetShape(fl, 10, 20, &shape), 0);

    EXPECT_EQ(KVG_endSetEdge(fl), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_CONTEXT);
    EXPECT_EQ(writer.message(), "Function is invalid inside shape definition");
    EXPECT_EQ(KVG_endSetFace(fl), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_CONTEXT);
    EXPECT_EQ(writer.message(), "Function is invalid inside shape definition");
    // Vertices write nothing, so they may be added.
    ASSERT_EQ(KVG_vertexSetEdge(fl, 0, 1), 0);

    EXPECT_EQ(KVG_edge(fl, 1), 0);
    EXPECT_EQ(KVG_face(fl, 0), 0);
    ASSERT_EQ(KVG_endSetShape(fl), 0);
    // The definitions begun before the shape end after it.
    ASSERT_EQ(KVG_endSetEdge(fl), 0);
    ASSERT_EQ(KVG_endSetFace(fl), 0);
    EXPECT_EQ(hex(writer.close()), hex(unitFile("50 3B 00 00 01 03 01 00 "
                                                "6F 0A 14 3D 01 3F 00 70 "
                                                "3B 00 00 01 03 01 40 3C 00 00",
                                                "")));
}

TEST(MapInsideShape, NewDefinitionsCannotBegin) {
    UnitWriter writer;
    KVG_File *fl = writer.get();
    uint32_t shape = 0;
    ASSERT_EQ(KVG_beginSetShape(fl, 10, 20, &shape), 0);
    int32_t edge = 99;
    EXPECT_EQ(KVG_beginSetEdge(fl, &edge, 0, 0), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_CONTEXT);
    EXPECT_EQ(writer.message(), "Function is invalid inside shape definition");
    uint32_t face = 99;
    EXPECT_EQ(KVG_beginSetFace(fl, &face), -1);
    EXPECT_EQ(writer.code(), KVG_ERR_CONTEXT);
    ASSERT_EQ(KVG_endSetShape(fl), 0);
    // No identifier was handed out.
    EXPECT_EQ(edge, 99);
    EXPECT_EQ(face, 99u);
    EXPECT_EQ(defineEdge(fl, {{0, 0}, {1, 0}}), 1);
    EXPECT_EQ(defineFace(fl, {{1}, {}}), 0u);
}

// ---- A whole planar map ----

// A 3 x 3 grid of square cells 8 units wide whose left column lies at x 120 to 128, so that
// start points switch between the 16- and 24-bit point sizes. Horizontal sides are chains of
// unit steps, vertical ones zigzag. Edges 1 to 12 are the horizontal sides (1 + i + 3j for
// column i, row j), 13 to 24 the vertical ones (13 + i + 4j), 25 an island in the centre cell.
// Face 0 is the island, faces 1 to 9 the cells, counter-clockwise; the centre has the island
// as its hole.
constexpr int32_t kX0 = 120, kCell = 8;

Point corner(int i, int j) { return {kX0 + kCell * i, kCell * j}; }
int32_t horizontalId(int i, int j) { return 1 + i + 3 * j; }
int32_t verticalId(int i, int j) { return 13 + i + 4 * j; }

Chain horizontalSide(int i, int j) {
    Chain chain{corner(i, j)};
    for (int k = 1; k <= kCell; ++k) chain.emplace_back(corner(i, j).first + k, kCell * j);
    return chain;
}

Chain verticalSide(int i, int j) {
    const auto [x, y] = corner(i, j);
    return {{x, y}, {x + 1, y + 2}, {x, y + 4}, {x, y + 8}};
}

// A loop of 6 unit steps, two 8-bit steps and 6 unit steps.
Chain island() {
    const int32_t x = kX0 + kCell + 1, y = kCell + 1;
    Chain chain{{x, y}};
    for (int k = 1; k <= 6; ++k) chain.emplace_back(x + k, y);
    chain.emplace_back(x + 6, y + 6);
    chain.emplace_back(x, y + 6);
    for (int k = 5; k >= 0; --k) chain.emplace_back(x, y + k);
    return chain;
}

std::vector<Chain> gridEdges() {
    std::vector<Chain> edges;
    for (int j = 0; j <= 3; ++j)
        for (int i = 0; i < 3; ++i) edges.push_back(horizontalSide(i, j));
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i <= 3; ++i) edges.push_back(verticalSide(i, j));
    edges.push_back(island());
    return edges;
}

std::vector<DecodedFace> gridFaces() {
    std::vector<DecodedFace> faces{{{25}, {}}};
    for (int j = 0; j < 3; ++j) {
        for (int i = 0; i < 3; ++i) {
            faces.push_back({{horizontalId(i, j), verticalId(i + 1, j),
                              -horizontalId(i, j + 1), -verticalId(i, j)},
                             {}});
        }
    }
    faces[1 + 1 + 3 * 1].holes.push_back(0);
    return faces;
}

TEST(MapPlanarGrid, DecodesBackToTheMapThatWasDefined) {
    const std::vector<Chain> edges = gridEdges();
    const std::vector<DecodedFace> faces = gridFaces();
    UnitWriter writer;
    KVG_File *fl = writer.get();
    for (size_t e = 0; e < edges.size(); ++e) ASSERT_EQ(defineEdge(fl, edges[e]), int32_t(e + 1));
    for (size_t f = 0; f < faces.size(); ++f) ASSERT_EQ(defineFace(fl, faces[f]), f);
    ASSERT_EQ(KVG_edgeRange(fl, 1, 25), 0);
    for (uint32_t f = 0; f < faces.size(); ++f) ASSERT_EQ(KVG_face(fl, f), 0);

    const DecodedMap map = decode(writer.close());
    EXPECT_EQ(map.edges, edges);
    EXPECT_EQ(map.faces, faces);
    std::vector<std::string> uses{"range 1 25"};
    for (size_t f = 0; f < faces.size(); ++f) uses.push_back("face " + std::to_string(f));
    EXPECT_EQ(map.uses, uses);

    // The optimizer's cuts: unit steps in 3 bits, the zigzag in one 8-bit segment, and the
    // island's two 8-bit steps on their own between its runs of unit steps.
    EXPECT_EQ(map.segment_sizes[horizontalId(1, 2) - 1], std::vector<int>{3});
    EXPECT_EQ(map.segment_sizes[verticalId(3, 0) - 1], std::vector<int>{8});
    EXPECT_EQ(map.segment_sizes[24], (std::vector<int>{3, 8, 3}));
}

}  // namespace
}  // namespace kvgtest
