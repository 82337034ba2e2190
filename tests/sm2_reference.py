"""A slow, obviously-correct SM2 for the tests: affine arithmetic on Python ints, straight from GB/T 32918.

Independent of the module under test (and of pysmx): SM3 comes from `cryptography` (OpenSSL).
"""

from __future__ import annotations

from cryptography.hazmat.primitives import hashes

P = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF00000000FFFFFFFFFFFFFFFF
A = P - 3
B = 0x28E9FA9E9D9F5E344D5A9E4BCF6509A7F39789F515AB8F92DDBCBD414D940E93
N = 0xFFFFFFFEFFFFFFFFFFFFFFFFFFFFFFFF7203DF6B21C6052B53BBF40939D54123
G = (
    0x32C4AE2C1F1981195F9904466A39C9948FE30BBFF2660BE1715A4589334C74C7,
    0xBC3736A2F4F6779C59BDCEE36B692153D0A9877CC62A474002DF32E52139F0A0,
)


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


# ---------------------------------------------------------------- any curve y^2 = x^3 + ax + b over F_p
# The signature and key-exchange model below takes the curve as a parameter, so that it can be checked
# against the standard's worked examples (which use their own 256-bit curve) and then serve as the
# reference for the native code on sm2p256v1.


class Curve:
    def __init__(self, p: int, a: int, b: int, gx: int, gy: int, n: int):
        self.p, self.a, self.b, self.g, self.n = p, a, b, (gx, gy), n

    def add(self, p1, p2):
        if p1 is None:
            return p2
        if p2 is None:
            return p1
        (x1, y1), (x2, y2) = p1, p2
        if x1 == x2 and (y1 + y2) % self.p == 0:
            return None
        if p1 == p2:
            lam = (3 * x1 * x1 + self.a) * pow(2 * y1, -1, self.p) % self.p
        else:
            lam = (y2 - y1) * pow(x2 - x1, -1, self.p) % self.p
        x3 = (lam * lam - x1 - x2) % self.p
        return x3, (lam * (x1 - x3) - y1) % self.p

    def mul(self, k: int, pt):
        result = None
        for bit in bin(k)[2:]:
            result = self.add(result, result)
            if bit == "1":
                result = self.add(result, pt)
        return result

    def on_curve(self, pt) -> bool:
        x, y = pt
        return 0 <= x < self.p and 0 <= y < self.p and (y * y - (x**3 + self.a * x + self.b)) % self.p == 0

    def to_bytes(self, v: int) -> bytes:
        return v.to_bytes((self.p.bit_length() + 7) // 8, "big")

    def z(self, uid: bytes, pub) -> bytes:
        """Z = SM3(ENTL || ID || a || b || xG || yG || xA || yA)."""
        fields = [self.a, self.b, *self.g, *pub]
        return sm3((len(uid) * 8).to_bytes(2, "big") + uid + b"".join(self.to_bytes(v) for v in fields))

    def sign(self, d: int, e: bytes, k: int) -> tuple[int, int]:
        x1 = self.mul(k, self.g)[0]
        r = (int.from_bytes(e, "big") + x1) % self.n
        s = pow(1 + d, -1, self.n) * (k - r * d) % self.n
        return r, s

    def verify(self, pub, e: bytes, r: int, s: int) -> bool:
        if not (1 <= r < self.n and 1 <= s < self.n):
            return False
        t = (r + s) % self.n
        if t == 0:
            return False
        point = self.add(self.mul(s, self.g), self.mul(t, pub))
        return point is not None and (int.from_bytes(e, "big") + point[0]) % self.n == r

    def x_bar(self, pt) -> int:
        w = ((self.n.bit_length() + 1) // 2) - 1  # ceil(ceil(log2 n) / 2) - 1 for n not a power of 2
        return 2**w + (pt[0] & (2**w - 1))

    def key_exchange(self, d: int, r: int, peer_pub, peer_r_pub, z_a: bytes, z_b: bytes, klen: int, initiator: bool):
        """(K, S_own, S_peer) of one side, steps A4-A10 / B3-B10 of GB/T 32918.3, h = 1."""
        own_r_pub = self.mul(r, self.g)
        t = (d + self.x_bar(own_r_pub) * r) % self.n
        shared = self.mul(t, self.add(peer_pub, self.mul(self.x_bar(peer_r_pub), peer_r_pub)))
        if shared is None:
            raise ValueError("the shared point is the point at infinity")
        xu, yu = (self.to_bytes(v) for v in shared)
        key = kdf(xu + yu + z_a + z_b, klen)
        ra, rb = (own_r_pub, peer_r_pub) if initiator else (peer_r_pub, own_r_pub)
        inner = sm3(xu + z_a + z_b + b"".join(self.to_bytes(v) for v in (*ra, *rb)))
        s02, s03 = sm3(b"\x02" + yu + inner), sm3(b"\x03" + yu + inner)
        return (key, s03, s02) if initiator else (key, s02, s03)


SM2P256V1 = Curve(P, A, B, *G, N)
