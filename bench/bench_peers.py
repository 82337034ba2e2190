#!/usr/bin/env python3
"""The operations where native peers come closest, side by side in one run, through Python.

Rows: SM2 signing (DER, default ID, 32-byte message; and of a given digest), SM3 of 64 bytes,
HMAC-SM3 of 64 bytes under a key used many times, SM4-CBC encryption (64 bytes and 1 MiB), ML-KEM
encapsulation from public-key bytes and decapsulation of a key loaded from its expanded PKCS#8 form, and
the hex API `kyber_alg.Kyber` (ML-KEM-512). Peers: gmssl-pyx (GmSSL in C), OpenSSL through
`cryptography` and `hashlib`, and, where gmssl-pyx's extension exports GmSSL's C functions, GmSSL's
reusable signing context called through ctypes (three foreign calls per signature, so a little slower
than from C).

Each figure is the calling thread's CPU time per call, the best of interleaved rounds in which every
contender of a row is timed in turn (so all see the same machine load). Printed: microseconds per call
and peer / ours (above 1: kyber_alg is faster).

    python -P bench/bench_peers.py [--seconds 1.0] [--rows sm2,sm3,hmac,sm4,mlkem,kyber]
"""

from __future__ import annotations

import argparse
import ctypes
import hashlib
import hmac
import os
import platform
import sys
import time
from collections.abc import Callable

from kyber_alg import Kyber, mlkem, sm2, sm3, sm4

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))  # run with -P: bench/ is not on the path
import bench_sm2  # the interleaved best-of-rounds timing

try:
    import gmssl_pyx
except ImportError:
    gmssl_pyx = None
try:
    from cryptography.hazmat.primitives import hashes
    from cryptography.hazmat.primitives import hmac as pyca_hmac
    from cryptography.hazmat.primitives import padding as pyca_padding
    from cryptography.hazmat.primitives.asymmetric import mlkem as pyca_mlkem
    from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
except ImportError:
    hashes = None

Row = dict[str, Callable[[], object]]
MESSAGE, DIGEST, KEY16, IV = os.urandom(32), os.urandom(32), os.urandom(16), os.urandom(16)
M64, MIB = os.urandom(64), os.urandom(1 << 20)


def per_call(fns: Row, seconds: float, rounds: int = 15) -> dict[str, float]:
    """CPU microseconds per call of each function, the best of interleaved rounds."""
    return bench_sm2.per_call(fns, seconds, rounds, clock=time.process_time)


def gmssl_sign_context() -> Callable[[], object] | None:
    """GmSSL's reusable SM2 signing context (default ID kept in it), through ctypes; None if not exported."""
    if gmssl_pyx is None:
        return None
    try:
        lib = ctypes.CDLL(gmssl_pyx.gmsslext.__file__)
        keygen, init = lib.sm2_key_generate, lib.sm2_sign_init
        reset, update, finish = lib.sm2_sign_reset, lib.sm2_sign_update, lib.sm2_sign_finish
        verify_init, verify_update, verify_finish = lib.sm2_verify_init, lib.sm2_verify_update, lib.sm2_verify_finish
    except (AttributeError, OSError):
        return None
    key, ctx, vctx = (ctypes.create_string_buffer(1 << 16) for _ in range(3))  # above the structs' sizes
    sig, siglen = ctypes.create_string_buffer(80), ctypes.c_size_t(0)
    uid = b"1234567812345678"
    if keygen(key) != 1 or init(ctx, key, uid, ctypes.c_size_t(len(uid))) != 1:
        return None

    def sign() -> bytes:
        reset(ctx)
        update(ctx, MESSAGE, ctypes.c_size_t(len(MESSAGE)))
        finish(ctx, sig, ctypes.byref(siglen))
        return sig.raw[: siglen.value]

    der = sign()  # check that it signs: GmSSL's own verification of the same message
    ok = (
        verify_init(vctx, key, uid, ctypes.c_size_t(len(uid))) == 1
        and verify_update(vctx, MESSAGE, ctypes.c_size_t(len(MESSAGE))) == 1
        and verify_finish(vctx, der, ctypes.c_size_t(len(der))) == 1
    )
    return sign if ok else None


def sm2_rows() -> dict[str, Row]:
    key = sm2.SM2PrivateKey.generate()
    sign: Row = {"kyber_alg": lambda: key.sign(MESSAGE)}
    sign_e: Row = {"kyber_alg": lambda: key.sign_digest(DIGEST)}
    if gmssl_pyx is not None:
        g_priv, g_pub = key.private_bytes_raw(), key.public_key().public_bytes_raw()[1:]
        key.public_key().verify(gmssl_pyx.sm2_sign(g_priv, g_pub, MESSAGE), MESSAGE)
        sign["gmssl-pyx"] = lambda: gmssl_pyx.sm2_sign(g_priv, g_pub, MESSAGE)
        sign_e["gmssl-pyx"] = lambda: gmssl_pyx.sm2_sign_sm3_digest(g_priv, DIGEST)
    context = gmssl_sign_context()
    if context is not None:
        sign["GmSSL context (ctypes)"] = context
    return {"SM2 sign, DER, default ID": sign, "SM2 sign a digest, DER": sign_e}


def sm3_rows() -> dict[str, Row]:
    row: Row = {"kyber_alg": lambda: sm3.sm3(M64).digest()}
    if gmssl_pyx is not None:
        assert gmssl_pyx.sm3_hash(M64) == sm3.sm3(M64).digest()
        row["gmssl-pyx"] = lambda: gmssl_pyx.sm3_hash(M64)
    if "sm3" in hashlib.algorithms_available:
        row["OpenSSL (hashlib)"] = lambda: hashlib.new("sm3", M64).digest()
    return {"SM3, 64 bytes": row}


