#!/usr/bin/env python3
"""SM4-GCM, SM4-CCM, SM4-CTR, HMAC-SM3 and PBKDF2-HMAC-SM3 of kyber_alg side by side with OpenSSL
(through cryptography and hashlib) and GmSSL (through gmssl-pyx), in one run; prints throughput,
per-call cost and the ratios the targets are stated in.

Targets:
  SM4-GCM 1 MiB (seal)  >= 3 x cryptography's      SM4-CTR 1 MiB >= 3.5 x cryptography's
  SM4-GCM 64 B seal and open through Python < 2 us each
  HMAC-SM3 of 64 B      <= 2 x hmac.digest(key, msg, "sha256")
  PBKDF2-HMAC-SM3       <= 1.5 x SM3's raw time per iteration (two compressions: 128 bytes of SM3
                           at the 1 MiB speed of kyber_alg's SM3)

Rows of a table take turns (see bench_sm34.py); single-thread figures are CPU time of the calling
thread unless --clock wall.

    python -P bench/bench_sm4_modes.py [--repeats 7] [--path avx2|portable] [--clock thread|wall]
"""

import argparse
import hmac
import os
import sys
from pathlib import Path

import gmssl_pyx
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives import hmac as openssl_hmac
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.kdf.pbkdf2 import PBKDF2HMAC

sys.path.insert(0, str(Path(__file__).resolve().parent))
import bench_sm34
from bench_sm34 import CLOCK, Report, mb_per_s, per_call, take_turns

from kyber_alg import _sm3, _sm4, sm3, sm4
from kyber_alg.sm import SM3 as native_sm3

MIB = 1 << 20
KEY, NONCE, COUNTER = bytes(range(16)), bytes(range(12)), bytes(16)
DATA, AD = os.urandom(MIB), os.urandom(20)
SMALL = os.urandom(64)
HMAC_KEY = os.urandom(32)


def openssl_gcm_seal(data):
    e = Cipher(algorithms.SM4(KEY), modes.GCM(NONCE)).encryptor()
    e.authenticate_additional_data(AD)
    return e.update(data) + e.finalize() + e.tag


def openssl_gcm_open(sealed):
    d = Cipher(algorithms.SM4(KEY), modes.GCM(NONCE, sealed[-16:])).decryptor()
    d.authenticate_additional_data(AD)
    return d.update(sealed[:-16]) + d.finalize()


def openssl_ctr(data):
    e = Cipher(algorithms.SM4(KEY), modes.CTR(COUNTER)).encryptor()
    return e.update(data) + e.finalize()


def bench_sm4(report, repeats):
    gcm, ccm = sm4.SM4GCM(KEY), sm4.SM4CCM(KEY)
    sealed, boxed = gcm.encrypt(NONCE, DATA, AD), ccm.encrypt(NONCE, DATA, AD)
    assert sealed == openssl_gcm_seal(DATA)
    ct, tag = gmssl_pyx.sm4_gcm_encrypt(KEY, NONCE, AD, DATA)
    print("SM4 modes, 1 MiB")
    rows = [
        ("native SM4GCM encrypt", lambda: gcm.encrypt(NONCE, DATA, AD)),
        ("native SM4GCM decrypt", lambda: gcm.decrypt(NONCE, sealed, AD)),
        ("cryptography SM4-GCM encrypt", lambda: openssl_gcm_seal(DATA)),
        ("cryptography SM4-GCM decrypt", lambda: openssl_gcm_open(sealed)),
        ("gmssl-pyx SM4-GCM encrypt", lambda: gmssl_pyx.sm4_gcm_encrypt(KEY, NONCE, AD, DATA)),
        ("gmssl-pyx SM4-GCM decrypt", lambda: gmssl_pyx.sm4_gcm_decrypt(KEY, NONCE, AD, ct, tag)),
        ("native SM4CTR update", lambda: sm4.SM4CTR(KEY, COUNTER).update(DATA)),
        ("cryptography SM4-CTR", lambda: openssl_ctr(DATA)),
        ("native SM4CCM encrypt", lambda: ccm.encrypt(NONCE, DATA, AD)),
        ("native SM4CCM decrypt", lambda: ccm.decrypt(NONCE, boxed, AD)),
    ]
    t = take_turns(rows, repeats)
    for name, seconds in t.items():
        print(f"  {name:32s} {mb_per_s(seconds):8.1f} MB/s")
    report.target(
        "SM4-GCM encrypt 1 MiB vs cryptography", t["cryptography SM4-GCM encrypt"] / t["native SM4GCM encrypt"], 3.0
    )
    report.target(
        "SM4-GCM decrypt 1 MiB vs cryptography", t["cryptography SM4-GCM decrypt"] / t["native SM4GCM decrypt"], 3.0
    )
    report.target("SM4-CTR 1 MiB vs cryptography", t["cryptography SM4-CTR"] / t["native SM4CTR update"], 3.5)

    print("SM4-GCM, one 64-byte message per call")
    small_sealed = gcm.encrypt(NONCE, SMALL, AD)
    rows = [
        ("native encrypt", lambda: gcm.encrypt(NONCE, SMALL, AD)),
        ("native decrypt", lambda: gcm.decrypt(NONCE, small_sealed, AD)),
        ("cryptography encrypt", lambda: openssl_gcm_seal(SMALL)),
        ("cryptography decrypt", lambda: openssl_gcm_open(small_sealed)),
        ("gmssl-pyx encrypt", lambda: gmssl_pyx.sm4_gcm_encrypt(KEY, NONCE, AD, SMALL)),
    ]
    t = per_call(rows, repeats)
    for name, seconds in t.items():
        print(f"  {name:32s} {seconds * 1e9:8.0f} ns")
    report.target("SM4-GCM 64 B encrypt per call", t["native encrypt"] * 1e6, 2.0, higher_is_better=False, unit=" us")
    report.target("SM4-GCM 64 B decrypt per call", t["native decrypt"] * 1e6, 2.0, higher_is_better=False, unit=" us")


