// The graphic state a reader holds after the records read so far, kept as the writer keeps its
// own mirror: reset at every layer record (the mark attributes excepted), carried from the
// definitions stream through shape definitions.
import {
  ColorSize, DEFAULT_BLEND_MODE, DEFAULT_DASHES, DEFAULT_FONT_SIZE, DEFAULT_LINE_WEIGHT,
  DEFAULT_PALETTE_LENGTH, DEFAULT_PALETTE_WHITE, DEFAULT_TEXT_ALIGNMENT, NO_SHAPE,
  PALETTE_CAPACITY,
} from './format.js';

/** @typedef {import('./payload.js').Color} Color */

export const FillMode = Object.freeze({ COLOR: 0, GRADIENT: 1, TEXTURE: 2, STRETCHED_TEXTURE: 3 });

const rgb = (value) => ({ value, size: ColorSize.RGB });

export class PaletteState {
  constructor() {
    this.colors = new Uint32Array(PALETTE_CAPACITY);
    this.colors[0] = DEFAULT_PALETTE_WHITE;
    this.length = DEFAULT_PALETTE_LENGTH;
    this.colorSize = ColorSize.RGB; // always a direct colour size
  }

  /** @returns {Color} */
  entry(index) { return { value: this.colors[index], size: this.colorSize }; }

  clone() {
    const copy = new PaletteState();
    copy.colors.set(this.colors);
    copy.length = this.length;
    copy.colorSize = this.colorSize;
    return copy;
  }
}

// The attribute colours (line, mark, fill, text) are direct colours: one set in an index colour
// size holds the palette entry it named, in the palette's colour size. The gradient colours are
// kept as written, with the colour size they were written in.
export class GraphicState {
  constructor(mark = { color: rgb(0), type: 0, size: 1 }) {
    this.blendMode = DEFAULT_BLEND_MODE;
    this.line = {
      color: rgb(0), dashes: DEFAULT_DASHES, joint: 0, begin: 0, end: 0,
      weight: DEFAULT_LINE_WEIGHT, // file units
    };
    this.mark = mark; // not reset by layer records
    this.fill = {
      mode: FillMode.COLOR,
      color: rgb(0),
      gradientP0: { x: 0, y: 0 },
      gradientC0: rgb(0),
      gradientP1: { x: 0, y: 0 },
      gradientC1: rgb(0),
      textureCorner: { x: 0, y: 0 },
      textureImage: 0,
      textureSize: { x: 0, y: 0 }, // extent of a stretched texture
    };
    this.imageStretchMode = 0;
    this.text = {
      color: rgb(0), typeface: 0, style: 0,
      size: DEFAULT_FONT_SIZE, // file units
      alignment: DEFAULT_TEXT_ALIGNMENT,
      direction: 0, // degrees
    };
    this.palette = new PaletteState();
    this.lastShape = NO_SHAPE; // for REPEAT_SHAPE
  }
}

/** @typedef {{point: number, relPoint: number, color: number}} Sizes */

export class StreamState {
  /** @param {Sizes} sizes */
  constructor(sizes) {
    this.sizes = sizes;
    this.graphic = new GraphicState();
  }
}
