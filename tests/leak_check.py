"""Leak check for every function of the native modules (Velmora, Kyber, SM3, SM4, SM2 of kyber_alg.sm, and
kyber_alg.sm2 over kyber_alg._sm2, kyber_alg.mlkem, kyber_alg.mldsa), and of kyber_alg.hybrid, which drives
the native curveSM2, ML-KEM-768, SM3 and SM4-GCM calls.

Runs each call path (successes, binding errors, argument errors, errors inside
the bodies and inside the components) many times and checks that neither
sys.getallocatedblocks() (every Python object and PyMem buffer) nor the
process's resident memory (native allocations, such as the locks of objects
used with the GIL released) keeps growing after a warm-up: a path that leaks
one object or one buffer per call grows far past the bounds.  Velmora runs on
the stand-ins of outside_fakes (rebound module names), so the loops exercise
its own code.  Exits 1 when a path leaks or ends differently than listed.

    python -P tests/leak_check.py [--iterations N] [--verbose] [--self-test]

--self-test checks only two paths that leak on purpose (a Python object and a
native 16 KiB allocation per call); both must be reported.
"""

import argparse
import binascii
import gc
import sys
import types
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import leak_check_hybrid
import leak_check_mldsa
import leak_check_mlkem
import leak_check_sm
import leak_check_sm34
import outside_fakes

OK = None


class StrSubclass(str):
    pass


def stand_in_kyber(**overrides):
    names = dict(
        CCA_KeyGen=outside_fakes.FAKE["Kyber"].CCA_KeyGen,
        CCA_Enc=outside_fakes.FAKE["Kyber"].CCA_Enc,
        CCA_Dec=outside_fakes.FAKE["Kyber"].CCA_Dec,
    )
    names.update(overrides)
    return types.SimpleNamespace(**names)


def failing(exc_type):
    def call(*args):
        raise exc_type()  # a new instance each time: a reused one would grow its traceback

    return call


