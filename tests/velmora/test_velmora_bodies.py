"""Function bodies, with recording stand-ins bound as the module's outside
names (and the real SM4 component for the text cipher round trips)."""

import binascii
import builtins
import hashlib
import threading
import types

import pytest
from velmora_support import FAKE, HYBRID_PK, HYBRID_SK, SAMPLE_TEXT, SM2_PK, SM2_SK, tb_names, xor_ref

# binascii's own message for an odd number of digits (CPython 3.15 reworded it); it passes through unchanged.
try:
    binascii.unhexlify("0")
except binascii.Error as odd_length:
    ODD_LENGTH = str(odd_length)

KPK, KSK = FAKE["Kyber"].PK, FAKE["Kyber"].SK
C1 = "ct:" + (b"\x33" * 32).hex()  # Kyber ciphertext of m = 33..
C2 = FAKE["SM2"].Encrypt(b"\x44" * 32, SM2_PK, 64, 0).hex().encode()  # SM2 ciphertext of 44..
TYPE = "Argument '{}' has incorrect type (expected str, got {})"


def recording_binascii(rec):
    return types.SimpleNamespace(
        hexlify=rec.wrap("hexlify", binascii.hexlify), unhexlify=rec.wrap("unhexlify", binascii.unhexlify)
    )


def raises(exc_type, fn, *args, message=None, entry=None):
    with pytest.raises(BaseException) as ei:
        fn(*args)
    e = ei.value
    assert type(e) is exc_type, repr(e)
    assert message is None or str(e) == message
    assert entry is None or tb_names(e).count(f"Velmora.{entry}") == 1, tb_names(e)
    return e


def test_key_gen_hybrid(mod, world, rec, monkeypatch):
    monkeypatch.setattr(world.Kyber, "CCA_KeyGen", rec.wrap("CCA_KeyGen", lambda: [KPK, KSK, "ignored"]))
    monkeypatch.setattr(mod, "binascii", recording_binascii(rec))
    result = mod.key_gen_hybrid()
    assert type(result) is tuple and result == (HYBRID_PK, HYBRID_SK)
    assert (len(result[0]), len(result[1])) == (1728, 3328) and result[0][-128:] == SM2_PK.hex()
    assert rec == [
        ("CCA_KeyGen", (), {}),
        ("generate_keypair", (64,), {}),
        ("hexlify", (SM2_PK,), {}),
        ("hexlify", (SM2_SK,), {}),
    ]
    # The next call sees a rebinding made through the namespace dict, and
    # falls back to the builtins for a name the namespace lacks.
    mod.__dict__["generate_keypair"] = lambda n: iter([b"\x01" * 64, b"\x02" * 40])
    monkeypatch.delattr(mod, "Kyber")
    monkeypatch.setattr(builtins, "Kyber", world.Kyber, raising=False)
    assert mod.key_gen_hybrid() == (KPK.decode() + "01" * 64, KSK.decode() + "02" * 40)


def test_enc_hybrid_call_order_and_derivation(mod, world, rec, monkeypatch):
    token, K = object(), b"\x11" * 32
    monkeypatch.setattr(world.Kyber, "CCA_Enc", rec.wrap("CCA_Enc", lambda pk, m: [token, K]))
    monkeypatch.setattr(mod, "binascii", recording_binascii(rec))
    monkeypatch.setattr(mod, "xor_hex_strings", rec.wrap("xor", mod.xor_hex_strings))
    world.digest = str.upper  # the IV keeps the component's letter case
    c1, c2, key, iv = mod.enc_hybrid(HYBRID_PK)
    r1, r2 = world.draws
    D = hashlib.sha256(r1 + K).hexdigest().upper()
    sm2_ct = FAKE["SM2"].Encrypt(r1, SM2_PK, 64, 0)
    assert rec == [
        ("unhexlify", (HYBRID_PK[-128:],), {}),
        ("urandom", (32,), {}),
        ("urandom", (32,), {}),
        ("CCA_Enc", (HYBRID_PK[:1600], r2), {}),
        ("hexlify", (K,), {}),
        ("unhexlify", (r1.hex() + K.hex(),), {}),
        ("SM3", (), {}),
        ("update", (r1 + K,), {}),
        ("hexdigest", (), {}),
        ("unhexlify", (r1.hex(),), {}),
        ("Encrypt", (r1, SM2_PK, 64, 0), {}),
        ("hexlify", (sm2_ct,), {}),
        ("xor", (D[:32], D[32:]), {}),
    ]
    assert c1 is token and type(c2) is bytes and c2 == sm2_ct.hex().encode()
    assert iv == D[32:] and key == xor_ref(D[:32], D[32:]) == key.lower() and len(key) == 32


