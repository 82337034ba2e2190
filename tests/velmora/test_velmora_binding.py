"""Argument binding, its error texts and traceback entries, and the
introspection attributes of the six public functions."""

import functools
import inspect
import types

import pytest
from velmora_support import FUNCS, HYBRID_PK, HYBRID_SK, tb_names


class StrSub(str):
    pass


LongName = type("N" * 250, (), {})  # type names are cut at 200 characters


def call_kwnames(f, a, kw):  # a literal call site: vectorcall with keyword names
    src = "f(" + ", ".join([f"a[{i}]" for i in range(len(a))] + [f"{k}=kw[{k!r}]" for k in kw]) + ")"
    return eval(src, {"f": f, "a": a, "kw": kw})


CALL_PATHS = {
    "kwnames": call_kwnames,
    "star": lambda f, a, kw: f(*a, **kw),
    "tp_call": lambda f, a, kw: type(f).__call__(f, *a, **kw),
    "partial": lambda f, a, kw: functools.partial(f, *a, **kw)(),
}

N = "{}() takes exactly {} positional argument{} ({} given)"
MULTI = "{}() got multiple values for keyword argument '{}'"
UNEXP = "{}() got an unexpected keyword argument '{}'"
TYPE = "Argument '{}' has incorrect type (expected str, got {})"
E, D, X = "enc_hybrid", "dec_hybrid", "xor_hex_strings"

# (function, positional args, keyword args, message, adds a "Velmora.<fn>" entry)
BINDING_ERRORS = [
    (E, (), {}, N.format(E, 1, "", 0), True),
    (E, ("a", "b"), {}, N.format(E, 1, "", 2), True),
    (E, ("a", "b"), {"pk": "c"}, N.format(E, 1, "", 2), True),
    (E, (), {"foo": 1}, N.format(E, 1, "", 0), True),
    (E, (), {"pk": "x", "foo": 1}, UNEXP.format(E, "foo"), True),
    (E, ("x",), {"pk": "y"}, MULTI.format(E, "pk"), True),
    (E, (b"x",), {}, TYPE.format("pk", "bytes"), False),
    (E, (None,), {}, TYPE.format("pk", "NoneType"), False),
    (E, (StrSub("x"),), {}, TYPE.format("pk", "StrSub"), False),
    (E, (), {"pk": b"x"}, TYPE.format("pk", "bytes"), False),
    (D, (), {}, N.format(D, 3, "s", 0), True),
    (D, (1, 2, 3, 4), {}, N.format(D, 3, "s", 4), True),
    (D, (), {"c_text1": 1, "sk": 3}, N.format(D, 3, "s", 1), True),
    (D, (1,), {"c_text1": 2}, N.format(D, 3, "s", 1), True),
    (D, (1, 2), {"sk": 3, "c_text1": 4}, MULTI.format(D, "c_text1"), True),
    (D, (1, 2), {"c_text2": 5, "sk": 3}, MULTI.format(D, "c_text2"), True),
    (D, (1, 2), {"bogus": 1, "sk": 3}, UNEXP.format(D, "bogus"), True),
    (D, (1,), {"c_text2": 2, "sk": 3, "x": 1, "c_text1": 0}, UNEXP.format(D, "x"), True),
    (D, (1,), {"c_text1": 0, "c_text2": 2, "sk": 3, "x": 1}, MULTI.format(D, "c_text1"), True),
    (X, ("ff",), {}, N.format(X, 2, "s", 1), True),
    (X, (), {"hex_str2": "ff"}, N.format(X, 2, "s", 0), True),
    (X, (1, 2), {}, TYPE.format("hex_str1", "int"), False),
    (X, ("ff", None), {}, TYPE.format("hex_str2", "NoneType"), False),
    (X, ("ff", LongName()), {}, TYPE.format("hex_str2", "N" * 200), False),
    (X, (StrSub("ff"), "0f"), {}, TYPE.format("hex_str1", "StrSub"), False),
    (X, (), {"hex_str2": 1, "hex_str1": "ff"}, TYPE.format("hex_str2", "int"), False),
    (X, (), {"hex_str2": 1, "hex_str1": 2}, TYPE.format("hex_str1", "int"), False),
    ("sm4_encode", (1, 2, 3), {"key": 4}, MULTI.format("sm4_encode", "key"), True),
    ("sm4_encode", (1, 2, 3), {"iv": 4}, UNEXP.format("sm4_encode", "iv"), True),
    ("sm4_decode", (1, 2), {}, N.format("sm4_decode", 3, "s", 2), True),
    ("sm4_decode", (), {"key": 1, "data": 3}, N.format("sm4_decode", 3, "s", 1), True),
    ("key_gen_hybrid", (1,), {"a": 2}, "key_gen_hybrid() takes no keyword arguments", False),
    ("key_gen_hybrid", (), {"a": 2}, "key_gen_hybrid() takes no keyword arguments", False),
    ("key_gen_hybrid", (1, 2), {}, "key_gen_hybrid() takes no arguments (2 given)", False),
]


