"""Keys, nonces and signatures of kyber_alg.sm2 whose encodings start with zero bytes, for the tests of
every format (a leading 00 is where DER INTEGERs get shorter and careless encoders go wrong)."""

from __future__ import annotations

import functools
import secrets
from collections.abc import Callable

from kyber_alg import _sm2, sm2
from sm2_reference import sm3 as sm3_digest  # noqa: F401  (re-exported for the tests)

N = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFF7203DF6B21C6052B53BBF40939D54123


def _scalar_where(accept: Callable[[bytes], bool]) -> int:
    """A scalar k whose point k*G (x || y) satisfies accept; about 256 tries for one zero byte."""
    k = secrets.randbelow(N - 10**6) + 1
    while not accept(_sm2.private_key(k.to_bytes(32, "big")).public_key().public_bytes()):
        k += 1
    return k


@functools.cache
def key_with_zero_x() -> sm2.SM2PrivateKey:
    return sm2.SM2PrivateKey.from_private_bytes(_scalar_where(lambda xy: xy[0] == 0).to_bytes(32, "big"))


@functools.cache
def key_with_zero_y() -> sm2.SM2PrivateKey:
    return sm2.SM2PrivateKey.from_private_bytes(_scalar_where(lambda xy: xy[32] == 0).to_bytes(32, "big"))


@functools.cache
def key_with_zero_d() -> sm2.SM2PrivateKey:
    return sm2.SM2PrivateKey.from_private_bytes(b"\0" + secrets.token_bytes(30) + b"\1")


@functools.cache
def nonce_with_zero_c1(coordinate: int) -> bytes:
    """A nonce k whose C1 = k*G has a leading zero byte in x (0) or y (1)."""
    return _scalar_where(lambda xy: xy[32 * coordinate] == 0).to_bytes(32, "big")


@functools.cache
def nonce_with_c1_x_starting_04() -> bytes:
    """A nonce whose C1 x begins with the byte 04: without its prefix, C1 then starts like a prefixed one."""
    return _scalar_where(lambda xy: xy[0] == 0x04).to_bytes(32, "big")


def signature_with_short(key: sm2.SM2PrivateKey, digest: bytes, part: int) -> bytes:
    """A raw signature of digest whose r (part 0) or s (part 1) has a leading zero byte."""
    while True:
        k = (secrets.randbelow(N - 1) + 1).to_bytes(32, "big")
        raw = key._key._sign_digest_with_nonce(digest, k)
        if raw[32 * part] == 0:
            return raw


def ciphertext_with_c1(key: sm2.SM2PrivateKey, message: bytes, nonce: str, fmt: str) -> bytes:
    """message encrypted to key in fmt, with C1 chosen by nonce: "zero_x" or "zero_y" (a leading 00 byte
    in that coordinate) or "random"."""
    pub = key.public_key()
    if nonce == "random":
        return pub.encrypt(message, fmt)  # type: ignore[arg-type]
    raw = pub._key._encrypt_with_nonce(message, nonce_with_zero_c1(nonce == "zero_y"), fmt == "c1c2c3")
    return raw if fmt != "der" else sm2.convert_ciphertext(raw, "c1c3c2", "der")
