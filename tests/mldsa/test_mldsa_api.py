"""kyber_alg.mldsa's API: errors name what is wrong (ValueError for lengths, contexts and malformed keys,
InvalidSignature for any signature that does not verify, TypeError for types), expanded keys are checked, and
PKCS#8 / SPKI reading refuses what is not an ML-DSA key of the right shape."""

from __future__ import annotations

import copy
import hashlib

import pytest
from mldsa_testlib import SETS, each_backend, m_prime, set_params  # noqa: F401  (each_backend is a fixture)

from kyber_alg import _asn1, mldsa
from kyber_alg.exceptions import InvalidSignature

pytestmark = pytest.mark.usefixtures("each_backend")


@set_params
def test_lengths_and_contexts(dsa):
    sk = dsa.private.from_seed_bytes(bytes(range(32)))
    pk = sk.public_key()
    for bad_seed in (b"", bytes(31), bytes(33), bytes(64)):
        with pytest.raises(ValueError, match="the seed must be 32 bytes long"):
            dsa.private.from_seed_bytes(bad_seed)
    for bad in (pk.public_bytes_raw()[:-1], pk.public_bytes_raw() + b"\0"):
        with pytest.raises(ValueError, match=f"the public key must be {dsa.pk} bytes long"):
            dsa.public.from_public_bytes(bad)
    with pytest.raises(ValueError, match="at most 255 bytes long, got 256"):
        sk.sign(b"m", bytes(256))
    with pytest.raises(ValueError, match="at most 255 bytes long"):
        pk.verify(bytes(dsa.sig), b"m", bytes(256))
    with pytest.raises(ValueError, match="mu must be 64 bytes long"):
        sk.sign_mu(bytes(63))
    with pytest.raises(TypeError, match="bytes-like object, not .str"):
        sk.sign("text")  # type: ignore[arg-type]
    with pytest.raises(TypeError):
        pk.verify(None, b"m")  # type: ignore[arg-type]
    signature = sk.sign(bytearray(b"m"), memoryview(b"c"))
    assert len(signature) == dsa.sig and signature != sk.sign(b"m", b"c")  # hedged
    pk.verify(signature, b"m", b"c")
    mu = hashlib.shake_256(hashlib.shake_256(pk.public_bytes_raw()).digest(64) + m_prime(b"m")).digest(64)
    assert sk._sign_internal(m_prime(b"m"), bytes(32)) == sk._sign_mu_internal(mu, bytes(32))
    pk.verify_mu(sk._sign_internal(m_prime(b"m"), bytes(32)), mu)


@set_params
def test_bad_signatures_raise_invalid_signature_only(dsa):
    sk = dsa.private.generate()
    pk = sk.public_key()
    signature = sk.sign(b"data")
    bad = [
        signature[:-1],
        signature + b"\0",
        b"",
        bytes(dsa.sig),
        bytes([signature[0] ^ 1]) + signature[1:],
        signature[:-1] + bytes([signature[-1] ^ 0x80]),  # hint counts out of order
        signature[:100] + bytes([signature[100] ^ 4]) + signature[101:],
    ]
    for candidate in bad:
        with pytest.raises(InvalidSignature):
            pk.verify(candidate, b"data")
        assert pk._verify_internal(candidate, m_prime(b"data")) is False
    with pytest.raises(InvalidSignature):
        pk.verify(signature, b"data", b"a context")
    with pytest.raises(InvalidSignature):
        dsa.private.generate().public_key().verify(signature, b"data")


@set_params
def test_expanded_keys_are_checked(dsa):
    sk = dsa.private.generate()
    expanded = sk._expanded_bytes()
    assert dsa.private._from_expanded(expanded, sk.private_bytes_raw()).public_key() == sk.public_key()
    # s1's first coefficient is eta - (its bits); all ones is below -eta for both eta = 2 and eta = 4.
    out_of_range = expanded[:128] + b"\xff" + expanded[129:]
    with pytest.raises(ValueError, match=r"s1 or s2 is outside \[-[24], [24]\]"):
        dsa.private._from_expanded(out_of_range, None)
    for at in (64, dsa.sk - 1):  # tr, then the last byte of t0
        changed = expanded[:at] + bytes([expanded[at] ^ 1]) + expanded[at + 1 :]
        with pytest.raises(ValueError, match="its t0 or tr is not the one"):
            dsa.private._from_expanded(changed, None)
    with pytest.raises(ValueError, match="not the one its seed gives"):
        dsa.private._from_expanded(expanded, bytes(32))
    reread = dsa.private._from_expanded(expanded, None)
    with pytest.raises(ValueError, match="has no seed"):
        reread.private_bytes_raw()
    assert reread.private_bytes("der") == _asn1.private_key_info(dsa.private._set.oid, _asn1.octet_string(expanded))
    reread.public_key().verify(reread.sign(b"x"), b"x")


