"""The matplotlib backend: how figures map onto the format."""

import collections
import io
import os
import subprocess
import sys

import matplotlib
import numpy as np
import pytest
from matplotlib.path import Path

import gallery
import kvg
import kvg.matplotlib as kvg_mpl
from kvg._mplpath import nonzero_groups
from rendering import difference, saved


def records(path):
    """The record kinds of a file and how often each occurs."""
    return collections.Counter(record.kind for record in kvg.records(path))


def test_a_scatter_plot_defines_its_marker_once(tmp_path):
    fig = gallery.scatter()
    fig.savefig(tmp_path / "scatter.kvg")
    kinds = records(tmp_path / "scatter.kvg")
    assert kinds["begin-set-shape"] <= 4  # the marker, and the axes' tick marks
    assert kinds["stamp-shape"] + kinds["repeat-shape"] >= 100_000
    assert (tmp_path / "scatter.kvg").stat().st_size < 100_000 * 4


def test_colour_mapped_markers_get_one_shape_per_colour(tmp_path):
    fig, ax = matplotlib.pyplot.subplots()
    ax.scatter(np.arange(1000), np.arange(1000) % 7, c=np.arange(1000) % 3, s=5)
    fig.savefig(tmp_path / "c.kvg")
    assert records(tmp_path / "c.kvg")["begin-set-shape"] <= 3 + 4


def test_holes_are_cut_out_by_the_non_zero_rule():
    square = lambda x0, y0, size, clockwise: np.array(  # noqa: E731
        [(x0, y0), (x0, y0 + size), (x0 + size, y0 + size), (x0 + size, y0)][::-1 if not
                                                                             clockwise else 1])
    # An outer ring with a hole of the opposite direction, an island in the hole, and a ring
    # inside the outer one running the same way (non-zero: still filled, no hole).
    rings = [square(0, 0, 100, False), square(10, 10, 40, True), square(20, 20, 10, False),
             square(60, 60, 20, False)]
    groups = nonzero_groups(rings)
    assert sorted(groups) == [(0, [1]), (2, [])]


def test_nested_rings_fill_as_the_non_zero_rule_fills_them():
    """Random squares nested inside one another and side by side, each running either way:
    even-odd over each group (inside its outer ring, outside its holes) fills exactly the points
    of non-zero winding."""
    rng = np.random.default_rng(11)
    grid = np.stack(np.meshgrid(np.arange(0.5, 200), np.arange(0.5, 200)), -1).reshape(-1, 2)
    for _ in range(20):
        rings = []

        def nest(x0, y0, size, depth):
            ring = np.array([(x0, y0), (x0 + size, y0), (x0 + size, y0 + size), (x0, y0 + size)])
            rings.append(ring if rng.random() < 0.5 else ring[::-1])
            if depth < 4 and size > 12:
                half = (size - 6) / 2
                for dx in (3, 3 + half)[: rng.integers(1, 3)]:
                    nest(x0 + dx, y0 + 3, half - 1, depth + 1)

        nest(0, 0, 199, 0)
        inside = np.array([Path(r).contains_points(grid) for r in rings])
        signs = np.array([1 if np.cross(r[1] - r[0], r[2] - r[1]) > 0 else -1 for r in rings])
        expected = (signs[:, None] * inside).sum(axis=0) != 0
        filled = np.zeros(len(grid), dtype=bool)
        for outer, holes in nonzero_groups(rings):
            filled |= inside[outer] & ~inside[holes].any(axis=0)
        assert np.array_equal(filled, expected)


def test_dashes_fit_the_sixteen_steps():
    assert kvg_mpl.dash_pattern(0, [4, 4], 1) == 0b1111000011110000
    assert kvg_mpl.dash_pattern(0, [1, 1], 1) == 0b1010101010101010
    # A period that does not divide 16 is stretched: three dashes of about 5.3 steps.
    assert bin(kvg_mpl.dash_pattern(0, [3.7, 1.6], 1)).count("01") + 1 == 3
    assert kvg_mpl.dash_pattern(2, [4, 4], 1) == 0b1100001111000011


def test_savefig_to_a_file_object_and_options(tmp_path):
    fig, ax = matplotlib.pyplot.subplots()
    ax.plot([0, 1], [0, 1])
    buffer = io.BytesIO()
    fig.savefig(buffer, format="kvg", compress=False)
    assert buffer.getvalue()[:3] == b"KVG"
    fig.savefig(tmp_path / "a.kvg", metadata={"Title": "a line"})
    assert (tmp_path / "a.kvg").read_bytes()[:2] == b"\x1f\x8b"
    assert records(tmp_path / "a.kvg")["extension"] == 1


def test_the_backend_can_be_chosen_by_module_name(tmp_path):
    script = (
        "import matplotlib\n"
        "matplotlib.use('module://kvg.matplotlib')\n"
        "import matplotlib.pyplot as plt\n"
        "plt.plot([1, 2, 3])\n"
        f"plt.savefig({str(tmp_path / 'figure')!r})\n"  # the backend's own default format
    )
    subprocess.run([sys.executable, "-c", script], check=True,
                   env={**os.environ, "MPLBACKEND": ""})
    assert (tmp_path / "figure.kvg").exists()


def test_a_failing_figure_leaves_no_file(tmp_path):
    class Broken(matplotlib.artist.Artist):
        def draw(self, renderer):
            raise RuntimeError("cannot draw")

    fig, ax = matplotlib.pyplot.subplots()
    ax.add_artist(Broken())
    with pytest.raises(RuntimeError):
        fig.savefig(tmp_path / "broken.kvg")
    assert not (tmp_path / "broken.kvg").exists()