def velmora_paths(m):
    """(name, expected exception or OK, call) for every path of every function."""
    pk, sk = m.key_gen_hybrid()
    c1, c2, key, iv = m.enc_hybrid(pk)
    k32, iv32 = "00112233445566778899aabbccddeeff", "0f0e0d0c0b0a09080706050403020100"
    sealed = m.sm4_encode(k32, iv32, "hello")
    tp_call = type(m.xor_hex_strings).__call__

    def rebound(name, value, fn):
        """fn run with the module name rebound (None: removed)."""

        def run():
            old = m.__dict__.get(name)
            if value is None:
                del m.__dict__[name]
            else:
                m.__dict__[name] = value
            try:
                fn()
            finally:
                m.__dict__[name] = old

        return run

    def digest_of(value):
        return lambda: types.SimpleNamespace(update=len, hexdigest=lambda: value)

    paths = [
        # successes, by position, by keyword and through tp_call
        ("key_gen_hybrid", OK, lambda: m.key_gen_hybrid()),
        ("enc_hybrid", OK, lambda: m.enc_hybrid(pk)),
        ("enc_hybrid kw", OK, lambda: m.enc_hybrid(pk=pk)),
        ("dec_hybrid", OK, lambda: m.dec_hybrid(c1, c2, sk)),
        ("dec_hybrid str c_text2", OK, lambda: m.dec_hybrid(c1, c2.decode(), sk)),
        ("dec_hybrid kw", OK, lambda: m.dec_hybrid(c1, sk=sk, c_text2=c2)),
        ("dec_hybrid tp_call", OK, lambda: tp_call(m.dec_hybrid, c1, c2, sk=sk)),
        ("xor_hex_strings", OK, lambda: m.xor_hex_strings("a1b2c3", "ff")),
        ("xor_hex_strings blanks", OK, lambda: m.xor_hex_strings(" a1 b2", "ff\t00")),
        ("xor_hex_strings kw", OK, lambda: m.xor_hex_strings(hex_str2="0f", hex_str1="ff")),
        ("xor_hex_strings tp_call", OK, lambda: tp_call(m.xor_hex_strings, "ff", hex_str2="0f")),
        ("sm4_encode", OK, lambda: m.sm4_encode(k32, iv32.encode(), "hello")),
        ("sm4_encode non-ASCII", OK, lambda: m.sm4_encode(k32, iv32, "\u4e16\u754c" * 20)),
        ("sm4_decode", OK, lambda: m.sm4_decode(k32, iv32, sealed)),
        ("sm4_decode kw", OK, lambda: m.sm4_decode(data=sealed, IV=iv32, key=k32)),
        # binding errors
        ("count error", TypeError, lambda: m.enc_hybrid()),
        ("count error kw", TypeError, lambda: m.dec_hybrid(c1, c_text1=c1)),
        ("count error tp_call", TypeError, lambda: tp_call(m.sm4_decode, 1, 2)),
        ("too many", TypeError, lambda: m.xor_hex_strings("a", "b", "c")),
        ("multiple values", TypeError, lambda: m.dec_hybrid(1, 2, sk=3, c_text1=4)),
        ("unexpected keyword", TypeError, lambda: m.sm4_encode(1, 2, 3, other=4)),
        ("unexpected keyword tp_call", TypeError, lambda: tp_call(m.sm4_encode, 1, 2, 3, other=4)),
        ("no keyword arguments", TypeError, lambda: m.key_gen_hybrid(a=1)),
        ("no arguments", TypeError, lambda: m.key_gen_hybrid(1)),
        # argument type errors
        ("pk type", TypeError, lambda: m.enc_hybrid(b"x")),
        ("pk subclass", TypeError, lambda: m.enc_hybrid(StrSubclass(pk))),
        ("hex_str1 subclass", TypeError, lambda: m.xor_hex_strings(StrSubclass("ff"), "ff")),
        ("hex_str2 type", TypeError, lambda: m.xor_hex_strings("ff", None)),
        ("hex_str1 type kw", TypeError, lambda: m.xor_hex_strings(hex_str2="ff", hex_str1=1)),
        # errors inside the bodies
        ("pk error", TypeError, lambda: m.enc_hybrid(pk[:200])),
        ("pk short Kyber part", TypeError, lambda: m.enc_hybrid(pk[-1500:])),
        ("pk bad hex", binascii.Error, lambda: m.enc_hybrid(pk[:-1] + "g")),
        ("sk unsliceable", TypeError, lambda: m.dec_hybrid(c1, c2, None)),
        ("sk bad hex", binascii.Error, lambda: m.dec_hybrid(c1, c2, sk + "0")),
        ("c_text2 bad hex", binascii.Error, lambda: m.dec_hybrid(c1, b"zz", sk)),
        ("c_text1 refused", TypeError, lambda: m.dec_hybrid(None, c2, sk)),
        ("xor bad digits", ValueError, lambda: m.xor_hex_strings("abc", "00")),
        ("xor bad second", ValueError, lambda: m.xor_hex_strings("00", "zz")),
        ("sm4 bytes key", AttributeError, lambda: m.sm4_encode(b"00", iv32, "x")),
        ("sm4 odd key", binascii.Error, lambda: m.sm4_encode(k32[1:], iv32, "x")),
        ("sm4 non-ASCII IV", ValueError, lambda: m.sm4_decode(k32, "\u00e9" * 32, "00")),
        ("sm4 bytes data", AttributeError, lambda: m.sm4_encode(k32, iv32, b"x")),
        ("sm4 surrogate", UnicodeEncodeError, lambda: m.sm4_encode(k32, iv32, "\ud800")),
        ("sm4 decode bytes data", TypeError, lambda: m.sm4_decode(k32, iv32, b"00")),
        ("sm4 bad data", ValueError, lambda: m.sm4_decode(k32, iv32, "zz")),
        ("sm4 wrong key", ValueError, lambda: m.sm4_decode(iv32, k32, sealed)),
        ("sm4 not UTF-8", UnicodeDecodeError, lambda: m.sm4_decode(k32, iv32, (iv32 + k32 + "ff"))),
        # names missing, components failing or returning the wrong shapes
        ("NameError Kyber", NameError, rebound("Kyber", None, m.key_gen_hybrid)),
        ("NameError generate_keypair", NameError, rebound("generate_keypair", None, m.key_gen_hybrid)),
        ("NameError os", NameError, rebound("os", None, lambda: m.enc_hybrid(pk))),
        ("NameError SM3", NameError, rebound("SM3", None, lambda: m.dec_hybrid(c1, c2, sk))),
        ("NameError Decrypt", NameError, rebound("Decrypt", None, lambda: m.dec_hybrid(c1, c2, sk))),
        ("NameError Encrypt", NameError, rebound("Encrypt", None, lambda: m.enc_hybrid(pk))),
        ("NameError xor", NameError, rebound("xor_hex_strings", None, lambda: m.enc_hybrid(pk))),
        ("NameError sm4", NameError, rebound("sm4", None, lambda: m.sm4_encode(k32, iv32, "x"))),
        ("NameError binascii", NameError, rebound("binascii", None, lambda: m.sm4_decode(k32, iv32, "00"))),
        ("too many values", ValueError, rebound("generate_keypair", lambda n: (1, 2, 3), m.key_gen_hybrid)),
        ("KEYs not indexable", TypeError, rebound("Kyber", stand_in_kyber(CCA_KeyGen=lambda: 5), m.key_gen_hybrid)),
        (
            "need more values",
            ValueError,
            rebound("Kyber", stand_in_kyber(CCA_Enc=lambda p, r: iter([1])), lambda: m.enc_hybrid(pk)),
        ),
        (
            "CCA_Dec raises",
            KeyError,
            rebound("Kyber", stand_in_kyber(CCA_Dec=failing(KeyError)), lambda: m.dec_hybrid(c1, c2, sk)),
        ),
        ("Encrypt raises", ArithmeticError, rebound("Encrypt", failing(ArithmeticError), lambda: m.enc_hybrid(pk))),
        ("Decrypt returns None", TypeError, rebound("Decrypt", lambda c, s, n: None, lambda: m.dec_hybrid(c1, c2, sk))),
        ("digest bytes", TypeError, rebound("SM3", digest_of(b"0" * 64), lambda: m.dec_hybrid(c1, c2, sk))),
        ("digest int", TypeError, rebound("SM3", digest_of(5), lambda: m.enc_hybrid(pk))),
        ("digest not hex", ValueError, rebound("SM3", digest_of("z" * 64), lambda: m.enc_hybrid(pk))),
        (
            "sm4 without SM4_ENCRYPT",
            AttributeError,
            rebound(
                "sm4",
                types.SimpleNamespace(CryptSM4=outside_fakes.FAKE["sm4"].CryptSM4),
                lambda: m.sm4_encode(k32, iv32, "x"),
            ),
        ),
        (
            "crypt_cbc raises",
            OSError,
            rebound(
                "sm4",
                types.SimpleNamespace(
                    CryptSM4=lambda: types.SimpleNamespace(set_key=lambda k, mode: None, crypt_cbc=failing(OSError)),
                    SM4_ENCRYPT=0,
                    SM4_DECRYPT=1,
                ),
                lambda: m.sm4_encode(k32, iv32, "x"),
            ),
        ),
    ]
    return [("Velmora " + name, expected, fn) for name, expected, fn in paths]


