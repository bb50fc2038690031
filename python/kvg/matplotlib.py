"""KVG output for matplotlib: ``import kvg.matplotlib``, then ``fig.savefig("plot.kvg")``.

Importing this module registers the ``kvg`` format, so ``savefig`` writes KVG for a ``.kvg``
name or ``format="kvg"``; ``matplotlib.use("module://kvg.matplotlib")`` makes it the backend.
``savefig`` takes ``compress=False`` for a plain file, ``units_per_point`` for the grid (10 grid
units per point by default) and ``metadata`` (a dict written as extension records).

How matplotlib's drawing maps onto KVG:

- the figure is one layer, and matplotlib's artist groups are objects;
- paths are polylines and polygons, or cubic chains where they have curves (quadratic curves
  raised to cubic); fills follow matplotlib's non-zero rule: rings with holes become faces of
  the planar map;
- colours are RGBA; line widths, joins and dashes are the line style (a dash pattern is fitted
  into the format's 16 steps);
- markers and the members of collections that repeat a path are shapes, defined once per style
  and stamped (or drawn scaled and rotated where only their size or angle differ);
- texts are text records in the font family, weight, style and size asked for, anchored on
  their baseline as matplotlib lays them out; mathematical text is drawn as glyph outlines;
- images are images of the file, in RGB where they are opaque: the data's own pixels (one
  per array element), stretched nearest-neighbour or bilinear as the image's interpolation
  asks (``"antialiased"`` as matplotlib decides it: nearest when enlarged more than three
  times or by a whole factor up to two), wherever the image's transform is affine.

What the format cannot say: clipping (strokes, fills and images are cut at rectangular clip
boxes here, markers are kept or dropped whole by their centre, other clip paths are ignored);
line caps (lines end square: projecting caps are drawn by lengthening solid lines, round caps
by dots on the ends of opaque solid lines, dashes keep square ends); hatching; Gouraud shading
(drawn in each triangle's mean colour); rotated or skewed images (drawn into their bounding
box); a transparent figure background.
"""

from __future__ import annotations

import contextlib
import functools
import os
import shutil
import tempfile
from typing import Dict, Iterator, List, NamedTuple, Optional, Sequence, Tuple

import matplotlib
import numpy as np
from matplotlib import font_manager
from matplotlib.backend_bases import (
    FigureCanvasBase,
    FigureManagerBase,
    RendererBase,
    _Backend,
    register_backend,
)
from matplotlib.backends.backend_mixed import MixedModeRenderer
from matplotlib.image import AxesImage
from matplotlib.path import Path
from matplotlib.transforms import Affine2D, Bbox

from ._enums import ColorMode, FontStyle, Joint, Primitive, Stretch, TextAlign, Typeface
from ._file import File
from ._mplpath import Subpath, nonzero_groups, on_grid, subpaths

#: Grid units per point (1/72 inch) unless savefig asks for another.
UNITS_PER_POINT = 10
_MM_PER_POINT = 25.4 / 72
_DASH_STEP_MM = 0.5  # a dash step is half a millimetre, or the line's width when wider
_DASH_STEPS = 16
_JOINTS = {"miter": Joint.MITER, "round": Joint.ROUND, "bevel": Joint.BEVEL}
_ANCHORS = {"left": (TextAlign.BASELEFT, 0.0), "center": (TextAlign.BASECENTER, 0.5),
            "right": (TextAlign.BASERIGHT, 1.0)}


def _rgba(color: Sequence[float], alpha: Optional[float] = None) -> int:
    """0xRRGGBBAA from matplotlib's RGBA floats; ``alpha`` replaces the colour's own."""
    r, g, b = (int(round(c * 255)) for c in color[:3])
    a = color[3] if alpha is None and len(color) > 3 else (1.0 if alpha is None else alpha)
    return r << 24 | g << 16 | b << 8 | int(round(a * 255))


def dash_pattern(offset: float, dashes: Sequence[float], step: float) -> int:
    """A dash sequence (lengths in points) as the format's 16-step pattern, most significant
    bit first, each step ``step`` points long.

    The sequence is repeated a whole number of times in the 16 steps and stretched to fill
    them; the number of repeats is the one whose pattern comes closest to the sequence's share
    of ink first (a dotted line must stay as light as it is), then to its period. Every dash
    keeps at least one step."""
    return _fitted_dashes(float(offset), tuple(float(d) for d in dashes), float(step))


