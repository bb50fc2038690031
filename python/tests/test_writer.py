"""kvg.File: arrays of every dtype and layout, errors, colours and the life of a file."""

import gc
import os
import resource
import tempfile

import numpy as np
import pytest

import kvg

WALK = np.cumsum(np.random.default_rng(7).normal(size=(500, 2)), axis=0)


def write(path, draw, **options):
    with kvg.File(path, compress=False, **options) as f:
        f.begin_layer("test")
        draw(f)
    return path.read_bytes()


def test_every_dtype_and_layout_writes_the_same_bytes(tmp_path):
    def polyline(points):
        return write(tmp_path / "a.kvg", lambda f: f.polyline(points))

    integers = np.rint(WALK).astype(np.int64)
    reference = polyline(integers.astype(np.float64))
    wide = np.zeros((len(integers), 4), dtype=np.float64)
    wide[:, 1:3] = integers
    interleaved = np.repeat(integers.astype(np.float64), 2, axis=0)[::2]
    for points in (
        integers,
        integers.astype(np.int16),
        integers.astype(np.float32),
        np.asfortranarray(integers.astype(np.float64)),
        wide[:, 1:3],  # columns of a wider array
        interleaved,  # every other row
        [tuple(p) for p in integers.tolist()],
    ):
        assert polyline(points) == reference


def test_bulk_calls_write_what_the_point_by_point_calls_write(tmp_path):
    def bulk(f):
        f.polyline(WALK)
        f.set_fill(True)
        f.polygon(WALK[:50])
        f.bezier(WALK[:301])
        f.marks(WALK[:20])
        f.face(f.set_face([f.set_edge(WALK[:200]), -f.set_edge(WALK[199:300])]))

    def per_point(f):
        f.begin(kvg.Primitive.POLYLINE, *WALK[0])
        for x, y in WALK[1:]:
            f.vertex(x, y)
        f.end()
        f.set_fill(True)
        f.begin(kvg.Primitive.POLYGON, *WALK[0])
        f.vertices(WALK[1:50])
        f.end()
        f.begin(kvg.Primitive.CUBIC, *WALK[0])
        for segment in WALK[1:301].reshape(-1, 6):
            f.cubic(*segment)
        f.end()
        for x, y in WALK[:20]:
            f.mark(x, y)
        first = f.begin_set_edge(*WALK[0])
        f.vertices_set_edge(WALK[1:200])
        f.end_set_edge()
        second = f.begin_set_edge(*WALK[199])
        for x, y in WALK[200:300]:
            f.vertex_set_edge(x, y)
        f.end_set_edge()
        face = f.begin_set_face()
        f.edge_set_face(first)
        f.edge_set_face(second, reversed=True)
        f.end_set_face()
        f.face(face)

    assert write(tmp_path / "bulk.kvg", bulk) == write(tmp_path / "points.kvg", per_point)


def test_arrays_that_are_not_point_lists_are_refused(tmp_path):
    with kvg.File(tmp_path / "a.kvg") as f:
        f.begin_layer("test")
        for points in (np.zeros((4, 3)), np.zeros(8), [(0, 0)], np.zeros((0, 2))):
            with pytest.raises(kvg.ParamError):
                f.polyline(points)
        with pytest.raises(kvg.Error, match="multiple of three"):
            f.bezier(np.zeros((5, 2)))
        with pytest.raises((TypeError, ValueError)):
            f.polyline([("a", "b"), ("c", "d")])
        assert f.polyline([(0, 0), (50, 50)])  # the file is still usable


def test_failures_raise_the_class_of_their_code(tmp_path):
    with kvg.File(tmp_path / "a.kvg") as f:
        f.begin_layer("test")
        with pytest.raises(kvg.ContextError) as context:
            f.end()
        assert context.value.code == kvg.ErrorCode.CONTEXT
        assert context.value.message == "Function is invalid outside primitive definition"
        with pytest.raises(kvg.ParamError, match="Invalid edge identifier"):
            f.edge(1)
        with pytest.raises(kvg.LimitError, match="Invalid shape identifier"):
            f.stamp_shape(0, 0, 0)
        with pytest.raises(kvg.ParamError, match="Font size too big"):
            f.set_font(size=204800)
        # Arguments the library would take as a broken contract are refused before it.
        with pytest.raises(kvg.ParamError, match="mark type"):
            f.set_mark_style(9, 1)
        with pytest.raises(kvg.ParamError, match="primitive type"):
            f.begin(3, 0, 0)
        with pytest.raises(kvg.ParamError, match="palette"):
            f.set_palette([])
        with pytest.raises(kvg.ParamError, match="NUL"):
            f.text(0, 0, "cut\0short")
        with pytest.raises(kvg.ParamError):
            kvg.encode_g8(1.5)
        with pytest.raises(kvg.ParamError):
            kvg.decode_rgb(0x01000000)
        # A refused face edge still ends the face.
        with pytest.raises(kvg.ParamError, match="Invalid edge identifier"):
            f.set_face([7])
        assert f.set_face([]) == 1
        assert isinstance(context.value, RuntimeError)
    with pytest.raises(kvg.ContextError, match="closed"):
        f.line(0, 0, 1, 1)


