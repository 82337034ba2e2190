"""Call paths of kyber_alg.sm4 / kyber_alg._sm4 and kyber_alg.sm3 / kyber_alg._sm3 for tests/leak_check.py.

Every function and method, on success and on each error path, with inputs
large enough to take the paths that release the GIL.
"""

BIG = bytes(range(256)) * 40  # 10 KiB: the GIL-free paths
MID = BIG[:3000]  # GIL-free too, for the slower calls
STRIDED = memoryview(bytes(64))[::2]  # copied by the byte view


def sm4_paths(m):
    from kyber_alg.exceptions import InvalidTag

    key, nonce, ok = bytes(range(16)), bytes(12), None
    gcm, ccm, ecb, cbc = m.SM4GCM(key), m.SM4CCM(key, tag_length=8), m.SM4ECB(key), m.SM4CBC(key)
    sealed, sealed_big = gcm.encrypt(nonce, b"hello", b"ad"), gcm.encrypt(nonce, BIG, BIG)
    boxed, boxed_big = ccm.encrypt(nonce, b"hello", b"ad"), ccm.encrypt(nonce, MID, b"ad")
    cbc_ct, cbc_big = cbc.encrypt(nonce + bytes(4), b"hello"), cbc.encrypt(bytes(16), BIG, "iso9797-1-m2")
    ctr = m.SM4CTR(key, bytes(16))
    ctr_big = m.SM4CTR(key, bytes(16))
    ctr_big.update(BIG)  # creates the object's lock
    done = m.SM4CTR(key, bytes(16))
    done.finalize()

    def ctr_whole_life():
        c = m.SM4CTR(key, bytes(16))
        c.update(BIG)
        return c.update(b"x") + c.finalize()

    return [
        ("SM4GCM()", ok, lambda: m.SM4GCM(key)),
        ("SM4GCM generate_key", ok, lambda: m.SM4GCM.generate_key()),
        ("gcm encrypt", ok, lambda: gcm.encrypt(nonce, b"hello", None)),
        ("gcm encrypt keywords", ok, lambda: gcm.encrypt(nonce=nonce, data=b"x", associated_data=b"a")),
        ("gcm encrypt large", ok, lambda: gcm.encrypt(bytes(20), BIG, BIG)),
        ("gcm encrypt strided", ok, lambda: gcm.encrypt(STRIDED[:12], STRIDED, STRIDED)),
        ("gcm encrypt_into", ok, lambda: gcm.encrypt_into(nonce, BIG, b"ad", bytearray(len(BIG) + 16))),
        ("gcm encrypt_into strided", ok, lambda: gcm.encrypt_into(nonce, STRIDED, None, bytearray(len(STRIDED) + 16))),
        ("gcm encrypt_into read-only", TypeError, lambda: gcm.encrypt_into(nonce, b"x", None, bytes(17))),
        ("gcm encrypt_into size", ValueError, lambda: gcm.encrypt_into(nonce, b"x", None, bytearray(16))),
        ("gcm decrypt_into", ok, lambda: gcm.decrypt_into(nonce, sealed, b"ad", bytearray(len(sealed) - 16))),
        (
            "gcm decrypt_into tampered",
            InvalidTag,
            lambda: gcm.decrypt_into(nonce, sealed, b"x", bytearray(len(sealed) - 16)),
        ),
        ("ccm encrypt_into", ok, lambda: ccm.encrypt_into(nonce, MID, b"ad", bytearray(len(MID) + 8))),
        ("gcm decrypt", ok, lambda: gcm.decrypt(nonce, sealed, b"ad")),
        ("gcm decrypt large", ok, lambda: gcm.decrypt(nonce, sealed_big, BIG)),
        ("gcm tampered", InvalidTag, lambda: gcm.decrypt(nonce, sealed, b"other")),
        ("gcm tampered large", InvalidTag, lambda: gcm.decrypt(nonce, sealed_big, None)),
        ("gcm short", InvalidTag, lambda: gcm.decrypt(nonce, b"short", None)),
        ("gcm empty nonce", ValueError, lambda: gcm.encrypt(b"", b"x", None)),
        ("gcm data type", TypeError, lambda: gcm.encrypt(nonce, "text", None)),
        ("gcm keyword twice", TypeError, lambda: gcm.encrypt(nonce, b"x", nonce=nonce)),
        ("gcm bad key", ValueError, lambda: m.SM4GCM(b"short")),
        ("gcm bit_length", ValueError, lambda: m.SM4GCM.generate_key(192)),
        ("SM4CCM()", ok, lambda: m.SM4CCM(key, tag_length=4)),
        ("ccm encrypt", ok, lambda: ccm.encrypt(nonce[:7], b"hello", b"ad")),
        ("ccm encrypt large", ok, lambda: ccm.encrypt(nonce, MID, b"ad")),
        ("ccm decrypt", ok, lambda: ccm.decrypt(nonce, boxed, b"ad")),
        ("ccm decrypt large", ok, lambda: ccm.decrypt(nonce, boxed_big, b"ad")),
        ("ccm tampered", InvalidTag, lambda: ccm.decrypt(nonce, boxed, None)),
        ("ccm tampered large", InvalidTag, lambda: ccm.decrypt(nonce, boxed_big, b"")),
        ("ccm nonce size", ValueError, lambda: ccm.encrypt(bytes(14), b"x", None)),
        ("ccm too long", ValueError, lambda: ccm.encrypt(bytes(13), bytes(70000), None)),
        ("ccm tag size", ValueError, lambda: m.SM4CCM(key, tag_length=5)),
        ("ccm tag type", TypeError, lambda: m.SM4CCM(key, tag_length="16")),
        ("SM4CTR()", ok, lambda: m.SM4CTR(key, bytes(16))),
        ("ctr update", ok, lambda: ctr.update(b"hello")),
        ("ctr update large, locked", ok, lambda: ctr_big.update(BIG)),
        ("ctr whole life", ok, ctr_whole_life),
        ("ctr finalized", ValueError, lambda: done.update(b"x")),
        ("ctr finalized twice", ValueError, done.finalize),
        ("ctr bad nonce", ValueError, lambda: m.SM4CTR(key, bytes(8))),
        ("ctr data type", TypeError, lambda: ctr.update("text")),
        ("SM4ECB()", ok, lambda: m.SM4ECB(key)),
        ("ecb round trip", ok, lambda: ecb.decrypt(ecb.encrypt(b"hello", "iso9797-1-m2"), "iso9797-1-m2")),
        ("ecb large", ok, lambda: ecb.decrypt(ecb.encrypt(BIG))),
        ("ecb bad padding", ValueError, lambda: ecb.decrypt(bytes(16))),
        ("ecb padding name", ValueError, lambda: ecb.encrypt(b"x", padding="zero")),
        ("SM4CBC()", ok, lambda: m.SM4CBC(key)),
        ("cbc decrypt", ok, lambda: cbc.decrypt(nonce + bytes(4), cbc_ct)),
        ("cbc decrypt large", ok, lambda: cbc.decrypt(bytes(16), cbc_big, padding="iso9797-1-m2")),
        ("cbc none", ok, lambda: cbc.decrypt(bytes(16), cbc.encrypt(bytes(16), MID[:2048], "none"), "none")),
        ("cbc bad length", ValueError, lambda: cbc.decrypt(bytes(16), bytes(17))),
        ("cbc bad iv", ValueError, lambda: cbc.encrypt(bytes(3), b"x")),
        (
            "sm4 modes backend functions",
            ok,
            lambda: (m._backend(), m._available_backends(), m._set_backend(m._backend())),
        ),
    ]


