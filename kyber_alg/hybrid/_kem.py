"""The SM2-MLKEM768 KEM for static keys (curveSM2 + ML-KEM-768, combined as X-Wing does), its
keys and their PEM files."""

from __future__ import annotations

import os
from typing import TYPE_CHECKING

from kyber_alg import _asn1
from kyber_alg.hybrid._common import (
    KEM_CIPHERTEXT_SIZE,
    KEM_PRIVATE_KEY_SIZE,
    KEM_PUBLIC_KEY_SIZE,
    MLKEM768_CIPHERTEXT_SIZE,
    MLKEM768_PUBLIC_KEY_SIZE,
)
from kyber_alg.hybrid._common import as_bytes as _as_bytes
from kyber_alg.hybrid._common import check_length as _check_length
from kyber_alg.hybrid._common import sm2_point as _sm2_point
from kyber_alg.mlkem import MLKEM768PrivateKey, MLKEM768PublicKey
from kyber_alg.sm2 import SM2PrivateKey, SM2PublicKey
from kyber_alg.sm3 import hkdf_sm3, sm3

if TYPE_CHECKING:
    from typing import Self

    from typing_extensions import Buffer

_KEYGEN_LABEL = b"kyber_alg/SM2-MLKEM768/keygen/v1"
_COMBINE_LABEL = b"kyber_alg/SM2-MLKEM768/combine/v1"
_PUBLIC_PEM_LABEL = "SM2-MLKEM768 PUBLIC KEY"
_PRIVATE_PEM_LABEL = "SM2-MLKEM768 PRIVATE KEY"


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
        _check_length(raw, KEM_PUBLIC_KEY_SIZE, "an SM2-MLKEM768 public key")
        try:
            mlkem_key = MLKEM768PublicKey.from_public_bytes(raw[:MLKEM768_PUBLIC_KEY_SIZE])
        except ValueError as e:
            raise ValueError(f"the public key's ML-KEM-768 part is invalid: {e}") from None
        return cls._from_parts(mlkem_key, _sm2_point(raw[MLKEM768_PUBLIC_KEY_SIZE:], "the public key's curveSM2 part"))

    def public_bytes_raw(self) -> bytes:
        """The 1249-byte key: the ML-KEM-768 encapsulation key, then the uncompressed curveSM2 point."""
        return self._bytes

    def public_bytes_pem(self) -> bytes:
        """The key as a PEM block ``SM2-MLKEM768 PUBLIC KEY`` (``load_pem_public_key`` reads it)."""
        return _pem(_PUBLIC_PEM_LABEL, self._bytes)

    def encapsulate(self) -> tuple[bytes, bytes]:
        """``(shared_secret, ciphertext)``: a fresh 32-byte secret and the 1153-byte ciphertext carrying it."""
        return encapsulate_with(self, SM2PrivateKey.generate(), self._mlkem.encapsulate())

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
            key._mlkem.public_key().public_bytes_raw() + key._sm2.public_key().public_bytes_raw()
        )
        key._sm2_bytes = key._public.public_bytes_raw()[MLKEM768_PUBLIC_KEY_SIZE:]
        return key

    @classmethod
    def generate(cls) -> Self:
        """A new key from a fresh 32-byte seed."""
        return cls._from_seed(os.urandom(KEM_PRIVATE_KEY_SIZE))

    @classmethod
    def from_private_bytes(cls, data: Buffer) -> Self:
        """The key of a 32-byte seed (what ``private_bytes_raw`` gives)."""
        seed = _as_bytes(data, "data")
        _check_length(seed, KEM_PRIVATE_KEY_SIZE, "an SM2-MLKEM768 private key seed")
        return cls._from_seed(seed)

    def private_bytes_raw(self) -> bytes:
        """The 32-byte seed (``from_private_bytes`` reads it); keep it secret."""
        return self._seed

    def private_bytes_pem(self) -> bytes:
        """The seed as a PEM block ``SM2-MLKEM768 PRIVATE KEY`` (``load_pem_private_key`` reads it)."""
        return _pem(_PRIVATE_PEM_LABEL, self._seed)

    def public_key(self) -> SM2MLKEM768PublicKey:
        """The matching public key."""
        return self._public

    def decapsulate(self, ciphertext: Buffer) -> bytes:
        """The 32-byte shared secret. A ciphertext of the wrong length, or whose curveSM2 point is not on the
        curve, is a ValueError; any other change gives an unrelated secret (ML-KEM's implicit rejection)."""
        ct = _as_bytes(ciphertext, "ciphertext")
        _check_length(ct, KEM_CIPHERTEXT_SIZE, "an SM2-MLKEM768 ciphertext")
        point_bytes = ct[MLKEM768_CIPHERTEXT_SIZE:]
        point = _sm2_point(point_bytes, "the ciphertext's curveSM2 part")
        mlkem_secret = self._mlkem.decapsulate(ct[:MLKEM768_CIPHERTEXT_SIZE])
        return _combine(mlkem_secret, self._sm2.exchange(point), point_bytes, self._sm2_bytes)

    def __repr__(self) -> str:
        return f"<SM2MLKEM768PrivateKey for {self._public!r}>"


def encapsulate_with(
    public_key: SM2MLKEM768PublicKey, ephemeral: SM2PrivateKey, mlkem_encapsulation: tuple[bytes, bytes]
) -> tuple[bytes, bytes]:
    """Encapsulation to public_key with the given randomness: the ephemeral curveSM2 key and ML-KEM's
    (secret, ciphertext). ``encapsulate`` passes fresh ones; kyber_alg._testing, fixed ones."""
    mlkem_secret, mlkem_ciphertext = mlkem_encapsulation
    point = ephemeral.public_key().public_bytes_raw()
    secret = _combine(mlkem_secret, ephemeral.exchange(public_key._sm2), point, public_key._sm2_bytes)
    return secret, mlkem_ciphertext + point


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
    return SM2MLKEM768PublicKey.from_public_bytes(_unpem(data, _PUBLIC_PEM_LABEL, KEM_PUBLIC_KEY_SIZE))


def load_pem_private_key(data: str | Buffer) -> SM2MLKEM768PrivateKey:
    """Read a private key written by ``private_bytes_pem`` (or ``kyber-alg keygen``)."""
    return SM2MLKEM768PrivateKey.from_private_bytes(_unpem(data, _PRIVATE_PEM_LABEL, KEM_PRIVATE_KEY_SIZE))