def test_figures_that_come_to_nothing_return_false(tmp_path):
    with kvg.File(tmp_path / "a.kvg") as f:
        f.begin_layer("test")
        assert not f.line(0, 0, 0.01, 0)
        assert not f.box(0, 0, 0.01, 10)
        assert not f.polyline([(0, 0), (0.01, 0)])
        assert f.line(0, 0, 1, 0)


def test_colours(tmp_path):
    assert kvg.color_value("#12aBef") == 0x12ABEF
    assert kvg.color_value("#12abef", kvg.ColorMode.RGBA) == 0x12ABEFFF
    assert kvg.color_value("#12abef80", kvg.ColorMode.RGBA) == 0x12ABEF80
    for text, mode in (("#12abef80", kvg.ColorMode.RGB), ("#12abef", kvg.ColorMode.GRAY8),
                       ("12abef", kvg.ColorMode.RGB), ("#12abeg", kvg.ColorMode.RGB)):
        with pytest.raises(kvg.ParamError):
            kvg.color_value(text, mode)
    assert kvg.encode_rgba(0x12, 0x34, 0x56, 0.5) == 0x1234567F
    assert kvg.decode_rgba(0xFF00007F)[:3] == (255, 0, 0)
    with kvg.File(tmp_path / "a.kvg", background="#102030") as f:
        f.begin_layer("test")
        f.set_color_size(kvg.ColorMode.RGBA)
        f.set_line_color("#ff000080")
        assert f.get_line_color() == (0xFF000080, kvg.ColorMode.RGBA)


def test_attributes_read_back(tmp_path):
    with kvg.File(tmp_path / "a.kvg") as f:
        f.begin_layer("test")
        f.set_line_style(kvg.Joint.ROUND, kvg.Arrow.OPEN, kvg.Arrow.STEALTH, 2)
        assert f.get_line_style() == (kvg.Joint.ROUND, kvg.Arrow.OPEN, kvg.Arrow.STEALTH, 40)
        f.set_font(kvg.Typeface.SERIF, kvg.FontStyle.BOLD, 10)
        assert f.get_font() == (kvg.Typeface.SERIF, kvg.FontStyle.BOLD, 204)
        f.set_text_alignment(kvg.TextAlign.NORTHEAST, 30.0)
        assert f.get_text_alignment() == (kvg.TextAlign.NORTHEAST, 30.0)
        assert f.set_fill(True) is False and f.get_fill() is True
        f.set_palette(["#ff0000", 0x00FF00])
        assert f.get_palette() == ([0xFF0000, 0x00FF00], kvg.ColorMode.RGB)
        f.set_stretched_texture_fill(10, 10, 5, 5, f.set_image(np.zeros((2, 2, 3), np.uint8)))
        texture = f.get_stretched_texture_fill()
        assert texture.image == 0 and texture.width == pytest.approx(4.98, abs=0.01)


def test_a_block_that_raises_leaves_no_file(tmp_path):
    path = tmp_path / "a.kvg"
    with pytest.raises(KeyError):
        with kvg.File(path) as f:
            f.begin_layer("test")
            raise KeyError("stop")
    assert not path.exists() and f.closed
    with kvg.File(path) as f:
        f.begin_layer("test")
    assert path.read_bytes()[:2] == b"\x1f\x8b"  # gzip
    with pytest.raises(kvg.FileSystemError) as failure:
        kvg.File(tmp_path / "missing" / "a.kvg")
    assert isinstance(failure.value, OSError)


def library_temporaries():
    """The library's temporary files of this process."""
    prefix = f"kvg-{os.getpid()}-"
    return {name for name in os.listdir(tempfile.gettempdir()) if name.startswith(prefix)}


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


