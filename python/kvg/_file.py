"""kvg.File: one KVG file being written."""

from __future__ import annotations

import contextlib
import os
from typing import Iterator, NamedTuple, Sequence, Tuple, Union

import numpy as np
import numpy.typing as npt

from . import _kvg
from ._colors import Color, color_value
from ._output import Output
from ._plain import PlainWriter
from ._enums import (
    Arrow,
    BlendMode,
    ColorMode,
    FontStyle,
    Joint,
    MarkType,
    Primitive,
    Stretch,
    TextAlign,
    Typeface,
)

#: Points: an (n, 2) array of x, y pairs of any numeric dtype and layout, or a sequence of pairs.
Points = Union[npt.ArrayLike, Sequence[Tuple[float, float]]]
PathLike = Union[str, "os.PathLike[str]"]


class ColorSetting(NamedTuple):
    """A colour as the graphic state holds it, with its colour mode."""

    value: int
    mode: ColorMode


class LineStyle(NamedTuple):
    joint: Joint
    begin: Arrow
    end: Arrow
    weight: int  #: file units


class MarkStyle(NamedTuple):
    type: MarkType
    size: int


class Gradient(NamedTuple):
    x1: float
    y1: float
    color1: int
    x2: float
    y2: float
    color2: int
    mode: ColorMode


class Texture(NamedTuple):
    x: float
    y: float
    image: int


class StretchedTexture(NamedTuple):
    x: float
    y: float
    width: float
    height: float
    image: int


class Font(NamedTuple):
    typeface: Typeface
    style: FontStyle
    size: int  #: file units


class Alignment(NamedTuple):
    alignment: TextAlign
    direction: float  #: degrees


class Palette(NamedTuple):
    colors: list
    mode: ColorMode


def _pair(value: Union[float, Tuple[float, float]]) -> Tuple[float, float]:
    if isinstance(value, (int, float)):
        return value, value
    first, second = value
    return first, second


def _pack_pixels(pixels: npt.ArrayLike) -> np.ndarray:
    """(h, w) colour values as they are; (h, w, 3) or (h, w, 4) 8-bit RGB(A) packed into
    0xRRGGBB or 0xRRGGBBAA values."""
    array = np.asarray(pixels)
    if array.ndim != 3:
        return array
    if array.shape[2] not in (3, 4):
        raise ValueError("pixels must be (h, w) colours or (h, w, 3|4) 8-bit channels")
    channels = array.astype(np.uint32)
    packed = np.zeros(array.shape[:2], dtype=np.uint32)
    for channel in range(array.shape[2]):
        packed = packed << 8 | channels[:, :, channel]
    return packed


