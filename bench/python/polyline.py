"""A 1,000,000-point polyline from a numpy array: kvg.File.polyline against the C bulk call it
makes, and against one Python call per point. Prints a Markdown table of processor times
(medians of the rounds).

    polyline.py KVG_POLYLINE_CALL WORK_DIR [ROUNDS]
"""

import pathlib
import statistics
import subprocess
import sys
import time

import numpy as np

import kvg

POINTS = 1_000_000
WORLD = (-1000, 1000, -1000, 1000)


def walk() -> np.ndarray:
    """A random walk of steps of about one grid unit, as a plotted series makes."""
    steps = np.random.default_rng(16).normal(scale=0.5, size=(POINTS, 2))
    return np.cumsum(steps, axis=0) % 1800 - 900


def timed(path, draw, rounds):
    times = []
    for _ in range(rounds):
        with kvg.File(path, world=WORLD, compress=False) as f:
            f.begin_layer("walk")
            start = time.process_time()
            draw(f)
            times.append(time.process_time() - start)
    return statistics.median(times)


def per_point(points):
    def draw(f):
        f.begin(kvg.Primitive.POLYLINE, *points[0])
        vertex = f.vertex
        for x, y in points[1:].tolist():
            vertex(x, y)
        f.end()
    return draw


def main():
    tool, work = sys.argv[1], pathlib.Path(sys.argv[2])
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 7
    work.mkdir(parents=True, exist_ok=True)
    points = walk()
    points.tofile(work / "walk.bin")
    c_call = float(subprocess.run([tool, str(work / "walk.bin"), str(work / "c.kvg"),
                                   str(rounds)], check=True, capture_output=True,
                                  text=True).stdout)
    bulk = timed(work / "bulk.kvg", lambda f: f.polyline(points), rounds)
    float32 = points.astype(np.float32)
    converted = timed(work / "f32.kvg", lambda f: f.polyline(float32), rounds)
    python = timed(work / "points.kvg", per_point(points), max(1, rounds // 3))
    assert (work / "bulk.kvg").read_bytes() == (work / "c.kvg").read_bytes()
    assert (work / "points.kvg").read_bytes() == (work / "c.kvg").read_bytes()
    print(f"A polyline of {POINTS:,} points, plain file (processor time, medians):\n")
    print("| writer | ms | ns/point | × C bulk call |")
    print("|---|---:|---:|---:|")
    for name, seconds in (("C `KVG_polyline`", c_call),
                          ("Python `File.polyline(array)`, float64", bulk),
                          ("Python `File.polyline(array)`, float32 (converted)", converted),
                          ("Python, one `File.vertex` call per point", python)):
        print(f"| {name} | {seconds * 1e3:.1f} | {seconds / POINTS * 1e9:.1f} | "
              f"{seconds / c_call:.2f} |")


if __name__ == "__main__":
    main()
