#!/usr/bin/env python3
"""Writes the tile archives the web tests read into OUT, with kvg.TileArchive:

- squares.pmtiles: zooms 0 to 2, extent 4096 and a buffer of 64, holding a filled square
  ("Square", across four tiles of zoom 2) and a line along the equator ("Equator"), each
  tile clipped to its buffered box here, and a sea of identical empty tiles;
- leaves.pmtiles: 20,000 tiles of distinct bytes at zoom 8, enough for leaf directories, and
  leaves.json: the SHA-256 of some of them by z/x/y.

    make-archives.py OUT"""
import hashlib
import json
import os
import random
import sys

import numpy as np

import kvg

BUFFER = 64
SQUARE = (-5e6, 5e6, -5e6, 5e6)  # xmin, xmax, ymin, ymax in Web Mercator metres
EQUATOR_Y = -1.5e6


def clip_box(box, to):
    xmin, xmax = max(box[0], to[0]), min(box[1], to[1])
    ymin, ymax = max(box[2], to[2]), min(box[3], to[3])
    return (xmin, xmax, ymin, ymax) if xmin < xmax and ymin < ymax else None


def buffered(z, x, y):
    xmin, xmax, ymin, ymax = kvg.tile_bounds(z, x, y)
    margin = (xmax - xmin) * BUFFER / 4096
    return (xmin - margin, xmax + margin, ymin - margin, ymax + margin)


def draw_tile(f, z, x, y):
    """Draws in tile units (line weights in grid units): metres mapped onto the tile's grid."""
    xmin, xmax, ymin, _ = kvg.tile_bounds(z, x, y)
    per_metre = 4096 / (xmax - xmin)
    box = buffered(z, x, y)
    square = clip_box(SQUARE, box)
    line = clip_box((-2e7, 2e7, EQUATOR_Y - 1, EQUATOR_Y + 1), box)
    if square is None and line is None:
        return
    f.begin_layer("shapes")
    if square is not None:
        with f.object("Square"):
            f.set_fill(True)
            f.set_fill_color(0x3366CC)
            f.box((square[0] - xmin) * per_metre, (square[2] - ymin) * per_metre,
                  (square[1] - square[0]) * per_metre, (square[3] - square[2]) * per_metre)
            f.set_fill(False)
    if line is not None:
        with f.object("Equator"):
            f.set_line_color(0xCC0000)
            f.set_line_style(kvg.Joint.ROUND, kvg.Arrow.NONE, kvg.Arrow.NONE, 64)  # 4 px
            height = (EQUATOR_Y - ymin) * per_metre
            f.polyline(np.array([[(line[0] - xmin) * per_metre, height],
                                 [(line[1] - xmin) * per_metre, height]]))


def squares(path):
    with kvg.TileArchive(path, buffer=BUFFER) as archive:
        for z in range(3):
            for x in range(1 << z):
                for y in range(1 << z):
                    with archive.tile(z, x, y, units="tile") as f:
                        draw_tile(f, z, x, y)
        archive.close(name="squares", layers=[{"id": "shapes", "fields": {"name": "String"}}])


def leaves(path, manifest):
    rng = random.Random(5)
    sample = {}
    with kvg.TileArchive(path, compress=False) as archive:
        for x in range(256):
            for y in range(256):
                if rng.random() > 0.31:
                    continue
                data = bytes([75]) + rng.randbytes(rng.randrange(1, 60))
                archive.add_tile(8, x, y, data)
                if len(sample) < 300 and rng.random() < 0.05:
                    sample[f"8/{x}/{y}"] = hashlib.sha256(data).hexdigest()
        summary = archive.close(name="leaves")
    assert summary["leaf_directories"] > 0, summary
    with open(manifest, "w") as out:
        json.dump({"summary": summary, "tiles": sample}, out)


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    squares(os.path.join(out, "squares.pmtiles"))
    leaves(os.path.join(out, "leaves.pmtiles"), os.path.join(out, "leaves.json"))


if __name__ == "__main__":
    main()
