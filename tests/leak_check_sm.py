"""Call paths of kyber_alg.sm.SM3, kyber_alg.sm.sm4 and kyber_alg.sm.SM2 for tests/leak_check.py.

Every function and method, on success and on each error path, with inputs
large enough to take the paths that release the GIL.
"""

BIG = bytes(range(256)) * 40  # 10 KiB: the GIL-free paths
STRIDED = memoryview(bytes(64))[::2]  # copied by the byte view


def sm3_sm4_paths(m3, m4):
    key, iv = bytes(range(16)), bytes(range(16, 32))
    enc = m4.CryptSM4()
    enc.set_key(key, m4.SM4_ENCRYPT)
    dec = m4.CryptSM4()
    dec.set_key(key, m4.SM4_DECRYPT)
    zero_enc, zero_dec = m4.CryptSM4(padding_mode=m4.ZERO), m4.CryptSM4(padding_mode=m4.ZERO)
    zero_enc.set_key(key, m4.SM4_ENCRYPT)
    zero_dec.set_key(key, m4.SM4_DECRYPT)
    ct_small, ct_big = enc.crypt_cbc(iv, b"hello"), enc.crypt_cbc(iv, BIG)
    ecb_small, ecb_zero = enc.crypt_ecb(b"hello"), zero_enc.crypt_ecb(b"hello")
    bad_padding = enc.crypt_ecb(bytes(15) + b"\x05")[:16]  # decrypts to ...05 in a block of zeros
    h = m3.SM3(b"abc")
    ok = None

    def big_hash_object():
        x = m3.SM3(BIG)  # creates the object's lock
        x.update(BIG)
        return x.digest()

    return [
        # SM3
        ("SM3()", ok, lambda: m3.SM3()),
        ("SM3(data)", ok, lambda: m3.SM3(b"abc")),
        ("SM3(msg=)", ok, lambda: m3.SM3(msg=b"abc")),
        ("SM3 large, locked", ok, big_hash_object),
        ("SM3(large), no lock", ok, lambda: m3.SM3(BIG).digest()),
        ("SM3.__new__", ok, lambda: m3.SM3.__new__(m3.SM3, msg=b"abc")),
        ("update", ok, lambda: h.update(b"x" * 100)),
        ("update strided", ok, lambda: h.update(STRIDED)),
        ("digest", ok, h.digest),
        ("hexdigest", ok, h.hexdigest),
        ("copy", ok, h.copy),
        ("attributes", ok, lambda: (h.name, h.digest_size, h.block_size)),
        ("hash_msg bytes", ok, lambda: m3.hash_msg(b"abc")),
        ("hash_msg str", ok, lambda: m3.hash_msg("abc\u00e9")),
        ("hash_msg list", ok, lambda: m3.hash_msg([1, 2, 3])),
        ("hash_msg large", ok, lambda: m3.hash_msg(BIG)),
        ("update str", TypeError, lambda: h.update("abc")),
        ("update int", TypeError, lambda: h.update(5)),
        ("SM3 bad arg", TypeError, lambda: m3.SM3(5)),
        ("SM3 two args", TypeError, lambda: m3.SM3(b"", b"")),
        ("SM3 msg twice", TypeError, lambda: m3.SM3(b"", msg=b"")),
        ("SM3 unknown keyword", TypeError, lambda: m3.SM3(data=b"")),
        ("SM3 str keyword", TypeError, lambda: m3.SM3(msg="abc")),
        ("hash_msg int", TypeError, lambda: m3.hash_msg(5)),
        ("hash_msg 256", ValueError, lambda: m3.hash_msg([256])),
        ("hash_msg surrogate", UnicodeEncodeError, lambda: m3.hash_msg("\ud800")),
        (
            "SM3 backend functions",
            ok,
            lambda: (m3._backend(), m3._available_backends(), m3._set_backend(m3._backend())),
        ),
        ("SM3 bad backend", ValueError, lambda: m3._set_backend("none")),
        # SM4
        ("CryptSM4()", ok, lambda: m4.CryptSM4()),
        ("CryptSM4(mode, padding)", ok, lambda: m4.CryptSM4(m4.SM4_DECRYPT, padding_mode=m4.ZERO)),
        ("set_key", ok, lambda: m4.CryptSM4().set_key(key, m4.SM4_DECRYPT)),
        ("cbc encrypt", ok, lambda: enc.crypt_cbc(iv, b"hello")),
        ("cbc encrypt large", ok, lambda: enc.crypt_cbc(iv, BIG)),
        ("cbc encrypt strided", ok, lambda: enc.crypt_cbc(STRIDED[:16], STRIDED)),
        ("cbc decrypt", ok, lambda: dec.crypt_cbc(iv, ct_small)),
        ("cbc decrypt large", ok, lambda: dec.crypt_cbc(iv, ct_big)),
        ("ecb encrypt", ok, lambda: enc.crypt_ecb(b"hello")),
        ("ecb decrypt", ok, lambda: dec.crypt_ecb(ecb_small)),
        ("ecb zero padding", ok, lambda: (zero_enc.crypt_ecb(b"hi"), zero_dec.crypt_ecb(ecb_zero))),
        ("attributes sm4", ok, lambda: (enc.mode, enc.padding_mode)),
        ("bad padding", ValueError, lambda: dec.crypt_ecb(bad_padding)),
        ("wrong key", ValueError, lambda: dec.crypt_cbc(bytes(16), ct_small)),
        ("bad length", ValueError, lambda: dec.crypt_cbc(iv, ct_small[:-1])),
        ("empty ciphertext", ValueError, lambda: dec.crypt_ecb(b"")),
        ("short key", ValueError, lambda: m4.CryptSM4().set_key(b"k", m4.SM4_ENCRYPT)),
        ("str key", TypeError, lambda: m4.CryptSM4().set_key("k" * 16, m4.SM4_ENCRYPT)),
        ("bad mode", ValueError, lambda: m4.CryptSM4().set_key(key, 7)),
        ("mode type", TypeError, lambda: m4.CryptSM4().set_key(key, "0")),
        ("bad padding mode", ValueError, lambda: m4.CryptSM4(padding_mode=9)),
        ("mode beyond a long", ValueError, lambda: m4.CryptSM4().set_key(key, 2**64)),
        ("padding beyond a long", ValueError, lambda: m4.CryptSM4(0, 2**64)),
        ("constructor keyword", TypeError, lambda: m4.CryptSM4(other=1)),
        ("short iv", ValueError, lambda: enc.crypt_cbc(b"iv", b"data")),
        ("unkeyed", ValueError, lambda: m4.CryptSM4().crypt_cbc(iv, b"data")),
        ("data type", TypeError, lambda: enc.crypt_ecb("text")),
        ("cbc keywords", ok, lambda: enc.crypt_cbc(iv=iv, input_data=b"x")),
        ("cbc missing argument", TypeError, lambda: enc.crypt_cbc(iv)),
        (
            "sm4 backend functions",
            ok,
            lambda: (m4._backend(), m4._available_backends(), m4._set_backend(m4._backend())),
        ),
        ("sm4 backend type", TypeError, lambda: m4._set_backend(1)),
    ]


