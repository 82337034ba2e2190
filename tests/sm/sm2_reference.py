"""A slow, obviously-correct SM2 for the tests: affine arithmetic on Python ints, straight from GB/T 32918.

Independent of the module under test (and of pysmx): SM3 comes from `cryptography` (OpenSSL).
"""

from __future__ import annotations

from cryptography.hazmat.primitives import hashes

P = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00000000FFFFFFFFFFFFFFFF
A = P - 3
B = 0x28E9FA9E9D9F5E344D5A9E4BCF6509A7F39789F515AB8F92DDBCBD414D940E93
N = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFF7203DF6B21C6052B53BBF40939D54123
G = (0x32C4AE2C1F1981195F9904466A39C9948FE30BBFF2660BE1715A4589334C74C7,
     0xBC3736A2F4F6779C59BDCEE36B692153D0A9877CC62A474002DF32E52139F0A0)


def sm3(data: bytes) -> bytes:
    h = hashes.Hash(hashes.SM3())
    h.update(data)
    return h.finalize()


def on_curve(pt) -> bool:
    x, y = pt
    return 0 <= x < P and 0 <= y < P and (y * y - (x * x * x + A * x + B)) % P == 0


def add(p1, p2):
    """Affine addition with None as the point at infinity; every case handled."""
    if p1 is None:
        return p2
    if p2 is None:
        return p1
    (x1, y1), (x2, y2) = p1, p2
    if x1 == x2 and (y1 + y2) % P == 0:
        return None
    if p1 == p2:
        lam = (3 * x1 * x1 + A) * pow(2 * y1, -1, P) % P
    else:
        lam = (y2 - y1) * pow(x2 - x1, -1, P) % P
    x3 = (lam * lam - x1 - x2) % P
    return x3, (lam * (x1 - x3) - y1) % P


def mul(k: int, pt):
    result = None
    for bit in bin(k)[2:]:
        result = add(result, result)
        if bit == "1":
            result = add(result, pt)
    return result


def encode(pt) -> bytes:
    return pt[0].to_bytes(32, "big") + pt[1].to_bytes(32, "big")


def decode(data: bytes):
    return int.from_bytes(data[:32], "big"), int.from_bytes(data[32:64], "big")


def kdf(z: bytes, length: int) -> bytes:
    blocks = (length + 31) // 32
    return b"".join(sm3(z + ct.to_bytes(4, "big")) for ct in range(1, blocks + 1))[:length]


def encrypt(message: bytes, public_key: bytes, k: int, mode: str = "C1C3C2") -> bytes:
    c1 = encode(mul(k, G))
    xy = encode(mul(k, decode(public_key)))
    t = kdf(xy, len(message))
    c2 = bytes(a ^ b for a, b in zip(message, t))
    c3 = sm3(xy[:32] + message + xy[32:])
    return c1 + (c3 + c2 if mode == "C1C3C2" else c2 + c3)


def public_key(d: int) -> bytes:
    return encode(mul(d, G))


def point_with_small_x():
    """A curve point whose x is below 2^256 - p, so x + p still fits in 32 bytes (a non-canonical encoding)."""
    x = 1
    while True:
        rhs = (x * x * x + A * x + B) % P
        y = pow(rhs, (P + 1) // 4, P)  # p = 3 mod 4
        if y * y % P == rhs:
            return x, y
        x += 1
