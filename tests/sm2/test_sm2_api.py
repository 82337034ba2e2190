"""kyber_alg.sm2's key classes: encodings and their round trips (leading zero bytes in every format),
ciphertext layouts, signatures, errors, and the object protocol (equality, pickling, copies, repr)."""

from __future__ import annotations

import copy
import os
import pickle
import secrets
import subprocess
import sys

import pytest
import sm2_api_support as support
import sm2_reference as ref
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from hypothesis import given, settings
from hypothesis import strategies as st

from kyber_alg import _asn1 as asn1
from kyber_alg import _testing, sm2
from kyber_alg.exceptions import InvalidSignature

FORMATS = ["c1c3c2", "c1c2c3", "der"]
KEY = sm2.SM2PrivateKey.generate()


# ---------------------------------------------------------------- keys


@pytest.mark.parametrize("encoding, fmt", [("pem", "pkcs8"), ("der", "pkcs8"), ("pem", "sec1"), ("der", "sec1")])
@pytest.mark.parametrize("which", ["random", "zero_d", "zero_x", "zero_y"])
def test_private_key_encodings_round_trip(encoding, fmt, which):
    key = {
        "random": KEY,
        "zero_d": support.key_with_zero_d(),
        "zero_x": support.key_with_zero_x(),
        "zero_y": support.key_with_zero_y(),
    }[which]
    data = key.private_bytes(encoding, fmt)
    load = sm2.load_pem_private_key if encoding == "pem" else sm2.load_der_private_key
    loaded = load(data)
    assert loaded.private_bytes_raw() == key.private_bytes_raw() and loaded.public_key() == key.public_key()
    der = asn1.pem_decode(data, ("PRIVATE KEY", "EC PRIVATE KEY"), "x")[1] if encoding == "pem" else data
    # The private key is always 32 bytes, whatever its leading zeros.
    assert asn1.octet_string(key.private_bytes_raw()) in der


@pytest.mark.parametrize("which", ["random", "zero_x", "zero_y"])
def test_public_key_encodings_round_trip(which):
    pub = {"random": KEY, "zero_x": support.key_with_zero_x(), "zero_y": support.key_with_zero_y()}[which].public_key()
    raw = pub.public_bytes_raw()
    assert len(raw) == 65 and raw[0] == 4 and raw[1:] == pub.x.to_bytes(32, "big") + pub.y.to_bytes(32, "big")
    compressed = pub.public_bytes_raw(compressed=True)
    assert compressed == bytes([2 + (pub.y & 1)]) + raw[1:33]
    for encoded in (raw, compressed, raw[1:], bytearray(raw), memoryview(compressed)):
        assert sm2.SM2PublicKey.from_public_bytes(encoded) == pub
    assert sm2.load_pem_public_key(pub.public_bytes()) == pub
    assert sm2.load_der_public_key(pub.public_bytes("der")) == pub
    assert pub.public_bytes("der") == bytes.fromhex("3059301306072a8648ce3d020106082a811ccf5501822d034200") + raw


@pytest.mark.parametrize("d", [0, ref.N - 1, ref.N, 2**256 - 1])
def test_private_key_range(d):
    with pytest.raises(ValueError, match=r"outside \[1, n-2\]"):
        sm2.SM2PrivateKey.from_private_bytes(d.to_bytes(32, "big"))


@pytest.mark.parametrize(
    "data, message",
    [
        (b"\x04" + bytes(64), "point at infinity"),
        (b"\x04" + (1).to_bytes(32, "big") * 2, "not on the SM2 curve"),
        (b"\x05" + bytes(64), "unknown point prefix 0x05"),
        (b"\x02" + ref.P.to_bytes(32, "big"), "x is not below p"),
        (bytes(40), "65 bytes"),
    ],
)
def test_public_key_errors_name_the_problem(data, message):
    with pytest.raises(ValueError, match=message):
        sm2.SM2PublicKey.from_public_bytes(data)