def test_pkcs8_and_spki_refusals():
    sk = mldsa.MLDSA65PrivateKey.generate()
    der = sk.private_bytes("der")
    other_set = _asn1.private_key_info(mldsa.MLDSA44PrivateKey._set.oid, _asn1.tlv(0x80, bytes(32)))
    assert isinstance(mldsa.load_der_private_key(other_set), mldsa.MLDSA44PrivateKey)
    cases = {
        "ML-DSA-65 seed is 32 bytes, found 31": _asn1.private_key_info(sk._set.oid, _asn1.tlv(0x80, bytes(31))),
        "expanded key is 4032 bytes, found 2560 (the size of an ML-DSA-44 key)": _asn1.private_key_info(
            sk._set.oid, _asn1.octet_string(bytes(2560))
        ),
        "not ML-DSA": _asn1.private_key_info("2.16.840.1.101.3.4.4.2", _asn1.tlv(0x80, bytes(64))),
        "trailing data": _asn1.private_key_info(sk._set.oid, _asn1.tlv(0x80, bytes(32)) + b"\0\0"),
        "none of the seed, expandedKey and both forms": _asn1.private_key_info(sk._set.oid, _asn1.integer(1)),
        "not the one its seed gives": _asn1.private_key_info(
            sk._set.oid, _asn1.sequence(_asn1.octet_string(bytes(32)), _asn1.octet_string(sk._expanded_bytes()))
        ),
    }
    for message, data in cases.items():
        with pytest.raises(ValueError, match=message.replace("(", r"\(").replace(")", r"\)")):
            mldsa.load_der_private_key(data)
    assert mldsa.load_der_private_key(der).private_bytes_raw() == sk.private_bytes_raw()
    with pytest.raises(ValueError, match="not ML-DSA"):
        mldsa.load_der_public_key(_asn1.subject_public_key_info("2.16.840.1.101.3.4.4.2", bytes(1184)))
    with pytest.raises(ValueError, match="must be 1952 bytes long"):
        mldsa.load_der_public_key(_asn1.subject_public_key_info(sk._set.oid, bytes(1312)))
    pk = sk.public_key()
    assert mldsa.load_pem_public_key(pk.public_bytes("pem")) == pk and copy.deepcopy(pk) is pk
    assert repr(sk) == "<MLDSA65PrivateKey (ML-DSA-65)>"
    with pytest.raises(ValueError, match="form must be one of"):
        sk.private_bytes("der", form="compact")


@set_params
def test_code_paths_give_the_same_bytes(dsa):
    """Keys and deterministic signatures of random seeds and messages are the same on every path."""
    import os

    from kyber_alg import _mldsa

    previous = _mldsa._backend()
    cases = [(os.urandom(32), os.urandom(n), os.urandom(32)) for n in (0, 1, 200, 5000)]
    results = {}
    try:
        for path in _mldsa._available_backends():
            _mldsa._set_backend(path)
            out = []
            for seed, message, rnd in cases:
                sk = dsa.private.from_seed_bytes(seed)
                signature = sk._sign_internal(message, rnd)
                out.append(
                    (
                        sk._expanded_bytes(),
                        sk.public_key().public_bytes_raw(),
                        signature,
                        sk.public_key()._verify_internal(signature, message),
                        sk.public_key()._verify_internal(signature[:-1] + bytes([signature[-1] ^ 1]), message),
                    )
                )
            results[path] = out
    finally:
        _mldsa._set_backend(previous)
    first = next(iter(results.values()))
    assert all(r == first for r in results.values())
    assert all(valid and not tampered for *_, valid, tampered in first)
