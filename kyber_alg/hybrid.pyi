"""curveSM2 + ML-KEM-768: the TLS 1.3 group curveSM2MLKEM768, the SM2-MLKEM768 KEM, seal/open and streams."""

from typing import Final, Protocol, final

from typing_extensions import Buffer, Self

__all__ = [
    "CURVE_SM2_MLKEM768",
    "CurveSM2MLKEM768Client",
    "curve_sm2_mlkem768_server",
    "SM2MLKEM768PrivateKey",
    "SM2MLKEM768PublicKey",
    "load_pem_private_key",
    "load_pem_public_key",
    "seal",
    "open",
    "StreamSealer",
    "StreamOpener",
    "seal_stream",
    "open_stream",
]

CURVE_SM2_MLKEM768: Final = 4590
"""The TLS NamedGroup code point of curveSM2MLKEM768."""
SM2_POINT_SIZE: Final = 65
MLKEM768_PUBLIC_KEY_SIZE: Final = 1184
MLKEM768_CIPHERTEXT_SIZE: Final = 1088
CLIENT_SHARE_SIZE: Final = 1249
SERVER_SHARE_SIZE: Final = 1153
TLS_SHARED_SECRET_SIZE: Final = 64
PRIVATE_KEY_SIZE: Final = 32
PUBLIC_KEY_SIZE: Final = 1249
CIPHERTEXT_SIZE: Final = 1153
SHARED_SECRET_SIZE: Final = 32
SEAL_FORMAT: Final = 0x01
STREAM_FORMAT: Final = 0x02
TAG_SIZE: Final = 16
SEAL_OVERHEAD: Final = 1170
STREAM_HEADER_SIZE: Final = 1155
DEFAULT_CHUNK_SIZE: Final = 65536
MIN_CHUNK_SIZE: Final = 64
MAX_CHUNK_SIZE: Final = 16777216

@final
class CurveSM2MLKEM768Client:
    """The client side of one curveSM2MLKEM768 key exchange, with fresh ephemeral keys."""

    def __init__(self) -> None: ...
    @classmethod
    def _from_private_bytes(cls, sm2_private: bytes, mlkem_seed: bytes) -> Self:
        """Test only: a client with the given ephemeral keys."""
    @property
    def key_share(self) -> bytes:
        """1249 bytes: the uncompressed curveSM2 point, then the ML-KEM-768 encapsulation key."""
    def finish(self, server_share: Buffer) -> bytes:
        """The 64-byte shared secret (ECDH x-coordinate, then ML-KEM secret); ValueError for a malformed share."""

def curve_sm2_mlkem768_server(client_share: Buffer) -> tuple[bytes, bytes]:
    """``(server_share, shared_secret)``: 1153 and 64 bytes; ValueError for a malformed client share."""

def _curve_sm2_mlkem768_server_deterministic(
    client_share: Buffer, sm2_private: Buffer, m: Buffer
) -> tuple[bytes, bytes]:
    """Test only: the server side with a given ephemeral SM2 scalar and ML-KEM randomness."""

@final
class SM2MLKEM768PublicKey:
    """A recipient's public key: ML-KEM-768 encapsulation key (1184 bytes) then curveSM2 point (65)."""

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """ValueError for the wrong length, a point off the curve or an ML-KEM key that fails its check."""
    def public_bytes_raw(self) -> bytes:
        """The 1249 bytes that from_public_bytes reads."""
    def public_bytes_pem(self) -> bytes:
        """The key as a PEM block labelled SM2-MLKEM768 PUBLIC KEY (what kyber-alg keygen writes)."""
    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)``: 32 and 1153 bytes."""
    def _encapsulate_deterministic(self, ephemeral: Buffer, m: Buffer) -> tuple[bytes, bytes]:
        """Test only: encapsulation with a given ephemeral SM2 scalar and ML-KEM randomness."""
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...

@final
class SM2MLKEM768PrivateKey:
    """A recipient's private key, held as its 32-byte seed."""

    @classmethod
    def generate(cls) -> Self:
        """A new key from a fresh 32-byte seed from the operating system."""
    @classmethod
    def from_private_bytes(cls, data: Buffer) -> Self:
        """The key of a 32-byte seed; ValueError for another length."""
    def private_bytes_raw(self) -> bytes:
        """The 32-byte seed."""
    def private_bytes_pem(self) -> bytes:
        """The seed as a PEM block labelled SM2-MLKEM768 PRIVATE KEY (what kyber-alg keygen writes)."""
    def public_key(self) -> SM2MLKEM768PublicKey:
        """The matching public key."""
    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret; ValueError for the wrong length or a point off the curve."""

def load_pem_public_key(data: str | Buffer) -> SM2MLKEM768PublicKey:
    """Read a public_bytes_pem block; ValueError naming what was wrong (label, base64, length, key check)."""

def load_pem_private_key(data: str | Buffer) -> SM2MLKEM768PrivateKey:
    """Read a private_bytes_pem block; ValueError naming what was wrong (label, base64, length)."""
def seal(public_key: SM2MLKEM768PublicKey, plaintext: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """One blob of len(plaintext) + 1170 bytes."""

def _seal_encapsulated(
    shared_secret: bytes, kem_ciphertext: bytes, plaintext: Buffer, associated_data: Buffer | None = b""
) -> bytes:
    """Test only: seal with a given KEM encapsulation."""

def open(private_key: SM2MLKEM768PrivateKey, sealed: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """The plaintext; InvalidTag for any damage, the wrong key or the wrong associated data."""

@final
class StreamSealer:
    """Encrypts a stream piece by piece; the header comes with the first output."""

    def __init__(
        self, public_key: SM2MLKEM768PublicKey, associated_data: Buffer | None = b"", chunk_size: int = 65536
    ) -> None: ...
    @classmethod
    def _from_encapsulation(
        cls, shared_secret: bytes, kem_ciphertext: bytes, associated_data: Buffer | None = b"",
        chunk_size: int = 65536,
    ) -> Self:
        """Test only: a sealer with a given KEM encapsulation."""
    def update(self, data: Buffer) -> bytes:
        """The ciphertext ready so far (the header first); a full chunk waits until more data follows."""
    def finalize(self) -> bytes:
        """The rest: the last chunk, marked as the last. Call once."""

@final
class StreamOpener:
    """Decrypts a stream piece by piece, returning only authenticated plaintext; InvalidTag for any damage."""

    def __init__(self, private_key: SM2MLKEM768PrivateKey, associated_data: Buffer | None = b"") -> None: ...
    def update(self, data: Buffer) -> bytes:
        """The plaintext of every chunk that authenticated and is known not to be the last."""
    def finalize(self) -> bytes:
        """The last chunk's plaintext; InvalidTag if the stream was truncated or the last chunk is damaged."""

class _Reader(Protocol):
    def read(self, size: int, /) -> bytes: ...

class _Writer(Protocol):
    def write(self, data: bytes, /) -> object: ...

def seal_stream(
    public_key: SM2MLKEM768PublicKey, source: _Reader, destination: _Writer, *,
    associated_data: Buffer | None = b"", chunk_size: int = 65536,
) -> int:
    """Seal everything read from source into destination; returns the plaintext size."""

def open_stream(
    private_key: SM2MLKEM768PrivateKey, source: _Reader, destination: _Writer, *,
    associated_data: Buffer | None = b"",
) -> int:
    """Open a stream from source into destination, chunk by chunk; returns the plaintext size."""
