"""kvg: write and read KVG, a compact bit-packed file format for 2-D vector drawings.

Write with :class:`File`, read with :func:`read` or :func:`records`; ``import kvg.matplotlib``
adds the ``kvg`` format to matplotlib's ``savefig``. :class:`TileArchive` writes a pyramid of
KVG tiles into one PMTiles archive.
"""

from ._archive import TileArchive, TileArchiveReader, tile_bounds
from ._colors import (
    Color,
    color_value,
    decode_g8,
    decode_g12,
    decode_g16,
    decode_ga,
    decode_rgb,
    decode_rgba,
    encode_g8,
    encode_g12,
    encode_g16,
    encode_ga,
    encode_rgb,
    encode_rgba,
)
from ._enums import (
    Arrow,
    BlendMode,
    ColorMode,
    FontStyle,
    Joint,
    MarkType,
    Primitive,
    Stretch,
    TextAlign,
    Typeface,
)
from ._errors import (
    ArchiveError,
    ContextError,
    Error,
    ErrorCode,
    FileSystemError,
    FormatError,
    InternalError,
    LimitError,
    OutOfMemoryError,
    ParamError,
)
from ._file import File
from ._reader import (
    LIMITS,
    READ_LIMITS,
    Drawing,
    Face,
    Header,
    Image,
    Layer,
    Record,
    Shape,
    read,
    records,
)

__all__ = [
    "ArchiveError", "TileArchive", "TileArchiveReader", "tile_bounds",
    "Drawing", "Face", "Header", "Image", "Layer", "LIMITS", "READ_LIMITS", "Record", "Shape",
    "read", "records",
    "Arrow", "BlendMode", "Color", "ColorMode", "ContextError", "Error", "ErrorCode", "File",
    "FileSystemError", "FontStyle", "FormatError", "InternalError", "Joint", "LimitError",
    "MarkType", "OutOfMemoryError", "ParamError", "Primitive", "Stretch", "TextAlign",
    "Typeface", "color_value",
    "decode_g8", "decode_g12", "decode_g16", "decode_ga", "decode_rgb", "decode_rgba",
    "encode_g8", "encode_g12", "encode_g16", "encode_ga", "encode_rgb", "encode_rgba",
]
