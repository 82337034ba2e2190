"""kyber_alg.sm2 against real peers, both ways: Debian's openssl command (keys, signatures with the
default and a custom ID, DER ciphertexts), gmssl-pyx (GmSSL: DER ciphertexts and signatures) and pysmx
(raw ciphertexts). Keys, signatures and C1 points with leading zero bytes are among the cases."""

from __future__ import annotations

import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
import sm2_api_support as support

from kyber_alg import sm2
from kyber_alg.exceptions import InvalidSignature

OPENSSL = shutil.which("openssl")


def _openssl_has_sm2() -> bool:
    if OPENSSL is None:
        return False
    proc = subprocess.run([OPENSSL, "genpkey", "-algorithm", "SM2"], capture_output=True)
    return proc.returncode == 0 and b"PRIVATE KEY" in proc.stdout


needs_openssl = pytest.mark.skipif(
    not _openssl_has_sm2(), reason="no openssl command with SM2 (Debian: apt-get install openssl)"
)


def openssl(*args: str, data: bytes | None = None, check: bool = True) -> subprocess.CompletedProcess[bytes]:
    proc = subprocess.run([OPENSSL, *args], input=data, capture_output=True, timeout=60)
    if check:
        assert proc.returncode == 0, proc.stderr.decode(errors="replace")
    return proc


def pkey_der_format() -> str:
    """The private key format that `openssl pkey -outform DER` writes with this openssl: the
    algorithm's own (SEC1 for SM2) up to OpenSSL 3.5, PKCS#8 from 3.6 on."""
    match = re.match(r"OpenSSL (\d+)\.(\d+)", openssl("version").stdout.decode())
    assert match, "unrecognised openssl version"
    return "pkcs8" if (int(match[1]), int(match[2])) >= (3, 6) else "sec1"


def _keys():
    return {
        "random": sm2.SM2PrivateKey.generate(),
        "zero_d": support.key_with_zero_d(),
        "zero_x": support.key_with_zero_x(),
        "zero_y": support.key_with_zero_y(),
    }


KEY_CASES = ["random", "zero_d", "zero_x", "zero_y"]


@pytest.fixture(scope="module")
def keys():
    return _keys()


# ---------------------------------------------------------------- openssl: keys


@needs_openssl
@pytest.mark.parametrize("name", support.private_key_variants(sm2.SM2PrivateKey.generate()))
def test_private_key_containers_read_as_openssl_reads_them(name):
    valid, der = support.private_key_variants(sm2.SM2PrivateKey.generate())[name]
    assert (openssl("pkey", "-inform", "DER", "-noout", data=der, check=False).returncode == 0) is valid
    try:
        sm2.load_der_private_key(der)
        ours = True
    except ValueError:
        ours = False
    assert ours is valid


@needs_openssl
def test_openssl_keys_load_here_in_every_encoding(tmp_path: Path):
    pem = openssl("genpkey", "-algorithm", "SM2").stdout
    (tmp_path / "k.pem").write_bytes(pem)
    key = sm2.load_pem_private_key(pem)
    pkey_der = openssl("pkey", "-in", str(tmp_path / "k.pem"), "-outform", "DER").stdout
    sec1_der = openssl("ec", "-in", str(tmp_path / "k.pem"), "-outform", "DER").stdout
    sec1_pem = openssl("ec", "-in", str(tmp_path / "k.pem")).stdout  # label SM2 PRIVATE KEY
    pkcs8_der = openssl("pkcs8", "-topk8", "-nocrypt", "-in", str(tmp_path / "k.pem"), "-outform", "DER").stdout
    pub_pem = openssl("pkey", "-in", str(tmp_path / "k.pem"), "-pubout").stdout
    pub_der = openssl("pkey", "-in", str(tmp_path / "k.pem"), "-pubout", "-outform", "DER").stdout
    assert sec1_pem.startswith(b"-----BEGIN SM2 PRIVATE KEY-----")
    for loaded in (
        sm2.load_der_private_key(sec1_der),
        sm2.load_pem_private_key(sec1_pem),
        sm2.load_der_private_key(pkcs8_der),
    ):
        assert loaded.private_bytes_raw() == key.private_bytes_raw()
    assert sm2.load_pem_public_key(pub_pem) == sm2.load_der_public_key(pub_der) == key.public_key()
    # ... and the bytes written here are openssl's for the same key.
    assert key.private_bytes() == pem and key.private_bytes("der", "pkcs8") == pkcs8_der
    assert key.private_bytes("der", "sec1") == sec1_der
    assert key.private_bytes("der", pkey_der_format()) == pkey_der
    assert key.private_bytes("pem", "sec1").splitlines()[1:-1] == sec1_pem.splitlines()[1:-1]
    assert key.public_key().public_bytes() == pub_pem and key.public_key().public_bytes("der") == pub_der


