"""Eight threads make mixed Velmora and Kyber calls while another thread keeps
rebinding and deleting Velmora's outside names; every call's outcome is
checked.  The replacement bindings compute the same values through other
objects, so a call either gives the expected value or, while one of the
names it uses is deleted, NameError for that name."""
import binascii
import random
import re
import sys
import threading
import types

import velmora_model
from kyber_alg import Kyber
from outside_fakes import BINDINGS, HYBRID_PK, HYBRID_SK

THREADS = 8
CALLS_PER_THREAD = 300

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
        "Kyber": types.SimpleNamespace(**{n: getattr(BINDINGS["Kyber"], n) for n in
                                          ("CCA_KeyGen", "CCA_Enc", "CCA_Dec")}),
        "generate_keypair": lambda n: BINDINGS["generate_keypair"](n),
        "Encrypt": lambda m, pk, n, z: BINDINGS["Encrypt"](m, pk, n, z),
        "Decrypt": lambda c, sk, n: BINDINGS["Decrypt"](c, sk, n),
        "SM3": type("SM3Again", (fake_sm3,), {}),
        "sm4": types.SimpleNamespace(CryptSM4=fake_sm4.CryptSM4, SM4_ENCRYPT=fake_sm4.SM4_ENCRYPT,
                                     SM4_DECRYPT=fake_sm4.SM4_DECRYPT),
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
        functions = {name: getattr(Kyber, name) if name.startswith("CCA") else getattr(mod, name)
                     for name, _, _ in calls}
        choices = equivalents(mod)
        done = threading.Event()
        failures, counts = [], {"returned": 0, "NameError": 0, "rebinds": 0}

        def rebinder():
            rng = random.Random(1)
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
                except Exception as e:     # every other exception is a failure
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