def openssl_hmac_sm3(key, msg):
    h = openssl_hmac.HMAC(key, hashes.SM3())
    h.update(msg)
    return h.finalize()


def bench_sm3(report, repeats):
    print("HMAC, 64-byte message, 32-byte key, per call")
    rows = [
        ("native hmac_sm3", lambda: sm3.hmac_sm3(HMAC_KEY, SMALL)),
        ("hmac.digest sha256 (OpenSSL)", lambda: hmac.digest(HMAC_KEY, SMALL, "sha256")),
        ("cryptography HMAC-SM3", lambda: openssl_hmac_sm3(HMAC_KEY, SMALL)),
        ("gmssl-pyx sm3_hmac", lambda: gmssl_pyx.sm3_hmac(HMAC_KEY, SMALL)),
        ("stdlib hmac over sm3.sm3", lambda: hmac.digest(HMAC_KEY, SMALL, sm3.sm3)),
    ]
    t = per_call(rows, repeats)
    for name, seconds in t.items():
        print(f"  {name:32s} {seconds * 1e9:8.0f} ns")
    report.target(
        "HMAC-SM3 64 B vs hmac.digest sha256",
        t["native hmac_sm3"] / t["hmac.digest sha256 (OpenSSL)"],
        2.0,
        higher_is_better=False,
    )

    iterations = 20000
    print(f"PBKDF2-HMAC-SM3, {iterations} iterations, 32-byte output, per iteration")
    rows = [
        ("native pbkdf2_hmac_sm3", lambda: sm3.pbkdf2_hmac_sm3(b"password", b"salt", iterations)),
        ("cryptography PBKDF2HMAC SM3", lambda: PBKDF2HMAC(hashes.SM3(), 32, b"salt", iterations).derive(b"password")),
        ("raw SM3, 1 MiB", lambda: native_sm3.SM3(DATA).digest()),
    ]
    t = take_turns(rows, repeats)
    per_iteration = t["native pbkdf2_hmac_sm3"] / iterations
    raw = t["raw SM3, 1 MiB"] / MIB * 128
    print(f"  native                           {per_iteration * 1e9:8.0f} ns per iteration")
    print(f"  cryptography (OpenSSL)           {t['cryptography PBKDF2HMAC SM3'] / iterations * 1e9:8.0f} ns")
    print(f"  raw SM3 of 128 bytes             {raw * 1e9:8.0f} ns (two compressions)")
    report.target("PBKDF2 iteration vs raw SM3", per_iteration / raw, 1.5, higher_is_better=False)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--repeats", type=int, default=7)
    ap.add_argument(
        "--path", choices=["portable", "avx2", "neon", "pmull", "smce"], help="code path of the native modules"
    )
    ap.add_argument("--clock", choices=sorted(CLOCK), default="thread", help="timer of the single-thread figures")
    opts = ap.parse_args()
    bench_sm34.clock = CLOCK[opts.clock]
    if opts.path:
        for module in (_sm4, _sm3, native_sm3):
            module._set_backend(opts.path)
    print(
        f"code paths: SM4 modes {_sm4._backend()}, SM3 {_sm3._backend()}; {opts.clock} clock; "
        f"{os.cpu_count()} CPUs, load average {os.getloadavg()[0]:.2f}"
    )
    report = Report()
    bench_sm4(report, opts.repeats)
    bench_sm3(report, opts.repeats)
    print(f"targets missed: {', '.join(report.misses) if report.misses else 'none'}")


if __name__ == "__main__":
    main()
