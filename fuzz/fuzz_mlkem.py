#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.mlkem, differential against kyber-py (all three sets) and pyca/cryptography
(ML-KEM-768 and -1024): reading public keys, expanded private keys and PKCS#8 / SubjectPublicKeyInfo DER,
encapsulation with a given m, decapsulation of any ciphertext, on every code path.

    python -P fuzz/fuzz_mlkem.py -max_total_time=60 [corpus_dir] [fuzz/seeds/mlkem]
    python -P fuzz/fuzz_mlkem.py --make-seeds      # rewrite fuzz/seeds/mlkem from tests/vectors

Input layout: byte 0 picks the operation, byte 1 the parameter set (and the code path), the rest is the
operation's input: 0 from_public_bytes + _encapsulate_deterministic (m, then ek); 1 from_seed_bytes +
decapsulate (seed, then ciphertext); 2 _from_expanded + decapsulate (ciphertext, then dk);
3 load_der_public_key; 4 load_der_private_key; 5 load_pem_public_key and load_pem_private_key, on the input
as PEM text, on its DER in a PEM block, and after many BEGIN lines without END (each in linear time).
"""

import base64
import hashlib
import json
import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))
import harness

with atheris.instrument_imports():
    from cryptography.exceptions import UnsupportedAlgorithm
    from cryptography.hazmat.primitives import serialization
    from kyber_py.ml_kem import ML_KEM_512, ML_KEM_768, ML_KEM_1024

    from kyber_alg import _mlkem, mlkem

PATHS = _mlkem._available_backends()
SETS = [(512, ML_KEM_512, 800, 768), (768, ML_KEM_768, 1184, 1088), (1024, ML_KEM_1024, 1568, 1568)]


def below_q(ek):
    """The FIPS 203 modulus check, in plain Python: every 12-bit value of ek (but rho) is below q."""
    body = int.from_bytes(ek[:-32], "little")
    return all((body >> (12 * i)) & 0xFFF < 3329 for i in range(len(ek[:-32]) * 8 // 12))


def raises(fn, error=ValueError):
    try:
        fn()
    except error:
        return True
    return False


def check_encaps(bits, peer, ek_size, payload):
    m, ek = payload[:32], payload[32 : 32 + ek_size]
    cls = getattr(mlkem, f"MLKEM{bits}PublicKey")
    if len(ek) != ek_size or not below_q(ek):
        assert raises(lambda: cls.from_public_bytes(ek)), "an invalid public key was accepted"
        return
    pk = cls.from_public_bytes(ek)
    if len(m) != 32:
        assert raises(lambda: pk._encapsulate_deterministic(m))
        return
    assert pk._encapsulate_deterministic(m) == peer._encaps_internal(ek, m), "encapsulation differs from kyber-py"


def check_decaps(bits, peer, ct_size, payload):
    seed, c = payload[:64], payload[64:]
    cls = getattr(mlkem, f"MLKEM{bits}PrivateKey")
    if len(seed) != 64:
        assert raises(lambda: cls.from_seed_bytes(seed))
        return
    sk = cls.from_seed_bytes(seed)
    _, dk = peer._keygen_internal(seed[:32], seed[32:])
    assert sk._expanded_bytes() == dk
    if len(c) != ct_size:
        assert raises(lambda: sk.decapsulate(c))
        return
    assert sk.decapsulate(c) == peer._decaps_internal(dk, c), "decapsulation differs from kyber-py"


def check_expanded(bits, peer, ek_size, ct_size, payload):
    c, dk = payload[:ct_size], payload[ct_size:]
    cls = getattr(mlkem, f"MLKEM{bits}PrivateKey")
    k = (ek_size - 32) // 384
    ek = dk[384 * k : 384 * k + ek_size]
    valid = len(dk) == 768 * k + 96 and below_q(ek) and hashlib.sha3_256(ek).digest() == dk[768 * k + 32 : 768 * k + 64]
    if not valid:
        assert raises(lambda: cls._from_expanded(dk, None)), "an invalid expanded key was accepted"
        return
    sk = cls._from_expanded(dk, None)
    # ek, H(ek) and z are kept as given; s is kept mod q (ByteDecode_12), as decapsulation reads it.
    assert sk.public_key().public_bytes_raw() == ek and sk._expanded_bytes()[384 * k :] == dk[384 * k :]
    if len(c) == ct_size:
        assert sk.decapsulate(c) == peer._decaps_internal(dk, c), "decapsulation differs from kyber-py"


def check_der_public(bits, der):
    try:
        ours = mlkem.load_der_public_key(der)
    except ValueError:
        ours = None
    if bits == 512:
        if ours is not None:  # re-encodes to the same DER
            assert ours.public_bytes("der") == der
        return
    try:
        theirs = serialization.load_der_public_key(der)
        raw = theirs.public_bytes_raw() if hasattr(theirs, "encapsulate") else None
    except (ValueError, TypeError, UnsupportedAlgorithm):  # ML-KEM-512 is unknown to cryptography
        raw = None
    if raw is not None:
        assert ours is not None and ours.public_bytes_raw() == raw, "cryptography read a key that mlkem refused"
    if ours is not None and type(ours) is not mlkem.MLKEM512PublicKey:
        assert raw == ours.public_bytes_raw(), "mlkem read a key that cryptography refused"


def check_der_private(der):
    try:
        ours = mlkem.load_der_private_key(der)
    except ValueError:
        ours = None
    try:
        theirs = serialization.load_der_private_key(der, None)
        raw = theirs.private_bytes_raw() if hasattr(theirs, "decapsulate") else None
    except (ValueError, TypeError, UnsupportedAlgorithm):  # ML-KEM-512 is unknown to cryptography
        raw = None
    if raw is not None:  # cryptography reads the seed form only; mlkem reads all of it
        assert ours is not None and ours.private_bytes_raw() == raw, "cryptography read a key that mlkem refused"
    if ours is not None and ours._has_seed():
        assert mlkem.load_der_private_key(ours.private_bytes("der")).private_bytes_raw() == ours.private_bytes_raw()


def check_pem(payload):
    for load_pem, load_der, label in (
        (mlkem.load_pem_public_key, mlkem.load_der_public_key, b"PUBLIC KEY"),
        (mlkem.load_pem_private_key, mlkem.load_der_private_key, b"PRIVATE KEY"),
    ):
        assert harness.linear_time(load_pem, payload) is not TypeError  # any text: a key or ValueError
        text = base64.b64encode(payload)
        lines = [text[i : i + 64] + b"\n" for i in range(0, len(text), 64)]
        block = b"".join([b"-----BEGIN " + label + b"-----\n", *lines, b"-----END " + label + b"-----\n"])
        wrapped, direct = harness.linear_time(load_pem, block), harness.linear_time(load_der, payload)
        if direct is ValueError or wrapped is ValueError:  # the block reads as its DER does
            assert wrapped is direct, "PEM and DER disagree"
        else:
            assert (wrapped == direct) if label == b"PUBLIC KEY" else wrapped.public_key() == direct.public_key()
        assert harness.linear_time(load_pem, harness.many_begin(payload)) is ValueError or b"-----END" in payload


def test_one_input(data):
    if len(data) < 2:
        return
    op, which, payload = data[0] % 6, data[1], bytes(data[2:])
    bits, peer, ek_size, ct_size = SETS[which % 3]
    _mlkem._set_backend(PATHS[(which // 3) % len(PATHS)])
    if op == 0:
        check_encaps(bits, peer, ek_size, payload)
    elif op == 1:
        check_decaps(bits, peer, ct_size, payload)
    elif op == 2:
        check_expanded(bits, peer, ek_size, ct_size, payload)
    elif op == 3:
        check_der_public(bits, payload)
    elif op == 4:
        check_der_private(payload)
    else:
        check_pem(payload)


def make_seeds():
    out = harness.seed_folder("mlkem")
    for index, (bits, _, _, _) in enumerate(SETS):
        case = json.loads((harness.VECTORS / "wycheproof" / f"mlkem_{bits}_test.json").read_text())
        t = case["testGroups"][0]["tests"][0]
        seed, c = bytes.fromhex(t["seed"]), bytes.fromhex(t["c"])
        sk = getattr(mlkem, f"MLKEM{bits}PrivateKey").from_seed_bytes(seed)
        ek = sk.public_key().public_bytes_raw()
        inputs = {
            "encaps": bytes([0, index]) + bytes(32) + ek,
            "decaps": bytes([1, index]) + seed + c,
            "expanded": bytes([2, index]) + c + sk._expanded_bytes(),
            "spki": bytes([3, index]) + sk.public_key().public_bytes("der"),
            "pkcs8": bytes([4, index]) + sk.private_bytes("der"),
            "pem": bytes([5, index]) + sk.private_bytes("pem"),
            "pem_many_begin": bytes([5, index]) + b"\xffPRIVATE KEY\n" + sk.public_key().public_bytes("der"),
        }
        for name, value in inputs.items():
            (out / f"{name}_{bits}").write_bytes(value)


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
