"""Behaviour of kyber_alg.mlkem: round trips, the RFC 9935 encodings and every family of bad input."""

from __future__ import annotations

import copy
import os

import pytest
from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec
from mlkem_testlib import BY_BITS, SETS, set_params

from kyber_alg import _asn1, mlkem

SEED = bytes(range(64))


@set_params
def test_round_trip_sizes_and_implicit_rejection(kem):
    sk = kem.private.generate()
    pk = sk.public_key()
    assert type(sk) is kem.private and type(pk) is kem.public
    shared, ct = pk.encapsulate()
    assert (len(shared), len(ct), len(pk.public_bytes_raw())) == (32, kem.ct, kem.ek)
    assert sk.decapsulate(ct) == shared and sk.decapsulate(bytearray(ct)) == shared
    assert sk.decapsulate(ciphertext=memoryview(ct)) == shared
    assert pk.encapsulate() != (shared, ct)  # fresh randomness each time
    tampered = bytearray(ct)
    tampered[-1] ^= 1
    rejected = sk.decapsulate(bytes(tampered))  # implicit rejection: a secret, no error
    assert rejected != shared and rejected == sk.decapsulate(bytes(tampered))
    assert kem.private.generate().decapsulate(ct) != shared


@set_params
def test_seed_determines_the_key(kem):
    sk = kem.private.from_seed_bytes(SEED)
    assert sk.private_bytes_raw() == SEED and sk._has_seed()
    assert kem.private.from_seed_bytes(data=bytearray(SEED))._expanded_bytes() == sk._expanded_bytes()
    other = kem.private.from_seed_bytes(SEED[:32] + bytes(32))  # z only lands at the end of dk
    assert other.public_key() == sk.public_key() and other._expanded_bytes()[-32:] == bytes(32)
    assert kem.private.from_seed_bytes(bytes(32) + SEED[32:]).public_key() != sk.public_key()
    m = bytes(range(100, 132))
    assert sk.public_key()._encapsulate_deterministic(m) == sk.public_key()._encapsulate_deterministic(m)


@set_params
def test_encodings_follow_rfc_9935(kem):
    sk = kem.private.from_seed_bytes(SEED)
    oid = _asn1.oid(f"2.16.840.1.101.3.4.4.{SETS.index(kem) + 1}")
    der = sk.private_bytes("der")
    assert der == _asn1.sequence(_asn1.integer(0), _asn1.sequence(oid), _asn1.octet_string(b"\x80\x40" + SEED))
    assert sk.private_bytes("PEM") == _asn1.pem_encode("PRIVATE KEY", der)
    assert sk.private_bytes("raw", "raw") == SEED == sk.private_bytes(serialization.Encoding.Raw)
    spki = sk.public_key().public_bytes("der")
    assert spki == _asn1.sequence(_asn1.sequence(oid), _asn1.bit_string(sk.public_key().public_bytes_raw()))
    assert sk.public_key().public_bytes("pem", "SubjectPublicKeyInfo") == _asn1.pem_encode("PUBLIC KEY", spki)
    assert mlkem.load_der_private_key(der)._expanded_bytes() == sk._expanded_bytes()
    assert mlkem.load_pem_public_key(sk.public_key().public_bytes("pem")) == sk.public_key()


def test_512_algorithm_identifier_is_exact():
    spki = mlkem.MLKEM512PrivateKey.from_seed_bytes(SEED).public_key().public_bytes("der")
    assert spki[4:17].hex() == "300b0609608648016503040401"


@set_params
def test_expanded_and_both_forms_load(kem):
    sk = kem.private.from_seed_bytes(SEED)
    expanded = _asn1.private_key_info(sk._set.oid, _asn1.octet_string(sk._expanded_bytes()))
    only = mlkem.load_der_private_key(expanded)
    assert type(only) is kem.private and not only._has_seed() and only.public_key() == sk.public_key()
    with pytest.raises(ValueError, match="no seed"):
        only.private_bytes_raw()
    assert only.private_bytes("der") == expanded  # written back in the form it has
    shared, ct = sk.public_key().encapsulate()
    assert only.decapsulate(ct) == shared
    both = _asn1.private_key_info(
        sk._set.oid, _asn1.sequence(_asn1.octet_string(SEED), _asn1.octet_string(sk._expanded_bytes()))
    )
    assert mlkem.load_der_private_key(both).private_bytes("der") == sk.private_bytes("der")
    wrong_seed = _asn1.private_key_info(
        sk._set.oid, _asn1.sequence(_asn1.octet_string(bytes(64)), _asn1.octet_string(sk._expanded_bytes()))
    )
    with pytest.raises(ValueError, match="not the one its seed gives"):
        mlkem.load_der_private_key(wrong_seed)


