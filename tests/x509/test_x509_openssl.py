"""kyber_alg.x509 against Debian's openssl command, both ways: what openssl makes verifies here with the
matching signer ID, and what is made here verifies in openssl."""

from __future__ import annotations

import re
from pathlib import Path

import pytest
from cryptography import x509 as cx
from cryptography.hazmat.primitives.serialization import Encoding
from x509_support import make_chain, name, needs_openssl, openssl

from kyber_alg import sm2, x509
from kyber_alg.exceptions import InvalidSignature

pytestmark = needs_openssl

STANDARD = "distid:1234567812345678"


def _write(path: Path, obj: cx.Certificate | cx.CertificateSigningRequest) -> str:
    path.write_bytes(obj.public_bytes(Encoding.PEM))
    return str(path)


@pytest.fixture(scope="module")
def chain():
    return make_chain()


@pytest.mark.parametrize("uid", [x509.DEFAULT_UID, b""], ids=["standard-id", "empty-id"])
def test_openssl_ca_request_and_leaf_verify_here(tmp_path, uid):
    # openssl 3.0 signs with the empty ID unless -sigopt names one; -vfyopt for the request it reads.
    sig = ["-sigopt", f"distid:{uid.decode()}"] if uid else []
    vfy = ["-vfyopt", f"distid:{uid.decode()}"] if uid else []
    ca_key, leaf_key = tmp_path / "ca.key", tmp_path / "leaf.key"
    for key in (ca_key, leaf_key):
        openssl("genpkey", "-algorithm", "SM2", "-out", str(key))
    openssl(
        "req",
        "-new",
        "-x509",
        "-key",
        str(ca_key),
        "-sm3",
        *sig,
        "-subj",
        "/CN=OpenSSL Root",
        "-days",
        "30",
        "-out",
        str(tmp_path / "ca.pem"),
    )
    openssl(
        "req",
        "-new",
        "-key",
        str(leaf_key),
        "-sm3",
        *sig,
        "-subj",
        "/CN=openssl leaf",
        "-out",
        str(tmp_path / "leaf.csr"),
    )
    openssl(
        "x509",
        "-req",
        "-in",
        str(tmp_path / "leaf.csr"),
        "-CA",
        str(tmp_path / "ca.pem"),
        "-CAkey",
        str(ca_key),
        "-CAcreateserial",
        "-sm3",
        *sig,
        *vfy,
        "-days",
        "10",
        "-out",
        str(tmp_path / "leaf.pem"),
    )
    root = cx.load_pem_x509_certificate((tmp_path / "ca.pem").read_bytes())
    csr = cx.load_pem_x509_csr((tmp_path / "leaf.csr").read_bytes())
    leaf = cx.load_pem_x509_certificate((tmp_path / "leaf.pem").read_bytes())
    assert x509.public_key(leaf) == sm2.load_pem_private_key(leaf_key.read_bytes()).public_key()
    assert x509.is_signature_valid(csr, uid=uid)
    assert x509.verify_chain(leaf, [], [root], uid=uid) == [leaf, root]
    x509.verify_directly_issued_by(root, root, uid=uid)
    other = b"" if uid else x509.DEFAULT_UID
    assert not x509.is_signature_valid(csr, uid=other)
    with pytest.raises(InvalidSignature):
        x509.verify_directly_issued_by(leaf, root, uid=other)


def test_chain_made_here_verifies_in_openssl(chain, tmp_path):
    root, inter, leaf = (
        _write(tmp_path / f"{n}.pem", c)
        for n, c in (("root", chain.root), ("int", chain.intermediate), ("leaf", chain.leaf))
    )
    # openssl verify applies -vfyopt to the certificate it is given only, so each link is checked as a target:
    # the intermediate under the root, the leaf under the intermediate taken as trust anchor.
    for args in (["-CAfile", root, inter], ["-partial_chain", "-CAfile", inter, leaf]):
        assert openssl("verify", "-vfyopt", STANDARD, *args).stdout.strip().endswith(b"OK")
        # Under the empty ID (openssl's default) it must fail: the ID is really in the signatures.
        assert openssl("verify", *args, check=False).returncode != 0
    # A whole chain in one call fails at the intermediate, whose signature openssl checks with the empty ID.
    result = openssl("verify", "-vfyopt", STANDARD, "-CAfile", root, "-untrusted", inter, leaf, check=False)
    assert result.returncode != 0 and b"error 7 at 1 depth" in result.stdout + result.stderr


def test_request_made_here_verifies_in_openssl(chain, tmp_path):
    san = cx.SubjectAlternativeName([cx.DNSName("req.example")])
    csr = (
        x509.CertificateSigningRequestBuilder()
        .subject_name(name("req.example"))
        .add_extension(san, False)
        .sign(chain.leaf_key)
    )
    path = _write(tmp_path / "r.csr", csr)
    # OpenSSL 3.0's req -verify exits 0 either way (its verdict is in the message); 3.6 exits 1 on a failure.
    result = openssl("req", "-verify", "-noout", "-in", path, "-vfyopt", STANDARD)
    assert b"verify OK" in result.stdout + result.stderr
    result = openssl("req", "-verify", "-noout", "-in", path, check=False)
    assert re.search(rb"verify failure|self-signature does not match", result.stdout + result.stderr)
    text = openssl("req", "-text", "-noout", "-in", path).stdout
    assert b"DNS:req.example" in text and b"SM2-with-SM3" in text


def test_openssl_reads_certificates_made_here(chain, tmp_path):
    text = openssl("x509", "-text", "-noout", "-in", _write(tmp_path / "leaf.pem", chain.leaf)).stdout.decode()
    assert "Signature Algorithm: SM2-with-SM3" in text and "ASN1 OID: SM2" in text
    # OpenSSL 3.0 prints "CN = x", later versions "CN=x".
    assert re.search(r"Subject: CN ?= ?leaf\.example", text) and re.search(r"Issuer: CN ?= ?Intermediate CA", text)
    assert "DNS:leaf.example" in text and "Serial Number: 12" in text
    root_text = openssl("x509", "-text", "-noout", "-in", _write(tmp_path / "root.pem", chain.root)).stdout
    assert b"CA:TRUE" in root_text and b"Certificate Sign" in root_text


def test_openssl_issues_under_a_ca_key_made_here(chain, tmp_path):
    ca_key = tmp_path / "ca.key"
    ca_key.write_bytes(chain.int_key.private_bytes())
    leaf_key = tmp_path / "leaf.key"
    openssl("genpkey", "-algorithm", "SM2", "-out", str(leaf_key))
    openssl(
        "req",
        "-new",
        "-key",
        str(leaf_key),
        "-sm3",
        "-sigopt",
        STANDARD,
        "-subj",
        "/CN=issued by openssl",
        "-out",
        str(tmp_path / "leaf.csr"),
    )
    openssl(
        "x509",
        "-req",
        "-in",
        str(tmp_path / "leaf.csr"),
        "-CA",
        _write(tmp_path / "int.pem", chain.intermediate),
        "-CAkey",
        str(ca_key),
        "-set_serial",
        "77",
        "-sm3",
        "-sigopt",
        STANDARD,
        "-vfyopt",
        STANDARD,
        "-days",
        "10",
        "-out",
        str(tmp_path / "leaf.pem"),
    )
    leaf = cx.load_pem_x509_certificate((tmp_path / "leaf.pem").read_bytes())
    assert x509.verify_chain(leaf, [chain.intermediate], [chain.root]) == [leaf, chain.intermediate, chain.root]