def kyber_paths(k):
    d, z, msg = bytes(32), bytes(range(32)), bytes(range(1, 33))
    ek, dk = k.CCA_KeyGen_derand(d, z)
    c, _ = k.CCA_Enc(ek, msg)
    strided = memoryview(bytes(64))[::2]
    spread = bytearray(2 * len(ek))
    spread[::2] = ek
    strided_ek = memoryview(bytes(spread))[::2]
    bad_ek = b"ffff" + ek[4:]  # first coefficient 4095 >= q
    bad_dk = dk[:3136] + (b"0" if dk[3136:3137] != b"0" else b"1") + dk[3137:]  # stored H(ek) changed
    backend = k._backend()
    paths = [
        ("CCA_KeyGen", OK, lambda: k.CCA_KeyGen()),
        ("CCA_KeyGen_derand", OK, lambda: k.CCA_KeyGen_derand(d, z)),
        ("CCA_KeyGen_derand strided", OK, lambda: k.CCA_KeyGen_derand(strided, z)),
        ("CCA_KeyGen_derand kw", OK, lambda: k.CCA_KeyGen_derand(z=z, d=bytearray(d))),
        ("CCA_Enc", OK, lambda: k.CCA_Enc(ek, msg)),
        ("CCA_Enc str", OK, lambda: k.CCA_Enc(ek.decode().upper(), memoryview(msg))),
        ("CCA_Enc strided pk", OK, lambda: k.CCA_Enc(strided_ek, msg)),
        ("CCA_Dec", OK, lambda: k.CCA_Dec(c, dk)),
        ("CCA_Dec rejected", OK, lambda: k.CCA_Dec(b"0" * 1536, dk.decode())),
        ("_backend", OK, lambda: k._backend()),
        ("_available_backends", OK, lambda: k._available_backends()),
        ("_set_backend", OK, lambda: k._set_backend(backend)),
        ("KeyGen argument", TypeError, lambda: k.CCA_KeyGen(1)),
        ("derand missing", TypeError, lambda: k.CCA_KeyGen_derand(d)),
        ("derand str", TypeError, lambda: k.CCA_KeyGen_derand("0" * 32, z)),
        ("derand short", ValueError, lambda: k.CCA_KeyGen_derand(d[:31], z)),
        ("derand strided short", ValueError, lambda: k.CCA_KeyGen_derand(strided[:-1], z)),
        ("Enc duplicate keyword", TypeError, lambda: k.CCA_Enc(ek, msg, pk=ek)),
        ("Enc unknown keyword", TypeError, lambda: k.CCA_Enc(ek, mm=msg)),
        ("Enc pk int", TypeError, lambda: k.CCA_Enc(5, msg)),
        ("Enc pk short", ValueError, lambda: k.CCA_Enc(ek[:-2], msg)),
        ("Enc pk non-hex", ValueError, lambda: k.CCA_Enc(ek[:-1] + b"g", msg)),
        ("Enc pk non-ASCII", ValueError, lambda: k.CCA_Enc("\u00e9" * 1600, msg)),
        ("Enc modulus", ValueError, lambda: k.CCA_Enc(bad_ek, msg)),
        ("Enc m str", TypeError, lambda: k.CCA_Enc(ek, "m" * 32)),
        ("Dec c list", TypeError, lambda: k.CCA_Dec([c], dk)),
        ("Dec c short", ValueError, lambda: k.CCA_Dec(c[:-2], dk)),
        ("Dec dk non-hex", ValueError, lambda: k.CCA_Dec(c, b"z" * 3264)),
        ("Dec hash check", ValueError, lambda: k.CCA_Dec(c, bad_dk)),
        ("_set_backend unknown", ValueError, lambda: k._set_backend("none")),
        ("_set_backend type", TypeError, lambda: k._set_backend(b"avx2")),
    ]
    return [("Kyber " + name, expected, fn) for name, expected, fn in paths]


