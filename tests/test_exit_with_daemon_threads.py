"""The interpreter exits cleanly while daemon threads are inside native calls.

On Python 3.11-3.13 a daemon thread that wants the GIL back during
finalisation is ended with pthread_exit(), which unwinds its stack through the
native frames; from 3.14 on it is parked for good instead.  Each scenario starts daemon threads that call native
functions in a loop (two threads on one function, or one thread per function),
lets them run briefly and exits; it runs several times in fresh interpreters
and every run must end with status 0, an untouched stderr and calls made.
KYBER_ALG_EXIT_RUNS raises the number of runs per scenario.  A native module
added to the package joins with a table of its calls, like KYBER_CALLS.
"""

import importlib.util
import os
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest
from outside_fakes import FAKE_KYBER, FAKE_OUTSIDE, write_tree

SPEC = importlib.util.find_spec("kyber_alg")
PACKAGE = Path(SPEC.origin).parent if SPEC and SPEC.origin else None
BUILT = bool(PACKAGE and list(PACKAGE.glob("Velmora.*.so")) and list(PACKAGE.glob("Kyber.*.so")))
SM_BUILT = bool(PACKAGE and all(list(PACKAGE.glob(f"sm/{name}.*.so")) for name in ("SM2", "SM3", "sm4")))
RUNS = int(os.environ.get("KYBER_ALG_EXIT_RUNS", "3"))

pytestmark = pytest.mark.skipif(not BUILT, reason="kyber_alg is not built and installed")

# The script from the bug report, unchanged.
REPRODUCER = """
import threading, time
from kyber_alg import Velmora
def loop():
    while True: Velmora.sm4_encode("00"*16, "00"*16, "x")
for _ in range(2): threading.Thread(target=loop, daemon=True).start()
time.sleep(0.3)
"""

# Arguments each scenario computes first, then the calls its threads repeat
# (two threads for a single call, else one per call); an error-path call
# raises `expected` every time.
SETUP_VELMORA = """
from kyber_alg import Velmora
pk, sk = Velmora.key_gen_hybrid()
c1, c2, key, iv = Velmora.enc_hybrid(pk)
text = "hello, \\u4e16\\u754c" * 3
ct = Velmora.sm4_encode(key, iv, text)
"""
SETUP_KYBER = """
from kyber_alg import Kyber
ek, dk = Kyber.CCA_KeyGen()
kc, kk = Kyber.CCA_Enc(ek.decode(), bytes(32))
"""

THREADS = """
import threading, time
calls = [0]
def loop(call, expected):
    while True:
        try:
            call()
        except expected:
            pass
        calls[0] += 1
for call, expected in CALLS:
    for _ in range(2 if len(CALLS) == 1 else 1):
        threading.Thread(target=loop, args=(call, expected), daemon=True).start()
while calls[0] < 4 * len(CALLS):
    time.sleep(0.005)
time.sleep(0.1)
print("calls", calls[0], flush=True)
"""

VELMORA_CALLS = {
    "key_gen_hybrid": ("Velmora.key_gen_hybrid()", "()"),
    "enc_hybrid": ("Velmora.enc_hybrid(pk)", "()"),
    "dec_hybrid": ("Velmora.dec_hybrid(c1, c2, sk)", "()"),
    "dec_hybrid-error": ("Velmora.dec_hybrid(c1, c2[:-2] + (b'00' if c2[-2:] != b'00' else b'11'), sk)", "Exception"),
    "xor_hex_strings": ("Velmora.xor_hex_strings(key, iv)", "()"),
    "sm4_encode": ("Velmora.sm4_encode(key, iv, text)", "()"),
    "sm4_decode": ("Velmora.sm4_decode(key, iv, ct)", "()"),
    "sm4_decode-error": ("Velmora.sm4_decode(iv, key, ct)", "Exception"),
}
KYBER_CALLS = {
    "CCA_KeyGen": ("Kyber.CCA_KeyGen()", "()"),
    "CCA_KeyGen_derand": ("Kyber.CCA_KeyGen_derand(bytes(32), memoryview(bytes(64))[::2])", "()"),
    "CCA_Enc": ("Kyber.CCA_Enc(ek, bytearray(32))", "()"),
    "CCA_Dec": ("Kyber.CCA_Dec(kc, dk.decode())", "()"),
    "CCA_Dec-error": ("Kyber.CCA_Dec(kc[:-1] + b'g', dk)", "ValueError"),
}