def sm2_paths(m2):
    pub, priv = m2.generate_keypair(64)
    c = m2.Encrypt(b"leak check", pub, 64, 0)
    ok = None
    return [
        ("SM2 generate_keypair", ok, lambda: m2.generate_keypair(64)),
        ("SM2 Encrypt", ok, lambda: m2.Encrypt(b"leak check", pub, 64, 0)),
        ("SM2 Encrypt str, hex key", ok, lambda: m2.Encrypt("text\u00e9", pub.hex(), 64, 0, mode="C1C2C3")),
        ("SM2 Encrypt hex message", ok, lambda: m2.Encrypt("00ff", memoryview(pub), 64, 1)),
        ("SM2 Encrypt large", ok, lambda: m2.Encrypt(BIG, pub, 64, 0)),
        ("SM2 Decrypt", ok, lambda: m2.Decrypt(c, priv, 64)),
        ("SM2 Decrypt hex", ok, lambda: m2.Decrypt(c.hex(), priv.hex(), 64, 1)),
        ("SM2 _encrypt_with_nonce", ok, lambda: m2._encrypt_with_nonce(b"m", pub, b"\x01" * 32)),
        ("SM2 _public_key", ok, lambda: m2._public_key(priv)),
        ("SM2 C3 mismatch", ValueError, lambda: m2.Decrypt(c[:-1], priv, 64)),
        ("SM2 C1 off the curve", ValueError, lambda: m2.Decrypt(bytes(1) + c[1:], priv, 64)),
        ("SM2 too short", ValueError, lambda: m2.Decrypt(c[:96], priv, 64)),
        ("SM2 private key range", ValueError, lambda: m2.Decrypt(c, bytes(32), 64)),
        ("SM2 public key infinity", ValueError, lambda: m2.Encrypt(b"m", bytes(64), 64, 0)),
        ("SM2 bad hex", ValueError, lambda: m2.Encrypt("zz", pub, 64, 1)),
        (
            "SM2 hex, whitespace",
            ok,
            lambda: m2.Decrypt(" ".join(c.hex()[i : i + 2] for i in range(0, 2 * len(c), 2)), priv, 64),
        ),
        ("SM2 hex, strided view", ok, lambda: m2.Encrypt(memoryview(b"0a1b")[::2], pub, 64, 1)),
        ("SM2 hex, odd digits", ValueError, lambda: m2.Encrypt(b"abc", pub, 64, 1)),
        ("SM2 hex, non-ASCII", ValueError, lambda: m2.Encrypt("ab\u00e9", pub, 64, 1)),
        ("SM2 hex, bad private key text", ValueError, lambda: m2.Decrypt(c, "zz" * 32, 64)),
        ("SM2 bad mode", ValueError, lambda: m2.Encrypt(b"m", pub, 64, 0, mode="C2")),
        ("SM2 len_para", ValueError, lambda: m2.Decrypt(c, priv, 32)),
        ("SM2 ciphertext type", TypeError, lambda: m2.Decrypt(None, priv, 64)),
        ("SM2 bad encoding", LookupError, lambda: m2.Encrypt("m", pub, 64, 0, encoding="no-such")),
        (
            "SM2 backend functions",
            ok,
            lambda: (m2._backend(), m2._available_backends(), m2._set_backend(m2._backend())),
        ),
        ("SM2 bad backend", ValueError, lambda: m2._set_backend("none")),
        ("SM2 backend type", TypeError, lambda: m2._set_backend(1)),
    ]