def outcome(fn):
    try:
        fn()
    except Exception as e:
        return type(e)
    return None


def deliberate_leaks():
    """Two paths that leak on purpose, which the check must report."""
    import ctypes

    kept = []
    libc = ctypes.CDLL(None)
    libc.malloc.restype = ctypes.c_void_p

    def native():
        p = libc.malloc(16384)
        ctypes.memset(p, 1, 16384)  # touched, so it is resident

    return [
        ("self-test: Python object", None, lambda: kept.append(object())),
        ("self-test: native memory", None, native),
    ]


def under_asan():
    """AddressSanitizer keeps freed memory in quarantine, so resident memory grows by design."""
    with open("/proc/self/maps") as f:
        return "libasan" in f.read()


def resident_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4


def growth(fn, iterations):
    """(allocated blocks, resident KiB) gained over `iterations` calls."""
    gc.collect()
    blocks, rss = sys.getallocatedblocks(), resident_kib()
    for _ in range(iterations):
        outcome(fn)
    gc.collect()
    return sys.getallocatedblocks() - blocks, resident_kib() - rss


def sm_paths():
    from kyber_alg import _sm2, sm2
    from kyber_alg.sm import SM2, SM3, sm4

    paths = (
        leak_check_sm.sm3_sm4_paths(SM3, sm4) + leak_check_sm.sm2_paths(SM2) + leak_check_sm.sm2_api_paths(sm2, _sm2)
    )
    from kyber_alg import _sm3, _sm4
    from kyber_alg import sm3 as sm3_api

    paths += leak_check_sm34.sm4_paths(_sm4) + leak_check_sm34.sm3_paths(_sm3, sm3_api)
    return [("sm " + name, expected, fn) for name, expected, fn in paths]


