#!/usr/bin/env python3
"""kyber_alg.sm2 side by side with gmssl-pyx (GmSSL in C) and pysmx, through Python.

One run, one process: each figure is the best of interleaved rounds in which every contender is timed
in turn (so all see the same machine load). Operations: sign and verify (SM3withSM2 over 32 bytes with
the default ID, DER signatures), the same over a given 32-byte digest ("sign e", "verify e": gmssl-pyx's
message signing spends most of its time outside the curve arithmetic), encrypt and decrypt 32 bytes
(DER for kyber_alg.sm2 and gmssl-pyx; pysmx's own raw C1C3C2), ECDH (kyber_alg.sm2 only: neither peer has
it through Python), key generation.
Printed: microseconds per call and the ratios other / kyber_alg.sm2 (above 1: kyber_alg.sm2 is faster).

    python -P bench/bench_sm2_api.py [--seconds 2.0]
"""

from __future__ import annotations

import argparse
import os
import sys
from collections.abc import Callable
from pathlib import Path

from kyber_alg import sm2

sys.path.insert(0, str(Path(__file__).resolve().parent))  # run with -P: bench/ is not on the path
from bench_sm2 import per_call

try:
    import gmssl_pyx
except ImportError:
    gmssl_pyx = None
try:
    import pysmx.SM2 as pysmx_sm2
except ImportError:
    pysmx_sm2 = None

MESSAGE = os.urandom(32)
DIGEST = os.urandom(32)


def operations() -> dict[str, dict[str, Callable[[], object]]]:
    key = sm2.SM2PrivateKey.generate()
    pub = key.public_key()
    peer = sm2.SM2PrivateKey.generate().public_key()
    sig, ct = key.sign(MESSAGE), pub.encrypt(MESSAGE, "der")
    sig_e = key.sign_digest(DIGEST)
    ops: dict[str, dict[str, Callable[[], object]]] = {
        "sign": {"kyber_alg.sm2": lambda: key.sign(MESSAGE)},
        "verify": {"kyber_alg.sm2": lambda: pub.verify(sig, MESSAGE)},
        "sign e": {"kyber_alg.sm2": lambda: key.sign_digest(DIGEST)},
        "verify e": {"kyber_alg.sm2": lambda: pub.verify_digest(sig_e, DIGEST)},
        "encrypt": {"kyber_alg.sm2": lambda: pub.encrypt(MESSAGE, "der")},
        "decrypt": {"kyber_alg.sm2": lambda: key.decrypt(ct, "der")},
        "ECDH": {"kyber_alg.sm2": lambda: key.exchange(peer)},
        "keygen": {"kyber_alg.sm2": sm2.SM2PrivateKey.generate},
    }
    if gmssl_pyx is not None:
        g_pub, g_priv = pub.public_bytes_raw()[1:], key.private_bytes_raw()
        g_sig, g_ct = gmssl_pyx.sm2_sign(g_priv, g_pub, MESSAGE), gmssl_pyx.sm2_encrypt(g_pub, MESSAGE)
        ops["sign"]["gmssl-pyx"] = lambda: gmssl_pyx.sm2_sign(g_priv, g_pub, MESSAGE)
        ops["verify"]["gmssl-pyx"] = lambda: gmssl_pyx.sm2_verify(g_pub, MESSAGE, g_sig)
        g_sig_e = gmssl_pyx.sm2_sign_sm3_digest(g_priv, DIGEST)
        ops["sign e"]["gmssl-pyx"] = lambda: gmssl_pyx.sm2_sign_sm3_digest(g_priv, DIGEST)
        ops["verify e"]["gmssl-pyx"] = lambda: gmssl_pyx.sm2_verify_sm3_digest(g_pub, DIGEST, g_sig_e)
        ops["encrypt"]["gmssl-pyx"] = lambda: gmssl_pyx.sm2_encrypt(g_pub, MESSAGE)
        ops["decrypt"]["gmssl-pyx"] = lambda: gmssl_pyx.sm2_decrypt(g_priv, g_ct)
        ops["keygen"]["gmssl-pyx"] = gmssl_pyx.sm2_key_generate
    if pysmx_sm2 is not None:
        p_pub, p_priv = pub.public_bytes_raw()[1:], key.private_bytes_raw()
        p_ct = pysmx_sm2.Encrypt(MESSAGE, p_pub, 64, 0)
        ops["encrypt"]["pysmx"] = lambda: pysmx_sm2.Encrypt(MESSAGE, p_pub, 64, 0)
        ops["decrypt"]["pysmx"] = lambda: pysmx_sm2.Decrypt(p_ct, p_priv, 64)
        ops["keygen"]["pysmx"] = lambda: pysmx_sm2.generate_keypair(64)
    return ops


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=2.0, help="time budget per operation")
    opts = parser.parse_args()
    from kyber_alg import _sm2

    print(
        f"kyber_alg._sm2 code path: {_sm2._backend()}; gmssl-pyx: {gmssl_pyx is not None}; "
        f"pysmx: {pysmx_sm2 is not None}"
    )
    print(
        f"{'operation':10s} {'kyber_alg.sm2 us':>17s} {'gmssl-pyx us':>13s} {'pysmx us':>10s} "
        f"{'gmssl/ours':>11s} {'pysmx/ours':>11s}"
    )
    for op, fns in operations().items():
        times = per_call(fns, opts.seconds)
        ours = times["kyber_alg.sm2"]
        g, p = times.get("gmssl-pyx"), times.get("pysmx")
        print(
            f"{op:10s} {ours:17.1f} {g or float('nan'):13.1f} {p or float('nan'):10.1f} "
            f"{(g / ours) if g else float('nan'):10.2f}x {(p / ours) if p else float('nan'):10.2f}x"
        )


if __name__ == "__main__":
    main()
