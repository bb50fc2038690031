"""Hostile KVG files, made byte by byte: what a stranger could hand the readers. The C reader's
verdict on each is the reference that the Python and JavaScript readers must give too; some
are valid files that used to cost the other readers gigabytes or crash them.

    python3 hostile.py OUT_DIR [--large]     writes every file into OUT_DIR

Standard library only, so that the web tests can run it with any interpreter. ``--large`` adds
the files whose C dump would be too long to compare record by record (a 16384 x 16384 image).
"""

from __future__ import annotations

import os
import struct
import sys
import zlib

SIGNATURE = bytes.fromhex("4B564798E1000004")
# Closing size records of the definitions section: colour size RGB, 32-bit points, 32-bit steps.
CLOSING_32 = bytes.fromhex("5D06 52 5A")
CLOSING_128 = bytes.fromhex("5D06 54 5C")


def size(n: int) -> bytes:
    """A size or identifier in its shortest form."""
    if n < 0x80:
        return bytes([n])
    if n < 0x4000:
        return bytes([0x80 | n >> 8, n & 0xFF])
    return bytes([0xC0 | n >> 16, n >> 8 & 0xFF, n & 0xFF])


def text(data: bytes) -> bytes:
    return size(len(data)) + data


def p32(x: int, y: int) -> bytes:
    return struct.pack(">hh", x, y)


def p128(x: float, y: float) -> bytes:
    return struct.pack(">dd", x, y)


def header32(grid=(4096, 4096), window=(-2048, -2048, 2048, 2048), mm=(100, 100)) -> bytes:
    """32-bit points and steps; window as (xmin, ymin, xmax, ymax)."""
    return (SIGNATURE + bytes([32, 32]) + p32(*grid) + p32(*window[:2]) + p32(*window[2:]) +
            p32(*mm) + bytes.fromhex("FFFFFF"))


def header128(grid=(4096.0, 4096.0), window=(-2048.0, -2048.0, 2048.0, 2048.0),
              mm=(100.0, 100.0)) -> bytes:
    return (SIGNATURE + bytes([128, 128]) + p128(*grid) + p128(*window[:2]) +
            p128(*window[2:]) + p128(*mm) + bytes.fromhex("FFFFFF"))


def layer(name: bytes = b"L") -> bytes:
    return bytes([0x01, 0xC0]) + text(name)


def deflated(chunks) -> bytes:
    """A gzip stream of the chunks, made as they come."""
    z = zlib.compressobj(9, zlib.DEFLATED, 31, 9)
    return b"".join(z.compress(c) for c in chunks) + z.flush()


def drawing32(*records: bytes, **head) -> bytes:
    return header32(**head) + CLOSING_32 + layer() + b"".join(records)


def drawing128(*records: bytes) -> bytes:
    return header128() + CLOSING_128 + layer() + b"".join(records)


MARK, TEXT, OBJECT, POLYLINE = 0x30, 0x17, 0x02, 0x10
NAN, INF = float("nan"), float("inf")


def image_1bit(side: int) -> bytes:
    """A definitions section with one side x side image of 1-bit indexes, all 0."""
    return (bytes.fromhex("5D00 6D") + struct.pack(">HH", side, side) +
            bytes(side * side // 8) + CLOSING_32)


def files(large: bool = False):
    """(name, bytes) of every hostile file."""
    yield "text-125000.kvg", drawing32(bytes([TEXT]) + p32(0, 0) + text(b"a" * 125000))
    yield "names-invalid-utf8.kvg", (
        header32() + CLOSING_32 + layer(b"L\xff\xfe") +
        bytes([OBJECT]) + text(b"o\xc3(") +
        bytes([TEXT]) + p32(10, 10) + text(b"t\xe9\x80 end") + bytes([OBJECT, 0]))
    yield "grid-0.kvg", header32(grid=(0, 4096)) + CLOSING_32 + layer()
    yield "page-negative.kvg", header32(mm=(-100, 100)) + CLOSING_32 + layer()
    yield "coordinate-nan.kvg", drawing128(bytes([MARK]) + p128(NAN, 0.0))
    yield "coordinate-infinite-step.kvg", drawing128(
        bytes([POLYLINE]) + p128(0.0, 0.0) + size(3) + p128(1.0, 1.0) + p128(2.0, 2.0) +
        p128(INF, 0.0))
    yield "coordinate-infinite-float.kvg", drawing32(
        bytes([0x53, MARK]) + struct.pack(">ff", INF, 0.0))
    yield "window-infinite.kvg", (header128(window=(-INF, -2048.0, 2048.0, 2048.0)) +
                                  CLOSING_128 + layer())
    yield "box-zero.kvg", drawing32(bytes([0x32]) + p32(0, 0) + p32(0, 5))
    yield "circle-radius-0.kvg", drawing32(bytes([0x33]) + p32(0, 0) + size(0))
    yield "angle-off-circle.kvg", drawing32(bytes([0x6B, 0]) + p32(10, 10))
    # A window running right to left on a page taller than wide: the scale is the width's.
    yield "window-reversed.kvg", drawing32(bytes([MARK]) + p32(100, 50),
                                           window=(2048, -2048, -2048, 2048), mm=(100, 200))
    # A palette of one colour, then in INDEX8 a palette of two indexing it: index 1 names no
    # colour of the palette in force.
    yield "palette-index-beyond.kvg", (
        header32() + bytes.fromhex("6C00 FF0000 5D01 6C01 00 01") + CLOSING_32 + layer())
    yield "objects-nested-257.kvg", drawing32((bytes([OBJECT]) + text(b"o")) * 257)
    yield "marks-20000.kvg", deflated([drawing32(), (bytes([MARK]) + p32(1, 2)) * 20000])
    yield "image-512-1bit.kvg", deflated([header32(), image_1bit(512), layer()])
    yield "image-65535x65535-no-data.kvg", header32() + bytes.fromhex("6D FFFF FFFF")
    # Cut short after a fault: the fault, met first when the items are read one by one, is the
    # verdict (a bad segment size, an identifier not in its shortest form, a step of NaN).
    yield "edge-bad-segment-then-short.kvg", header32() + bytes([0x3B]) + p32(0, 0) + size(5) + bytes([18])
    yield "face-long-identifier-then-short.kvg", header32() + bytes([0x3C]) + size(100) + bytes([0x80, 5])
    yield "step-nan-then-short.kvg", drawing128(
        bytes([POLYLINE]) + p128(0.0, 0.0) + size(3) + p128(1.0, 1.0) + p128(NAN, 0.0))
    yield "count-4194303-few-bytes.kvg", drawing32(
        bytes([POLYLINE]) + p32(0, 0) + size(4194303) + bytes(3))
    if large:
        # 32 MiB of content in 32 KB of gzip: 2^28 pixels, the C reader's default limit.
        yield "image-16384-1bit.kvg", deflated([header32(), image_1bit(16384), layer()])


def write_all(out_dir: str, large: bool = False):
    """Writes every file into out_dir; their paths."""
    os.makedirs(out_dir, exist_ok=True)
    paths = []
    for name, data in files(large):
        path = os.path.join(out_dir, name)
        with open(path, "wb") as f:
            f.write(data)
        paths.append(path)
    return paths


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: hostile.py OUT_DIR [--large]")
    write_all(sys.argv[1], "--large" in sys.argv[2:])