def hybrid_paths():
    from kyber_alg import hybrid
    from kyber_alg.exceptions import InvalidTag

    return [
        ("hybrid " + name, expected, fn) for name, expected, fn in leak_check_hybrid.hybrid_paths(hybrid, InvalidTag)
    ]


def mlkem_paths():
    from kyber_alg import _mlkem, mlkem

    return [("mlkem " + name, expected, fn) for name, expected, fn in leak_check_mlkem.mlkem_paths(mlkem, _mlkem)]


def mldsa_paths():
    from kyber_alg import _mldsa, mldsa
    from kyber_alg.exceptions import InvalidSignature

    return [
        ("mldsa " + name, expected, fn)
        for name, expected, fn in leak_check_mldsa.mldsa_paths(mldsa, _mldsa, InvalidSignature)
    ]


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--iterations", type=int, default=2000)
    parser.add_argument("--verbose", action="store_true")
    parser.add_argument("--self-test", action="store_true", help="only the two paths that leak on purpose")
    opts = parser.parse_args(argv)

    if opts.self_test:
        paths = deliberate_leaks()
    else:
        from kyber_alg import Kyber, Velmora

        outside_fakes.bind(Velmora)
        paths = (
            velmora_paths(Velmora) + kyber_paths(Kyber) + sm_paths() + mlkem_paths() + mldsa_paths() + hybrid_paths()
        )
    bound = max(100, opts.iterations // 10)  # one block per call would be `iterations`
    rss_bound = 1024  # KiB; a native buffer of 2 KiB or more per call is above
    if under_asan():
        rss_bound = float("inf")
        print("note: AddressSanitizer loaded, resident memory not checked (its quarantine holds freed memory)")
    leaks, surprises = [], []
    for name, expected, fn in paths:
        got = outcome(fn)
        if got is not expected:
            surprises.append(f"{name}: expected {expected and expected.__name__}, got {got and got.__name__}")
        for _ in range(200):  # warm-up: caches, free lists
            outcome(fn)
        rounds = [growth(fn, opts.iterations) for _ in range(3)]
        if opts.verbose:
            print(f"{name:45s} {rounds}")
        if min(r[0] for r in rounds) > bound or min(r[1] for r in rounds) > rss_bound:
            leaks.append(f"{name}: (blocks, KiB) per round {rounds} over {opts.iterations} calls")
    for line in surprises:
        print("UNEXPECTED", line)
    for line in leaks:
        print("LEAK", line)
    calls = len(paths) * (1 + 200 + 3 * opts.iterations)
    print(f"leak_check: {len(paths)} paths, {len(leaks)} leaking, {len(surprises)} unexpected, {calls} calls")
    return 1 if leaks or surprises else 0


if __name__ == "__main__":
    sys.exit(main())
