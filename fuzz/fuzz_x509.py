#!/usr/bin/env python3
"""Fuzz harness for what kyber_alg.x509 parses itself: SubjectPublicKeyInfo (SM2 and ML-KEM), the TBS of
certificates and requests (to find the key and the inner signature algorithm), the outer signed structure
(AlgorithmIdentifier, signature BIT STRING), and the signature check over it.

    python -P fuzz/fuzz_x509.py -max_total_time=60 [corpus_dir] [fuzz/seeds/x509]
    python -P fuzz/fuzz_x509.py --make-seeds

The last input byte picks the target. Oracles:
- raw SubjectPublicKeyInfo: accepted only when it is exactly the DER kyber_alg writes for the key it gives
  (a compressed SM2 point aside, which is compared as the point it decodes to); otherwise ValueError.
- a certificate or request (the fuzz bytes, or a valid one with fuzz-chosen bytes replaced) that
  cryptography loads: public_key(), the signature checks and verify_chain() raise nothing but ValueError /
  InvalidSignature / VerificationError, and a signature or a chain verifies only if the signed TBS and
  signature are those of the valid original.
"""

import sys
from pathlib import Path

import atheris

sys.path.insert(0, str(Path(__file__).resolve().parent))

import datetime

import harness
from cryptography import x509 as cx
from cryptography.hazmat.primitives.serialization import Encoding
from cryptography.x509.oid import NameOID

with atheris.instrument_imports():
    from kyber_alg import mlkem, sm2, x509
    from kyber_alg.exceptions import InvalidSignature

KEY = sm2.SM2PrivateKey.from_private_bytes(bytes(range(1, 33)))
NAME = cx.Name([cx.NameAttribute(NameOID.COMMON_NAME, "fuzz")])
T0 = datetime.datetime(2026, 1, 1, tzinfo=datetime.UTC)
CERT = (
    x509.CertificateBuilder()
    .subject_name(NAME)
    .issuer_name(NAME)
    .public_key(KEY.public_key())
    .serial_number(7)
    .not_valid_before(T0)
    .not_valid_after(T0 + datetime.timedelta(days=1))
    .add_extension(cx.BasicConstraints(ca=True, path_length=None), critical=True)
    .sign(KEY)
)
CSR = x509.CertificateSigningRequestBuilder().subject_name(NAME).sign(KEY)
KEM = mlkem.MLKEM512PrivateKey.from_seed_bytes(bytes(64)).public_key()
ORIGINALS = {"cert": CERT.public_bytes(Encoding.DER), "csr": CSR.public_bytes(Encoding.DER)}
SIGNED = {kind: x509._signed_parts(der, kind) for kind, der in ORIGINALS.items()}


def check_spki(data: bytes) -> None:
    try:
        key = x509._load_spki(data, "fuzz")
    except ValueError:
        return
    if isinstance(key, sm2.SM2PublicKey):
        expected = key.public_bytes("der")
        if len(data) == len(expected) - 32:  # a compressed point
            algorithm = x509._sequence(expected, "fuzz")[0][2]
            expected = x509._tlv(
                x509._SEQUENCE, algorithm + x509._tlv(0x03, b"\0" + key.public_bytes_raw(compressed=True))
            )
    else:
        expected = key.public_bytes("der")
    assert data == expected, (data.hex(), expected.hex())


def check_signed(kind: str, der: bytes) -> None:
    try:
        obj: cx.Certificate | cx.CertificateSigningRequest = (
            cx.load_der_x509_certificate(der) if kind == "cert" else cx.load_der_x509_csr(der)
        )
    except (ValueError, cx.InvalidVersion):  # cryptography refuses it before this module sees it
        return
    try:
        x509.public_key(obj)
    except ValueError:
        pass
    try:
        if isinstance(obj, cx.Certificate):
            x509.verify_directly_issued_by(obj, CERT)
            valid = True
        else:
            valid = x509.is_signature_valid(obj)
    except InvalidSignature:
        valid = False
    except ValueError:
        return
    if valid:
        assert x509._signed_parts(der, kind) == SIGNED[kind], "a changed certificate verified"
    if isinstance(obj, cx.Certificate):
        try:
            chain = x509.verify_chain(obj, [], [CERT], at=T0)
        except x509.VerificationError:
            return
        assert valid and chain == ([obj] if obj == CERT else [obj, CERT])


def test_one_input(data: bytes) -> None:
    if not data:
        return
    fdp = atheris.FuzzedDataProvider(data)
    target = fdp.ConsumeIntInRange(0, 3)
    if target == 0:
        check_spki(fdp.ConsumeBytes(fdp.remaining_bytes()))
    elif target == 1:
        check_signed("cert" if fdp.ConsumeBool() else "csr", fdp.ConsumeBytes(fdp.remaining_bytes()))
    else:
        kind = "cert" if target == 2 else "csr"
        damaged = bytearray(ORIGINALS[kind])
        for _ in range(fdp.ConsumeIntInRange(1, 4)):
            damaged[fdp.ConsumeIntInRange(0, len(damaged) - 1)] = fdp.ConsumeInt(1) & 0xFF
        check_signed(kind, bytes(damaged))


def make_seeds() -> None:
    folder = harness.seed_folder("x509")
    # Bytes are taken from the front, the target and the other choices from the back.
    seeds = {
        "spki_sm2": KEY.public_key().public_bytes("der") + b"\0",
        "spki_mlkem": KEM.public_bytes("der") + b"\0",
        "cert": ORIGINALS["cert"] + b"\1\1",
        "csr": ORIGINALS["csr"] + b"\0\1",
        "cert_change": bytes(8) + b"\2",
        "csr_change": bytes(8) + b"\3",
    }
    for name, seed in seeds.items():
        (folder / name).write_bytes(seed)


if __name__ == "__main__":
    harness.run(test_one_input, make_seeds)
