#!/usr/bin/env python3
"""Writes the seeds of the archive fuzz target into fuzz/archive_corpus/: small tile archives
written by kvg.TileArchive (zooms 0 to 2, with shared tiles), and one laid out here by hand
with a leaf directory, which the writer makes only for archives too large for a seed.

Run with the package in the build tree: PYTHONPATH=build/python fuzz/make_archive_seeds.py"""
import gzip
import os
import struct
import tempfile

import numpy as np

import kvg

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "archive_corpus")


def tile_bytes(seed, compress):
    with tempfile.TemporaryDirectory() as scratch:
        path = os.path.join(scratch, "t.kvg")
        with kvg.File(path, compress=compress) as f:
            f.begin_layer("roads")
            f.polyline(np.array([[0, 0], [seed % 50, 20], [40, -30]], dtype=float))
            f.set_fill(True)
            f.box(-10, -10, 5 + seed % 7, 5)
        with open(path, "rb") as written:
            return written.read()


def pyramid(path, compress, shared):
    with kvg.TileArchive(path, compress=compress, buffer=8) as archive:
        for z in range(3):
            for x in range(1 << z):
                for y in range(1 << z):
                    archive.add_tile(z, x, y, tile_bytes(0 if shared else x * 4 + y, compress))
        archive.close(name="seed", layers=[{"id": "roads", "fields": {"name": "String"}}])


def varints(values):
    out = bytearray()
    for v in values:
        while v >= 0x80:
            out.append(v & 0x7F | 0x80)
            v >>= 7
        out.append(v)
    return bytes(out)


def directory(entries):
    """(tile id, offset, length, run) entries, offsets written plus one."""
    ids, last = [], 0
    for tile_id, _, _, _ in entries:
        ids.append(tile_id - last)
        last = tile_id
    return gzip.compress(varints([len(entries)] + ids + [e[3] for e in entries] +
                                 [e[2] for e in entries] + [e[1] + 1 for e in entries]), mtime=0)


def with_leaf(path):
    tiles = [tile_bytes(seed, False) for seed in range(5)]
    data, entries = b"", []
    for tile_id, tile in enumerate(tiles):
        entries.append((tile_id, len(data), len(tile), 1))
        data += tile
    leaf = directory(entries[1:])
    root = directory([entries[0], (1, 0, len(leaf), 0)])
    metadata = gzip.compress(b'{"format":"kvg"}', mtime=0)
    sections = [root, metadata, leaf, data]
    offset, fields = 127, []
    for section in sections:
        fields += [offset, len(section)]
        offset += len(section)
    header = b"PMTiles\x03" + struct.pack("<11Q", *fields, 5, 5, 5)
    header += bytes([1, 2, 1, 0, 0, 1]) + struct.pack("<4i", -1800000000, -850000000,
                                                      1800000000, 850000000)
    header += bytes([0]) + struct.pack("<2i", 0, 0)
    with open(path, "wb") as out:
        out.write(header + b"".join(sections))


def main():
    os.makedirs(OUT, exist_ok=True)
    pyramid(os.path.join(OUT, "pyramid-gzip"), True, False)
    pyramid(os.path.join(OUT, "pyramid-plain-shared"), False, True)
    with_leaf(os.path.join(OUT, "leaf-directory"))


if __name__ == "__main__":
    main()