TAIL = SM2_PK.hex()
PK_SHAPES = [
    ("1728", "K" * 1600 + TAIL, None),
    ("1700 overlapping", "K" * 1572 + TAIL, None),
    ("middle never read", "K" * 1600 + "zz \u00e9#" * 10 + TAIL.upper(), None),
    ("200 chars", "K" * 72 + TAIL, TypeError),
    ("empty", "", TypeError),
    ("126 digits", TAIL[:126], TypeError),
    ("128 digits", TAIL, TypeError),
    ("127 digits", TAIL[:127], binascii.Error),
    ("blank in tail", "K" * 1600 + TAIL[:-2] + " 0", binascii.Error),
    ("tail reaches into Kyber part", "Z" * 1600 + TAIL[:126], binascii.Error),
]


@pytest.mark.parametrize("pk,exc_type", [r[1:] for r in PK_SHAPES], ids=[r[0] for r in PK_SHAPES])
def test_enc_hybrid_public_key_shape(mod, world, rec, pk, exc_type):
    if exc_type is None:
        mod.enc_hybrid(pk)
        assert rec.of("CCA_Enc")[0][0] == pk[:1600] and rec.of("Encrypt")[0][1] == SM2_PK
        return
    e = raises(exc_type, mod.enc_hybrid, pk, entry="enc_hybrid")
    assert exc_type is not TypeError or e.args == ("pk error!",)
    assert rec == [], "drew randomness or called a component before the key check"


def test_enc_hybrid_raises_the_builtin_type_error(mod, monkeypatch):
    class Other(Exception):
        pass

    monkeypatch.setattr(mod, "TypeError", Other, raising=False)
    real, builtins.TypeError, caught = builtins.TypeError, Other, None
    try:
        mod.enc_hybrid("")
    except BaseException as e:
        caught = e
    finally:
        builtins.TypeError = real
    assert type(caught) is TypeError and caught.args == ("pk error!",)


def test_dec_hybrid_call_order_and_derivation(mod, world, rec, monkeypatch):
    monkeypatch.setattr(mod, "binascii", recording_binascii(rec))
    monkeypatch.setattr(mod, "xor_hex_strings", rec.wrap("xor", mod.xor_hex_strings))
    world.digest = str.upper
    E, K = b"\x44" * 32, hashlib.sha256(b"kyber" + b"\x33" * 32).digest()
    D = hashlib.sha256(E + K).hexdigest().upper()
    assert mod.dec_hybrid(C1, C2, HYBRID_SK) == (xor_ref(D[:32], D[32:]), D[32:])
    assert rec == [
        ("unhexlify", (HYBRID_SK[3264:],), {}),
        ("unhexlify", (C2,), {}),
        ("Decrypt", (bytes.fromhex(C2.decode()), SM2_SK, 64), {}),
        ("hexlify", (E,), {}),
        ("CCA_Dec", (C1, HYBRID_SK[:3264]), {}),
        ("hexlify", (K,), {}),
        ("unhexlify", (E.hex() + K.hex(),), {}),
        ("SM3", (), {}),
        ("update", (E + K,), {}),
        ("hexdigest", (), {}),
        ("xor", (D[:32], D[32:]), {}),
    ]


def test_dec_hybrid_matches_enc_hybrid_silently(mod, world, rec, capfd):
    pk, sk = mod.key_gen_hybrid()
    c1, c2, key, iv = mod.enc_hybrid(pk)
    result = mod.dec_hybrid(c1, c2, sk)
    assert type(result) is tuple and result == (key, iv)
    assert mod.dec_hybrid(c1, c2.decode().upper(), sk[:3264] + sk[3264:].upper()) == (key, iv)
    mod.dec_hybrid(c1, c2, sk[:3264])  # no SM2 part: Decrypt gets b""
    assert rec.of("Decrypt")[-1][1] == b""
    assert mod.sm4_decode(key, iv, mod.sm4_encode(key, iv, "m")) == "m"
    with pytest.raises(TypeError):
        mod.dec_hybrid(c1, c2, None)
    assert capfd.readouterr() == ("", "")  # the functions print nothing


def _glob(name, value):
    return lambda w, m, mp: mp.setattr(m, name, value)


def _drop(name):
    return lambda w, m, mp: mp.delattr(m, name)


def _kyber(op, value):
    return lambda w, m, mp: mp.setattr(w.Kyber, op, lambda *a: value)


