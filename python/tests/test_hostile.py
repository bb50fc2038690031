"""Files from strangers: the reader's budgets, texts that are not UTF-8, and the verdict on every
hostile and fuzzed file the same as the C reader's, always as a kvg.Error."""

import ctypes
import os
import sys
from pathlib import Path

import numpy as np
import pytest

import kvg

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "hostile"))
import hostile  # noqa: E402  (the generator shared with the web tests)


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    out = tmp_path_factory.mktemp("hostile")
    return {Path(p).name: Path(p) for p in hostile.write_all(str(out))}


def test_images_expand_within_the_pixel_budget(files, tmp_path):
    image = files["image-512-1bit.kvg"]
    record = next(r for r in kvg.records(image) if r.kind == "set-image")
    assert record.pixels.shape == (512, 512) and not record.pixels.any()
    with pytest.raises(kvg.LimitError, match=r"^offset 31: set-image: 262144 pixels .* 'pixels'"):
        list(kvg.records(image, limits={"pixels": 512 * 512 - 1}))
    with pytest.raises(kvg.LimitError, match="limit 'pixels'"):
        kvg.read(image, limits={"pixels": 1000})
    # The budget holds for the whole file: two images of 6 x 5 pixels need 60.
    path = tmp_path / "two.kvg"
    with kvg.File(path, world=(0, 10, 0, 10)) as f:
        f.set_color_size(kvg.ColorMode.GRAY8)
        f.set_image(np.zeros((5, 6), np.uint8))
        f.set_image(np.zeros((5, 6), np.uint8))
        f.begin_layer("L")
    assert len(kvg.read(path, limits={"pixels": 60}).images) == 2
    with pytest.raises(kvg.LimitError, match="limit 'pixels'"):
        kvg.read(path, limits={"pixels": 59})


def test_read_keeps_a_bounded_number_of_records(files):
    marks = files["marks-20000.kvg"]
    with pytest.raises(kvg.LimitError, match=r"offset \d+: more than 1000 records"):
        kvg.read(marks, limits={"records": 1000})
    drawing = kvg.read(marks, limits={"records": 20004})
    assert len(drawing.layers[0].records) == 20000
    # Walking keeps nothing, so it has no such budget.
    assert sum(1 for _ in kvg.records(marks)) == 20004
    with pytest.raises(kvg.ParamError, match="unknown limit 'records'"):
        next(kvg.records(marks, limits={"records": 10}))
    assert kvg.READ_LIMITS["points"] * 16 <= 1 << 28  # what read keeps of points, at most


def test_limits_are_checked_as_given(files):
    marks = files["marks-20000.kvg"]
    for limits in ({"speed": 1}, {"points": -1}, {"points": 1.5}, {"depth": True}):
        with pytest.raises(kvg.ParamError):
            kvg.read(marks, limits=limits)
    with pytest.raises(kvg.LimitError, match="mark: more than 100 points"):
        kvg.read(marks, limits={"points": 100})
    with pytest.raises(kvg.ParamError):
        kvg.read(marks, strings="latin-1")


def test_memory_refused_is_a_kvg_error(files, monkeypatch):
    """numpy or the module failing to allocate an array surfaces as kvg.OutOfMemoryError."""
    real = kvg._kvg.Reader

    class Starved:
        def __init__(self, *args):
            self.reader = real(*args)

        def __getattr__(self, name):
            return getattr(self.reader, name)

        def next(self):
            raise MemoryError("Unable to allocate 1.00 GiB for an array")

    monkeypatch.setattr(kvg._kvg, "Reader", Starved)
    with pytest.raises(kvg.OutOfMemoryError, match="out of memory: Unable to allocate") as refused:
        kvg.read(files["marks-20000.kvg"])
    assert isinstance(refused.value, kvg.Error) and isinstance(refused.value, MemoryError)


def test_texts_that_are_not_utf8(files):
    path = files["names-invalid-utf8.kvg"]
    layer, name, text, end = [r for r in kvg.records(path) if r.kind in ("layer", "object", "text")]
    assert (layer.name, name.name, text.text, end.name) == ("L\ufffd\ufffd", "o\ufffd(", "t\ufffd end", "")
    as_bytes = [r for r in kvg.records(path, strings="bytes") if r.kind in ("layer", "object")]
    assert [r.name for r in as_bytes] == [b"L\xff\xfe", b"o\xc3(", b""]
    drawing = kvg.read(path, strings="bytes")
    assert drawing.layers[0].name == b"L\xff\xfe"
    long_text = next(r for r in kvg.records(files["text-125000.kvg"]) if r.kind == "text")
    assert long_text.text == "a" * 125000


def c_reader():
    """The C reader's library itself, through ctypes: its verdict owes nothing to the module."""
    lib = ctypes.CDLL(os.environ["KVG_READER_LIB"])
    lib.KVGR_new.restype = ctypes.c_void_p
    lib.KVGR_delete.argtypes = [ctypes.c_void_p]
    lib.KVGR_openFile.argtypes = [ctypes.c_void_p, ctypes.c_char_p]
    lib.KVGR_next.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)]
    lib.KVGR_getErrorMessage.argtypes = [ctypes.c_void_p]
    lib.KVGR_getErrorMessage.restype = ctypes.c_char_p

    def verdict(path):
        """None for a valid file, else the reader's message (as `kvg check` prints it)."""
        reader = lib.KVGR_new()
        try:
            status = lib.KVGR_openFile(reader, os.fsencode(path))
            record = ctypes.c_void_p()
            while status == 0 and lib.KVGR_next(reader, ctypes.byref(record)) == 1:
                pass
            message = lib.KVGR_getErrorMessage(reader).decode()
            return message or None
        finally:
            lib.KVGR_delete(reader)

    return verdict


def python_verdict(path):
    try:
        for _ in kvg.records(path):
            pass
    except kvg.Error as e:
        return str(e)
    return None


def test_verdicts_agree_with_the_c_reader(files):
    """The hostile files and the reader's fuzz corpus replayed, and the inputs of a fuzzing run
    in KVG_REPLAY_DIR: the same verdict as the C reader's for each, and every failure a
    kvg.Error (any other exception fails the test)."""
    paths = sorted(files.values()) + sorted((ROOT / "fuzz" / "reader_corpus").iterdir())
    if os.environ.get("KVG_REPLAY_DIR"):  # what a fuzzing run made (.ci/run)
        paths += sorted(Path(os.environ["KVG_REPLAY_DIR"]).iterdir())
    c_verdict = c_reader()
    failures = 0
    for path in paths:
        verdict = c_verdict(path)
        assert python_verdict(path) == verdict, path
        failures += verdict is not None
    assert len(paths) > 200 and failures > 15