class File(Output):
    """A KVG file being written.

    Positions are world units: the window ``world = (xmin, xmax, ymin, ymax)`` maps onto the
    file's integer grid of ``resolution`` cells (one scale for both axes; the window widens
    around its centre on the other axis) and onto a page of ``size_mm`` millimetres. As a
    context manager the file is completed when the block ends and abandoned when it raises (its
    path keeps what it held before)::

        with kvg.File("map.kvg", world=(-180, 180, -90, 90)) as f:
            f.begin_layer("coast")
            f.polyline([(-10, 40), (0, 45), (10, 42)])

    Drawing calls return False when the figure came to nothing on the grid (nothing was
    written). Failures raise :class:`kvg.Error` subclasses with the library's code and message;
    the file stays usable after them.

    Colours are ints in the current colour mode (``0xRRGGBB`` in the default RGB mode) or
    ``"#rrggbb"`` strings (``"#rrggbbaa"`` in the RGBA mode).
    """

    def __init__(
        self,
        path: PathLike,
        world: Tuple[float, float, float, float] = (-100.0, 100.0, -100.0, 100.0),
        size_mm: Union[float, Tuple[float, float]] = (100.0, 100.0),
        resolution: Union[int, Tuple[int, int]] = (4096, 4096),
        background: Color = 0xFFFFFF,
        compress: bool = True,
        quantize: bool = True,
    ) -> None:
        xmin, xmax, ymin, ymax = world
        width_mm, height_mm = _pair(size_mm)
        width_res, height_res = _pair(resolution)
        self.path = os.fspath(path)
        create = PlainWriter(_kvg).Writer  # refusals name File's own arguments
        self._w = PlainWriter(create(
            self.path, xmin, xmax, ymin, ymax, width_mm, height_mm, width_res, height_res,
            quantize, color_value(background), compress,
        ))

    # ---- Life of the file

    def close(self) -> None:
        """Completes the file. Raises when it cannot be completed; the handle is released
        either way."""
        self._w.close()

    def _color(self, color: Color) -> int:
        return color_value(color, self._w.get_color_size())

    # ---- Layers, objects and extensions

    def begin_layer(self, name: str, visible: bool = True, detectable: bool = True) -> None:
        """Starts a layer. Every layer starts from the default attributes with fill off."""
        self._w.begin_layer(name, visible, detectable)

    def begin_object(self, name: str) -> None:
        """Starts a named object (a group of drawings)."""
        self._w.begin_object(name)

    def end_object(self) -> None:
        """Ends the current object."""
        self._w.end_object()

    @contextlib.contextmanager
    def object(self, name: str) -> Iterator[None]:
        """``with f.object("name"):`` brackets the drawings of the block as one object."""
        self._w.begin_object(name)
        yield
        self._w.end_object()

    def extension(self, parameter: str, value: str) -> None:
        """Writes an application-defined parameter and value."""
        self._w.extension(parameter, value)

    # ---- Primitives

    def polyline(self, points: Points) -> bool:
        """An open polyline through 2 or more points."""
        return self._w.primitive(Primitive.POLYLINE, points)

    def polygon(self, points: Points) -> bool:
        """A closed polygon of 3 or more points: filled while :meth:`set_fill` is on, else
        outlined."""
        return self._w.primitive(Primitive.POLYGON, points)

    def bezier(self, points: Points) -> bool:
        """A chain of cubic Bézier segments: the start, then per segment two control points and
        its end point (1 + 3k points). Filled (closed back to the start) while fill is on."""
        return self._w.primitive(Primitive.CUBIC, points)

    def begin(self, kind: Primitive, x: float, y: float) -> None:
        """Opens a primitive point by point: :meth:`vertex` or :meth:`cubic`, then :meth:`end`."""
        self._w.begin(kind, x, y)

    def vertex(self, x: float, y: float) -> bool:
        """The next vertex of the open polyline or polygon; False when it falls on the previous
        point of the grid."""
        return self._w.vertex(x, y)

    def vertices(self, points: Points) -> None:
        """Many vertices of the open polyline or polygon in one call."""
        self._w.vertices(points)

    def cubic(self, x1: float, y1: float, x2: float, y2: float, x: float, y: float) -> bool:
        """The next segment of the open cubic chain: two control points, then its end point."""
        return self._w.cubic(x1, y1, x2, y2, x, y)

    def end(self) -> bool:
        """Writes the open primitive; False when every point came to nothing."""
        return self._w.end()

    def arc(self, x: float, y: float, width: float, height: float, start: float,
            end: float) -> bool:
        """An arc of the ellipse centred at (x, y) with full ``width`` and ``height``, from the
        ``start`` angle to the ``end`` angle (degrees, counter-clockwise); a pie slice while fill
        is on."""
        return self._w.arc(x, y, width, height, start, end)

    def text(self, x: float, y: float, text: str) -> None:
        """A text at (x, y), placed by the text alignment, in the current font and text
        colour."""
        self._w.text(x, y, text)

    # ---- Marks, lines, boxes, circles and ellipses

    def mark(self, x: float, y: float) -> None:
        """A mark of the current mark style at (x, y)."""
        self._w.mark(x, y)

    def marks(self, points: Points) -> None:
        """A mark at every point."""
        self._w.marks(points)

    def line(self, x1: float, y1: float, x2: float, y2: float) -> bool:
        return self._w.line(x1, y1, x2, y2)

    def box(self, x: float, y: float, width: float, height: float) -> bool:
        """An axis-parallel rectangle with lower-left corner (x, y)."""
        return self._w.box(x, y, width, height)

    def circle(self, x: float, y: float, radius: float) -> bool:
        return self._w.circle(x, y, radius)

    def ellipse(self, x: float, y: float, width: float, height: float) -> bool:
        """An axis-parallel ellipse centred at (x, y) with full ``width`` and ``height``."""
        return self._w.ellipse(x, y, width, height)

    # ---- Shapes

    def begin_set_shape(self, width: float, height: float) -> int:
        """Starts a shape definition whose bounding box reaches to (width, height) from the
        shape's origin; drawing calls write into it until :meth:`end_set_shape`. Returns its
        identifier."""
        return self._w.begin_set_shape(width, height)

    def end_set_shape(self) -> None:
        self._w.end_set_shape()

    @contextlib.contextmanager
    def shape_definition(self, width: float, height: float) -> Iterator[int]:
        """``with f.shape_definition(w, h) as shape:`` defines a shape from the block's
        drawings."""
        shape = self._w.begin_set_shape(width, height)
        yield shape
        self._w.end_set_shape()

    def shape(self, shape: int, x: float, y: float, width: float, height: float,
              rotation: float = 0.0) -> bool:
        """Draws a shape centred at (x, y), fitted to ``width`` x ``height`` and rotated by
        ``rotation`` degrees."""
        return self._w.shape(shape, x, y, rotation, width, height)

    def stamp_shape(self, shape: int, x: float, y: float) -> None:
        """Places a shape at (x, y) at its own size."""
        self._w.stamp_shape(shape, x, y)

    def stamp_shapes(self, shape: Union[int, npt.ArrayLike], points: Points) -> None:
        """Places a shape at every point (repeated stamps cost no identifier in the file);
        ``shape`` is one identifier for all, or a sequence of one identifier per point."""
        if np.ndim(shape) == 0:
            self._w.stamp_shapes(shape, points)
            return
        ids = np.asarray(shape)
        if ids.dtype.kind not in "iu":
            raise TypeError(f"shape identifiers must be integers, not {ids.dtype}")
        self._w.stamp_each(ids, points)

    # ---- Images

    def set_image(self, pixels: npt.ArrayLike) -> int:
        """Defines an image and returns its identifier.

        ``pixels`` is an (h, w) array of colour values in the current colour mode, or an
        (h, w, 3) or (h, w, 4) array of 8-bit channels for the RGB or RGBA mode. Rows run from
        the bottom of the image up, as the y axis does."""
        return self._w.set_image(_pack_pixels(pixels))

    def image(self, image: int, x: float, y: float, width: float, height: float) -> bool:
        """Draws a whole image into the rectangle with lower-left corner (x, y)."""
        return self._w.image(image, x, y, width, height)

    def sub_image(self, image: int, sub_x: int, sub_y: int, sub_width: int, sub_height: int,
                  x: float, y: float, width: float, height: float) -> bool:
        """Draws the pixels ``sub_x .. sub_x + sub_width``, ``sub_y .. sub_y + sub_height``
        (counted from the lower-left) into the rectangle (x, y, width, height)."""
        return self._w.sub_image(image, sub_x, sub_y, sub_width, sub_height, x, y, width, height)

    # ---- Edges and faces (the planar map)

    def set_edge(self, points: Points) -> int:
        """Defines an edge (a chain of one or more points) and returns its identifier (from
        1)."""
        return self._w.set_edge(points)

    def begin_set_edge(self, x: float, y: float) -> int:
        return self._w.begin_set_edge(x, y)

    def vertex_set_edge(self, x: float, y: float) -> bool:
        return self._w.vertex_set_edge(x, y)

    def vertices_set_edge(self, points: Points) -> None:
        self._w.vertices_set_edge(points)

    def end_set_edge(self) -> bool:
        return self._w.end_set_edge()

    def set_face(self, edges: Sequence[int], holes: Sequence[int] = ()) -> int:
        """Defines a face bounded by ``edges`` (a negative identifier takes the edge backwards)
        with ``holes`` (earlier faces), and returns its identifier (from 0)."""
        return self._w.set_face(edges, holes)

    def begin_set_face(self) -> int:
        return self._w.begin_set_face()

    def edge_set_face(self, edge: int, reversed: bool = False) -> None:
        self._w.edge_set_face(edge, reversed)

    def hole_set_face(self, face: int) -> None:
        self._w.hole_set_face(face)

    def end_set_face(self) -> None:
        self._w.end_set_face()

    def edge(self, edge: int) -> None:
        """Draws an edge."""
        self._w.edge(edge)

    def edge_range(self, first: int, last: int) -> None:
        """Draws the edges ``first`` to ``last`` (identifiers up to 32767)."""
        self._w.edge_range(first, last)

    def face(self, face: int) -> None:
        """Fills a face."""
        self._w.face(face)

    # ---- Graphic attributes

    def set_color_size(self, mode: ColorMode) -> None:
        """The colour mode of the colours that follow."""
        self._w.set_color_size(mode)

    def get_color_size(self) -> ColorMode:
        return ColorMode(self._w.get_color_size())

    def set_blend_mode(self, mode: BlendMode) -> None:
        self._w.set_blend_mode(mode)

    def get_blend_mode(self) -> BlendMode:
        return BlendMode(self._w.get_blend_mode())

    def set_line_color(self, color: Color) -> None:
        self._w.set_line_color(self._color(color))

    def get_line_color(self) -> ColorSetting:
        return _color_setting(self._w.get_line_color())

    def set_line_dashes(self, pattern: int) -> None:
        """A 16-bit dash pattern, most significant bit first (set bits draw); 0xFFFF is
        solid."""
        self._w.set_line_dashes(pattern)

    def get_line_dashes(self) -> int:
        return self._w.get_line_dashes()

    def set_line_style(self, joint: Joint = Joint.DEFAULT, begin: Arrow = Arrow.NONE,
                       end: Arrow = Arrow.NONE, weight: int = 1) -> None:
        """Joints, decorations of the start and the end, and the weight in whole world units
        (0..255, written in file units, at most 255)."""
        self._w.set_line_style(joint, begin, end, weight)

    def get_line_style(self) -> LineStyle:
        joint, begin, end, weight = self._w.get_line_style()
        return LineStyle(Joint(joint), Arrow(begin), Arrow(end), weight)

    def set_mark_color(self, color: Color) -> None:
        self._w.set_mark_color(self._color(color))

    def get_mark_color(self) -> ColorSetting:
        return _color_setting(self._w.get_mark_color())

    def set_mark_style(self, type: MarkType, size: int) -> None:
        self._w.set_mark_style(type, size)

    def get_mark_style(self) -> MarkStyle:
        type_, size = self._w.get_mark_style()
        return MarkStyle(MarkType(type_), size)

    def set_fill(self, enabled: bool) -> bool:
        """Fills (True) or outlines (False) the closed figures that follow; returns the previous
        setting."""
        return self._w.set_fill(enabled)

    def get_fill(self) -> bool:
        return self._w.get_fill()

    def set_fill_color(self, color: Color) -> None:
        self._w.set_fill_color(self._color(color))

    def get_fill_color(self) -> ColorSetting:
        return _color_setting(self._w.get_fill_color())

    def set_gradient_fill(self, x1: float, y1: float, color1: Color, x2: float, y2: float,
                          color2: Color) -> None:
        """A linear gradient from ``color1`` at (x1, y1) to ``color2`` at (x2, y2)."""
        self._w.set_gradient_fill(x1, y1, self._color(color1), x2, y2, self._color(color2))

    def get_gradient_fill(self) -> Gradient:
        x1, y1, c1, x2, y2, c2, mode = self._w.get_gradient_fill()
        return Gradient(x1, y1, c1, x2, y2, c2, ColorMode(mode))

    def set_texture_fill(self, x: float, y: float, image: int) -> None:
        """Fills with an image tiled from (x, y)."""
        self._w.set_texture_fill(x, y, image)

    def get_texture_fill(self) -> Texture:
        return Texture(*self._w.get_texture_fill())

    def set_stretched_texture_fill(self, x: float, y: float, width: float, height: float,
                                   image: int) -> None:
        """Fills with an image stretched over the rectangle (x, y, width, height)."""
        self._w.set_stretched_texture_fill(x, y, width, height, image)

    def get_stretched_texture_fill(self) -> StretchedTexture:
        return StretchedTexture(*self._w.get_stretched_texture_fill())

    def set_image_stretch_mode(self, mode: Stretch) -> None:
        self._w.set_image_stretch_mode(mode)

    def get_image_stretch_mode(self) -> Stretch:
        return Stretch(self._w.get_image_stretch_mode())

    def set_text_color(self, color: Color) -> None:
        self._w.set_text_color(self._color(color))

    def get_text_color(self) -> ColorSetting:
        return _color_setting(self._w.get_text_color())

    def set_font(self, typeface: Typeface = Typeface.DEFAULT, style: FontStyle = FontStyle.PLAIN,
                 size: int = 1) -> None:
        """The font of the texts that follow; ``size`` in whole world units."""
        self._w.set_font(typeface, style, size)

    def get_font(self) -> Font:
        typeface, style, size = self._w.get_font()
        return Font(Typeface(typeface), FontStyle(style), size)

    def set_text_alignment(self, alignment: TextAlign, direction: float = 0.0) -> None:
        """Which point of a text its position names, and its direction in degrees
        (counter-clockwise)."""
        self._w.set_text_alignment(alignment, direction)

    def get_text_alignment(self) -> Alignment:
        alignment, direction = self._w.get_text_alignment()
        return Alignment(TextAlign(alignment), direction)

    def set_palette(self, colors: Sequence[Color]) -> None:
        """1 to 256 colours of the current colour mode (indexes into the palette in force in
        the index modes)."""
        self._w.set_palette(np.array([self._color(c) for c in colors], dtype=np.uint32))

    def get_palette(self) -> Palette:
        colors, mode = self._w.get_palette()
        return Palette(colors, ColorMode(mode))


def _color_setting(value_and_mode: Tuple[int, int]) -> ColorSetting:
    value, mode = value_and_mode
    return ColorSetting(value, ColorMode(mode))
