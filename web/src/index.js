// The KVG web client: a strict decoder of KVG files and a Canvas 2D renderer.
export { Decoder, Definitions, decode, errorMessage } from './decoder.js';
export { PageMapping } from './header.js';
export { plainBytes, isGzip } from './load.js';
export { Code, ColorSize, LIMITS, recordName } from './format.js';
export { Fault } from './cursor.js';
export { FillMode } from './state.js';
export { PAGE_LIMITS, buildScene } from './scene.js';
export { Painter, fitView } from './draw.js';
export { TileArchive, TILE_PIXELS, isArchive, tilePageView, visibleTiles } from './tiles.js';
