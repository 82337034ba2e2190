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

__all__ = ["sm2_encrypt_with_nonce", "sm2_sign_digest_with_nonce"]


# ---------------------------------------------------------------- kyber_alg.sm2
# SM2PrivateKey.sign_digest and SM2PublicKey.encrypt are these with k drawn inside the native call (the
# hedged nonce of sm2.py's docstring for signing, a uniform k for encryption); the native cores behind
# both are the same functions.


def sm2_sign_digest_with_nonce(key: sm2.SM2PrivateKey, digest: Buffer, k: Buffer,
                               encoding: sm2.SignatureEncoding = "raw") -> bytes:
    """:meth:`SM2PrivateKey.sign_digest` with the nonce k (32 bytes, 1 <= k <= n - 1)."""
    raw = key._key._sign_digest_with_nonce(digest, k)  # pyright: ignore[reportPrivateUsage]
    return sm2._signature_from_raw(raw, encoding)  # pyright: ignore[reportPrivateUsage]


def sm2_encrypt_with_nonce(public_key: sm2.SM2PublicKey, data: Buffer, k: Buffer,
                           format: sm2.CiphertextFormat = "c1c3c2") -> bytes:  # noqa: A002
    """:meth:`SM2PublicKey.encrypt` with the nonce k (32 bytes, 1 <= k <= n - 1): C1 = k*G."""
    raw = public_key._key._encrypt_with_nonce(data, k, format == "c1c2c3")  # pyright: ignore[reportPrivateUsage]
    return sm2._ciphertext_in(raw, format)  # pyright: ignore[reportPrivateUsage]
