"""The documented steps of the Velmora functions as plain Python, run on the
stand-in components of outside_fakes with a fixed random source.  Shared by
the property tests and the fuzz harness: for any arguments Velmora (with the
same stand-ins bound) must return what the model returns or raise the same
exception type."""

import binascii
import types

import outside_fakes

FUNCS = ("key_gen_hybrid", "enc_hybrid", "dec_hybrid", "xor_hex_strings", "sm4_encode", "sm4_decode")
FIXED_RANDOM = types.SimpleNamespace(urandom=lambda n: bytes(range(7, 7 + n)))
PARAMETERS = {
    "key_gen_hybrid": (),
    "enc_hybrid": ("pk",),
    "dec_hybrid": ("c_text1", "c_text2", "sk"),
    "xor_hex_strings": ("hex_str1", "hex_str2"),
    "sm4_encode": ("key", "IV", "data"),
    "sm4_decode": ("key", "IV", "data"),
}
# Exception types the documentation gives for bad arguments (binascii.Error and
# the Unicode errors are ValueErrors); the SM4 functions call str methods on
# key and data, so a non-text argument there is an AttributeError.
DOCUMENTED = dict.fromkeys(FUNCS, (TypeError, ValueError))
DOCUMENTED["sm4_encode"] = DOCUMENTED["sm4_decode"] = (TypeError, ValueError, AttributeError)

F = outside_fakes.BINDINGS


def key_gen_hybrid():
    keys = F["Kyber"].CCA_KeyGen()
    pk1, sk1 = keys[0], keys[1]
    pk2, sk2 = F["generate_keypair"](64)
    pk2, sk2 = binascii.hexlify(pk2), binascii.hexlify(sk2)
    return (pk1 + pk2).decode("utf-8"), (sk1 + sk2).decode("utf-8")


def enc_hybrid(pk):
    if type(pk) is not str:
        raise TypeError("pk must be str")
    pk1, pk2 = pk[0:1600], binascii.unhexlify(pk[-128:])
    if len(pk2) != 64 or len(pk1) != 1600:
        raise TypeError("pk error!")
    info11 = FIXED_RANDOM.urandom(32).hex()
    m1 = FIXED_RANDOM.urandom(32)
    c_text1, k_key = F["Kyber"].CCA_Enc(pk1, m1)
    sec_k = binascii.hexlify(k_key).decode("utf-8")
    sm3 = F["SM3"]()
    sm3.update(binascii.unhexlify(info11 + sec_k))
    digest = sm3.hexdigest()
    c_text2 = binascii.hexlify(F["Encrypt"](binascii.unhexlify(info11), pk2, 64, 0))
    return c_text1, c_text2, xor_hex_strings(digest[0:32], digest[32:]), digest[32:]


def dec_hybrid(c_text1, c_text2, sk):
    sk1, sk2 = sk[:3264], sk[3264:]
    sk2 = binascii.unhexlify(sk2)
    c_text2 = binascii.unhexlify(c_text2)
    sec_e = binascii.hexlify(F["Decrypt"](c_text2, sk2, 64)).decode()
    sec_k = binascii.hexlify(F["Kyber"].CCA_Dec(c_text1, sk1)).decode("utf-8")
    sm3 = F["SM3"]()
    sm3.update(binascii.unhexlify(sec_e + sec_k))
    digest = sm3.hexdigest()
    return xor_hex_strings(digest[0:32], digest[32:]), digest[32:]


def xor_hex_strings(hex_str1, hex_str2):
    if type(hex_str1) is not str or type(hex_str2) is not str:
        raise TypeError("hex strings must be str")
    return bytes(a ^ b for a, b in zip(bytes.fromhex(hex_str1), bytes.fromhex(hex_str2))).hex()


def sm4_encode(key, IV, data):
    cipher = F["sm4"].CryptSM4()
    key = binascii.unhexlify(key.encode("utf-8"))
    IV = binascii.unhexlify(IV)
    cipher.set_key(key, F["sm4"].SM4_ENCRYPT)
    return cipher.crypt_cbc(IV, data.encode()).hex()


def sm4_decode(key, IV, data):
    cipher = F["sm4"].CryptSM4()
    key = binascii.unhexlify(key.encode("utf-8"))
    IV = binascii.unhexlify(IV)
    cipher.set_key(key, F["sm4"].SM4_DECRYPT)
    if not isinstance(data, str):  # text only, also where bytes.fromhex takes bytes (3.14 on)
        raise TypeError(f"fromhex() argument must be str, not {type(data).__name__}")
    return cipher.crypt_cbc(IV, bytes.fromhex(data)).decode()


MODEL = {name: globals()[name] for name in FUNCS}


def outcome(function, args, kwargs):
    try:
        return "returned", function(*args, **kwargs)
    except Exception as e:  # compared by type below
        return "raised", type(e)


def bind(module):
    """Binds the stand-ins and the fixed random source in `module`; returns
    what unbind() needs to put the previous values back."""
    saved = outside_fakes.bind(module), module.__dict__.get("os")
    module.os = FIXED_RANDOM
    return saved


def unbind(module, saved):
    outside_fakes.restore(module, saved[0])
    module.os = saved[1]


def check(module, name, args, kwargs=None):
    """Calls `name` of module and of the model; both must end alike, and a
    raised type must be one the documentation names.  Returns the outcome."""
    kwargs = kwargs or {}
    got = outcome(getattr(module, name), args, kwargs)
    expected = outcome(MODEL[name], args, kwargs)
    assert got == expected, (name, args, kwargs, got, expected)
    if got[0] == "raised":
        assert issubclass(got[1], DOCUMENTED[name]), got
    return got
