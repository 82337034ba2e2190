"""Known-answer tests only: the package's randomized operations with their randomness given.

Each function here runs the same code as the public call it mirrors, with the random values passed
in instead of drawn from the operating system. Fixed randomness destroys the security of every one
of them: they exist to reproduce test vectors.
"""

from __future__ import annotations

from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from typing_extensions import Buffer

    from kyber_alg.hybrid import CurveSM2MLKEM768Client, SM2MLKEM768PublicKey, StreamSealer


# --- hybrid ---------------------------------------------------------------------------------------
# kyber_alg.hybrid: every ephemeral curveSM2 key is a 32-byte scalar, every ML-KEM randomness the
# 32-byte m of FIPS 203's ML-KEM.Encaps_internal.


def hybrid_client(sm2_private: bytes, mlkem_seed: bytes) -> CurveSM2MLKEM768Client:
    """A curveSM2MLKEM768 client with the given ephemeral keys (SM2 scalar, 64-byte ML-KEM seed d ‖ z)."""
    from kyber_alg.hybrid import CurveSM2MLKEM768Client, _tls
    from kyber_alg.mlkem import MLKEM768PrivateKey
    from kyber_alg.sm2 import SM2PrivateKey

    client = object.__new__(CurveSM2MLKEM768Client)
    _tls.start_client(client, SM2PrivateKey.from_private_bytes(sm2_private),
                      MLKEM768PrivateKey.from_seed_bytes(mlkem_seed))
    return client


def hybrid_server(client_share: Buffer, sm2_private: bytes, m: bytes) -> tuple[bytes, bytes]:
    """curve_sm2_mlkem768_server with the given ephemeral SM2 scalar and ML-KEM randomness m."""
    from kyber_alg.hybrid import _tls
    from kyber_alg.sm2 import SM2PrivateKey

    return _tls.serve(client_share, lambda: SM2PrivateKey.from_private_bytes(sm2_private),
                      lambda ek: ek._encapsulate_deterministic(m))


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
