"""Whole exchanges with the real SM2/SM3/SM4 components (and the real Kyber
component when it is present; otherwise the session's stand-in Kyber)."""
import os
import types

import pytest

from velmora_support import SAMPLE_TEXT, xor_ref

SM3 = pytest.importorskip("pysmx.SM3")


@pytest.fixture(scope="module")
def exchange(mod):
    pk, sk = mod.key_gen_hybrid()
    c1, c2, key, iv = mod.enc_hybrid(pk)
    return types.SimpleNamespace(pk=pk, sk=sk, c1=c1, c2=c2, key=key, iv=iv,
                                 dec=mod.dec_hybrid(c1, c2, sk))


def test_exchange_shapes(exchange):
    x = exchange
    assert (len(x.pk), len(x.sk)) == (1728, 3328)
    assert x.pk.isascii() and x.sk.isascii()
    for tail in (x.pk[1600:], x.sk[3264:]):
        assert tail == tail.lower() and len(bytes.fromhex(tail)) * 2 == len(tail)
    assert type(x.c2) is bytes and x.c2 == x.c2.lower() and bytes.fromhex(x.c2.decode())
    for v in (x.key, x.iv):
        assert type(v) is str and len(v) == 32 and bytes.fromhex(v)
    assert x.key == x.key.lower()
    assert x.dec == (x.key, x.iv)


MESSAGES = {"ascii": "attack at dawn", "empty": "", "non-ascii": "\u660e\u6587 \u00e9t\u00e9 \U0001f510",
            "sample": SAMPLE_TEXT, "100KB": "0123456789abcdef" * 6400}


@pytest.mark.parametrize("msg", list(MESSAGES.values()), ids=list(MESSAGES))
def test_message_travels_under_exchanged_key(mod, exchange, msg):
    ct = mod.sm4_encode(exchange.key, exchange.iv, msg)
    k, v = exchange.dec
    assert mod.sm4_decode(k, v, ct) == msg


def test_c_text2_as_text_gives_same_keys(mod, exchange):
    assert mod.dec_hybrid(exchange.c1, exchange.c2.decode(), exchange.sk) == exchange.dec
    assert mod.dec_hybrid(exchange.c1, exchange.c2.upper(), exchange.sk) == exchange.dec


def test_fresh_values_each_encryption(mod, exchange):
    again = mod.enc_hybrid(exchange.pk)
    assert again[2] != exchange.key and again[3] != exchange.iv and again[1] != exchange.c2
    assert mod.dec_hybrid(again[0], again[1], exchange.sk) == (again[2], again[3])


def test_fresh_key_pairs(mod, exchange):
    pk, sk = mod.key_gen_hybrid()
    assert pk != exchange.pk and sk != exchange.sk


def test_derivation_with_real_sm3(mod, monkeypatch):
    drawn, secrets = [], []
    kyber = mod.Kyber

    def urandom(n):
        drawn.append(os.urandom(n))
        return drawn[-1]

    def cca_enc(pk, m):
        c, k = kyber.CCA_Enc(pk, m)
        secrets.append(k)
        return c, k
    monkeypatch.setattr(mod, "os", types.SimpleNamespace(urandom=urandom))
    monkeypatch.setattr(mod, "Kyber", types.SimpleNamespace(CCA_KeyGen=kyber.CCA_KeyGen,
                                                            CCA_Enc=cca_enc,
                                                            CCA_Dec=kyber.CCA_Dec))
    pk, sk = mod.key_gen_hybrid()
    c1, c2, key, iv = mod.enc_hybrid(pk)
    assert len(drawn) == 2
    h = SM3.SM3()
    h.update(drawn[0] + bytes(secrets[0]))
    digest = h.hexdigest()
    assert iv == digest[32:] and key == xor_ref(digest[:32], digest[32:])
    assert mod.dec_hybrid(c1, c2, sk) == (key, iv)


def _flip(value, index):
    if isinstance(value, (bytes, str)):
        s = value if isinstance(value, str) else value.decode("latin-1")
        ch = s[index]
        new = "0" if ch != "0" else "1"
        s = s[:index] + new + s[index + 1:]
        return s if isinstance(value, str) else s.encode("latin-1")
    return None


@pytest.mark.parametrize("part,index", [("c2", 2), ("c2", 100), ("c2", -1), ("c1", 10), ("c1", -3)])
def test_altered_ciphertext_never_yields_the_message(mod, exchange, part, index):
    c1, c2 = exchange.c1, exchange.c2
    if part == "c1":
        c1 = _flip(c1, index)
        if c1 is None:
            pytest.skip("Kyber ciphertext is neither bytes nor text")
    else:
        c2 = _flip(c2, index)
    msg = SAMPLE_TEXT
    ct = mod.sm4_encode(exchange.key, exchange.iv, msg)
    try:
        k, v = mod.dec_hybrid(c1, c2, exchange.sk)
    except Exception:
        return                                   # refused: fine
    assert (k, v) != (exchange.key, exchange.iv)
    try:
        out = mod.sm4_decode(k, v, ct)
    except Exception:
        return
    assert out != msg


def test_wrong_secret_key_never_yields_the_keys(mod, exchange):
    pk2, sk2 = mod.key_gen_hybrid()
    try:
        result = mod.dec_hybrid(exchange.c1, exchange.c2, sk2)
    except Exception:
        return
    assert result != exchange.dec


def test_real_kyber_key_layout(mod, real_kyber):
    keys = real_kyber.CCA_KeyGen()
    assert isinstance(keys[0], bytes) and len(keys[0]) == 1600 and keys[0].isascii()
    assert isinstance(keys[1], bytes) and len(keys[1]) == 3264 and keys[1].isascii()
    pk, sk = mod.key_gen_hybrid()
    assert (len(pk), len(sk)) == (1728, 3328)