@needs_openssl
@pytest.mark.parametrize("which", KEY_CASES)
def test_keys_written_here_are_what_openssl_writes(keys, which, tmp_path: Path):
    key = keys[which]
    (tmp_path / "k.pem").write_bytes(key.private_bytes())
    (tmp_path / "k.der").write_bytes(key.private_bytes("der", "sec1"))
    (tmp_path / "pub.pem").write_bytes(key.public_key().public_bytes())
    assert openssl("pkey", "-in", str(tmp_path / "k.pem")).stdout == key.private_bytes()
    assert openssl(
        "pkey", "-inform", "DER", "-in", str(tmp_path / "k.der"), "-outform", "DER"
    ).stdout == key.private_bytes("der", pkey_der_format())
    assert openssl(
        "ec", "-inform", "DER", "-in", str(tmp_path / "k.der"), "-outform", "DER"
    ).stdout == key.private_bytes("der", "sec1")
    assert openssl("pkey", "-pubin", "-in", str(tmp_path / "pub.pem")).stdout == key.public_key().public_bytes()
    text = openssl("pkey", "-in", str(tmp_path / "k.pem"), "-text", "-noout").stdout.decode()
    assert "SM2" in text


# ---------------------------------------------------------------- openssl: signatures


@needs_openssl
@pytest.mark.parametrize("uid", [sm2.DEFAULT_UID, b"alice@example.com"])
@pytest.mark.parametrize("which", KEY_CASES)
def test_signatures_verify_in_openssl(keys, which, uid, tmp_path: Path):
    key = keys[which]
    (tmp_path / "pub.pem").write_bytes(key.public_key().public_bytes())
    (tmp_path / "msg").write_bytes(b"signed by kyber_alg")
    signatures = [key.sign(b"signed by kyber_alg", uid=uid)]
    if which == "random" and uid == sm2.DEFAULT_UID:  # r, then s, with a leading zero byte
        digest = support.sm3_digest(key.public_key().z(uid) + b"signed by kyber_alg")
        signatures += [
            sm2._signature_from_raw(support.signature_with_short(key, digest, part), "der") for part in (0, 1)
        ]
    for sig in signatures:
        (tmp_path / "sig").write_bytes(sig)
        args = [
            "pkeyutl",
            "-verify",
            "-pubin",
            "-inkey",
            str(tmp_path / "pub.pem"),
            "-rawin",
            "-digest",
            "sm3",
            "-in",
            str(tmp_path / "msg"),
            "-sigfile",
            str(tmp_path / "sig"),
            "-pkeyopt",
            "distid:" + uid.decode(),
        ]
        assert b"Signature Verified Successfully" in openssl(*args).stdout
        (tmp_path / "msg").write_bytes(b"signed by someone else")
        assert openssl(*args, check=False).returncode != 0
        (tmp_path / "msg").write_bytes(b"signed by kyber_alg")


@needs_openssl
@pytest.mark.parametrize("uid", [None, b"1234567812345678", b"bob"])
def test_openssl_signatures_verify_here(uid, tmp_path: Path):
    pem = openssl("genpkey", "-algorithm", "SM2").stdout
    (tmp_path / "k.pem").write_bytes(pem)
    (tmp_path / "msg").write_bytes(b"signed by openssl")
    args = [
        "pkeyutl",
        "-sign",
        "-inkey",
        str(tmp_path / "k.pem"),
        "-rawin",
        "-digest",
        "sm3",
        "-in",
        str(tmp_path / "msg"),
    ]
    if uid is not None:
        args += ["-pkeyopt", "distid:" + uid.decode()]
    sig = openssl(*args).stdout
    pub = sm2.load_pem_private_key(pem).public_key()
    pub.verify(sig, b"signed by openssl", uid=b"" if uid is None else uid)  # OpenSSL 3.0's default: empty ID
    with pytest.raises(InvalidSignature):
        pub.verify(sig, b"signed by openssl", uid=b"other" if uid is None else b"")


