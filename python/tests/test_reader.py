"""kvg.read and kvg.records: every family written and read back, units, damage and limits."""

import gzip

import numpy as np
import pytest

import kvg

WORLD = (-180.0, 180.0, -90.0, 90.0)
RESOLUTION = (4096, 2048)
GRID = 4096 / 360  # file units per world unit
WALK = np.cumsum(np.random.default_rng(3).normal(scale=3, size=(300, 2)), axis=0) % 150 - 75
PIXELS = np.random.default_rng(4).integers(0, 256, size=(3, 5, 4), dtype=np.uint8)


def write_every_family(path, compress=True):
    with kvg.File(path, world=WORLD, resolution=RESOLUTION, size_mm=(200, 100),
                  background="#102030", compress=compress) as f:
        f.begin_layer("first", visible=False, detectable=True)
        f.extension("generator", "test")
        with f.object("figures"):
            f.polyline(WALK)
            f.set_fill(True)
            f.set_fill_color("#ff0000")
            f.polygon([(0, 0), (10, 0), (10, 10)])
            f.bezier([(0, 0), (1, 5), (4, 5), (5, 0)])
            f.arc(0, 0, 20, 10, 30, 120)
            f.set_fill(False)
            f.set_line_style(kvg.Joint.ROUND, kvg.Arrow.NONE, kvg.Arrow.STEALTH, 2)
            f.set_line_dashes(0xF0F0)
            f.set_line_color(0x00FF00)
            f.line(-50, -20, 50, 20)
            f.box(-10, -10, 30, 20)
            f.circle(5, 5, 2.5)
            f.ellipse(0, 0, 40, 10)
            f.set_mark_style(kvg.MarkType.DIAMOND, 7)
            f.mark(12, 34)
            f.set_font(kvg.Typeface.SERIF, kvg.FontStyle.ITALIC, 4)
            f.set_text_alignment(kvg.TextAlign.NORTHEAST, 45)
            f.text(10, 20, "hello ∑")
        f.begin_layer("second")
        with f.shape_definition(3, 3) as shape:
            f.set_fill(True)
            f.box(-1, -1, 2, 2)
        f.stamp_shapes(shape, [(1, 1), (2, 2)])
        f.shape(shape, 50, 50, 10, 5, rotation=30)
        f.set_color_size(kvg.ColorMode.RGBA)
        image = f.set_image(PIXELS)
        f.image(image, -100, -50, 50, 30)
        f.sub_image(image, 1, 1, 2, 2, 0, 0, 10, 10)
        outer = f.set_edge([(-60, -60), (60, -60), (60, 60), (-60, 60), (-60, -60)])
        inner = f.set_edge([(-20, -20), (-20, 20), (20, 20), (20, -20), (-20, -20)])
        hole = f.set_face([inner])
        ring = f.set_face([outer], [hole])
        f.edge(outer)
        f.edge_range(outer, inner)
        f.face(ring)
    return shape, image, outer, inner, hole, ring


def on_grid(points):
    """World points as the grid keeps them: within half a grid unit."""
    return dict(atol=0.5 / GRID + 1e-9)


