#!/usr/bin/env python3
"""kyber_alg.sm.SM2 side by side with pysmx.SM2 and gmssl-pyx, and the whole Velmora exchange.

One run, same process, same machine load for every contender:

Each figure is the best of 25 rounds that time every contender in turn (see per_call).

1. SM2 key generation / encryption of 32 bytes / decryption: microseconds per call for
   kyber_alg.sm.SM2 (on the best code path this CPU runs, and on the portable path when that is
   another one), pysmx.SM2 (the default) and gmssl-pyx (GmSSL in C, if importable), with the
   ratios of the best path against the targets (at least 40x pysmx and 5x gmssl-pyx for each
   operation).
2. A full exchange, key_gen_hybrid + enc_hybrid + dec_hybrid + sm4_encode and sm4_decode of 1 KB,
   with the defaults and after kyber_alg.sm.use_native() (target: at least 35x faster), and how much
   of the native exchange is Velmora's own work (target: under 10%), estimated as the exchange time
   minus the same component calls made directly.

gmssl-pyx is not a dependency: install it into a folder of its own and put that on PYTHONPATH,
e.g. `pip install --target /tmp/gmssl-pyx gmssl-pyx` then `PYTHONPATH=/tmp/gmssl-pyx`.

`--against PATH` times another build's SM2 module (its .so file, e.g. a copy kept from before a change) in the
same rounds, as "against" (and "against-portable"), with the ratios of each operation; `--against-first` puts it
ahead of this build in every round, so that both orders can be compared. `--no-peers` leaves pysmx and
gmssl-pyx out.

    python -P bench/bench_sm2.py [--seconds 1.0] [--against PATH [--against-first]] [--no-peers] [--sm2-only]
"""

from __future__ import annotations

import argparse
import importlib.util
import os
import time

import pysmx.SM2 as pysmx_sm2

from kyber_alg.sm import SM2

try:
    import gmssl_pyx
except ImportError:
    gmssl_pyx = None

MESSAGE = os.urandom(32)


def per_call(fns: dict, seconds: float, rounds: int = 25, clock=time.perf_counter) -> dict:
    """Microseconds per call of each function, measured in interleaved rounds.

    Each round times one batch of every function in turn, so that all of them see the same
    machine load; each result is the best round (the least disturbed one). clock is wall time
    unless another clock is given (time.process_time for CPU time).
    """
    batches = {}
    for name, fn in fns.items():
        fn()
        calls, start = 0, clock()
        while clock() - start < seconds / (rounds * len(fns)):
            fn()
            calls += 1
        batches[name] = max(1, calls)
    best = {name: float("inf") for name in fns}
    for _ in range(rounds):
        for name, fn in fns.items():
            start = clock()
            for _ in range(batches[name]):
                fn()
            best[name] = min(best[name], (clock() - start) / batches[name] * 1e6)
    return best


def load_other_build(path: str):
    """The SM2 module of another build, from its .so file, under a name of its own."""
    spec = importlib.util.spec_from_file_location("other_build.SM2", path)
    if spec is None or spec.loader is None:
        raise SystemExit(f"--against: cannot load {path}")
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def module_operations(module, name: str, pub: bytes, priv: bytes, c: bytes) -> dict:
    """keygen/encrypt/decrypt of one build's module, and the same on its portable path if it has a faster one."""
    ops = {
        name: {
            "keygen": lambda: module.generate_keypair(64),
            "encrypt": lambda: module.Encrypt(MESSAGE, pub, 64, 0),
            "decrypt": lambda: module.Decrypt(c, priv, 64),
        }
    }
    best_path = module._backend()
    if best_path != "portable":
        # The fallback for CPUs without the faster path (MULX/ADX), switched in around each call.
        def on_portable(fn):
            def run():
                module._set_backend("portable")
                try:
                    return fn()
                finally:
                    module._set_backend(best_path)

            return run

        ops[name + "-portable"] = {op: on_portable(fn) for op, fn in ops[name].items()}
    return ops


def sm2_operations(against=None, against_first: bool = False, peers: bool = True):
    pub, priv = SM2.generate_keypair(64)
    c = SM2.Encrypt(MESSAGE, pub, 64, 0)
    ops = module_operations(SM2, "native", pub, priv, c)
    if against is not None:
        other = module_operations(against, "against", pub, priv, c)
        ops = {**other, **ops} if against_first else {**ops, **other}
    if not peers:
        return ops
    p_pub, p_priv = pysmx_sm2.generate_keypair(64)
    p_c = pysmx_sm2.Encrypt(MESSAGE, p_pub, 64, 0)
    ops["pysmx"] = {
        "keygen": lambda: pysmx_sm2.generate_keypair(64),
        "encrypt": lambda: pysmx_sm2.Encrypt(MESSAGE, p_pub, 64, 0),
        "decrypt": lambda: pysmx_sm2.Decrypt(p_c, p_priv, 64),
    }
    if gmssl_pyx is not None:
        g_pub, g_priv = gmssl_pyx.sm2_key_generate()
        g_c = gmssl_pyx.sm2_encrypt(g_pub, MESSAGE)
        ops["gmssl-pyx"] = {
            "keygen": gmssl_pyx.sm2_key_generate,
            "encrypt": lambda: gmssl_pyx.sm2_encrypt(g_pub, MESSAGE),
            "decrypt": lambda: gmssl_pyx.sm2_decrypt(g_priv, g_c),
        }
    return ops


