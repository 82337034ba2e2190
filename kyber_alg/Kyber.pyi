"""ML-KEM-512 (FIPS 203) key encapsulation with hexadecimal key and ciphertext text."""

from typing import Final

from typing_extensions import Buffer

PARAMETER_SET: Final[str]

def CCA_KeyGen() -> tuple[bytes, bytes]:
    """Fresh key pair (ek, dk) as lower-case hex bytes of 1600 and 3264 characters.

    Raises OSError if the operating system's random generator fails.
    """

def CCA_KeyGen_derand(d: Buffer, z: Buffer) -> tuple[bytes, bytes]:
    """Key pair from the 32-byte seeds d and z (ML-KEM.KeyGen_internal)."""

def CCA_Enc(pk: str | Buffer, m: Buffer) -> tuple[bytes, bytes]:
    """(c, K): hex ciphertext (1536 characters) and 32-byte shared secret from pk and the 32-byte randomness m."""

def CCA_Dec(c: str | Buffer, dk: str | Buffer) -> bytes:
    """32-byte shared secret; a ciphertext not made for dk gives a pseudo-random secret (implicit rejection)."""

# Code path selection, for tests and benchmarks; both paths give identical results.
def _backend() -> str: ...
def _available_backends() -> tuple[str, ...]: ...
def _set_backend(name: str, /) -> None: ...
