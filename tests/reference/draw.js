// Draws a TopoJSON object as d3-geo draws it, filled black on white, fitted to a picture of
// WIDTH x HEIGHT pixels: the reference that kvg import's pictures are compared with.
//
//   node draw.js TOPOLOGY OBJECT equirectangular|mercator WIDTH HEIGHT > picture.svg
//
// The map is fitted to the extent the importer gives it: all longitudes, and the latitudes of
// the data, within those Mercator shows (±85.0511°, the square of EPSG:3857).
import { readFileSync } from "node:fs";
import { geoBounds, geoEquirectangular, geoMercator, geoPath } from "d3-geo";
import * as topojson from "topojson-client";

const [file, object, kind, width, height] = process.argv.slice(2);
const topology = JSON.parse(readFileSync(file, "utf8"));
const shapes = topojson.feature(topology, topology.objects[object]);
const [[, south], [, north]] = geoBounds(shapes);
const limit = kind === "mercator" ? 85.0511287798 : 90;
const extent = {
  type: "MultiPoint",
  coordinates: [[-180, Math.max(south, -limit)], [180, Math.min(north, limit)]],
};
const projection = (kind === "mercator" ? geoMercator() : geoEquirectangular())
  .fitSize([+width, +height], extent);
const path = geoPath(projection);
process.stdout.write(
  `<svg xmlns="http://www.w3.org/2000/svg" width="${width}" height="${height}">` +
    `<rect width="100%" height="100%" fill="#fff"/><path d="${path(shapes)}" fill="#000"/></svg>\n`);
