"""Velmora's own cost, side by side with the same steps written in Python.

Two runs per function: with the real components (SM2/SM3/SM4 in pure Python
dominate, so the ratio is near 1) and with the tests' cheap stand-in
components (tests/outside_fakes.py) rebound in both namespaces, which leaves
mostly the glue: argument binding, lookups, hex conversions, slicing and the
XOR. Prints microseconds per call and the ratio
python/native (higher is better for the native module).

    python -P bench/bench_velmora.py [--seconds 0.3]
"""

import argparse
import binascii
import os
import sys
import time

from kyber_alg import Velmora as native

# --- the same steps in Python, looking names up in this module's namespace ---

Kyber = native.Kyber
generate_keypair = native.generate_keypair
Encrypt, Decrypt, SM3, sm4 = native.Encrypt, native.Decrypt, native.SM3, native.sm4


def key_gen_hybrid():
    KEYs = Kyber.CCA_KeyGen()
    pk1, sk1 = KEYs[0], KEYs[1]
    pk2, sk2 = generate_keypair(64)
    return (pk1 + binascii.hexlify(pk2)).decode("utf-8"), (sk1 + binascii.hexlify(sk2)).decode("utf-8")


def enc_hybrid(pk):
    if type(pk) is not str:
        raise TypeError("Argument 'pk' has incorrect type")
    pk1, pk2 = pk[0:1600], binascii.unhexlify(pk[-128:])
    if len(pk2) != 64 or len(pk1) != 1600:
        raise TypeError("pk error!")
    info11 = os.urandom(32).hex()
    m1 = os.urandom(32)
    c_text1, K_key = Kyber.CCA_Enc(pk1, m1)
    sec_K = binascii.hexlify(K_key).decode("utf-8")
    sm33 = SM3()
    sm33.update(binascii.unhexlify(info11 + sec_K))
    digest = sm33.hexdigest()
    c_text2 = binascii.hexlify(Encrypt(binascii.unhexlify(info11), pk2, 64, 0))
    return c_text1, c_text2, xor_hex_strings(digest[0:32], digest[32:]), digest[32:]


def dec_hybrid(c_text1, c_text2, sk):
    sk1, sk2 = sk[:3264], binascii.unhexlify(sk[3264:])
    sec_E = binascii.hexlify(Decrypt(binascii.unhexlify(c_text2), sk2, 64)).decode()
    sec_K = binascii.hexlify(Kyber.CCA_Dec(c_text1, sk1)).decode("utf-8")
    sm3 = SM3()
    sm3.update(binascii.unhexlify(sec_E + sec_K))
    digest = sm3.hexdigest()
    return xor_hex_strings(digest[0:32], digest[32:]), digest[32:]


def xor_hex_strings(hex_str1, hex_str2):
    if type(hex_str1) is not str or type(hex_str2) is not str:
        raise TypeError("Argument has incorrect type")
    return bytes(a ^ b for a, b in zip(bytes.fromhex(hex_str1), bytes.fromhex(hex_str2))).hex()


def sm4_encode(key, IV, data):
    sm4Alg = sm4.CryptSM4()
    sm4Alg.set_key(binascii.unhexlify(key.encode("utf-8")), sm4.SM4_ENCRYPT)
    return sm4Alg.crypt_cbc(binascii.unhexlify(IV), data.encode()).hex()


def sm4_decode(key, IV, data):
    sm4Alg = sm4.CryptSM4()
    sm4Alg.set_key(binascii.unhexlify(key.encode("utf-8")), sm4.SM4_DECRYPT)
    return sm4Alg.crypt_cbc(binascii.unhexlify(IV), bytes.fromhex(data)).decode()


python = sys.modules[__name__]


# --- stand-ins for the outside components: the tests' own set ------------------

# Appended, so that the installed kyber_alg comes first.
sys.path.append(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests"))
import outside_fakes  # noqa: E402


def _per_call(function, args, seconds):
    function(*args)
    calls, start = 0, time.perf_counter()
    while True:
        for _ in range(20):
            function(*args)
        calls += 20
        elapsed = time.perf_counter() - start
        if elapsed >= seconds:
            return elapsed / calls


def _cases(module):
    pk, sk = module.key_gen_hybrid()
    c1, c2, key, iv = module.enc_hybrid(pk)
    text = "hello Bellmar![\\%tdy se76s66443a5hfd$nnn]" * 4
    cipher = module.sm4_encode(key, iv, text)
    digest = "0123456789abcdef" * 4
    return [
        ("key_gen_hybrid", ()),
        ("enc_hybrid", (pk,)),
        ("dec_hybrid", (c1, c2, sk)),
        ("xor_hex_strings", (digest[:32], digest[32:])),
        ("sm4_encode", (key, iv, text)),
        ("sm4_decode", (key, iv, cipher)),
    ]


def _run(title, seconds):
    print(f"\n{title}")
    print(f"{'function':<18}{'native µs':>12}{'python µs':>12}{'python/native':>15}")
    for name, args in _cases(native):
        t_native = _per_call(getattr(native, name), args, seconds)
        t_python = _per_call(getattr(python, name), args, seconds)
        print(f"{name:<18}{t_native * 1e6:>12.2f}{t_python * 1e6:>12.2f}{t_python / t_native:>15.2f}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=0.3, help="time per measurement")
    seconds = parser.parse_args().seconds
    _run("real components (pysmx SM2/SM3, gmssl SM4, kyber_alg.Kyber)", seconds)
    saved = outside_fakes.bind(native, namespaces=[python])
    try:
        _run("stand-in components (tests/outside_fakes.py): mostly the module's own work", seconds)
    finally:
        outside_fakes.restore(native, saved, namespaces=[python])


if __name__ == "__main__":
    main()
