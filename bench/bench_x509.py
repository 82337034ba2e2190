#!/usr/bin/env python3
"""kyber_alg.x509: signing and verifying one certificate against one SM2 signature and verification.

A certificate costs an SM2 signature (or verification) plus its DER work: assembling the TBS from
cryptography-encoded parts and loading the result into cryptography (signing), or splitting the
signed structure and reading the issuer's key (verifying). The target is at most 1.5 times one bare
SM2 operation over a message of the TBS's size, for sign() of a builder whose fields are set and for
verify_directly_issued_by(). Setting the fields encodes them (the SM2 key's SubjectPublicKeyInfo is
most of that): the "build and sign" line times a fresh builder, for information, outside the target.
Interleaved best-of rounds, one process; on a busy machine give it more --seconds.

    python -P bench/bench_x509.py [--seconds 4.0]

Exits 1 if a ratio is over the target.
"""

from __future__ import annotations

import argparse
import datetime
import sys
from pathlib import Path

from cryptography import x509 as cx
from cryptography.x509.oid import NameOID

from kyber_alg import sm2, x509

sys.path.insert(0, str(Path(__file__).resolve().parent))  # run with -P: bench/ is not on the path
from bench_sm2 import per_call

TARGET = 1.5


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=4.0, help="time budget per comparison")
    opts = parser.parse_args()
    ca_key, leaf_key = sm2.SM2PrivateKey.generate(), sm2.SM2PrivateKey.generate()
    now = datetime.datetime.now(datetime.UTC)
    ca_name = cx.Name([cx.NameAttribute(NameOID.COUNTRY_NAME, "CN"), cx.NameAttribute(NameOID.COMMON_NAME, "Bench CA")])
    ca = (
        x509.CertificateBuilder()
        .subject_name(ca_name)
        .issuer_name(ca_name)
        .public_key(ca_key.public_key())
        .serial_number(1)
        .not_valid_before(now)
        .not_valid_after(now + datetime.timedelta(days=30))
        .add_extension(cx.BasicConstraints(ca=True, path_length=None), critical=True)
        .sign(ca_key)
    )
    builder = (
        x509.CertificateBuilder()
        .subject_name(cx.Name([cx.NameAttribute(NameOID.COMMON_NAME, "leaf")]))
        .issuer_name(ca_name)
        .public_key(leaf_key.public_key())
        .serial_number(cx.random_serial_number())
        .not_valid_before(now)
        .not_valid_after(now + datetime.timedelta(days=30))
        .add_extension(cx.SubjectAlternativeName([cx.DNSName("leaf.example")]), critical=False)
        .add_extension(cx.BasicConstraints(ca=False, path_length=None), critical=True)
    )
    leaf = builder.sign(ca_key)
    tbs = leaf.tbs_certificate_bytes
    signature = ca_key.sign(tbs)
    ca_pub = ca_key.public_key()
    leaf_pub, serial = leaf_key.public_key(), leaf.serial_number
    san = cx.SubjectAlternativeName([cx.DNSName("leaf.example")])
    not_ca = cx.BasicConstraints(ca=False, path_length=None)
    leaf_name = cx.Name([cx.NameAttribute(NameOID.COMMON_NAME, "leaf")])

    def build_and_sign() -> cx.Certificate:
        return (
            x509.CertificateBuilder()
            .subject_name(leaf_name)
            .issuer_name(ca_name)
            .public_key(leaf_pub)
            .serial_number(serial)
            .not_valid_before(now)
            .not_valid_after(now + datetime.timedelta(days=30))
            .add_extension(san, critical=False)
            .add_extension(not_ca, critical=True)
            .sign(ca_key)
        )

    pairs = {
        "sign": {"certificate": lambda: builder.sign(ca_key), "SM2": lambda: ca_key.sign(tbs)},
        "verify": {
            "certificate": lambda: x509.verify_directly_issued_by(leaf, ca),
            "SM2": lambda: ca_pub.verify(signature, tbs),
        },
        "build+sign": {"certificate": build_and_sign, "SM2": lambda: ca_key.sign(tbs)},
    }
    print(f"TBS {len(tbs)} bytes; microseconds per call (best of interleaved rounds)")
    print(f"{'operation':10s} {'certificate':>12s} {'bare SM2':>9s} {'ratio':>7s}")
    worst = 0.0
    for op, fns in pairs.items():
        times = per_call(fns, opts.seconds)
        ratio = times["certificate"] / times["SM2"]
        if op != "build+sign":
            worst = max(worst, ratio)
        print(
            f"{op:10s} {times['certificate']:12.1f} {times['SM2']:9.1f} {ratio:6.2f}x"
            f"{'  (information)' if op == 'build+sign' else ''}"
        )
    print(f"target: at most {TARGET}x; {'met' if worst <= TARGET else 'NOT met'}")
    return 0 if worst <= TARGET else 1


if __name__ == "__main__":
    sys.exit(main())
