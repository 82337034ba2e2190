#!/usr/bin/env python3
"""Per-operation timings of ML-KEM-512 keygen, encapsulation and decapsulation through each Python API.

Compares kyber_alg.Kyber (hex text in and out, as Velmora uses it; on the code path it picks itself and
on each other path the CPU supports: avx512, avx2, portable) with kyber-py (pure Python) and, if it is
importable, pqcrypto (a C implementation from PyPI), all in the same run.

    python bench/bench_kyber.py [--seconds 0.5] [--repeat 5] [--baseline OTHER_BUILD/Kyber.cpython-*.so]

--baseline adds the same columns for a Kyber module built from another revision (for example the one before a
change to the ML-KEM core), loaded beside this one, so both are timed in one run.
"""

from __future__ import annotations

import argparse
import os
import sys
import timeit

from kyber_alg import Kyber

OPERATIONS = ("keygen", "encaps", "decaps")
# Upper bounds in microseconds for the portable path (1.3x a leading portable C implementation on this hardware).
TARGET_US = {"keygen": 25.0, "encaps": 28.0, "decaps": 34.0}
DEFAULT_PATH = Kyber._backend()
OURS = f"Kyber[{DEFAULT_PATH}]"


def ours(path=DEFAULT_PATH, module=Kyber):
    module._set_backend(path)
    ek, dk = (x.decode() for x in module.CCA_KeyGen())
    m = os.urandom(32)
    c, _ = module.CCA_Enc(ek, m)
    return {
        "keygen": module.CCA_KeyGen,
        "encaps": lambda: module.CCA_Enc(ek, m),
        "decaps": lambda: module.CCA_Dec(c, dk),
    }


def load_baseline(path: str):
    """A Kyber extension module from another build, imported under a name of its own."""
    import importlib.machinery
    import importlib.util

    loader = importlib.machinery.ExtensionFileLoader("kyber_alg_baseline.Kyber", path)
    spec = importlib.util.spec_from_loader(loader.name, loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


def kyber_py():
    from kyber_py.ml_kem import ML_KEM_512 as kem

    ek, dk = kem.keygen()
    _, c = kem.encaps(ek)
    return {
        "keygen": kem.keygen,
        "encaps": lambda: kem.encaps(ek),
        "decaps": lambda: kem.decaps(dk, c),
    }


def pqcrypto():
    from pqcrypto.kem import ml_kem_512 as kem

    pk, sk = kem.keygen()
    c, _ = kem.encaps(pk)
    return {
        "keygen": kem.keygen,
        "encaps": lambda: kem.encaps(pk),
        "decaps": lambda: kem.decaps(sk, c),
    }


def per_op_us(fn, seconds: float, repeat: int) -> float:
    timer = timeit.Timer(fn)
    number, elapsed = timer.autorange()
    number = max(1, int(number * seconds / max(elapsed, 1e-9)))
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e6


def print_table(results: dict[str, dict[str, float]], base_name: str, width: int) -> None:
    """The microseconds per operation of every column, then each other column's ratio to base_name's."""
    names = list(results)
    print(f"{'operation':<10}" + "".join(f"{n:>{width}}" for n in names))
    for op in OPERATIONS:
        print(f"{op:<10}" + "".join(f"{results[n][op]:>{width}.2f}" for n in names))
    base = results[base_name]
    print(f"ratios (other / {base_name}; above 1 means {base_name} is faster)")
    for n in names[1:]:
        print(f"  {n:<16}" + "  ".join(f"{op} {results[n][op] / base[op]:8.2f}x" for op in OPERATIONS))


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=0.5, help="approximate time per measurement (default 0.5)")
    parser.add_argument("--repeat", type=int, default=5, help="measurements per operation; the minimum is kept")
    parser.add_argument("--baseline", help="path of a Kyber module from another build to time beside this one")
    args = parser.parse_args()

    candidates = [(OURS, ours)]
    if args.baseline:
        baseline = load_baseline(args.baseline)
        candidates.append((f"baseline[{DEFAULT_PATH}]", lambda: ours(DEFAULT_PATH, baseline)))
    for path in reversed(Kyber._available_backends()):  # the other code paths, fastest first
        if path != DEFAULT_PATH:
            candidates.append((f"Kyber[{path}]", lambda path=path: ours(path)))
    candidates += [("pqcrypto", pqcrypto), ("kyber-py", kyber_py)]
    results: dict[str, dict[str, float]] = {}
    for name, setup in candidates:
        try:
            ops = setup()
        except ImportError as exc:
            print(f"[skip] {name}: not importable ({exc}); install it to add this column")
            continue
        # kyber-py takes milliseconds per call, so fewer repetitions do.
        seconds, repeat = (args.seconds, 3) if name == "kyber-py" else (args.seconds, args.repeat)
        results[name] = {op: per_op_us(ops[op], seconds, repeat) for op in OPERATIONS}
        if name.startswith("Kyber["):
            Kyber._set_backend(DEFAULT_PATH)

    print(f"\nML-KEM-512, microseconds per operation (minimum of repeated runs), Python {sys.version.split()[0]}")
    print_table(results, OURS, 18)
    base = results[OURS]

    portable = results.get("Kyber[portable]", base)
    print(f"\ntargets ({OURS}; the time bound applies to the portable path)")
    ok = True
    for op in OPERATIONS:
        good = portable[op] <= TARGET_US[op]
        checks = [f"portable <= {TARGET_US[op]:.0f} us: {'yes' if good else 'NO'}"]
        if "pqcrypto" in results:
            faster = base[op] <= results["pqcrypto"][op] and portable[op] <= results["pqcrypto"][op]
            checks.append(f"default and portable paths no slower than pqcrypto: {'yes' if faster else 'NO'}")
            good &= faster
        if "kyber-py" in results:
            ratio = results["kyber-py"][op] / base[op]
            checks.append(f"{ratio:.0f}x kyber-py (>= 200x: {'yes' if ratio >= 200 else 'NO'})")
            good &= ratio >= 200
        ok &= good
        print(f"  {op:<8} " + "; ".join(checks))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
