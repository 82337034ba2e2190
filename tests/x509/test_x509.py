"""kyber_alg.x509 on its own: certificates and requests it makes, what it refuses, and each chain rule."""

from __future__ import annotations

import datetime

import pytest
from cryptography import x509 as cx
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.serialization import Encoding
from cryptography.x509.oid import ObjectIdentifier
from x509_support import DAY, NOW, builder, ca, make_chain, name

from kyber_alg import mlkem, sm2, x509
from kyber_alg.exceptions import InvalidSignature


@pytest.fixture(scope="module")
def chain():
    return make_chain()


def test_a_chain_made_here_verifies_and_carries_its_keys(chain):
    assert x509.verify_chain(chain.leaf, [chain.intermediate], [chain.root], at=NOW) == [
        chain.leaf,
        chain.intermediate,
        chain.root,
    ]
    assert x509.public_key(chain.leaf) == chain.leaf_key.public_key()
    assert chain.leaf.signature_algorithm_oid.dotted_string == "1.2.156.10197.1.501"
    assert chain.leaf.version == cx.Version.v3 and chain.leaf.serial_number == 12
    assert chain.leaf.not_valid_before_utc == NOW - DAY
    san = chain.leaf.extensions.get_extension_for_class(cx.SubjectAlternativeName)
    assert san.value.get_values_for_type(cx.DNSName) == ["leaf.example"] and not san.critical
    x509.verify_directly_issued_by(chain.intermediate, chain.root)
    assert x509.DEFAULT_UID == b"1234567812345678"


def test_every_tbs_byte_is_covered_by_the_signature(chain):
    der = chain.intermediate.public_bytes(Encoding.DER)
    tbs = chain.intermediate.tbs_certificate_bytes
    start = der.index(tbs)
    for i in range(len(tbs)):
        damaged = bytearray(der)
        damaged[start + i] ^= 0x01
        try:
            cert = cx.load_der_x509_certificate(bytes(damaged))
        except (ValueError, cx.InvalidVersion):
            continue  # cryptography refuses it before us
        with pytest.raises((InvalidSignature, ValueError)):
            x509.verify_directly_issued_by(cert, chain.root)


def test_wrong_issuer_key_and_renamed_issuer_are_refused(chain):
    impostor = sm2.SM2PrivateKey.generate()
    forged = builder("leaf.example", "Intermediate CA", chain.leaf_key.public_key()).sign(impostor)
    with pytest.raises(InvalidSignature):
        x509.verify_directly_issued_by(forged, chain.intermediate)
    with pytest.raises(x509.VerificationError, match="'CN=leaf.example'.*does not verify.*signature"):
        x509.verify_chain(forged, [chain.intermediate], [chain.root], at=NOW)
    renamed = builder("leaf.example", "Other CA", chain.leaf_key.public_key()).sign(chain.int_key)
    with pytest.raises(ValueError, match="issuer 'CN=Other CA' is not the subject"):
        x509.verify_directly_issued_by(renamed, chain.intermediate)
    with pytest.raises(x509.VerificationError, match="name chaining"):
        x509.verify_chain(renamed, [chain.intermediate], [chain.root], at=NOW)


def test_the_signer_id_matters(chain):
    key = chain.leaf_key
    cert = builder("id", "id", key.public_key()).sign(key, uid=b"")
    x509.verify_directly_issued_by(cert, cert, uid=b"")
    with pytest.raises(InvalidSignature):
        x509.verify_directly_issued_by(cert, cert)
    csr = x509.CertificateSigningRequestBuilder().subject_name(name("r")).sign(key, uid=b"alice")
    assert x509.is_signature_valid(csr, uid=b"alice") and not x509.is_signature_valid(csr)


def _p256_certificate_and_request() -> tuple[cx.Certificate, cx.CertificateSigningRequest]:
    key = ec.generate_private_key(ec.SECP256R1())
    cert = (
        cx.CertificateBuilder()
        .subject_name(name("p256"))
        .issuer_name(name("p256"))
        .public_key(key.public_key())
        .serial_number(1)
        .not_valid_before(NOW - DAY)
        .not_valid_after(NOW + DAY)
        .sign(key, hashes.SHA256())
    )
    return cert, cx.CertificateSigningRequestBuilder().subject_name(name("p256")).sign(key, hashes.SHA256())


