"""Behaviour of the Python API: formats, round trips, implicit rejection, and every bad-input family."""

from __future__ import annotations

import hashlib
import os
import shutil
import subprocess
import sys
import textwrap

import pytest
from kyber_testlib import each_backend  # noqa: F401  (fixture)

from kyber_alg import Kyber

pytestmark = pytest.mark.usefixtures("each_backend")

D = bytes(range(32))
Z = bytes(range(32, 64))
M = bytes(range(64, 96))
EK, DK = Kyber.CCA_KeyGen_derand(D, Z)
C, K = Kyber.CCA_Enc(EK, M)


def flip_hex_bit(text: bytes, byte_index: int, bit: int) -> bytes:
    raw = bytearray.fromhex(text.decode())
    raw[byte_index] ^= 1 << bit
    return raw.hex().encode()


def set_coefficient(ek_hex: bytes, index: int, value: int) -> bytes:
    """ek with 12-bit coefficient `index` of t_hat (ByteEncode_12 layout) replaced by `value`."""
    raw = bytearray.fromhex(ek_hex.decode())
    bit = 12 * index
    word = int.from_bytes(raw[bit // 8 : bit // 8 + 3], "little")
    shift = bit % 8
    word = (word & ~(0xFFF << shift)) | (value << shift)
    raw[bit // 8 : bit // 8 + 3] = word.to_bytes(3, "little")
    return raw.hex().encode()


# --- formats and round trips --------------------------------------------------------


def test_keygen_format_and_freshness():
    ek, dk = Kyber.CCA_KeyGen()
    ek2, _ = Kyber.CCA_KeyGen()
    assert type(ek) is bytes and type(dk) is bytes
    assert (len(ek), len(dk)) == (1600, 3264)
    assert ek == ek.lower() and bytes.fromhex(ek.decode()) and bytes.fromhex(dk.decode())
    assert ek != ek2
    # dk = dk_pke || ek || H(ek) || z
    assert dk[1536:3136] == ek
    assert bytes.fromhex(dk[3136:3200].decode()) == hashlib.sha3_256(bytes.fromhex(ek.decode())).digest()


def test_random_round_trip_with_str_keys():
    for _ in range(20):
        ek, dk = Kyber.CCA_KeyGen()
        m = os.urandom(32)
        c, k = Kyber.CCA_Enc(ek.decode(), m)
        assert (type(c), len(c), type(k), len(k)) == (bytes, 1536, bytes, 32)
        assert c == c.lower()
        assert Kyber.CCA_Dec(c, dk.decode()) == k


def test_derand_is_deterministic_and_seed_sensitive():
    assert Kyber.CCA_KeyGen_derand(D, Z) == (EK, DK)
    ek_d, dk_d = Kyber.CCA_KeyGen_derand(bytes(32), Z)
    assert ek_d != EK
    ek_z, dk_z = Kyber.CCA_KeyGen_derand(D, bytes(32))
    assert ek_z == EK and dk_z != DK and dk_z[:-64] == DK[:-64]  # z only lands at the end of dk


def test_encaps_is_a_function_of_m():
    assert Kyber.CCA_Enc(EK, M) == (C, K)
    c2, k2 = Kyber.CCA_Enc(EK, bytes(32))
    assert c2 != C and k2 != K


@pytest.mark.parametrize(
    "convert",
    [
        lambda t: t,
        lambda t: t.decode(),
        lambda t: t.upper(),
        lambda t: t.decode().upper(),
        bytearray,
        memoryview,
    ],
    ids=["bytes", "str", "BYTES", "STR", "bytearray", "memoryview"],
)
def test_hex_inputs_accept_str_bytes_like_either_case(convert):
    assert Kyber.CCA_Enc(convert(EK), M) == (C, K)
    assert Kyber.CCA_Dec(convert(C), convert(DK)) == K


@pytest.mark.parametrize("convert", [bytes, bytearray, memoryview], ids=["bytes", "bytearray", "memoryview"])
def test_raw_inputs_accept_bytes_like(convert):
    assert Kyber.CCA_KeyGen_derand(convert(D), convert(Z)) == (EK, DK)
    assert Kyber.CCA_Enc(EK, convert(M)) == (C, K)


def test_keyword_arguments():
    assert Kyber.CCA_KeyGen_derand(z=Z, d=D) == (EK, DK)
    assert Kyber.CCA_Enc(m=M, pk=EK) == (C, K)
    assert Kyber.CCA_Dec(dk=DK, c=C) == K


# --- implicit rejection -------------------------------------------------------------


@pytest.mark.parametrize(
    "byte_index,bit",
    [(0, 0), (319, 7), (639, 3), (640, 0), (767, 7)],
    ids=["c1-first", "c1-middle", "c1-last", "c2-first", "c2-last"],
)
def test_damaged_ciphertext_gives_rejection_secret(byte_index, bit):
    bad = flip_hex_bit(C, byte_index, bit)
    k_bad = Kyber.CCA_Dec(bad, DK)
    assert k_bad != K
    assert Kyber.CCA_Dec(bad, DK) == k_bad  # deterministic
    # K_bar = J(z || c) = SHAKE256(z || c, 32)
    assert k_bad == hashlib.shake_256(Z + bytes.fromhex(bad.decode())).digest(32)


def test_ciphertext_for_another_key_is_rejected_implicitly():
    ek2, dk2 = Kyber.CCA_KeyGen_derand(Z, D)
    k = Kyber.CCA_Dec(C, dk2)
    assert k != K
    assert k == hashlib.shake_256(D + bytes.fromhex(C.decode())).digest(32)


def test_secret_part_of_dk_is_not_covered_by_hash_check():
    # A damaged s_hat still decapsulates (to the rejection secret), without error or crash.
    bad_dk = flip_hex_bit(DK, 5, 1)
    assert Kyber.CCA_Dec(C, bad_dk) == hashlib.shake_256(Z + bytes.fromhex(C.decode())).digest(32)
    # All-ones s_hat: every 12-bit value is 4095 >= q and must be reduced, not trusted.
    ones = b"f" * 1536 + DK[1536:]
    assert len(Kyber.CCA_Dec(C, ones)) == 32


# --- bad input ----------------------------------------------------------------------


@pytest.mark.parametrize(
    "call",
    [
        lambda: Kyber.CCA_Enc(12345, M),
        lambda: Kyber.CCA_Enc(None, M),
        lambda: Kyber.CCA_Enc(EK, M.hex()),
        lambda: Kyber.CCA_Enc(EK, 7),
        lambda: Kyber.CCA_Dec([C], DK),
        lambda: Kyber.CCA_Dec(C, 3.5),
        lambda: Kyber.CCA_KeyGen_derand(D.hex()[:32], Z),
        lambda: Kyber.CCA_KeyGen_derand(D, None),
        lambda: Kyber.CCA_Enc(EK),
        lambda: Kyber.CCA_Dec(C, DK, DK),
        lambda: Kyber.CCA_KeyGen(D),
        lambda: Kyber.CCA_Enc(EK, M, pk=EK),
        lambda: Kyber.CCA_Enc(EK, mm=M),
    ],
    ids=[
        "pk-int",
        "pk-None",
        "m-str",
        "m-int",
        "c-list",
        "dk-float",
        "d-str",
        "z-None",
        "enc-missing-arg",
        "dec-extra-arg",
        "keygen-arg",
        "enc-duplicate-kw",
        "enc-unknown-kw",
    ],
)
def test_wrong_types_raise_type_error(call):
    with pytest.raises(TypeError):
        call()


@pytest.mark.parametrize(
    "call,message",
    [
        (lambda: Kyber.CCA_Enc(EK[:-2], M), "pk must be 1600 hexadecimal characters"),
        (lambda: Kyber.CCA_Enc(EK + b"00", M), "pk must be 1600 hexadecimal characters"),
        (lambda: Kyber.CCA_Enc(EK[:-1], M), "pk must be 1600 hexadecimal characters"),
        (lambda: Kyber.CCA_Enc("", M), "pk must be 1600 hexadecimal characters"),
        (lambda: Kyber.CCA_Enc(EK, M[:31]), "m must be 32 bytes long, got 31"),
        (lambda: Kyber.CCA_Enc(EK, M + b"\0"), "m must be 32 bytes long, got 33"),
        (lambda: Kyber.CCA_Dec(C[:-2], DK), "c must be 1536 hexadecimal characters"),
        (lambda: Kyber.CCA_Dec(C + b"0", DK), "c must be 1536 hexadecimal characters"),
        (lambda: Kyber.CCA_Dec(C, DK[:-2]), "dk must be 3264 hexadecimal characters"),
        (lambda: Kyber.CCA_Dec(C, DK.decode() + "00"), "dk must be 3264 hexadecimal characters"),
        (lambda: Kyber.CCA_KeyGen_derand(D[:16], Z), "d must be 32 bytes long, got 16"),
        (lambda: Kyber.CCA_KeyGen_derand(D, Z + Z), "z must be 32 bytes long, got 64"),
    ],
    ids=[
        "pk-short",
        "pk-long",
        "pk-odd",
        "pk-empty",
        "m-31",
        "m-33",
        "c-short",
        "c-long",
        "dk-short",
        "dk-long",
        "d-16",
        "z-64",
    ],
)
def test_wrong_lengths_raise_value_error(call, message):
    with pytest.raises(ValueError, match=message):
        call()


def _replace(text, index, char):
    if isinstance(text, str):
        return text[:index] + char + text[index + 1 :]
    return text[:index] + char.encode("latin-1") + text[index + 1 :]


@pytest.mark.parametrize(
    "char",
    ["g", "G", " ", "x", "/", ":", "@", "`", "\x00", "\xff", "é"],
    ids=["g", "G", "space", "x", "slash", "colon", "at", "backtick", "nul", "xff", "e-acute"],
)
@pytest.mark.parametrize("where", ["pk", "c", "dk"])
@pytest.mark.parametrize("position", ["first", "last"])
@pytest.mark.parametrize("as_str", [False, True], ids=["bytes", "str"])
def test_non_hex_character_raises_value_error(char, where, position, as_str):
    args = {"pk": EK, "c": C, "dk": DK}
    text = args[where].decode() if as_str else args[where]
    index = 0 if position == "first" else len(text) - 1
    args[where] = _replace(text, index, char)
    call = (lambda: Kyber.CCA_Enc(args["pk"], M)) if where == "pk" else (lambda: Kyber.CCA_Dec(args["c"], args["dk"]))
    with pytest.raises(ValueError, match=f"{where} contains a character that is not a hexadecimal digit"):
        call()


@pytest.mark.parametrize(
    "index,value",
    [(0, 3329), (0, 4095), (255, 3329), (511, 4000)],
    ids=["first-q", "first-4095", "end-of-poly0-q", "last-4000"],
)
def test_modulus_check(index, value):
    assert Kyber.CCA_Enc(set_coefficient(EK, index, 3328), M)  # q - 1 is still valid
    with pytest.raises(ValueError, match="modulus check"):
        Kyber.CCA_Enc(set_coefficient(EK, index, value), M)


@pytest.mark.parametrize("byte_index", [768, 1567, 1568, 1599], ids=["ek-first", "ek-rho", "hash-first", "hash-last"])
def test_hash_check(byte_index):
    with pytest.raises(ValueError, match="hash check"):
        Kyber.CCA_Dec(C, flip_hex_bit(DK, byte_index, 0))


def test_getrandom_failure_raises_os_error(tmp_path):
    compiler = shutil.which("g++") or shutil.which("c++")
    if compiler is None:
        pytest.skip("no C++ compiler to build the getrandom interposer")
    source = tmp_path / "fail_getrandom.cpp"
    source.write_text(
        textwrap.dedent("""
        #include <cerrno>
        #include <cstddef>
        #include <sys/types.h>
        extern "C" ssize_t getrandom(void*, size_t, unsigned) { errno = EIO; return -1; }
    """)
    )
    lib = tmp_path / "libfail_getrandom.so"
    subprocess.run([compiler, "-shared", "-fPIC", "-o", str(lib), str(source)], check=True)
    script = textwrap.dedent("""
        from kyber_alg import Kyber
        try:
            Kyber.CCA_KeyGen()
        except OSError as e:
            print("OSError", e.errno)
        else:
            print("no error")
    """)
    # Appended, so that libraries already preloaded (sanitizer runtimes) stay first.
    preload = " ".join(filter(None, [os.environ.get("LD_PRELOAD"), str(lib)]))
    env = dict(
        os.environ,
        LD_PRELOAD=preload,
        PYTHONHASHSEED="0",
        PYTHONPATH=os.pathsep.join(filter(None, [str(_repo_root()), os.environ.get("PYTHONPATH")])),
    )
    # cwd is a scratch directory, so the kyber_alg on PYTHONPATH (this run's) is the one imported.
    out = subprocess.run(
        [sys.executable, "-c", script], env=env, cwd=tmp_path, capture_output=True, text=True, check=True
    )
    assert out.stdout.split() == ["OSError", "5"]


def _repo_root():
    from pathlib import Path

    import kyber_alg

    return Path(kyber_alg.__file__).resolve().parents[1]


def test_no_reference_leaks_on_success_or_error_paths():
    import gc
    import tracemalloc

    def calls():
        Kyber.CCA_KeyGen()
        Kyber.CCA_KeyGen_derand(D, Z)
        Kyber.CCA_Enc(EK.decode(), M)
        Kyber.CCA_Dec(bytearray(C), DK.decode())
        for bad in (
            lambda: Kyber.CCA_Enc(EK[:-2], M),
            lambda: Kyber.CCA_Enc(EK, 5),
            lambda: Kyber.CCA_Dec(C, b"z" * 3264),
            lambda: Kyber.CCA_Dec(C, flip_hex_bit(DK, 1599, 0)),
            lambda: Kyber.CCA_Enc(set_coefficient(EK, 0, 4095), M),
        ):
            with pytest.raises((ValueError, TypeError)):
                bad()

    for _ in range(200):  # warm up caches and interned objects
        calls()
    gc.collect()
    tracemalloc.start()
    try:
        before = tracemalloc.take_snapshot()
        for _ in range(2000):
            calls()
        gc.collect()
        growth = sum(s.size_diff for s in tracemalloc.take_snapshot().compare_to(before, "filename"))
    finally:
        tracemalloc.stop()
    # One leaked key or ciphertext per round would be megabytes.
    assert growth < 64 * 1024
