"""kyber_alg.mlkem against the peers: pyca/cryptography (OpenSSL) for ML-KEM-768 and -1024, byte for byte in
keys, PKCS#8 / SubjectPublicKeyInfo and PEM, with encapsulations crossing both ways; kyber-py for ML-KEM-512."""

from __future__ import annotations

import pytest
from cryptography.hazmat.primitives import serialization as ser
from cryptography.hazmat.primitives.asymmetric import mlkem as pyca
from hypothesis import given, settings
from hypothesis import strategies as st
from kyber_py.ml_kem import ML_KEM_512
from mlkem_testlib import BY_BITS

from kyber_alg import mlkem

PYCA = {
    768: (pyca.MLKEM768PrivateKey, pyca.MLKEM768PublicKey),
    1024: (pyca.MLKEM1024PrivateKey, pyca.MLKEM1024PublicKey),
}
seeds = st.binary(min_size=64, max_size=64)


@pytest.mark.parametrize("bits", [768, 1024])
@settings(max_examples=15)
@given(seed=seeds)
def test_same_seed_same_bytes_as_cryptography(bits, seed):
    ours = BY_BITS[bits].private.from_seed_bytes(seed)
    theirs = PYCA[bits][0].from_seed_bytes(seed)
    for encoding in (ser.Encoding.DER, ser.Encoding.PEM):
        assert ours.private_bytes(encoding) == theirs.private_bytes(
            encoding, ser.PrivateFormat.PKCS8, ser.NoEncryption()
        )
        assert ours.public_key().public_bytes(encoding) == theirs.public_key().public_bytes(
            encoding, ser.PublicFormat.SubjectPublicKeyInfo
        )
    assert ours.private_bytes(ser.Encoding.Raw, ser.PrivateFormat.Raw, ser.NoEncryption()) == theirs.private_bytes_raw()
    assert (
        ours.public_key().public_bytes(ser.Encoding.Raw, ser.PublicFormat.Raw) == theirs.public_key().public_bytes_raw()
    )


@pytest.mark.parametrize("bits", [768, 1024])
def test_encapsulations_cross_both_ways_with_cryptography(bits):
    for _ in range(10):
        ours, theirs = BY_BITS[bits].private.generate(), PYCA[bits][0].generate()
        their_pk = BY_BITS[bits].public.from_public_bytes(theirs.public_key().public_bytes_raw())
        shared, ct = their_pk.encapsulate()
        assert theirs.decapsulate(ct) == shared
        shared, ct = PYCA[bits][1].from_public_bytes(ours.public_key().public_bytes_raw()).encapsulate()
        assert ours.decapsulate(ct) == shared
        # A ciphertext for another key: both sides reject it implicitly, to the same secret.
        same = BY_BITS[bits].private.from_seed_bytes(theirs.private_bytes_raw())
        assert same.decapsulate(ct) == theirs.decapsulate(ct) != shared


@pytest.mark.parametrize("bits", [768, 1024])
def test_each_side_loads_the_others_pem(bits):
    ours, theirs = BY_BITS[bits].private.generate(), PYCA[bits][0].generate()
    loaded = ser.load_pem_private_key(ours.private_bytes("pem"), password=None)
    assert isinstance(loaded, PYCA[bits][0]) and loaded.private_bytes_raw() == ours.private_bytes_raw()
    pk = ser.load_pem_public_key(ours.public_key().public_bytes("pem"))
    assert isinstance(pk, PYCA[bits][1]) and pk.public_bytes_raw() == ours.public_key().public_bytes_raw()
    mine = mlkem.load_pem_private_key(
        theirs.private_bytes(ser.Encoding.PEM, ser.PrivateFormat.PKCS8, ser.NoEncryption())
    )
    assert type(mine) is BY_BITS[bits].private and mine.private_bytes_raw() == theirs.private_bytes_raw()
    public = mlkem.load_der_public_key(
        theirs.public_key().public_bytes(ser.Encoding.DER, ser.PublicFormat.SubjectPublicKeyInfo)
    )
    assert public.public_bytes_raw() == theirs.public_key().public_bytes_raw()


@settings(max_examples=10)
@given(seed=seeds, m=st.binary(min_size=32, max_size=32))
def test_512_matches_kyber_py(seed, m):
    sk = mlkem.MLKEM512PrivateKey.from_seed_bytes(seed)
    ek, dk = ML_KEM_512._keygen_internal(seed[:32], seed[32:])
    assert sk.public_key().public_bytes_raw() == ek and sk._expanded_bytes() == dk
    assert sk.public_key()._encapsulate_deterministic(m) == ML_KEM_512._encaps_internal(ek, m)


def test_512_encapsulations_cross_both_ways_with_kyber_py():
    for _ in range(3):
        sk = mlkem.MLKEM512PrivateKey.generate()
        shared, ct = ML_KEM_512.encaps(sk.public_key().public_bytes_raw())
        assert sk.decapsulate(ct) == shared
        ek, dk = ML_KEM_512.keygen()
        shared, ct = mlkem.MLKEM512PublicKey.from_public_bytes(ek).encapsulate()
        assert ML_KEM_512.decaps(dk, ct) == shared
        assert mlkem.MLKEM512PrivateKey._from_expanded(dk, None).decapsulate(ct) == shared