# ---------------------------------------------------------------- openssl: encryption


@needs_openssl
@pytest.mark.parametrize("nonce", ["zero_x", "zero_y", "random"])
def test_der_ciphertexts_decrypt_in_openssl(keys, nonce, tmp_path: Path):
    key = keys["random"]
    (tmp_path / "k.pem").write_bytes(key.private_bytes())
    message = b"the floofy bunnies"
    (tmp_path / "ct").write_bytes(support.ciphertext_with_c1(key, message, nonce, "der"))
    assert (
        openssl("pkeyutl", "-decrypt", "-inkey", str(tmp_path / "k.pem"), "-in", str(tmp_path / "ct")).stdout == message
    )


@needs_openssl
@pytest.mark.parametrize("which", ["random", "zero_x", "zero_y"])
def test_openssl_ciphertexts_decrypt_here(keys, which, tmp_path: Path):
    key = keys[which]
    (tmp_path / "pub.pem").write_bytes(key.public_key().public_bytes())
    for size in (1, 100):
        message = bytes(range(size))
        (tmp_path / "msg").write_bytes(message)
        ct = openssl(
            "pkeyutl", "-encrypt", "-pubin", "-inkey", str(tmp_path / "pub.pem"), "-in", str(tmp_path / "msg")
        ).stdout
        assert key.decrypt(ct, "der") == message


@needs_openssl
def test_ecdh_against_openssl_derive(keys, tmp_path: Path):
    a, b = keys["random"], keys["zero_x"]
    (tmp_path / "a.pem").write_bytes(a.private_bytes())
    (tmp_path / "b.pem").write_bytes(b.public_key().public_bytes())
    proc = openssl(
        "pkeyutl", "-derive", "-inkey", str(tmp_path / "a.pem"), "-peerkey", str(tmp_path / "b.pem"), check=False
    )
    if proc.returncode != 0:
        pytest.skip(
            "this openssl has no ECDH for SM2 keys (OpenSSL 3.0: 'operation not supported for this "
            "keytype'); ECDH is checked against the model in test_sm2_standard_examples.py"
        )
    assert proc.stdout == a.exchange(b.public_key())


# ---------------------------------------------------------------- gmssl-pyx


@pytest.fixture(scope="module")
def gmssl():
    # gmssl-pyx ships wheels for CPython 3.11 to 3.14 only; the test extra leaves it out from 3.15 on.
    if sys.version_info >= (3, 15):
        pytest.skip("gmssl-pyx has no wheel for CPython 3.15 and later")
    import gmssl_pyx

    return gmssl_pyx


@pytest.mark.parametrize("uid", [sm2.DEFAULT_UID, b"carol"])
@pytest.mark.parametrize("which", KEY_CASES)
def test_signatures_with_gmssl(gmssl, keys, which, uid):
    key = keys[which]
    pub64, d = key.public_key().public_bytes_raw()[1:], key.private_bytes_raw()
    ours = key.sign(b"message", uid=uid)
    assert gmssl.sm2_verify(pub64, b"message", ours, signer_id=uid)
    assert not gmssl.sm2_verify(pub64, b"message!", ours, signer_id=uid)
    theirs = gmssl.sm2_sign(d, pub64, b"message", signer_id=uid)
    key.public_key().verify(theirs, b"message", uid=uid)
    digest = support.sm3_digest(b"any 32 bytes digest")
    key.public_key().verify_digest(gmssl.sm2_sign_sm3_digest(d, digest), digest)
    assert gmssl.sm2_verify_sm3_digest(pub64, digest, key.sign_digest(digest))