def test_other_algorithms_are_refused_never_checked_as_sm2(chain):
    cert, csr = _p256_certificate_and_request()
    with pytest.raises(ValueError, match="not SM2"):
        x509.public_key(cert)
    with pytest.raises(ValueError, match="signed with 1.2.840.10045.4.3.2, not SM3withSM2"):
        x509.verify_directly_issued_by(cert, cert)
    with pytest.raises(ValueError, match="not SM3withSM2"):
        x509.is_signature_valid(csr)
    # An SM2 signature under an issuer whose key is not SM2.
    renamed = builder("x", "p256", chain.leaf_key.public_key()).sign(chain.leaf_key)
    with pytest.raises(ValueError, match="not SM2"):
        x509.verify_directly_issued_by(renamed, cert)


def test_a_certificate_whose_inner_algorithm_differs_is_refused(chain):
    der = bytearray(chain.leaf.public_bytes(Encoding.DER))
    inner = der.index(bytes.fromhex("300a06082a811ccf55018375"))  # the first one is the TBS's
    der[inner + 11] = 0x76  # 1.2.156.10197.1.502 inside the TBS only
    with pytest.raises(ValueError, match="inside the TBS is not SM3withSM2"):
        x509.verify_directly_issued_by(cx.load_der_x509_certificate(bytes(der)), chain.intermediate)


@pytest.mark.parametrize("parameter_set", ["MLKEM512", "MLKEM768", "MLKEM1024"])
def test_ml_kem_leaf_under_an_sm2_ca(chain, parameter_set):
    kem = getattr(mlkem, f"{parameter_set}PrivateKey").generate()
    cert = (
        builder("kem.example", "Intermediate CA", kem.public_key())
        .add_extension(
            cx.KeyUsage(
                digital_signature=False,
                content_commitment=False,
                key_encipherment=True,
                data_encipherment=False,
                key_agreement=False,
                key_cert_sign=False,
                crl_sign=False,
                encipher_only=False,
                decipher_only=False,
            ),
            critical=True,
        )
        .sign(chain.int_key)
    )
    assert x509.public_key(cert) == kem.public_key()
    assert x509.verify_chain(cert, [chain.intermediate], [chain.root], at=NOW)[0] is cert
    shared, ciphertext = x509.public_key(cert).encapsulate()  # type: ignore[union-attr]
    assert kem.decapsulate(ciphertext) == shared
    # A KEM key cannot issue.
    child = builder("child", "kem.example", chain.leaf_key.public_key()).sign(chain.leaf_key)
    with pytest.raises(ValueError, match="not an SM2 key"):
        x509.verify_directly_issued_by(child, cert)


def test_requests(chain):
    san = cx.SubjectAlternativeName([cx.DNSName("a.example"), cx.DNSName("b.example")])
    csr = (
        x509.CertificateSigningRequestBuilder()
        .subject_name(name("a.example"))
        .add_extension(san, critical=False)
        .add_attribute(ObjectIdentifier("1.2.840.113549.1.9.7"), b"secret")
        .sign(chain.leaf_key)
    )
    assert x509.is_signature_valid(csr) and x509.public_key(csr) == chain.leaf_key.public_key()
    assert csr.extensions.get_extension_for_class(cx.SubjectAlternativeName).value == san
    assert csr.attributes.get_attribute_for_oid(ObjectIdentifier("1.2.840.113549.1.9.7")).value == b"secret"
    der = csr.public_bytes(Encoding.DER)
    start = der.index(csr.tbs_certrequest_bytes)
    for i in range(start, start + len(csr.tbs_certrequest_bytes), 7):
        damaged = bytearray(der)
        damaged[i] ^= 0x80
        try:
            broken = cx.load_der_x509_csr(bytes(damaged))
            valid = x509.is_signature_valid(broken)
        except ValueError:
            continue
        assert not valid, i


