"""Small CAs built with kyber_alg.x509 for the certificate tests."""

from __future__ import annotations

import datetime
import shutil
import subprocess
from dataclasses import dataclass

import pytest
from cryptography import x509 as cx
from cryptography.x509.oid import NameOID

from kyber_alg import sm2, x509

NOW = datetime.datetime.now(datetime.UTC).replace(microsecond=0)
DAY = datetime.timedelta(days=1)

OPENSSL = shutil.which("openssl")


def _openssl_has_sm2() -> bool:
    if OPENSSL is None:
        return False
    return subprocess.run([OPENSSL, "genpkey", "-algorithm", "SM2"], capture_output=True).returncode == 0


needs_openssl = pytest.mark.skipif(
    not _openssl_has_sm2(), reason="no openssl command with SM2 (Debian: apt-get install openssl)"
)


def openssl(*args: str, check: bool = True) -> subprocess.CompletedProcess[bytes]:
    assert OPENSSL is not None
    result = subprocess.run([OPENSSL, *args], capture_output=True)
    if check and result.returncode != 0:
        raise AssertionError(f"openssl {' '.join(args)} failed: {result.stderr.decode(errors='replace')}")
    return result


def name(common_name: str) -> cx.Name:
    return cx.Name([cx.NameAttribute(NameOID.COMMON_NAME, common_name)])


def builder(
    subject: str,
    issuer: str,
    key: x509.PublicKey,
    *,
    before: datetime.datetime = NOW - DAY,
    after: datetime.datetime = NOW + 365 * DAY,
    serial: int = 1,
) -> x509.CertificateBuilder:
    return (
        x509.CertificateBuilder()
        .subject_name(name(subject))
        .issuer_name(name(issuer))
        .public_key(key)
        .serial_number(serial)
        .not_valid_before(before)
        .not_valid_after(after)
    )


def ca(b: x509.CertificateBuilder, path_length: int | None = None) -> x509.CertificateBuilder:
    return b.add_extension(cx.BasicConstraints(ca=True, path_length=path_length), critical=True).add_extension(
        cx.KeyUsage(
            digital_signature=False,
            content_commitment=False,
            key_encipherment=False,
            data_encipherment=False,
            key_agreement=False,
            key_cert_sign=True,
            crl_sign=True,
            encipher_only=False,
            decipher_only=False,
        ),
        critical=True,
    )


@dataclass
class Chain:
    root_key: sm2.SM2PrivateKey
    int_key: sm2.SM2PrivateKey
    leaf_key: sm2.SM2PrivateKey
    root: cx.Certificate
    intermediate: cx.Certificate
    leaf: cx.Certificate


def make_chain() -> Chain:
    root_key, int_key, leaf_key = (sm2.SM2PrivateKey.generate() for _ in range(3))
    root = ca(builder("Root CA", "Root CA", root_key.public_key(), serial=10)).sign(root_key)
    intermediate = ca(builder("Intermediate CA", "Root CA", int_key.public_key(), serial=11), 0).sign(root_key)
    leaf = (
        builder("leaf.example", "Intermediate CA", leaf_key.public_key(), serial=12)
        .add_extension(cx.SubjectAlternativeName([cx.DNSName("leaf.example")]), critical=False)
        .sign(int_key)
    )
    return Chain(root_key, int_key, leaf_key, root, intermediate, leaf)