@functools.lru_cache(maxsize=256)
def _fitted_dashes(offset: float, dashes: Tuple[float, ...], step: float) -> int:
    """dash_pattern's fit, once per figure's few dash styles."""
    dashes = list(dashes)
    if len(dashes) % 2:  # an odd sequence alternates on and off over two rounds
        dashes = dashes * 2
    period = sum(dashes)
    if period <= 0:
        return 0xFFFF
    ink = sum(dashes[0::2]) / period
    best, best_cost = 0xFFFF, np.inf
    for repeats in range(1, _DASH_STEPS // 2 + 1):
        pattern = _dash_steps(offset, dashes, repeats)
        fitted_ink = bin(pattern).count("1") / _DASH_STEPS
        fitted_period = _DASH_STEPS * step / repeats
        cost = abs(fitted_ink - ink) / max(ink, 1e-9) + 0.25 * abs(np.log(fitted_period / period))
        if cost < best_cost:
            best, best_cost = pattern, cost
    return best


def _dash_steps(offset: float, dashes: List[float], repeats: int) -> int:
    """The pattern of ``dashes`` repeated ``repeats`` times and stretched over the 16 steps."""
    stretch = _DASH_STEPS / (repeats * sum(dashes))
    bounds = np.cumsum(np.tile(dashes, repeats)) * stretch
    edges = np.minimum(np.round(bounds).astype(int), _DASH_STEPS)
    pattern, start = 0, 0
    for i, edge in enumerate(edges):
        if i % 2 == 0:  # a dash
            edge = max(edge, start + 1)
            for bit in range(start, min(edge, _DASH_STEPS)):
                pattern |= 1 << (_DASH_STEPS - 1 - bit)
        start = edge
    shift = int(round(offset * stretch)) % _DASH_STEPS
    return (pattern << shift | pattern >> (_DASH_STEPS - shift)) & 0xFFFF


def _typeface(prop: font_manager.FontProperties) -> Typeface:
    """The generic family of the font matplotlib would use."""
    family = prop.get_family()[0].lower()
    if family in ("monospace",):
        return Typeface.MONOSPACED
    if family in ("serif", "cursive", "fantasy"):
        return Typeface.SERIF
    if family in ("sans-serif", "sans", "sans serif"):
        return Typeface.SANS_SERIF
    name = family.replace(" ", "")
    if "mono" in name or "courier" in name:
        return Typeface.MONOSPACED
    if "serif" in name and "sans" not in name or "times" in name:
        return Typeface.SERIF
    return Typeface.SANS_SERIF


def _font_style(prop: font_manager.FontProperties) -> FontStyle:
    weight = prop.get_weight()
    bold = (font_manager.weight_dict.get(weight, 400) if isinstance(weight, str) else weight) >= 600
    italic = prop.get_style() in ("italic", "oblique")
    return FontStyle(bold + 2 * italic)


class _Stroke(NamedTuple):
    """An outline's style: 0xRRGGBBAA colour, joint, weight in grid units, 16-step dash pattern
    and matplotlib's cap style."""

    color: int
    joint: Joint
    weight: int
    dashes: int
    cap: str


def _reach(path, transform) -> np.ndarray:
    """The corners (x0, y0), (x1, y1) of a box around the path: its vertices', control points
    included, which hold every curve of the path."""
    vertices = transform.transform(path.vertices)
    vertices = vertices[np.isfinite(vertices).all(axis=1)]
    if len(vertices) == 0:
        return np.zeros((2, 2))
    return np.array([vertices.min(axis=0), vertices.max(axis=0)])


_CROP_STEP = 0.5  # points: where a clip box cuts an image, it cuts at most this far outside
_MAX_IMAGE_SIDE = 4096  # pixels an image is enlarged to, at most, to be cut that finely


def _crop(pixels: np.ndarray, rect, clip: Optional[Bbox], slack: float = 0.0):
    """The pixels of an image in ``rect`` (x, y, width, height) that the clip box shows, with
    the rectangle they fill; None when none are shown. The cut follows whole pixels; pixels
    larger than the cut's step are first split into equal ones, so that the cut lies close to
    the clip box. A side that overhangs the clip box by at most ``slack`` is moved onto it
    instead (matplotlib enlarges an image's own pixels by a device pixel or two, so that they
    cover the axes when rasterized)."""
    if clip is None:
        return pixels, rect
    x0, y0, w, h = rect
    x1, y1 = x0 + w, y0 + h
    x0 = clip.x0 if clip.x0 - slack <= x0 < clip.x0 else x0
    y0 = clip.y0 if clip.y0 - slack <= y0 < clip.y0 else y0
    x1 = clip.x1 if clip.x1 < x1 <= clip.x1 + slack else x1
    y1 = clip.y1 if clip.y1 < y1 <= clip.y1 + slack else y1
    x, y, w, h = x0, y0, x1 - x0, y1 - y0
    cut = _cut(pixels.shape[1], x, w, clip.x0, clip.x1), _cut(pixels.shape[0], y, h, clip.y0,
                                                             clip.y1)
    if cut[0] is None or cut[1] is None:
        return None
    (c0, c1, columns), (r0, r1, rows) = cut
    if (columns, rows) != pixels.shape[1::-1]:
        pixels = np.repeat(np.repeat(pixels, rows // pixels.shape[0], axis=0),
                           columns // pixels.shape[1], axis=1)
    return pixels[r0:r1, c0:c1], (x + c0 * w / columns, y + r0 * h / rows,
                                  (c1 - c0) * w / columns, (r1 - r0) * h / rows)


def _cut(count: int, start: float, length: float, low: float, high: float):
    """The range of pixels [first, last) of a row of ``count`` pixels over ``start`` ..
    ``start + length`` that reach into ``low`` .. ``high``, and the pixel count they are taken
    from (the row's pixels split where a cut falls inside it); None when none reach in."""
    if low <= start and start + length <= high:
        return 0, count, count
    split = max(1, min(int(np.ceil(length / count / _CROP_STEP)), _MAX_IMAGE_SIDE // count))
    count *= split
    size = length / count
    first = max(0, int(np.floor((low - start) / size)))
    last = min(count, int(np.ceil((high - start) / size)))
    return (first, last, count) if first < last else None


def _within(box: np.ndarray, clip: Bbox) -> bool:
    (x0, y0), (x1, y1) = box
    return clip.x0 <= x0 and x1 <= clip.x1 and clip.y0 <= y0 and y1 <= clip.y1


class _Attributes:
    """The attributes last written to one stream, so that each is written only when it
    changes: the layer, or the definitions stream that shapes write into."""

    def __init__(self, f: File) -> None:
        self._f = f
        self._set: Dict[str, object] = {}

    def ensure(self, name: str, value, write) -> None:
        if self._set.get(name, ()) != value:
            write()
            self._set[name] = value

    def color_size(self, mode: ColorMode) -> None:
        self.ensure("color_size", mode, lambda: self._f.set_color_size(mode))

    def fill(self, enabled: bool) -> None:
        # The switch belongs to the handle, not to a stream.
        self._f.set_fill(enabled)

    def fill_color(self, color: int) -> None:
        self.ensure("fill_color", color, lambda: self._f.set_fill_color(color))

    def line(self, color: int, joint: Joint, weight: int, dashes: int) -> None:
        self.ensure("line_color", color, lambda: self._f.set_line_color(color))
        self.ensure("line_style", (joint, weight),
                    lambda: self._f.set_line_style(joint, weight=weight))
        self.ensure("dashes", dashes, lambda: self._f.set_line_dashes(dashes))

    def stretch(self, mode: Stretch) -> None:
        self.ensure("stretch", mode, lambda: self._f.set_image_stretch_mode(mode))

    def text(self, color: int, font: Tuple[Typeface, FontStyle, int],
             alignment: Tuple[TextAlign, float]) -> None:
        self.ensure("text_color", color, lambda: self._f.set_text_color(color))
        self.ensure("font", font, lambda: self._f.set_font(*font))
        self.ensure("alignment", alignment, lambda: self._f.set_text_alignment(*alignment))


class RendererKVG(RendererBase):
    """Draws a figure into an open :class:`kvg.File` whose world units are grid units, with
    the origin at the figure's lower-left corner."""

    def __init__(self, f: File, width: float, height: float, image_dpi: float,
                 units_per_point: float) -> None:
        super().__init__()
        self.width, self.height = width, height  # points
        self.image_dpi = image_dpi
        self._f = f
        self._scale = units_per_point
        self._layer = _Attributes(f)
        self._definitions = _Attributes(f)
        self._attributes = self._layer
        self._shapes: Dict[tuple, Tuple[int, np.ndarray]] = {}
        self._interpolation = "nearest"  # of the image being drawn from its own pixels
        self._layer.color_size(ColorMode.RGBA)

    # ---- What matplotlib asks of a vector backend

    def flipy(self) -> bool:
        return False

    def get_canvas_width_height(self) -> Tuple[float, float]:
        return self.width, self.height

    def option_image_nocomposite(self) -> bool:
        return not matplotlib.rcParams["image.composite_image"]

    def option_scale_image(self) -> bool:
        return True

    def get_image_magnification(self) -> float:
        return self.image_dpi / 72.0

    def open_group(self, s: str, gid: Optional[str] = None) -> None:
        self._f.begin_object(gid or s)

    def close_group(self, s: str) -> None:
        self._f.end_object()

    # ---- Paths

    def draw_path(self, gc, path, transform, rgbFace=None) -> None:
        self._paint(path, transform, self._fill_color(gc, rgbFace), self._stroke(gc),
                    self._clip_box(gc))

    def _paint(self, path, transform, fill, stroke, clip: Optional[Bbox]) -> None:
        """Fills, then outlines, the path (in points after ``transform``)."""
        if fill is None and stroke is None:
            return
        if clip is not None and _within(_reach(path, transform), clip):
            clip = None
        whole = None
        if fill is not None:
            whole = self._subpaths(path, transform, clip, fill=True)
            self._fill(whole, fill)
        if stroke is not None:
            # Strokes are simplified as matplotlib simplifies them; unsimplified and uncut,
            # the fill's subpaths serve.
            simplify = path.should_simplify
            if whole is None or clip is not None or simplify:
                whole = self._subpaths(path, transform, clip, fill=False, simplify=simplify)
            self._outline(whole, stroke)

    def _fill_color(self, gc, rgbFace) -> Optional[int]:
        if rgbFace is None:
            return None
        alpha = gc.get_alpha() if gc.get_forced_alpha() else None
        color = _rgba(rgbFace, alpha)
        return color if color & 0xFF else None

    def _stroke(self, gc) -> Optional[_Stroke]:
        """The outline's style, or None for no outline."""
        width = gc.get_linewidth()
        color = _rgba(gc.get_rgb())
        if width <= 0 or not color & 0xFF:
            return None
        weight = min(255, max(1, int(round(width * self._scale))))
        offset, dashes = gc.get_dashes()
        pattern = 0xFFFF
        if dashes is not None and len(dashes):
            step = max(weight / self._scale, _DASH_STEP_MM / _MM_PER_POINT)
            pattern = dash_pattern(offset or 0.0, dashes, step)
        return _Stroke(color, _JOINTS.get(gc.get_joinstyle(), Joint.DEFAULT), weight, pattern,
                       gc.get_capstyle())

    @staticmethod
    def _clip_box(gc) -> Optional[Bbox]:
        box = gc.get_clip_rectangle()
        return None if box is None else Bbox(box.get_points())

    def _subpaths(self, path, transform, clip: Optional[Bbox], *, fill: bool,
                  simplify: bool = False) -> List[Subpath]:
        """The path in figure points, cut at the clip box if there is one."""
        if clip is None:
            cut = path.cleaned(transform, remove_nans=True, simplify=simplify, curves=True)
        elif fill:
            cut = transform.transform_path(path).clip_to_bbox(clip)
        else:
            cut = path.cleaned(transform, remove_nans=True, clip=clip.extents, simplify=simplify)
        return subpaths(cut, self._scale)

    def _outline(self, parts: List[Subpath], stroke: _Stroke) -> None:
        if stroke.dashes == 0:
            return
        self._attributes.fill(False)
        self._attributes.line(stroke.color, stroke.joint, stroke.weight, stroke.dashes)
        # Lines end square in the file: a projecting cap is drawn by lengthening the line, a
        # round one by a dot on each end (only where the line is opaque and solid: a dot would
        # show through a translucent line and sit on a dash's gap).
        solid = stroke.dashes == 0xFFFF
        if solid and stroke.cap == "projecting":
            parts = [sub.projected(stroke.weight / 2) for sub in parts]
        for sub in parts:
            self._draw_outline(sub)
        if solid and stroke.cap == "round" and stroke.color & 0xFF == 0xFF:
            ends = [sub.points[i] for sub in parts if not sub.closed for i in (0, -1)]
            if ends:
                self._attributes.fill(True)
                self._attributes.fill_color(stroke.color)
                for x, y in ends:
                    self._f.circle(x, y, stroke.weight / 2)

    def _draw_outline(self, sub: Subpath) -> None:
        if sub.curved:
            self._f.bezier(sub.closed_points() if sub.closed else sub.points)
        elif sub.closed and len(sub.points) >= 3:
            self._f.polygon(sub.points)
        else:
            points = np.vstack([sub.points, sub.points[:1]]) if sub.closed else sub.points
            self._f.polyline(points)

    def _fill(self, parts: List[Subpath], color: int) -> None:
        self._attributes.fill(True)
        self._attributes.fill_color(color)
        rings = [s for s in parts if s.curved or len(s.points) >= 3]
        if len(rings) == 1:
            self._fill_one(rings[0])
            return
        flat = [s.ring() for s in rings]
        for outer, holes in nonzero_groups(flat):
            if not holes:
                self._fill_one(rings[outer])
            elif self._attributes is self._definitions:
                # Definitions cannot be made inside a shape: holes are filled over.
                self._fill_one(rings[outer])
            else:
                self._f.face(self._face([flat[outer]], [flat[h] for h in holes]))

    def _fill_one(self, ring: Subpath) -> None:
        if ring.curved:
            self._f.bezier(ring.closed_points())
        else:
            self._f.polygon(ring.points)

    def _face(self, outer: List[np.ndarray], holes: List[np.ndarray]) -> int:
        """Defines a face of one ring with holes (each a face of one ring)."""
        hole_faces = [self._f.set_face([self._f.set_edge(self._closed(h))]) for h in holes]
        return self._f.set_face([self._f.set_edge(self._closed(r)) for r in outer], hole_faces)

    @staticmethod
    def _closed(ring: np.ndarray) -> np.ndarray:
        ring = on_grid(ring)
        return ring if np.all(ring[0] == ring[-1]) else np.vstack([ring, ring[:1]])

    # ---- Markers and collections: shapes defined once, stamped many times

    def draw_markers(self, gc, marker_path, marker_trans, path, trans, rgbFace=None) -> None:
        if not len(path.vertices):
            return
        cleaned = path.cleaned(trans, remove_nans=True)
        positions = cleaned.vertices[cleaned.codes != Path.STOP]
        positions = self._inside(positions, self._clip_box(gc))
        if len(positions) == 0:
            return
        if len(positions) == 1:
            offset = Affine2D().translate(*positions[0])
            self.draw_path(gc, marker_path, marker_trans + offset, rgbFace)
            return
        shape = self._shape(gc, marker_path, marker_trans, rgbFace)
        if shape is not None:
            self._f.stamp_shapes(shape, on_grid(positions * self._scale))

    @staticmethod
    def _inside_mask(points: np.ndarray, clip: Optional[Bbox]) -> np.ndarray:
        if clip is None:
            return np.ones(len(points), dtype=bool)
        (x0, y0), (x1, y1) = clip.get_points()
        return (points[:, 0] >= x0) & (points[:, 0] <= x1) & (points[:, 1] >= y0) & (
            points[:, 1] <= y1)

    def _inside(self, points: np.ndarray, clip: Optional[Bbox]) -> np.ndarray:
        return points[self._inside_mask(points, clip)]

    def _shape(self, gc, path, transform, rgbFace) -> Optional[int]:
        """The shape that draws ``path`` (about the origin) in the style of ``gc``."""
        fill, stroke = self._fill_color(gc, rgbFace), self._stroke(gc)
        if fill is None and stroke is None:
            return None
        matrix = tuple(np.round(transform.get_matrix()[:2].ravel(), 9))
        key = (path.vertices.tobytes(), None if path.codes is None else path.codes.tobytes(),
               matrix, fill, stroke)
        if key not in self._shapes:
            self._shapes[key] = self._define_shape(path, transform, fill, stroke)
        return self._shapes[key]

    def _define_shape(self, path, transform, fill, stroke) -> int:
        margin = stroke.weight / self._scale / 2 if stroke is not None else 0.0
        reach = max(np.abs(_reach(path, transform)).max() + margin, 1.0 / self._scale)
        corner = float(np.ceil(reach * self._scale))
        with self._f.shape_definition(corner, corner) as shape:
            self._attributes = self._definitions
            self._definitions.color_size(ColorMode.RGBA)
            self._paint(path, transform, fill, stroke, None)
            self._attributes = self._layer
        return shape

    def draw_path_collection(self, gc, master_transform, paths, all_transforms, offsets,
                             offset_trans, facecolors, edgecolors, linewidths, linestyles,
                             antialiaseds, urls, offset_position) -> None:
        """Members that repeat a path (and its transform) are stamps of shapes: one shape for
        each combination of path, transform, face colour, edge colour, line width and dashes
        that occurs, defined once, and every member stamped in one call in the collection's
        order. The members are sorted into those combinations with numpy, as matplotlib
        cycles their attributes; a collection whose members mostly differ in path draws each
        as a path."""
        if len(paths) == 0 or len(facecolors) == len(edgecolors) == 0:
            return
        transforms = np.asarray(all_transforms, dtype=float).reshape(-1, 3, 3)
        members = _Members(paths, transforms, offsets, offset_trans, facecolors, edgecolors,
                           linewidths, linestyles)
        if 2 * len(np.unique(members.attributes[:, 0])) > len(members.xy):
            super().draw_path_collection(
                gc, master_transform, paths, all_transforms, offsets, offset_trans, facecolors,
                edgecolors, linewidths, linestyles, antialiaseds, urls, offset_position)
            return
        shown = members.finite & self._inside_mask(members.xy, self._clip_box(gc))
        combinations, first, which = np.unique(members.attributes[shown], axis=0,
                                               return_index=True, return_inverse=True)
        member = np.flatnonzero(shown)[first]
        shapes = np.empty(len(combinations), dtype=np.int64)
        for k, i in enumerate(member):
            gc0, face = members.style(self, gc, i)
            path, transform = members.path(i)
            shape = self._shape(gc0, path, transform + master_transform, face)
            shapes[k] = -1 if shape is None else shape
            gc0.restore()
        ids = shapes[np.ravel(which)]
        drawn = ids >= 0
        if drawn.any():
            self._f.stamp_shapes(ids[drawn].astype(np.uint32),
                                 on_grid(members.xy[shown][drawn] * self._scale))

    def draw_gouraud_triangle(self, gc, points, colors, transform) -> None:
        triangle = Path(np.asarray(points), closed=False)
        self.draw_path(gc, triangle, transform, np.asarray(colors).mean(axis=0))

    def draw_gouraud_triangles(self, gc, triangles_array, colors_array, transform) -> None:
        for points, colors in zip(triangles_array, colors_array):
            self.draw_gouraud_triangle(gc, points, colors, transform)

    # ---- Images

    def unsampled(self, image: AxesImage) -> bool:
        """Stands in for ``image._check_unsampled_image`` while the figure is drawn: matplotlib
        then hands over the image's own pixels and their transform, and draw_image takes the
        interpolation noted here."""
        self._interpolation = image.get_interpolation()
        return True

    def _stretch(self, data_size: Tuple[int, int], shown: Tuple[float, float]) -> Stretch:
        """How the image with ``data_size`` (columns, rows) pixels shown over ``shown`` device
        pixels is stretched, by its interpolation (matplotlib's rule for "antialiased")."""
        if self._interpolation in ("none", "nearest"):
            return Stretch.NEAREST
        if self._interpolation != "antialiased":
            return Stretch.BILINEAR
        enlarged = all(d > 3 * n or d in (n, 2 * n) for n, d in zip(data_size, shown))
        return Stretch.NEAREST if enlarged else Stretch.BILINEAR

    def draw_image(self, gc, x, y, im, transform=None) -> None:
        height, width = im.shape[:2]
        if width == 0 or height == 0:
            return
        pixels = np.asarray(im)  # rows from the bottom up, as the file's images run
        if transform is None:  # resampled at the image resolution
            w, h = width * 72.0 / self.image_dpi, height * 72.0 / self.image_dpi
            stretch, slack = Stretch.NEAREST, 0.0
        else:
            # The image's own pixels: the transform takes its unit square onto the figure. A
            # rotated or skewed image fills the box around where it would lie.
            corners = transform.transform([(0, 0), (1, 0), (0, 1), (1, 1)])
            (x0, y0), (x1, y1) = corners.min(axis=0), corners.max(axis=0)
            flip_x, flip_y = corners[1, 0] < corners[0, 0], corners[2, 1] < corners[0, 1]
            x, y, w, h = x + x0, y + y0, x1 - x0, y1 - y0
            pixels = pixels[::-1 if flip_y else 1, ::-1 if flip_x else 1]
            if gc.get_alpha() != 1.0:
                pixels = pixels.copy()
                pixels[..., 3] = np.round(pixels[..., 3] * gc.get_alpha())
            device = self.image_dpi / 72.0
            stretch = self._stretch((width, height), (w * device, h * device))
            slack = 2 / device
        cropped = _crop(pixels, (x, y, w, h), self._clip_box(gc), slack)
        if cropped is None:
            return
        pixels, (x, y, w, h) = cropped
        if np.all(pixels[..., 3] == 255):
            self._layer.color_size(ColorMode.RGB)
            image = self._f.set_image(pixels[..., :3])
            self._layer.color_size(ColorMode.RGBA)
        else:
            image = self._f.set_image(pixels)
        self._layer.stretch(stretch)
        s = self._scale
        self._f.image(image, x * s, y * s, w * s, h * s)

    # ---- Text

    def draw_text(self, gc, x, y, s, prop, angle, ismath=False, mtext=None) -> None:
        if ismath or not s:
            super().draw_text(gc, x, y, s, prop, angle, ismath, mtext)
            return
        color = _rgba(gc.get_rgb(), gc.get_alpha() if gc.get_forced_alpha() else None)
        if not color & 0xFF:
            return
        alignment, along = _ANCHORS[mtext.get_ha() if mtext is not None else "left"]
        if along:
            width = self.get_text_width_height_descent(s, prop, ismath)[0] * along
            x += width * np.cos(np.radians(angle))
            y += width * np.sin(np.radians(angle))
        size = max(1, int(round(prop.get_size_in_points() * self._scale)))
        self._layer.text(color, (_typeface(prop), _font_style(prop), size),
                         (alignment, float(angle)))
        self._f.text(x * self._scale, y * self._scale, s)


@contextlib.contextmanager
def _target_path(filename) -> Iterator[str]:
    """A path to write to: ``filename`` itself, or a scratch file copied into a file object."""
    if isinstance(filename, (str, os.PathLike)):
        yield os.fspath(filename)
        return
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "figure.kvg")
        yield path
        with open(path, "rb") as written:
            shutil.copyfileobj(written, filename)


def _classes(values, count: int) -> np.ndarray:
    """For members 0 .. count-1 that cycle through ``values`` (rows), the class of each
    member's value: equal values, equal classes. All 0 when there are no values."""
    values = np.asarray(values)
    if len(values) == 0:
        return np.zeros(count, dtype=np.int64)
    _, inverse = np.unique(values.reshape(len(values), -1), axis=0, return_inverse=True)
    return np.ravel(inverse)[np.arange(count) % len(values)]


class _Members:
    """The members of a path collection, as matplotlib's ``_iter_collection`` cycles their
    attributes: each member's offset in points and a row of attribute classes (path and
    transform, face colour, edge colour, line width, dashes) equal where members draw the
    same."""

    def __init__(self, paths, transforms: np.ndarray, offsets, offset_trans, facecolors,
                 edgecolors, linewidths, linestyles) -> None:
        self._paths, self._transforms = paths, transforms
        self._path_ids = max(len(paths), len(transforms))
        offsets = np.asarray(offsets, dtype=float).reshape(-1, 2)
        count = max(self._path_ids, len(offsets))
        placed = offset_trans.transform(offsets) if len(offsets) else np.zeros((1, 2))
        self.xy = placed[np.arange(count) % len(placed)]
        self.finite = np.isfinite(self.xy).all(axis=1)
        self._faces, self._edges = facecolors, edgecolors
        self._widths, self._dashes = linewidths, linestyles
        # Path ids whose path and transform are the same draw the same.
        ids = np.arange(self._path_ids)
        same = np.column_stack([ids % len(paths), _classes(np.round(transforms, 9), len(ids))])
        shape_classes = np.ravel(np.unique(same, axis=0, return_inverse=True)[1])
        dash_classes = np.arange(count) % max(1, len(linestyles))
        self.attributes = np.column_stack([
            shape_classes[np.arange(count) % len(ids)], _classes(facecolors, count),
            _classes(edgecolors, count), _classes(linewidths, count), dash_classes])

    def path(self, i: int):
        """The path of member ``i`` and its own transform (before the master transform)."""
        k = i % self._path_ids
        if len(self._transforms) == 0:
            return self._paths[k % len(self._paths)], Affine2D()
        return (self._paths[k % len(self._paths)],
                Affine2D(self._transforms[k % len(self._transforms)]))

    def style(self, renderer: RendererBase, gc, i: int):
        """The graphics context and face colour of member ``i``, made as matplotlib makes them
        (the caller restores the context)."""
        gc0 = renderer.new_gc()
        gc0.copy_properties(gc)
        if len(self._edges) == 0:
            gc0.set_linewidth(0.0)
        else:
            if len(self._widths):
                gc0.set_linewidth(self._widths[i % len(self._widths)])
            if len(self._dashes):
                gc0.set_dashes(*self._dashes[i % len(self._dashes)])
            edge = self._edges[i % len(self._edges)]
            if len(edge) == 4 and edge[3] == 0.0:
                gc0.set_linewidth(0)
            else:
                gc0.set_foreground(edge)
        face = self._faces[i % len(self._faces)] if len(self._faces) else None
        if face is not None and len(face) == 4 and face[3] == 0:
            face = None
        return gc0, face


@contextlib.contextmanager
def _own_pixels(figure, renderer: RendererKVG) -> Iterator[None]:
    """While the figure is drawn, its images hand the renderer their own pixels instead of a
    picture resampled to the page (matplotlib does so by itself only for interpolation "none").
    Only plain AxesImages can: their subclasses refuse it."""
    images = [image for axes in figure.get_axes() for image in axes.get_images()
              if type(image) is AxesImage]
    for image in images:
        image._check_unsampled_image = functools.partial(renderer.unsampled, image)
    try:
        yield
    finally:
        for image in images:
            del image._check_unsampled_image


class FigureCanvasKVG(FigureCanvasBase):
    filetypes = {"kvg": "KVG vector drawing"}
    fixed_dpi = 72

    def print_kvg(self, filename, *, bbox_inches_restore=None, metadata=None, compress=True,
                  units_per_point=UNITS_PER_POINT, **_figure_settings) -> None:
        """Writes the figure as a KVG file (``filename`` a path or a binary file object).

        ``savefig`` sets the figure's colours and resolution itself before calling this; they
        reach here too (``facecolor``, ``dpi``, ...) and need nothing more."""
        dpi = self.figure.dpi
        self.figure.dpi = 72
        width, height = self.figure.get_size_inches()
        # An even grid keeps the file window on whole units; the page is that grid's size.
        grid = tuple(2 * int(np.ceil(v * 72 * units_per_point / 2)) for v in (width, height))
        page = tuple(g / units_per_point * _MM_PER_POINT for g in grid)
        background = _rgba(self.figure.get_facecolor(), 1.0) >> 8
        with _target_path(filename) as path, File(
                path, world=(0, grid[0], 0, grid[1]), size_mm=page, resolution=grid,
                background=background, compress=compress) as f:
            f.begin_layer("figure")
            for key, value in (metadata or {}).items():
                f.extension(str(key), str(value))
            kvg_renderer = RendererKVG(f, width * 72, height * 72, dpi, units_per_point)
            renderer = MixedModeRenderer(self.figure, width, height, dpi, kvg_renderer,
                                         bbox_inches_restore=bbox_inches_restore)
            with _own_pixels(self.figure, kvg_renderer):
                self.figure.draw(renderer)

    def get_default_filetype(self) -> str:
        return "kvg"


FigureManagerKVG = FigureManagerBase

register_backend("kvg", __name__, "KVG vector drawing")


@_Backend.export
class _BackendKVG(_Backend):
    FigureCanvas = FigureCanvasKVG
    FigureManager = FigureManagerKVG
