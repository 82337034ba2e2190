"""Native part of kyber_alg.mlkem: ML-KEM-512/768/1024 keys (FIPS 203), held decoded.

Use the subclasses in ``kyber_alg.mlkem``, which add the PKCS#8 / SubjectPublicKeyInfo encodings.
"""

from typing import ClassVar, Self, TypeVar, type_check_only

from typing_extensions import Buffer, disjoint_base

_T = TypeVar("_T")

@type_check_only
class _PrivateKey:
    """What the three private-key types have in common (not a runtime class)."""

    @classmethod
    def generate(cls) -> Self:
        """A new key from 64 bytes of operating-system randomness (``OSError`` if that fails)."""
    @classmethod
    def from_seed_bytes(cls, data: Buffer) -> Self:
        """The key of the 64-byte seed ``d || z`` (ML-KEM.KeyGen_internal); ``ValueError`` for another length."""
    @classmethod
    def _from_expanded(cls, dk: Buffer, seed: Buffer | None, /) -> Self:
        """The key of a FIPS 203 decapsulation key (hash check of section 7.3, modulus check of its encapsulation
        key); ``seed``, if given, must give that same key. ``ValueError`` otherwise."""
    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret of a ciphertext (``ValueError`` for a wrong length); a ciphertext not made
        for this key gives an unrelated secret (implicit rejection)."""
    def private_bytes_raw(self) -> bytes:
        """The 64-byte seed ``d || z``; ``ValueError`` for a key read from its expanded form alone."""
    def _has_seed(self) -> bool:
        """Whether the seed is known."""
    def _expanded_bytes(self) -> bytes:
        """The FIPS 203 decapsulation key ``dk_pke || ek || H(ek) || z``."""
    def _public_key(self, cls: type[_T], /) -> _T:
        """The public key, as an object of ``cls`` (the set's public-key type or a subclass; else ``TypeError``)."""

@type_check_only
class _PublicKey:
    """What the three public-key types have in common (not a runtime class)."""

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """The key of ``ek``; ``ValueError`` for another length or a failed modulus check (FIPS 203 section 7.2)."""
    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)`` from fresh operating-system randomness."""
    def _encapsulate_deterministic(self, m: Buffer, /) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)`` for the 32-byte ``m`` (ML-KEM.Encaps_internal, for known-answer tests)."""
    def public_bytes_raw(self) -> bytes:
        """The encapsulation key ``ek``."""
    def __eq__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@disjoint_base
class MLKEM512PublicKey(_PublicKey):
    """An ML-KEM-512 public key: the 800-byte encapsulation key; ciphertexts of 768 bytes."""

@disjoint_base
class MLKEM512PrivateKey(_PrivateKey):
    """An ML-KEM-512 private key: the 1632-byte decapsulation key, and the seed it was made from when known."""

@disjoint_base
class MLKEM768PublicKey(_PublicKey):
    """An ML-KEM-768 public key: the 1184-byte encapsulation key; ciphertexts of 1088 bytes."""

@disjoint_base
class MLKEM768PrivateKey(_PrivateKey):
    """An ML-KEM-768 private key: the 2400-byte decapsulation key, and the seed it was made from when known."""

@disjoint_base
class MLKEM1024PublicKey(_PublicKey):
    """An ML-KEM-1024 public key: the 1568-byte encapsulation key; ciphertexts of 1568 bytes."""

@disjoint_base
class MLKEM1024PrivateKey(_PrivateKey):
    """An ML-KEM-1024 private key: the 3168-byte decapsulation key, and the seed it was made from when known."""

def _backend() -> str:
    """The code path in use: ``"avx512"``, ``"avx2"`` or ``"portable"`` (for tests and benchmarks)."""

def _available_backends() -> tuple[str, ...]:
    """The code paths this build can use on this CPU."""

def _set_backend(name: str, /) -> None:
    """Switch the code path (shared with ``kyber_alg.Kyber``); results are identical on every path.

    Raises ``ValueError`` if the path is not available here.
    """
