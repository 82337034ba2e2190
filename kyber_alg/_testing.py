"""For tests only: the shipped operations with their randomness given, as module-level functions.

The shipped classes carry no test seams. Each function here runs the same code as the shipped call, with
the one value that call draws fresh (a nonce, an ephemeral key) given instead, so a test of a fixed vector
tests the shipped path. Not part of the API: names and signatures may change with the tests.

The documented testing interface stays where it is: every native module's ``_backend()``,
``_available_backends()`` and ``_set_backend()``, and ML-KEM's public-key ``_encapsulate_deterministic(m)``
(FIPS 203's internal encapsulation, on the key classes as cryptography's conventions leave room for).
"""

from __future__ import annotations

from typing import TYPE_CHECKING

from kyber_alg import sm2

if TYPE_CHECKING:
    from typing_extensions import Buffer

    from kyber_alg.hybrid import CurveSM2MLKEM768Client, SM2MLKEM768PublicKey, StreamSealer

__all__ = [
    "hybrid_client",
    "hybrid_encapsulate",
    "hybrid_seal",
    "hybrid_server",
    "hybrid_stream_sealer",
    "sm2_encrypt_with_nonce",
    "sm2_sign_digest_with_nonce",
]


# ---------------------------------------------------------------- kyber_alg.sm2
# SM2PrivateKey.sign_digest and SM2PublicKey.encrypt are these with k drawn inside the native call (the
# hedged nonce of sm2.py's docstring for signing, a uniform k for encryption); the native cores behind
# both are the same functions.


def sm2_sign_digest_with_nonce(
    key: sm2.SM2PrivateKey, digest: Buffer, k: Buffer, encoding: sm2.SignatureEncoding = "raw"
) -> bytes:
    """:meth:`SM2PrivateKey.sign_digest` with the nonce k (32 bytes, 1 <= k <= n - 1)."""
    raw = key._key._sign_digest_with_nonce(digest, k)  # pyright: ignore[reportPrivateUsage]
    return sm2._signature_from_raw(raw, encoding)  # pyright: ignore[reportPrivateUsage]


def sm2_encrypt_with_nonce(
    public_key: sm2.SM2PublicKey, data: Buffer, k: Buffer, format: sm2.CiphertextFormat = "c1c3c2"
) -> bytes:
    """:meth:`SM2PublicKey.encrypt` with the nonce k (32 bytes, 1 <= k <= n - 1): C1 = k*G."""
    raw = public_key._key._encrypt_with_nonce(data, k, format == "c1c2c3")  # pyright: ignore[reportPrivateUsage]
    return sm2._ciphertext_in(raw, format)  # pyright: ignore[reportPrivateUsage]


# ---------------------------------------------------------------- kyber_alg.hybrid
# kyber_alg.hybrid: every ephemeral curveSM2 key is a 32-byte scalar, every ML-KEM randomness the
# 32-byte m of FIPS 203's ML-KEM.Encaps_internal.


def hybrid_client(sm2_private: bytes, mlkem_seed: bytes) -> CurveSM2MLKEM768Client:
    """A curveSM2MLKEM768 client with the given ephemeral keys (SM2 scalar, 64-byte ML-KEM seed d ‖ z)."""
    from kyber_alg.hybrid import CurveSM2MLKEM768Client, _tls
    from kyber_alg.mlkem import MLKEM768PrivateKey
    from kyber_alg.sm2 import SM2PrivateKey

    client = object.__new__(CurveSM2MLKEM768Client)
    _tls.start_client(
        client, SM2PrivateKey.from_private_bytes(sm2_private), MLKEM768PrivateKey.from_seed_bytes(mlkem_seed)
    )
    return client


def hybrid_server(client_share: Buffer, sm2_private: bytes, m: bytes) -> tuple[bytes, bytes]:
    """curve_sm2_mlkem768_server with the given ephemeral SM2 scalar and ML-KEM randomness m."""
    from kyber_alg.hybrid import _tls
    from kyber_alg.sm2 import SM2PrivateKey

    return _tls.serve(
        client_share, lambda: SM2PrivateKey.from_private_bytes(sm2_private), lambda ek: ek._encapsulate_deterministic(m)
    )


def hybrid_encapsulate(public_key: SM2MLKEM768PublicKey, ephemeral: bytes, m: bytes) -> tuple[bytes, bytes]:
    """public_key.encapsulate() with the given ephemeral SM2 scalar and ML-KEM randomness m."""
    from kyber_alg.hybrid import _kem
    from kyber_alg.sm2 import SM2PrivateKey

    ephemeral_key = SM2PrivateKey.from_private_bytes(ephemeral)
    return _kem.encapsulate_with(public_key, ephemeral_key, public_key._mlkem._encapsulate_deterministic(m))


def hybrid_seal(encapsulation: tuple[bytes, bytes], plaintext: Buffer, associated_data: Buffer | None = b"") -> bytes:
    """hybrid.seal with a given KEM encapsulation (shared secret, ciphertext), from hybrid_encapsulate."""
    from kyber_alg.hybrid import _seal

    return _seal.seal_with(encapsulation, plaintext, associated_data)


def hybrid_stream_sealer(
    encapsulation: tuple[bytes, bytes], associated_data: Buffer | None = b"", chunk_size: int = 1 << 16
) -> StreamSealer:
    """A hybrid.StreamSealer with a given KEM encapsulation, from hybrid_encapsulate."""
    from kyber_alg.hybrid import StreamSealer, _stream

    sealer = object.__new__(StreamSealer)
    _stream.start_sealer(sealer, encapsulation, associated_data, _stream.chunk_exponent(chunk_size))
    return sealer