def test_compressed_point_without_a_square_root_is_refused():
    x = next(x for x in range(2, 100) if pow((x**3 - 3 * x + ref.B) % ref.P, (ref.P - 1) // 2, ref.P) != 1)
    with pytest.raises(ValueError, match="no y for this x"):
        sm2.SM2PublicKey.from_public_bytes(b"\x03" + x.to_bytes(32, "big"))


def _foreign_keys():
    p256 = ec.generate_private_key(ec.SECP256R1())
    ed = ed25519.Ed25519PrivateKey.generate()
    pkcs8, spki = serialization.PrivateFormat.PKCS8, serialization.PublicFormat.SubjectPublicKeyInfo
    pem, none = serialization.Encoding.PEM, serialization.NoEncryption()
    return [
        ("p256 pkcs8", sm2.load_pem_private_key, p256.private_bytes(pem, pkcs8, none), "prime256v1"),
        (
            "p256 sec1",
            sm2.load_pem_private_key,
            p256.private_bytes(pem, serialization.PrivateFormat.TraditionalOpenSSL, none),
            "prime256v1",
        ),
        ("p256 spki", sm2.load_pem_public_key, p256.public_key().public_bytes(pem, spki), "prime256v1"),
        ("ed25519 pkcs8", sm2.load_pem_private_key, ed.private_bytes(pem, pkcs8, none), "Ed25519"),
        ("ed25519 spki", sm2.load_pem_public_key, ed.public_key().public_bytes(pem, spki), "Ed25519"),
        (
            "encrypted",
            sm2.load_pem_private_key,
            p256.private_bytes(pem, pkcs8, serialization.BestAvailableEncryption(b"pw")),
            "encrypted",
        ),
        ("public as private", sm2.load_pem_private_key, KEY.public_key().public_bytes(), "labelled 'PUBLIC KEY'"),
    ]


@pytest.mark.parametrize("name, load, data, message", _foreign_keys(), ids=lambda v: v if isinstance(v, str) else "")
def test_other_curves_and_algorithms_are_named(name, load, data, message):
    with pytest.raises(ValueError, match=message):
        load(data)


def test_sec1_with_a_foreign_public_key_is_refused():
    other = sm2.SM2PrivateKey.generate().public_key().public_bytes_raw()
    der = KEY.private_bytes("der", "sec1")
    assert KEY.public_key().public_bytes_raw() in der
    with pytest.raises(ValueError, match="does not match the private key"):
        sm2.load_der_private_key(der.replace(KEY.public_key().public_bytes_raw(), other))


VARIANTS = support.private_key_variants(KEY)


@pytest.mark.parametrize("name", VARIANTS)
def test_private_key_containers_are_read_strictly(name):
    # One reading for every container field, as OpenSSL's (test_sm2_interop.py checks that it agrees).
    valid, der = VARIANTS[name]
    label = "EC PRIVATE KEY" if name.startswith("sec1") or name.startswith("ECPrivateKey") else "PRIVATE KEY"
    for load, data in ((sm2.load_der_private_key, der), (sm2.load_pem_private_key, asn1.pem_encode(label, der))):
        if valid:
            assert load(data).private_bytes_raw() == KEY.private_bytes_raw()
        else:
            with pytest.raises(ValueError):
                load(data)


@pytest.mark.parametrize("cut", [1, 10, 40])
def test_truncated_keys_raise_value_error(cut):
    with pytest.raises(ValueError):
        sm2.load_der_private_key(KEY.private_bytes("der")[:-cut])
    with pytest.raises(ValueError):
        sm2.load_der_public_key(KEY.public_key().public_bytes("der")[:-cut])


def test_object_protocol():
    pub = KEY.public_key()
    assert pickle.loads(pickle.dumps(pub)) == pub and hash(pickle.loads(pickle.dumps(pub))) == hash(pub)
    assert pub != sm2.SM2PrivateKey.generate().public_key() and pub != pub.public_bytes_raw()
    with pytest.raises(TypeError, match="cannot pickle"):
        pickle.dumps(KEY)
    assert copy.copy(KEY) is KEY and copy.deepcopy(KEY) is KEY and copy.copy(pub) is pub
    assert KEY.private_bytes_raw().hex() not in repr(KEY) and "SM2PrivateKey" in repr(KEY)
    with pytest.raises(TypeError):
        sm2.SM2PrivateKey(b"\x01" * 32)  # type: ignore[arg-type]
    with pytest.raises(AttributeError):
        KEY.extra = 1  # type: ignore[attr-defined]


# ---------------------------------------------------------------- signatures


@pytest.mark.parametrize("encoding", ["der", "raw"])
def test_sign_and_verify(sm2api_path, encoding):
    pub = KEY.public_key()
    for uid in (sm2.DEFAULT_UID, b"", b"x" * 8191):
        sig = KEY.sign(b"message", uid=uid, encoding=encoding)
        pub.verify(sig, bytearray(b"message"), uid=uid, encoding=encoding)
        with pytest.raises(InvalidSignature):
            pub.verify(sig, b"message", uid=uid + b"!" if len(uid) < 8191 else b"", encoding=encoding)
    digest = ref.sm3(pub.z() + b"message")
    pub.verify(KEY.sign_digest(digest, encoding=encoding), b"message", encoding=encoding)
    pub.verify_digest(KEY.sign(b"message", encoding=encoding), digest, encoding=encoding)


@pytest.mark.parametrize("part", [0, 1])
def test_signatures_with_a_short_r_or_s(part):
    digest = bytes(range(32))
    raw = support.signature_with_short(KEY, digest, part)
    der = sm2._signature_from_raw(raw, "der")
    r, s = int.from_bytes(raw[:32], "big"), int.from_bytes(raw[32:], "big")
    assert der == asn1.sequence(asn1.integer(r), asn1.integer(s))
    assert len(asn1.integer((r, s)[part])) <= 34  # at most 32 content bytes: the 00 byte is gone
    KEY.public_key().verify_digest(der, digest)
    KEY.public_key().verify_digest(raw, digest, encoding="raw")


@pytest.mark.parametrize("part, leading", [(0, "zero"), (1, "zero"), (0, "high"), (1, "high")])
def test_native_der_signature_is_the_minimal_encoding(part, leading):
    # sign()/sign_digest() encode natively: a leading 00 byte dropped, a 00 added before a high bit.
    digest = bytes(range(32))
    while True:
        k = (secrets.randbelow(ref.N - 1) + 1).to_bytes(32, "big")
        raw = KEY._key._sign_digest_with_nonce(digest, k)
        if (raw[32 * part] == 0) if leading == "zero" else (raw[32 * part] >= 0x80):
            break
    assert KEY._key._sign_digest_with_nonce(digest, k, True) == sm2._signature_from_raw(raw, "der")


def _bad_signatures():
    good = KEY.sign(b"m", encoding="raw")
    r, s = int.from_bytes(good[:32], "big"), int.from_bytes(good[32:], "big")
    der = sm2._signature_from_raw(good, "der")
    return [
        ("raw", good[:-1]),
        ("raw", b""),
        ("raw", bytes(64)),
        ("raw", good[:32] + ref.N.to_bytes(32, "big")),
        ("raw", good[:32] + (s + ref.N).to_bytes(32, "big") if s + ref.N < 2**256 else good[:32] + bytes(32)),
        ("der", der[:-1]),
        ("der", der + b"\0"),
        ("der", b"\x30\x00"),
        ("der", good),
        ("der", asn1.sequence(asn1.integer(r), asn1.integer(s), asn1.integer(0))),
        ("der", asn1.sequence(asn1.integer(r), asn1.integer(s + ref.N))),
        ("der", asn1.sequence(asn1.integer(r), asn1.integer(2**300))),
        ("der", asn1.sequence(asn1.integer(-r), asn1.integer(s))),
        ("der", der[:4] + b"\x00" + der[4:]),
    ]


@pytest.mark.parametrize("encoding, signature", _bad_signatures())
def test_bad_signatures_raise_invalid_signature_only(encoding, signature):
    with pytest.raises(InvalidSignature):
        KEY.public_key().verify(signature, b"m", encoding=encoding)


def test_argument_errors():
    pub = KEY.public_key()
    with pytest.raises(ValueError, match="encoding must be one of 'der', 'raw'"):
        KEY.sign(b"m", encoding="hex")  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        KEY.sign("text")  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        pub.verify("sig", b"m")  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="must be 32 bytes"):
        KEY.sign_digest(b"short")
    with pytest.raises(ValueError, match="at most 8191"):
        pub.z(b"x" * 8192)
    with pytest.raises(ValueError, match="format must be one of"):
        pub.encrypt(b"m", format="C1C3C2")  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="empty"):
        pub.encrypt(b"")
    with pytest.raises(TypeError, match="SM2PublicKey"):
        KEY.exchange(KEY)  # type: ignore[arg-type]
    with pytest.raises(TypeError, match="length must be int"):
        sm2.key_exchange(KEY, KEY, pub, pub, 16.0)  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="at least 1"):
        sm2.key_exchange(KEY, KEY, pub, pub, 0)


