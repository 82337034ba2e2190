"""An independent model of kyber_alg.hybrid, written from docs/api/hybrid.md and nothing of the package:
curveSM2 arithmetic on Python ints (tests/sm2_reference.py), ML-KEM-768 from `cryptography` (key
generation from the seed, decapsulation) with kyber-py for encapsulation from a given m (which
`cryptography` does not offer; the tests check the two agree), SM3, HKDF-SM3 and SM4-GCM from
`cryptography` (OpenSSL).

    python tests/hybrid/hybrid_model.py      # rewrites tests/vectors/hybrid/*.json
"""

from __future__ import annotations

import json
import sys
from pathlib import Path

from cryptography.exceptions import InvalidTag
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import mlkem
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.kdf.hkdf import HKDF
from kyber_py.ml_kem import ML_KEM_768

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
import sm2_reference as curve

VECTORS = Path(__file__).resolve().parents[1] / "vectors" / "hybrid"

KEYGEN = b"kyber_alg/SM2-MLKEM768/keygen/v1"
COMBINE = b"kyber_alg/SM2-MLKEM768/combine/v1"
SEAL = b"kyber_alg/seal/v1"
STREAM = b"kyber_alg/stream/v1"


def sm3(data: bytes) -> bytes:
    return curve.sm3(data)


def hkdf(ikm: bytes, info: bytes, length: int) -> bytes:
    return HKDF(hashes.SM3(), length, None, info).derive(ikm)


def gcm_seal(key: bytes, nonce: bytes, data: bytes, ad: bytes) -> bytes:
    enc = Cipher(algorithms.SM4(key), modes.GCM(nonce)).encryptor()
    enc.authenticate_additional_data(ad)
    return enc.update(data) + enc.finalize() + enc.tag


def gcm_open(key: bytes, nonce: bytes, data: bytes, ad: bytes) -> bytes:
    if len(data) < 16:
        raise InvalidTag()
    dec = Cipher(algorithms.SM4(key), modes.GCM(nonce, data[-16:])).decryptor()
    dec.authenticate_additional_data(ad)
    return dec.update(data[:-16]) + dec.finalize()


# --- curveSM2 -------------------------------------------------------------------------------------


def point_bytes(pt) -> bytes:
    return b"\x04" + curve.encode(pt)


def parse_point(data: bytes):
    """The checks a receiver must make: 65 bytes, prefix 04, coordinates below p, on the curve."""
    if len(data) != 65 or data[0] != 4:
        raise ValueError("not an uncompressed point")
    pt = curve.decode(data[1:])
    if not curve.on_curve(pt):
        raise ValueError("not on curveSM2")
    return pt


def scalar(data: bytes) -> int:
    d = int.from_bytes(data, "big")
    if not 1 <= d <= curve.N - 2:
        raise ValueError("scalar out of range")
    return d


def ecdh(d: int, pt) -> bytes:
    return curve.mul(d, pt)[0].to_bytes(32, "big")


# --- the KEM --------------------------------------------------------------------------------------


def expand(seed: bytes) -> tuple[bytes, int]:
    """The 64-byte ML-KEM-768 seed and the curveSM2 scalar of a 32-byte private key."""
    mlkem_seed = hkdf(seed, KEYGEN + b"/ML-KEM-768", 64)
    for counter in range(256):
        d = int.from_bytes(hkdf(seed, KEYGEN + b"/curveSM2/" + bytes([counter]), 32), "big")
        if 1 <= d <= curve.N - 2:
            return mlkem_seed, d
    raise AssertionError("unreachable")


def mlkem_key(mlkem_seed: bytes) -> mlkem.MLKEM768PrivateKey:
    return mlkem.MLKEM768PrivateKey.from_seed_bytes(mlkem_seed)


def public_key(seed: bytes) -> bytes:
    mlkem_seed, d = expand(seed)
    return mlkem_key(mlkem_seed).public_key().public_bytes_raw() + point_bytes(curve.mul(d, curve.G))


def combine(ss_m: bytes, ss_x: bytes, ct_x: bytes, pk_x: bytes) -> bytes:
    return sm3(ss_m + ss_x + ct_x + pk_x + COMBINE)


