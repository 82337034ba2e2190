"""Eight threads make mixed Velmora and Kyber calls while another thread keeps
rebinding and deleting Velmora's outside names; every call's outcome is
checked.  The replacement bindings compute the same values through other
objects, so a call either gives the expected value or, while one of the
names it uses is deleted, NameError for that name.

The SM components join twice: threads call SM3, SM4 and SM2 directly (shared
cipher objects and inputs large enough to release the GIL among them), and
threads run whole Velmora exchanges while another thread keeps switching
between kyber_alg.sm.use_native() and use_default()."""

import binascii
import collections
import importlib
import random
import re
import sys
import threading
import time
import types

import pytest
import velmora_model
from outside_fakes import BINDINGS, HYBRID_PK, HYBRID_SK

from kyber_alg import Kyber

THREADS = 8
CALLS_PER_THREAD = 300
EXCHANGES_PER_THREAD = 6
SWITCHED = ("generate_keypair", "Encrypt", "Decrypt", "SM3", "hash_msg", "sm4")

# The outside names each function looks up while it runs.
USES = {
    "key_gen_hybrid": {"Kyber", "generate_keypair", "binascii"},
    "enc_hybrid": {"binascii", "os", "Kyber", "SM3", "Encrypt", "xor_hex_strings"},
    "dec_hybrid": {"binascii", "Decrypt", "Kyber", "SM3", "xor_hex_strings"},
    "xor_hex_strings": set(),
    "sm4_encode": {"sm4", "binascii"},
    "sm4_decode": {"sm4", "binascii"},
}


def equivalents(module):
    """For each rebound name: the stand-in and a second object computing the same."""
    fake_sm4, fake_sm3 = BINDINGS["sm4"], BINDINGS["SM3"]
    pairs = {
        "Kyber": types.SimpleNamespace(
            **{n: getattr(BINDINGS["Kyber"], n) for n in ("CCA_KeyGen", "CCA_Enc", "CCA_Dec")}
        ),
        "generate_keypair": lambda n: BINDINGS["generate_keypair"](n),
        "Encrypt": lambda m, pk, n, z: BINDINGS["Encrypt"](m, pk, n, z),
        "Decrypt": lambda c, sk, n: BINDINGS["Decrypt"](c, sk, n),
        "SM3": type("SM3Again", (fake_sm3,), {}),
        "sm4": types.SimpleNamespace(
            CryptSM4=fake_sm4.CryptSM4, SM4_ENCRYPT=fake_sm4.SM4_ENCRYPT, SM4_DECRYPT=fake_sm4.SM4_DECRYPT
        ),
        "os": types.SimpleNamespace(urandom=velmora_model.FIXED_RANDOM.urandom),
        "binascii": types.SimpleNamespace(hexlify=binascii.hexlify, unhexlify=binascii.unhexlify),
        "xor_hex_strings": velmora_model.xor_hex_strings,
    }
    return {name: (module.__dict__[name], other) for name, other in pairs.items()}


