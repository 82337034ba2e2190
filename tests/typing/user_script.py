"""What a user of the package writes, checked with mypy --strict and pyright in strict mode
(and run by the suite, so it stays a working program)."""
# pyright: strict

import datetime
import hmac
import io
import os
from typing import assert_type

from cryptography import x509 as cx
from cryptography.x509.oid import NameOID

import kyber_alg.sm
from kyber_alg import Kyber, Velmora, hybrid, mldsa, mlkem, sm2, x509
from kyber_alg import sm3 as sm3_api
from kyber_alg import sm4 as sm4_api
from kyber_alg.exceptions import InvalidSignature, InvalidTag
from kyber_alg.sm import SM2, SM3, sm4


def exchange(message: str) -> str:
    pk, sk = Velmora.key_gen_hybrid()
    assert_type(pk, str)
    sent = Velmora.enc_hybrid(pk)
    assert_type(sent, tuple[bytes, bytes, str, str])
    c_text1, c_text2, key, iv = sent
    ciphertext = Velmora.sm4_encode(key, iv, message)
    received = Velmora.dec_hybrid(c_text1, c_text2, sk)
    assert_type(received, tuple[str, str])
    return Velmora.sm4_decode(received[0], received[1], ciphertext)


def kem_round_trip() -> bool:
    ek, dk = Kyber.CCA_KeyGen()
    assert_type(ek, bytes)
    c, shared = Kyber.CCA_Enc(ek.decode(), os.urandom(32))
    recovered: bytes = Kyber.CCA_Dec(c, dk)
    derand: tuple[bytes, bytes] = Kyber.CCA_KeyGen_derand(bytes(32), bytearray(32))
    return recovered == shared and len(derand[0]) == 1600 and Kyber.PARAMETER_SET == "ML-KEM-512"


def native_sm(message: bytes) -> bool:
    h = SM3.SM3(message)
    h.update(bytearray(b"!"))
    digest: bytes = h.copy().digest()
    same = SM3.hash_msg(message + b"!") == h.hexdigest() == digest.hex()
    cipher = sm4.CryptSM4(sm4.SM4_ENCRYPT, padding_mode=sm4.PKCS7)
    cipher.set_key(bytes(16), sm4.SM4_ENCRYPT)
    ct = cipher.crypt_cbc(bytes(16), message)
    cipher.set_key(bytes(16), mode=sm4.SM4_DECRYPT)
    assert_type(cipher.crypt_cbc(iv=bytes(16), input_data=ct), bytes)
    return same and cipher.crypt_cbc(bytes(16), ct) == message and cipher.mode == sm4.SM4_DECRYPT


def native_sm2(message: bytes) -> bool:
    pair = SM2.generate_keypair(64)
    public_key, private_key = pair
    assert_type(pair.publicKey, bytes)
    ciphertext = SM2.Encrypt(message, public_key, 64, 0)
    assert_type(ciphertext, bytes)
    kyber_alg.sm.use_native()
    try:
        return SM2.Decrypt(ciphertext, private_key, 64) == message and exchange("native") == "native"
    finally:
        kyber_alg.sm.use_default()


def hybrid_round_trip(message: bytes) -> bool:
    client = hybrid.CurveSM2MLKEM768Client()
    reply = hybrid.curve_sm2_mlkem768_server(client.key_share)
    assert_type(reply, tuple[bytes, bytes])
    tls_ok = client.finish(reply[0]) == reply[1]
    sk = hybrid.SM2MLKEM768PrivateKey.generate()
    pk = hybrid.load_pem_public_key(sk.public_key().public_bytes_pem())
    assert_type(pk, hybrid.SM2MLKEM768PublicKey)
    shared_secret, ciphertext = pk.encapsulate()
    sealed = hybrid.seal(pk, message, associated_data=None)
    try:
        hybrid.open(sk, sealed, b"other")
        return False
    except InvalidTag:
        pass
    sealer = hybrid.StreamSealer(pk, chunk_size=hybrid.MIN_CHUNK_SIZE)
    stream = sealer.update(bytearray(message)) + sealer.finalize()
    out = io.BytesIO()
    size: int = hybrid.open_stream(sk, io.BytesIO(stream), out)
    return (
        tls_ok
        and sk.decapsulate(ciphertext) == shared_secret
        and hybrid.open(sk, sealed) == message
        and out.getvalue() == message
        and size == len(message)
    )