@pytest.mark.parametrize("path", list(CALL_PATHS))
@pytest.mark.parametrize(
    "fn,args,kwargs,message,entry", BINDING_ERRORS, ids=[f"{r[0]}-{i}" for i, r in enumerate(BINDING_ERRORS)]
)
def test_binding_errors(mod, world, rec, path, fn, args, kwargs, message, entry):
    with pytest.raises(TypeError) as ei:
        CALL_PATHS[path](getattr(mod, fn), args, kwargs)
    assert type(ei.value) is TypeError and str(ei.value) == message
    assert rec == [], "the body ran despite a malformed call"
    names = tb_names(ei.value)
    velmora = [n for n in names if n.startswith("Velmora.")]
    assert velmora == ([f"Velmora.{fn}"] if entry else []), names
    assert not entry or names[-1] == f"Velmora.{fn}"


@pytest.mark.parametrize("path", list(CALL_PATHS))
def test_keyword_calls_bind_like_positional(mod, world, rec, path):
    call = CALL_PATHS[path]
    key, iv = "00112233445566778899aabbccddeeff", "ffeeddccbbaa99887766554433221100"
    ct = (bytes.fromhex(iv + key) + b"hello").hex()
    assert mod.sm4_decode(key, iv, ct) == "hello"
    positional = list(rec)
    for a, kw in [
        ((), {"key": key, "IV": iv, "data": ct}),
        ((), {"data": ct, "key": key, "IV": iv}),
        ((key,), {"data": ct, "IV": iv}),
        ((key, iv), {"data": ct}),
    ]:
        rec.clear()
        assert call(mod.sm4_decode, a, kw) == "hello" and rec == positional
    c1, c2, k, v = call(mod.enc_hybrid, (), {"pk": HYBRID_PK})
    assert rec.of("CCA_Enc")[0][0] == HYBRID_PK[:1600]
    assert call(mod.dec_hybrid, (), {"sk": HYBRID_SK, "c_text1": c1, "c_text2": c2}) == (k, v)
    assert call(mod.dec_hybrid, (c1,), {"sk": HYBRID_SK, "c_text2": c2}) == (k, v)
    assert call(mod.key_gen_hybrid, (), {}) == (HYBRID_PK, HYBRID_SK)  # empty dict: no keywords
    fresh = "".join(["hex_", "str1"])  # not the interned name
    assert call(mod.xor_hex_strings, (), {"hex_str2": "0f", fresh: "ff"}) == "f0"


def test_keyword_names_of_a_str_subclass(mod):
    class Raising(str):
        __hash__ = str.__hash__

        def __eq__(self, other):
            raise RuntimeError("no comparison")

    assert mod.xor_hex_strings(**{StrSub("hex_str1"): "ff", "hex_str2": "0f"}) == "f0"
    with pytest.raises(RuntimeError, match="^no comparison$"):
        mod.enc_hybrid(**{Raising("pk"): "x"})


def test_replaced_attributes_leave_binding_alone(mod, monkeypatch):
    f = mod.enc_hybrid
    for attr, value in [
        ("__name__", "renamed"),
        ("__qualname__", "renamed"),
        ("__defaults__", ("x",)),
        ("__kwdefaults__", {"pk": "x"}),
        ("__annotations__", {}),
        ("__doc__", "replaced"),
        ("__dict__", {"extra": 1}),
    ]:
        monkeypatch.setattr(f, attr, value)
    assert (f.__name__, f.__doc__, f.extra) == ("renamed", "replaced", 1)
    f.more = 2
    assert f.__dict__ == {"extra": 1, "more": 2}
    for args, message in [((), N.format(E, 1, "", 0)), ((b"x",), TYPE.format("pk", "bytes"))]:
        with pytest.raises(TypeError) as ei:
            f(*args)
        assert str(ei.value) == message


def doc(*lines):
    return (
        "\n"
        + "\n".join(
            " " * (4 if t.startswith("!") else 8 if not t.startswith("  ") else 10) + t.lstrip("! ") if t else ""
            for t in lines
        )
        + "\n    "
    )