def test_mixed_calls_while_names_are_rebound(mod):
    saved = velmora_model.bind(mod)
    saved_xor = mod.xor_hex_strings
    interval = sys.getswitchinterval()
    try:
        pk, sk = HYBRID_PK, HYBRID_SK
        c1, c2, key, iv = velmora_model.enc_hybrid(pk)
        sealed = velmora_model.sm4_encode(key, iv, "stress \u4e16\u754c")
        ek, dk = Kyber.CCA_KeyGen_derand(bytes(32), bytes(range(32)))
        kc, kk = Kyber.CCA_Enc(ek, bytes(range(1, 33)))
        calls = [
            ("key_gen_hybrid", (), (pk, sk)),
            ("enc_hybrid", (pk,), (c1, c2, key, iv)),
            ("dec_hybrid", (c1, c2, sk), (key, iv)),
            ("xor_hex_strings", (key, iv), velmora_model.xor_hex_strings(key, iv)),
            ("sm4_encode", (key, iv, "stress \u4e16\u754c"), sealed),
            ("sm4_decode", (key, iv, sealed), "stress \u4e16\u754c"),
            ("CCA_Enc", (ek, bytes(range(1, 33))), (kc, kk)),
            ("CCA_Dec", (kc, dk), kk),
        ]
        # The functions themselves, taken before their names start changing.
        functions = {
            name: getattr(Kyber, name) if name.startswith("CCA") else getattr(mod, name) for name, _, _ in calls
        }
        choices = equivalents(mod)
        done = threading.Event()
        # Each thread keeps its own tally: `d[k] += 1` from several threads can lose updates.
        failures, tallies = [], []

        def rebinder():
            rng = random.Random(1)
            counts = collections.Counter()
            tallies.append(counts)
            while not done.is_set():
                name = rng.choice(sorted(choices))
                action = rng.randrange(4)
                if action == 3:
                    mod.__dict__.pop(name, None)
                else:
                    mod.__dict__[name] = choices[name][action % 2]
                counts["rebinds"] += 1
            for name, (original, _) in choices.items():
                mod.__dict__[name] = original

        def worker(seed):
            rng = random.Random(seed)
            counts = collections.Counter()
            tallies.append(counts)
            for _ in range(CALLS_PER_THREAD):
                name, args, expected = rng.choice(calls)
                try:
                    got = functions[name](*args)
                except NameError as e:
                    missing = re.fullmatch(r"name '(\w+)' is not defined", str(e))
                    if missing and missing.group(1) in USES.get(name, ()):
                        counts["NameError"] += 1
                        continue
                    failures.append((name, repr(e)))
                except Exception as e:  # every other exception is a failure
                    failures.append((name, repr(e)))
                else:
                    if got == expected:
                        counts["returned"] += 1
                    else:
                        failures.append((name, got))

        sys.setswitchinterval(1e-6)
        rebinding = threading.Thread(target=rebinder)
        workers = [threading.Thread(target=worker, args=(seed,)) for seed in range(THREADS)]
        rebinding.start()
        for t in workers:
            t.start()
        for t in workers:
            t.join(timeout=120)
        done.set()
        rebinding.join(timeout=30)
        counts = sum(tallies, collections.Counter())
        print("thread stress:", counts)
        assert not any(t.is_alive() for t in workers + [rebinding])
        assert failures == []
        assert counts["returned"] + counts["NameError"] == THREADS * CALLS_PER_THREAD
        # The run did interleave: names changed and some calls met a deleted one.
        assert counts["rebinds"] > 100 and counts["NameError"] > 0 and counts["returned"] > 0
    finally:
        sys.setswitchinterval(interval)
        velmora_model.unbind(mod, saved)
        mod.xor_hex_strings = saved_xor


def run_workers(worker, count=THREADS):
    """Runs worker(seed) in `count` threads at a tiny switch interval; the exceptions they raised."""
    errors = []

    def guarded(seed):
        try:
            worker(seed)
        except BaseException as e:  # reported by the caller
            errors.append(e)

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)
    try:
        threads = [threading.Thread(target=guarded, args=(seed,)) for seed in range(count)]
        for t in threads:
            t.start()
        for t in threads:
            t.join(timeout=300)
        assert not any(t.is_alive() for t in threads)
    finally:
        sys.setswitchinterval(interval)
    return errors


def sm_calls():
    """(name, call, expected value or exception type) for the SM components, inputs of 2 KiB and more
    among them (those run with the GIL released); the values are computed here, in one thread."""
    from kyber_alg.sm import SM2, SM3, sm4

    big = bytes(range(256)) * 12
    key, iv = bytes(range(16)), bytes(range(16, 32))
    enc, dec = sm4.CryptSM4(), sm4.CryptSM4()  # shared by every thread
    enc.set_key(key, sm4.SM4_ENCRYPT)
    dec.set_key(key, sm4.SM4_DECRYPT)
    cbc, ecb = enc.crypt_cbc(iv, big), enc.crypt_ecb(big)
    short_cbc = enc.crypt_cbc(iv, big[:100])
    pub, priv = SM2.generate_keypair(64)
    nonce = bytes(range(1, 33))
    sealed = SM2._encrypt_with_nonce(b"thread stress", pub, nonce)

    def fresh_cipher(data):
        c = sm4.CryptSM4()
        c.set_key(key, sm4.SM4_ENCRYPT)
        return c.crypt_cbc(iv, data)

    def sm2_round_trip():
        p, s = SM2.generate_keypair(64)
        return SM2._public_key(s) == p and SM2.Decrypt(SM2.Encrypt(big[:100], p, 64, 0), s, 64) == big[:100]

    return [
        ("SM3 small", lambda: SM3.SM3(b"abc").digest(), SM3.SM3(b"abc").digest()),
        ("SM3 large", lambda: SM3.SM3(big).hexdigest(), SM3.hash_msg(big)),
        ("SM3 large by keyword, copied", lambda: SM3.SM3(msg=big).copy().digest(), SM3.SM3(big).digest()),
        ("hash_msg large", lambda: SM3.hash_msg(big), SM3.SM3(big).hexdigest()),
        ("sm4 cbc encrypt shared", lambda: enc.crypt_cbc(iv, big), cbc),
        ("sm4 cbc encrypt shared, short", lambda: enc.crypt_cbc(iv, big[:100]), short_cbc),
        ("sm4 cbc encrypt fresh", lambda: fresh_cipher(big), cbc),
        ("sm4 cbc decrypt shared", lambda: dec.crypt_cbc(iv, cbc), big),
        ("sm4 ecb encrypt shared", lambda: enc.crypt_ecb(big), ecb),
        ("sm4 ecb decrypt shared", lambda: dec.crypt_ecb(ecb), big),
        ("sm4 bad padding", lambda: dec.crypt_cbc(iv, cbc[:-16]), ValueError),
        ("SM2 encrypt with nonce", lambda: SM2._encrypt_with_nonce(b"thread stress", pub, nonce), sealed),
        ("SM2 decrypt", lambda: SM2.Decrypt(sealed, priv, 64), b"thread stress"),
        ("SM2 keygen, encrypt, decrypt", sm2_round_trip, True),
        ("SM2 damaged ciphertext", lambda: SM2.Decrypt(sealed[:-1] + bytes([sealed[-1] ^ 1]), priv, 64), ValueError),
    ]


