"""The calling contract of kyber_alg.sm4 and kyber_alg.sm3: tampering is InvalidTag and releases
nothing, wrong sizes are ValueError naming the size, wrong types TypeError, and the shapes of
cryptography's AEAD classes, hashlib and hmac."""

import hashlib
import hmac
import os

import pytest

from kyber_alg import sm3, sm4
from kyber_alg.exceptions import InvalidTag

KEY, NONCE = bytes(range(16)), bytes(range(12))
MESSAGE, AD = b"attack at dawn, bring the good biscuits" * 3, b"header v1"
AEADS = [
    pytest.param(lambda: sm4.SM4GCM(KEY), NONCE, 16, id="gcm"),
    pytest.param(lambda: sm4.SM4CCM(KEY), NONCE, 16, id="ccm"),
    pytest.param(lambda: sm4.SM4CCM(KEY, tag_length=4), NONCE[:7], 4, id="ccm-tag4"),
]


def flip(data, index):
    changed = bytearray(data)
    changed[index] ^= 0x01
    return bytes(changed)


@pytest.mark.parametrize("make, nonce, tag_len", AEADS)
def test_every_tampering_raises_invalid_tag(sm4_modes_path, make, nonce, tag_len):
    aead = make()
    sealed = aead.encrypt(nonce, MESSAGE, AD)
    assert len(sealed) == len(MESSAGE) + tag_len
    tampered = [
        (nonce, flip(sealed, 0), AD),  # first ciphertext byte
        (nonce, flip(sealed, len(MESSAGE) - 1), AD),  # last ciphertext byte
        (nonce, flip(sealed, len(sealed) - 1), AD),  # tag
        (flip(nonce, 3), sealed, AD),  # nonce
        (nonce, sealed, flip(AD, 0)),  # associated data
        (nonce, sealed, None),  # associated data dropped
        (nonce, sealed[:-1], AD),  # truncated tag
        (nonce, sealed[1:], AD),  # truncated front
        (nonce, sealed[: tag_len - 1], AD),  # shorter than a tag
        (nonce, b"", AD),
        (nonce, sealed + b"\0", AD),  # extended
    ]
    for args in tampered:
        with pytest.raises(InvalidTag):
            aead.decrypt(*args)
    assert aead.decrypt(nonce, sealed, AD) == MESSAGE


@pytest.mark.parametrize("make, nonce, tag_len", AEADS)
def test_aead_argument_forms(make, nonce, tag_len):
    aead = make()
    sealed = aead.encrypt(nonce, MESSAGE, None)
    # None, b"" and an absent associated_data are the same; any bytes-like object is accepted.
    assert aead.encrypt(nonce, MESSAGE, b"") == sealed == aead.encrypt(nonce=nonce, data=MESSAGE)
    assert aead.decrypt(bytearray(nonce), memoryview(sealed), associated_data=None) == MESSAGE
    strided = memoryview(bytes(2 * len(MESSAGE)))[::2]
    assert aead.decrypt(nonce, aead.encrypt(nonce, strided, AD), AD) == bytes(strided)
    assert aead.decrypt(nonce, aead.encrypt(nonce, b"", AD), AD) == b""
    with pytest.raises(TypeError):
        aead.encrypt(nonce, "text", None)
    with pytest.raises(TypeError):
        aead.encrypt(nonce, MESSAGE, "ad")
    with pytest.raises(TypeError):
        aead.encrypt(nonce)
    with pytest.raises(TypeError):
        aead.encrypt(nonce, MESSAGE, AD, extra=1)
    with pytest.raises(TypeError):
        aead.encrypt(nonce, MESSAGE, nonce=nonce)


