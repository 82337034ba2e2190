"""Native part of kyber_alg.mlkem: ML-KEM-512/768/1024 keys (FIPS 203), held decoded.

Use the subclasses in ``kyber_alg.mlkem``, which add the PKCS#8 / SubjectPublicKeyInfo encodings.
"""

from typing import ClassVar, TypeVar

from typing_extensions import Buffer, Self, disjoint_base

_Public512T = TypeVar("_Public512T", bound=MLKEM512PublicKey)

@disjoint_base
class MLKEM512PrivateKey:
    """An ML-KEM-512 private key: the decapsulation key, and the seed it was made from when known."""

    @classmethod
    def generate(cls) -> Self:
        """A new key from 64 bytes of operating-system randomness (``OSError`` if that fails)."""
    @classmethod
    def from_seed_bytes(cls, data: Buffer) -> Self:
        """The key of the 64-byte seed ``d || z`` (ML-KEM.KeyGen_internal); ``ValueError`` for another length."""
    @classmethod
    def _from_expanded(cls, dk: Buffer, seed: Buffer | None, /) -> Self:
        """The key of the 1632-byte FIPS 203 decapsulation key (hash check of section 7.3, modulus check of its
        encapsulation key); ``seed``, if given, must give that same key. ``ValueError`` otherwise."""
    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret of a 768-byte ciphertext (``ValueError`` for another length); a ciphertext
        not made for this key gives an unrelated secret (implicit rejection)."""
    def private_bytes_raw(self) -> bytes:
        """The 64-byte seed ``d || z``; ``ValueError`` for a key read from its expanded form alone."""
    def _has_seed(self) -> bool:
        """Whether the seed is known."""
    def _expanded_bytes(self) -> bytes:
        """The 1632-byte FIPS 203 decapsulation key ``dk_pke || ek || H(ek) || z``."""
    def _public_key(self, cls: type[_Public512T], /) -> _Public512T:
        """The public key, as an object of ``cls``."""

@disjoint_base
class MLKEM512PublicKey:
    """An ML-KEM-512 public key: the 800-byte encapsulation key."""

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """The key of ``ek``; ``ValueError`` for another length or a failed modulus check (FIPS 203 section 7.2)."""
    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)``: 32 bytes and 768 bytes, from fresh operating-system randomness."""
    def _encapsulate_deterministic(self, m: Buffer, /) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)`` for the 32-byte ``m`` (ML-KEM.Encaps_internal, for known-answer tests)."""
    def public_bytes_raw(self) -> bytes:
        """The 800-byte encapsulation key."""
    def __eq__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

_Public768T = TypeVar("_Public768T", bound=MLKEM768PublicKey)

@disjoint_base
class MLKEM768PrivateKey:
    """An ML-KEM-768 private key: the decapsulation key, and the seed it was made from when known."""

    @classmethod
    def generate(cls) -> Self:
        """A new key from 64 bytes of operating-system randomness (``OSError`` if that fails)."""
    @classmethod
    def from_seed_bytes(cls, data: Buffer) -> Self:
        """The key of the 64-byte seed ``d || z`` (ML-KEM.KeyGen_internal); ``ValueError`` for another length."""
    @classmethod
    def _from_expanded(cls, dk: Buffer, seed: Buffer | None, /) -> Self:
        """The key of the 2400-byte FIPS 203 decapsulation key (hash check of section 7.3, modulus check of its
        encapsulation key); ``seed``, if given, must give that same key. ``ValueError`` otherwise."""
    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret of a 1088-byte ciphertext (``ValueError`` for another length); a ciphertext
        not made for this key gives an unrelated secret (implicit rejection)."""
    def private_bytes_raw(self) -> bytes:
        """The 64-byte seed ``d || z``; ``ValueError`` for a key read from its expanded form alone."""
    def _has_seed(self) -> bool:
        """Whether the seed is known."""
    def _expanded_bytes(self) -> bytes:
        """The 2400-byte FIPS 203 decapsulation key ``dk_pke || ek || H(ek) || z``."""
    def _public_key(self, cls: type[_Public768T], /) -> _Public768T:
        """The public key, as an object of ``cls``."""

@disjoint_base
class MLKEM768PublicKey:
    """An ML-KEM-768 public key: the 1184-byte encapsulation key."""

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """The key of ``ek``; ``ValueError`` for another length or a failed modulus check (FIPS 203 section 7.2)."""
    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)``: 32 bytes and 1088 bytes, from fresh operating-system randomness."""
    def _encapsulate_deterministic(self, m: Buffer, /) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)`` for the 32-byte ``m`` (ML-KEM.Encaps_internal, for known-answer tests)."""
    def public_bytes_raw(self) -> bytes:
        """The 1184-byte encapsulation key."""
    def __eq__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

_Public1024T = TypeVar("_Public1024T", bound=MLKEM1024PublicKey)

@disjoint_base
class MLKEM1024PrivateKey:
    """An ML-KEM-1024 private key: the decapsulation key, and the seed it was made from when known."""

    @classmethod
    def generate(cls) -> Self:
        """A new key from 64 bytes of operating-system randomness (``OSError`` if that fails)."""
    @classmethod
    def from_seed_bytes(cls, data: Buffer) -> Self:
        """The key of the 64-byte seed ``d || z`` (ML-KEM.KeyGen_internal); ``ValueError`` for another length."""
    @classmethod
    def _from_expanded(cls, dk: Buffer, seed: Buffer | None, /) -> Self:
        """The key of the 3168-byte FIPS 203 decapsulation key (hash check of section 7.3, modulus check of its
        encapsulation key); ``seed``, if given, must give that same key. ``ValueError`` otherwise."""
    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret of a 1568-byte ciphertext (``ValueError`` for another length); a ciphertext
        not made for this key gives an unrelated secret (implicit rejection)."""
    def private_bytes_raw(self) -> bytes:
        """The 64-byte seed ``d || z``; ``ValueError`` for a key read from its expanded form alone."""
    def _has_seed(self) -> bool:
        """Whether the seed is known."""
    def _expanded_bytes(self) -> bytes:
        """The 3168-byte FIPS 203 decapsulation key ``dk_pke || ek || H(ek) || z``."""
    def _public_key(self, cls: type[_Public1024T], /) -> _Public1024T:
        """The public key, as an object of ``cls``."""

@disjoint_base
class MLKEM1024PublicKey:
    """An ML-KEM-1024 public key: the 1568-byte encapsulation key."""

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """The key of ``ek``; ``ValueError`` for another length or a failed modulus check (FIPS 203 section 7.2)."""
    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)``: 32 bytes and 1568 bytes, from fresh operating-system randomness."""
    def _encapsulate_deterministic(self, m: Buffer, /) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)`` for the 32-byte ``m`` (ML-KEM.Encaps_internal, for known-answer tests)."""
    def public_bytes_raw(self) -> bytes:
        """The 1568-byte encapsulation key."""
    def __eq__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

def _backend() -> str:
    """The code path in use: ``"avx512"``, ``"avx2"`` or ``"portable"`` (for tests and benchmarks)."""

def _available_backends() -> tuple[str, ...]:
    """The code paths this build can use on this CPU."""

def _set_backend(name: str, /) -> None:
    """Switch the code path (shared with ``kyber_alg.Kyber``); results are identical on every path.

    Raises ``ValueError`` if the path is not available here.
    """
