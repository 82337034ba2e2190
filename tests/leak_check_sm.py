"""Call paths of kyber_alg.sm.SM3, kyber_alg.sm.sm4 and kyber_alg.sm.SM2 for tests/leak_check.py.

Every function and method, on success and on each error path, with inputs
large enough to take the paths that release the GIL.
"""

BIG = bytes(range(256)) * 40          # 10 KiB: the GIL-free paths
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
        ("SM3 backend functions", ok, lambda: (m3._backend(), m3._available_backends(),
                                                m3._set_backend(m3._backend()))),
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
        ("sm4 backend functions", ok, lambda: (m4._backend(), m4._available_backends(),
                                                m4._set_backend(m4._backend()))),
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
        ("SM2 hex, whitespace", ok, lambda: m2.Decrypt(" ".join(c.hex()[i:i + 2] for i in range(0, 2 * len(c), 2)),
                                                       priv, 64)),
        ("SM2 hex, strided view", ok, lambda: m2.Encrypt(memoryview(b"0a1b")[::2], pub, 64, 1)),
        ("SM2 hex, odd digits", ValueError, lambda: m2.Encrypt(b"abc", pub, 64, 1)),
        ("SM2 hex, non-ASCII", ValueError, lambda: m2.Encrypt("ab\u00e9", pub, 64, 1)),
        ("SM2 hex, bad private key text", ValueError, lambda: m2.Decrypt(c, "zz" * 32, 64)),
        ("SM2 bad mode", ValueError, lambda: m2.Encrypt(b"m", pub, 64, 0, mode="C2")),
        ("SM2 len_para", ValueError, lambda: m2.Decrypt(c, priv, 32)),
        ("SM2 ciphertext type", TypeError, lambda: m2.Decrypt(None, priv, 64)),
        ("SM2 bad encoding", LookupError, lambda: m2.Encrypt("m", pub, 64, 0, encoding="no-such")),
        ("SM2 backend functions", ok, lambda: (m2._backend(), m2._available_backends(),
                                                m2._set_backend(m2._backend()))),
        ("SM2 bad backend", ValueError, lambda: m2._set_backend("none")),
        ("SM2 backend type", TypeError, lambda: m2._set_backend(1)),
    ]
