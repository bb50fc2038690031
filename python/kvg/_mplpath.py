"""Geometry for the matplotlib backend: matplotlib paths as the figures KVG draws.

A path becomes subpaths, each a chain of grid points (a polyline, or a cubic chain of 1 + 3k
points when it has curves), open or closed. Filling follows matplotlib's non-zero rule; KVG's
renderers fill even-odd, so the rings of a compound path are sorted into outer rings and their
holes (in the compiled module), which the backend writes as faces of the planar map.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import List

import numpy as np
from matplotlib.path import Path

from . import _kvg

_MOVETO, _LINETO, _CURVE3, _CURVE4, _CLOSEPOLY = (
    Path.MOVETO, Path.LINETO, Path.CURVE3, Path.CURVE4, Path.CLOSEPOLY)


@dataclass
class Subpath:
    """Points on the grid: a polyline, or with ``curved`` a cubic chain (start, then two
    control points and an end point per segment)."""

    points: np.ndarray
    closed: bool
    curved: bool

    def closed_points(self) -> np.ndarray:
        """The points of the closed figure: a polygon's as they are (it closes by itself), a
        cubic chain's with a last segment back to its start where it ends elsewhere."""
        if not self.curved or np.all(self.points[-1] == self.points[0]):
            return self.points
        return np.vstack([self.points, _line_cubic(self.points[-1], self.points[0])[1:]])

    def projected(self, reach: float) -> "Subpath":
        """The open subpath lengthened at both ends by ``reach`` along its direction there, as
        a projecting line cap draws it."""
        if self.closed:
            return self
        start = _beyond(self.points[0], self.points[1:], reach)
        end = _beyond(self.points[-1], self.points[-2::-1], reach)
        if not self.curved:
            return Subpath(np.vstack([start, self.points[1:-1], end]), False, False)
        return Subpath(np.vstack([_line_cubic(start, self.points[0]), self.points[1:],
                                  _line_cubic(self.points[-1], end)[1:]]), False, True)

    def ring(self) -> np.ndarray:
        """The closed figure with its curves flattened into straight segments."""
        if not self.curved:
            return self.points
        points = self.closed_points()
        codes = np.full(len(points), _CURVE4, dtype=Path.code_type)
        codes[0] = _MOVETO
        return Path(points, codes).to_polygons(closed_only=False)[0]


def _beyond(end: np.ndarray, towards: np.ndarray, reach: float) -> np.ndarray:
    """The point ``reach`` beyond ``end``, away from the first of ``towards`` that differs."""
    steps = end - towards
    moved = np.flatnonzero(np.any(steps != 0, axis=1))
    if len(moved) == 0:
        return end
    step = steps[moved[0]]
    return on_grid(end + step * (reach / np.hypot(*step)))


def _line_cubic(start: np.ndarray, end: np.ndarray) -> np.ndarray:
    """A straight segment as a cubic: start, control points at its thirds, end."""
    return np.vstack([start, on_grid([start + (end - start) / 3, start + 2 * (end - start) / 3]),
                      end])


def on_grid(points) -> np.ndarray:
    """Rounded to whole units, halves up, as the library rounds."""
    return np.floor(np.asarray(points, dtype=float) + 0.5)


def _cubic_chain(vertices: np.ndarray, codes: np.ndarray) -> np.ndarray:
    """A subpath's segments as one cubic chain: a line as a cubic with its control points on
    it, a quadratic raised to the cubic of the same curve."""
    chain = [vertices[0]]
    i, last = 1, vertices[0]
    while i < len(codes):
        code = codes[i]
        if code == _CURVE4:
            chain.extend(vertices[i:i + 3])
            last, i = vertices[i + 2], i + 3
        elif code == _CURVE3:
            control, end = vertices[i], vertices[i + 1]
            chain.extend((last + 2 / 3 * (control - last), end + 2 / 3 * (control - end), end))
            last, i = end, i + 2
        else:
            end = vertices[i]
            chain.extend((last + (end - last) / 3, last + 2 * (end - last) / 3, end))
            last, i = end, i + 1
    return np.array(chain)


def subpaths(path: Path, scale: float) -> List[Subpath]:
    """The subpaths of a cleaned path (vertices in points, as ``Path.cleaned`` gives them),
    scaled to grid units and rounded; points that fall on their predecessor are dropped."""
    vertices, codes = path.vertices, path.codes
    if len(vertices) == 0:
        return []
    if codes is None:
        codes = np.full(len(vertices), _LINETO, dtype=Path.code_type)
        codes[0] = _MOVETO
    drawn = codes != 0  # STOP ends a cleaned path
    vertices, codes = vertices[drawn], codes[drawn]
    curves = (codes == _CURVE3) | (codes == _CURVE4)
    starts = np.flatnonzero(codes == _MOVETO)
    ends = np.append(starts[1:], len(codes))
    grid = on_grid(vertices * scale)
    # A point is kept unless it repeats its predecessor in a straight subpath.
    keep = np.ones(len(codes), dtype=bool)
    keep[1:] = np.any(grid[1:] != grid[:-1], axis=1)
    keep[starts] = True
    result = []
    for start, end in zip(starts, ends):
        closed = codes[end - 1] == _CLOSEPOLY
        if closed:
            end -= 1  # the closing vertex carries no position
        if end - start < 2:
            continue
        if curves[start:end].any():
            points = on_grid(_cubic_chain(vertices[start:end], codes[start:end]) * scale)
            if not np.any(points[1:] != points[0]):
                continue
            result.append(Subpath(points, bool(closed), True))
            continue
        points = grid[start:end][keep[start:end]]
        if closed and len(points) > 1 and np.all(points[-1] == points[0]):
            points = points[:-1]
        if len(points) >= 2:
            result.append(Subpath(points, bool(closed), False))
    return result


#: nonzero_groups(rings) -> [(outer ring, [holes])]: how to fill ``rings`` by matplotlib's
#: non-zero rule with even-odd figures (each filled region an outer ring less its holes); rings
#: must not cross each other, as matplotlib's own compound paths (glyphs, contours, polygons
#: with interiors) do not. Rings without area are left out. Sorted in the compiled module.
nonzero_groups = _kvg.nonzero_groups
