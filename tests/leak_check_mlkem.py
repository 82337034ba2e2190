"""Call paths of kyber_alg.mlkem (and its native part kyber_alg._mlkem) for tests/leak_check.py.

Every native method and module function on success and on each error path, for ML-KEM-512 (GIL held) and
ML-KEM-768 (GIL released), and the Python encoders and loaders of every key form.
"""

STRIDED = memoryview(bytes(128))[::2]  # copied by the byte view


def mlkem_paths(m, native):
    from kyber_alg import _asn1

    ok = None
    paths = []
    for bits in (512, 768):
        private, public = getattr(m, f"MLKEM{bits}PrivateKey"), getattr(m, f"MLKEM{bits}PublicKey")
        sk = private.from_seed_bytes(bytes(range(64)))
        pk = sk.public_key()
        ek = pk.public_bytes_raw()
        _, ct = pk.encapsulate()
        dk = sk._expanded_bytes()
        bad_dk = dk[:-64] + bytes(32) + dk[-32:]
        oid = sk._set.oid
        both = _asn1.private_key_info(oid, _asn1.sequence(_asn1.octet_string(bytes(range(64))), _asn1.octet_string(dk)))
        wrong_both = _asn1.private_key_info(oid, _asn1.sequence(_asn1.octet_string(bytes(64)), _asn1.octet_string(dk)))
        paths += [
            (f"{bits} {name}", expected, fn)
            for name, expected, fn in [
                ("generate", ok, private.generate),
                ("from_seed_bytes", ok, lambda: private.from_seed_bytes(bytes(64))),
                ("from_seed_bytes keyword strided", ok, lambda: private.from_seed_bytes(data=STRIDED)),
                ("from_seed_bytes short", ValueError, lambda: private.from_seed_bytes(bytes(63))),
                ("from_seed_bytes str", TypeError, lambda: private.from_seed_bytes("x" * 64)),
                ("from_seed_bytes int", TypeError, lambda: private.from_seed_bytes(5)),
                ("from_seed_bytes keyword", TypeError, lambda: private.from_seed_bytes(seed=b"")),
                ("_from_expanded", ok, lambda: private._from_expanded(dk, None)),
                ("_from_expanded both", ok, lambda: private._from_expanded(dk, bytes(range(64)))),
                ("_from_expanded inconsistent", ValueError, lambda: private._from_expanded(dk, bytes(64))),
                ("_from_expanded hash", ValueError, lambda: private._from_expanded(bad_dk, None)),
                ("_from_expanded length", ValueError, lambda: private._from_expanded(dk[1:], None)),
                ("_from_expanded seed length", ValueError, lambda: private._from_expanded(dk, b"")),
                ("decapsulate", ok, lambda: sk.decapsulate(ct)),
                ("decapsulate keyword", ok, lambda: sk.decapsulate(ciphertext=ct)),
                ("decapsulate length", ValueError, lambda: sk.decapsulate(ct[1:])),
                ("private_bytes_raw", ok, sk.private_bytes_raw),
                ("_expanded_bytes", ok, sk._expanded_bytes),
                ("public_key", ok, sk.public_key),
                ("_public_key wrong class", TypeError, lambda: sk._public_key(int)),
                ("from_public_bytes", ok, lambda: public.from_public_bytes(ek)),
                ("from_public_bytes modulus", ValueError, lambda: public.from_public_bytes(b"\xff" * len(ek))),
                ("from_public_bytes length", ValueError, lambda: public.from_public_bytes(ek[1:])),
                ("encapsulate", ok, pk.encapsulate),
                ("_encapsulate_deterministic", ok, lambda: pk._encapsulate_deterministic(bytes(32))),
                ("_encapsulate_deterministic short", ValueError, lambda: pk._encapsulate_deterministic(b"")),
                ("public_bytes_raw and ==", ok, lambda: pk.public_bytes_raw() == ek and pk == pk),
                ("hash", TypeError, lambda: hash(pk)),
                ("private_bytes pem", ok, lambda: sk.private_bytes("pem")),
                ("public_bytes der", ok, lambda: pk.public_bytes("der")),
                ("load_pem_private_key", ok, lambda: m.load_pem_private_key(sk.private_bytes("pem"))),
                ("load_der_private_key both", ok, lambda: m.load_der_private_key(both)),
                ("load_der_private_key inconsistent", ValueError, lambda: m.load_der_private_key(wrong_both)),
                ("load_pem_public_key", ok, lambda: m.load_pem_public_key(pk.public_bytes("pem"))),
            ]
        ]
    paths += [
        ("load_der_public_key garbage", ValueError, lambda: m.load_der_public_key(b"\x30\x03\x02\x01")),
        (
            "backend functions",
            ok,
            lambda: (native._backend(), native._available_backends(), native._set_backend(native._backend())),
        ),
        ("_set_backend unknown", ValueError, lambda: native._set_backend("none")),
    ]
    return paths
