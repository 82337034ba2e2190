"""SM3 hash (GB/T 32905-2016), native: a stand-in for pysmx.SM3."""

from collections.abc import Iterable
from typing import Self, final

from typing_extensions import Buffer

@final
class SM3:
    """SM3 hash object with the interface of hashlib's objects; str input raises TypeError."""

    def __new__(cls, msg: Buffer = b"") -> Self: ...
    def update(self, data: Buffer, /) -> None:
        """Add the bytes of data to the message."""
    def digest(self) -> bytes:
        """The 32-byte digest of the message so far; the object can still be updated."""
    def hexdigest(self) -> str:
        """The digest as 64 lower-case hexadecimal characters."""
    def copy(self) -> SM3:
        """An independent copy of this hash object."""
    @property
    def name(self) -> str:
        """``"sm3"``."""
    @property
    def digest_size(self) -> int:
        """32, the digest's length in bytes."""
    @property
    def block_size(self) -> int:
        """64, the length in bytes of the blocks SM3 compresses."""

SM3Type = SM3
"""Another name of :class:`SM3`."""

def hash_msg(msg: str | Buffer | Iterable[int], /) -> str:
    """Hexadecimal SM3 digest of msg (str is hashed as UTF-8), as pysmx.SM3.hash_msg returns it."""

# Code path selection, for tests and benchmarks; every path gives identical results.
def _backend() -> str: ...
def _available_backends() -> tuple[str, ...]: ...
def _set_backend(name: str, /) -> None: ...
