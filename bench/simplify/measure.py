#!/usr/bin/python3
"""Distances and gaps of simplified countries against the original, for KVG and mapshaper.

    measure.py ORIGINAL.geojson ORIGINAL.kvg KVG_COMMAND (--kvg FILE.kvg | --geojson FILE.geojson)

ORIGINAL.kvg is the same source imported without simplification: its grid is the simplified
file's, so the countries' bounds in both give the mapping from the page back to degrees. Prints one JSON
object: the Hausdorff distance per country (the largest and the mean, in km along the equator),
the mean distance of the original vertices from the simplified borders (km), the overlap between
countries (area of the faces' sum less their union, square km) and the holes of their union
(count and square km: gaps between neighbours, and the holes the original has).
"""
import json
import math
import re
import subprocess
import sys

import numpy as np
from shapely.geometry import MultiPolygon, Polygon, shape
from shapely.ops import unary_union

KM_PER_DEGREE = 111.32


def dump(kvg, path):
    return subprocess.run([kvg, "dump", path], check=True, capture_output=True, text=True).stdout


def kvg_countries(kvg, path):
    """Per object name, its filled faces as polygons in grid steps; and the edges' extent."""
    edges, faces, countries = {}, {}, {}
    obj = None
    for line in dump(kvg, path).splitlines():
        if " set-edge " in line:
            eid = int(re.search(r"id=(\d+)", line).group(1))
            edges[eid] = [tuple(map(float, p.split(","))) for p in re.findall(r"@([-\d.e]+,[-\d.e]+)", line)]
        elif " set-face " in line:
            fid = int(re.search(r"id=(\d+)", line).group(1))
            refs = [int(v) for v in re.search(r"edges=\[([^\]]*)\]", line).group(1).split()]
            holes = [int(v) for v in re.search(r"holes=\[([^\]]*)\]", line).group(1).split()]
            faces[fid] = (refs, holes)
        elif " object name=" in line:
            obj = re.search(r'name="(.*)"', line).group(1)
        elif " fill-face " in line:
            countries.setdefault(obj, []).append(int(re.search(r"face=(\d+)", line).group(1)))

    def ring(refs):
        points = []
        for r in refs:
            e = edges[abs(r)] if r > 0 else edges[abs(r)][::-1]
            points.extend(e if not points else e[1:])
        return points

    def polygon(fid):
        refs, holes = faces[fid]
        return Polygon(ring(refs), [ring(faces[h][0]) for h in holes])

    every = [p for e in edges.values() for p in e]
    extent = (min(p[0] for p in every), min(p[1] for p in every), max(p[0] for p in every), max(p[1] for p in every))
    return {name: MultiPolygon([polygon(f) for f in fs]) for name, fs in countries.items()}, extent


def geojson_countries(path):
    result = {}
    for f in json.load(open(path))["features"]:
        if f["geometry"]:
            g = shape(f["geometry"])
            result[f["properties"]["name"]] = g if g.geom_type == "MultiPolygon" else MultiPolygon([g])
    return result


def transformed(geometry, fit):
    from shapely.affinity import affine_transform
    (sx, ox), (sy, oy) = fit
    return affine_transform(geometry, [sx, 0, 0, sy, ox, oy])


def boundary_points(geometry):
    for polygon in geometry.geoms:
        for ring in [polygon.exterior, *polygon.interiors]:
            yield from ring.coords


def distances_to(points, segments):
    """Each point's distance to the nearest of the segments (numpy arrays n×2 and m×4)."""
    a, d = segments[:, :2], segments[:, 2:] - segments[:, :2]
    length2 = np.maximum((d * d).sum(axis=1), 1e-30)
    result = []
    for chunk in np.array_split(points, max(1, len(points) * len(segments) // 4_000_000 + 1)):
        rel = chunk[:, None, :] - a[None, :, :]
        t = np.clip((rel * d[None, :, :]).sum(axis=2) / length2[None, :], 0, 1)
        off = rel - t[:, :, None] * d[None, :, :]
        result.append(np.sqrt((off * off).sum(axis=2)).min(axis=1))
    return np.concatenate(result)


def segments_of(geometry):
    rows = []
    for polygon in geometry.geoms:
        for ring in [polygon.exterior, *polygon.interiors]:
            c = np.asarray(ring.coords)
            rows.append(np.hstack([c[:-1], c[1:]]))
    return np.vstack(rows)


def measure(original, simplified):
    # The Hausdorff distance of a simplification is the farthest that an original vertex lies
    # from the simplified borders (the simplified vertices are original ones, and its segments
    # stay within that distance of the original line).
    hausdorff, distances = [], []
    for name, geometry in original.items():
        ours = simplified.get(name)
        if ours is None or ours.is_empty:
            continue
        d = distances_to(np.asarray(list(boundary_points(geometry))), segments_of(ours))
        hausdorff.append(float(d.max()))
        distances.extend(d.tolist())
    polygons = [g.buffer(0) if not g.is_valid else g for g in simplified.values()]
    union = unary_union(polygons)
    overlap = sum(g.area for g in simplified.values()) - union.area
    gaps = [Polygon(h) for p in getattr(union, "geoms", [union]) for h in p.interiors]
    invalid = sum(not g.is_valid for g in simplified.values())
    km = KM_PER_DEGREE
    hausdorff.sort()
    return {
        "hausdorff_max_km": round(max(hausdorff) * km, 2),
        "hausdorff_median_km": round(hausdorff[len(hausdorff) // 2] * km, 3),
        "hausdorff_mean_km": round(sum(hausdorff) / len(hausdorff) * km, 3),
        "mean_distance_km": round(sum(distances) / len(distances) * km, 4),
        "overlap_km2": round(overlap * km * km, 1),
        "gaps": len(gaps),
        "gap_km2": round(sum(g.area for g in gaps) * km * km, 1),
        "invalid_countries": invalid,
        "countries": len(simplified),
    }


def fit_of(original, unsimplified):
    """The page's mapping to degrees, from the countries' bounds before and after import (the
    import closes Antarctica at the pole, so that its bounds are left out)."""
    def line(pairs):
        n = len(pairs)
        mx, my = sum(p[0] for p in pairs) / n, sum(p[1] for p in pairs) / n
        slope = sum((p[0] - mx) * (p[1] - my) for p in pairs) / sum((p[0] - mx) ** 2 for p in pairs)
        return slope, my - slope * mx
    xs, ys = [], []
    for name, g in original.items():
        if name == "Antarctica" or name not in unsimplified:
            continue
        a, b = unsimplified[name].bounds, g.bounds
        xs += [(a[0], b[0]), (a[2], b[2])]
        ys += [(a[1], b[1]), (a[3], b[3])]
    return line(xs), line(ys)


def main():
    original_geojson, original_kvg, kvg, kind, path = sys.argv[1:6]
    original = geojson_countries(original_geojson)
    if kind == "--kvg":
        unsimplified, _ = kvg_countries(kvg, original_kvg)
        fit = fit_of(original, unsimplified)
        grid, _ = kvg_countries(kvg, path)
        simplified = {name: transformed(g, fit) for name, g in grid.items()}
    else:
        simplified = geojson_countries(path)
    print(json.dumps(measure(original, simplified)))


main()