def _digest(value):
    return lambda w, m, mp: setattr(w, "digest", lambda d: value)


K, EN, DE = "key_gen_hybrid", "enc_hybrid", "dec_hybrid"
TOO_MANY, ONE, NONE = (
    "too many values to unpack (expected 2)",
    "need more than 1 value to unpack",
    "need more than 0 values to unpack",
)
# (id, function, arguments (None: a valid call), setup, exception, message)
BODY_FAILURES = (
    [
        ("no CCA_KeyGen", K, None, _glob("Kyber", types.SimpleNamespace()), AttributeError, None),
        ("one Kyber key", K, None, _kyber("CCA_KeyGen", (KPK,)), IndexError, None),
        ("text Kyber keys", K, None, _kyber("CCA_KeyGen", ("a" * 1600, "b" * 3264)), TypeError, None),
        ("Kyber key not UTF-8", K, None, _kyber("CCA_KeyGen", (b"\xff" * 1600, KSK)), UnicodeDecodeError, None),
        ("three SM2 values", K, None, _glob("generate_keypair", lambda n: (1, 2, 3)), ValueError, TOO_MANY),
        (
            "three SM2 values, iterated",
            K,
            None,
            _glob("generate_keypair", lambda n: iter((1, 2, 3))),
            ValueError,
            TOO_MANY,
        ),
        ("one SM2 value, iterated", K, None, _glob("generate_keypair", lambda n: iter([b"a"])), ValueError, ONE),
        ("no SM2 value", K, None, _glob("generate_keypair", lambda n: []), ValueError, NONE),
        ("SM2 result not iterable", K, None, _glob("generate_keypair", lambda n: 5), TypeError, None),
        ("SM2 key not bytes-like", K, None, _glob("generate_keypair", lambda n: ("ab", b"cd")), TypeError, None),
        ("three Kyber values", EN, None, _kyber("CCA_Enc", (1, b"k", 3)), ValueError, TOO_MANY),
        ("one Kyber value", EN, None, _kyber("CCA_Enc", iter([1])), ValueError, ONE),
        ("no Kyber value", EN, None, _kyber("CCA_Enc", ()), ValueError, NONE),
        ("text shared secret", EN, None, _kyber("CCA_Enc", ("c", "secret")), TypeError, None),
        ("text SM2 ciphertext", EN, None, _glob("Encrypt", lambda *a: "ct"), TypeError, None),
        ("sk None", DE, (C1, C2, None), None, TypeError, "'NoneType' object is unsliceable"),
        ("sk int before bad c_text2", DE, (C1, "zz", 5), None, TypeError, "'int' object is unsliceable"),
        (
            "sk of a long type name",
            DE,
            (C1, C2, type("N" * 250, (), {})()),
            None,
            TypeError,
            "'" + "N" * 200 + "' object is unsliceable",
        ),
        ("odd SM2 key before bad c_text2", DE, (C1, "zz", KSK.decode() + "abc"), None, binascii.Error, ODD_LENGTH),
        ("non-hex c_text2", DE, (C1, b"zz", HYBRID_SK), None, binascii.Error, None),
        ("text SM2 plaintext", DE, None, _glob("Decrypt", lambda *a: "plain"), TypeError, None),
        ("text Kyber secret", DE, None, _kyber("CCA_Dec", "secret"), TypeError, None),
    ]
    + [
        (f"{fn} {d}", fn, None, _digest(v), TypeError, msg)
        for fn in (EN, DE)
        for d, v, msg in [
            ("bytes digest", b"0" * 64, TYPE.format("hex_str1", "bytes")),
            ("int digest", 7, "'int' object is unsliceable"),
        ]
    ]
    + [
        (f"{fn} without {n}", fn, None, _drop(n), NameError, f"name '{n}' is not defined")
        for fn, names in [
            (K, "Kyber generate_keypair binascii"),
            (EN, "binascii os Kyber SM3 Encrypt xor_hex_strings"),
            (DE, "binascii Decrypt Kyber SM3 xor_hex_strings"),
        ]
        for n in names.split()
    ]
)


@pytest.mark.parametrize(
    "fn,args,setup,exc_type,message", [r[1:] for r in BODY_FAILURES], ids=[r[0] for r in BODY_FAILURES]
)
def test_body_failures(mod, world, monkeypatch, fn, args, setup, exc_type, message):
    if setup:
        setup(world, mod, monkeypatch)
    args = args or {K: (), EN: (HYBRID_PK,), DE: (C1, C2, HYBRID_SK)}[fn]
    e = raises(exc_type, getattr(mod, fn), *args, message=message, entry=fn)
    assert "Velmora.xor_hex_strings" not in tb_names(e)  # a refused argument adds no entry