def encapsulate(public: bytes, ephemeral: bytes, m: bytes) -> tuple[bytes, bytes]:
    ek, pk_x = public[:1184], public[1184:]
    ss_m, ct_m = ML_KEM_768._encaps_internal(ek, m)
    e = scalar(ephemeral)
    ct_x = point_bytes(curve.mul(e, curve.G))
    return combine(ss_m, ecdh(e, parse_point(pk_x)), ct_x, pk_x), ct_m + ct_x


def decapsulate(seed: bytes, ct: bytes) -> bytes:
    if len(ct) != 1153:
        raise ValueError("wrong length")
    mlkem_seed, d = expand(seed)
    ct_x = ct[1088:]
    ss_x = ecdh(d, parse_point(ct_x))
    ss_m = mlkem_key(mlkem_seed).decapsulate(ct[:1088])
    return combine(ss_m, ss_x, ct_x, point_bytes(curve.mul(d, curve.G)))


# --- seal and streams -------------------------------------------------------------------------------


def seal_with(ss: bytes, kem_ct: bytes, plaintext: bytes, ad: bytes) -> bytes:
    okm = hkdf(ss, SEAL + b"\x01", 28)
    return b"\x01" + kem_ct + gcm_seal(okm[:16], okm[16:], plaintext, ad)


def open_sealed(seed: bytes, blob: bytes, ad: bytes) -> bytes:
    if len(blob) < 1170 or blob[0] != 1:
        raise InvalidTag()
    try:
        ss = decapsulate(seed, blob[1:1154])
    except ValueError:
        raise InvalidTag() from None
    okm = hkdf(ss, SEAL + b"\x01", 28)
    return gcm_open(okm[:16], okm[16:], blob[1154:], ad)


def nonce(i: int, last: bool) -> bytes:
    return i.to_bytes(11, "big") + bytes([last])


def stream_with(ss: bytes, kem_ct: bytes, plaintext: bytes, ad: bytes, chunk_size: int) -> bytes:
    start = bytes([2, chunk_size.bit_length() - 1])
    key = hkdf(ss, STREAM + start, 16)
    pieces = [plaintext[i : i + chunk_size] for i in range(0, len(plaintext), chunk_size)] or [b""]
    body = [gcm_seal(key, nonce(i, i == len(pieces) - 1), p, ad) for i, p in enumerate(pieces)]
    return start + kem_ct + b"".join(body)


def open_stream(seed: bytes, data: bytes, ad: bytes) -> bytes:
    if len(data) < 1155 or data[0] != 2 or not 6 <= data[1] <= 24:
        raise InvalidTag()
    try:
        ss = decapsulate(seed, data[2:1155])
    except ValueError:
        raise InvalidTag() from None
    key, size = hkdf(ss, STREAM + data[:2], 16), (1 << data[1]) + 16
    body = data[1155:]
    pieces = [body[i : i + size] for i in range(0, len(body), size)] or [b""]
    if len(pieces) > 1 and len(pieces[-1]) == 16:
        raise InvalidTag()  # an empty last chunk only for an empty stream
    return b"".join(gcm_open(key, nonce(i, i == len(pieces) - 1), p, ad) for i, p in enumerate(pieces))


# --- curveSM2MLKEM768 -------------------------------------------------------------------------------


def tls_client_share(d: bytes, mlkem_seed: bytes) -> bytes:
    return point_bytes(curve.mul(scalar(d), curve.G)) + mlkem_key(mlkem_seed).public_key().public_bytes_raw()


def tls_server(client_share: bytes, e: bytes, m: bytes) -> tuple[bytes, bytes]:
    if len(client_share) != 1249:
        raise ValueError("wrong length")
    point = parse_point(client_share[:65])
    mlkem.MLKEM768PublicKey.from_public_bytes(client_share[65:])  # the key check
    ss_m, ct = ML_KEM_768._encaps_internal(client_share[65:], m)
    k = scalar(e)
    return point_bytes(curve.mul(k, curve.G)) + ct, ecdh(k, point) + ss_m