# Inputs of 2 KiB and more are hashed and enciphered with the GIL released.
SETUP_SM = """
from kyber_alg.sm import SM2, SM3, sm4
big = bytes(range(256)) * 16
key, iv = bytes(range(16)), bytes(range(16, 32))
hasher = SM3.SM3(b"abc")
enc, dec = sm4.CryptSM4(), sm4.CryptSM4()
enc.set_key(key, sm4.SM4_ENCRYPT)
dec.set_key(key, sm4.SM4_DECRYPT)
ecb_ct, cbc_ct = enc.crypt_ecb(big), enc.crypt_cbc(iv, big)
bad_padding = enc.crypt_ecb(bytes(15) + b"\\x05")[:16]
pub, priv = SM2.generate_keypair(64)
sm2_ct = SM2.Encrypt(b"exit test", pub, 64, 0)
"""
SM3_CALLS = {
    "SM3-small": ("SM3.SM3(b'abc').digest()", "()"),
    "SM3-large": ("SM3.SM3(big).hexdigest()", "()"),
    "update-large-shared": ("hasher.update(big)", "()"),
    "hash_msg-small": ("SM3.hash_msg('abc\\u00e9')", "()"),
    "hash_msg-large": ("SM3.hash_msg(big)", "()"),
    "update-error": ("hasher.update('text')", "TypeError"),
}
SM4_CALLS = {
    "ecb-encrypt": ("enc.crypt_ecb(big)", "()"),
    "ecb-decrypt": ("dec.crypt_ecb(ecb_ct)", "()"),
    "cbc-encrypt": ("enc.crypt_cbc(iv, big)", "()"),
    "cbc-decrypt": ("dec.crypt_cbc(iv, cbc_ct)", "()"),
    "set_key": ("sm4.CryptSM4().set_key(key, sm4.SM4_DECRYPT)", "()"),
    "ecb-decrypt-bad-padding": ("dec.crypt_ecb(bad_padding)", "ValueError"),
    "cbc-decrypt-bad-padding-large": ("dec.crypt_cbc(iv, cbc_ct[:-16])", "ValueError"),
}
SM2_CALLS = {
    "generate_keypair": ("SM2.generate_keypair(64)", "()"),
    "Encrypt": ("SM2.Encrypt(b'exit test', pub, 64, 0)", "()"),
    "Decrypt": ("SM2.Decrypt(sm2_ct, priv, 64)", "()"),
    "Decrypt-error": ("SM2.Decrypt(sm2_ct[:-1], priv, 64)", "ValueError"),
    "Encrypt-error": ("SM2.Encrypt(b'm', bytes(64), 64, 0)", "ValueError"),
}
USE_NATIVE = """
import kyber_alg.sm
kyber_alg.sm.use_native()
"""

# Binds the stand-ins before the module's first use; they are loaded from a
# folder ahead of the real pysmx and gmssl, so the real ones never load.
STAND_INS = """
import stand_in_kyber
import kyber_alg.Velmora
kyber_alg.Velmora.Kyber = stand_in_kyber
"""


def _script(setup, calls):
    table = ", ".join(f"(lambda: {call}, {expected})" for call, expected in calls)
    return setup + f"CALLS = [{table}]\n" + THREADS


def scenarios():
    real = list(VELMORA_CALLS.values())
    yield pytest.param(REPRODUCER, False, id="reproducer")
    # With the real components each run is slow to start (pysmx loads for
    # about half a second), so one run covers every function at once.
    yield pytest.param(_script(SETUP_VELMORA, real), False, id="Velmora-every-function-real")
    for name, call in VELMORA_CALLS.items():
        if name != "dec_hybrid-error":  # the SM2 stand-in has no integrity check to fail
            yield pytest.param(STAND_INS + _script(SETUP_VELMORA, [call]), True, id=f"Velmora.{name}-stand-ins")
    for name, call in KYBER_CALLS.items():
        yield pytest.param(_script(SETUP_KYBER, [call]), False, id=f"Kyber.{name}")
    needs_sm = pytest.mark.skipif(not SM_BUILT, reason="kyber_alg.sm is not built")
    yield pytest.param(
        USE_NATIVE + _script(SETUP_VELMORA, real), False, marks=needs_sm, id="Velmora-every-function-native"
    )
    for module, table in (("SM3", SM3_CALLS), ("sm4", SM4_CALLS), ("SM2", SM2_CALLS)):
        for name, call in table.items():
            yield pytest.param(_script(SETUP_SM, [call]), False, marks=needs_sm, id=f"{module}.{name}")


def _run(script, fakes_dir):
    env = {k: v for k, v in os.environ.items() if not k.startswith("PYTHON")}
    path = [str(PACKAGE.parent)]
    if fakes_dir:
        path.insert(0, str(fakes_dir))
    env["PYTHONPATH"] = os.pathsep.join(path)
    return subprocess.run(
        [sys.executable, "-P", "-c", textwrap.dedent(script)], capture_output=True, text=True, env=env, timeout=120
    )


@pytest.fixture(scope="module")
def fakes_dir(tmp_path_factory):
    files = dict(FAKE_OUTSIDE)
    files["stand_in_kyber.py"] = FAKE_KYBER
    return write_tree(tmp_path_factory.mktemp("exit_fakes"), files)


@pytest.mark.parametrize("script,stand_ins", list(scenarios()))
def test_exit_while_daemon_threads_call(script, stand_ins, fakes_dir):
    outcomes = []
    for _ in range(RUNS):
        proc = _run(script, fakes_dir if stand_ins else None)
        outcomes.append((proc.returncode, proc.stderr[-2000:]))
        if script is not REPRODUCER:
            assert proc.stdout.startswith("calls "), proc.stdout + proc.stderr
    failures = [o for o in outcomes if o != (0, "")]
    assert failures == [], f"{len(failures)} of {RUNS} runs failed: {failures[:3]}"