def test_figures_are_cut_at_the_axes(tmp_path):
    """Lines and fills reaching beyond the axes stop at them; a patch wholly outside leaves
    nothing."""
    fig, ax = matplotlib.pyplot.subplots()
    ax.plot([-10, 10], [0, 0], linewidth=4)
    ax.add_patch(matplotlib.patches.Circle((0.9, 0.5), 0.4, color="tab:red"))
    ax.add_patch(matplotlib.patches.Rectangle((5, 5), 1, 1))
    ax.set_xlim(-1, 1)
    ax.set_ylim(-1, 1)
    assert difference(*saved(fig, tmp_path, "clipped"))[1] < 0.03


@pytest.mark.parametrize("cap", ["butt", "projecting", "round"])
def test_line_caps_are_drawn(cap, tmp_path):
    """Lines end square in the file; projecting and round caps are drawn as the line
    lengthened and as dots on its ends (each would differ by about 1.3 % of the pixels
    otherwise)."""
    fig, ax = matplotlib.pyplot.subplots(figsize=(3, 2))
    ax.plot([0.3, 0.7], [0.5, 0.5], linewidth=20, solid_capstyle=cap, color="black")
    ax.set_xlim(0, 1)
    ax.set_ylim(0, 1)
    ax.axis("off")
    assert difference(*saved(fig, tmp_path, "cap"))[1] < 0.006


@pytest.mark.parametrize("interpolation", ["antialiased", "none"])
def test_images_are_cut_at_the_axes(interpolation, tmp_path):
    """A zoomed image: matplotlib resamples the visible part itself, or (no interpolation)
    hands over the whole image, which is then cut at the axes."""
    fig, ax = matplotlib.pyplot.subplots(figsize=(4, 3))
    y, x = np.mgrid[0:40, 0:60]
    ax.imshow(np.sin(x / 6.0) * np.cos(y / 4.0), interpolation=interpolation, alpha=0.7)
    ax.set_xlim(10, 30)
    ax.set_ylim(5, 25)
    mean, share = difference(*saved(fig, tmp_path, "zoomed"))
    assert mean < 6 and share < 0.04


def test_compound_paths_with_holes_become_faces(tmp_path):
    fig, ax = matplotlib.pyplot.subplots()
    ring = Path.circle((0.5, 0.5), 0.4)
    hole = Path.circle((0.5, 0.5), 0.2, readonly=False)
    hole = Path(hole.vertices[::-1], hole.codes)  # the other way round
    donut = Path.make_compound_path(ring, hole)
    ax.add_patch(matplotlib.patches.PathPatch(donut, facecolor="tab:blue"))
    drawn = difference(*saved(fig, tmp_path, "donut"))
    kinds = records(tmp_path / "donut.kvg")
    assert kinds["set-face"] == 2 and kinds["fill-face"] == 1
    assert drawn[0] < 3


@pytest.mark.parametrize("interpolation,stretch", [
    ("antialiased", kvg.Stretch.NEAREST), ("nearest", kvg.Stretch.NEAREST),
    ("bilinear", kvg.Stretch.BILINEAR), ("bicubic", kvg.Stretch.BILINEAR)])
def test_images_keep_the_pixels_of_their_data(interpolation, stretch, tmp_path):
    """imshow of 40 x 60 values stores 2,400 pixels, stretched as the interpolation asks
    ("antialiased" enlarging 13 times is nearest), and draws what matplotlib draws."""
    y, x = np.mgrid[0:40, 0:60]
    fig, ax = matplotlib.pyplot.subplots()
    ax.imshow(np.sin(x / 6.0) * np.cos(y / 4.0), cmap="magma", origin="lower",
              interpolation=interpolation)
    drawn = difference(*saved(fig, tmp_path, "image"))
    drawing = kvg.read(tmp_path / "image.kvg")
    (image,) = drawing.images.values()
    assert (image.width, image.height) == (60, 40)
    stretches = [r.value for layer in drawing.layers for r in layer.records
                 if r.kind == "image-stretch-mode"]
    assert stretches[-1:] == [stretch]
    assert drawn[0] < 4 and drawn[1] < 0.02, drawn
    # Upside down and mirrored by the extent: the pixels are turned, not resampled.
    fig, ax = matplotlib.pyplot.subplots()
    ax.imshow(x * 4 + y, extent=(60, 0, 40, 0), interpolation=interpolation)
    drawn = difference(*saved(fig, tmp_path, "flipped"))
    (image,) = kvg.read(tmp_path / "flipped.kvg").images.values()
    assert (image.width, image.height) == (60, 40)
    assert drawn[0] < 4 and drawn[1] < 0.02, drawn


@pytest.mark.parametrize("style,width", [(":", 0.8), (":", 2), ("--", 0.8), ("-.", 1.5)])
def test_dash_patterns_keep_their_ink(style, width, tmp_path):
    """A dashed line puts as much ink on its length as in matplotlib's PNG: a dotted grid line
    is as light as matplotlib draws it (not two steps on, one off)."""
    fig = matplotlib.pyplot.figure(figsize=(6, 1))
    ax = fig.add_axes((0, 0, 1, 1))
    ax.plot([0, 1], [0.5, 0.5], style, linewidth=width, color="black")
    ax.set_xlim(0, 1)
    ax.set_ylim(0, 1)
    ax.axis("off")
    ink = [(255 - picture).sum() for picture in saved(fig, tmp_path, "dashes")]
    matplotlib.pyplot.close(fig)
    assert 0.85 < ink[1] / ink[0] < 1.15, ink