# "!" marks indent 4, a leading two-space marks indent 10, otherwise indent 8.
INTROSPECTION = {
    "key_gen_hybrid": dict(
        doc=doc(
            "!Generates the public key and private key for the hybrid encryption scheme.",
            "",
            "!Returns:",
            "Tuple containing the public key and private key.",
            "- pk (bytes): Public key containing two parts of information.",
            "- sk (bytes): Private key containing two parts of information,",
            "  private key for Kyber algorithm and private key for SM2 encryption.",
        ),
        annotations={"return": "Tuple[str, str]"},
        sig="() -> 'Tuple[str, str]'",
        varnames=(0, "len_para KEYs pk1 sk1 pk2 sk2"),
    ),
    "enc_hybrid": dict(
        doc=doc(
            "!Encrypts the given message using the hybrid encryption scheme.",
            "",
            "!Args:",
            "- pk (bytes): Public key containing two parts of information, Kyber pk || SM2 pk .",
            "- msg (list): List of messages to be encrypted.",
            "",
            "!Returns:",
            "Tuple containing the encrypted ciphertext, symmetric key, and encrypted message.",
            "- c_text (bytes): Encrypted ciphertext containing two parts of information,",
            "  ciphertext encrypted using Kyber algorithm and ciphertext encrypted using SM2 encryption.",
            "- sym_key (str): Symmetric key used for encryption.",
            "- msg_enc (list): Encrypted message.",
        ),
        annotations={"pk": "str"},
        sig="(pk: 'str')",
        varnames=(1, "pk pk1 pk2 len_para info11 m1 c_text1 K_key sec_K info0 sm33 sym_key c_text2 sym_iv"),
    ),
    "dec_hybrid": dict(
        doc=doc(
            "!Decrypts the given ciphertext using the hybrid encryption scheme.",
            "",
            "!Args:",
            "- c_text (bytes): Ciphertext to be decrypted, containing two parts of information,",
            "  ciphertext encrypted using Kyber algorithm and ciphertext encrypted using SM2 encryption.",
            "- sk (bytes): Private key containing two parts of information,",
            "  private key for Kyber algorithm and private key for SM2 encryption.",
            "- msg_enc (list): Encrypted message.",
            "",
            "!Returns:",
            "Decrypted message.",
        ),
        annotations={"return": "[str, str]"},
        sig="(c_text1, c_text2, sk) -> '[str, str]'",
        varnames=(3, "c_text1 c_text2 sk sk1 sk2 len_para sec_E sec_K info1 sm3 sym_key IV"),
    ),
    "xor_hex_strings": dict(
        doc=doc(
            "!Performs a bitwise XOR operation on two hexadecimal strings.",
            "",
            "!Args:",
            "hex_str1 (str): The first hexadecimal string.",
            "hex_str2 (str): The second hexadecimal string.",
            "",
            "!Returns:",
            "The result of the XOR operation as a hexadecimal string.",
        ),
        annotations={"hex_str1": "str", "hex_str2": "str"},
        sig="(hex_str1: 'str', hex_str2: 'str')",
        varnames=(2, "hex_str1 hex_str2 bytes1 bytes2 result_bytes result_hex_str genexpr genexpr"),
    ),
    "sm4_encode": dict(
        doc=doc(
            "!Encrypts the given data using the SM4 encryption algorithm.",
            "",
            "!Args:",
            "key (str): The encryption key.",
            "data (str): The data to be encrypted.",
            "",
            "!Returns:",
            "The encrypted data as a hexadecimal string.",
            ":param key:",
            ":param data:",
            ":param IV:",
        ),
        annotations={},
        sig="(key, IV, data)",
        varnames=(3, "key IV data sm4Alg dateStr enRes enHexStr"),
    ),
    "sm4_decode": dict(
        doc=None, annotations={}, sig="(key, IV, data)", varnames=(3, "key IV data sm4Alg deRes deHexStr")
    ),
}


@pytest.mark.parametrize("fn", FUNCS)
def test_introspection(mod, fn):
    f, want = getattr(mod, fn), INTROSPECTION[fn]
    assert (f.__name__, f.__qualname__, f.__module__) == (fn, fn, "Velmora")
    assert f.__doc__ == want["doc"]
    assert f.__annotations__ == want["annotations"]
    assert list(f.__annotations__) == list(want["annotations"])
    assert all(type(v) is str for v in f.__annotations__.values())
    assert f.__defaults__ is None and f.__kwdefaults__ is None and f.__closure__ is None
    assert f.__globals__ is mod.__dict__ and mod.__dict__[fn] is f
    code = f.__code__
    assert isinstance(code, types.CodeType)
    assert (code.co_argcount, code.co_varnames) == (want["varnames"][0], tuple(want["varnames"][1].split()))
    assert (code.co_posonlyargcount, code.co_kwonlyargcount, code.co_name, code.co_qualname) == (0, 0, fn, fn)
    assert str(inspect.signature(f)) == want["sig"]
    assert type(f) is type(mod.key_gen_hybrid)