def hmac_rows() -> dict[str, Row]:
    key = os.urandom(32)
    keyed = sm3.HMAC(key)

    def ours() -> bytes:
        mac = keyed.copy()
        mac.update(M64)
        return mac.digest()

    row: Row = {"kyber_alg": ours}
    if hashes is not None:
        base = pyca_hmac.HMAC(key, hashes.SM3())

        def openssl() -> bytes:
            mac = base.copy()
            mac.update(M64)
            return mac.finalize()

        assert openssl() == ours()
        row["OpenSSL (cryptography, keyed copy)"] = openssl
    if "sm3" in hashlib.algorithms_available:
        std = hmac.new(key, digestmod="sm3")

        def stdlib() -> bytes:
            mac = std.copy()
            mac.update(M64)
            return mac.digest()

        row["OpenSSL (stdlib hmac, keyed copy)"] = stdlib
    if gmssl_pyx is not None:
        row["gmssl-pyx (one call, keys each time)"] = lambda: gmssl_pyx.sm3_hmac(key, M64)
    return {"HMAC-SM3, 64 bytes, key reused": row}


def sm4_rows() -> dict[str, Row]:
    rows = {}
    for label, data in (("64 bytes", M64), ("1 MiB", MIB)):
        cbc = sm4.SM4CBC(KEY16)
        row: Row = {"kyber_alg": lambda cbc=cbc, data=data: cbc.encrypt(IV, data)}
        if hashes is not None:

            def openssl(data=data) -> bytes:
                padder = pyca_padding.PKCS7(128).padder()
                enc = Cipher(algorithms.SM4(KEY16), modes.CBC(IV)).encryptor()
                return enc.update(padder.update(data) + padder.finalize()) + enc.finalize()

            assert openssl() == cbc.encrypt(IV, data)
            row["OpenSSL (cryptography)"] = openssl
        if gmssl_pyx is not None:
            row["gmssl-pyx"] = lambda data=data: gmssl_pyx.sm4_cbc_padding_encrypt(KEY16, IV, data)
        rows[f"SM4-CBC encrypt, {label}"] = row
    return rows


def mlkem_rows() -> dict[str, Row]:
    rows = {}
    for bits in (512, 768, 1024):
        private = getattr(mlkem, f"MLKEM{bits}PrivateKey").generate()
        public_bytes = private.public_key().public_bytes_raw()
        pub_cls = type(private.public_key())
        expanded_der = _expanded_pkcs8(private)
        _, ct = private.public_key().encapsulate()
        enc: Row = {"kyber_alg": lambda c=pub_cls, p=public_bytes: c.from_public_bytes(p).encapsulate()}
        dec: Row = {"kyber_alg": lambda d=expanded_der, c=ct: mlkem.load_der_private_key(d).decapsulate(c)}
        peer = getattr(pyca_mlkem, f"MLKEM{bits}PublicKey", None) if hashes is not None else None
        if peer is not None:
            seed = private.private_bytes_raw()
            peer_private = getattr(pyca_mlkem, f"MLKEM{bits}PrivateKey").from_seed_bytes(seed)
            enc["OpenSSL (cryptography)"] = lambda c=peer, p=public_bytes: c.from_public_bytes(p).encapsulate()
            dec["OpenSSL (cryptography), key object kept"] = lambda k=peer_private, c=ct: k.decapsulate(c)
        rows[f"ML-KEM-{bits} encapsulate from public-key bytes"] = enc
        rows[f"ML-KEM-{bits} decapsulate, key loaded from expanded DER"] = dec
    return rows


def _expanded_pkcs8(private: mlkem.MLKEMPrivateKey) -> bytes:
    """PKCS#8 of private in the expandedKey form (OCTET STRING of dk), built from its seed form's parts."""
    from kyber_alg import _asn1

    dk = private._expanded_bytes()  # type: ignore[attr-defined]
    return _asn1.private_key_info(private._set.oid, _asn1.octet_string(dk))  # type: ignore[attr-defined]


def kyber_rows() -> dict[str, Row]:
    ek, dk = Kyber.CCA_KeyGen()
    m = os.urandom(32)
    c, _ = Kyber.CCA_Enc(ek, m)
    return {
        "Kyber (hex) ML-KEM-512 CCA_Enc": {"kyber_alg": lambda: Kyber.CCA_Enc(ek, m)},
        "Kyber (hex) ML-KEM-512 CCA_Dec": {"kyber_alg": lambda: Kyber.CCA_Dec(c, dk)},
    }


ROWS = {"sm2": sm2_rows, "sm3": sm3_rows, "hmac": hmac_rows, "sm4": sm4_rows, "mlkem": mlkem_rows, "kyber": kyber_rows}


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=1.0, help="CPU time budget per row")
    parser.add_argument("--rows", default=",".join(ROWS), help="comma-separated: " + ",".join(ROWS))
    opts = parser.parse_args()
    print(
        f"{platform.processor() or platform.machine()}, Python {platform.python_version()}, "
        f"load average {os.getloadavg()[0]:.1f}; gmssl-pyx: {gmssl_pyx is not None}; "
        f"cryptography: {hashes is not None}"
    )
    for group in opts.rows.split(","):
        for row, fns in ROWS[group]().items():
            times = per_call(fns, opts.seconds)
            ours = times["kyber_alg"]
            print(f"\n{row}")
            for name, t in times.items():
                ratio = "" if name == "kyber_alg" else f"   peer / ours {t / ours:6.2f}"
                print(f"  {name:40s} {t:10.2f} us{ratio}")
    print(f"\nload average at the end {os.getloadavg()[0]:.1f}")


if __name__ == "__main__":
    main()
