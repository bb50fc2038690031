// Draws a TopoJSON object as d3-geo draws it, filled black on white, fitted to a picture of
// WIDTH x HEIGHT pixels: the reference that kvg import's pictures are compared with.
//
//   node draw.js TOPOLOGY OBJECT PROJECTION WIDTH HEIGHT [STROKE] > picture.svg
//
// STROKE: the outline's width in pixels, as the map being compared strokes its outlines (0:
// filled only).
// PROJECTION names one of the projections below, each as d3 sets up the CRS that kvg import is
// given in the tests: the central meridian as a rotation, a one-hemisphere projection clipped at
// its horizon. Equirectangular and Mercator are fitted to the extent the importer gives them:
// all longitudes, and the latitudes of the data within those Mercator shows (±85.0511°, the
// square of EPSG:3857); the others to the shapes as clipped.
import { readFileSync } from "node:fs";
import {
  geoBounds, geoConicEqualArea, geoEqualEarth, geoEquirectangular, geoMercator,
  geoOrthographic, geoPath, geoStereographic, geoTransverseMercator,
} from "d3-geo";
import { geoRobinson } from "d3-geo-projection";
import * as topojson from "topojson-client";

const [file, object, kind, width, height, stroke = "0"] = process.argv.slice(2);
const topology = JSON.parse(readFileSync(file, "utf8"));
const shapes = topojson.feature(topology, topology.objects[object]);
const size = [+width, +height];

const projections = {
  "equal-earth-150": () => geoEqualEarth().rotate([-150, 0]),        // EPSG:8859
  "robinson-150": () => geoRobinson().rotate([-150, 0]),             // +proj=robin +lon_0=150
  "orthographic": () => geoOrthographic().rotate([30, -40]).clipAngle(90),  // lat_0=40 lon_0=-30
  "stereographic-north": () => geoStereographic().rotate([45, -90]).clipAngle(90),  // EPSG:3413
  "stereographic-south": () => geoStereographic().rotate([0, 90]).clipAngle(90),    // EPSG:3031
  "transverse-mercator-20": () => geoTransverseMercator().rotate([-20, 0]),  // +proj=tmerc +lon_0=20
  "albers-usa": () => geoConicEqualArea().parallels([29.5, 45.5]).rotate([96, 0]),  // EPSG:5070
};

function fitted() {
  if (projections[kind]) return projections[kind]().fitSize(size, shapes);
  const [[, south], [, north]] = geoBounds(shapes);
  const limit = kind === "mercator" ? 85.0511287798 : 90;
  const extent = {
    type: "MultiPoint",
    coordinates: [[-180, Math.max(south, -limit)], [180, Math.min(north, limit)]],
  };
  return (kind === "mercator" ? geoMercator() : geoEquirectangular()).fitSize(size, extent);
}

const path = geoPath(fitted());
process.stdout.write(
  `<svg xmlns="http://www.w3.org/2000/svg" width="${width}" height="${height}">` +
    `<rect width="100%" height="100%" fill="#fff"/><path d="${path(shapes)}" fill="#000"` +
    (+stroke > 0 ? ` stroke="#000" stroke-width="${+stroke}" stroke-linejoin="round"` : "") + `/></svg>\n`);