@pytest.mark.parametrize("make, nonce, tag_len", AEADS)
@pytest.mark.parametrize("size", [0, 33, 20000])  # 20000: past the size that drops the GIL
def test_encrypt_into_and_decrypt_into_match_encrypt_and_decrypt(sm4_modes_path, make, nonce, tag_len, size):
    aead, data = make(), os.urandom(size)
    sealed = aead.encrypt(nonce, data, AD)
    buf = bytearray(3 + len(sealed))  # written through a view behind a header, as a format would
    assert aead.encrypt_into(nonce, memoryview(data), AD, memoryview(buf)[3:]) == len(sealed)
    assert buf == bytes(3) + sealed
    plain = bytearray(size)
    assert aead.decrypt_into(nonce=nonce, data=sealed, associated_data=AD, buf=plain) == size and plain == data
    if size:
        with pytest.raises(InvalidTag):
            aead.decrypt_into(nonce, flip(sealed, 0), AD, plain)
        assert plain == bytes(size)  # no unauthenticated plaintext left behind
        shared = bytearray(2 * len(sealed))  # an output that would overwrite its own input
        with pytest.raises(ValueError, match="overlap"):
            aead.encrypt_into(
                nonce, memoryview(shared)[:size], AD, memoryview(shared)[size - 1 : 2 * size - 1 + tag_len]
            )
    for call, wrong in [(aead.encrypt_into, bytearray(len(sealed) + 1)), (aead.decrypt_into, bytearray(size + 1))]:
        with pytest.raises(ValueError, match="buf must be"):
            call(nonce, sealed if call == aead.decrypt_into else data, AD, wrong)
    with pytest.raises(TypeError, match="writable"):
        aead.encrypt_into(nonce, data, AD, bytes(len(sealed)))
    with pytest.raises(TypeError):
        aead.encrypt_into(nonce, data, AD)


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda: sm4.SM4GCM(bytes(15)), "key must be 16 bytes long, got 15"),
        (lambda: sm4.SM4GCM(bytes(32)), "key must be 16 bytes long, got 32"),
        (lambda: sm4.SM4CCM(bytes(17)), "key must be 16 bytes long, got 17"),
        (lambda: sm4.SM4CTR(bytes(16), bytes(12)), "nonce must be 16 bytes long, got 12"),
        (lambda: sm4.SM4CBC(bytes(8)), "key must be 16 bytes long, got 8"),
        (lambda: sm4.SM4ECB(b""), "key must be 16 bytes long, got 0"),
        (lambda: sm4.SM4CCM(KEY, tag_length=3), "tag_length must be 4, 6, .* got 3"),
        (lambda: sm4.SM4CCM(KEY, tag_length=18), "got 18"),
        (lambda: sm4.SM4CCM(KEY, tag_length=2), "got 2"),
        (lambda: sm4.SM4GCM(KEY).encrypt(b"", b"m", None), "nonce must be at least 1 byte long, got 0"),
        (lambda: sm4.SM4GCM(KEY).decrypt(b"", bytes(32), None), "nonce must be at least 1 byte long, got 0"),
        (lambda: sm4.SM4CCM(KEY).encrypt(bytes(6), b"m", None), "nonce must be 7 to 13 bytes long, got 6"),
        (lambda: sm4.SM4CCM(KEY).decrypt(bytes(14), bytes(32), None), "nonce must be 7 to 13 bytes long, got 14"),
        (lambda: sm4.SM4CCM(KEY).encrypt(bytes(13), bytes(65536), None), "data too long for a 13-byte nonce"),
        (lambda: sm4.SM4CBC(KEY).encrypt(bytes(15), b"m"), "iv must be 16 bytes long, got 15"),
        (lambda: sm4.SM4CBC(KEY).decrypt(bytes(16), bytes(17)), "multiple of 16 bytes long, got 17"),
        (lambda: sm4.SM4ECB(KEY).decrypt(b""), "nonzero multiple of 16 bytes long, got 0"),
        (lambda: sm4.SM4ECB(KEY).encrypt(bytes(5), padding="none"), "multiple of 16 bytes long, got 5"),
        (lambda: sm4.SM4ECB(KEY).encrypt(b"m", padding="zero"), "padding must be 'pkcs7', 'iso9797-1-m2' or 'none'"),
        (lambda: sm4.SM4GCM.generate_key(256), "bit_length must be 128"),
        (lambda: sm3.pbkdf2_hmac_sm3(b"p", b"s", 0), "iterations must be from 1"),
        (lambda: sm3.pbkdf2_hmac_sm3(b"p", b"s", 1, 0), "dklen must be from 1"),
        (lambda: sm3.hkdf_sm3(b"k", None, None, 8161), "length must be from 1 to 8160"),
        (lambda: sm3.hkdf_sm3(b"k", None, None, 0), "length must be from 1 to 8160"),
        (lambda: sm3.hkdf_sm3_expand(bytes(31), None, 10), "prk must be at least 32 bytes long, got 31"),
        (lambda: sm3.kdf(b"z", -1), "klen must be from 0"),
    ],
)
def test_wrong_sizes_are_value_errors_naming_the_size(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def test_ccm_length_limit_follows_the_nonce():
    ccm = sm4.SM4CCM(KEY, tag_length=8)
    data = os.urandom(65535)  # the most a 13-byte nonce (2-byte length field) allows
    assert ccm.decrypt(bytes(13), ccm.encrypt(bytes(13), data, None), None) == data
    assert len(ccm.encrypt(bytes(12), bytes(65536), None)) == 65536 + 8


def test_generate_key():
    keys = {sm4.SM4GCM.generate_key() for _ in range(8)} | {sm4.SM4CCM.generate_key(bit_length=128)}
    assert len(keys) == 9 and all(len(k) == 16 for k in keys)


def test_ctr_stream_and_finalize(sm4_modes_path):
    stream = sm4.SM4CTR(KEY, bytes(16))
    whole = sm4.SM4CTR(KEY, bytes(16)).update(MESSAGE)
    assert b"".join(stream.update(MESSAGE[i : i + 5]) for i in range(0, len(MESSAGE), 5)) == whole
    assert stream.finalize() == b""
    with pytest.raises(ValueError, match="finalized"):
        stream.update(b"more")
    with pytest.raises(ValueError, match="finalized"):
        stream.finalize()
    assert sm4.SM4CTR(key=KEY, nonce=bytes(16)).update(whole) == MESSAGE
    with pytest.raises(TypeError):
        sm4.SM4CTR(KEY, bytes(16)).update("text")


@pytest.mark.parametrize("padding", ["pkcs7", "iso9797-1-m2"])
def test_bad_padding_is_value_error(sm4_modes_path, padding):
    ecb, cbc = sm4.SM4ECB(KEY), sm4.SM4CBC(KEY)
    # Blocks whose plaintext ends in something neither padding allows (a 0 byte after 0x11).
    bad_plain = bytes(14) + b"\x11\x00"
    raw_ecb = ecb.encrypt(bad_plain, padding="none")
    with pytest.raises(ValueError, match="padding is not valid"):
        ecb.decrypt(raw_ecb, padding)
    raw_cbc = cbc.encrypt(bytes(16), bad_plain, "none")
    with pytest.raises(ValueError, match="padding is not valid"):
        cbc.decrypt(bytes(16), raw_cbc, padding)


@pytest.mark.parametrize(
    "tail, pkcs7, iso",
    [
        (b"\x01", 1, None),
        (b"\x02\x02", 2, None),
        (b"\x80", None, 1),
        (b"\x80\x00\x00", None, 3),
        (bytes(15) + b"\x10", None, None),
        (b"\x10" * 16, 16, None),
        (b"\x80" + bytes(15), None, 16),
        (bytes(16), None, None),
        (b"\x03\x02\x03", None, None),
    ],
)
def test_padding_rules(tail, pkcs7, iso):
    block = (b"\x55" * 16 + tail)[-16:]
    ecb = sm4.SM4ECB(KEY)
    raw = ecb.encrypt(block, padding="none")
    for padding, strip in (("pkcs7", pkcs7), ("iso9797-1-m2", iso)):
        if strip is None:
            with pytest.raises(ValueError):
                ecb.decrypt(raw, padding)
        else:
            assert ecb.decrypt(raw, padding) == block[: 16 - strip]


def test_hash_object_is_hashlib_shaped():
    h = sm3.sm3(b"abc")
    assert (h.name, h.digest_size, h.block_size) == ("sm3", 32, 64)
    assert h.hexdigest() == "66c7f0f462eeedd9d1f2d46bdc10e4e24167c4875cf2f7a2297da02b8f4ba8e0"
    twin = h.copy()
    h.update(b"d")
    assert (
        twin.digest()
        != h.digest()
        == sm3.sm3(data=b"abcd").digest()
        == sm3.sm3(b"abcd", usedforsecurity=False).digest()
    )
    assert sm3.sm3().digest() == sm3.sm3(b"").digest()
    with pytest.raises(TypeError):
        sm3.sm3("text")
    if "sm3" in hashlib.algorithms_available:
        assert hashlib.new("sm3", b"abcd").digest() == h.digest()


def test_keyed_hmac_object_behaves_as_stdlib_hmac():
    key = os.urandom(20)
    mac, stdlib = sm3.HMAC(key, msg=bytearray(b"part one, ")), hmac.new(key, b"part one, ", sm3.sm3)
    twin = mac.copy()
    mac.update(memoryview(b"part two"))
    stdlib.update(b"part two")
    assert mac.digest() == stdlib.digest() and mac.hexdigest() == stdlib.hexdigest()
    assert twin.digest() == hmac.new(key, b"part one, ", sm3.sm3).digest() != mac.digest()
    assert (mac.name, mac.digest_size, mac.block_size) == (stdlib.name, 32, 64)
    for call in (lambda: sm3.HMAC("key"), lambda: mac.update("text"), lambda: sm3.HMAC(b"k", 5), sm3.HMAC):
        with pytest.raises(TypeError):
            call()


def test_stdlib_hmac_with_sm3():
    key = os.urandom(100)  # longer than a block: hmac hashes it with sm3.sm3 first
    mac = hmac.new(key, b"part one, ", sm3.sm3)
    mac.update(b"part two")
    assert mac.digest() == sm3.hmac_sm3(key, b"part one, part two")
    assert mac.name == "hmac-sm3" and mac.digest_size == 32
    assert hmac.compare_digest(mac.copy().hexdigest(), mac.hexdigest())


def test_sm3_functions_take_keywords_and_reject_str():
    assert sm3.hmac_sm3(key=b"k", msg=b"m") == sm3.hmac_sm3(b"k", b"m")
    assert sm3.pbkdf2_hmac_sm3(password=b"p", salt=b"s", iterations=2) == sm3.pbkdf2_hmac_sm3(b"p", b"s", 2, 32)
    assert sm3.kdf(z=b"z", klen=5) == sm3.kdf(b"z", 5)
    for call in (
        lambda: sm3.hmac_sm3("k", b"m"),
        lambda: sm3.hkdf_sm3(b"k", "salt", None, 5),
        lambda: sm3.pbkdf2_hmac_sm3(b"p", b"s", 2.0),
        lambda: sm3.kdf(b"z", "5"),
    ):
        with pytest.raises(TypeError):
            call()


def test_invalid_tag_is_cryptography_s():
    from cryptography import exceptions

    with pytest.raises(exceptions.InvalidTag):
        sm4.SM4GCM(KEY).decrypt(NONCE, flip(sm4.SM4GCM(KEY).encrypt(NONCE, MESSAGE, None), 0), None)
