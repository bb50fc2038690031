// A strict decoder of KVG files. It walks the (decompressed) bytes record by record; each call
// of next() yields one record: its code and name, byte offset and length, the section it lies
// in, and its decoded arguments (`args`). After each record `state` is what a renderer needs at
// that point: the encoding sizes in force, the palette and every graphic attribute.
// Definitions (edges, faces, images, shapes) are numbered by their order of appearance, edges
// from 1 and the others from 0, and collected in `definitions`.
//
// Validation is strict: the first fault (unknown code, truncated record, non-zero padding bits,
// an invalid size, colour or enumerated value, a use of an undefined edge, face, shape or image,
// an unbalanced or misplaced shape definition, a record outside its section, a bad header) stops
// the decoder, and `error` gives the byte offset of the faulty record and the reason. So does
// a limit reached (LIMITS: the C reader's, with its defaults); nothing else is thrown.
import { Cursor, Fault, invalid } from './cursor.js';
import { Code, LIMITS, isIndexColorSize, recordName } from './format.js';
import { PageMapping, readHeader } from './header.js';
import { Context, decodePayload } from './payload.js';
import { FillMode, GraphicState, StreamState } from './state.js';

/**
 * @typedef {{
 *   code: number, name: string, offset: number, length: number,
 *   section: 'definitions'|'layers', shape: number|undefined, definition: number|undefined,
 *   args: any,
 * }} KvgRecord
 * @typedef {{offset: number, reason: string}} DecodeError
 */

const isSizeRecord = (code) => code >= Code.POINT_SIZE_FIRST && code <= Code.COLOR_SIZE;

const isDefinition = (code) => code === Code.SET_EDGE || code === Code.SET_FACE ||
  code === Code.SET_IMAGE || code === Code.BEGIN_SET_SHAPE || code === Code.END_SET_SHAPE;

// What the writer refuses while a shape is being defined.
const REFUSED_IN_SHAPE = new Set([Code.LAYER, Code.OBJECT, Code.SHAPE, Code.STAMP_SHAPE,
  Code.REPEAT_SHAPE, Code.SET_IMAGE, Code.SET_EDGE, Code.SET_FACE]);

// Outside shapes the definitions section holds definitions and what they need: the point sizes
// of their points, the colour size and palette of images.
const isDefinitionsTopLevel = (code) => isSizeRecord(code) || code === Code.PALETTE ||
  (isDefinition(code) && code !== Code.END_SET_SHAPE);

/** "offset N: reason". @param {DecodeError} error */
export const errorMessage = (error) => `offset ${error.offset}: ${error.reason}`;

export class Definitions {
  constructor() {
    /** @type {any[]} edge n is edges[n - 1] */
    this.edges = [];
    /** @type {any[]} */
    this.faces = [];
    /** @type {any[]} */
    this.images = [];
    /** @type {{corner: {x: number, y: number}, offset: number, complete: boolean}[]} */
    this.shapes = [];
  }

  /** The edge named by a signed reference (the sign gives the direction), or undefined. */
  edge(reference) {
    const id = Math.abs(reference);
    return id >= 1 && id <= this.edges.length ? this.edges[id - 1] : undefined;
  }
}

// Points each kind of record carries, as the points limit counts them (angles not counted).
const FIXED_POINTS = new Map([
  [Code.DRAW_ARC, 2], [Code.FILL_ARC, 2], [Code.SHAPE, 2], [Code.IMAGE, 4], [Code.LINE, 2],
  [Code.DRAW_BOX, 2], [Code.FILL_BOX, 2], [Code.DRAW_ELLIPSE, 2], [Code.FILL_ELLIPSE, 2],
  [Code.FULL_IMAGE, 2], [Code.GRADIENT_FILL, 2], [Code.STRETCHED_TEXTURE_FILL, 2],
  [Code.TEXT, 1], [Code.MARK, 1], [Code.DRAW_CIRCLE, 1], [Code.FILL_CIRCLE, 1],
  [Code.STAMP_SHAPE, 1], [Code.REPEAT_SHAPE, 1], [Code.TEXTURE_FILL, 1],
  [Code.BEGIN_SET_SHAPE, 1],
]);

/** @param {KvgRecord} record */
const pointCount = (record) => (record.args.steps !== undefined ? 1 + record.args.steps.length / 2
  : FIXED_POINTS.get(record.code) ?? 0);

