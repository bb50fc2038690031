"""The exceptions of kvg: one class per error code of the library, and FormatError."""

from __future__ import annotations

from enum import IntEnum


class ErrorCode(IntEnum):
    """The library's error codes (``KVG_ERROR_CODE``)."""

    NONE = 0
    SYSTEM = 1
    LIMITS = 2
    CONTEXT = 3
    PARAM = 4
    INTERNAL = 5


class Error(Exception):
    """A failure reported by the library: ``code`` (an :class:`ErrorCode`) and ``message``."""

    def __init__(self, code: int, message: str) -> None:
        super().__init__(message)
        self.code = ErrorCode(code)
        self.message = message


class FileSystemError(Error, OSError):
    """The system underneath failed: the file could not be created, written or completed."""


class LimitError(Error):
    """A value beyond a limit of the format or of the library."""


class ContextError(Error, RuntimeError):
    """A call not allowed in the current state of the drawing (or on a closed file)."""


class ParamError(Error, ValueError):
    """An invalid argument."""


class InternalError(Error):
    """An inconsistency inside the library."""


class OutOfMemoryError(Error, MemoryError):
    """Memory could not be had for what a file holds; lower limits make the reader refuse such
    a file before it tries."""


class FormatError(Error, ValueError):
    """A damaged or invalid KVG file; ``offset`` is the byte offset of the fault."""

    def __init__(self, offset: int, reason: str) -> None:
        super().__init__(ErrorCode.PARAM, f"offset {offset}: {reason}")
        self.offset = offset
        self.reason = reason


_BY_CODE = {
    ErrorCode.SYSTEM: FileSystemError,
    ErrorCode.LIMITS: LimitError,
    ErrorCode.CONTEXT: ContextError,
    ErrorCode.PARAM: ParamError,
    ErrorCode.INTERNAL: InternalError,
}


def from_code(code: int, message: str) -> Error:
    """The exception of the class that ``code`` names (the compiled module raises through it)."""
    return _BY_CODE.get(code, Error)(code, message)


# The reader's failures (KVGR_ERROR_CODE): the input unreadable, a damaged file or gzip stream,
# a limit reached, memory exhausted, a call out of order.
_READER_SYSTEM, _READER_FORMAT, _READER_COMPRESSION, _READER_LIMIT, _READER_MEMORY = 1, 2, 3, 4, 5


def from_reader(code: int, offset: int, reason: str, message: str) -> Exception:
    """The exception for a failure of the reader (the compiled module raises through it)."""
    if code in (_READER_FORMAT, _READER_COMPRESSION):
        return FormatError(offset, reason)
    if code == _READER_SYSTEM:
        return FileSystemError(ErrorCode.SYSTEM, message)
    if code == _READER_LIMIT:
        return LimitError(ErrorCode.LIMITS, message)
    if code == _READER_MEMORY:
        return OutOfMemoryError(ErrorCode.SYSTEM, message)
    return ContextError(ErrorCode.CONTEXT, message)


class ArchiveError(Error, ValueError):
    """A damaged or invalid tile archive, or one that a limit of the reader refuses to read."""


_ARCHIVE_USAGE = 6


def from_archive(code: int, message: str) -> Exception:
    """The exception for a failure of the tile archive library (same codes as the reader's)."""
    if code in (_READER_FORMAT, _READER_COMPRESSION):
        return ArchiveError(ErrorCode.PARAM, message)
    if code == _ARCHIVE_USAGE:
        return ParamError(ErrorCode.PARAM, message)
    return from_reader(code, 0, message, message)
