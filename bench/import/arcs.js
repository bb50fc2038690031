// Prints the arcs of a TopoJSON topology and the positions they hold: "ARCS POINTS".
const fs = require("fs");
const topology = JSON.parse(fs.readFileSync(process.argv[2], "utf8"));
const points = topology.arcs.reduce((sum, arc) => sum + arc.length, 0);
console.log(`${topology.arcs.length} ${points}`);