def test_ten_thousand_files_release_every_handle(tmp_path):
    """Closed, abandoned, collected and failed files: no descriptor, memory or file is kept."""

    kept = set()

    def one(i):
        path = tmp_path / f"{i % 7}.kvg"
        if i % 4 in (0, 2):  # completed; an abandoned file leaves the path as it was
            kept.add(path.name)
        f = kvg.File(path, compress=i % 2 == 0)
        f.begin_layer("test")
        f.polyline(WALK[:20])
        if i % 4 == 0:
            f.close()
        elif i % 4 == 1:
            f.abandon()
        elif i % 4 == 2:
            with pytest.raises(kvg.ContextError):
                f.end()
            del f  # completed when collected
        else:
            with pytest.raises(kvg.ParamError):
                with f:
                    f.set_font(size=204800)

    for i in range(200):  # settle the allocator
        one(i)
    gc.collect()
    descriptors = open_descriptors()
    temporaries = library_temporaries()
    memory = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    for i in range(10_000):
        one(i)
    gc.collect()
    assert open_descriptors() == descriptors
    assert resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - memory < 4096  # KiB
    assert sorted(os.listdir(tmp_path)) == sorted(kept)
    assert library_temporaries() == temporaries


def test_a_shape_for_each_point_in_one_call(tmp_path):
    ids = np.array([0, 0, 1, 0, 1, 1])

    def shapes(f):
        for size in (2, 4):
            with f.shape_definition(size, size):
                f.box(-size / 2, -size / 2, size, size)

    def bulk(f):
        shapes(f)
        f.stamp_shapes(ids, WALK[:6])

    def one_by_one(f):
        shapes(f)
        for shape, (x, y) in zip(ids, WALK[:6]):
            f.stamp_shape(int(shape), x, y)

    assert write(tmp_path / "bulk.kvg", bulk) == write(tmp_path / "one.kvg", one_by_one)
    with kvg.File(tmp_path / "a.kvg") as f:
        f.begin_layer("test")
        with pytest.raises(kvg.ParamError, match="one shape identifier per point"):
            f.stamp_shapes([0, 0], WALK[:3])
        with pytest.raises(TypeError, match="integers"):
            f.stamp_shapes([0.5, 1.5], WALK[:2])
        with pytest.raises(kvg.LimitError, match="Invalid shape identifier"):
            f.stamp_shapes([3, 3], WALK[:2])


def test_wrong_arguments_are_refused_in_plain_words(tmp_path):
    """Each refusal says which argument is wrong and what it must be; none shows the compiled
    object, and nothing is dropped in silence (an imaginary part, a fractional colour)."""
    with kvg.File(tmp_path / "a.kvg") as f:
        f.begin_layer("test")
        refusals = [
            (lambda: f.set_font(size="big"), TypeError, "set_font: size must be a whole number, not str 'big'"),
            (lambda: f.set_font(size=2.5), TypeError, "size must be a whole number, not float 2.5"),
            (lambda: f.set_font(size=-1), kvg.ParamError, "set_font: size=-1 is beyond the range"),
            (lambda: f.line("a", 0, 1, 1), TypeError, "line: x1 must be a number, not str 'a'"),
            (lambda: f.text(0, 0, 5), TypeError, "text: text must be a string, not int 5"),
            (lambda: f.begin_layer(None), TypeError, "name must be a string, not NoneType"),
            (lambda: f.polyline(np.array([[1 + 2j, 3], [4, 5]])), TypeError,
             "arrays must hold real numbers, not complex numbers"),
            (lambda: f.polyline(np.array([["a", "b"], ["c", "d"]])), TypeError,
             "arrays must hold real numbers, not strings"),
            (lambda: f.set_fill_color(1.5), TypeError, "a colour is an int such as 0xRRGGBB"),
            (lambda: f.set_fill_color(True), TypeError, "not bool True"),
            (lambda: f.set_fill_color(0x1000000), kvg.ParamError,
             "colour 0x1000000 does not fit the RGB colour mode, whose values run from 0 to "
             "0xffffff; 0xRRGGBBAA needs the RGBA colour mode"),
            (lambda: kvg.File(tmp_path / "b.kvg", world=(0, "x", 0, 1)), TypeError,
             "File: xmax must be a number, not str 'x'"),
        ]
        for call, kind, message in refusals:
            with pytest.raises(kind) as refused:
                call()
            assert message in str(refused.value)
            assert "0x" not in str(refused.value).replace("0x1000000", "").replace(
                "0xffffff", "").replace("0xRRGGBB", "")  # no object addresses
        f.set_color_size(kvg.ColorMode.RGBA)
        f.set_fill_color(0x1000000)  # fits the RGBA mode
        f.set_color_size(kvg.ColorMode.GRAY8)
        with pytest.raises(kvg.ParamError, match="GRAY8 colour mode"):
            f.set_fill_color(256)
        assert f.polyline(np.array([[0, 0], [50, 50]], dtype=np.int8))  # still usable
