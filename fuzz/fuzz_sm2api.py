#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.sm2 (over kyber_alg._sm2): point, key, signature and ciphertext decoding,
decryption, verification, signing and the key exchange, differential against the plain-Python model of
tests/sm2_reference.py and against pysmx.

    python -P fuzz/fuzz_sm2api.py -max_total_time=60 [corpus_dir] [fuzz/seeds/sm2api]
    python -P fuzz/fuzz_sm2api.py --make-seeds

The input's length picks the code path; its last byte picks the target (FuzzedDataProvider takes
integers from the end and bytes from the front). Every call must return
what the model returns, or raise ValueError (DecryptionError included) / InvalidSignature exactly where the
model refuses; anything else (a crash, another exception, a different result) is a finding.
"""

import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests"))

import harness

with atheris.instrument_imports():
    import sm2_reference as ref

    from kyber_alg import _sm2, sm2
    from kyber_alg.exceptions import InvalidSignature

import pysmx.SM2 as pysmx

KEY = sm2.SM2PrivateKey.from_private_bytes(
    bytes.fromhex("3945208F7B2144B13F36E38AC6D39F95889393692860B51A42FB81EF4DF7C5B8")
)
D = int.from_bytes(KEY.private_bytes_raw(), "big")
PUB = KEY.public_key()
PUB_POINT = (PUB.x, PUB.y)
PATHS = _sm2._available_backends()
MESSAGE = b"fuzzing kyber_alg.sm2"
VALID = {fmt: PUB.encrypt(MESSAGE, fmt) for fmt in ("c1c3c2", "c1c2c3", "der")}
SIGNATURE = KEY.sign(MESSAGE, encoding="raw")
FORMATS = ("c1c3c2", "c1c2c3")


# ---------------------------------------------------------------- the model


def model_point(data: bytes):
    """(x, y) of a 65/33/64-byte encoding, or None where kyber_alg.sm2 must refuse it."""
    if len(data) == 65 and data[0] == 4 or len(data) == 64:
        pt = ref.decode(data[-64:])
        return pt if ref.on_curve(pt) else None
    if len(data) == 33 and data[0] in (2, 3):
        x = int.from_bytes(data[1:], "big")
        if x >= ref.P:
            return None
        rhs = (x**3 - 3 * x + ref.B) % ref.P
        y = pow(rhs, (ref.P + 1) // 4, ref.P)
        if y * y % ref.P != rhs:
            return None
        return (x, y if y % 2 == data[0] % 2 else ref.P - y)
    return None


def model_decrypt(data: bytes, fmt: str):
    """The message of a raw ciphertext under KEY, or None: C1 read with its 04 byte when that gives a
    curve point, else without it."""
    for offset in (1, 0):
        if len(data) < offset + 97 or (offset and data[0] != 4):
            continue
        c1 = ref.decode(data[offset : offset + 64])
        if c1 == (0, 0) or not ref.on_curve(c1):
            continue
        rest = data[offset + 64 :]
        c3, c2 = (rest[:32], rest[32:]) if fmt == "c1c3c2" else (rest[-32:], rest[:-32])
        xy = ref.encode(ref.mul(D, c1))
        t = ref.kdf(xy, len(c2))
        if not any(t):
            return None
        message = bytes(a ^ b for a, b in zip(c2, t))
        return message if ref.sm3(xy[:32] + message + xy[32:]) == c3 else None
    return None


# ---------------------------------------------------------------- targets


@atheris.instrument_func
def public_key(data: bytes) -> None:
    expected = model_point(data)
    try:
        got = sm2.SM2PublicKey.from_public_bytes(data)
    except ValueError:
        assert expected is None or expected == (0, 0), data.hex()
        return
    assert (got.x, got.y) == expected, data.hex()
    assert sm2.load_der_public_key(got.public_bytes("der")) == got


@atheris.instrument_func
def raw_ciphertext(data: bytes, fmt: str) -> None:
    expected = model_decrypt(data, fmt)
    try:
        got = KEY.decrypt(data, fmt)
    except sm2.DecryptionError:
        assert expected is None, data.hex()
        return
    assert got == expected, data.hex()
    if data[0] != 4 or len(data) < 98 or not _sm2.is_point(data[1:65]):  # C1 without 04: what pysmx writes
        assert pysmx.Decrypt(data, KEY.private_bytes_raw(), 64, mode=fmt.upper()) == got


@atheris.instrument_func
def damaged(fdp: atheris.FuzzedDataProvider) -> None:
    fmt = ("c1c3c2", "c1c2c3", "der")[fdp.ConsumeIntInRange(0, 2)]
    c = bytearray(VALID[fmt])
    while fdp.remaining_bytes() >= 2:
        c[fdp.ConsumeIntInRange(0, len(c) - 1)] ^= fdp.ConsumeIntInRange(0, 255)
    c = bytes(c)
    try:
        got = KEY.decrypt(c, fmt)
    except sm2.DecryptionError:
        assert c != VALID[fmt]
        assert fmt == "der" or model_decrypt(c, fmt) is None
        return
    # C3 binds the message, and strict DER has one encoding per value: only the intact ciphertext decrypts.
    assert got == MESSAGE and c == VALID[fmt], c.hex()


@atheris.instrument_func
def der_ciphertext(data: bytes) -> None:
    try:
        raw = sm2.convert_ciphertext(data, "der", "c1c3c2")
    except ValueError:
        return
    assert sm2.convert_ciphertext(raw, "c1c3c2", "der") == data  # strict DER: one encoding per value
    expected = model_decrypt(raw, "c1c3c2")
    try:
        assert KEY.decrypt(data, "der") == expected
    except sm2.DecryptionError:
        assert expected is None


@atheris.instrument_func
def signature(data: bytes, encoding: str) -> None:
    try:
        PUB.verify(data, MESSAGE, encoding=encoding)
        valid = True
    except InvalidSignature:
        valid = False
    if encoding == "raw" and len(data) != 64:
        assert not valid
        return
    if encoding == "der":
        if not valid:
            return
        data = sm2._signature_to_raw(data, "der")  # a DER signature that verified must parse
    r, s = int.from_bytes(data[:32], "big"), int.from_bytes(data[32:], "big")
    e = ref.sm3(PUB.z() + MESSAGE)
    assert valid == ref.SM2P256V1.verify(PUB_POINT, e, r, s), data.hex()


@atheris.instrument_func
def sign(fdp: atheris.FuzzedDataProvider) -> None:
    uid = fdp.ConsumeBytes(fdp.ConsumeIntInRange(0, 40))
    data = fdp.ConsumeBytes(fdp.remaining_bytes())
    e = ref.sm3(ref.SM2P256V1.z(uid, PUB_POINT) + data)
    for raw in (KEY.sign(data, uid=uid, encoding="raw"), sm2._signature_to_raw(KEY.sign(data, uid=uid), "der")):
        assert ref.SM2P256V1.verify(PUB_POINT, e, int.from_bytes(raw[:32], "big"), int.from_bytes(raw[32:], "big"))


@atheris.instrument_func
def keys(data: bytes) -> None:
    for load in (sm2.load_der_private_key, sm2.load_pem_private_key, sm2.load_der_public_key, sm2.load_pem_public_key):
        key = harness.linear_time(load, data)
        if load in (sm2.load_pem_private_key, sm2.load_pem_public_key):
            assert harness.linear_time(load, harness.many_begin(data)) is ValueError or data.count(b"-----END")
        if key is ValueError:
            continue
        assert key is not TypeError
        if isinstance(key, sm2.SM2PrivateKey):
            assert (
                ref.public_key(int.from_bytes(key.private_bytes_raw(), "big"))
                == key.public_key().public_bytes_raw()[1:]
            )
            assert sm2.load_der_private_key(key.private_bytes("der")).private_bytes_raw() == key.private_bytes_raw()
        else:
            assert ref.on_curve((key.x, key.y))


@atheris.instrument_func
def key_exchange(fdp: atheris.FuzzedDataProvider) -> None:
    try:
        peer = sm2.SM2PublicKey.from_public_bytes(fdp.ConsumeBytes(65))
        peer_r = sm2.SM2PublicKey.from_public_bytes(fdp.ConsumeBytes(65))
        r = sm2.SM2PrivateKey.from_private_bytes(fdp.ConsumeBytes(32))
    except ValueError:
        return
    initiator = fdp.ConsumeBool()
    length = fdp.ConsumeIntInRange(1, 70)
    z_own, z_peer = PUB.z(), peer.z()
    za, zb = (z_own, z_peer) if initiator else (z_peer, z_own)
    try:
        expected = ref.SM2P256V1.key_exchange(
            D,
            int.from_bytes(r.private_bytes_raw(), "big"),
            (peer.x, peer.y),
            (peer_r.x, peer_r.y),
            za,
            zb,
            length,
            initiator,
        )
    except ValueError:
        expected = None
    try:
        got = sm2.key_exchange(KEY, r, peer, peer_r, length, initiator=initiator)
    except ValueError:
        assert expected is None
        return
    assert got == expected


@atheris.instrument_func
def test_one_input(data: bytes) -> None:
    _sm2._set_backend(PATHS[len(data) % len(PATHS)])
    fdp = atheris.FuzzedDataProvider(data)
    choice = fdp.ConsumeIntInRange(0, 9)
    if choice == 0:
        public_key(fdp.ConsumeBytes(fdp.remaining_bytes()))
    elif choice in (1, 2):
        raw_ciphertext(fdp.ConsumeBytes(fdp.remaining_bytes()), FORMATS[choice - 1])
    elif choice == 3:
        damaged(fdp)
    elif choice == 4:
        der_ciphertext(fdp.ConsumeBytes(fdp.remaining_bytes()))
    elif choice in (5, 6):
        signature(fdp.ConsumeBytes(fdp.remaining_bytes()), ("raw", "der")[choice - 5])
    elif choice == 7:
        sign(fdp)
    elif choice == 8:
        keys(fdp.ConsumeBytes(fdp.remaining_bytes()))
    else:
        key_exchange(fdp)


def make_seeds() -> None:
    """One seed per target, from valid inputs (the last byte is FuzzedDataProvider's choice)."""
    folder = harness.seed_folder("sm2api")
    other = sm2.SM2PrivateKey.generate()
    seeds = {
        "public_key": (0, PUB.public_bytes_raw()),
        "public_key_compressed": (0, PUB.public_bytes_raw(compressed=True)),
        "c1c3c2": (1, VALID["c1c3c2"]),
        "c1c2c3_unprefixed": (2, VALID["c1c2c3"][1:]),
        "damaged": (3, b"\x05\x01\x07\x02"),
        "der_ciphertext": (4, VALID["der"]),
        "signature_raw": (5, SIGNATURE),
        "signature_der": (6, sm2._signature_from_raw(SIGNATURE, "der")),
        "sign": (7, MESSAGE + b"\x05"),
        "key_pkcs8_der": (8, other.private_bytes("der")),
        "key_sec1_pem": (8, other.private_bytes("pem", "sec1")),
        "key_spki_der": (8, other.public_key().public_bytes("der")),
        "key_many_begin": (8, b"\xff" + b"PUBLIC KEY\n" + other.public_key().public_bytes("pem")),
        "key_exchange": (
            9,
            other.public_key().public_bytes_raw()
            + sm2.SM2PrivateKey.generate().public_key().public_bytes_raw()
            + other.private_bytes_raw()
            + b"\x10\x01",
        ),
    }
    seeds = {name: payload + bytes([choice]) for name, (choice, payload) in seeds.items()}
    for name, data in seeds.items():
        (folder / name).write_bytes(data)
    print(f"sm2api: {len(seeds)} seeds")


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
