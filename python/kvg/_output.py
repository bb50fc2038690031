"""What the writers of kvg share: a compiled handle completed by ``close()`` or dropped by
``abandon()``, and the ``with`` block that ends in one or the other."""

from __future__ import annotations

from typing import Any, TypeVar

_Self = TypeVar("_Self", bound="Output")


class Output:
    _w: Any  # the compiled handle: close(), abandon(), is_open

    def close(self) -> Any:
        raise NotImplementedError

    def abandon(self) -> None:
        """Releases the handle and drops what was written; ``path`` keeps what it held before."""
        self._w.abandon()

    @property
    def closed(self) -> bool:
        return not self._w.is_open

    def __enter__(self: _Self) -> _Self:
        return self

    def __exit__(self, exc_type, exc, traceback) -> None:
        if exc_type is not None:
            self.abandon()
        elif not self.closed:
            self.close()
