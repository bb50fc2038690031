"""The gallery's files: KVG (compressed and plain) against matplotlib's SVG, SVG compressed
(svgz), PDF and PNG, in bytes and savefig time. Prints a Markdown table. The per-point colour
scatter is drawn with 100,000 points here (the tests draw fewer).

    gallery.py GALLERY_DIR WORK_DIR [ROUNDS]

GALLERY_DIR holds gallery.py, the figures of the Python tests.
"""

import pathlib
import statistics
import sys
import time

FORMATS = (("KVG", "kvg", {}), ("KVG plain", "kvg", {"compress": False}), ("SVG", "svg", {}),
           ("SVG gzip", "svgz", {}), ("PDF", "pdf", {}), ("PNG", "png", {}))
ARGUMENTS = {"scatter_colors": {"count": 100_000}}


def measure(fig, path, options, rounds):
    times = []
    for _ in range(rounds):
        start = time.process_time()
        fig.savefig(path, **options)
        times.append(time.process_time() - start)
    return path.stat().st_size, statistics.median(times)


def main():
    sys.path.insert(0, sys.argv[1])
    import gallery
    import kvg.matplotlib  # noqa: F401

    work = pathlib.Path(sys.argv[2])
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    work.mkdir(parents=True, exist_ok=True)
    print("Bytes, and savefig's processor time in ms (median of the rounds):\n")
    print("| figure | " + " | ".join(name for name, _, _ in FORMATS) + " |")
    print("|---|" + "---:|" * len(FORMATS))
    for make in gallery.FIGURES:
        try:
            fig = make(**ARGUMENTS.get(make.__name__, {}))
        except ImportError as missing:
            print(f"| {make.__name__} | skipped: {missing.name} is not installed |")
            continue
        cells = []
        for name, suffix, options in FORMATS:
            path = work / f"{make.__name__}-{name.replace(' ', '-')}.{suffix}"
            size, seconds = measure(fig, path, options, rounds)
            cells.append(f"{size:,} / {seconds * 1e3:.0f}")
        print(f"| {make.__name__} | " + " | ".join(cells) + " |")


if __name__ == "__main__":
    main()