def pythonic_sm2(message: bytes) -> bool:
    key = sm2.SM2PrivateKey.generate()
    public_key: sm2.SM2PublicKey = key.public_key()
    signature = key.sign(message, uid=sm2.DEFAULT_UID, encoding="raw")
    public_key.verify(signature, bytearray(message), encoding="raw")
    try:
        public_key.verify(signature, message + b"!", encoding="raw")
        return False
    except InvalidSignature:
        pass
    digest: bytes = public_key.z()
    public_key.verify_digest(key.sign_digest(digest), digest)
    ciphertext = public_key.encrypt(message, format="der")
    assert_type(sm2.convert_ciphertext(ciphertext, "der", "c1c2c3"), bytes)
    try:
        key.decrypt(ciphertext[:-1], format="der")
        return False
    except sm2.DecryptionError as exc:
        assert isinstance(exc, ValueError)
    loaded = sm2.load_pem_private_key(key.private_bytes(encoding="pem", format="pkcs8"))
    same = sm2.load_der_public_key(public_key.public_bytes("der")) == public_key
    peer, ephemeral, peer_ephemeral = (sm2.SM2PrivateKey.generate() for _ in range(3))
    agreed = sm2.key_exchange(key, ephemeral, peer.public_key(), peer_ephemeral.public_key(), 16, initiator=True)
    assert_type(agreed, tuple[bytes, bytes, bytes])
    shared: bytes = key.exchange(peer.public_key())
    raw = sm2.SM2PublicKey.from_public_bytes(public_key.public_bytes_raw(compressed=True))
    return (
        key.decrypt(ciphertext, "der") == message
        and same
        and raw == public_key
        and len(shared) == 32
        and loaded.private_bytes_raw() == key.private_bytes_raw()
        and public_key.x > 0
    )


def sm4_modes(message: bytes) -> bool:
    key = sm4_api.SM4GCM.generate_key()
    assert_type(key, bytes)
    gcm = sm4_api.SM4GCM(key)
    nonce = os.urandom(12)
    sealed = gcm.encrypt(nonce, message, None)
    assert_type(sealed, bytes)
    try:
        gcm.decrypt(nonce, sealed, b"other associated data")
        return False
    except InvalidTag:
        pass
    ccm = sm4_api.SM4CCM(bytearray(key), tag_length=8)
    boxed = ccm.encrypt(nonce[:7], message, associated_data=memoryview(b"header"))
    stream = sm4_api.SM4CTR(key, bytes(16))
    streamed: bytes = stream.update(message) + stream.finalize()
    padding: sm4_api.Padding = "iso9797-1-m2"
    cbc = sm4_api.SM4CBC(key)
    ecb = sm4_api.SM4ECB(key)
    return (
        gcm.decrypt(nonce, sealed) == message
        and ccm.decrypt(nonce[:7], boxed, b"header") == message
        and sm4_api.SM4CTR(key, bytes(16)).update(streamed) == message
        and cbc.decrypt(bytes(16), cbc.encrypt(bytes(16), message, padding), padding) == message
        and ecb.decrypt(ecb.encrypt(message)) == message
        and sm4_api.GCM_TAG_SIZE == 16
    )


def sm3_family(message: bytes) -> bool:
    h = sm3_api.sm3(message)
    h.update(b"!")
    assert_type(h.copy().digest(), bytes)
    mac = hmac.new(b"key", message, sm3_api.sm3)
    tag: bytes = sm3_api.hmac_sm3(b"key", message)
    keyed: sm3_api.HMAC = sm3_api.HMAC(b"key").copy()
    keyed.update(message)
    derived = sm3_api.pbkdf2_hmac_sm3(b"password", b"salt", 2, dklen=40)
    okm = sm3_api.hkdf_sm3(b"ikm", None, b"info", 42)
    prk = sm3_api.hkdf_sm3_extract(b"", b"ikm")
    return (
        mac.digest() == tag == keyed.digest()
        and keyed.hexdigest() == tag.hex()
        and h.name == "sm3"
        and len(derived) == 40
        and sm3_api.hkdf_sm3_expand(prk, b"info", 42) == okm
        and len(sm3_api.kdf(b"z", 64)) == 64
        and h.digest_size == sm3_api.DIGEST_SIZE
    )


