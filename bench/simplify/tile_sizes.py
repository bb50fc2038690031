#!/usr/bin/python3
"""The bytes of every tile an archive (PMTiles version 3) addresses, one a line: a tile that a
run of several addresses shares is counted for each, as a directory of tiles would hold it.

    tile_sizes.py ARCHIVE.pmtiles
"""
import gzip
import struct
import sys


def varints(data):
    value = shift = 0
    for byte in data:
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            yield value
            value = shift = 0


def entries(data):
    numbers = varints(data)
    n = next(numbers)
    ids, runs, lengths, offsets = [], [], [], []
    last = 0
    for _ in range(n):
        last += next(numbers)
        ids.append(last)
    runs = [next(numbers) for _ in range(n)]
    lengths = [next(numbers) for _ in range(n)]
    for i in range(n):
        raw = next(numbers)
        offsets.append(offsets[i - 1] + lengths[i - 1] if raw == 0 and i > 0 else raw - 1)
    return zip(ids, runs, lengths, offsets)


def main():
    archive = open(sys.argv[1], "rb").read()
    root_offset, root_length = struct.unpack_from("<QQ", archive, 8)
    leaf_offset = struct.unpack_from("<Q", archive, 40)[0]

    def walk(offset, length):
        for _, run, size, at in entries(gzip.decompress(archive[offset:offset + length])):
            if run == 0:
                yield from walk(leaf_offset + at, size)
            else:
                yield from [size] * run

    for size in walk(root_offset, root_length):
        print(size)


main()