def test_sm_components_called_from_threads():
    pytest.importorskip("kyber_alg.sm.SM2")
    calls = sm_calls()
    tallies = []  # one Counter per thread: shared `d[k] += 1` can lose updates

    def worker(seed):
        rng = random.Random(seed)
        counts = collections.Counter()
        tallies.append(counts)
        for _ in range(60):
            name, call, expected = rng.choice(calls)
            if isinstance(expected, type):
                with pytest.raises(expected):
                    call()
            else:
                assert call() == expected, name
            counts[name] += 1

    assert run_workers(worker) == []
    counts = sum(tallies, collections.Counter())
    assert sum(counts.values()) == THREADS * 60 and len(counts) > len(calls) // 2


def test_velmora_exchange_while_sm_components_switch():
    """Whole exchanges while another thread keeps switching between the native and the default SM
    components: each call works with whichever set is bound when it runs (a key pair or ciphertext
    made under one setting decodes under the other), so every exchange must round-trip."""
    sm = pytest.importorskip("kyber_alg.sm")
    velmora = pytest.importorskip("kyber_alg.Velmora")
    held = {name: getattr(velmora, name) for name in SWITCHED}
    done = threading.Event()
    switches = [0]
    tallies = []  # per thread: exchanges whose calls all started under one setting, or under both
    native_encrypt = importlib.import_module("kyber_alg.sm.SM2").Encrypt

    def switcher():
        while not done.is_set():
            sm.use_native() if switches[0] % 2 == 0 else sm.use_default()
            switches[0] += 1
            time.sleep(0)

    def worker(seed):
        rng = random.Random(seed)
        seen = collections.Counter()
        tallies.append(seen)
        for _ in range(EXCHANGES_PER_THREAD):
            settings = set()

            def bound():
                settings.add("native" if velmora.Encrypt is native_encrypt else "default")

            bound()
            pk, sk = velmora.key_gen_hybrid()
            bound()
            c1, c2, key, iv = velmora.enc_hybrid(pk)
            bound()
            assert velmora.dec_hybrid(c1, c2, sk) == (key, iv)
            text = "switch \u4e16\u754c " + "x" * rng.randrange(40)
            bound()
            sealed = velmora.sm4_encode(key, iv, text)
            bound()
            assert velmora.sm4_decode(key, iv, sealed) == text
            seen["both" if len(settings) == 2 else settings.pop()] += 1

    switching = threading.Thread(target=switcher)
    switching.start()
    try:
        errors = run_workers(worker, count=4)
    finally:
        done.set()
        switching.join(timeout=30)
        for name, value in held.items():
            setattr(velmora, name, value)
    seen = sum(tallies, collections.Counter())
    print("switching exchange:", switches[0], "switches", seen)
    assert errors == []
    assert sum(seen.values()) == 4 * EXCHANGES_PER_THREAD
    assert switches[0] > 10 and seen["both"] > 0
