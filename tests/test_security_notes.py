"""The security notes (docs/security.md) hold for the installed package, with its default components and,
where the notes say what changes, after kyber_alg.sm.use_native().

If one of these starts failing, the behaviour changed and the notes must change with it."""

import importlib.util
import os

import pytest

from kyber_alg import Velmora

SWITCHED = ("generate_keypair", "Encrypt", "Decrypt", "SM3", "hash_msg", "sm4")
HAS_NATIVE_SM = importlib.util.find_spec("kyber_alg.sm.SM2") is not None

MESSAGE = "hello, a message of more than one block"


@pytest.fixture(
    params=[
        "default",
        pytest.param("native", marks=pytest.mark.skipif(not HAS_NATIVE_SM, reason="kyber_alg.sm is not built")),
    ]
)
def components(request):
    """Velmora with its default SM components, or with the native ones bound by use_native()."""
    held = {name: getattr(Velmora, name) for name in SWITCHED}
    if request.param == "native":
        import kyber_alg.sm

        kyber_alg.sm.use_native()
    yield request.param
    for name, value in held.items():
        setattr(Velmora, name, value)


@pytest.fixture(scope="module")
def exchange():
    pk, sk = Velmora.key_gen_hybrid()
    c_text1, c_text2, key, iv = Velmora.enc_hybrid(pk)
    return pk, sk, c_text1, c_text2, key, iv


def _flip_bit(hex_text: str, byte: int, bit: int) -> str:
    raw = bytearray(bytes.fromhex(hex_text))
    raw[byte] ^= 1 << bit
    return raw.hex()


@pytest.mark.parametrize("byte, bit", [(0, 0), (3, 5), (15, 1)])
def test_a_changed_iv_changes_the_text_without_an_error(exchange, components, byte, bit):
    *_, key, iv = exchange
    ciphertext = Velmora.sm4_encode(key, iv, MESSAGE)
    changed = Velmora.sm4_decode(key, _flip_bit(iv, byte, bit), ciphertext)
    expected = bytearray(MESSAGE.encode())
    expected[byte] ^= 1 << bit
    assert changed == expected.decode()


def test_one_key_and_iv_for_two_messages_leaks_their_common_start(exchange):
    *_, key, iv = exchange
    first = Velmora.sm4_encode(key, iv, "PAY 100 TO ALICE; memo one")
    second = Velmora.sm4_encode(key, iv, "PAY 100 TO ALICE; memo two")
    assert first[:32] == second[:32] and first[32:] != second[32:]


@pytest.mark.parametrize("wrong_sm2_part", ["random point", "secret key"])
def test_the_public_key_check_is_only_a_shape_check(exchange, wrong_sm2_part):
    pk, sk, *_ = exchange
    accepted = pk[:1600] + os.urandom(64).hex() if wrong_sm2_part == "random point" else sk
    c_text1, c_text2, key, iv = Velmora.enc_hybrid(accepted)
    assert len(c_text1) == 1536 and len(key) == len(iv) == 32


def test_a_wrong_key_does_not_give_the_message_back(exchange, components):
    *_, key, iv = exchange
    ciphertext = Velmora.sm4_encode(key, iv, MESSAGE)
    outcomes = set()
    for _ in range(60):
        try:
            outcomes.add(Velmora.sm4_decode(os.urandom(16).hex(), iv, ciphertext))
        except UnicodeDecodeError:  # a ValueError too, but reported apart
            outcomes.add(UnicodeDecodeError)
        except ValueError:
            outcomes.add(ValueError)
    assert MESSAGE not in outcomes
    if components == "default":
        assert "" in outcomes  # the default SM4 component's usual answer, with no error
    else:
        # The padding check: every wrong key raises (UnicodeDecodeError only when the padding happens
        # to be valid, about 1 key in 250); text comes back with a chance far below one in a million.
        assert ValueError in outcomes and outcomes <= {ValueError, UnicodeDecodeError}


@pytest.mark.parametrize("damage", ["c_text2 changed", "other secret key", "swapped"])
def test_sm2_integrity_failures_raise(exchange, damage):
    pk, sk, c_text1, c_text2, *_ = exchange
    if damage == "c_text2 changed":
        args = (c_text1, _flip_bit(c_text2.decode(), len(c_text2) // 2 - 1, 0).encode(), sk)
    elif damage == "other secret key":
        args = (c_text1, c_text2, Velmora.key_gen_hybrid()[1])
    else:
        args = (c_text2, c_text1, sk)
    with pytest.raises(TypeError):
        Velmora.dec_hybrid(*args)


def test_a_changed_kyber_ciphertext_gives_another_key_silently(exchange):
    pk, sk, c_text1, c_text2, key, iv = exchange
    changed = _flip_bit(c_text1.decode(), 0, 0).encode()
    assert Velmora.dec_hybrid(changed, c_text2, sk) != (key, iv)
    assert Velmora.dec_hybrid(c_text1, c_text2, sk) == (key, iv)
