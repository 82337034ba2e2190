"""SM3-based MAC and key derivation, native (the implementation of kyber_alg.sm3)."""

from typing import final

from typing_extensions import Buffer

from kyber_alg.sm.SM3 import SM3

def sm3(data: Buffer = b"", *, usedforsecurity: bool = True) -> SM3:
    """A new SM3 hash object that has absorbed data, as hashlib.sha256(data) would be; usedforsecurity is
    accepted for hashlib's signature and changes nothing."""

@final
class HMAC:
    """HMAC-SM3 object with the interface of hmac.HMAC: keyed once, then copy() per message."""

    def __new__(cls, key: Buffer, msg: Buffer | None = None) -> HMAC: ...
    def update(self, msg: Buffer, /) -> None:
        """Add the bytes of msg to the message."""
    def digest(self) -> bytes:
        """The 32-byte HMAC of the message so far; the object can still be updated."""
    def hexdigest(self) -> str:
        """The HMAC as 64 lower-case hexadecimal characters."""
    def copy(self) -> HMAC:
        """An independent copy: the key is not processed again."""
    @property
    def name(self) -> str:
        """``"hmac-sm3"``."""
    @property
    def digest_size(self) -> int:
        """32, the size of an SM3 digest."""
    @property
    def block_size(self) -> int:
        """64, the size of an SM3 block."""

def hmac_sm3(key: Buffer, msg: Buffer) -> bytes:
    """HMAC-SM3 of msg under key: 32 bytes."""

def pbkdf2_hmac_sm3(password: Buffer, salt: Buffer, iterations: int, dklen: int | None = None) -> bytes:
    """PBKDF2 with HMAC-SM3: dklen bytes (32 if None)."""

def hkdf_sm3(ikm: Buffer, salt: Buffer | None, info: Buffer | None, length: int) -> bytes:
    """HKDF with HMAC-SM3: length bytes (1 to 8160)."""

def hkdf_sm3_extract(salt: Buffer | None, ikm: Buffer) -> bytes:
    """HKDF-Extract with HMAC-SM3: the 32-byte PRK."""

def hkdf_sm3_expand(prk: Buffer, info: Buffer | None, length: int) -> bytes:
    """HKDF-Expand with HMAC-SM3: length bytes (1 to 8160) from a PRK of at least 32 bytes."""

def kdf(z: Buffer, klen: int) -> bytes:
    """The key derivation function of GB/T 32918.4 with SM3: klen bytes from z."""

# Code path selection, for tests and benchmarks; every path gives identical results.
def _backend() -> str: ...
def _available_backends() -> tuple[str, ...]: ...
def _set_backend(name: str, /) -> None: ...
