"""curveSM2 + ML-KEM-768 done soundly: the TLS 1.3 hybrid group curveSM2MLKEM768, a hybrid KEM for
static keys, one-shot sealing (SM4-GCM) and a chunked stream format for data of any size.

The exact byte layouts are in docs/api/hybrid.md; the constants below are their building blocks.
"""

from __future__ import annotations

import os
from collections.abc import Callable
from typing import TYPE_CHECKING, Protocol, TypeVar

from kyber_alg import _asn1
from kyber_alg.exceptions import InvalidTag
from kyber_alg.mlkem import MLKEM768PrivateKey, MLKEM768PublicKey
from kyber_alg.sm2 import SM2PrivateKey, SM2PublicKey
from kyber_alg.sm3 import hkdf_sm3, sm3
from kyber_alg.sm4 import SM4GCM

if TYPE_CHECKING:
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

CURVE_SM2_MLKEM768 = 4590
"""The TLS NamedGroup codepoint of curveSM2MLKEM768 (0x11EE)."""

SM2_POINT_SIZE = 65
MLKEM768_PUBLIC_KEY_SIZE = 1184
MLKEM768_CIPHERTEXT_SIZE = 1088
CLIENT_SHARE_SIZE = SM2_POINT_SIZE + MLKEM768_PUBLIC_KEY_SIZE  # 1249
SERVER_SHARE_SIZE = SM2_POINT_SIZE + MLKEM768_CIPHERTEXT_SIZE  # 1153
TLS_SHARED_SECRET_SIZE = 64

PRIVATE_KEY_SIZE = 32
PUBLIC_KEY_SIZE = MLKEM768_PUBLIC_KEY_SIZE + SM2_POINT_SIZE  # 1249
CIPHERTEXT_SIZE = MLKEM768_CIPHERTEXT_SIZE + SM2_POINT_SIZE  # 1153
SHARED_SECRET_SIZE = 32

SEAL_FORMAT = 0x01
STREAM_FORMAT = 0x02
TAG_SIZE = 16
SEAL_OVERHEAD = 1 + CIPHERTEXT_SIZE + TAG_SIZE  # 1170
STREAM_HEADER_SIZE = 2 + CIPHERTEXT_SIZE  # 1155
DEFAULT_CHUNK_SIZE = 1 << 16
_MIN_EXPONENT, _MAX_EXPONENT = 6, 24
MIN_CHUNK_SIZE = 1 << _MIN_EXPONENT
MAX_CHUNK_SIZE = 1 << _MAX_EXPONENT

_KEYGEN_LABEL = b"kyber_alg/SM2-MLKEM768/keygen/v1"
_COMBINE_LABEL = b"kyber_alg/SM2-MLKEM768/combine/v1"
_SEAL_LABEL = b"kyber_alg/seal/v1"
_STREAM_LABEL = b"kyber_alg/stream/v1"
_PUBLIC_PEM_LABEL = "SM2-MLKEM768 PUBLIC KEY"
_PRIVATE_PEM_LABEL = "SM2-MLKEM768 PRIVATE KEY"


def _as_bytes(value: object, name: str) -> bytes:
    """One copy of a caller's bytes-like value, so that later reads cannot see it change."""
    if isinstance(value, bytes):
        return value
    if isinstance(value, bytearray):
        return bytes(value)
    if isinstance(value, memoryview):
        return value.tobytes()  # the raw bytes, whatever the view's format and strides
    raise TypeError(f"{name} must be bytes-like, not {type(value).__name__}")


_T = TypeVar("_T")


def _required(value: object, kind: type[_T], name: str) -> _T:
    if not isinstance(value, kind):
        raise TypeError(f"{name} must be an {kind.__name__}, not {type(value).__name__}")
    return value


def _associated(value: object) -> bytes:
    return b"" if value is None else _as_bytes(value, "associated_data")