@set_params
def test_expanded_key_checks(kem):
    dk = bytearray(kem.private.from_seed_bytes(SEED)._expanded_bytes())
    ek_start = 384 * (SETS.index(kem) + 2)
    oid = kem.private._set.oid
    bad_hash = bytes(dk[:-64]) + bytes(32) + bytes(dk[-32:])
    # Directly, and through the loader (whose expandedKey DER goes straight to the same native call).
    for load in (
        lambda d: kem.private._from_expanded(d, None),
        lambda d: mlkem.load_der_private_key(bytearray(_asn1.private_key_info(oid, _asn1.octet_string(d)))),
    ):
        with pytest.raises(ValueError, match="hash check"):
            load(bad_hash)
        damaged = bytearray(dk)
        damaged[ek_start : ek_start + 2] = b"\xff\xff"  # first coefficient of ek = 4095 >= q
        with pytest.raises(ValueError, match="modulus check"):
            load(bytes(damaged))


@pytest.mark.parametrize(("bits", "other"), [(512, 768), (768, 1024), (1024, 512)])
def test_wrong_parameter_set_is_named(bits, other):
    kem, found = BY_BITS[bits], BY_BITS[other]
    sk = found.private.from_seed_bytes(SEED)
    with pytest.raises(ValueError, match=f"got {found.ek} \\(the length of an {found.name} public key\\)"):
        kem.public.from_public_bytes(sk.public_key().public_bytes_raw())
    with pytest.raises(ValueError, match=f"the length of an {found.name} ciphertext"):
        kem.private.from_seed_bytes(SEED).decapsulate(bytes(found.ct))
    mixed = _asn1.private_key_info(kem.private._set.oid, _asn1.octet_string(sk._expanded_bytes()))
    with pytest.raises(ValueError, match=f"found {found.dk} \\(the size of an {found.name} key\\)"):
        mlkem.load_der_private_key(mixed)


def test_other_algorithms_are_named():
    ec_key = ec.generate_private_key(ec.SECP256R1())
    pem = ec_key.private_bytes(
        serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8, serialization.NoEncryption()
    )
    with pytest.raises(ValueError, match=r"the key is EC \(1.2.840.10045.2.1\), not ML-KEM"):
        mlkem.load_pem_private_key(pem)
    spki = ec_key.public_key().public_bytes(serialization.Encoding.DER, serialization.PublicFormat.SubjectPublicKeyInfo)
    with pytest.raises(ValueError, match="EC"):
        mlkem.load_der_public_key(spki)
    with pytest.raises(ValueError, match=r"OID 1.2.3.4, not ML-KEM"):
        mlkem.load_der_public_key(_asn1.subject_public_key_info("1.2.3.4", bytes(800)))


@pytest.mark.parametrize(
    ("der", "message"),
    [
        (_asn1.private_key_info("2.16.840.1.101.3.4.4.2", _asn1.tlv(0x80, bytes(63))), "seed is 64 bytes, found 63"),
        (_asn1.private_key_info("2.16.840.1.101.3.4.4.2", _asn1.integer(5)), "none of the seed, expandedKey and both"),
        (_asn1.private_key_info("2.16.840.1.101.3.4.4.2", _asn1.tlv(0x80, SEED) + b"\x00"), "trailing data"),
        (_asn1.private_key_info("2.16.840.1.101.3.4.4.2", _asn1.sequence(_asn1.octet_string(SEED))), "'both' form"),
        (
            _asn1.sequence(
                _asn1.integer(0),
                _asn1.sequence(_asn1.oid("2.16.840.1.101.3.4.4.2"), _asn1.tlv(5, b"")),
                _asn1.octet_string(_asn1.tlv(0x80, SEED)),
            ),
            "has no parameters",
        ),
        (
            _asn1.sequence(
                _asn1.integer(2),
                _asn1.sequence(_asn1.oid("2.16.840.1.101.3.4.4.2")),
                _asn1.octet_string(_asn1.tlv(0x80, SEED)),
            ),
            "unsupported PKCS#8 version",
        ),
        (_asn1.private_key_info("2.16.840.1.101.3.4.4.2", _asn1.tlv(0x80, SEED))[:-1], "truncated"),
    ],
)
def test_malformed_private_keys(der, message):
    with pytest.raises(ValueError, match=message):
        mlkem.load_der_private_key(der)


def test_version_2_public_key_must_match():
    sk = mlkem.MLKEM768PrivateKey.from_seed_bytes(SEED)
    fields = [_asn1.integer(1), _asn1.sequence(_asn1.oid(sk._set.oid)), _asn1.octet_string(_asn1.tlv(0x80, SEED))]
    good = _asn1.sequence(*fields, _asn1.tlv(0x81, b"\x00" + sk.public_key().public_bytes_raw()))
    assert mlkem.load_der_private_key(good).public_key() == sk.public_key()
    other = mlkem.MLKEM768PrivateKey.from_seed_bytes(bytes(64)).public_key().public_bytes_raw()
    with pytest.raises(ValueError, match="does not belong to it"):
        mlkem.load_der_private_key(_asn1.sequence(*fields, _asn1.tlv(0x81, b"\x00" + other)))