@pytest.mark.parametrize("nonce", ["zero_x", "zero_y", "random"])
def test_der_ciphertexts_with_gmssl(gmssl, keys, nonce):
    key = keys["zero_y"]
    pub64, d = key.public_key().public_bytes_raw()[1:], key.private_bytes_raw()
    message = b"GmSSL and kyber_alg"
    ours = support.ciphertext_with_c1(key, message, nonce, "der")
    assert gmssl.sm2_decrypt(d, ours) == message
    for _ in range(3):
        assert key.decrypt(gmssl.sm2_encrypt(pub64, message), "der") == message


# ---------------------------------------------------------------- pysmx


@pytest.mark.parametrize("fmt, mode", [("c1c3c2", "C1C3C2"), ("c1c2c3", "C1C2C3")])
@pytest.mark.parametrize("nonce", ["zero_x", "zero_y", "random"])
def test_raw_ciphertexts_with_pysmx(keys, fmt, mode, nonce):
    pysmx = pytest.importorskip("pysmx.SM2")
    key = keys["zero_x"]
    pub64, d = key.public_key().public_bytes_raw()[1:], key.private_bytes_raw()
    message = b"pysmx writes C1 without 04"
    ours = support.ciphertext_with_c1(key, message, nonce, fmt)
    assert pysmx.Decrypt(ours[1:], d, 64, mode=mode) == message
    theirs = pysmx.Encrypt(message, pub64, 64, 0, mode=mode)
    assert key.decrypt(theirs, fmt) == message
    assert sm2.convert_ciphertext(theirs, fmt, fmt) == b"\x04" + theirs


# ---------------------------------------------------------------- peers' own leading zeros


def _first(produce, accept, limit=3000):
    """The first output of produce() that accept() takes (about 1 in 128 for a zero byte in r or s, or in
    x or y)."""
    for _ in range(limit):
        value = produce()
        if value is not None and accept(value):
            return value
    raise AssertionError("no output with a leading zero byte in the given number of tries")


def _short_der_pair(der: bytes) -> bool:
    """True if one of the first two INTEGERs of a DER SEQUENCE (r and s, or x and y) is below 2^248."""
    from kyber_alg import _asn1 as asn1

    items = asn1.read_elements(asn1.read_exact(der, asn1.SEQUENCE, "x"), "x")
    return any(asn1.read_integer(item, "x") < 1 << 248 for item in items[:2])


@needs_openssl
def test_openssl_outputs_with_leading_zeros_are_read_here(keys, tmp_path: Path):
    key = keys["random"]
    (tmp_path / "k.pem").write_bytes(key.private_bytes())
    (tmp_path / "pub.pem").write_bytes(key.public_key().public_bytes())
    (tmp_path / "msg").write_bytes(b"short integers")
    sig = _first(
        lambda: (
            openssl(
                "pkeyutl",
                "-sign",
                "-inkey",
                str(tmp_path / "k.pem"),
                "-rawin",
                "-digest",
                "sm3",
                "-in",
                str(tmp_path / "msg"),
            ).stdout
        ),
        _short_der_pair,
    )
    key.public_key().verify(sig, b"short integers", uid=b"")
    ct = _first(
        lambda: (
            openssl(
                "pkeyutl", "-encrypt", "-pubin", "-inkey", str(tmp_path / "pub.pem"), "-in", str(tmp_path / "msg")
            ).stdout
        ),
        _short_der_pair,
    )
    assert key.decrypt(ct, "der") == b"short integers"


def test_gmssl_and_pysmx_outputs_with_leading_zeros_are_read_here(gmssl, keys):
    pysmx = pytest.importorskip("pysmx.SM2")
    key = keys["random"]
    pub64, d = key.public_key().public_bytes_raw()[1:], key.private_bytes_raw()
    digest = support.sm3_digest(key.public_key().z() + b"zeros")  # its digest signing is the fast one
    sig = _first(lambda: gmssl.sm2_sign_sm3_digest(d, digest), _short_der_pair)
    key.public_key().verify(sig, b"zeros")
    ct = _first(lambda: gmssl.sm2_encrypt(pub64, b"zeros"), _short_der_pair)
    assert key.decrypt(ct, "der") == b"zeros"
    raw = _first(lambda: pysmx.Encrypt(b"zeros", pub64, 64, 0), lambda c: c[0] == 0 or c[32] == 0)
    assert key.decrypt(raw) == b"zeros"
