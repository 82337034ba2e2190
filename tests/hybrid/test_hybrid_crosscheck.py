"""kyber_alg.hybrid crossed with the independent model (tests/hybrid/hybrid_model.py) on fresh random
inputs, both directions: what one side makes, the other reads, and both agree on every secret."""

import io
import os

import hybrid_model as model
import pytest
from cryptography.hazmat.primitives.asymmetric import mlkem
from hypothesis import given, settings
from hypothesis import strategies as st
from kyber_py.ml_kem import ML_KEM_768

from kyber_alg import _testing, hybrid


def random_scalar():
    return (1 + int.from_bytes(os.urandom(40), "big") % (model.curve.N - 2)).to_bytes(32, "big")


@pytest.fixture(scope="module")
def keys():
    seed = os.urandom(32)
    return seed, hybrid.SM2MLKEM768PrivateKey.from_private_bytes(seed)


def test_model_encapsulation_from_m_matches_cryptography():
    # The model takes ML-KEM encapsulation from a given m from kyber-py: cryptography must agree.
    sk = mlkem.MLKEM768PrivateKey.generate()
    ss, ct = ML_KEM_768._encaps_internal(sk.public_key().public_bytes_raw(), os.urandom(32))
    assert sk.decapsulate(ct) == ss


def test_public_key_derivation(keys):
    seed, sk = keys
    assert sk.public_key().public_bytes_raw() == model.public_key(seed)


@pytest.mark.parametrize("direction", ["ours to model", "model to ours"])
def test_kem(keys, direction):
    seed, sk = keys
    if direction == "ours to model":
        ss, ct = sk.public_key().encapsulate()
        assert model.decapsulate(seed, ct) == ss
    else:
        ss, ct = model.encapsulate(model.public_key(seed), random_scalar(), os.urandom(32))
        assert sk.decapsulate(ct) == ss


@pytest.mark.parametrize("direction", ["ours to model", "model to ours"])
def test_curve_sm2_mlkem768(direction):
    d, seed = random_scalar(), os.urandom(64)
    if direction == "ours to model":  # our client, the model's server
        client = hybrid.CurveSM2MLKEM768Client()
        server = hybrid.curve_sm2_mlkem768_server(model.tls_client_share(d, seed))
        assert model.tls_client_finish(d, seed, server[0]) == server[1]
        share, secret = model.tls_server(client.key_share, random_scalar(), os.urandom(32))
        assert client.finish(share) == secret
    else:  # the model's client and server, our client with the same keys
        client = _testing.hybrid_client(d, seed)
        assert client.key_share == model.tls_client_share(d, seed)
        share, secret = model.tls_server(client.key_share, random_scalar(), os.urandom(32))
        assert client.finish(share) == secret == model.tls_client_finish(d, seed, share)


@pytest.mark.parametrize("size, ad", [(0, b""), (1, b"x"), (4099, b"associated")])
def test_seal(keys, size, ad):
    seed, sk = keys
    plaintext = os.urandom(size)
    assert model.open_sealed(seed, hybrid.seal(sk.public_key(), plaintext, ad), ad) == plaintext
    blob = model.seal_with(*model.encapsulate(model.public_key(seed), random_scalar(), os.urandom(32)), plaintext, ad)
    assert hybrid.open(sk, blob, ad) == plaintext


@settings(max_examples=12)
@given(size=st.integers(0, 700), exponent=st.integers(6, 8), ad=st.binary(max_size=8))
def test_stream(keys, size, exponent, ad):
    seed, sk = keys
    plaintext = os.urandom(size)
    out = io.BytesIO()
    hybrid.seal_stream(sk.public_key(), io.BytesIO(plaintext), out, associated_data=ad, chunk_size=1 << exponent)
    assert model.open_stream(seed, out.getvalue(), ad) == plaintext
    data = model.stream_with(
        *model.encapsulate(model.public_key(seed), random_scalar(), os.urandom(32)), plaintext, ad, 1 << exponent
    )
    opener = hybrid.StreamOpener(sk, ad)
    assert opener.update(data) + opener.finalize() == plaintext
