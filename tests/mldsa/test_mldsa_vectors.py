"""The Wycheproof ML-DSA-44/65/87 files on every code path: signing from the seed and from the expanded key
(deterministic through _sign_internal / _sign_mu_internal with the case's rnd, all zero when it has none),
verification, and every invalid case mapped to the error the API raises."""

from __future__ import annotations

import pytest
from mldsa_testlib import SETS, each_backend, m_prime  # noqa: F401  (each_backend is a fixture)
from vectors import load_json

from kyber_alg import mldsa
from kyber_alg.exceptions import InvalidSignature

pytestmark = pytest.mark.usefixtures("each_backend")

ZERO_RND = bytes(32)


def h(value: str) -> bytes:
    return bytes.fromhex(value)


def cases(kind: str) -> list:
    return [
        pytest.param(dsa, group, id=f"{dsa.name}-tc{group['tests'][0]['tcId']}")
        for dsa in SETS
        for group in load_json(f"wycheproof/mldsa_{dsa.level}_{kind}_test.json")["testGroups"]
    ]


def check_signing(dsa, key, test) -> None:
    """A valid case must give the vector's signature byte for byte; an invalid one a ValueError."""
    rnd = h(test.get("rnd", "")) or ZERO_RND
    context = h(test.get("ctx", ""))
    pk = key.public_key()
    if test["result"] == "invalid":
        assert test["flags"] == ["InvalidContext"] and len(context) > 255
        with pytest.raises(ValueError, match="context is at most 255 bytes"):
            key.sign(h(test["msg"]), context)
        return
    expected = h(test["sig"])
    if "msg" in test:
        message = h(test["msg"])
        assert key._sign_internal(m_prime(message, context), rnd) == expected, test["tcId"]
        assert pk.verify(expected, message, context) is None
        assert pk._verify_internal(expected, m_prime(message, context))
        fresh = key.sign(message, context)  # hedged: a different, valid signature
        pk.verify(fresh, message, context)
    if "mu" in test:
        assert key._sign_mu_internal(h(test["mu"]), rnd) == expected, test["tcId"]
        pk.verify_mu(expected, h(test["mu"]))
        pk.verify_mu(key.sign_mu(h(test["mu"])), h(test["mu"]))


@pytest.mark.parametrize("dsa, group", cases("sign_seed"))
def test_sign_from_seed(dsa, group):
    seed = h(group["privateSeed"])
    if len(seed) != 32:
        assert {t["result"] for t in group["tests"]} == {"invalid"}
        assert all(t["flags"] == ["IncorrectPrivateKeyLength"] for t in group["tests"])
        with pytest.raises(ValueError, match="must be 32 bytes long"):
            dsa.private.from_seed_bytes(seed)
        return
    key = dsa.private.from_seed_bytes(seed)
    assert key.private_bytes_raw() == seed
    assert key.public_key().public_bytes_raw() == h(group["publicKey"])
    if "privateKeyPkcs8" in group:
        assert key.private_bytes("der") == h(group["privateKeyPkcs8"])
        assert mldsa.load_der_private_key(h(group["privateKeyPkcs8"])).public_key() == key.public_key()
    for test in group["tests"]:
        check_signing(dsa, key, test)


@pytest.mark.parametrize("dsa, group", cases("sign_noseed"))
def test_sign_from_expanded_key(dsa, group):
    expanded = h(group["privateKey"])
    flags = {f for t in group["tests"] for f in t["flags"]}
    if len(expanded) != dsa.sk:
        assert flags == {"IncorrectPrivateKeyLength"}
        with pytest.raises(ValueError, match="must be .* bytes long"):
            dsa.private._from_expanded(expanded, None)
        return
    if "InvalidPrivateKey" in flags:
        assert {t["result"] for t in group["tests"]} == {"invalid"}
        with pytest.raises(ValueError, match="not a valid ML-DSA"):
            dsa.private._from_expanded(expanded, None)
        return
    key = dsa.private._from_expanded(expanded, None)
    assert not key._has_seed() and key._expanded_bytes() == expanded
    assert key.public_key().public_bytes_raw() == h(group["publicKey"])
    for test in group["tests"]:
        check_signing(dsa, key, test)


@pytest.mark.parametrize("dsa, group", cases("verify"))
def test_verify(dsa, group):
    raw = h(group["publicKey"])
    if len(raw) != dsa.pk:
        assert all(t["result"] == "invalid" and "IncorrectPublicKeyLength" in t["flags"] for t in group["tests"])
        with pytest.raises(ValueError, match="must be .* bytes long"):
            dsa.public.from_public_bytes(raw)
        return
    pk = dsa.public.from_public_bytes(raw)
    if "publicKeyDer" in group:
        assert pk.public_bytes("der") == h(group["publicKeyDer"])
        assert mldsa.load_der_public_key(h(group["publicKeyDer"])) == pk
    for test in group["tests"]:
        signature, context = h(test["sig"]), h(test.get("ctx", ""))
        if "InvalidContext" in test["flags"] and len(context) > 255:
            with pytest.raises(ValueError, match="context is at most 255 bytes"):
                pk.verify(signature, h(test["msg"]), context)
            continue
        if "msg" in test:
            call = (pk.verify, signature, h(test["msg"]), context)
        else:
            call = (pk.verify_mu, signature, h(test["mu"]))
        if test["result"] == "valid":
            assert call[0](*call[1:]) is None, test["tcId"]
        else:
            with pytest.raises(InvalidSignature):
                call[0](*call[1:])