def test_builders_refuse_what_cryptography_refuses():
    key = sm2.SM2PrivateKey.generate().public_key()
    b = x509.CertificateBuilder().subject_name(name("a"))
    for step in (
        lambda: b.subject_name(name("b")),
        lambda: b.serial_number(0),
        lambda: b.serial_number(1 << 159),
        lambda: b.not_valid_before(datetime.datetime(1949, 12, 31)),
        lambda: b.add_extension(cx.BasicConstraints(ca=False, path_length=None), False).add_extension(
            cx.BasicConstraints(ca=True, path_length=None), False
        ),
        lambda: b.not_valid_after(NOW).not_valid_before(NOW + DAY),
    ):
        with pytest.raises(ValueError):
            step()
    with pytest.raises(ValueError, match="requires: issuer name, public key"):
        b.sign(sm2.SM2PrivateKey.generate())
    with pytest.raises(TypeError):
        b.public_key(ec.generate_private_key(ec.SECP256R1()).public_key())  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="must have a subject"):
        x509.CertificateSigningRequestBuilder().sign(sm2.SM2PrivateKey.generate())
    # cryptography's constructor form gives the same certificate body.
    constraints = cx.BasicConstraints(ca=True, path_length=None)
    direct = x509.CertificateBuilder(
        name("a"), name("a"), key, 5, NOW, NOW + DAY, [cx.Extension(constraints.oid, True, constraints)]
    )
    chained = builder("a", "a", key, before=NOW, after=NOW + DAY, serial=5).add_extension(constraints, True)
    assert direct.tbs_bytes() == chained.tbs_bytes()
    # Times: naive ones are UTC, microseconds dropped, 2050 on as GeneralizedTime.
    late = datetime.datetime(2051, 1, 2, 3, 4, 5, 678)
    cert = builder("t", "t", key, before=NOW.replace(tzinfo=None), after=late).sign(sm2.SM2PrivateKey.generate())
    assert cert.not_valid_before_utc == NOW and cert.not_valid_after_utc == late.replace(
        microsecond=0, tzinfo=datetime.UTC
    )
    assert b"\x18\x0f20510102030405Z" in cert.tbs_certificate_bytes


# ---------------------------------------------------------------- the chain rules, one test each


def _rule_case(chain, rule: str):
    """(leaf, intermediates, roots, at, expected message) for a chain that breaks one rule."""
    leaf_pub = chain.leaf_key.public_key()
    root, inter = chain.root, chain.intermediate
    if rule == "expired":
        return chain.leaf, [inter], [root], NOW + 400 * DAY, "'CN=leaf.example'.*expired"
    if rule == "not yet valid":
        return chain.leaf, [inter], [root], NOW - 2 * DAY, "'CN=leaf.example'.*not valid before"
    if rule == "expired intermediate":
        old = ca(builder("Intermediate CA", "Root CA", chain.int_key.public_key(), after=NOW - DAY / 2)).sign(
            chain.root_key
        )
        return chain.leaf, [old], [root], NOW, "'CN=Intermediate CA'.*expired"
    if rule == "expired root":
        old_root = ca(builder("Root CA", "Root CA", chain.root_key.public_key(), after=NOW - DAY / 2)).sign(
            chain.root_key
        )
        return chain.leaf, [inter], [old_root], NOW, "'CN=Root CA'.*expired"
    if rule == "no basicConstraints":
        plain = builder("Intermediate CA", "Root CA", chain.int_key.public_key()).sign(chain.root_key)
        return chain.leaf, [plain], [root], NOW, "'CN=Intermediate CA'.*no basicConstraints"
    if rule == "cA false":
        not_ca = (
            builder("Intermediate CA", "Root CA", chain.int_key.public_key())
            .add_extension(cx.BasicConstraints(ca=False, path_length=None), critical=True)
            .sign(chain.root_key)
        )
        return chain.leaf, [not_ca], [root], NOW, "'CN=Intermediate CA'.*cA is false"
    if rule == "pathLenConstraint":
        # The intermediate allows no CA under it; a second intermediate is put there.
        sub_key = sm2.SM2PrivateKey.generate()
        sub = ca(builder("Sub CA", "Intermediate CA", sub_key.public_key())).sign(chain.int_key)
        leaf = builder("deep", "Sub CA", leaf_pub).sign(sub_key)
        return leaf, [inter, sub], [root], NOW, "'CN=Intermediate CA'.*pathLenConstraint 0"
    if rule == "keyCertSign":
        no_sign = (
            builder("Intermediate CA", "Root CA", chain.int_key.public_key())
            .add_extension(cx.BasicConstraints(ca=True, path_length=None), critical=True)
            .add_extension(
                cx.KeyUsage(
                    digital_signature=True,
                    content_commitment=False,
                    key_encipherment=False,
                    data_encipherment=False,
                    key_agreement=False,
                    key_cert_sign=False,
                    crl_sign=False,
                    encipher_only=False,
                    decipher_only=False,
                ),
                True,
            )
            .sign(chain.root_key)
        )
        return chain.leaf, [no_sign], [root], NOW, "'CN=Intermediate CA'.*keyCertSign"
    if rule == "unknown critical extension":
        odd = (
            builder("odd", "Intermediate CA", leaf_pub)
            .add_extension(cx.UnrecognizedExtension(ObjectIdentifier("1.3.6.1.4.1.99999.1"), b"\x05\x00"), True)
            .sign(chain.int_key)
        )
        return odd, [inter], [root], NOW, "'CN=odd'.*unknown critical extension 1.3.6.1.4.1.99999.1"
    if rule == "critical name constraints":
        constrained = (
            ca(builder("Intermediate CA", "Root CA", chain.int_key.public_key()))
            .add_extension(cx.NameConstraints([cx.DNSName("other.example")], None), critical=True)
            .sign(chain.root_key)
        )
        return chain.leaf, [constrained], [root], NOW, "'CN=Intermediate CA'.*unknown critical extension 2.5.29.30"
    if rule == "missing intermediate":
        return chain.leaf, [], [root], NOW, "'CN=leaf.example'.*name chaining"
    if rule == "untrusted root":
        return chain.leaf, [inter, root], [make_chain().root], NOW, "'CN=Intermediate CA'.*does not verify"
    raise AssertionError(rule)