def sm2_api_paths(sm2, native):
    """kyber_alg.sm2 and its native module kyber_alg._sm2: every call, on success and on its error paths."""
    from kyber_alg.exceptions import InvalidSignature

    key = sm2.SM2PrivateKey.generate()
    peer, ra, rb = (sm2.SM2PrivateKey.generate() for _ in range(3))
    pub = key.public_key()
    sig, raw_sig = key.sign(b"leak"), key.sign(b"leak", encoding="raw")
    digest = bytes(range(32))
    cts = {fmt: pub.encrypt(b"leak check", fmt) for fmt in ("c1c3c2", "c1c2c3", "der")}
    big_ct = pub.encrypt(BIG)
    pems = {"pkcs8": key.private_bytes(), "sec1": key.private_bytes("der", "sec1"), "spki": pub.public_bytes()}
    ok = None
    nk, npub = key._key, pub._key
    return [
        ("sm2 generate", ok, sm2.SM2PrivateKey.generate),
        ("sm2 from_private_bytes", ok, lambda: sm2.SM2PrivateKey.from_private_bytes(key.private_bytes_raw())),
        ("sm2 private key range", ValueError, lambda: sm2.SM2PrivateKey.from_private_bytes(bytes(32))),
        ("sm2 from_public_bytes", ok, lambda: sm2.SM2PublicKey.from_public_bytes(pub.public_bytes_raw())),
        (
            "sm2 from_public_bytes compressed",
            ok,
            lambda: sm2.SM2PublicKey.from_public_bytes(pub.public_bytes_raw(compressed=True)),
        ),
        (
            "sm2 public key off the curve",
            ValueError,
            lambda: sm2.SM2PublicKey.from_public_bytes(b"\x04" + bytes(63) + b"\x01"),
        ),
        ("sm2 private_bytes", ok, lambda: (key.private_bytes(), key.private_bytes("der", "sec1"))),
        (
            "sm2 load keys",
            ok,
            lambda: (
                sm2.load_pem_private_key(pems["pkcs8"]),
                sm2.load_der_private_key(pems["sec1"]),
                sm2.load_pem_public_key(pems["spki"]),
            ),
        ),
        ("sm2 load garbage", ValueError, lambda: sm2.load_der_private_key(b"\x30\x03\x02\x01\x05")),
        ("sm2 sign", ok, lambda: key.sign(b"leak")),
        ("sm2 sign large", ok, lambda: key.sign(BIG, uid=b"")),
        ("sm2 sign str", TypeError, lambda: key.sign("text")),
        ("sm2 sign raw", ok, lambda: key.sign(b"leak", encoding="raw")),
        ("sm2 sign_digest", ok, lambda: key.sign_digest(digest, encoding="raw")),
        ("sm2 sign_digest der", ok, lambda: key.sign_digest(digest)),
        ("sm2 sign_digest short", ValueError, lambda: key.sign_digest(b"x")),
        ("sm2 verify", ok, lambda: pub.verify(sig, b"leak")),
        ("sm2 verify raw", ok, lambda: pub.verify(raw_sig, bytearray(b"leak"), encoding="raw")),
        ("sm2 verify bad", InvalidSignature, lambda: pub.verify(sig, b"other")),
        ("sm2 verify garbage", InvalidSignature, lambda: pub.verify(b"\x30\x00", b"leak")),
        ("sm2 verify_digest bad", InvalidSignature, lambda: pub.verify_digest(raw_sig, digest, encoding="raw")),
        ("sm2 z", ok, lambda: pub.z(b"uid")),
        ("sm2 z too long", ValueError, lambda: pub.z(b"x" * 9000)),
        ("sm2 encrypt", ok, lambda: [pub.encrypt(b"leak", fmt) for fmt in cts]),
        ("sm2 encrypt large", ok, lambda: pub.encrypt(BIG)),
        ("sm2 encrypt empty", ValueError, lambda: pub.encrypt(b"")),
        ("sm2 decrypt", ok, lambda: [key.decrypt(ct, fmt) for fmt, ct in cts.items()]),
        ("sm2 decrypt large", ok, lambda: key.decrypt(big_ct)),
        ("sm2 decrypt unprefixed", ok, lambda: key.decrypt(cts["c1c3c2"][1:])),
        ("sm2 decrypt C3 mismatch", sm2.DecryptionError, lambda: key.decrypt(cts["c1c3c2"][:-1] + b"\0")),
        ("sm2 decrypt bad DER", sm2.DecryptionError, lambda: key.decrypt(cts["der"][:-1], "der")),
        ("sm2 convert_ciphertext", ok, lambda: sm2.convert_ciphertext(cts["der"], "der", "c1c2c3")),
        ("sm2 exchange", ok, lambda: key.exchange(peer.public_key())),
        ("sm2 exchange type", TypeError, lambda: key.exchange(key)),
        ("sm2 key_exchange", ok, lambda: sm2.key_exchange(key, ra, peer.public_key(), rb.public_key(), 40)),
        (
            "sm2 key_exchange responder",
            ok,
            lambda: sm2.key_exchange(peer, rb, pub, ra.public_key(), 16, initiator=False, uid=b"b", peer_uid=b"a"),
        ),
        ("sm2 key_exchange length", ValueError, lambda: sm2.key_exchange(key, ra, pub, pub, 0)),
        ("sm2 repr eq hash", ok, lambda: (repr(key), repr(pub), pub == pub, hash(pub))),
        ("sm2 pickle refused", TypeError, lambda: key.__reduce__()),
        # the native module's own argument checks
        ("_sm2 private_key type", TypeError, lambda: native.private_key("x")),
        ("_sm2 public_key length", ValueError, lambda: native.public_key(b"x")),
        ("_sm2 is_point", ok, lambda: (native.is_point(pub.public_bytes_raw()[1:]), native.is_point(b""))),
        ("_sm2 sign count", TypeError, lambda: nk.sign(b"z")),
        ("_sm2 sign_der count", TypeError, lambda: nk.sign_der(b"z")),
        ("_sm2 sign with nonce", ok, lambda: nk._sign_digest_with_nonce(digest, digest)),
        ("_sm2 sign with nonce der", ok, lambda: nk._sign_digest_with_nonce(digest, digest, True)),
        ("_sm2 sign with nonce range", ValueError, lambda: nk._sign_digest_with_nonce(digest, bytes(32))),
        ("_sm2 decrypt parts", TypeError, lambda: nk.decrypt(None, b"", b"")),
        (
            "_sm2 decrypt empty C2",
            sm2.DecryptionError,
            lambda: nk.decrypt(cts["c1c3c2"][1:65], cts["c1c3c2"][65:97], b""),
        ),
        ("_sm2 key_exchange types", TypeError, lambda: nk.key_exchange(nk, nk, npub, 16, True, b"", b"")),
        ("_sm2 key_exchange z length", ValueError, lambda: nk.key_exchange(nk, npub, npub, 16, True, b"", bytes(32))),
        ("_sm2 encrypt with nonce", ok, lambda: npub._encrypt_with_nonce(b"m", digest, True)),
        ("_sm2 verify count", TypeError, lambda: npub.verify(b"")),
        (
            "_sm2 backend functions",
            ok,
            lambda: (native._backend(), native._available_backends(), native._set_backend(native._backend())),
        ),
    ]
