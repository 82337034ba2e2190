"""Keys, nonces and signatures of kyber_alg.sm2 whose encodings start with zero bytes, for the tests of
every format (a leading 00 is where DER INTEGERs get shorter and careless encoders go wrong)."""

from __future__ import annotations

import functools
import secrets
from collections.abc import Callable

from sm2_reference import sm3 as sm3_digest  # noqa: F401  (re-exported for the tests)

from kyber_alg import _sm2, _testing, sm2

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
        raw = _testing.sm2_sign_digest_with_nonce(key, digest, k)
        if raw[32 * part] == 0:
            return raw


def ciphertext_with_c1(key: sm2.SM2PrivateKey, message: bytes, nonce: str, fmt: str) -> bytes:
    """message encrypted to key in fmt, with C1 chosen by nonce: "zero_x" or "zero_y" (a leading 00 byte
    in that coordinate) or "random"."""
    pub = key.public_key()
    if nonce == "random":
        return pub.encrypt(message, fmt)  # type: ignore[arg-type]
    k = nonce_with_zero_c1(nonce == "zero_y")
    return _testing.sm2_encrypt_with_nonce(pub, message, k, fmt)  # type: ignore[arg-type]


def private_key_variants(key: sm2.SM2PrivateKey) -> dict[str, tuple[bool, bytes]]:
    """DER private keys built around key: name -> (OpenSSL reads it, the DER). Each refused one breaks one
    rule of PKCS#8 (RFC 5958) or SEC1's ECPrivateKey (RFC 5915)."""
    from kyber_alg import _asn1 as a

    d = a.octet_string(key.private_bytes_raw())
    point = key.public_key().public_bytes_raw()
    public = a.tlv(a.context(1), a.bit_string(point))
    curve = a.tlv(a.context(0), a.oid("1.2.156.10197.1.301"))
    algorithm = a.sequence(a.oid("1.2.840.10045.2.1"), a.oid("1.2.156.10197.1.301"))
    attribute = a.tlv(a.context(0), a.sequence(a.oid("1.2.3.4"), a.tlv(0x31, a.octet_string(b"x"))))

    def ec(*fields: bytes) -> bytes:
        return a.sequence(a.integer(1), d, *fields)

    def pkcs8(inner: bytes, *fields: bytes) -> bytes:
        return a.sequence(a.integer(0), algorithm, a.octet_string(inner), *fields)

    return {
        "pkcs8": (True, pkcs8(ec(public))),
        "pkcs8 with attributes": (True, pkcs8(ec(public), attribute)),
        "pkcs8 with curve in ECPrivateKey": (True, pkcs8(ec(curve, public))),
        "sec1": (True, ec(curve, public)),
        "sec1 without public key": (True, ec(curve)),
        "pkcs8 trailing field": (False, pkcs8(ec(public), a.integer(5))),
        "pkcs8 attributes twice": (False, pkcs8(ec(public), attribute, attribute)),
        "pkcs8 [1] in version 1": (False, pkcs8(ec(public), a.tlv(0x81, b"\0" + point))),
        "ECPrivateKey [0] twice": (False, ec(curve, curve, public)),
        "ECPrivateKey [1] twice": (False, ec(curve, public, public)),
        "ECPrivateKey [1] before [0]": (False, ec(public, curve)),
        "sec1 without curve": (False, ec(public)),
        "sec1 without curve or public key": (False, ec()),
    }
