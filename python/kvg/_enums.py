"""The enumerations of the drawing interface, as IntEnums; plain ints are accepted too."""

from __future__ import annotations

from enum import IntEnum


class Primitive(IntEnum):
    """What :meth:`kvg.File.begin` starts."""

    POLYLINE = 0
    POLYGON = 1
    CUBIC = 2


class ColorMode(IntEnum):
    """Colour modes (colour sizes): how a colour value is laid out and written."""

    INDEX1 = 0  #: palette index 0 or 1
    INDEX8 = 1  #: palette index 0 to 255
    GRAY8 = 2
    GRAY12 = 3
    GRAY16 = 4
    GA = 5  #: 16-bit grey in the upper half, 16-bit alpha in the lower half
    RGB = 6  #: 0xRRGGBB
    RGBA = 7  #: 0xRRGGBBAA


class BlendMode(IntEnum):
    CLEAR = 0
    SOURCE = 1
    SOURCE_OVER_DEST = 2
    DEST_OVER_SOURCE = 3
    SOURCE_IN_DEST = 4
    DEST_IN_SOURCE = 5
    SOURCE_HELD_DEST = 6
    DEST_HELD_SOURCE = 7


class Joint(IntEnum):
    DEFAULT = 0
    MITER = 1
    ROUND = 2
    BEVEL = 3


class Arrow(IntEnum):
    """Decorations of a line's start and end."""

    NONE = 0
    ARROW = 1
    OPEN = 2
    STEALTH = 3
    DIAMOND = 4
    OVAL = 5


class MarkType(IntEnum):
    PLUS = 0
    STAR = 1
    CIRCLE = 2
    X = 3
    BOX = 4
    DIAMOND = 5
    HOLLOW_CIRCLE = 6
    HOLLOW_BOX = 7
    HOLLOW_DIAMOND = 8


class Stretch(IntEnum):
    """How images are stretched: nearest pixel or bilinear."""

    NEAREST = 0
    BILINEAR = 1


class Typeface(IntEnum):
    DEFAULT = 0
    MONOSPACED = 1
    SERIF = 2
    SANS_SERIF = 3


class FontStyle(IntEnum):
    PLAIN = 0
    BOLD = 1
    ITALIC = 2
    BOLD_ITALIC = 3


class TextAlign(IntEnum):
    """The point of a text that its position names."""

    NORTH = 0
    SOUTH = 1
    EAST = 2
    WEST = 3
    NORTHEAST = 4
    NORTHWEST = 5
    SOUTHEAST = 6
    SOUTHWEST = 7
    CENTER = 8
    BASELEFT = 9
    BASECENTER = 10
    BASERIGHT = 11