# ---------------------------------------------------------------- cryptography's conventions (issue 26)


def test_cryptography_serialization_arguments():
    enc, private, public = serialization.Encoding, serialization.PrivateFormat, serialization.PublicFormat
    pub = KEY.public_key()
    assert KEY.private_bytes(enc.PEM, private.PKCS8, serialization.NoEncryption()) == KEY.private_bytes()
    assert KEY.private_bytes(enc.DER, private.TraditionalOpenSSL) == KEY.private_bytes("der", "sec1")
    assert pub.public_bytes(enc.DER, public.SubjectPublicKeyInfo) == pub.public_bytes("der")
    assert pub.public_bytes(enc.X962, public.UncompressedPoint) == pub.public_bytes_raw()
    assert pub.public_bytes(enc.X962, public.CompressedPoint) == pub.public_bytes_raw(compressed=True)
    assert pub.public_bytes("x962", "compressedpoint") == pub.public_bytes_raw(compressed=True)
    encrypted = serialization.BestAvailableEncryption(b"pw")
    for call, error in [
        (lambda: KEY.private_bytes(enc.PEM, private.PKCS8, encrypted), ValueError),
        (lambda: KEY.private_bytes(enc.Raw, private.Raw), ValueError),
        (lambda: KEY.private_bytes(enc.PEM, public.SubjectPublicKeyInfo), TypeError),
        (lambda: pub.public_bytes(enc.PEM, public.CompressedPoint), ValueError),
        (lambda: pub.public_bytes(enc.X962, public.SubjectPublicKeyInfo), ValueError),
    ]:
        with pytest.raises(error):
            call()


