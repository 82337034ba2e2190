#!/usr/bin/env python3
"""Fuzz harness for kyber_alg.mldsa: verification of damaged signatures, public keys and messages, decoding of
expanded private keys, and PKCS#8 / SubjectPublicKeyInfo reading, for ML-DSA-44/65/87 on every code path.

    python -P fuzz/fuzz_mldsa.py -max_total_time=60 [corpus_dir] [fuzz/seeds/mldsa]

The input's length picks the code path; its first bytes pick the parameter set and what the rest becomes.
Oracle: cryptography's ML-DSA (OpenSSL) verifies every signature the same way (valid or InvalidSignature), and
reads every seed-form PKCS#8 key and every public key our loaders accept to the same bytes; an expanded key
is accepted only if it is the one its own rho, s1, s2 give (it then signs verifiably). Only ValueError may
signal refused input, only InvalidSignature a failed verification; anything else is a finding.
"""

import sys

import atheris

with atheris.instrument_imports():
    from cryptography.exceptions import InvalidSignature as PycaInvalidSignature
    from cryptography.hazmat.primitives import serialization
    from cryptography.hazmat.primitives.asymmetric import mldsa as pyca

    from kyber_alg import _mldsa, mldsa
    from kyber_alg.exceptions import InvalidSignature

PATHS = _mldsa._available_backends()
SETS = []
THEIR_PUBLIC = []
for level in (44, 65, 87):
    seed = bytes(range(32))
    ours = getattr(mldsa, f"MLDSA{level}PrivateKey").from_seed_bytes(seed)
    SETS.append((ours, getattr(pyca, f"MLDSA{level}PrivateKey").from_seed_bytes(seed), ours.sign(b"fuzz", b"ctx")))
    THEIR_PUBLIC.append(getattr(pyca, f"MLDSA{level}PublicKey"))


def ours_verifies(pk, signature: bytes, message: bytes, context: bytes) -> bool:
    try:
        pk.verify(signature, message, context)
        return True
    except InvalidSignature:
        return False


def theirs_verifies(pk, signature: bytes, message: bytes, context: bytes) -> bool:
    try:
        pk.verify(signature, message, context)
        return True
    except PycaInvalidSignature:
        return False


@atheris.instrument_func
def damaged_signature(fdp: atheris.FuzzedDataProvider, index: int) -> None:
    ours, theirs, valid = SETS[index]
    signature = bytearray(valid)
    flips = fdp.ConsumeIntInRange(0, 4)
    for _ in range(flips):
        signature[fdp.ConsumeIntInRange(0, len(signature) - 1)] ^= fdp.ConsumeIntInRange(1, 255)
    cut = fdp.ConsumeIntInRange(0, 2)  # 0: whole, 1: one byte short, 2: one byte long
    signature = signature[:-1] if cut == 1 else signature + b"\0" if cut == 2 else signature
    message = b"fuzz" if fdp.ConsumeBool() else fdp.ConsumeBytes(8)
    result = ours_verifies(ours.public_key(), bytes(signature), message, b"ctx")
    assert result == theirs_verifies(theirs.public_key(), bytes(signature), message, b"ctx")
    assert result == (bytes(signature) == valid and message == b"fuzz") or flips == 0


@atheris.instrument_func
def public_key(data: bytes, index: int) -> None:
    ours, _, valid = SETS[index]
    cls = type(ours.public_key())
    try:
        pk = cls.from_public_bytes(data)
    except ValueError:
        assert len(data) != len(ours.public_key().public_bytes_raw())
        return
    their_pk = THEIR_PUBLIC[index].from_public_bytes(data)
    assert ours_verifies(pk, valid, b"fuzz", b"ctx") == theirs_verifies(their_pk, valid, b"fuzz", b"ctx")


@atheris.instrument_func
def expanded_key(fdp: atheris.FuzzedDataProvider, index: int) -> None:
    ours, _, _ = SETS[index]
    expanded = bytearray(ours._expanded_bytes())
    for _ in range(fdp.ConsumeIntInRange(0, 3)):
        expanded[fdp.ConsumeIntInRange(0, len(expanded) - 1)] ^= fdp.ConsumeIntInRange(1, 255)
    try:
        key = type(ours)._from_expanded(bytes(expanded), None)
    except ValueError:
        assert bytes(expanded) != ours._expanded_bytes()
        return
    assert key._expanded_bytes() == bytes(expanded)
    key.public_key().verify(key.sign(b"m"), b"m")


@atheris.instrument_func
def der(data: bytes) -> None:
    try:
        key = mldsa.load_der_private_key(data)
    except ValueError:
        key = None
    if key is not None and key._has_seed():
        theirs = serialization.load_der_private_key(key.private_bytes("der"), None)
        assert theirs.public_key().public_bytes_raw() == key.public_key().public_bytes_raw()
    try:
        pk = mldsa.load_der_public_key(data)
    except ValueError:
        return
    assert serialization.load_der_public_key(pk.public_bytes("der")).public_bytes_raw() == pk.public_bytes_raw()


@atheris.instrument_func
def test_one_input(data: bytes) -> None:
    _mldsa._set_backend(PATHS[len(data) % len(PATHS)])
    fdp = atheris.FuzzedDataProvider(data)
    choice, index = fdp.ConsumeIntInRange(0, 3), fdp.ConsumeIntInRange(0, 2)
    if choice == 0:
        damaged_signature(fdp, index)
    elif choice == 1:
        public_key(fdp.ConsumeBytes(fdp.remaining_bytes()), index)
    elif choice == 2:
        expanded_key(fdp, index)
    else:
        der(fdp.ConsumeBytes(fdp.remaining_bytes()))


def main() -> None:
    atheris.Setup(sys.argv, test_one_input)
    atheris.Fuzz()


if __name__ == "__main__":
    main()
