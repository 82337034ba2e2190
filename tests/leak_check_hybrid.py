"""Call paths of kyber_alg.hybrid for tests/leak_check.py: successes and each kind of refusal, so the
native calls underneath (curveSM2, ML-KEM-768, SM3, SM4-GCM) run on every error path too."""


def hybrid_paths(h, invalid_tag):
    sk = h.SM2MLKEM768PrivateKey.from_private_bytes(bytes(range(32)))
    pk = sk.public_key()
    client = h.CurveSM2MLKEM768Client()
    finished = h.CurveSM2MLKEM768Client()
    finished.finish(h.curve_sm2_mlkem768_server(finished.key_share)[0])
    server_share = h.curve_sm2_mlkem768_server(client.key_share)[0]
    off_curve = client.key_share[:64] + bytes([client.key_share[64] ^ 1]) + client.key_share[65:]
    bad_ek = pk.public_bytes_raw()[:1184]
    bad_ek = b"\xff\x0f" + bad_ek[2:] + pk.public_bytes_raw()[1184:]
    ct = pk.encapsulate()[1]
    sealed = h.seal(pk, b"leak check", b"ad")
    sealer = h.StreamSealer(pk, chunk_size=64)
    stream = sealer.update(bytes(200)) + sealer.finalize()
    pem = sk.private_bytes_pem()
    ok = None

    def open_stream(data):
        opener = h.StreamOpener(sk)
        return opener.update(data) + opener.finalize()

    return [
        ("curveSM2MLKEM768 server", ok, lambda: h.curve_sm2_mlkem768_server(client.key_share)),
        ("curveSM2MLKEM768 finish", ok, lambda: h.CurveSM2MLKEM768Client().finish(server_share)),
        ("curveSM2MLKEM768 second finish", ValueError, lambda: finished.finish(server_share)),
        ("curveSM2MLKEM768 short share", ValueError, lambda: h.curve_sm2_mlkem768_server(client.key_share[:-1])),
        ("curveSM2MLKEM768 point off the curve", ValueError, lambda: h.curve_sm2_mlkem768_server(off_curve)),
        ("public key parse", ok, lambda: h.SM2MLKEM768PublicKey.from_public_bytes(pk.public_bytes_raw())),
        ("public key failing the ML-KEM check", ValueError, lambda: h.SM2MLKEM768PublicKey.from_public_bytes(bad_ek)),
        ("private key from seed", ok, lambda: h.SM2MLKEM768PrivateKey.from_private_bytes(bytes(32))),
        ("encapsulate", ok, pk.encapsulate),
        ("decapsulate", ok, lambda: sk.decapsulate(ct)),
        ("decapsulate point off the curve", ValueError, lambda: sk.decapsulate(ct[:-1] + bytes([ct[-1] ^ 1]))),
        ("decapsulate str", TypeError, lambda: sk.decapsulate("ciphertext")),
        ("seal", ok, lambda: h.seal(pk, b"leak check", b"ad")),
        ("open", ok, lambda: h.open(sk, sealed, b"ad")),
        ("open wrong associated data", invalid_tag, lambda: h.open(sk, sealed, b"other")),
        ("stream open", ok, lambda: open_stream(stream)),
        ("stream truncated", invalid_tag, lambda: open_stream(stream[:-80])),
        ("PEM private key", ok, lambda: h.load_pem_private_key(pem)),
        ("PEM wrong label", ValueError, lambda: h.load_pem_public_key(pem)),
    ]