/** A failure that is not the file's (memory refused, above all) as a fault of the record. */
const asFault = (e) => (e instanceof Fault ? e : new Fault(e instanceof RangeError
  ? `out of memory (${e.message})` : `cannot decode: ${e?.message ?? e}`));

export class Decoder {
  /**
   * Reads the header at once; a bad header is reported by `error`.
   * @param {Uint8Array} bytes the decompressed content of a file
   * @param {typeof LIMITS} [limits] what decoding may spend, as the C reader's limits
   */
  constructor(bytes, limits = LIMITS) {
    this.bytes = bytes;
    this.limits = { ...LIMITS, ...limits };
    this.points = 0; // decoded so far, in the whole file
    this.depth = 0; // objects open
    this.position = 0;
    /** @type {DecodeError|undefined} */
    this.error = undefined;
    this.done = false;
    this.definitions = new Definitions();
    /** Offset of the layer section (just past the closing size records), once reached. */
    this.layerSection = undefined;
    /** @type {number|undefined} */
    this.openShape = undefined;
    this.closingRun = 0; // how many of the three closing size records were just read
    /** @type {{offset: number, code: number, face: boolean, id: number}[]} */
    this.pending = [];
    this.cursor = new Cursor(bytes, 0);
    this.header = undefined;
    if (bytes.length > this.limits.contentBytes) {
      this.stop({ offset: this.limits.contentBytes,
        reason: `content beyond the limit of ${this.limits.contentBytes} bytes` });
      return;
    }
    if (bytes.length === 0) {
      this.stop({ offset: 0, reason: 'empty file' });
      return;
    }
    try {
      this.header = readHeader(this.cursor);
    } catch (e) {
      const fault = asFault(e);
      this.stop({ offset: fault.offset ?? 0, reason: `header: ${fault.reason}` });
      return;
    }
    this.page = new PageMapping(this.header);
    this.position = this.header.length;
    /** The sizes and graphic state in force after the last record returned. */
    this.state = new StreamState(
      { point: this.header.pointSize, relPoint: this.header.relPointSize, color: 6 });
    this.context = new Context(this.cursor, this.state, this.limits);
    /** The sizes every layer starts with, as the closing size records announce them. */
    this.layerSizes = { ...this.state.sizes };
  }

  /**
   * The next record, or undefined at the end of the file (`error` unset) or at the first fault
   * (`error` set); the decoder then stays there.
   * @returns {KvgRecord|undefined}
   */
  next() {
    if (this.done) return undefined;
    const offset = this.position;
    let name;
    try {
      if (offset === this.bytes.length) {
        this.done = true;
        this.finish();
        return undefined;
      }
      const cursor = this.cursor;
      cursor.reset(offset);
      const code = cursor.byte();
      name = recordName(code);
      if (name === undefined) invalid(`unknown record code ${code}`);
      this.checkPlacement(code);
      /** @type {KvgRecord} */
      const record = {
        code, name, offset, length: 0,
        section: this.layerSection !== undefined ? 'layers' : 'definitions',
        shape: this.openShape,
        definition: undefined,
        args: decodePayload(this.context, code),
      };
      cursor.align();
      record.length = cursor.end() - offset;
      this.checkUses(record);
      this.apply(record);
      this.spend(pointCount(record));
      this.position = cursor.end();
      return record;
    } catch (e) {
      const fault = asFault(e);
      const prefixed = name !== undefined && fault.offset === undefined;
      this.stop({ offset: fault.offset ?? offset, reason: prefixed ? `${name}: ${fault.reason}` : fault.reason });
      return undefined;
    }
  }

  /** @param {DecodeError} error */
  stop(error) {
    this.error = error;
    this.done = true;
  }

  spend(points) {
    if (this.points + points > this.limits.points) invalid(`more than ${this.limits.points} points`);
    this.points += points;
  }

  // An object with a name opens inside the current one; an empty name ends the current one
  // (the writer keeps no count of open objects, so an end at depth 0 ends nothing).
  changeDepth(name) {
    if (name === '') {
      if (this.depth > 0) --this.depth;
      return;
    }
    if (this.depth + 1 > this.limits.depth) invalid(`objects nested deeper than ${this.limits.depth}`);
    ++this.depth;
  }