@pytest.mark.parametrize(
    "fn,op,args", [(K, "CCA_KeyGen", ()), (EN, "CCA_Enc", (HYBRID_PK,)), (DE, "CCA_Dec", (C1, C2, HYBRID_SK))]
)
def test_component_errors_pass_unchanged(mod, world, monkeypatch, fn, op, args):
    boom = KeyError("component failure")

    def fail(*a):
        raise boom

    monkeypatch.setattr(world.Kyber, op, fail)
    assert raises(KeyError, getattr(mod, fn), *args, entry=fn) is boom


def test_xor_failure_inside_enc_hybrid_adds_both_entries(mod, world):
    world.digest = lambda d: "zz" * 32
    names = tb_names(raises(ValueError, mod.enc_hybrid, HYBRID_PK, entry="enc_hybrid"))
    assert names.count("Velmora.xor_hex_strings") == 1
    assert names.index("Velmora.enc_hybrid") < names.index("Velmora.xor_hex_strings")


def test_names_are_looked_up_at_each_use_within_a_call(mod, world, monkeypatch):
    def cca_enc(pk, m):  # rebinding while enc_hybrid runs
        mod.Encrypt = lambda *a: b"\x05" * 8
        return FAKE["Kyber"].CCA_Enc(pk, m)

    monkeypatch.setattr(world.Kyber, "CCA_Enc", cca_enc)
    assert mod.enc_hybrid(HYBRID_PK)[1] == b"05" * 8
    monkeypatch.setattr(world.Kyber, "CCA_Enc", lambda pk, m: delattr(mod, "SM3") or ("c", b"k"))
    raises(NameError, mod.enc_hybrid, HYBRID_PK, message="name 'SM3' is not defined", entry="enc_hybrid")


def test_concurrent_calls_while_names_are_rebound(mod, world, monkeypatch):
    original, errors, done = mod.xor_hex_strings, [], threading.Event()
    monkeypatch.setattr(mod, "xor_hex_strings", original)
    alternative = lambda a, b: original(a, b)

    def work():
        try:
            for i in range(300):
                c1, c2, k, v = mod.enc_hybrid(HYBRID_PK)
                assert mod.dec_hybrid(c1, c2, HYBRID_SK) == (k, v)
                assert mod.sm4_decode(k, v, mod.sm4_encode(k, v, str(i))) == str(i)
        except Exception as e:  # reported below
            errors.append(e)

    def rebind():
        while not done.is_set():
            mod.xor_hex_strings = alternative if mod.xor_hex_strings is original else original

    workers = [threading.Thread(target=work) for _ in range(4)]
    flipper = threading.Thread(target=rebind)
    for t in [flipper, *workers]:
        t.start()
    for t in workers:
        t.join()
    done.set()
    flipper.join()
    assert errors == []


KEY, IV = "00112233445566778899AABBCCDDEEFF", "0f0e0d0c0b0a09080706050403020100"


def test_sm4_call_order(mod, world, rec, monkeypatch):
    monkeypatch.setattr(mod, "binascii", recording_binascii(rec))
    kb, ivb, data = bytes.fromhex(KEY), bytes.fromhex(IV), "h\u00e9llo".encode()
    out = mod.sm4_encode(KEY, IV.encode(), "h\u00e9llo")
    assert out == (ivb + kb + data).hex()
    assert rec == [
        ("CryptSM4", (), {}),
        ("unhexlify", (KEY.encode(),), {}),
        ("unhexlify", (IV.encode(),), {}),
        ("set_key", (kb, 0), {}),
        ("crypt_cbc", (ivb, data), {}),
    ]
    rec.clear()
    world.sm4.SM4_DECRYPT = "DEC-now"  # read from sm4 at each call
    assert mod.sm4_decode(KEY, IV, out.upper()) == "h\u00e9llo"
    assert rec == [
        ("CryptSM4", (), {}),
        ("unhexlify", (KEY.encode(),), {}),
        ("unhexlify", (IV,), {}),
        ("set_key", (kb, "DEC-now"), {}),
        ("crypt_cbc", (ivb, ivb + kb + data), {}),
    ]
    rec.clear()
    assert mod.sm4_encode(KEY, IV, "") == (ivb + kb).hex() and rec.of("crypt_cbc") == [(ivb, b"")]