RULES = [
    "expired",
    "not yet valid",
    "expired intermediate",
    "expired root",
    "no basicConstraints",
    "cA false",
    "pathLenConstraint",
    "keyCertSign",
    "unknown critical extension",
    "critical name constraints",
    "missing intermediate",
    "untrusted root",
]


@pytest.mark.parametrize("rule", RULES)
def test_each_chain_rule(chain, rule):
    leaf, intermediates, roots, at, message = _rule_case(chain, rule)
    with pytest.raises(x509.VerificationError, match=message):
        x509.verify_chain(leaf, intermediates, roots, at=at)


def test_chain_building_finds_the_good_path_among_bad_ones(chain):
    # A same-named intermediate with another key comes first; the builder must go on to the right one.
    decoy = ca(builder("Intermediate CA", "Root CA", sm2.SM2PrivateKey.generate().public_key())).sign(chain.root_key)
    assert x509.verify_chain(chain.leaf, [decoy, chain.intermediate], [chain.root], at=NOW)[1] is chain.intermediate
    assert x509.verify_chain(chain.root, [], [chain.root], at=NOW) == [chain.root]
    # pathLenConstraint counts only intermediates: a leaf straight under a pathLen 0 CA is fine.
    assert len(x509.verify_chain(chain.intermediate, [], [chain.root], at=NOW)) == 2
    with pytest.raises(ValueError, match="timezone-aware"):
        x509.verify_chain(chain.leaf, [chain.intermediate], [chain.root], at=NOW.replace(tzinfo=None))
    assert isinstance(x509.VerificationError("x"), ValueError)


def test_names_cryptography_cannot_decode_are_value_errors(chain):
    # cryptography decodes names on first access and raises TypeError for a BIT STRING common name.
    der = bytearray(chain.leaf.public_bytes(Encoding.DER))
    at = der.index(b"\x0c\x0fIntermediate CA")
    der[at] = 0x03
    cert = cx.load_der_x509_certificate(bytes(der))
    with pytest.raises(ValueError, match="issuer name cannot be decoded"):
        x509.verify_directly_issued_by(cert, chain.intermediate)
    with pytest.raises(x509.VerificationError, match="issuer name cannot be decoded"):
        x509.verify_chain(cert, [chain.intermediate], [chain.root], at=NOW)
