"""kyber_alg.mldsa against pyca/cryptography (OpenSSL's ML-DSA): the same seed gives the same keys, byte for
byte in raw form, PKCS#8 and SubjectPublicKeyInfo (DER and PEM), each side reads the other's encodings, and
signatures cross both ways, with and without a context and through external mu."""

from __future__ import annotations

import hashlib
import os

import pytest
from mldsa_testlib import SETS, each_backend, m_prime, set_params  # noqa: F401  (each_backend is a fixture)

from kyber_alg import mldsa
from kyber_alg.exceptions import InvalidSignature

pyca = pytest.importorskip(
    "cryptography.hazmat.primitives.asymmetric.mldsa", reason="this cryptography has no ML-DSA module"
)
ser = pytest.importorskip("cryptography.hazmat.primitives.serialization")
from cryptography.exceptions import InvalidSignature as PycaInvalidSignature  # noqa: E402
from cryptography.exceptions import UnsupportedAlgorithm  # noqa: E402

try:
    pyca.MLDSA65PrivateKey.generate()
except UnsupportedAlgorithm:
    pytest.skip("cryptography's OpenSSL here has no ML-DSA", allow_module_level=True)

PYCA = {44: pyca.MLDSA44PrivateKey, 65: pyca.MLDSA65PrivateKey, 87: pyca.MLDSA87PrivateKey}
pytestmark = pytest.mark.usefixtures("each_backend")


def mu_of(public_raw: bytes, message: bytes, context: bytes) -> bytes:
    """mu = SHAKE256(SHAKE256(pk, 64) || M', 64), computed apart from both libraries."""
    tr = hashlib.shake_256(public_raw).digest(64)
    return hashlib.shake_256(tr + m_prime(message, context)).digest(64)


@set_params
def test_same_seed_same_encodings_both_ways(dsa):
    for _ in range(4):
        seed = os.urandom(32)
        ours, theirs = dsa.private.from_seed_bytes(seed), PYCA[dsa.level].from_seed_bytes(seed)
        for encoding in (ser.Encoding.DER, ser.Encoding.PEM):
            their_private = theirs.private_bytes(encoding, ser.PrivateFormat.PKCS8, ser.NoEncryption())
            their_public = theirs.public_key().public_bytes(encoding, ser.PublicFormat.SubjectPublicKeyInfo)
            assert ours.private_bytes(encoding) == their_private
            assert ours.public_key().public_bytes(encoding) == their_public
            load = mldsa.load_pem_private_key if encoding == ser.Encoding.PEM else mldsa.load_der_private_key
            assert load(their_private).private_bytes_raw() == seed
            load_public = ser.load_pem_public_key if encoding == ser.Encoding.PEM else ser.load_der_public_key
            assert (
                load_public(ours.public_key().public_bytes(encoding)).public_bytes_raw()
                == theirs.public_key().public_bytes_raw()
            )
        assert ours.public_key().public_bytes_raw() == theirs.public_key().public_bytes_raw()
        # The expanded and "both" forms are ours alone here; they read back to the same key.
        for form in ("expanded", "both"):
            again = mldsa.load_der_private_key(ours.private_bytes("der", form=form))
            assert again.public_key() == ours.public_key() and again._expanded_bytes() == ours._expanded_bytes()
            assert again._has_seed() == (form == "both")


@set_params
@pytest.mark.parametrize("context", [None, b"", b"ctx", bytes(range(255))])
def test_signatures_cross_both_ways(dsa, context):
    ours = dsa.private.generate()
    theirs = PYCA[dsa.level].from_seed_bytes(ours.private_bytes_raw())
    message = os.urandom(100)
    args = () if context is None else (context,)
    ours.public_key().verify(theirs.sign(message, *args), message, *args)
    theirs.public_key().verify(ours.sign(message, *args), message, *args)
    # A different context or message fails on both sides.
    with pytest.raises(InvalidSignature):
        ours.public_key().verify(theirs.sign(message, *args), message, b"other")
    with pytest.raises(PycaInvalidSignature):
        theirs.public_key().verify(ours.sign(message, *args), message + b"!", *args)


@set_params
def test_external_mu_both_ways(dsa):
    if not hasattr(PYCA[dsa.level], "sign_mu"):
        pytest.skip("this cryptography has no external-mu signing")
    ours = dsa.private.generate()
    theirs = PYCA[dsa.level].from_seed_bytes(ours.private_bytes_raw())
    message, context = os.urandom(50), b"mu test"
    mu = mu_of(ours.public_key().public_bytes_raw(), message, context)
    ours.public_key().verify(theirs.sign_mu(mu), message, context)
    theirs.public_key().verify(ours.sign_mu(mu), message, context)
    ours.public_key().verify_mu(theirs.sign(message, context), mu)
    theirs.public_key().verify_mu(ours.sign(message, context), mu)