def test_loaders_take_cryptography_arguments():
    pem = KEY.private_bytes()
    assert sm2.load_pem_private_key(pem, password=None).private_bytes_raw() == KEY.private_bytes_raw()
    assert sm2.load_pem_private_key(pem.decode()).private_bytes_raw() == KEY.private_bytes_raw()
    assert sm2.load_pem_public_key(KEY.public_key().public_bytes().decode()) == KEY.public_key()
    assert sm2.load_der_private_key(KEY.private_bytes("der"), None).private_bytes_raw() == KEY.private_bytes_raw()
    for load, data in [(sm2.load_pem_private_key, pem), (sm2.load_der_private_key, KEY.private_bytes("der"))]:
        with pytest.raises(TypeError, match="not encrypted"):
            load(data, b"secret")
    p256 = ec.generate_private_key(ec.SECP256R1())
    for encoding in (serialization.Encoding.PEM, serialization.Encoding.DER):
        encrypted = p256.private_bytes(
            encoding, serialization.PrivateFormat.PKCS8, serialization.BestAvailableEncryption(b"pw")
        )
        load = sm2.load_pem_private_key if encoding == serialization.Encoding.PEM else sm2.load_der_private_key
        with pytest.raises(ValueError, match="encrypted private keys are not supported: decrypt it first"):
            load(encrypted, b"pw")


def test_exceptions_are_cryptography_s():
    from cryptography import exceptions

    with pytest.raises(exceptions.InvalidSignature):
        KEY.public_key().verify(KEY.sign(b"m"), b"other")
    assert issubclass(InvalidSignature, exceptions.InvalidSignature)
    import kyber_alg.exceptions as ours

    assert issubclass(ours.InvalidTag, exceptions.InvalidTag)


def test_exceptions_without_cryptography(tmp_path):
    # cryptography stays optional: without it, the classes are plain Exceptions.
    (tmp_path / "cryptography").mkdir()
    (tmp_path / "cryptography" / "__init__.py").write_text("raise ImportError('not installed')\n")
    code = (
        "from kyber_alg import exceptions as e, sm2; k = sm2.SM2PrivateKey.generate()\n"
        "assert e.InvalidSignature.__bases__ == (Exception,) and e.InvalidTag.__bases__ == (Exception,)\n"
        "try: k.public_key().verify(b'x', b'm')\nexcept e.InvalidSignature: print('ok')\n"
    )
    env = {**os.environ, "PYTHONPATH": str(tmp_path)}
    out = subprocess.run([sys.executable, "-P", "-c", code], env=env, capture_output=True, text=True, check=True)
    assert out.stdout == "ok\n"


