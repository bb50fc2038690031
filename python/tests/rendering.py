"""Drawing KVG files back for the tests: the project's renderer, rsvg, pixel differences."""

import os
import pathlib
import subprocess

import numpy as np
from PIL import Image

import gallery

TOOL = os.environ.get("KVG_TOOL", "kvg")
WIDTH, HEIGHT = (int(v * gallery.DPI) for v in gallery.SIZE)


def rasterize_svg(svg: pathlib.Path, size=(WIDTH, HEIGHT)) -> np.ndarray:
    png = svg.with_suffix(".png")
    subprocess.run(["rsvg-convert", "-w", str(size[0]), "-h", str(size[1]), str(svg), "-o",
                    str(png)], check=True)
    return pixels(png)


def pixels(png) -> np.ndarray:
    return np.asarray(Image.open(png).convert("RGB")).astype(np.int16)


def difference(a: np.ndarray, b: np.ndarray):
    """Mean absolute difference of the channels (0..255), and the share of pixels where some
    channel differs by more than a quarter of its range."""
    delta = np.abs(a - b)
    return float(delta.mean()), float((delta.max(axis=2) > 64).mean())


def render_kvg(path: pathlib.Path, size=(WIDTH, HEIGHT)) -> np.ndarray:
    """The file drawn by the project's renderer (kvg render) ``size[0]`` pixels wide; its
    page has the figure's aspect, so it is ``size[1]`` high."""
    png = path.with_suffix(".kvg.png")
    subprocess.run([TOOL, "render", str(path), "-o", str(png), "--width", str(size[0])],
                   check=True)
    drawn = pixels(png)
    assert drawn.shape[:2] == (size[1], size[0]), f"{png} is {drawn.shape[1]} x {drawn.shape[0]}"
    return drawn


def saved(fig, directory: pathlib.Path, name: str):
    """The figure drawn by matplotlib and by the project's renderer from its KVG file."""
    fig.savefig(directory / f"{name}.png")
    fig.savefig(directory / f"{name}.kvg")
    size = tuple(int(v * fig.dpi) for v in fig.get_size_inches())
    return pixels(directory / f"{name}.png"), render_kvg(directory / f"{name}.kvg", size)
