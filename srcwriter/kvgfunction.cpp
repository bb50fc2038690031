// The stream state's life (create, reset, copy, compare) and the three size records.
#include <cstdlib>
#include <cstring>

#include "kvgassert.h"
#include "kvgfunction_internal.h"
#include "kvgtype.h"

namespace {

constexpr const char *kSourceFile = "kvgfunction";

constexpr KvgMessage errstr[kvgf::ERR_COUNT] = {
    {"No previous shape to repeat", KVG_ERR_CONTEXT},
    {"String is NULL", KVG_ERR_PARAM},
    {"String has zero length", KVG_ERR_PARAM},
    {"KVG_TRUE or KVG_FALSE expected", KVG_ERR_PARAM},
    {"Relative point array is NULL", KVG_ERR_PARAM},
    {"Relative point array has zero length", KVG_ERR_PARAM},
    {"Invalid bounding box dimensions", KVG_ERR_PARAM},
    {"Invalid source bounding box dimensions", KVG_ERR_PARAM},
    {"Invalid destination bounding box dimensions", KVG_ERR_PARAM},
    {"Invalid relative point size in edge segment", KVG_ERR_PARAM},
    {"Segment count is zero", KVG_ERR_PARAM},
    {"Invalid point size", KVG_ERR_PARAM},
    {"Invalid relative point size", KVG_ERR_PARAM},
    {"Invalid color size", KVG_ERR_PARAM},
    {"Invalid blend mode", KVG_ERR_PARAM},
    {"Invalid line joint style", KVG_ERR_PARAM},
    {"Invalid line begin decoration style", KVG_ERR_PARAM},
    {"Invalid line end decoration style", KVG_ERR_PARAM},
    {"Invalid mark style", KVG_ERR_PARAM},
    {"Invalid image stretch mode", KVG_ERR_PARAM},
    {"Invalid font typeface", KVG_ERR_PARAM},
    {"Invalid font style", KVG_ERR_PARAM},
    {"Invalid text alignment reference point", KVG_ERR_PARAM},
    {"Angle is not a finite number", KVG_ERR_PARAM},
};

// The size records carry their size in the code: the code is the first one of its family plus
// the size's position in this list.
constexpr uint8_t kPointSizes[] = {16, 24, 32, 64, 128};
constexpr uint8_t kRelPointSizes[] = {3, 6, 8, 16, 24, 32, 64, 128};

template <size_t N>
int indexOfSize(const uint8_t (&sizes)[N], int size) {
    for (size_t i = 0; i < N; ++i) {
        if (sizes[i] == size) return static_cast<int>(i);
    }
    return -1;
}

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint16_t kSolidDashes = 0xFFFF;

}  // namespace

int recordFail(KVGF_State *st, kvgf::RecordError error, int line) {
    return kvgRecord(st->error, errstr[error], kSourceFile, line);
}

int isValidRelPointSize(uint8_t rps) { return indexOfSize(kRelPointSizes, rps) >= 0; }

KVGF_State *KVGF_CreateState(XIO_File *file, KVGE_Context *error) {
    auto *st = static_cast<KVGF_State *>(std::calloc(1, sizeof(KVGF_State)));
    if (st == nullptr) return nullptr;
    KVG_REQUIRE(file);
    KVG_REQUIRE(error);
    st->file = file;
    st->error = error;
    st->current = 0;
    st->bit = 0;
    // Marks are left alone by the layer reset, so they get their initial values here once:
    // colour 0 in RGB like the other attribute colours, a plus of size 1.
    st->mark.color = 0;
    st->mark.color_size = KVG_COLOR_RGB;
    st->mark.type = KVG_MARK_PLUS;
    st->mark.size = 1;
    KVGF_ResetStateDefaults(st);
    return st;
}

void KVGF_DestroyState(KVGF_State *st) { std::free(st); }

void KVGF_ResetStateDefaults(KVGF_State *st) {
    st->color_size = KVG_COLOR_RGB;
    st->blend_mode = KVG_BLEND_SOURCE_OVER_DEST;
    st->line.color = 0;
    st->line.color_size = KVG_COLOR_RGB;
    st->line.dashes = kSolidDashes;
    st->line.joint = KVG_JOINT_DEFAULT;
    st->line.begin = KVG_NO_ARROW;
    st->line.end = KVG_NO_ARROW;
    st->line.weight = 1;
    st->fill = {};
    st->fill.mode = FILL_COLOR;
    st->fill.color_size = KVG_COLOR_RGB;
    st->fill.gradient_color_size = KVG_COLOR_RGB;
    st->image_stretch_mode = KVG_STRETCH_NEAREST;
    st->text = {};
    st->text.color_size = KVG_COLOR_RGB;
    st->text.font_typeface = KVG_FONT_DEFAULT;
    st->text.font_style = KVG_FONT_PLAIN;
    st->text.font_size = 1;
    st->text.alignment = KVG_TEXT_BASECENTER;
    st->palette = {};
    st->palette.colors[0] = kWhite;
    st->palette.length = 2;
    st->palette.color_size = KVG_COLOR_RGB;
    st->shape_last_id = KVGF_NO_SHAPE;
}

int KVGF_CopyStateVars(KVGF_State *to, const KVGF_State *from) {
    to->point_size = from->point_size;
    to->rel_point_size = from->rel_point_size;
    to->color_size = from->color_size;
    to->blend_mode = from->blend_mode;
    to->line = from->line;
    to->mark = from->mark;
    to->fill = from->fill;
    to->image_stretch_mode = from->image_stretch_mode;
    to->text = from->text;
    to->palette = from->palette;
    return 0;
}

int KVGF_CopyStates(KVGF_State *to, const KVGF_State *from) {
    KVGF_CopyStateVars(to, from);
    to->error = from->error;
    to->file = from->file;
    to->current = from->current;
    to->bit = from->bit;
    return 0;
}

int KVGF_ComparePalette(const KVGF_State *st1, const KVGF_State *st2) {
    if (st1 == st2) return 0;
    const auto &a = st1->palette;
    const auto &b = st2->palette;
    if (a.length != b.length) return a.length - b.length;
    if (a.color_size != b.color_size) return int{a.color_size} - int{b.color_size};
    for (int i = 0; i < a.length; ++i) {
        if (a.colors[i] != b.colors[i]) return static_cast<int>(a.colors[i] - b.colors[i]);
    }
    return 0;
}

int KVGF_SetPointSize(KVGF_State *st, int size) {
    const int index = indexOfSize(kPointSizes, size);
    if (index < 0) return KVGF_FAIL(st, ERR_PTSIZE);
    st->point_size = static_cast<uint8_t>(size);
    return KVGT_Byte(st, KVGF_CODE_POINT_SIZE_16 + index);
}

int KVGF_SetRelPointSize(KVGF_State *st, int size) {
    const int index = indexOfSize(kRelPointSizes, size);
    if (index < 0) return KVGF_FAIL(st, ERR_RELPTSIZE);
    st->rel_point_size = static_cast<uint8_t>(size);
    return KVGT_Byte(st, KVGF_CODE_REL_POINT_SIZE_3 + index);
}

int KVGF_SetColorSize(KVGF_State *st, int mode) {
    const uint8_t size = static_cast<uint8_t>(mode);
    if (size > KVG_COLOR_RGBA) return KVGF_FAIL(st, ERR_COLORSIZE);
    st->color_size = size;
    if (KVGT_Byte(st, KVGF_CODE_COLOR_SIZE) != 0) return -1;
    return KVGT_Byte(st, size);
}