def _sm2_point(encoded: bytes, what: str) -> SM2PublicKey:
    """An uncompressed curveSM2 point (04 || x || y), checked to lie on the curve."""
    if encoded[0] != 0x04:
        raise ValueError(f"{what} must be an uncompressed curveSM2 point (first byte 04, got {encoded[0]:02x})")
    try:
        return SM2PublicKey.from_public_bytes(encoded)
    except ValueError as e:
        raise ValueError(f"{what} is not a valid curveSM2 point: {e}") from None


def _check_length(data: bytes, size: int, what: str) -> None:
    if len(data) != size:
        raise ValueError(f"{what} must be {size} bytes, got {len(data)}")


# --- The TLS 1.3 group curveSM2MLKEM768 -----------------------------------------------------


class CurveSM2MLKEM768Client:
    """The client side of one curveSM2MLKEM768 key exchange, with fresh ephemeral keys."""

    __slots__ = ("_sm2", "_mlkem", "_key_share")
    _sm2: SM2PrivateKey
    _mlkem: MLKEM768PrivateKey
    _key_share: bytes

    def __init__(self) -> None:
        self._start(SM2PrivateKey.generate(), MLKEM768PrivateKey.generate())

    def _start(self, sm2_key: SM2PrivateKey, mlkem_key: MLKEM768PrivateKey) -> None:
        self._sm2 = sm2_key
        self._mlkem = mlkem_key
        self._key_share = sm2_key.public_key().public_bytes_raw() + mlkem_key.public_key().public_bytes_raw()

    @classmethod
    def _from_private_bytes(cls, sm2_private: bytes, mlkem_seed: bytes) -> Self:
        """Test only: a client with the given ephemeral keys (32-byte SM2 scalar, 64-byte ML-KEM seed)."""
        client = cls.__new__(cls)
        client._start(SM2PrivateKey.from_private_bytes(sm2_private), MLKEM768PrivateKey.from_seed_bytes(mlkem_seed))
        return client

    @property
    def key_share(self) -> bytes:
        """The 1249-byte client key share: the curveSM2 point (65) then the ML-KEM-768 encapsulation key."""
        return self._key_share

    def finish(self, server_share: Buffer) -> bytes:
        """The 64-byte shared secret from the server's 1153-byte share: ECDH x-coordinate, then ML-KEM secret."""
        share = _as_bytes(server_share, "server_share")
        _check_length(share, SERVER_SHARE_SIZE, "a curveSM2MLKEM768 server share")
        point = _sm2_point(share[:SM2_POINT_SIZE], "the server share's curveSM2 part")
        return self._sm2.exchange(point) + self._mlkem.decapsulate(share[SM2_POINT_SIZE:])

    def __repr__(self) -> str:
        return "<CurveSM2MLKEM768Client>"


def _server_parts(client_share: object) -> tuple[SM2PublicKey, MLKEM768PublicKey]:
    share = _as_bytes(client_share, "client_share")
    _check_length(share, CLIENT_SHARE_SIZE, "a curveSM2MLKEM768 client share")
    point = _sm2_point(share[:SM2_POINT_SIZE], "the client share's curveSM2 part")
    try:
        encapsulation_key = MLKEM768PublicKey.from_public_bytes(share[SM2_POINT_SIZE:])
    except ValueError as e:
        raise ValueError(f"the client share's ML-KEM-768 encapsulation key is invalid: {e}") from None
    return point, encapsulation_key


def _server_reply(
    point: SM2PublicKey, ephemeral: SM2PrivateKey, mlkem_secret: bytes, mlkem_ciphertext: bytes
) -> tuple[bytes, bytes]:
    share = ephemeral.public_key().public_bytes_raw() + mlkem_ciphertext
    return share, ephemeral.exchange(point) + mlkem_secret