@pytest.mark.parametrize(("given", "used"), [("der", "c1c3c2"), ("der", "c1c2c3"), ("c1c3c2", "der")])
def test_decryption_of_another_layout_says_which(given, used):
    ct = KEY.public_key().encrypt(b"layout", given)
    with pytest.raises(sm2.DecryptionError, match=f"looks like {'DER' if given == 'der' else 'a raw'}"):
        KEY.decrypt(ct, used)


@pytest.mark.parametrize(("given", "used"), [("c1c2c3", "c1c3c2"), ("c1c3c2", "c1c2c3")])
def test_c3_mismatch_mentions_the_other_order(given, used):
    ct = KEY.public_key().encrypt(b"order" * 10, given)
    with pytest.raises(sm2.DecryptionError, match=f"C3 does not match.*format='{given}'"):
        KEY.decrypt(ct, used)
    # The hint is one text per format, whatever failed: the same for another key's ciphertext.
    other = sm2.SM2PrivateKey.generate().public_key().encrypt(b"order" * 10, used)
    with pytest.raises(sm2.DecryptionError) as wrong_key:
        KEY.decrypt(other, used)
    with pytest.raises(sm2.DecryptionError) as wrong_order:
        KEY.decrypt(ct, used)
    assert str(wrong_key.value) == str(wrong_order.value)


# ---------------------------------------------------------------- ciphertexts


@pytest.mark.parametrize("fmt", FORMATS)
@pytest.mark.parametrize("nonce", ["zero_x", "zero_y", "random"])
def test_ciphertext_formats_with_leading_zero_coordinates(sm2api_path, fmt, nonce):
    pub = KEY.public_key()
    k = {
        "zero_x": support.nonce_with_zero_c1(0),
        "zero_y": support.nonce_with_zero_c1(1),
        "random": (12345).to_bytes(32, "big"),
    }[nonce]
    message = b"leading zeros in C1"
    raw = _testing.sm2_encrypt_with_nonce(pub, message, k)
    c1 = raw[1:65]
    assert ref.encode(ref.mul(int.from_bytes(k, "big"), ref.G)) == c1
    ct = sm2.convert_ciphertext(raw, "c1c3c2", fmt)
    if fmt == "der":
        x, y = int.from_bytes(c1[:32], "big"), int.from_bytes(c1[32:], "big")
        assert ct.startswith(
            asn1.sequence(asn1.integer(x), asn1.integer(y), asn1.octet_string(raw[65:97]), asn1.octet_string(raw[97:]))[
                :8
            ]
        )
        assert asn1.integer(x) in ct and asn1.integer(y) in ct
    else:
        assert KEY.decrypt(ct[1:], fmt) == message  # C1 without its 04 byte
    assert KEY.decrypt(ct, fmt) == message
    for other in FORMATS:
        assert KEY.decrypt(sm2.convert_ciphertext(ct, fmt, other), other) == message


@pytest.mark.parametrize("fmt", ["c1c3c2", "c1c2c3"])
def test_unprefixed_c1_whose_x_starts_with_04(fmt):
    # Without its prefix this C1 begins with 04, like a prefixed one: the curve check tells them apart.
    raw = _testing.sm2_encrypt_with_nonce(KEY.public_key(), b"ambiguous", support.nonce_with_c1_x_starting_04(), fmt)
    assert raw[1] == 0x04
    assert KEY.decrypt(raw[1:], fmt) == KEY.decrypt(raw, fmt) == b"ambiguous"
    assert sm2.convert_ciphertext(raw[1:], fmt, fmt) == raw


@pytest.mark.parametrize("fmt", FORMATS)
def test_random_nonce_ciphertexts_have_the_stated_size(fmt):
    ct = KEY.public_key().encrypt(b"x" * 50, fmt)
    if fmt != "der":
        assert len(ct) == 97 + 50 and ct[0] == 4
    assert KEY.decrypt(ct, fmt) == b"x" * 50


