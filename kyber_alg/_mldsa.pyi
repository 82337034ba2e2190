"""Native part of kyber_alg.mldsa: ML-DSA-44/65/87 keys (FIPS 204), held decoded.

Use the subclasses in ``kyber_alg.mldsa``, which add the PKCS#8 / SubjectPublicKeyInfo encodings.
"""

from typing import ClassVar, Self, TypeVar, type_check_only

from typing_extensions import Buffer, disjoint_base

_T = TypeVar("_T")

@type_check_only
class _PrivateKey:
    """What the three private-key types have in common (not a runtime class)."""

    @classmethod
    def generate(cls) -> Self:
        """A new key from a 32-byte seed of operating-system randomness (``OSError`` if that fails)."""
    @classmethod
    def from_seed_bytes(cls, data: Buffer) -> Self:
        """The key of the 32-byte seed ``xi`` (ML-DSA.KeyGen_internal); ``ValueError`` for another length."""
    @classmethod
    def _from_expanded(cls, sk: Buffer, seed: Buffer | None, /) -> Self:
        """The key of a FIPS 204 private key encoding (s1 and s2 within [-eta, eta], t0 and tr those that rho, s1
        and s2 give); ``seed``, if given, must give that same key. ``ValueError`` otherwise."""
    def sign(self, data: Buffer, context: Buffer | None = None) -> bytes:
        """A hedged ML-DSA signature of ``data``; ``ValueError`` for a context over 255 bytes."""
    def sign_mu(self, mu: Buffer) -> bytes:
        """A hedged signature of the 64-byte message representative ``mu`` (external mu)."""
    def _sign_internal(self, m_prime: Buffer, rnd: Buffer, /) -> bytes:
        """ML-DSA.Sign_internal of ``M'`` with the 32-byte ``rnd`` (for known-answer tests)."""
    def _sign_mu_internal(self, mu: Buffer, rnd: Buffer, /) -> bytes:
        """The signature of the 64-byte ``mu`` with the 32-byte ``rnd`` (for known-answer tests)."""
    def private_bytes_raw(self) -> bytes:
        """The 32-byte seed ``xi``; ``ValueError`` for a key read from its expanded form alone."""
    def _has_seed(self) -> bool:
        """Whether the seed is known."""
    def _expanded_bytes(self) -> bytes:
        """The FIPS 204 private key encoding ``skEncode(rho, K, tr, s1, s2, t0)``."""
    def _public_key(self, cls: type[_T], /) -> _T:
        """The public key, as an object of ``cls`` (the set's public-key type or a subclass; else ``TypeError``)."""

@type_check_only
class _PublicKey:
    """What the three public-key types have in common (not a runtime class)."""

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """The key of its FIPS 204 encoding ``pkEncode(rho, t1)``; ``ValueError`` for another length."""
    def _verify(self, signature: Buffer, data: Buffer, context: Buffer | None = None) -> bool:
        """Whether ``signature`` is a signature of ``data`` (``False`` for a wrong length; ``ValueError`` for a
        context over 255 bytes)."""
    def _verify_mu(self, signature: Buffer, mu: Buffer) -> bool:
        """Whether ``signature`` is a signature of the 64-byte ``mu``."""
    def _verify_internal(self, signature: Buffer, m_prime: Buffer, /) -> bool:
        """ML-DSA.Verify_internal of ``M'``."""
    def public_bytes_raw(self) -> bytes:
        """The public key encoding ``pkEncode(rho, t1)``."""
    def __eq__(self, other: object, /) -> bool: ...
    __hash__: ClassVar[None]  # type: ignore[assignment]

@disjoint_base
class MLDSA44PublicKey(_PublicKey):
    """An ML-DSA-44 public key (1312 bytes); signatures of 2420 bytes."""

@disjoint_base
class MLDSA44PrivateKey(_PrivateKey):
    """An ML-DSA-44 private key (2560-byte expanded form), and the seed it was made from when known."""

@disjoint_base
class MLDSA65PublicKey(_PublicKey):
    """An ML-DSA-65 public key (1952 bytes); signatures of 3309 bytes."""

@disjoint_base
class MLDSA65PrivateKey(_PrivateKey):
    """An ML-DSA-65 private key (4032-byte expanded form), and the seed it was made from when known."""

@disjoint_base
class MLDSA87PublicKey(_PublicKey):
    """An ML-DSA-87 public key (2592 bytes); signatures of 4627 bytes."""

@disjoint_base
class MLDSA87PrivateKey(_PrivateKey):
    """An ML-DSA-87 private key (4896-byte expanded form), and the seed it was made from when known."""

def _backend() -> str:
    """The code path in use (for tests and benchmarks)."""

def _available_backends() -> tuple[str, ...]:
    """The code paths this build can use on this CPU."""

def _set_backend(name: str, /) -> None:
    """Switch the code path; results are identical on every path. ``ValueError`` if it is not available here."""