def curve_sm2_mlkem768_server(client_share: Buffer) -> tuple[bytes, bytes]:
    """The server side: ``(server_share, shared_secret)``, 1153 and 64 bytes, for a 1249-byte client share."""
    point, encapsulation_key = _server_parts(client_share)
    return _server_reply(point, SM2PrivateKey.generate(), *encapsulation_key.encapsulate())


def _curve_sm2_mlkem768_server_deterministic(  # pyright: ignore[reportUnusedFunction] (tests call it)
    client_share: Buffer, sm2_private: Buffer, m: Buffer
) -> tuple[bytes, bytes]:
    """Test only: the server side with a given ephemeral SM2 scalar (32 bytes) and ML-KEM randomness m."""
    point, encapsulation_key = _server_parts(client_share)
    ephemeral = SM2PrivateKey.from_private_bytes(_as_bytes(sm2_private, "sm2_private"))
    return _server_reply(point, ephemeral, *encapsulation_key._encapsulate_deterministic(_as_bytes(m, "m")))


# --- The hybrid KEM SM2-MLKEM768 for static keys --------------------------------------------------


def _combine(mlkem_secret: bytes, ecdh_secret: bytes, ephemeral_point: bytes, recipient_point: bytes) -> bytes:
    # As in X-Wing: ML-KEM binds its own ciphertext and key, so only the ECDH side's ciphertext
    # (the ephemeral point) and public key go in beside the two secrets.
    return sm3(b"".join((mlkem_secret, ecdh_secret, ephemeral_point, recipient_point, _COMBINE_LABEL))).digest()


def _expand_seed(seed: bytes) -> tuple[MLKEM768PrivateKey, SM2PrivateKey]:
    mlkem_key = MLKEM768PrivateKey.from_seed_bytes(hkdf_sm3(seed, b"", _KEYGEN_LABEL + b"/ML-KEM-768", 64))
    # A 32-byte candidate falls outside [1, n-2] with probability about 2^-32; the next counter is tried.
    for counter in range(256):
        candidate = hkdf_sm3(seed, b"", _KEYGEN_LABEL + b"/curveSM2/" + bytes([counter]), 32)
        try:
            return mlkem_key, SM2PrivateKey.from_private_bytes(candidate)
        except ValueError:
            continue
    raise ValueError("no curveSM2 scalar could be derived from this seed")  # never met in practice


