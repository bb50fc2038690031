#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz target into fuzz/corpus/: one small drawing per family of
the interface, in the byte language of fuzz_input.h and the action table of kvg_fuzz.cpp (read
from the source, so the seeds follow the table). Run it again after changing either."""
import os
import re
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def action_table():
    source = open(os.path.join(HERE, "kvg_fuzz.cpp")).read()
    body = re.search(r"constexpr Action kActions\[\] = \{(.*?)\};", source, re.S).group(1)
    names = [n.strip() for n in re.split(r",(?![^<]*>)", body) if n.strip()]
    table = {}
    for index, name in enumerate(names):
        short = re.sub(r"setColor<KVG_set(\w+), .*>", r"set\1", name)
        table.setdefault(short, index)
    return table


ACTIONS = action_table()


# ---- The values of FuzzInput, encoded ----

def u8(v):
    return bytes([v & 0xFF])


def i16(v):
    return struct.pack(">h", v)


def i32(v):
    return struct.pack(">i", v)


def u32(v):
    return struct.pack(">I", v)


def in_range(v):
    return struct.pack(">H", v)  # the harness takes it modulo the range, from its low end


def world(v):
    """A coordinate in the default window: case 2, v * 32768 / 100 as a 16-bit integer."""
    return u8(2) + i16(round(v * 32768 / 100))


def special(index):
    return u8(4) + u8(index)


def raw(v):
    return u8(5) + struct.pack(">d", v)


def color(v):
    return u8(2) + u32(v)


def ident(v):
    return u8(1) + u8(v)


def string(text):
    data = text.encode()
    return u8(len(data)) + data


def call(name, *args):
    return u8(ACTIONS[name]) + b"".join(args)


def walk(count, steps, scale):
    """The count byte, the scale and the steps of a walk: signed byte pairs, each multiplied by
    scale / 64."""
    pairs = b"".join(u8((7 * i) % 23 - 11) + u8((5 * i) % 17 - 8) for i in range(steps))
    return u8(count) + world(scale) + pairs


def primitive_walk(kind, x, y, count, scale):
    return call("primitiveWalk", in_range(kind), world(x), world(y),
                walk(count, 3 * (1 + count), scale))


def edge_walk(x, y, count, scale):
    return call("edgeWalk", world(x), world(y), walk(count, 1 + count, scale))


# ---- Options: the flags byte and what it asks for ----

DEFAULTS = u8(0)


def options(world_window=None, mm=None, res=None, raw_mode=False, background=None,
            compressed=False, fault=None):
    flags = 1
    body = b""
    if world_window:
        flags |= 2
        body += b"".join(raw(v) for v in world_window)
    if mm:
        flags |= 4
        body += raw(mm[0]) + raw(mm[1])
    if res:
        flags |= 8
        body += b"".join(u8(3) + i32(v) for v in res)
    if raw_mode:
        flags |= 16
    if background is not None:
        flags |= 32
        body += color(background)
    if compressed:
        flags |= 64
    if fault:
        flags |= 128
        kind, at = fault
        body += u8(at - 1) + u8({"write": 0, "close": 1, "open": 2}[kind])
    return u8(flags) + body


LAYER = call("beginLayer", string("layer"), u8(1), u8(1))

SEEDS = {
    "figures": DEFAULTS + LAYER + call("beginObject", string("obj"))
    + call("mark", world(1), world(2)) + call("line", world(-50), world(-50), world(50), world(40))
    + call("box", world(-10), world(-10), world(20), world(5))
    + call("setFill", u8(1)) + call("circle", world(0), world(0), world(10))
    + call("ellipse", world(5), world(5), world(30), world(7.3))
    + call("arc", world(0), world(0), world(40), world(20), world(0), world(90))
    + call("text", world(3), world(4), string("hello")) + call("endObject"),
    "primitives": options() + LAYER
    + primitive_walk(0, 0, 0, 40, 2) + call("setFill", u8(1)) + primitive_walk(1, -20, 10, 10, 5)
    + call("begin", in_range(2), world(0), world(0))
    + call("cubic", *(world(v) for v in (1, 2, 3, 4, 5, 1)))
    + call("cubic", *(world(v) for v in (9, 8, 7, 6, 5, 4))) + call("end"),
    "shapes": options(background=0x123456) + call("beginSetShape", world(10), world(10))
    + call("setLineColor", color(0xFF0000)) + call("box", world(1), world(1), world(5), world(5))
    + call("endSetShape") + LAYER
    + call("shape", ident(0), world(0), world(0), world(45), world(20), world(10))
    + call("stampShape", ident(0), world(30), world(30))
    + call("stampShape", ident(0), world(-30), world(30)),
    "images": options(compressed=True) + LAYER
    + call("setPalette", u8(2), u8(3), color(0), color(0xFF0000), color(0x00FF00), color(0xFF))
    + call("setColorSize", in_range(1))
    + call("setImage", u8(1), u8(4), u8(3), u8(1), color(0), b"".join(u8(i % 3) for i in range(12)))
    + call("image", ident(0), world(-50), world(-50), world(40), world(30))
    + call("subImage", ident(0), u8(1), u8(0), u8(1), u8(1), u8(1), u8(2), u8(1), u8(2),
           world(0), world(0), world(20), world(20))
    + call("setTextureFill", world(1), world(1), ident(0))
    + call("setStretchedTextureFill", world(1), world(1), world(10), world(0.01), ident(0)),
    "map": options() + edge_walk(0, 0, 20, 3) + edge_walk(10, 10, 5, 90)
    + call("beginSetEdge", world(5), world(5)) + call("endSetEdge")
    + call("beginSetFace") + call("edgeSetFace", ident(1), u8(0))
    + call("edgeSetFace", ident(2), u8(1)) + call("endSetFace")
    + call("beginSetFace") + call("edgeSetFace", ident(3), u8(0)) + call("holeSetFace", ident(0))
    + call("endSetFace") + LAYER + call("edge", ident(1)) + call("edgeRange", ident(1), ident(3))
    + call("face", ident(1)),
    "attributes": options() + LAYER + call("setBlendMode", in_range(5))
    + call("setLineDashes", i32(0xF0F0)) + call("setLineStyle", in_range(2), in_range(1),
                                                 in_range(3), i32(3))
    + call("setMarkColor", color(0x00FF00)) + call("setMarkStyle", in_range(4), u8(1), u8(3))
    + call("setFillColor", color(0x0000FF))
    + call("setGradientFill", world(0), world(0), color(0), world(10), world(10), color(0xFFFFFF))
    + call("setImageStretchMode", in_range(1)) + call("setTextColor", color(0x808080))
    + call("setFont", in_range(2), in_range(3), u8(1), u8(12))
    + call("setTextAlignment", in_range(8), world(30)) + call("setColorSize", in_range(7))
    + call("setLineColor", color(0x11223344)) + call("getters") + call("colorRoundTrips")
    + u8(10) + u8(20) + u8(30) + raw(0.5) + raw(0.25),
    "raw-odd-grid": options(world_window=(-1.5, 1.5, 0.0, 1e6), res=(4095, 3), raw_mode=True)
    + LAYER + call("mark", special(2), world(0)) + call("line", raw(0.25), raw(0.5), raw(1e6),
                                                        raw(-1e300)),
    "odd-options": options(world_window=(10.0, -10.0, 5.0, 5.0000001), mm=(1e-300, 1e300),
                           res=(2147483647, 1)) + LAYER + call("mark", world(1), world(1)),
    "fault-write": options(fault=("write", 2)) + LAYER
    + primitive_walk(0, 0, 0, 255, 50),
    "fault-close": options(fault=("close", 1)) + LAYER + call("mark", world(1), world(1)),
    "fault-open": options(fault=("open", 2)) + LAYER + call("mark", world(1), world(1)),
    "wrong-order": DEFAULTS + call("end") + call("vertex", world(1), world(1))
    + call("endSetShape") + call("endSetEdge") + call("endSetFace") + call("holeSetFace", ident(3))
    + call("begin", in_range(0), world(0), world(0)) + call("begin", in_range(1), world(0), world(0))
    + call("cubic", *(world(1) for _ in range(6))) + call("end")
    + call("beginSetShape", world(5), world(5)) + LAYER + call("beginSetEdge", world(0), world(0))
    + call("setImage", u8(1), u8(1), u8(2), color(0)),
}


def main():
    corpus = os.path.join(HERE, "corpus")
    os.makedirs(corpus, exist_ok=True)
    for name, data in SEEDS.items():
        with open(os.path.join(corpus, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