def ml_kem_768(seed: bytes) -> bool:
    sk = mlkem.MLKEM768PrivateKey.from_seed_bytes(seed)
    pk = sk.public_key()
    assert_type(pk, mlkem.MLKEM768PublicKey)
    shared, ciphertext = pk.encapsulate()
    loaded = mlkem.load_pem_private_key(sk.private_bytes("pem"))
    assert_type(loaded, mlkem.MLKEMPrivateKey)
    public: mlkem.MLKEMPublicKey = mlkem.load_der_public_key(pk.public_bytes(encoding="der"))
    fresh = mlkem.MLKEM512PrivateKey.generate()
    assert_type(fresh, mlkem.MLKEM512PrivateKey)
    known: tuple[bytes, bytes] = (
        mlkem.MLKEM1024PrivateKey.from_seed_bytes(seed).public_key()._encapsulate_deterministic(bytes(32))
    )
    return (
        loaded.decapsulate(ciphertext) == sk.decapsulate(bytearray(ciphertext)) == shared
        and public == pk
        and sk.private_bytes_raw() == seed
        and len(known[1]) == 1568
    )


def ml_dsa_65(seed: bytes, message: bytes) -> bool:
    sk = mldsa.MLDSA65PrivateKey.from_seed_bytes(seed)
    pk = sk.public_key()
    assert_type(pk, mldsa.MLDSA65PublicKey)
    signature = sk.sign(message, context=b"ctx")
    pk.verify(signature, message, b"ctx")
    loaded = mldsa.load_pem_private_key(sk.private_bytes("pem", form="both"))
    assert_type(loaded, mldsa.MLDSAPrivateKey)
    public: mldsa.MLDSAPublicKey = mldsa.load_der_public_key(pk.public_bytes("der"))
    fresh = mldsa.MLDSA44PrivateKey.generate()
    assert_type(fresh, mldsa.MLDSA44PrivateKey)
    ok: bool = pk._verify_internal(sk._sign_internal(b"\0\0" + message, bytes(32)), b"\0\0" + message)
    return ok and public == pk and loaded.private_bytes_raw() == seed


def folded_key(hex_digest: str) -> str:
    return Velmora.xor_hex_strings(hex_digest[:32], hex_digest[32:])


def small_ca() -> bool:
    ca_key, kem_key = sm2.SM2PrivateKey.generate(), mlkem.MLKEM768PrivateKey.generate()
    root_name = cx.Name([cx.NameAttribute(NameOID.COMMON_NAME, "Root")])
    now = datetime.datetime.now(datetime.UTC)
    root = (
        x509.CertificateBuilder()
        .subject_name(root_name)
        .issuer_name(root_name)
        .public_key(ca_key.public_key())
        .serial_number(1)
        .not_valid_before(now)
        .not_valid_after(now + datetime.timedelta(days=1))
        .add_extension(cx.BasicConstraints(ca=True, path_length=0), critical=True)
        .sign(ca_key)
    )
    assert_type(root, cx.Certificate)
    csr = x509.CertificateSigningRequestBuilder().subject_name(root_name).sign(ca_key, uid=x509.DEFAULT_UID)
    leaf = (
        x509.CertificateBuilder()
        .subject_name(root_name)
        .issuer_name(root_name)
        .public_key(kem_key.public_key())
        .serial_number(2)
        .not_valid_before(now)
        .not_valid_after(now + datetime.timedelta(hours=1))
        .sign(ca_key)
    )
    chain: list[cx.Certificate] = x509.verify_chain(leaf, [], [root], at=now)
    key: x509.PublicKey = x509.public_key(leaf)
    x509.verify_directly_issued_by(leaf, root)
    return x509.is_signature_valid(csr) and chain == [leaf, root] and key == kem_key.public_key()


if __name__ == "__main__":
    assert exchange("hello, 世界") == "hello, 世界"
    assert kem_round_trip()
    assert native_sm(b"message")
    assert native_sm2(b"message")
    assert pythonic_sm2(b"message")
    assert sm4_modes(b"message")
    assert sm3_family(b"message")
    assert ml_kem_768(bytes(range(64)))
    assert ml_dsa_65(bytes(range(32)), b"message")
    assert folded_key("00" * 16 + "ff" * 16) == "ff" * 16
    assert hybrid_round_trip(b"message")
    assert small_ca()
    print("ok")
