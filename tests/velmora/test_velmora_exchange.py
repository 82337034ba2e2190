"""Whole exchanges with the real SM2/SM3/SM4 components (and the real Kyber
component when it is built; otherwise the session's stand-in Kyber)."""

import types

import pytest
from velmora_support import SAMPLE_TEXT

pytest.importorskip("pysmx.SM2")


@pytest.fixture(scope="module")
def x(mod):
    pk, sk = mod.key_gen_hybrid()
    c1, c2, key, iv = mod.enc_hybrid(pk)
    return types.SimpleNamespace(pk=pk, sk=sk, c1=c1, c2=c2, key=key, iv=iv, dec=mod.dec_hybrid(c1, c2, sk))


def test_exchange_agrees(mod, x):
    assert (len(x.pk), len(x.sk)) == (1728, 3328) and x.pk.isascii() and x.sk.isascii()
    assert x.pk[1600:] == x.pk[1600:].lower() and x.sk[3264:] == x.sk[3264:].lower()
    assert type(x.c2) is bytes and x.c2 == x.c2.lower()
    assert len(x.key) == len(x.iv) == 32 and x.key == x.key.lower() and x.dec == (x.key, x.iv)
    assert mod.dec_hybrid(x.c1, x.c2.decode().upper(), x.sk) == x.dec
    again = mod.enc_hybrid(x.pk)
    assert all(a != b for a, b in zip(again, (x.c1, x.c2, x.key, x.iv)))
    assert mod.dec_hybrid(again[0], again[1], x.sk) == (again[2], again[3])
    assert mod.key_gen_hybrid() != (x.pk, x.sk)


@pytest.mark.parametrize(
    "msg",
    ["attack at dawn", "", "\u660e\u6587 \u00e9t\u00e9 \U0001f510", SAMPLE_TEXT, "0123456789abcdef" * 6400],
    ids=["ascii", "empty", "non-ascii", "sample", "100KB"],
)
def test_message_travels_under_exchanged_key(mod, x, msg):
    assert mod.sm4_decode(*x.dec, mod.sm4_encode(x.key, x.iv, msg)) == msg


def _flip(value, i):
    if not isinstance(value, (bytes, str)):
        pytest.skip("Kyber ciphertext is neither bytes nor text")
    s = value if isinstance(value, str) else value.decode("latin-1")
    s = s[:i] + ("1" if s[i] == "0" else "0") + s[i + 1 :]
    return s if isinstance(value, str) else s.encode("latin-1")


@pytest.mark.parametrize("part,i", [("c2", 2), ("c2", 100), ("c2", -1), ("c1", 10), ("c1", -3), ("sk", None)])
def test_altered_exchange_never_yields_the_message(mod, x, part, i):
    c1, c2, sk = x.c1, x.c2, x.sk
    if part == "sk":
        sk = mod.key_gen_hybrid()[1]
    elif part == "c1":
        c1 = _flip(c1, i)
    else:
        c2 = _flip(c2, i)
    ct = mod.sm4_encode(x.key, x.iv, SAMPLE_TEXT)
    try:
        k, v = mod.dec_hybrid(c1, c2, sk)
    except Exception:
        return  # refused: fine
    assert (k, v) != (x.key, x.iv)
    try:
        out = mod.sm4_decode(k, v, ct)
    except Exception:
        return
    assert out != SAMPLE_TEXT
