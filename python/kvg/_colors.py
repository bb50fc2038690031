"""Colour values: ``0x...`` ints in the current colour mode, or ``"#rrggbb"`` strings."""

from __future__ import annotations

from typing import Union

import numpy as np

from . import _kvg
from ._enums import ColorMode
from ._errors import ErrorCode, ParamError

Color = Union[int, str]

encode_rgb = _kvg.encode_rgb
encode_rgba = _kvg.encode_rgba
encode_ga = _kvg.encode_ga
encode_g8 = _kvg.encode_g8
encode_g12 = _kvg.encode_g12
encode_g16 = _kvg.encode_g16
decode_rgb = _kvg.decode_rgb
decode_rgba = _kvg.decode_rgba
decode_ga = _kvg.decode_ga
decode_g8 = _kvg.decode_g8
decode_g12 = _kvg.decode_g12
decode_g16 = _kvg.decode_g16


def _hex_digits(text: str) -> int:
    digits = text[1:]
    if not text.startswith("#") or len(digits) not in (6, 8):
        raise ParamError(ErrorCode.PARAM, f"colour {text!r} is not '#rrggbb' or '#rrggbbaa'")
    try:
        return int(digits, 16)
    except ValueError:
        raise ParamError(ErrorCode.PARAM, f"colour {text!r} is not hexadecimal") from None


def color_value(color: Color, mode: int = ColorMode.RGB) -> int:
    """The value of ``color`` in colour mode ``mode``.

    An int is taken as the mode's own value. A string ``"#rrggbb"`` is an RGB colour, opaque in
    the RGBA mode; ``"#rrggbbaa"`` carries alpha and needs the RGBA mode.
    """
    if isinstance(color, str):
        value = _hex_digits(color)
        has_alpha = len(color) == 9
        if mode == ColorMode.RGBA:
            return value if has_alpha else value << 8 | 0xFF
        if mode == ColorMode.RGB and not has_alpha:
            return value
        raise ParamError(
            ErrorCode.PARAM,
            f"colour {color!r} needs the {'RGBA' if has_alpha else 'RGB or RGBA'} colour mode",
        )
    if isinstance(color, bool) or not isinstance(color, (int, np.integer)):
        raise TypeError(f"a colour is an int such as 0xRRGGBB or a string '#rrggbb', not "
                        f"{type(color).__name__} {color!r}")
    value = int(color)
    name, largest = _MODE_RANGES.get(mode, (None, 0xFFFFFFFF))
    if not 0 <= value <= largest:
        hint = "; 0xRRGGBBAA needs the RGBA colour mode" if mode == ColorMode.RGB else ""
        raise ParamError(ErrorCode.PARAM, f"colour {value:#x} does not fit the {name} colour "
                         f"mode, whose values run from 0 to {largest:#x}{hint}")
    return value


#: The name and the largest value of each colour mode.
_MODE_RANGES = {
    ColorMode.INDEX1: ("INDEX1", 1), ColorMode.INDEX8: ("INDEX8", 0xFF),
    ColorMode.GRAY8: ("GRAY8", 0xFF), ColorMode.GRAY12: ("GRAY12", 0xFFF),
    ColorMode.GRAY16: ("GRAY16", 0xFFFF), ColorMode.GA: ("GA", 0xFFFFFFFF),
    ColorMode.RGB: ("RGB", 0xFFFFFF), ColorMode.RGBA: ("RGBA", 0xFFFFFFFF),
}
