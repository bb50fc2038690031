"""The compiled writer with every argument it cannot take refused in plain words.

pybind11 refuses an argument of the wrong type with a TypeError that lists the C++ signature
and the call as Python prints it (``<kvg._kvg.Writer object at 0x...>`` included), and casts
arrays to doubles without a word, complex numbers included (the imaginary part dropped). Here
arrays must hold real numbers, and a refused call names the argument and what it must be.
"""

from __future__ import annotations

import re
from typing import Any, Dict, Sequence

import numpy as np

from ._errors import ErrorCode, ParamError

_PUBLIC = {"Writer": "File"}  # the names a caller used
_PARAMETER = re.compile(r"(\w+): ([\w.]+(?:\[[^\]]*\])?)")
_REAL_KINDS = "biuf"
#: The calls that take arrays of numbers.
_TAKES_ARRAYS = frozenset(("primitive", "vertices", "vertices_set_edge", "set_edge", "marks",
                           "stamp_shapes", "stamp_each", "set_image", "set_palette", "set_face"))


def _fits(value: Any, kind: str) -> bool:
    if kind == "int":
        return isinstance(value, (int, np.integer)) and not isinstance(value, bool)
    if kind == "float":
        return isinstance(value, (int, float, np.integer, np.floating))
    if kind == "str":
        return isinstance(value, str)
    if kind == "bool":
        return isinstance(value, (bool, np.bool_))
    return True  # arrays were checked before the call


_WORDS = {"int": "a whole number", "float": "a number", "str": "a string",
          "bool": "True or False"}


def _shown(value: Any) -> str:
    text = repr(value)
    return text if len(text) <= 40 else text[:37] + "..."


def plain_type_error(name: str, error: TypeError, args: Sequence[Any],
                     kwargs: Dict[str, Any]) -> Exception:
    """What a refused call of the compiled function ``name`` means, in plain words."""
    text = str(error)
    if "incompatible" not in text or "arguments" not in text:
        return error
    signature = text.split("1. ", 1)[-1].split("(", 1)[-1].split(")", 1)[0]
    parameters = [(p, kind) for p, kind in _PARAMETER.findall(signature) if p != "self"]
    values = dict(zip((p for p, _ in parameters), args))
    values.update(kwargs)
    for parameter, kind in parameters:
        if parameter in values and not _fits(values[parameter], kind):
            value = values[parameter]
            return TypeError(f"{name}: {parameter} must be {_WORDS.get(kind, kind)}, not "
                             f"{type(value).__name__} {_shown(value)}")
    # Every type fits: a whole number is beyond the range of its C type.
    numbers = [(p, int(values[p])) for p, kind in parameters if kind == "int" and p in values]
    suspects = [(p, v) for p, v in numbers if not 0 <= v <= 0xFFFF] or numbers
    given = ", ".join(f"{p}={v}" for p, v in suspects)
    return ParamError(ErrorCode.PARAM, f"{name}: {given} is beyond the range of the argument")


def _real(value: Any, name: str) -> Any:
    """An array argument as an array of real numbers; anything else as it is."""
    if not isinstance(value, (np.ndarray, list, tuple)):
        return value
    array = np.asarray(value)
    if array.dtype.kind not in _REAL_KINDS:
        what = {"c": "complex numbers", "U": "strings", "S": "bytes"}.get(
            array.dtype.kind, f"{array.dtype} values")
        raise TypeError(f"{name}: arrays must hold real numbers, not {what}")
    return array


class PlainWriter:
    """The compiled ``Writer``, each call of which checks its arrays and puts a refusal of
    its arguments in plain words."""

    def __init__(self, writer: Any) -> None:
        self._writer = writer

    def __getattr__(self, name: str) -> Any:
        method = getattr(self._writer, name)
        if not callable(method):
            return method  # a property, read each time

        checked = name in _TAKES_ARRAYS

        def call(*args: Any, **kwargs: Any) -> Any:
            if checked:
                args = tuple(_real(a, name) for a in args)
            try:
                return method(*args, **kwargs)
            except TypeError as error:
                raise plain_type_error(_PUBLIC.get(name, name), error, args, kwargs) from None

        self.__dict__[name] = call  # found directly from now on
        return call
