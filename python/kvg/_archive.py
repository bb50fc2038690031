"""kvg.TileArchive: a pyramid of KVG tiles in one PMTiles archive, and reading one back."""

from __future__ import annotations

import contextlib
import json
import math
import os
import tempfile
from typing import Any, Dict, Iterator, Mapping, Optional, Sequence, Tuple

from . import _kvg
from ._file import File, PathLike
from ._output import Output

#: Half the width of the Web Mercator square (EPSG:3857), in metres.
MERCATOR_HALF = math.pi * 6378137.0


def tile_bounds(z: int, x: int, y: int) -> Tuple[float, float, float, float]:
    """The box of tile z/x/y in Web Mercator metres as (xmin, xmax, ymin, ymax); row 0 is
    the northernmost."""
    size = 2 * MERCATOR_HALF / (1 << z)
    xmin = -MERCATOR_HALF + x * size
    ymax = MERCATOR_HALF - y * size
    return (xmin, xmin + size, ymax - size, ymax)


class TileArchive(Output):
    """Writes a tile archive: tiles in any order, identical ones stored once, finished by
    :meth:`close` (or the end of a ``with`` block), which replaces ``path`` whole.

    Tiles are whole KVG files. :meth:`tile` opens a :class:`kvg.File` for one tile whose
    drawing coordinates are Web Mercator metres: its window is the tile's box plus ``buffer``
    grid units beyond each edge, on a grid of ``extent`` units across the tile, so that numpy
    arrays of projected coordinates go in as they are. :meth:`add_tile` takes bytes made
    elsewhere."""

    def __init__(self, path: PathLike, *, compress: bool = True, extent: int = 4096,
                 buffer: int = 0) -> None:
        if extent <= 0 or buffer < 0:
            raise ValueError("extent must be positive and buffer not negative")
        self.path = os.fspath(path)
        self.extent = extent
        self.buffer = buffer
        self._w = _kvg.ArchiveWriter(self.path, compress)

    def add_tile(self, z: int, x: int, y: int, data: bytes) -> None:
        """Adds tile z/x/y: ``data`` is a whole KVG file, plain or gzip."""
        self._w.add_tile(z, x, y, bytes(data))

    @contextlib.contextmanager
    def tile(self, z: int, x: int, y: int, *, units: str = "mercator",
             **file_options: Any) -> Iterator[File]:
        """A :class:`kvg.File` for tile z/x/y; what it holds when the block ends becomes the
        tile. Its coordinates are Web Mercator metres (``units="mercator"``) or the tile's
        grid units (``units="tile"``: 0 to ``extent`` across the tile from its south-western
        corner), the window spanning the buffer too. Line weights and font sizes count world
        units, so tile units are the way to give them in grid units (16 to a CSS pixel when
        the tile is shown at its own zoom). ``file_options`` go to :class:`kvg.File`
        (``background``, ``compress``...), except the window and grid, which are the tile's."""
        if units == "mercator":
            xmin, xmax, ymin, ymax = tile_bounds(z, x, y)
        elif units == "tile":
            xmin, xmax, ymin, ymax = 0.0, float(self.extent), 0.0, float(self.extent)
        else:
            raise ValueError(f"units must be 'mercator' or 'tile', not {units!r}")
        margin = (xmax - xmin) * self.buffer / self.extent
        cells = self.extent + 2 * self.buffer
        with tempfile.TemporaryDirectory(prefix="kvg-tile-") as scratch:
            path = os.path.join(scratch, "tile.kvg")
            with File(path, world=(xmin - margin, xmax + margin, ymin - margin, ymax + margin),
                      resolution=(cells, cells), size_mm=(cells / 16, cells / 16),
                      **file_options) as drawing:
                yield drawing
            with open(path, "rb") as written:
                self.add_tile(z, x, y, written.read())

    def close(self, *, name: str = "", description: str = "", attribution: str = "",
              layers: Sequence[Mapping[str, Any]] = (),
              bounds: Optional[Tuple[float, float, float, float]] = None,
              center: Optional[Tuple[float, float]] = None, center_zoom: Optional[int] = None,
              extra: Optional[Mapping[str, Any]] = None) -> Dict[str, int]:
        """Writes the archive and returns its counts (addressed_tiles, tile_entries,
        tile_contents, leaf_directories, archive_bytes). ``layers`` are mappings with ``id``
        and optionally ``fields`` (name to "String", "Number" or "Boolean"), ``minzoom``,
        ``maxzoom`` and ``description``; ``bounds`` (west, south, east, north) and ``center``
        (lon, lat) are in degrees and default to those of the tiles; ``extra`` adds members
        to the metadata."""
        metadata: Dict[str, Any] = {
            "name": name, "description": description, "attribution": attribution,
            "layers": [dict(layer) for layer in layers], "extent": self.extent,
            "buffer": self.buffer, "extra_json": json.dumps(dict(extra)) if extra else "",
        }
        for key, value in (("bounds", bounds), ("center", center),
                           ("center_zoom", center_zoom)):
            if value is not None:
                metadata[key] = value
        return self._w.finish(metadata)


class TileArchiveReader:
    """An archive opened for reading: ``header`` (zooms, bounds, counts), ``metadata`` (the
    JSON object) and :meth:`tile`. A damaged archive raises :class:`kvg.ArchiveError`."""

    def __init__(self, path: PathLike) -> None:
        self._r = _kvg.ArchiveReader(os.fspath(path))
        self.header: Dict[str, Any] = self._r.header
        self.metadata: Dict[str, Any] = json.loads(self._r.metadata_json)

    def tile(self, z: int, x: int, y: int) -> Optional[bytes]:
        """The plain KVG bytes of tile z/x/y, or None when the archive lacks it."""
        return self._r.tile(z, x, y)
