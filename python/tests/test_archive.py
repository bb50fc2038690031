"""kvg.TileArchive: tiles drawn from numpy data in Web Mercator metres, written into one
archive and read back; refusals and damaged archives."""

import json
import subprocess

import numpy as np
import pytest

import kvg

# A zigzag in the north-eastern quarter of the world (tile 1/1/0), in Web Mercator metres.
ZIGZAG = np.column_stack([np.linspace(1e6, 1.9e7, 19), np.tile([2e6, 1.8e7], 10)[:19]])


def write_pyramid(path, **options):
    """Zooms 0 and 1, each tile holding the zigzag; zoom 1's tiles as one layer."""
    with kvg.TileArchive(path, buffer=64, **options) as archive:
        for z in (0, 1):
            for x in range(1 << z):
                for y in range(1 << z):
                    with archive.tile(z, x, y, compress=False) as f:
                        f.begin_layer("zigzag")
                        f.polyline(ZIGZAG)
        return archive.close(name="zigzag", layers=[{"id": "zigzag", "fields": {"n": "Number"}}],
                             extra={"source": "test"})


def test_tiles_from_numpy_read_back_in_their_tile_box(tmp_path):
    path = tmp_path / "zigzag.pmtiles"
    summary = write_pyramid(path)
    assert summary["addressed_tiles"] == 5
    assert summary["tile_contents"] == 5
    assert summary["archive_bytes"] == path.stat().st_size

    archive = kvg.TileArchiveReader(path)
    assert archive.header["min_zoom"] == 0 and archive.header["max_zoom"] == 1
    assert archive.header["bounds"] == pytest.approx((-180, -85.0511287, 180, 85.0511287))
    metadata = archive.metadata
    assert metadata["format"] == "kvg"
    assert (metadata["extent"], metadata["buffer"]) == (4096, 64)
    assert metadata["source"] == "test"
    assert metadata["vector_layers"][0]["fields"] == {"n": "Number"}

    # The tile's grid spans the tile and its buffer: 4096 + 2 * 64 units.
    tile = tmp_path / "tile.kvg"
    tile.write_bytes(archive.tile(1, 1, 0))
    xmin, xmax, ymin, ymax = kvg.tile_bounds(1, 1, 0)
    margin = (xmax - xmin) * 64 / 4096
    drawing = kvg.read(tile, units="world",
                       world=(xmin - margin, xmax + margin, ymin - margin, ymax + margin))
    assert drawing.header.grid == (4224.0, 4224.0)
    points = next(r.points for r in drawing.layers[0].records if r.kind == "polyline")
    assert np.abs(points - ZIGZAG).max() <= (xmax - xmin) / 4096
    assert archive.tile(2, 0, 0) is None

    check = subprocess.run([__import__("os").environ.get("KVG_TOOL", "kvg"), "check", str(path)],
                           capture_output=True, text=True, check=False)
    assert check.returncode == 0, check.stderr
    assert "valid archive, 5 tiles" in check.stdout


def test_identical_tiles_are_stored_once(tmp_path):
    with kvg.TileArchive(tmp_path / "sea.pmtiles", compress=False) as archive:
        for x in range(4):
            for y in range(4):
                with archive.tile(2, x, y) as f:
                    f.set_fill(True)
                    f.box(0, 0, 1, 1)  # the same tile in every place: grid units are the tile's
        summary = archive.close()
    assert summary["tile_contents"] == 1
    assert summary["tile_entries"] == 1
    assert kvg.TileArchiveReader(tmp_path / "sea.pmtiles").header["tile_compression"] == 1


def test_refusals_and_damage(tmp_path):
    path = tmp_path / "a.pmtiles"
    archive = kvg.TileArchive(path)
    archive.add_tile(0, 0, 0, b"\x1f\x8b not really")
    with pytest.raises(kvg.ParamError, match="0/0/0 is given twice"):
        archive.add_tile(0, 0, 0, b"KVG")
    with pytest.raises(kvg.ParamError, match="outside"):
        archive.add_tile(1, 2, 0, b"KVG")
    with pytest.raises(kvg.ParamError, match="outside"):
        archive.add_tile(-1, 0, 0, b"KVG")
    with pytest.raises(kvg.ParamError, match="repeats the member"):
        archive.close(extra={"format": "mvt"})
    archive.abandon()
    assert not path.exists()
    with pytest.raises(kvg.ContextError):
        archive.add_tile(0, 0, 0, b"KVG")

    write_pyramid(path)
    damaged = bytearray(path.read_bytes())
    damaged[8:16] = (10**9).to_bytes(8, "little")  # the root directory's offset
    path.write_bytes(bytes(damaged))
    with pytest.raises(kvg.ArchiveError, match="root directory .* beyond the end of the file"):
        kvg.TileArchiveReader(path)
    with pytest.raises(kvg.FileSystemError):
        kvg.TileArchiveReader(tmp_path / "missing.pmtiles")
