"""Property-based checks of every Velmora function on random and adversarial
arguments.

With the stand-in components bound (and a fixed os.urandom), each function is
compared with a plain Python model of its documented steps: for any call
shape and any arguments, both return equal results or raise the same
exception type, and that type is one the documentation names.  With the real
components the exchange and the text cipher round-trip on random inputs.
"""

import contextlib

import pytest
import velmora_model
from adversarial import StrSubclass, anything, mutated_text, texts
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from velmora_model import PARAMETERS, outcome, sm4_encode
from velmora_support import FUNCS, HAS_REAL_KYBER

SETTINGS = settings(max_examples=100, deadline=None, suppress_health_check=[HealthCheck.too_slow])


@contextlib.contextmanager
def stand_ins(mod):
    """The module with the stand-ins and the fixed random source bound."""
    saved = velmora_model.bind(mod)
    try:
        yield mod
    finally:
        velmora_model.unbind(mod, saved)


check_against_model = velmora_model.check


# --- arbitrary call shapes ------------------------------------------------------


@st.composite
def call_shapes(draw):
    """A function, 0-4 positional arguments and a few keywords (its own
    parameter names, sometimes repeated positionally, and unknown ones)."""
    name = draw(st.sampled_from(FUNCS))
    args = draw(st.lists(anything(40), max_size=4))
    names = draw(st.lists(st.sampled_from(PARAMETERS[name] + ("other", "pk", "data")), max_size=3, unique=True))
    return name, tuple(args), {n: draw(anything(40)) for n in names}


@SETTINGS
@given(call_shapes())
def test_any_call_shape_matches_the_model(mod, shape):
    with stand_ins(mod):
        check_against_model(mod, *shape)


# --- arguments of the right count, adversarial values ------------------------------


@SETTINGS
@given(
    st.sampled_from(FUNCS[1:]).flatmap(
        lambda name: st.tuples(st.just(name), st.tuples(*[anything() for _ in PARAMETERS[name]]))
    )
)
def test_adversarial_arguments_match_the_model(mod, case):
    name, args = case
    with stand_ins(mod):
        check_against_model(mod, name, args)


@SETTINGS
@given(a=texts(), b=texts(), wrap_a=st.booleans())
def test_xor_hex_strings_on_any_text(mod, a, b, wrap_a):
    got = check_against_model(mod, "xor_hex_strings", (StrSubclass(a) if wrap_a else a, b))
    if got[0] == "returned":
        assert type(got[1]) is str and len(got[1]) == 2 * min(len(bytes.fromhex(a)), len(bytes.fromhex(b)))


# --- keys and ciphertexts damaged ------------------------------------------------


@settings(SETTINGS, max_examples=60)
@given(st.data())
def test_damaged_keys_and_ciphertexts_match_the_model(mod, data):
    with stand_ins(mod) as module:
        check_damaged_exchange(module, data)


def check_damaged_exchange(stand_ins, data):
    pk, sk = stand_ins.key_gen_hybrid()
    c1, c2, key, iv = stand_ins.enc_hybrid(pk)
    assert stand_ins.dec_hybrid(c1, c2, sk) == (key, iv)
    check_against_model(stand_ins, "enc_hybrid", (data.draw(mutated_text(pk)),))
    damaged_c2 = data.draw(mutated_text(c2.decode())).encode("utf-8", "surrogatepass")
    damaged = (data.draw(mutated_text(c1)), data.draw(st.sampled_from([c2, damaged_c2])), data.draw(mutated_text(sk)))
    check_against_model(stand_ins, "dec_hybrid", damaged)
    text = data.draw(texts(40))
    sealed = outcome(stand_ins.sm4_encode, (key, iv, text), {})
    assert sealed == outcome(sm4_encode, (key, iv, text), {})
    if sealed[0] == "returned":
        assert stand_ins.sm4_decode(key, iv, sealed[1]) == text
        check_against_model(
            stand_ins,
            "sm4_decode",
            (data.draw(mutated_text(key)), data.draw(mutated_text(iv)), data.draw(mutated_text(sealed[1]))),
        )


# --- the real components ------------------------------------------------------


@pytest.mark.skipif(not HAS_REAL_KYBER, reason="needs the package's own Kyber beside Velmora")
@settings(max_examples=8, deadline=None)
@given(text=st.text(max_size=60))
def test_real_exchange_round_trips(mod, text):
    pk, sk = mod.key_gen_hybrid()
    c1, c2, key, iv = mod.enc_hybrid(pk)
    assert (len(key), len(iv), key == key.lower()) == (32, 32, True)
    assert mod.dec_hybrid(c1, c2, sk) == (key, iv)
    assert mod.sm4_decode(key, iv, mod.sm4_encode(key, iv, text)) == text


@settings(max_examples=40, deadline=None)
@given(
    key=st.binary(min_size=16, max_size=16),
    iv=st.binary(min_size=16, max_size=16),
    text=st.text(max_size=100),
    upper=st.booleans(),
    iv_bytes=st.booleans(),
)
def test_real_sm4_round_trips(mod, key, iv, text, upper, iv_bytes):
    key_hex, iv_hex = key.hex(), iv.hex()
    if upper:
        key_hex, iv_hex = key_hex.upper(), iv_hex.upper()
    sealed = mod.sm4_encode(key_hex, iv_hex.encode() if iv_bytes else iv_hex, text)
    assert sealed == sealed.lower() and len(sealed) % 32 == 0 and len(sealed) > 2 * len(text.encode())
    assert mod.sm4_decode(key_hex, iv_hex, sealed) == text
