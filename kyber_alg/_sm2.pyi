"""Native SM2 (GB/T 32918) on sm2p256v1 behind kyber_alg.sm2; raw bytes in and out, positional arguments."""

from typing import final

from typing_extensions import Buffer

class DecryptionError(ValueError):
    """SM2 decryption failed: C1 is not a curve point, the KDF output is all zeros, or C3 does not match."""

@final
class PublicKey:
    """An SM2 public key: a point of sm2p256v1 (made by public_key())."""

    def public_bytes(self) -> bytes:
        """x || y, 64 bytes."""
    def z(self, uid: Buffer, /) -> bytes:
        """Z = SM3(ENTL || ID || a || b || xG || yG || x || y)."""
    def verify(self, z: Buffer, data: Buffer, signature: Buffer, /) -> bool:
        """True if r || s signs SM3(z || data)."""
    def verify_digest(self, digest: Buffer, signature: Buffer, /) -> bool:
        """True if r || s signs the digest."""
    def encrypt(self, data: Buffer, c2_before_c3: object, /) -> bytes:
        """04 || C1 || C3 || C2 (or C2 before C3)."""
    def _encrypt_with_nonce(self, data: Buffer, k: Buffer, c2_before_c3: object, /) -> bytes:
        """For tests only: encrypt with the nonce k."""

@final
class PrivateKey:
    """An SM2 private key d in [1, n-2] (made by generate() or private_key())."""

    def private_bytes(self) -> bytes:
        """d, 32 bytes big-endian."""
    def public_key(self) -> PublicKey:
        """The PublicKey d*G."""
    def sign(self, z: Buffer, data: Buffer, /) -> bytes:
        """r || s for e = SM3(z || data), with a hedged nonce."""
    def sign_der(self, z: Buffer, data: Buffer, /) -> bytes:
        """As sign(), DER SEQUENCE { INTEGER r, INTEGER s }."""
    def sign_digest(self, digest: Buffer, /) -> bytes:
        """r || s for e = digest."""
    def sign_digest_der(self, digest: Buffer, /) -> bytes:
        """As sign_digest(), DER SEQUENCE { INTEGER r, INTEGER s }."""
    def _sign_digest_with_nonce(self, digest: Buffer, k: Buffer, der: bool = False, /) -> bytes:
        """For tests only: r || s (or DER) with the given nonce k."""
    def decrypt(self, c1: Buffer, c3: Buffer, c2: Buffer, /) -> bytes:
        """The message of C1 (x || y), C3 and C2; DecryptionError on failure."""
    def exchange(self, peer_public_key: PublicKey, /) -> bytes:
        """ECDH: x(d * Q), 32 bytes."""
    def key_exchange(
        self,
        ephemeral: PrivateKey,
        peer: PublicKey,
        peer_ephemeral: PublicKey,
        length: int,
        initiator: object,
        z_initiator: Buffer,
        z_responder: Buffer,
        /,
    ) -> tuple[bytes, bytes, bytes]:
        """GB/T 32918.3: (key, own confirmation value, expected peer confirmation value)."""

def generate() -> PrivateKey:
    """A new PrivateKey, d uniform in [1, n-2]."""

def private_key(d: Buffer, /) -> PrivateKey:
    """The PrivateKey of 32 big-endian bytes d in [1, n-2]."""

def public_key(xy: Buffer, /) -> PublicKey:
    """The PublicKey of x || y (64 bytes), checked to be on the curve."""

def is_point(xy: Buffer, /) -> bool:
    """True if xy is 64 bytes x || y of a curve point other than infinity."""

def _backend() -> str:
    """The code path in use (the best this CPU runs, unless switched)."""

def _available_backends() -> tuple[str, ...]:
    """The code paths this build can use on this CPU."""

def _set_backend(name: str, /) -> None:
    """Switch code path (for tests and benchmarks); results are identical."""
