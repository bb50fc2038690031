"""Reading KVG files: :func:`kvg.records` walks a file record by record, :func:`kvg.read`
gathers it into a :class:`Drawing`."""

from __future__ import annotations

import os
from dataclasses import dataclass, field
from types import MappingProxyType
from typing import Any, Dict, Iterator, List, Mapping, Optional, Tuple, Union

import numpy as np

from . import _kvg
from ._enums import ColorMode
from ._errors import Error, ErrorCode, LimitError, OutOfMemoryError, ParamError

PathLike = Union[str, "os.PathLike[str]"]
Window = Tuple[float, float, float, float]


@dataclass(frozen=True)
class Header:
    """What a file says about itself."""

    size_mm: Tuple[float, float]  #: the page: width and height in millimetres
    window: Window  #: the file window (xmin, xmax, ymin, ymax) in file units
    grid: Tuple[float, float]  #: the grid's width and height in file units
    background: int  #: 0xRRGGBB
    compressed: bool  #: the file is a gzip stream
    point_size: int  #: bits of an absolute point after the header
    rel_point_size: int  #: bits of a relative point after the header


class Record:
    """One record: its ``kind`` (``"polyline"``, ``"set-edge"``, ...), ``code``, byte
    ``offset``, ``section`` (``"definitions"`` or ``"layers"``), the shape whose definition
    holds it (``in_shape``, or None), the identifier it ``definition`` defines (or None) and its arguments,
    which read as attributes: ``record.points`` is an (n, 2) array, ``record.centre`` an
    (x, y) tuple, ``record.color`` a (value, colour mode) pair, ..."""

    __slots__ = ("code", "kind", "section", "in_shape", "definition", "offset", "args")

    def __init__(self, code: int, kind: str, section: str, in_shape: Optional[int],
                 definition: Optional[int], offset: int, args: Dict[str, Any]) -> None:
        self.code, self.kind, self.section = code, kind, section
        self.in_shape, self.definition, self.offset, self.args = (in_shape, definition, offset,
                                                                  args)

    def __getattr__(self, name: str) -> Any:
        try:
            return self.args[name]
        except KeyError:
            raise AttributeError(f"a {self.kind} record has no {name!r}") from None

    def __repr__(self) -> str:
        args = ", ".join(f"{k}={_short(v)}" for k, v in self.args.items())
        return f"<{self.kind} @{self.offset}{': ' + args if args else ''}>"


def _short(value: Any) -> str:
    if isinstance(value, np.ndarray):
        return f"array{value.shape}"
    return repr(value)


@dataclass
class Face:
    edges: List[int]  #: edge identifiers, negative for an edge taken backwards
    holes: List[int]  #: faces cut out of this one


@dataclass
class Image:
    width: int
    height: int
    color_size: ColorMode
    pixels: np.ndarray  #: (height, width) colour values as stored, rows from the bottom up
    rgba: np.ndarray  #: (height, width, 4) the same as 8-bit RGBA
    palette: Optional[List[Tuple[int, int]]]  #: for the index modes, (value, mode) pairs


@dataclass
class Shape:
    corner: Tuple[float, float]  #: upper-right corner of the bounding box, from the origin
    records: List[Record] = field(default_factory=list)  #: what it draws, about its origin


@dataclass
class Layer:
    name: Optional[str]  #: None for records ahead of the first layer
    visible: bool = True
    detectable: bool = True
    records: List[Record] = field(default_factory=list)


@dataclass
class Drawing:
    """A whole file: its header, its definitions by identifier and its layers."""

    header: Header
    edges: Dict[int, np.ndarray] = field(default_factory=dict)  #: from 1: (n, 2) points
    faces: Dict[int, Face] = field(default_factory=dict)
    images: Dict[int, Image] = field(default_factory=dict)
    shapes: Dict[int, Shape] = field(default_factory=dict)
    layers: List[Layer] = field(default_factory=list)


def _header(values: Mapping[str, Any]) -> Header:
    return Header(**{name: values[name] for name in Header.__dataclass_fields__})


def _world_axis(world_min: float, world_max: float, file_min: float,
                file_max: float, scale: float, correct: bool) -> Tuple[float, float, float]:
    """How file coordinates on one axis map back into the world window: the window widened
    about its centre as the writer widened it, keeping its direction."""
    factor = (file_max - file_min) / (world_max - world_min)
    if correct:
        centre = world_min + 0.5 * (world_max - world_min)
        half = np.copysign(0.5 * (file_max - file_min) / scale, factor)
        world_min, world_max = centre - half, centre + half
    return file_min, (world_max - world_min) / (file_max - file_min), world_min


#: What reading one file may spend unless ``limits`` says otherwise. The reader's own limits:
#: ``content_bytes`` (decompressed bytes read), ``points`` (points decoded in the whole file),
#: ``image_pixels`` (pixels of one image), ``memory`` (bytes the reader holds: the definitions
#: and the current record), ``depth`` (objects open inside one another). The module's:
#: ``pixels`` (pixels of all images together expanded into arrays, 8 bytes each) and, for
#: :func:`read` alone, ``records`` (records kept in the :class:`Drawing`). :func:`read` keeps
#: every point it decodes as 16 bytes, so it lowers ``points`` too. With these a file of any
#: size costs a few hundred MB at most; raise them to read larger drawings whole.
LIMITS: Mapping[str, int] = MappingProxyType({
    "content_bytes": 1 << 30, "points": 1 << 28, "image_pixels": 1 << 28, "memory": 1 << 28,
    "depth": 256, "pixels": 1 << 24})
READ_LIMITS: Mapping[str, int] = MappingProxyType({**LIMITS, "points": 1 << 23,
                                                   "records": 1 << 19})
_OWN_LIMITS = ("pixels", "records")