  checkPlacement(code) {
    if (this.openShape !== undefined) {
      if (code === Code.BEGIN_SET_SHAPE) invalid('nested shape definition');
      if (REFUSED_IN_SHAPE.has(code)) invalid('not allowed inside a shape definition');
      return;
    }
    if (code === Code.END_SET_SHAPE) invalid('no shape definition to end');
    if (this.layerSection !== undefined) {
      if (isDefinition(code)) invalid('definition in the layer section');
    } else if (!isDefinitionsTopLevel(code)) {
      invalid('not allowed outside a shape in the definitions section');
    }
  }

  /**
   * Uses of shapes and images must follow their definitions. Uses of edges and faces made in
   * the definitions section are checked once all definitions are known: the writer hands out
   * identifiers when a definition begins and writes its record when it ends, so a face may name
   * an edge whose record follows it.
   * @param {KvgRecord} record
   */
  checkUses(record) {
    const a = record.args;
    const d = this.definitions;
    const use = (face, id) => {
      const u = { offset: record.offset, code: record.code, face, id };
      if (this.layerSection !== undefined) this.checkUse(u);
      else this.pending.push(u);
    };
    switch (record.code) {
      case Code.SHAPE:
      case Code.STAMP_SHAPE:
      case Code.REPEAT_SHAPE:
        if (a.shape >= d.shapes.length) invalid(`undefined shape ${a.shape}`);
        break;
      case Code.IMAGE:
      case Code.FULL_IMAGE:
      case Code.TEXTURE_FILL:
      case Code.STRETCHED_TEXTURE_FILL:
        if (a.image >= d.images.length) invalid(`undefined image ${a.image}`);
        break;
      case Code.DRAW_EDGE: use(false, a.edge); break;
      case Code.DRAW_EDGE_RANGE:
        use(false, a.first);
        use(false, a.last);
        break;
      case Code.FILL_FACE: use(true, a.face); break;
      case Code.SET_FACE:
        for (const edge of a.edges) use(false, edge);
        for (const hole of a.holes) {
          if (hole >= d.faces.length) invalid(`hole ${hole} is not an earlier face`);
        }
        break;
      default: break;
    }
  }

  checkUse(use) {
    const defined = use.face ? use.id < this.definitions.faces.length
      : this.definitions.edge(use.id) !== undefined;
    if (defined) return;
    const reason = `${use.face ? 'undefined face' : 'undefined edge'} ${use.id}`;
    throw new Fault(`${recordName(use.code)}: ${reason}`, use.offset);
  }

  /** @param {KvgRecord} record */
  apply(record) {
    const { code, args } = record;
    const state = this.state;
    const d = this.definitions;
    if (code >= Code.POINT_SIZE_FIRST && code <= Code.POINT_SIZE_LAST) {
      state.sizes.point = args.size;
    } else if (code >= Code.REL_POINT_SIZE_FIRST && code <= Code.REL_POINT_SIZE_LAST) {
      state.sizes.relPoint = args.size;
    } else if (code === Code.COLOR_SIZE) {
      state.sizes.color = args.size;
    } else if (code === Code.LAYER) {
      // Every layer starts from the defaults, the mark attributes excepted.
      state.graphic = new GraphicState(state.graphic.mark);
      state.sizes = { ...this.layerSizes };
      this.depth = 0;
    } else if (code === Code.OBJECT) {
      this.changeDepth(args.name);
    } else if (code === Code.SHAPE || code === Code.STAMP_SHAPE) {
      state.graphic.lastShape = args.shape;
    } else if (code === Code.SET_EDGE) {
      d.edges.push(args);
      record.definition = d.edges.length;
    } else if (code === Code.SET_FACE) {
      record.definition = d.faces.length;
      d.faces.push(args);
    } else if (code === Code.SET_IMAGE) {
      record.definition = d.images.length;
      d.images.push(args);
    } else if (code === Code.BEGIN_SET_SHAPE) {
      const id = d.shapes.length;
      d.shapes.push({ corner: args.corner, offset: record.offset, complete: false });
      record.definition = id;
      record.shape = id;
      this.openShape = id;
    } else if (code === Code.END_SET_SHAPE) {
      d.shapes[/** @type {number} */ (this.openShape)].complete = true;
      this.openShape = undefined;
    } else {
      this.applyAttribute(record);
    }
    if (this.openShape === undefined && this.layerSection === undefined) {
      this.countClosingRecord(code, record.offset + record.length);
    }
  }