def tls_client_finish(d: bytes, mlkem_seed: bytes, server_share: bytes) -> bytes:
    if len(server_share) != 1153:
        raise ValueError("wrong length")
    return ecdh(scalar(d), parse_point(server_share[:65])) + mlkem_key(mlkem_seed).decapsulate(server_share[65:])


# --- test vectors -------------------------------------------------------------------------------------


def _bytes(label: str, n: int) -> bytes:
    """Reproducible inputs: SM3 in counter mode over a label."""
    return b"".join(sm3(label.encode() + i.to_bytes(4, "big")) for i in range((n + 31) // 32))[:n]


def make_vectors() -> dict[str, dict]:
    kem, seal, stream, tls = [], [], [], []
    for i in range(4):
        seed, eph, m = _bytes(f"kem seed {i}", 32), _bytes(f"kem ephemeral {i}", 32), _bytes(f"kem m {i}", 32)
        pk = public_key(seed)
        ss, ct = encapsulate(pk, eph, m)
        assert decapsulate(seed, ct) == ss
        kem.append(
            {
                "seed": seed.hex(),
                "public_key": pk.hex(),
                "ephemeral": eph.hex(),
                "m": m.hex(),
                "ciphertext": ct.hex(),
                "shared_secret": ss.hex(),
            }
        )
    for i, (size, ad) in enumerate([(0, b""), (13, b"header"), (100, b"")]):
        seed, eph, m = _bytes(f"seal seed {i}", 32), _bytes(f"seal ephemeral {i}", 32), _bytes(f"seal m {i}", 32)
        plaintext = _bytes(f"seal plaintext {i}", size)
        blob = seal_with(*encapsulate(public_key(seed), eph, m), plaintext, ad)
        assert open_sealed(seed, blob, ad) == plaintext
        seal.append(
            {
                "seed": seed.hex(),
                "ephemeral": eph.hex(),
                "m": m.hex(),
                "plaintext": plaintext.hex(),
                "associated_data": ad.hex(),
                "sealed": blob.hex(),
            }
        )
    for i, (size, chunk, ad) in enumerate([(0, 64, b""), (64, 64, b""), (65, 64, b"ad"), (300, 128, b"")]):
        seed, eph, m = _bytes(f"stream seed {i}", 32), _bytes(f"stream ephemeral {i}", 32), _bytes(f"stream m {i}", 32)
        plaintext = _bytes(f"stream plaintext {i}", size)
        data = stream_with(*encapsulate(public_key(seed), eph, m), plaintext, ad, chunk)
        assert open_stream(seed, data, ad) == plaintext
        stream.append(
            {
                "seed": seed.hex(),
                "ephemeral": eph.hex(),
                "m": m.hex(),
                "chunk_size": chunk,
                "plaintext": plaintext.hex(),
                "associated_data": ad.hex(),
                "stream": data.hex(),
            }
        )
    for i in range(3):
        d, seed = _bytes(f"tls client sm2 {i}", 32), _bytes(f"tls client mlkem {i}", 64)
        e, m = _bytes(f"tls server sm2 {i}", 32), _bytes(f"tls server m {i}", 32)
        client = tls_client_share(d, seed)
        server, secret = tls_server(client, e, m)
        assert tls_client_finish(d, seed, server) == secret
        tls.append(
            {
                "client_sm2_private": d.hex(),
                "client_mlkem_seed": seed.hex(),
                "client_share": client.hex(),
                "server_sm2_private": e.hex(),
                "server_m": m.hex(),
                "server_share": server.hex(),
                "shared_secret": secret.hex(),
            }
        )
    return {
        "kem.json": {"cases": kem},
        "seal.json": {"cases": seal},
        "stream.json": {"cases": stream},
        "curve_sm2_mlkem768.json": {"cases": tls},
    }


if __name__ == "__main__":
    VECTORS.mkdir(parents=True, exist_ok=True)
    about = "kyber_alg's own vectors, made by tests/hybrid/hybrid_model.py; layouts in docs/api/hybrid.md"
    for name, content in make_vectors().items():
        (VECTORS / name).write_text(json.dumps({"about": about, **content}, indent=1) + "\n")
        print("wrote", VECTORS / name)