def test_pem_labels_and_passwords():
    sk = mlkem.MLKEM1024PrivateKey.from_seed_bytes(SEED)
    with pytest.raises(ValueError, match="labelled 'PUBLIC KEY'"):
        mlkem.load_pem_private_key(sk.public_key().public_bytes("pem"))
    with pytest.raises(ValueError, match="labelled 'PRIVATE KEY'"):
        mlkem.load_pem_public_key(sk.private_bytes("pem"))
    with pytest.raises(TypeError, match="not encrypted"):
        mlkem.load_pem_private_key(sk.private_bytes("pem"), password=b"secret")


@pytest.mark.parametrize("data", [100, [48, 3, 2, 1, 0], "MIIB", None, 1.5])
@pytest.mark.parametrize(
    "load",
    [mlkem.load_der_public_key, mlkem.load_der_private_key, mlkem.load_pem_public_key, mlkem.load_pem_private_key],
)
def test_loaders_take_bytes_like_data_only(load, data):
    # bytes(100) would be 100 zero bytes and bytes([48, ...]) DER: neither may be parsed.
    if isinstance(data, str) and load.__name__.startswith("load_pem"):
        return  # PEM text may be a str
    with pytest.raises(TypeError, match="bytes-like"):
        load(data)
    sk = mlkem.MLKEM512PrivateKey.from_seed_bytes(SEED)
    for buffer in (bytearray, memoryview):
        assert mlkem.load_der_private_key(buffer(sk.private_bytes("der"))).private_bytes_raw() == SEED


@pytest.mark.parametrize(
    ("args", "error", "message"),
    [
        (("xml",), ValueError, "encoding must be"),
        ((5,), TypeError, "encoding must be a str"),
        (("der", "raw"), ValueError, "go only together"),
        (("raw", "pkcs8"), ValueError, "go only together"),
        (("der", "openssh"), ValueError, "format must be one of 'pkcs8', 'raw'"),
        ((serialization.Encoding.DER, serialization.PublicFormat.Raw), TypeError, "format must be a str"),
        (("der", None, serialization.BestAvailableEncryption(b"pw")), ValueError, "encrypted private keys"),
    ],
)
def test_private_bytes_arguments(args, error, message):
    with pytest.raises(error, match=message):
        mlkem.MLKEM512PrivateKey.from_seed_bytes(SEED).private_bytes(*args)


@pytest.mark.parametrize(
    ("call", "error", "message"),
    [
        (lambda k: k.from_seed_bytes(bytes(63)), ValueError, "seed \\(d \\|\\| z\\) is 64 bytes long, got 63"),
        (lambda k: k.from_seed_bytes("x" * 64), TypeError, "not 'str'"),
        (lambda k: k.from_seed_bytes(None), TypeError, "bytes-like"),
        (lambda k: k.from_seed_bytes(), TypeError, "missing required argument 'data'"),
        (lambda k: k.from_seed_bytes(seed=SEED), TypeError, "unexpected keyword argument 'seed'"),
        (lambda k: k.from_seed_bytes(SEED).decapsulate("ab"), TypeError, "not 'str'"),
        (lambda k: k.from_seed_bytes(SEED).decapsulate(b"", b""), TypeError, "at most 1 argument"),
        (lambda k: k.from_seed_bytes(SEED).public_key()._encapsulate_deterministic(bytes(31)), ValueError, "32 bytes"),
        (lambda k: k.from_seed_bytes(SEED)._public_key(int), TypeError, "not a subclass"),
        (lambda k: k._from_expanded(bytes(10)), TypeError, "takes 2 positional arguments"),
        (lambda k: k(), TypeError, "cannot create"),
    ],
)
def test_bad_arguments(call, error, message):
    with pytest.raises(error, match=message):
        call(mlkem.MLKEM768PrivateKey)


def test_public_key_equality_copies_and_repr():
    pk = mlkem.MLKEM768PrivateKey.from_seed_bytes(SEED).public_key()
    same = mlkem.MLKEM768PublicKey.from_public_bytes(pk.public_bytes_raw())
    assert pk == same and not pk != same and pk != mlkem.MLKEM768PrivateKey.generate().public_key()
    assert pk != pk.public_bytes_raw() and pk != mlkem.MLKEM1024PrivateKey.from_seed_bytes(SEED).public_key()
    with pytest.raises(TypeError, match="unhashable"):
        hash(pk)
    sk = mlkem.MLKEM768PrivateKey.from_seed_bytes(SEED)
    assert copy.copy(pk) is pk and copy.deepcopy(sk) is sk and hash(sk) == hash(sk)
    assert repr(sk) == "<MLKEM768PrivateKey (ML-KEM-768)>"


def test_keys_are_independent_of_their_inputs():
    seed = bytearray(os.urandom(64))
    sk = mlkem.MLKEM512PrivateKey.from_seed_bytes(seed)
    seed[:] = bytes(64)
    assert sk.private_bytes_raw() != bytes(64)
