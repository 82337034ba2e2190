"""SM3-based MAC and key derivation, native (the implementation of kyber_alg.sm3)."""

from typing_extensions import Buffer

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