def test_every_family_reads_back_in_world_units(tmp_path):
    shape, image, outer, inner, hole, ring = write_every_family(tmp_path / "all.kvg")
    drawing = kvg.read(tmp_path / "all.kvg", units="world", world=WORLD)
    assert drawing.header.size_mm == (200, 100) and drawing.header.grid == RESOLUTION
    assert drawing.header.background == 0x102030 and drawing.header.compressed

    first, second = drawing.layers
    assert (first.name, first.visible, second.name) == ("first", False, "second")
    kinds = [r.kind for r in first.records if r.kind not in ("point-size", "rel-point-size")]
    assert kinds[:5] == ["extension", "object", "polyline", "fill-color", "fill-polygon"]
    figures = {r.kind: r for r in first.records}
    assert figures["extension"].value == "test"
    np.testing.assert_allclose(figures["polyline"].points, WALK, **on_grid(WALK))
    np.testing.assert_allclose(figures["fill-polygon"].points, [(0, 0), (10, 0), (10, 10)],
                               **on_grid(None))
    assert figures["fill-cubic-bezier"].segments == 1
    arc = figures["fill-arc"]
    assert arc.centre == pytest.approx((0, 0)) and arc.half_size == pytest.approx(
        (10, 5), abs=1 / GRID)
    # Angles are stored as directions in the point size in force: about a degree here.
    assert (arc.start, arc.end) == (pytest.approx(30, abs=1), pytest.approx(120, abs=1))
    line = figures["line"]
    np.testing.assert_allclose([line.start, line.end], [(-50, -20), (50, 20)], **on_grid(None))
    assert figures["line-color"].color == (0x00FF00, kvg.ColorMode.RGB)
    assert figures["line-dashes"].pattern == 0xF0F0
    style = figures["line-style"]
    assert (style.joint, style.end) == (kvg.Joint.ROUND, kvg.Arrow.STEALTH)
    assert style.weight == pytest.approx(2, abs=1 / GRID)  # 22 file units
    assert figures["draw-box"].size == pytest.approx((30, 20), abs=1 / GRID)
    assert figures["mark"].at == pytest.approx((12, 34), abs=0.5 / GRID)
    assert figures["mark-style"].size == 7
    assert figures["text"].text == "hello ∑"
    assert figures["text-alignment"].direction == pytest.approx(45, abs=1)
    assert figures["font"].size == pytest.approx(4, abs=1 / GRID)

    assert drawing.shapes[shape].corner == pytest.approx((3, 3), abs=0.5 / GRID)
    (box,) = (r for r in drawing.shapes[shape].records if r.kind == "fill-box")
    assert box.corner == pytest.approx((-1, -1), abs=0.5 / GRID)  # about the shape's origin
    uses = {r.kind: r for r in second.records}
    assert uses["stamp-shape"].at == pytest.approx((1, 1), abs=0.5 / GRID)
    assert uses["repeat-shape"].shape == shape
    assert uses["shape"].rotation == pytest.approx(30, abs=1)

    stored = drawing.images[image]
    assert stored.color_size == kvg.ColorMode.RGBA and (stored.width, stored.height) == (5, 3)
    np.testing.assert_array_equal(stored.rgba, PIXELS)
    assert uses["full-image"].size == pytest.approx((50, 30), abs=1 / GRID)
    assert (uses["image"].source_min, uses["image"].source_max) == ((1, 1), (3, 3))

    np.testing.assert_allclose(drawing.edges[outer][[0, 2]], [(-60, -60), (60, 60)],
                               **on_grid(None))
    assert drawing.faces[ring] == kvg.Face([outer], [hole])
    assert drawing.faces[hole].edges == [inner]
    assert (uses["draw-edge-range"].first, uses["draw-edge-range"].last) == (outer, inner)
    assert uses["fill-face"].face == ring


def test_plain_and_compressed_files_read_alike(tmp_path):
    write_every_family(tmp_path / "plain.kvg", compress=False)
    write_every_family(tmp_path / "packed.kvg", compress=True)
    plain = list(kvg.records(tmp_path / "plain.kvg"))
    packed = list(kvg.records(tmp_path / "packed.kvg"))
    assert [(r.kind, r.offset) for r in plain] == [(r.kind, r.offset) for r in packed]
    assert not kvg.read(tmp_path / "plain.kvg").header.compressed


