"""The strict DER reader and the writer behind every key and ciphertext encoding."""

from __future__ import annotations

import pytest
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec

from kyber_alg import _asn1 as asn1


@pytest.mark.parametrize("value", [0, 1, 0x7F, 0x80, 0xFF, 0x100, 2**255, 2**256 - 1])
def test_integer_round_trip_is_minimal(value: int) -> None:
    der = asn1.integer(value)
    element, rest = asn1.read_one(der, "x")
    assert rest == b"" and asn1.read_integer(element, "x") == value
    assert der[2] != 0 or value < 0x80 or der[3] >= 0x80  # a leading zero only before a high bit


@pytest.mark.parametrize("dotted", ["1.2.156.10197.1.301", "1.2.840.10045.2.1", "2.16.840.1.101.3.4.4.2"])
def test_oid_round_trip(dotted: str) -> None:
    element, _ = asn1.read_one(asn1.oid(dotted), "x")
    assert asn1.read_oid(element, "x") == dotted


@pytest.mark.parametrize(("der", "message"), [
    (bytes.fromhex("020200ff"[:6]), "truncated"),
    (bytes.fromhex("02020001"), "shortest form"),        # INTEGER with a needless leading zero
    (bytes.fromhex("0281010" + "1"), "shortest form"),   # long-form length for a short value
    (bytes.fromhex("0201ff"), "negative"),
    (bytes.fromhex("0500"), "expected an INTEGER"),
])
def test_reader_rejects_non_der(der: bytes, message: str) -> None:
    with pytest.raises(ValueError, match=message):
        element, _ = asn1.read_one(der, "x")
        asn1.read_integer(element, "x")


def test_trailing_bytes_and_wrong_tag_are_refused() -> None:
    with pytest.raises(ValueError, match="trailing"):
        asn1.read_exact(asn1.sequence() + b"\x00", asn1.SEQUENCE, "x")
    with pytest.raises(ValueError, match="expected DER tag 0x30"):
        asn1.read_exact(asn1.octet_string(b""), asn1.SEQUENCE, "x")


def test_pem_matches_openssl_layout_and_checks_label() -> None:
    pem = ec.generate_private_key(ec.SECP256R1()).public_key().public_bytes(
        serialization.Encoding.PEM, serialization.PublicFormat.SubjectPublicKeyInfo)
    label, der = asn1.pem_decode(pem, ("PUBLIC KEY",), "x")
    assert asn1.pem_encode(label, der) == pem
    with pytest.raises(ValueError, match="PEM label 'PUBLIC KEY'"):
        asn1.pem_decode(pem, ("PRIVATE KEY",), "x")
    with pytest.raises(ValueError, match="base64"):
        asn1.pem_decode(pem.replace(b"M", b"*", 1), ("PUBLIC KEY",), "x")