# With the real SM4 component from here on.
@pytest.mark.parametrize("text", ["plain ascii", "", SAMPLE_TEXT, "\u660e\u6587 \u00e9\U0001f600" * 5])
def test_sm4_round_trip(mod, text):
    ct = mod.sm4_encode(KEY, IV, text)
    assert type(ct) is str and ct == ct.lower()
    assert mod.sm4_decode(KEY.lower(), IV.upper().encode(), ct.upper()) == text
    spaced = " ".join(ct[i : i + 2] for i in range(0, len(ct), 2))
    assert mod.sm4_decode(data=spaced, key=KEY, IV=IV) == text
    assert mod.sm4_encode(KEY, IV.encode(), text) == ct


SM4_FAILURES = [
    ("encode bytes key", "sm4_encode", (KEY.encode(), IV, "m"), AttributeError),
    ("encode key with blank", "sm4_encode", (KEY[:30] + " 0", IV, "m"), binascii.Error),
    ("encode IV with blank", "sm4_encode", (KEY, IV[:30] + " 0", "m"), binascii.Error),
    ("encode non-ASCII IV", "sm4_encode", (KEY, "\u00e9" * 32, "m"), ValueError),
    ("encode key checked first", "sm4_encode", (b"00", "\u00e9", "m"), AttributeError),
    ("encode bytes data", "sm4_encode", (KEY, IV, b"m"), AttributeError),
    ("encode lone surrogate", "sm4_encode", (KEY, IV, "a\ud800b"), UnicodeEncodeError),
    ("decode odd key", "sm4_decode", (KEY[:31], IV, "00"), binascii.Error),
    ("decode non-ASCII IV", "sm4_decode", (KEY, "\u00e9" * 32, "00"), ValueError),
    ("decode bytes data", "sm4_decode", (KEY, IV, b"00"), TypeError),
    ("decode bytearray data", "sm4_decode", (KEY, IV, bytearray(b"00")), TypeError),
    ("decode None data", "sm4_decode", (KEY, IV, None), TypeError),
    ("decode non-hex data", "sm4_decode", (KEY, IV, "zz"), ValueError),
]


@pytest.mark.parametrize("fn,args,exc_type", [r[1:] for r in SM4_FAILURES], ids=[r[0] for r in SM4_FAILURES])
def test_sm4_failures(mod, fn, args, exc_type):
    raises(exc_type, getattr(mod, fn), *args, entry=fn)


@pytest.mark.parametrize("fn", ["sm4_encode", "sm4_decode"])
@pytest.mark.parametrize("name", ["sm4", "binascii"])
def test_sm4_missing_globals(mod, monkeypatch, fn, name):
    monkeypatch.delattr(mod, name)
    raises(NameError, getattr(mod, fn), KEY, IV, "00", message=f"name '{name}' is not defined", entry=fn)


XOR_CASES = [
    ("ff", "0f", "f0"),
    ("FF", "0F", "f0"),
    ("a1b2c3", "ff", "5e"),
    ("", "ff", ""),
    ("", "", ""),
    ("0a 0b", "0101", "0b0a"),
    ("0101", " 0a\t0b\n", "0b0a"),
    ("00112233445566778899AABBCCDDEEFF", "ffeeddccbbaa99887766554433221100", "ff" * 16),
    (bytes(range(256)).hex() * 9, bytes(range(255, -1, -1)).hex().upper() * 8, "ff" * 2048),
]


@pytest.mark.parametrize("a,b,expected", XOR_CASES, ids=range(len(XOR_CASES)))
def test_xor_hex_strings(mod, a, b, expected):
    assert mod.xor_hex_strings(a, b) == expected and type(expected) is str
    assert mod.xor_hex_strings(b, a) == expected


@pytest.mark.parametrize(
    "a,b,position",
    [("abc", "00", None), ("00", "abc", None), ("0z", "zzzz", "position 1"), ("00", "zzzz", "position 0")],
)
def test_xor_hex_strings_bad_digits(mod, a, b, position):
    e = raises(ValueError, mod.xor_hex_strings, a, b, entry="xor_hex_strings")
    assert position is None or position in str(e)


def test_xor_hex_strings_uses_zip_bound_at_load(mod, monkeypatch):
    def broken(*a):
        raise AssertionError("zip looked up at call time")

    monkeypatch.setattr(mod, "zip", broken, raising=False)
    real, builtins.zip = builtins.zip, broken
    try:
        result = mod.xor_hex_strings("a1b2c3", "ff")
    except BaseException as e:  # judged below, with zip restored
        result = e
    finally:
        builtins.zip = real
    assert result == "5e"