def test_file_and_page_units(tmp_path):
    with kvg.File(tmp_path / "a.kvg", world=(0, 100, 0, 50), resolution=1000,
                  size_mm=(300, 100)) as f:
        f.begin_layer("a")
        f.polyline([(0, 0), (50, 25), (100, 50)])
        f.circle(50, 25, 10)
    header = kvg.read(tmp_path / "a.kvg").header
    assert header.window == (-500, 500, -500, 500)  # the grid, centred on 0
    file_units = {r.kind: r for r in kvg.records(tmp_path / "a.kvg")}
    np.testing.assert_array_equal(file_units["polyline"].points,
                                  [(-500, -250), (0, 0), (500, 250)])
    assert file_units["draw-circle"].radius == 100
    # One scale for both axes (100 mm over 1000 units), the drawing centred on the page.
    page = {r.kind: r for r in kvg.records(tmp_path / "a.kvg", units="page")}
    np.testing.assert_allclose(page["polyline"].points, [(100, 25), (150, 50), (200, 75)])
    assert page["draw-circle"].radius == pytest.approx(10)
    with pytest.raises(ValueError):
        kvg.read(tmp_path / "a.kvg", units="world")


def test_a_damaged_file_raises_with_the_offset(tmp_path):
    write_every_family(tmp_path / "a.kvg", compress=False)
    good = (tmp_path / "a.kvg").read_bytes()
    records = list(kvg.records(tmp_path / "a.kvg"))
    polyline = next(r for r in records if r.kind == "polyline")
    broken = bytearray(good)
    broken[polyline.offset] = 0xFE  # no such record
    (tmp_path / "broken.kvg").write_bytes(bytes(broken))
    with pytest.raises(kvg.FormatError) as damage:
        kvg.read(tmp_path / "broken.kvg")
    assert damage.value.offset == polyline.offset
    assert isinstance(damage.value, ValueError)
    # The records before the fault come first, lazily.
    seen = []
    with pytest.raises(kvg.FormatError):
        for record in kvg.records(tmp_path / "broken.kvg"):
            seen.append(record.kind)
    assert seen == [r.kind for r in records if r.offset < polyline.offset]

    (tmp_path / "cut.kvg.gz").write_bytes(gzip.compress(good)[:-20])
    with pytest.raises(kvg.FormatError):
        kvg.read(tmp_path / "cut.kvg.gz")
    (tmp_path / "empty.kvg").write_bytes(b"")
    with pytest.raises(kvg.FormatError):
        kvg.read(tmp_path / "empty.kvg")
    with pytest.raises(kvg.FileSystemError):
        kvg.read(tmp_path / "missing.kvg")


def test_limits_stop_the_reader(tmp_path):
    write_every_family(tmp_path / "a.kvg")
    with pytest.raises(kvg.LimitError):
        kvg.read(tmp_path / "a.kvg", limits={"points": 100})
    with pytest.raises(kvg.LimitError):
        kvg.read(tmp_path / "a.kvg", limits={"image_pixels": 10})
    with pytest.raises(kvg.ParamError):
        kvg.read(tmp_path / "a.kvg", limits={"speed": 1})


def test_ten_thousand_reads_release_every_reader(tmp_path):
    """Whole reads, walks given up half way, damaged files and missing ones: no descriptor or
    memory is kept."""
    import gc
    import os
    import resource

    write_every_family(tmp_path / "a.kvg")
    (tmp_path / "bad.kvg").write_bytes((tmp_path / "a.kvg").read_bytes()[:200])

    def one(i):
        if i % 4 == 0:
            kvg.read(tmp_path / "a.kvg")
        elif i % 4 == 1:
            walk = kvg.records(tmp_path / "a.kvg")
            next(walk)
            del walk
        else:
            with pytest.raises((kvg.FormatError, kvg.FileSystemError)):
                kvg.read(tmp_path / ("bad.kvg" if i % 4 == 2 else "missing.kvg"))

    for i in range(200):
        one(i)
    gc.collect()
    descriptors = len(os.listdir("/proc/self/fd"))
    memory = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for i in range(10_000):
        one(i)
    gc.collect()
    assert len(os.listdir("/proc/self/fd")) == descriptors
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - memory < 4096  # KiB