def _limits(defaults: Mapping[str, int], given: Optional[Mapping[str, int]]) -> Dict[str, int]:
    limits = dict(defaults)
    for name, value in (given or {}).items():
        if name not in defaults:
            raise ParamError(ErrorCode.PARAM, f"unknown limit {name!r}")
        if isinstance(value, bool) or not isinstance(value, int) or value < 0:
            raise ParamError(ErrorCode.PARAM, f"limit {name!r} must be an int of 0 or more")
        limits[name] = value
    return limits


def _open(path: PathLike, units: str, world: Optional[Window], limits: Mapping[str, int],
          strings: str):
    if strings not in ("str", "bytes"):
        raise ParamError(ErrorCode.PARAM, f"strings must be 'str' or 'bytes', not {strings!r}")
    own = {name: limits[name] for name in _OWN_LIMITS if name in limits}
    theirs = {name: value for name, value in limits.items() if name not in _OWN_LIMITS}
    reader = _kvg.Reader(os.fspath(path), theirs, own["pixels"], strings == "bytes")
    values = reader.header()
    header = _header(values)
    if units == "page":
        (fx, fy), (tx, ty), s = values["page_from"], values["page_to"], values["page_scale"]
        reader.map(fx, s, tx, fy, s, ty)
    elif units == "world":
        if world is None:
            raise ParamError(ErrorCode.PARAM,
                             "units='world' needs the world window the file was written with")
        kx0, kx1, ky0, ky1 = header.window
        sx = (kx1 - kx0) / (world[1] - world[0])
        sy = (ky1 - ky0) / (world[3] - world[2])
        scale = min(abs(sx), abs(sy))
        correct = abs(abs(sx) - abs(sy)) >= 0.001
        reader.map(*_world_axis(world[0], world[1], kx0, kx1, scale, correct),
                   *_world_axis(world[2], world[3], ky0, ky1, scale, correct))
    elif units != "file":
        raise ParamError(ErrorCode.PARAM,
                         f"units must be 'file', 'page' or 'world', not {units!r}")
    return reader, header


def _walk(reader) -> Iterator[Record]:
    """The records a reader gives; memory refused on the way is a :class:`kvg.Error` too."""
    while True:
        try:
            values = reader.next()
        except MemoryError as e:
            if isinstance(e, Error):
                raise
            raise OutOfMemoryError(ErrorCode.SYSTEM, f"out of memory: {e}") from None
        if values is None:
            return
        yield Record(*values)


def records(path: PathLike, *, units: str = "file", world: Optional[Window] = None,
            limits: Optional[Mapping[str, int]] = None, strings: str = "str") -> Iterator[Record]:
    """The records of a KVG file (plain or compressed), one at a time, decoded as they are
    read: what the walk holds is bounded by ``limits``, not by the size of the file.

    ``units`` chooses the coordinates of positions and extents: ``"file"`` (the grid, as
    stored), ``"page"`` (millimetres from the page's lower-left corner, y up) or ``"world"``
    (the world window the file was written with, given as ``world``). Inside a shape definition
    positions are relative to the shape's origin. ``limits`` caps what reading may spend, by
    name; those not given keep their defaults, :data:`kvg.LIMITS`. ``strings="str"`` gives
    names and texts as str, with every byte sequence that is not UTF-8 replaced by U+FFFD;
    ``strings="bytes"`` gives them as stored.

    Every failure is a :class:`kvg.Error`: :class:`kvg.FormatError` (with the byte ``offset``
    of the fault) at the first damaged record, :class:`kvg.FileSystemError` when the file
    cannot be read, :class:`kvg.LimitError` when a limit is reached,
    :class:`kvg.OutOfMemoryError` when memory runs out first and :class:`kvg.ParamError` for
    arguments out of place.
    """
    reader, _ = _open(path, units, world, _limits(LIMITS, limits), strings)
    yield from _walk(reader)


def read(path: PathLike, *, units: str = "file", world: Optional[Window] = None,
         limits: Optional[Mapping[str, int]] = None, strings: str = "str") -> Drawing:
    """A whole KVG file: its header, its definitions (edges, faces, images, shapes) by
    identifier and its layers with their records. Arguments as for :func:`records`; the
    default limits are :data:`kvg.READ_LIMITS`, which also bound the records kept."""
    given = _limits(READ_LIMITS, limits)
    budget = given.pop("records")
    reader, header = _open(path, units, world, given, strings)
    drawing = Drawing(header)
    for count, record in enumerate(_walk(reader), 1):
        if count > budget:
            raise LimitError(ErrorCode.LIMITS,
                             f"offset {record.offset}: more than {budget} records to keep (the "
                             "limit 'records'); kvg.records walks a file without keeping them")
        _gather(drawing, record)
    return drawing


def _gather(drawing: Drawing, record: Record) -> None:
    """Files a record where a drawing keeps it."""
    if record.in_shape is not None:
        if record.kind == "begin-set-shape":
            drawing.shapes[record.in_shape] = Shape(record.corner)
        elif record.kind != "end-set-shape":
            drawing.shapes[record.in_shape].records.append(record)
    elif record.kind == "set-edge":
        drawing.edges[record.definition] = record.points
    elif record.kind == "set-face":
        drawing.faces[record.definition] = Face(record.edges, record.holes)
    elif record.kind == "set-image":
        drawing.images[record.definition] = Image(
            record.width, record.height, ColorMode(record.color_size), record.pixels,
            record.rgba, record.palette)
    elif record.section == "layers":
        if record.kind == "layer":
            drawing.layers.append(Layer(record.name, record.visible, record.detectable))
        elif not drawing.layers:
            drawing.layers.append(Layer(None))
        if record.kind != "layer":
            drawing.layers[-1].records.append(record)
