"""Call paths of kyber_alg.mldsa (and its native part kyber_alg._mldsa) for tests/leak_check.py.

Every native method and module function on success and on each error path, for ML-DSA-44 (the quickest set:
the code is the same template for all three), and the Python encoders and loaders of every key form.
"""

STRIDED = memoryview(bytes(64))[::2]  # copied by the byte view


def mldsa_paths(m, native, invalid_signature):
    from kyber_alg import _asn1

    ok = None
    private, public = m.MLDSA44PrivateKey, m.MLDSA44PublicKey
    seed = bytes(range(32))
    sk = private.from_seed_bytes(seed)
    pk = sk.public_key()
    raw = pk.public_bytes_raw()
    expanded = sk._expanded_bytes()
    out_of_range = expanded[:128] + b"\xff" + expanded[129:]
    signature = sk.sign(b"data", b"ctx")
    mu = bytes(64)
    mu_signature = sk.sign_mu(mu)
    both = _asn1.private_key_info(sk._set.oid, _asn1.sequence(_asn1.octet_string(seed), _asn1.octet_string(expanded)))
    return [
        ("generate", ok, private.generate),
        ("from_seed_bytes keyword strided", ok, lambda: private.from_seed_bytes(data=STRIDED)),
        ("from_seed_bytes short", ValueError, lambda: private.from_seed_bytes(bytes(31))),
        ("from_seed_bytes str", TypeError, lambda: private.from_seed_bytes("x" * 32)),
        ("_from_expanded", ok, lambda: private._from_expanded(expanded, None)),
        ("_from_expanded both", ok, lambda: private._from_expanded(expanded, seed)),
        ("_from_expanded inconsistent", ValueError, lambda: private._from_expanded(expanded, bytes(32))),
        ("_from_expanded range", ValueError, lambda: private._from_expanded(out_of_range, None)),
        ("_from_expanded length", ValueError, lambda: private._from_expanded(expanded[1:], None)),
        ("sign", ok, lambda: sk.sign(b"data")),
        ("sign keywords", ok, lambda: sk.sign(data=STRIDED, context=b"c")),
        ("sign long context", ValueError, lambda: sk.sign(b"data", bytes(256))),
        ("sign str", TypeError, lambda: sk.sign("data")),
        ("sign_mu", ok, lambda: sk.sign_mu(mu)),
        ("sign_mu short", ValueError, lambda: sk.sign_mu(mu[1:])),
        ("_sign_internal", ok, lambda: sk._sign_internal(b"\0\0data", bytes(32))),
        ("_sign_internal rnd", ValueError, lambda: sk._sign_internal(b"", b"")),
        ("_sign_mu_internal", ok, lambda: sk._sign_mu_internal(mu, bytes(32))),
        ("private_bytes_raw", ok, sk.private_bytes_raw),
        ("public_key", ok, sk.public_key),
        ("_public_key wrong class", TypeError, lambda: sk._public_key(int)),
        ("from_public_bytes", ok, lambda: public.from_public_bytes(raw)),
        ("from_public_bytes length", ValueError, lambda: public.from_public_bytes(raw[1:])),
        ("verify", ok, lambda: pk.verify(signature, b"data", b"ctx")),
        ("verify fails", invalid_signature, lambda: pk.verify(signature, b"data")),
        ("verify length", invalid_signature, lambda: pk.verify(signature[1:], b"data", b"ctx")),
        ("verify long context", ValueError, lambda: pk.verify(signature, b"data", bytes(256))),
        ("verify_mu", ok, lambda: pk.verify_mu(mu_signature, mu)),
        ("verify_mu fails", invalid_signature, lambda: pk.verify_mu(signature, mu)),
        ("_verify_internal", ok, lambda: pk._verify_internal(signature, b"")),
        ("public_bytes_raw and ==", ok, lambda: pk.public_bytes_raw() == raw and pk == pk),
        ("private_bytes pem both", ok, lambda: sk.private_bytes("pem", form="both")),
        ("load_der_private_key both", ok, lambda: m.load_der_private_key(both)),
        ("load_pem_public_key", ok, lambda: m.load_pem_public_key(pk.public_bytes("pem"))),
        ("load_der_public_key garbage", ValueError, lambda: m.load_der_public_key(b"\x30\x03\x02\x01")),
        (
            "backend functions",
            ok,
            lambda: (native._backend(), native._available_backends(), native._set_backend(native._backend())),
        ),
        ("_set_backend unknown", ValueError, lambda: native._set_backend("none")),
    ]