  /**
   * The mirror of the graphic state: attribute colours set in an index colour size hold the
   * palette entry they name.
   * @param {KvgRecord} record
   */
  applyAttribute(record) {
    const g = this.state.graphic;
    const a = record.args;
    const direct = (c) => (isIndexColorSize(c.size) ? g.palette.entry(c.value) : c);
    switch (record.code) {
      case Code.BLEND_MODE: g.blendMode = a.value; break;
      case Code.IMAGE_STRETCH_MODE: g.imageStretchMode = a.value; break;
      case Code.LINE_COLOR: g.line = { ...g.line, color: direct(a.color) }; break;
      case Code.MARK_COLOR: g.mark = { ...g.mark, color: direct(a.color) }; break;
      case Code.TEXT_COLOR: g.text = { ...g.text, color: direct(a.color) }; break;
      case Code.FILL_COLOR:
        g.fill = { ...g.fill, mode: FillMode.COLOR, color: direct(a.color) };
        break;
      case Code.LINE_DASHES: g.line = { ...g.line, dashes: a.pattern }; break;
      case Code.LINE_STYLE:
        g.line = { ...g.line, joint: a.joint, begin: a.begin, end: a.end, weight: a.weight };
        break;
      case Code.MARK_STYLE: g.mark = { ...g.mark, type: a.type, size: a.size }; break;
      case Code.GRADIENT_FILL:
        g.fill = {
          ...g.fill, mode: FillMode.GRADIENT,
          gradientP0: a.p0, gradientC0: a.c0, gradientP1: a.p1, gradientC1: a.c1,
        };
        break;
      case Code.TEXTURE_FILL:
        g.fill = { ...g.fill, mode: FillMode.TEXTURE, textureCorner: a.corner, textureImage: a.image };
        break;
      case Code.STRETCHED_TEXTURE_FILL:
        g.fill = {
          ...g.fill, mode: FillMode.STRETCHED_TEXTURE,
          textureCorner: a.corner, textureSize: a.size, textureImage: a.image,
        };
        break;
      case Code.FONT:
        g.text = { ...g.text, typeface: a.typeface, style: a.style, size: a.size };
        break;
      case Code.TEXT_ALIGNMENT:
        g.text = { ...g.text, alignment: a.alignment, direction: a.direction.degrees };
        break;
      case Code.PALETTE: {
        // In an index colour size the new palette is built from entries of the old one.
        const next = g.palette.clone();
        a.entries.forEach((entry, i) => { next.colors[i] = direct(entry).value; });
        next.length = a.entries.length;
        if (!isIndexColorSize(this.state.sizes.color)) next.colorSize = this.state.sizes.color;
        g.palette = next;
        break;
      }
      default: break; // drawing records leave the graphic state as it is
    }
  }

  // The definitions section ends with three size records: colour size, point size, relative
  // point size. Outside shapes nothing else in that section puts them in this order.
  countClosingRecord(code, end) {
    if (code === Code.COLOR_SIZE) {
      this.closingRun = 1;
    } else if (this.closingRun === 1 && code >= Code.POINT_SIZE_FIRST && code <= Code.POINT_SIZE_LAST) {
      this.closingRun = 2;
    } else if (this.closingRun === 2 && code >= Code.REL_POINT_SIZE_FIRST &&
      code <= Code.REL_POINT_SIZE_LAST) {
      this.enterLayerSection(end);
    } else {
      this.closingRun = 0;
    }
  }

  // The layer stream starts fresh: default graphic state, the sizes just announced.
  enterLayerSection(offset) {
    this.layerSection = offset;
    this.layerSizes = { ...this.state.sizes };
    this.state.graphic = new GraphicState();
    for (const use of this.pending) this.checkUse(use);
    this.pending = [];
  }

  finish() {
    if (this.openShape !== undefined) {
      throw new Fault('shape definition not ended', this.definitions.shapes[this.openShape].offset);
    }
    if (this.layerSection === undefined) throw new Fault('missing closing size records', this.bytes.length);
  }
}

/**
 * Decodes a whole file: its header, every record up to the first fault, and that fault.
 * @param {Uint8Array} bytes the decompressed content
 * @param {typeof LIMITS} [limits]
 */
export function decode(bytes, limits = LIMITS) {
  const decoder = new Decoder(bytes, limits);
  /** @type {KvgRecord[]} */
  const records = [];
  for (let r = decoder.next(); r !== undefined; r = decoder.next()) records.push(r);
  return {
    header: decoder.header, page: decoder.page, records, error: decoder.error,
    definitions: decoder.definitions,
  };
}
