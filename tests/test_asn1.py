"""The strict DER reader and the writer behind every key and ciphertext encoding."""

from __future__ import annotations

import time

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


@pytest.mark.parametrize(
    ("der", "message"),
    [
        (bytes.fromhex("020200ff"[:6]), "truncated"),
        (bytes.fromhex("02020001"), "shortest form"),  # INTEGER with a needless leading zero
        (bytes.fromhex("0281010" + "1"), "shortest form"),  # long-form length for a short value
        (bytes.fromhex("0201ff"), "negative"),
        (bytes.fromhex("0500"), "expected an INTEGER"),
    ],
)
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
    pem = (
        ec.generate_private_key(ec.SECP256R1())
        .public_key()
        .public_bytes(serialization.Encoding.PEM, serialization.PublicFormat.SubjectPublicKeyInfo)
    )
    label, der = asn1.pem_decode(pem, ("PUBLIC KEY",), "x")
    assert asn1.pem_encode(label, der) == pem
    with pytest.raises(ValueError, match="labelled 'PUBLIC KEY'"):
        asn1.pem_decode(pem, ("PRIVATE KEY",), "x")
    with pytest.raises(ValueError, match="base64"):
        asn1.pem_decode(pem.replace(b"M", b"*", 1), ("PUBLIC KEY",), "x")


# ---------------------------------------------------------------- the PEM loaders of every module (issue 22)


def _pem_loaders():
    from kyber_alg import hybrid, mlkem, sm2

    sm2_key = sm2.SM2PrivateKey.generate()
    mlkem_key = mlkem.MLKEM512PrivateKey.generate()
    hybrid_key = hybrid.SM2MLKEM768PrivateKey.generate()
    return {
        "sm2 public": (sm2.load_pem_public_key, sm2_key.public_key().public_bytes("pem")),
        "sm2 private": (sm2.load_pem_private_key, sm2_key.private_bytes("pem")),
        "sm2 sec1": (sm2.load_pem_private_key, sm2_key.private_bytes("pem", "sec1")),
        "mlkem public": (mlkem.load_pem_public_key, mlkem_key.public_key().public_bytes("pem")),
        "mlkem private": (mlkem.load_pem_private_key, mlkem_key.private_bytes("pem")),
        "hybrid public": (hybrid.load_pem_public_key, hybrid_key.public_key().public_bytes_pem()),
        "hybrid private": (hybrid.load_pem_private_key, hybrid_key.private_bytes_pem()),
    }


def _public(key):
    return key.public_key() if hasattr(key, "public_key") else key


PEM_LOADERS = _pem_loaders()
pem_loaders = pytest.mark.parametrize(("load", "pem"), PEM_LOADERS.values(), ids=PEM_LOADERS.keys())


@pytest.mark.parametrize(
    "text",
    [
        b"-----BEGIN A-----\n" * 2000,  # the reported input: 43 s at 16,000 lines
        b"x-----BEGIN A-----\n" * 20000,  # BEGIN inside lines: explanatory text
        b"-----BEGIN A-----\n-----END A-----\n" * 20000,  # many blocks of another label
        b"-----BEGIN " * 50000,  # BEGIN lines without an end
        b"-----BEGIN A-----\n" + b"-----BEGIN B-----\n" * 20000 + b"-----END A-----\n",
    ],
    ids=["many-begin", "mid-line", "other-blocks", "no-line-end", "nested"],
)
@pem_loaders
def test_pem_search_is_linear(load, pem, text):
    start = time.perf_counter()
    with pytest.raises(ValueError):
        load(text)
    assert time.perf_counter() - start < 1.0


@pem_loaders
def test_pem_input_is_bounded(load, pem):
    with pytest.raises(ValueError, match="more than the 1048576"):  # 1 MiB: far more than any key file
        load(b"\n" * (1 << 20) + pem)


def _body_lines(pem: bytes) -> tuple[bytes, list[bytes], bytes]:
    lines = pem.splitlines(keepends=True)
    return lines[0], lines[1:-1], lines[-1]


@pem_loaders
def test_pem_base64_is_strict(load, pem):
    begin, body, end = _body_lines(pem)
    load(pem)
    with pytest.raises(ValueError, match="base64|characters"):
        load(begin + b"".join(body) + b"====\n" + end)  # padding after the body
    with pytest.raises(ValueError, match="base64"):
        load(begin + b"".join(body[:-1]) + body[-1][:-1] + b"====\n" + end)
    last = body[-1].rstrip(b"\n")
    if last.endswith(b"="):  # non-zero padding bits: a second text of one key
        data = last.rstrip(b"=")
        alphabet = b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
        changed = data[:-1] + bytes([alphabet[alphabet.index(data[-1]) ^ 1]])
        with pytest.raises(ValueError, match="canonical"):
            load(begin + b"".join(body[:-1]) + changed + last[len(data) :] + b"\n" + end)


@pem_loaders
def test_pem_text_form(load, pem):
    begin, body, end = _body_lines(pem)
    assert all(len(line) == 65 for line in body[:-1]) and len(body[-1]) <= 65  # RFC 7468's strict form
    load(pem.decode())  # str, as the hybrid loaders always took
    load(pem.replace(b"\n", b"\r\n"))
    load(b"explanatory text\n-----BEGIN OTHER-----\nAAAA\n-----END OTHER-----\n" + pem)
    joined = b"".join(body).replace(b"\n", b"")
    rewrapped = begin + b"".join(joined[i : i + 76] + b"\n" for i in range(0, len(joined), 76)) + end
    assert _public(load(rewrapped)) == _public(load(pem))  # another wrapping reads as the same key
    with pytest.raises(ValueError, match="blank"):
        load(begin + body[0] + b"\n" + b"".join(body[1:]) + end)  # a blank line
    with pytest.raises(TypeError, match="bytes-like"):
        load(5)
    with pytest.raises(ValueError, match="ASCII"):
        load(pem.decode() + "\u00e9")