def sm3_paths(m, api):
    ok = None

    def stdlib_hmac():
        import hmac

        return hmac.new(b"key", BIG, api.sm3).hexdigest()

    return [
        ("sm3()", ok, lambda: api.sm3(b"abc").digest()),
        ("stdlib hmac", ok, stdlib_hmac),
        ("hmac_sm3", ok, lambda: m.hmac_sm3(b"key", b"msg")),
        ("hmac_sm3 large", ok, lambda: m.hmac_sm3(MID, MID)),
        ("hmac_sm3 strided", ok, lambda: m.hmac_sm3(STRIDED, STRIDED)),
        ("hmac_sm3 str", TypeError, lambda: m.hmac_sm3("key", b"msg")),
        ("hmac_sm3 missing", TypeError, lambda: m.hmac_sm3(b"key")),
        ("HMAC keyed copy", ok, lambda: _keyed_mac(m, b"msg")),
        ("HMAC large", ok, lambda: m.HMAC(MID, MID).hexdigest()),
        ("HMAC update large", ok, lambda: _keyed_mac(m, BIG)),
        ("HMAC update str", TypeError, lambda: m.HMAC(b"key").update("msg")),
        ("HMAC key str", TypeError, lambda: m.HMAC("key")),
        ("_sm3.sm3()", ok, lambda: m.sm3(b"msg", usedforsecurity=False).digest()),
        ("_sm3.sm3() large", ok, lambda: m.sm3(data=BIG).digest()),
        ("_sm3.sm3() str", TypeError, lambda: m.sm3("msg")),
        ("_sm3.sm3() extra", TypeError, lambda: m.sm3(b"a", b"b")),
        ("pbkdf2", ok, lambda: m.pbkdf2_hmac_sm3(b"pw", b"salt", 2, 40)),
        ("pbkdf2 released", ok, lambda: m.pbkdf2_hmac_sm3(b"pw", BIG, 20, None)),
        ("pbkdf2 iterations", ValueError, lambda: m.pbkdf2_hmac_sm3(b"pw", b"salt", 0)),
        ("pbkdf2 huge", ValueError, lambda: m.pbkdf2_hmac_sm3(b"pw", b"salt", 1 << 70)),
        ("pbkdf2 type", TypeError, lambda: m.pbkdf2_hmac_sm3(b"pw", b"salt", "2")),
        ("hkdf", ok, lambda: m.hkdf_sm3(b"ikm", None, b"info", 42)),
        ("hkdf long", ok, lambda: m.hkdf_sm3(BIG, BIG, b"info", 8160)),
        ("hkdf extract", ok, lambda: m.hkdf_sm3_extract(b"salt", b"ikm")),
        ("hkdf expand", ok, lambda: m.hkdf_sm3_expand(bytes(32), None, 100)),
        ("hkdf expand long prk", ok, lambda: m.hkdf_sm3_expand(bytes(100), b"info", 2000)),
        ("hkdf length", ValueError, lambda: m.hkdf_sm3(b"ikm", None, None, 9000)),
        ("hkdf short prk", ValueError, lambda: m.hkdf_sm3_expand(b"prk", None, 10)),
        ("kdf", ok, lambda: m.kdf(b"z", 100)),
        ("kdf large", ok, lambda: m.kdf(BIG, 5000)),
        ("kdf negative", ValueError, lambda: m.kdf(b"z", -1)),
        (
            "sm3 api backend functions",
            ok,
            lambda: (m._backend(), m._available_backends(), m._set_backend(m._backend())),
        ),
        ("sm3 api bad backend", ValueError, lambda: m._set_backend("none")),
    ]


def _keyed_mac(m, msg):
    mac = m.HMAC(b"key").copy()
    mac.update(msg)
    return mac.digest()