def _damaged(fmt):
    ct = KEY.public_key().encrypt(b"secret message", fmt)
    yield "truncated", ct[:-1]
    yield "too short", ct[:90]
    yield "flipped last byte", ct[:-1] + bytes([ct[-1] ^ 1])
    yield "empty", b""
    yield "wrong key", sm2.SM2PrivateKey.generate().public_key().encrypt(b"secret message", fmt)
    if fmt == "der":
        yield "trailing byte", ct + b"\0"
        yield "bad tag", b"\x31" + ct[1:]
    else:
        yield "C1 off the curve", ct[:5] + bytes([ct[5] ^ 1]) + ct[6:]


@pytest.mark.parametrize("fmt", FORMATS)
def test_decryption_failures_are_decryption_errors(fmt):
    for name, ct in _damaged(fmt):
        with pytest.raises(sm2.DecryptionError) as info:
            KEY.decrypt(ct, fmt)
        assert isinstance(info.value, ValueError), name


def test_der_ciphertext_field_checks():
    ct = KEY.public_key().encrypt(b"abc", "der")
    x, y, c3, c2 = asn1.read_elements(asn1.read_exact(ct, asn1.SEQUENCE, "x"), "x")
    rebuild = lambda *items: asn1.sequence(*(asn1.tlv(i.tag, i.content) for i in items))
    cases = [
        (rebuild(x, y, c3), "expected SEQUENCE"),
        (rebuild(x, y, asn1.Element(asn1.OCTET_STRING, c3.content[:31]), c2), "C3 must be 32 bytes"),
        (rebuild(x, y, c3, asn1.Element(asn1.OCTET_STRING, b"")), "C2 is empty"),
        (rebuild(x, y, c2, asn1.Element(asn1.INTEGER, b"\x01")), "OCTET STRING"),
        (
            asn1.sequence(
                asn1.integer(ref.P),
                asn1.tlv(y.tag, y.content),
                asn1.tlv(c3.tag, c3.content),
                asn1.tlv(c2.tag, c2.content),
            ),
            "not below p",
        ),
    ]
    for data, message in cases:
        with pytest.raises(ValueError, match=message):
            sm2.convert_ciphertext(data, "der", "c1c3c2")


@settings(max_examples=25)
@given(st.binary(min_size=1, max_size=300), st.sampled_from(FORMATS), st.sampled_from(FORMATS))
def test_encrypt_convert_decrypt(message, fmt, other):
    ct = KEY.public_key().encrypt(message, fmt)
    converted = sm2.convert_ciphertext(ct, fmt, other)
    assert KEY.decrypt(converted, other) == message
    assert sm2.convert_ciphertext(converted, other, fmt) == ct


# ---------------------------------------------------------------- agreement


def test_key_exchange_confirmation_values_cross_check():
    a, b, ra, rb = (sm2.SM2PrivateKey.generate() for _ in range(4))
    key_a, s_a, expect_b = sm2.key_exchange(a, ra, b.public_key(), rb.public_key(), 48, uid=b"A", peer_uid=b"B")
    key_b, s_b, expect_a = sm2.key_exchange(
        b, rb, a.public_key(), ra.public_key(), 48, initiator=False, uid=b"B", peer_uid=b"A"
    )
    assert key_a == key_b and len(key_a) == 48 and s_a == expect_a and s_b == expect_b and s_a != s_b
    # A wrong peer ID or ephemeral key changes everything.
    key_c, s_c, _ = sm2.key_exchange(b, rb, a.public_key(), ra.public_key(), 48, initiator=False, uid=b"B")
    assert key_c != key_a and s_c != expect_b
    key_d, _, _ = sm2.key_exchange(b, ra, a.public_key(), rb.public_key(), 48, initiator=False, uid=b"B", peer_uid=b"A")
    assert key_d != key_a


def test_one_byte_decryptions_leave_shared_bytes_objects_alone():
    # CPython shares its one-byte bytes objects; a result built from C2's byte and then decrypted in place
    # would rewrite one of them.
    for value in range(256):
        assert KEY.decrypt(KEY.public_key().encrypt(bytes([value]))) == bytes([value])
    assert all(bytes([i])[0] == i and b"%c" % i == bytes([i]) for i in range(256))