class SM2MLKEM768PublicKey:
    """A recipient's public key: an ML-KEM-768 encapsulation key and a curveSM2 point (1249 bytes)."""

    __slots__ = ("_mlkem", "_sm2", "_sm2_bytes", "_bytes")
    _mlkem: MLKEM768PublicKey
    _sm2: SM2PublicKey
    _sm2_bytes: bytes
    _bytes: bytes

    def __init__(self) -> None:
        raise TypeError("use SM2MLKEM768PublicKey.from_public_bytes() or a private key's public_key()")

    @classmethod
    def _from_parts(cls, mlkem_key: MLKEM768PublicKey, sm2_key: SM2PublicKey) -> Self:
        key = object.__new__(cls)
        key._mlkem = mlkem_key
        key._sm2 = sm2_key
        key._sm2_bytes = sm2_key.public_bytes_raw()
        key._bytes = mlkem_key.public_bytes_raw() + key._sm2_bytes
        return key

    @classmethod
    def from_public_bytes(cls, data: Buffer) -> Self:
        """Parse 1249 bytes: the ML-KEM-768 key (checked as FIPS 203 asks) then an uncompressed curveSM2 point."""
        raw = _as_bytes(data, "data")
        _check_length(raw, PUBLIC_KEY_SIZE, "an SM2-MLKEM768 public key")
        try:
            mlkem_key = MLKEM768PublicKey.from_public_bytes(raw[:MLKEM768_PUBLIC_KEY_SIZE])
        except ValueError as e:
            raise ValueError(f"the public key's ML-KEM-768 part is invalid: {e}") from None
        return cls._from_parts(mlkem_key, _sm2_point(raw[MLKEM768_PUBLIC_KEY_SIZE:], "the public key's curveSM2 part"))

    def public_bytes_raw(self) -> bytes:
        return self._bytes

    def public_bytes_pem(self) -> bytes:
        return _pem(_PUBLIC_PEM_LABEL, self._bytes)

    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)``: a fresh 32-byte secret and the 1153-byte ciphertext carrying it."""
        return self._encapsulate_with(SM2PrivateKey.generate(), *self._mlkem.encapsulate())

    def _encapsulate_deterministic(self, ephemeral: Buffer, m: Buffer) -> tuple[bytes, bytes]:
        """Test only: encapsulation with the ephemeral SM2 scalar (32 bytes) and ML-KEM randomness m (32 bytes)."""
        ephemeral_key = SM2PrivateKey.from_private_bytes(_as_bytes(ephemeral, "ephemeral"))
        return self._encapsulate_with(ephemeral_key, *self._mlkem._encapsulate_deterministic(_as_bytes(m, "m")))

    def _encapsulate_with(
        self, ephemeral: SM2PrivateKey, mlkem_secret: bytes, mlkem_ciphertext: bytes
    ) -> tuple[bytes, bytes]:
        point = ephemeral.public_key().public_bytes_raw()
        secret = _combine(mlkem_secret, ephemeral.exchange(self._sm2), point, self._sm2_bytes)
        return secret, mlkem_ciphertext + point

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, SM2MLKEM768PublicKey):
            return NotImplemented
        return self._bytes == other._bytes

    def __hash__(self) -> int:
        return hash(self._bytes)

    def __repr__(self) -> str:
        return f"<SM2MLKEM768PublicKey {self._bytes[-32:].hex()}>"


class SM2MLKEM768PrivateKey:
    """A recipient's private key, kept as its 32-byte seed; both component keys are derived from it."""

    __slots__ = ("_seed", "_mlkem", "_sm2", "_sm2_bytes", "_public")
    _seed: bytes
    _mlkem: MLKEM768PrivateKey
    _sm2: SM2PrivateKey
    _sm2_bytes: bytes  # the public point, as the combiner takes it
    _public: SM2MLKEM768PublicKey

    def __init__(self) -> None:
        raise TypeError("use SM2MLKEM768PrivateKey.generate() or from_private_bytes()")

    @classmethod
    def _from_seed(cls, seed: bytes) -> Self:
        key = object.__new__(cls)
        key._seed = seed
        key._mlkem, key._sm2 = _expand_seed(seed)
        key._public = SM2MLKEM768PublicKey.from_public_bytes(
            key._mlkem.public_key().public_bytes_raw() + key._sm2.public_key().public_bytes_raw())
        key._sm2_bytes = key._public.public_bytes_raw()[MLKEM768_PUBLIC_KEY_SIZE:]
        return key

    @classmethod
    def generate(cls) -> Self:
        return cls._from_seed(os.urandom(PRIVATE_KEY_SIZE))

    @classmethod
    def from_private_bytes(cls, data: Buffer) -> Self:
        """The key of a 32-byte seed (what ``private_bytes_raw`` gives)."""
        seed = _as_bytes(data, "data")
        _check_length(seed, PRIVATE_KEY_SIZE, "an SM2-MLKEM768 private key seed")
        return cls._from_seed(seed)

    def private_bytes_raw(self) -> bytes:
        return self._seed

    def private_bytes_pem(self) -> bytes:
        return _pem(_PRIVATE_PEM_LABEL, self._seed)

    def public_key(self) -> SM2MLKEM768PublicKey:
        return self._public

    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret. A ciphertext of the wrong length, or whose curveSM2 point is not on the
        curve, is a ValueError; any other change gives an unrelated secret (ML-KEM's implicit rejection)."""
        ct = _as_bytes(ciphertext, "ciphertext")
        _check_length(ct, CIPHERTEXT_SIZE, "an SM2-MLKEM768 ciphertext")
        point_bytes = ct[MLKEM768_CIPHERTEXT_SIZE:]
        point = _sm2_point(point_bytes, "the ciphertext's curveSM2 part")
        mlkem_secret = self._mlkem.decapsulate(ct[:MLKEM768_CIPHERTEXT_SIZE])
        return _combine(mlkem_secret, self._sm2.exchange(point), point_bytes, self._sm2_bytes)

    def __repr__(self) -> str:
        return f"<SM2MLKEM768PrivateKey for {self._public!r}>"


# --- PEM files ---------------------------------------------------------------------------------

def _pem(label: str, body: bytes) -> bytes:
    return _asn1.pem_encode(label, body)


def _unpem(data: object, label: str, size: int) -> bytes:
    """The raw key of the first PEM block labelled label (kyber_alg._asn1 reads the PEM)."""
    _, body = _asn1.pem_decode(data, (label,), "")
    if len(body) != size:
        raise ValueError(f"the '{label}' PEM block holds {len(body)} bytes, not {size}")
    return body


def load_pem_public_key(data: str | Buffer) -> SM2MLKEM768PublicKey:
    """Read a public key written by ``public_bytes_pem`` (or ``kyber-alg keygen``)."""
    return SM2MLKEM768PublicKey.from_public_bytes(_unpem(data, _PUBLIC_PEM_LABEL, PUBLIC_KEY_SIZE))


def load_pem_private_key(data: str | Buffer) -> SM2MLKEM768PrivateKey:
    """Read a private key written by ``private_bytes_pem`` (or ``kyber-alg keygen``)."""
    return SM2MLKEM768PrivateKey.from_private_bytes(_unpem(data, _PRIVATE_PEM_LABEL, PRIVATE_KEY_SIZE))


# --- One-shot sealing --------------------------------------------------------------------------


def _kem_secret(private_key: object, kem_ciphertext: bytes) -> bytes:
    """decapsulate for the openers: a malformed KEM ciphertext is one more kind of damage (InvalidTag)."""
    key = _required(private_key, SM2MLKEM768PrivateKey, "private_key")
    try:
        return key.decapsulate(kem_ciphertext)
    except ValueError as e:
        raise InvalidTag(f"the KEM ciphertext is damaged: {e}") from None


def _encapsulate_for(public_key: object) -> tuple[bytes, bytes]:
    return _required(public_key, SM2MLKEM768PublicKey, "public_key").encapsulate()


_SEAL_PREFIX = bytes([SEAL_FORMAT])


def _seal_keys(shared_secret: bytes) -> tuple[SM4GCM, bytes]:
    okm = hkdf_sm3(shared_secret, b"", _SEAL_LABEL + bytes([SEAL_FORMAT]), 28)
    return SM4GCM(okm[:16]), okm[16:]


def seal(public_key: SM2MLKEM768PublicKey, plaintext: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """Encrypt plaintext for the holder of public_key: one blob of len(plaintext) + 1170 bytes."""
    return _seal_encapsulated(*_encapsulate_for(public_key), plaintext, associated_data)


def _seal_encapsulated(
    shared_secret: bytes, kem_ciphertext: bytes, plaintext: Buffer, associated_data: Buffer | None = b""
) -> bytes:
    """Test only: seal with a given KEM encapsulation (from ``_encapsulate_deterministic``)."""
    aead, nonce = _seal_keys(shared_secret)
    # The header goes in front inside the native call: no second copy of a large body.
    return aead._encrypt_prefixed(
        _SEAL_PREFIX + kem_ciphertext, nonce, _as_bytes(plaintext, "plaintext"), _associated(associated_data))


def open(private_key: SM2MLKEM768PrivateKey, sealed: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """The plaintext of a sealed blob; InvalidTag for any damage, a wrong key or wrong associated_data."""
    blob = _as_bytes(sealed, "sealed")
    ad = _associated(associated_data)
    if len(blob) < SEAL_OVERHEAD:
        raise InvalidTag(f"a sealed blob has at least {SEAL_OVERHEAD} bytes, got {len(blob)}")
    if blob[0] != SEAL_FORMAT:
        raise InvalidTag(f"not a sealed blob of this format (format byte {blob[0]:02x}, expected {SEAL_FORMAT:02x})")
    aead, nonce = _seal_keys(_kem_secret(private_key, blob[1 : 1 + CIPHERTEXT_SIZE]))
    # decrypt copies what it reads before it works: a view of the body spares one more copy.
    with memoryview(blob) as view:
        return aead.decrypt(nonce, view[1 + CIPHERTEXT_SIZE :], ad)


# --- Streams: STREAM-style chunked SM4-GCM -----------------------------------------------------


def _chunk_exponent(chunk_size: object) -> int:
    if not isinstance(chunk_size, int) or isinstance(chunk_size, bool):
        raise TypeError(f"chunk_size must be an int, not {type(chunk_size).__name__}")
    if not MIN_CHUNK_SIZE <= chunk_size <= MAX_CHUNK_SIZE or chunk_size & (chunk_size - 1):
        raise ValueError(f"chunk_size must be a power of two from {MIN_CHUNK_SIZE} to {MAX_CHUNK_SIZE}, got {chunk_size}")
    return chunk_size.bit_length() - 1


class _Chunks:
    """The chunk key, associated data and counter of one stream; seals or opens its chunks in order."""

    __slots__ = ("aead", "ad", "counter")

    def __init__(self, shared_secret: bytes, header_start: bytes, associated_data: bytes) -> None:
        self.aead = SM4GCM(hkdf_sm3(shared_secret, b"", _STREAM_LABEL + header_start, 16))
        self.ad = associated_data
        self.counter = 0

    def nonce(self, last: bool) -> bytes:
        return self.counter.to_bytes(11, "big") + (b"\x01" if last else b"\x00")

    def seal(self, chunk: Buffer, last: bool) -> bytes:
        out = self.aead.encrypt(self.nonce(last), chunk, self.ad)
        self.counter += 1
        return out

    def open(self, chunk: bytearray | memoryview | bytes, last: bool) -> bytes:
        if last and len(chunk) == TAG_SIZE and self.counter:
            raise InvalidTag("the stream ends with an empty chunk after data (it was extended or damaged)")
        if len(chunk) < TAG_SIZE:
            raise InvalidTag("the stream is truncated inside its last chunk")
        try:
            out = self.aead.decrypt(self.nonce(last), chunk, self.ad)
        except InvalidTag:
            raise InvalidTag(self.failure(last)) from None
        self.counter += 1
        return out

    def failure(self, last: bool) -> str:
        if self.counter == 0:  # the key and the associated data are first tried here
            return ("the first chunk does not authenticate: the stream was not sealed for this key "
                    "(or with other associated data), or it is damaged")
        where = "the last chunk" if last else f"chunk {self.counter}"
        return f"{where} does not authenticate: the stream is truncated, reordered or damaged"


def _sealing(shared_secret: bytes, kem_ciphertext: bytes, associated_data: object, exponent: int) -> tuple[bytes, _Chunks]:
    """The header of a new stream and its chunk sealer."""
    start = bytes([STREAM_FORMAT, exponent])
    return start + kem_ciphertext, _Chunks(shared_secret, start, _associated(associated_data))


def _opening(private_key: SM2MLKEM768PrivateKey, header: bytes, associated_data: bytes) -> tuple[_Chunks, int]:
    """The chunk opener of a stream and its ciphertext chunk size, from its header."""
    if header[0] != STREAM_FORMAT:
        raise InvalidTag(f"not a stream of this format (format byte {header[0]:02x}, expected {STREAM_FORMAT:02x})")
    exponent = header[1]
    if not _MIN_EXPONENT <= exponent <= _MAX_EXPONENT:
        raise InvalidTag(f"the stream header's chunk size exponent {exponent} is out of range")
    chunks = _Chunks(_kem_secret(private_key, header[2:STREAM_HEADER_SIZE]), header[:2], associated_data)
    return chunks, (1 << exponent) + TAG_SIZE


class StreamSealer:
    """Encrypts a stream for the holder of public_key, piece by piece, in constant memory.

    Every ``update`` returns the ciphertext that is ready (the header comes with the first output);
    ``finalize`` returns the rest and must be called once at the end.
    """

    __slots__ = ("_header", "_chunks", "_chunk_size", "_pending", "_done")
    _header: bytes
    _chunks: _Chunks
    _chunk_size: int
    _pending: bytearray
    _done: bool

    def __init__(
        self, public_key: SM2MLKEM768PublicKey, associated_data: Buffer | None = b"",
        chunk_size: int = DEFAULT_CHUNK_SIZE,
    ) -> None:
        exponent = _chunk_exponent(chunk_size)  # argument errors before the costly encapsulation
        self._start(*_encapsulate_for(public_key), associated_data, exponent)

    @classmethod
    def _from_encapsulation(
        cls, shared_secret: bytes, kem_ciphertext: bytes, associated_data: Buffer | None = b"",
        chunk_size: int = DEFAULT_CHUNK_SIZE,
    ) -> Self:
        """Test only: a sealer with a given KEM encapsulation (from ``_encapsulate_deterministic``)."""
        sealer = cls.__new__(cls)
        sealer._start(shared_secret, kem_ciphertext, associated_data, _chunk_exponent(chunk_size))
        return sealer

    def _start(self, shared_secret: bytes, kem_ciphertext: bytes, associated_data: object, exponent: int) -> None:
        self._header, self._chunks = _sealing(shared_secret, kem_ciphertext, associated_data, exponent)
        self._chunk_size = 1 << exponent
        self._pending = bytearray()
        self._done = False

    def _take_header(self) -> list[bytes]:
        if self._done:
            raise ValueError("this StreamSealer is finalized")
        header, self._header = self._header, b""
        return [header] if header else []

    def update(self, data: Buffer) -> bytes:
        piece = _as_bytes(data, "data")
        out = self._take_header()
        pending, size = self._pending, self._chunk_size
        pending += piece
        # A full chunk stays pending until more data shows it is not the last one.
        start = 0
        with memoryview(pending) as view:  # chunks sealed straight from the pending bytes
            while len(pending) - start > size:
                out.append(self._chunks.seal(view[start : start + size], False))
                start += size
        del pending[:start]
        return b"".join(out)

    def finalize(self) -> bytes:
        out = self._take_header()
        out.append(self._chunks.seal(self._pending, True))
        self._pending = bytearray()
        self._done = True
        return b"".join(out)


class StreamOpener:
    """Decrypts a stream piece by piece; only authenticated plaintext is ever returned.

    ``update`` returns the plaintext of every chunk known not to be the last one; ``finalize``
    authenticates the last chunk and returns its plaintext. A truncated, reordered, duplicated or
    changed stream, the wrong key or the wrong associated data raise InvalidTag.
    """

    __slots__ = ("_key", "_ad", "_chunks", "_size", "_buffer", "_done")
    _chunks: _Chunks | None

    def __init__(self, private_key: SM2MLKEM768PrivateKey, associated_data: Buffer | None = b"") -> None:
        self._key = _required(private_key, SM2MLKEM768PrivateKey, "private_key")
        self._ad = _associated(associated_data)
        self._chunks = None  # until the header is read
        self._size = 0  # ciphertext bytes of a full chunk
        self._buffer = bytearray()
        self._done = False

    def _check_open(self) -> None:
        if self._done:
            raise ValueError("this StreamOpener is finalized or failed")

    def update(self, data: Buffer) -> bytes:
        self._check_open()
        buffer = self._buffer
        buffer += _as_bytes(data, "data")
        out: list[bytes] = []
        start = 0
        try:
            if self._chunks is None:
                if len(buffer) < STREAM_HEADER_SIZE:
                    return b""
                self._chunks, self._size = _opening(self._key, bytes(buffer[:STREAM_HEADER_SIZE]), self._ad)
                start = STREAM_HEADER_SIZE
            chunks, size = self._chunks, self._size
            # A full chunk is opened as "not last" only once a byte after it has arrived.
            with memoryview(buffer) as view:  # decrypt copies each chunk before it works on it
                while len(buffer) - start > size:
                    out.append(chunks.open(view[start : start + size], False))
                    start += size
        except InvalidTag:
            self._done = True
            raise
        del buffer[:start]
        return b"".join(out)

    def finalize(self) -> bytes:
        self._check_open()
        self._done = True
        if self._chunks is None:
            raise InvalidTag(f"the stream is truncated: its header has {STREAM_HEADER_SIZE} bytes, got {len(self._buffer)}")
        out = self._chunks.open(self._buffer, True)
        self._buffer = bytearray()
        return out


class _Reader(Protocol):
    def read(self, size: int, /) -> bytes: ...


class _Writer(Protocol):
    def write(self, data: bytes, /) -> object: ...


def _read_exactly(source: _Reader, size: int) -> bytes:
    """size bytes, or fewer only at the end of the input (pipes and raw files may return short reads)."""
    data = _as_bytes(source.read(size), "the data read")
    if len(data) == size or not data:
        return data
    parts, got = [data], len(data)
    while got < size:
        more = _as_bytes(source.read(size - got), "the data read")
        if not more:
            break
        parts.append(more)
        got += len(more)
    return b"".join(parts)


def _pump(source: _Reader, destination: _Writer, size: int, step: Callable[[bytes, bool], bytes]) -> int:
    """Feeds source to step in pieces of size bytes, telling it which piece is the last (one piece of
    look-ahead); writes what it returns; returns the number of bytes written."""
    total = 0
    piece = _read_exactly(source, size)
    while True:
        following = _read_exactly(source, size) if len(piece) == size else b""
        out = step(piece, not following)
        destination.write(out)
        total += len(out)
        if not following:
            return total
        piece = following


def seal_stream(
    public_key: SM2MLKEM768PublicKey, source: _Reader, destination: _Writer, *,
    associated_data: Buffer | None = b"", chunk_size: int = DEFAULT_CHUNK_SIZE,
) -> int:
    """Seal everything read from source (``read(n)``) into destination (``write(b)``); returns the plaintext size."""
    exponent = _chunk_exponent(chunk_size)
    header, chunks = _sealing(*_encapsulate_for(public_key), associated_data, exponent)
    destination.write(header)
    written = _pump(source, destination, chunk_size, chunks.seal)
    return written - TAG_SIZE * chunks.counter


def open_stream(
    private_key: SM2MLKEM768PrivateKey, source: _Reader, destination: _Writer, *,
    associated_data: Buffer | None = b"",
) -> int:
    """Open a stream read from source into destination, chunk by chunk; returns the plaintext size.

    Each chunk is written only after it authenticated; if a later chunk fails (InvalidTag), what was
    written before stays written, so write to a place you can discard (``kyber-alg open`` does).
    """
    key = _required(private_key, SM2MLKEM768PrivateKey, "private_key")
    ad = _associated(associated_data)
    header = _read_exactly(source, STREAM_HEADER_SIZE)
    if len(header) < STREAM_HEADER_SIZE:
        raise InvalidTag(f"the stream is truncated: its header has {STREAM_HEADER_SIZE} bytes, got {len(header)}")
    chunks, size = _opening(key, header, ad)
    return _pump(source, destination, size, chunks.open)