def bench_sm2(seconds: float, against=None, against_first: bool = False, peers: bool = True) -> bool:
    ops = sm2_operations(against, against_first, peers)
    times = {name: {} for name in ops}
    for op in ("keygen", "encrypt", "decrypt"):
        measured = per_call({name: table[op] for name, table in ops.items()}, seconds * len(ops))
        for name, t in measured.items():
            times[name][op] = t
    print(f"SM2, microseconds per call (32-byte message); native = the {SM2._backend()} code path")
    print(f"  {'':10}" + "".join(f"{name:>17}" for name in times))
    for op in ("keygen", "encrypt", "decrypt"):
        print(f"  {op:10}" + "".join(f"{times[name][op]:17.1f}" for name in times))
    for name in ("against", "against-portable"):
        if name in times:
            mine = name.replace("against", "native")
            print(
                "  "
                + "  ".join(f"{op} {times[mine][op] / times[name][op]:.3f}x" for op in ("keygen", "encrypt", "decrypt"))
                + f"  ({mine} time / {name} time)"
            )
    ok = True
    if not peers:
        return ok
    for other, target in (("pysmx", 40.0), ("gmssl-pyx", 5.0)):
        if other not in times:
            print(f"  {other}: not importable, ratio not measured")
            continue
        for op in ("keygen", "encrypt", "decrypt"):
            ratio = times[other][op] / times["native"][op]
            met = ratio >= target
            ok &= met
            print(
                f"  {op:8} native vs {other:10} {ratio:8.1f}x  (target >= {target:.0f}x: {'met' if met else 'MISSED'})"
            )
    return ok


def exchange(V, data: str):
    pk, sk = V.key_gen_hybrid()
    c1, c2, key, iv = V.enc_hybrid(pk)
    key2, iv2 = V.dec_hybrid(c1, c2, sk)
    V.sm4_decode(key2, iv2, V.sm4_encode(key, iv, data))


def components_only(V, data: str):
    """The component calls one exchange makes, made directly (Velmora's own work left out)."""
    ek, dk = V.Kyber.CCA_KeyGen()
    pub, priv = V.generate_keypair(64)
    c, k = V.Kyber.CCA_Enc(ek, os.urandom(32))
    h = V.SM3()
    h.update(os.urandom(64))
    h.hexdigest()
    ct = V.Encrypt(os.urandom(32), pub, 64, 0)
    V.Decrypt(ct, priv, 64)
    V.Kyber.CCA_Dec(c, dk)
    h = V.SM3()
    h.update(os.urandom(64))
    h.hexdigest()
    key = os.urandom(16)
    for mode in (V.sm4.SM4_ENCRYPT, V.sm4.SM4_DECRYPT):
        cipher = V.sm4.CryptSM4()
        cipher.set_key(key, mode)
        if mode == V.sm4.SM4_ENCRYPT:
            out = cipher.crypt_cbc(key, data.encode())
        else:
            cipher.crypt_cbc(key, out)


def bench_exchange(seconds: float) -> bool:
    import kyber_alg.sm as sm
    import kyber_alg.Velmora as V

    data = "x" * 1024

    def with_defaults():
        sm.use_default()
        exchange(V, data)

    def with_native(fn):
        def run():
            sm.use_native()
            fn(V, data)

        return run

    try:
        sm.use_native()
    except ImportError as exc:
        print(f"\nFull exchange: use_native() not possible here: {exc}")
        return False
    times = per_call(
        {"default": with_defaults, "native": with_native(exchange), "parts": with_native(components_only)}, seconds * 3
    )
    sm.use_default()
    default, native, parts = times["default"], times["native"], times["parts"]
    ratio = default / native
    outside = max(0.0, native - parts) / native
    print("\nFull exchange (key_gen_hybrid + enc_hybrid + dec_hybrid + sm4_encode/decode of 1 KB)")
    print(f"  defaults      {default:10.1f} us")
    print(
        f"  use_native()  {native:10.1f} us   {ratio:.1f}x faster (target >= 35x: {'met' if ratio >= 35 else 'MISSED'})"
    )
    print(
        f"  components called directly {parts:.1f} us; Velmora's own share {outside * 100:.1f}% "
        f"(target < 10%: {'met' if outside < 0.10 else 'MISSED'})"
    )
    return ratio >= 35 and outside < 0.10


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=1.0, help="rough time per measurement")
    parser.add_argument("--sm2-only", action="store_true", help="skip the Velmora exchange")
    parser.add_argument("--against", metavar="PATH", help="another build's SM2 .so file, timed in the same rounds")
    parser.add_argument("--against-first", action="store_true", help="time the other build first in each round")
    parser.add_argument("--no-peers", action="store_true", help="leave pysmx and gmssl-pyx out")
    args = parser.parse_args()
    against = load_other_build(args.against) if args.against else None
    ok = bench_sm2(args.seconds, against, args.against_first, not args.no_peers)
    if not args.sm2_only:
        ok &= bench_exchange(args.seconds)
    print("\nall targets met" if ok else "\nsome targets missed (see above)")


if __name__ == "__main__":
    main()
