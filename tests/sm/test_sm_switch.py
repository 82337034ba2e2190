"""kyber_alg.sm.use_native() / use_default(): what they rebind in kyber_alg.Velmora, and the exchange either way.

Each scenario runs in a fresh interpreter, so Velmora's globals in this test process (and the Velmora tests
that share it) keep their defaults.
"""

from __future__ import annotations

import subprocess
import sys
import textwrap

import pytest

SWITCHED = ("generate_keypair", "Encrypt", "Decrypt", "SM3", "hash_msg", "sm4")


def run(code: str) -> None:
    source = f"SWITCHED = {SWITCHED!r}\n" + textwrap.dedent(code)
    proc = subprocess.run([sys.executable, "-P", "-c", source], capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stdout[-3000:] + proc.stderr[-3000:]
    assert proc.stdout.strip().endswith("ok"), proc.stdout[-3000:]


def test_use_native_binds_the_native_objects_and_use_default_puts_back_the_loaded_ones():
    run("""
        import sys
        import kyber_alg.sm as sm
        assert "kyber_alg.Velmora" not in sys.modules
        sm.use_native()  # loads Velmora itself
        import kyber_alg.Velmora as V
        from kyber_alg.sm import SM2, SM3, sm4
        import pysmx.SM2, pysmx.SM3, gmssl
        native = {"generate_keypair": SM2.generate_keypair, "Encrypt": SM2.Encrypt, "Decrypt": SM2.Decrypt,
                  "SM3": SM3.SM3, "hash_msg": SM3.hash_msg, "sm4": sm4}
        loaded = {"generate_keypair": pysmx.SM2.generate_keypair, "Encrypt": pysmx.SM2.Encrypt,
                  "Decrypt": pysmx.SM2.Decrypt, "SM3": pysmx.SM3.SM3, "hash_msg": pysmx.SM3.hash_msg,
                  "sm4": gmssl.sm4}
        assert all(getattr(V, n) is native[n] for n in SWITCHED)
        sm.use_default()
        assert all(getattr(V, n) is loaded[n] for n in SWITCHED), {n: getattr(V, n) for n in SWITCHED}
        print("ok")
    """)


@pytest.mark.parametrize(
    "sequence",
    [
        ["use_native", "use_native"],
        ["use_default", "use_default"],
        ["use_native", "use_default", "use_default", "use_native", "use_native"],
    ],
)
def test_switching_is_idempotent_and_touches_nothing_else(sequence):
    run(f"""
        import kyber_alg.Velmora as V
        import kyber_alg.sm as sm
        before = dict(vars(V))
        for step in {sequence!r}:
            getattr(sm, step)()
            once = dict(vars(V))
            getattr(sm, step)()
            assert dict(vars(V)) == once
        after = dict(vars(V))
        assert set(after) == set(before)
        changed = {{n for n in before if after[n] is not before[n]}}
        assert changed <= set(SWITCHED), changed
        assert changed == (set(SWITCHED) if {sequence!r}[-1] == "use_native" else set())
        print("ok")
    """)


def test_racing_first_switches_still_record_the_loaded_components():
    # Issue 14: the first switch recorded Velmora's components without a lock, so
    # racing first calls could record native objects as the ones to put back.
    # A stand-in for Velmora whose switched names are slow to read (each read
    # lets the other threads run) makes the race happen every time it can.
    run("""
        import sys, threading, time, types
        import kyber_alg.sm as sm

        class SlowToRead(types.ModuleType):
            def __getattribute__(self, name):
                if name in SWITCHED:
                    time.sleep(0.002)
                return super().__getattribute__(name)

        for trial in range(3):
            velmora = SlowToRead("kyber_alg.Velmora")
            loaded = {name: object() for name in SWITCHED}
            for name, value in loaded.items():
                setattr(velmora, name, value)
            sys.modules["kyber_alg.Velmora"] = velmora
            start = threading.Barrier(6)
            switches = [sm.use_native if i % 2 else sm.use_default for i in range(6)]
            threads = [threading.Thread(target=lambda s=s: (start.wait(), s())) for s in switches]
            for t in threads:
                t.start()
            for t in threads:
                t.join()
            sm.use_default()
            kept = {n for n in SWITCHED if object.__getattribute__(velmora, n) is loaded[n]}
            assert kept == set(SWITCHED), (trial, set(SWITCHED) - kept)
        print("ok")
    """)


def test_exchange_with_native_components_including_a_100_kb_message():
    run("""
        import kyber_alg.sm as sm
        import kyber_alg.Velmora as V
        sm.use_native()
        for _ in range(5):
            pk, sk = V.key_gen_hybrid()
            c1, c2, key, iv = V.enc_hybrid(pk)
            assert V.dec_hybrid(c1, c2, sk) == (key, iv)
        message = "velmora " * 12800  # 100 KB of text
        for text in (message, "short", "汉字"):
            assert V.sm4_decode(key, iv, V.sm4_encode(key, iv, text)) == text
        print("ok")
    """)


@pytest.mark.parametrize("make, use", [("use_native", "use_default"), ("use_default", "use_native")])
def test_keys_and_ciphertexts_cross_between_native_and_default(make, use):
    run(f"""
        import kyber_alg.sm as sm
        import kyber_alg.Velmora as V
        getattr(sm, {make!r})()
        pk, sk = V.key_gen_hybrid()
        c1, c2, key, iv = V.enc_hybrid(pk)
        data = V.sm4_encode(key, iv, "made on one side, read on the other")
        getattr(sm, {use!r})()
        assert V.dec_hybrid(c1, c2, sk) == (key, iv)
        assert V.sm4_decode(key, iv, data) == "made on one side, read on the other"
        c1b, c2b, keyb, ivb = V.enc_hybrid(pk)
        getattr(sm, {make!r})()
        assert V.dec_hybrid(c1b, c2b, sk) == (keyb, ivb)
        print("ok")
    """)


def test_native_dec_hybrid_reports_a_wrong_key_as_value_error():
    run("""
        import kyber_alg.sm as sm
        import kyber_alg.Velmora as V
        sm.use_native()
        pk, _ = V.key_gen_hybrid()
        _, other_sk = V.key_gen_hybrid()
        c1, c2, key, iv = V.enc_hybrid(pk)
        try:
            V.dec_hybrid(c1, c2, other_sk)
        except ValueError as exc:
            assert "C3 does not match" in str(exc), exc
        else:
            raise AssertionError("no error")
        print("ok")
    """)
