"""ML-KEM-512 (FIPS 203) key encapsulation with hexadecimal key and ciphertext text."""

from typing import Final

from typing_extensions import Buffer

PARAMETER_SET: Final[str]
"""``"ML-KEM-512"``."""

def CCA_KeyGen() -> tuple[bytes, bytes]:
    """Fresh key pair ``(ek, dk)`` as lower-case hex ``bytes`` of 1600 and 3264 characters.

    Raises ``OSError`` if the operating system's random generator fails.
    """

def CCA_KeyGen_derand(d: Buffer, z: Buffer) -> tuple[bytes, bytes]:
    """Key pair ``(ek, dk)`` from the 32-byte seeds ``d`` and ``z`` (ML-KEM.KeyGen_internal).

    Raises ``TypeError`` if a seed is not bytes-like and ``ValueError`` if it is
    not 32 bytes long.
    """

def CCA_Enc(pk: str | Buffer, m: Buffer) -> tuple[bytes, bytes]:
    """``(c, K)``: hex ciphertext (1536 characters, ``bytes``) and 32-byte shared secret.

    ``pk`` is the encapsulation key as hex text (either case) and ``m`` the
    32 bytes of encapsulation randomness; the result is a function of both,
    so ``m`` must be fresh random bytes. Raises ``TypeError`` for other
    argument types and ``ValueError`` if ``pk`` is not 1600 hex digits, fails
    the modulus check, or ``m`` is not 32 bytes long.
    """

def CCA_Dec(c: str | Buffer, dk: str | Buffer) -> bytes:
    """The 32-byte shared secret for the hex ciphertext ``c`` and decapsulation key ``dk``.

    A ciphertext not made for ``dk`` gives a pseudo-random secret and no
    error (implicit rejection). Raises ``TypeError`` for other argument types
    and ``ValueError`` if ``c`` is not 1536 or ``dk`` not 3264 hex digits, or
    ``dk`` fails the hash check.
    """

def _backend() -> str:
    """The code path in use: ``"avx512"``, ``"avx2"`` or ``"portable"`` (for tests and benchmarks)."""

def _available_backends() -> tuple[str, ...]:
    """The code paths this build can use on this CPU."""

def _set_backend(name: str, /) -> None:
    """Switch the code path; results are identical on every path.

    Raises ``ValueError`` if the path is not available here.
    """
