#!/usr/bin/env python3
"""ML-DSA-44/65/87 key generation, signing and verification through Python: kyber_alg.mldsa (on each code
path this CPU runs) against pyca/cryptography's ML-DSA (OpenSSL), side by side in one run.

    python -P bench/bench_mldsa.py [--seconds 0.3] [--repeat 5] [--sets 65]

Each figure is the best of --repeat rounds of at least --seconds each, in microseconds per operation. The
ratio columns are cryptography's time over ours (above 1: ours is faster). Targets for ML-DSA-65: key generation
and signing at least 3x cryptography's, verification at least 2x.
"""

from __future__ import annotations

import argparse
import os
import timeit

from kyber_alg import _mldsa, mldsa

TARGETS = {"keygen": 3.0, "sign": 3.0, "verify": 2.0}
MESSAGE = os.urandom(64)


def operations(private_cls):
    sk = private_cls.generate()
    pk = sk.public_key()
    signature = sk.sign(MESSAGE)
    return {
        "keygen": private_cls.generate,
        "sign": lambda: sk.sign(MESSAGE),
        "verify": lambda: pk.verify(signature, MESSAGE),
    }


def best_us(function, seconds: float, repeat: int) -> float:
    timer = timeit.Timer(function)
    number, _ = timer.autorange()
    number = max(number, int(number * seconds / 0.2))
    return min(timer.repeat(repeat=repeat, number=number)) / number * 1e6


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=0.3)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--sets", default="44,65,87")
    args = parser.parse_args()
    try:
        from cryptography.hazmat.primitives.asymmetric import mldsa as pyca

        pyca.MLDSA65PrivateKey.generate()
    except Exception as exc:  # no ML-DSA in this cryptography or its OpenSSL
        pyca = None
        print(f"cryptography's ML-DSA is not available ({exc!r}); timing kyber_alg alone")
    default = _mldsa._backend()
    for level in (int(x) for x in args.sets.split(",")):
        print(f"ML-DSA-{level} (us per operation)")
        columns = {}
        for path in _mldsa._available_backends():
            _mldsa._set_backend(path)
            ops = operations(getattr(mldsa, f"MLDSA{level}PrivateKey"))
            columns[f"kyber_alg[{path}]"] = {name: best_us(f, args.seconds, args.repeat) for name, f in ops.items()}
        _mldsa._set_backend(default)
        if pyca is not None:
            ops = operations(getattr(pyca, f"MLDSA{level}PrivateKey"))
            columns["cryptography"] = {name: best_us(f, args.seconds, args.repeat) for name, f in ops.items()}
        print(f"  {'':8}" + "".join(f"{name:>24}" for name in columns) + ("   ratio" if pyca else ""))
        for op in ("keygen", "sign", "verify"):
            row = "".join(f"{columns[name][op]:>24.1f}" for name in columns)
            if pyca is not None:
                ratio = columns["cryptography"][op] / columns[f"kyber_alg[{default}]"][op]
                target = f" (target {TARGETS[op]:.0f}x)" if level == 65 else ""
                row += f"   {ratio:5.2f}x{target}"
            print(f"  {op:8}{row}")


if __name__ == "__main__":
    main()
