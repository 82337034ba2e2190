"""Argument binding, error texts, traceback entries and introspection of the
six public functions (in-process, one module per session)."""
import functools
import inspect
import types

import pytest

from velmora_support import FUNCS, hybrid_pk, hybrid_sk, tb_names


class StrSub(str):
    pass


LongName = type("N" * 250, (), {})      # type names are cut at 200 characters


def call_kwnames(f, a, kw):
    # A literal call site: positional values plus keyword names (vectorcall).
    src = "f(" + ", ".join([f"a[{i}]" for i in range(len(a))] +
                           [f"{k}=kw[{k!r}]" for k in kw]) + ")"
    return eval(src, {"f": f, "a": a, "kw": kw})


CALL_PATHS = {
    "kwnames": call_kwnames,
    "star": lambda f, a, kw: f(*a, **kw),
    "tp_call": lambda f, a, kw: type(f).__call__(f, *a, **kw),
    "partial": lambda f, a, kw: functools.partial(f, *a, **kw)(),
}

N1 = "{}() takes exactly 1 positional argument ({} given)"
N2 = "{}() takes exactly 2 positional arguments ({} given)"
N3 = "{}() takes exactly 3 positional arguments ({} given)"
MULTI = "{}() got multiple values for keyword argument '{}'"
UNEXP = "{}() got an unexpected keyword argument '{}'"
BADTYPE = "Argument '{}' has incorrect type (expected str, got {})"

# (function, positional args, keyword args, message, binding entry expected)
BINDING_ERRORS = [
    ("enc_hybrid", (), {}, N1.format("enc_hybrid", 0), True),
    ("enc_hybrid", ("a", "b"), {}, N1.format("enc_hybrid", 2), True),
    ("enc_hybrid", ("a", "b"), {"pk": "c"}, N1.format("enc_hybrid", 2), True),
    ("enc_hybrid", (), {"foo": 1}, N1.format("enc_hybrid", 0), True),
    ("enc_hybrid", (), {"pk": "x", "foo": 1}, UNEXP.format("enc_hybrid", "foo"), True),
    ("enc_hybrid", ("x",), {"pk": "y"}, MULTI.format("enc_hybrid", "pk"), True),
    ("enc_hybrid", (b"x",), {}, BADTYPE.format("pk", "bytes"), False),
    ("enc_hybrid", (None,), {}, BADTYPE.format("pk", "NoneType"), False),
    ("enc_hybrid", (StrSub("x"),), {}, BADTYPE.format("pk", "StrSub"), False),
    ("enc_hybrid", (), {"pk": b"x"}, BADTYPE.format("pk", "bytes"), False),
    ("dec_hybrid", (), {}, N3.format("dec_hybrid", 0), True),
    ("dec_hybrid", (1, 2), {}, N3.format("dec_hybrid", 2), True),
    ("dec_hybrid", (1, 2, 3, 4), {}, N3.format("dec_hybrid", 4), True),
    ("dec_hybrid", (), {"c_text1": 1, "sk": 3}, N3.format("dec_hybrid", 1), True),
    ("dec_hybrid", (1,), {"c_text1": 2}, N3.format("dec_hybrid", 1), True),
    ("dec_hybrid", (1, 2), {"sk": 3, "c_text1": 4}, MULTI.format("dec_hybrid", "c_text1"), True),
    ("dec_hybrid", (1, 2), {"c_text2": 5, "sk": 3}, MULTI.format("dec_hybrid", "c_text2"), True),
    ("dec_hybrid", (1, 2), {"bogus": 1, "sk": 3}, UNEXP.format("dec_hybrid", "bogus"), True),
    ("dec_hybrid", (1,), {"c_text2": 2, "sk": 3, "x": 1, "c_text1": 0},
     UNEXP.format("dec_hybrid", "x"), True),
    ("dec_hybrid", (1,), {"c_text1": 0, "c_text2": 2, "sk": 3, "x": 1},
     MULTI.format("dec_hybrid", "c_text1"), True),
    ("xor_hex_strings", ("ff",), {}, N2.format("xor_hex_strings", 1), True),
    ("xor_hex_strings", (), {"hex_str2": "ff"}, N2.format("xor_hex_strings", 0), True),
    ("xor_hex_strings", (1, 2), {}, BADTYPE.format("hex_str1", "int"), False),
    ("xor_hex_strings", ("ff", 2), {}, BADTYPE.format("hex_str2", "int"), False),
    ("xor_hex_strings", ("ff", None), {}, BADTYPE.format("hex_str2", "NoneType"), False),
    ("xor_hex_strings", ("ff", LongName()), {}, BADTYPE.format("hex_str2", "N" * 200), False),
    ("xor_hex_strings", (b"ff", "0f"), {}, BADTYPE.format("hex_str1", "bytes"), False),
    ("xor_hex_strings", (StrSub("ff"), "0f"), {}, BADTYPE.format("hex_str1", "StrSub"), False),
    ("xor_hex_strings", (), {"hex_str2": 1, "hex_str1": "ff"},
     BADTYPE.format("hex_str2", "int"), False),
    ("xor_hex_strings", (), {"hex_str2": 1, "hex_str1": 2},
     BADTYPE.format("hex_str1", "int"), False),
    ("sm4_encode", (1, 2, 3), {"key": 4}, MULTI.format("sm4_encode", "key"), True),
    ("sm4_encode", (1, 2, 3), {"data": 4}, MULTI.format("sm4_encode", "data"), True),
    ("sm4_encode", (1, 2, 3), {"other": 4}, UNEXP.format("sm4_encode", "other"), True),
    ("sm4_encode", (1, 2, 3), {"iv": 4}, UNEXP.format("sm4_encode", "iv"), True),
    ("sm4_encode", (1, 2, 3, 4), {}, N3.format("sm4_encode", 4), True),
    ("sm4_decode", (1, 2), {}, N3.format("sm4_decode", 2), True),
    ("sm4_decode", (), {"key": 1, "data": 3}, N3.format("sm4_decode", 1), True),
    ("sm4_decode", (), {"IV": 2, "data": 3}, N3.format("sm4_decode", 0), True),
    ("key_gen_hybrid", (1,), {"a": 2}, "key_gen_hybrid() takes no keyword arguments", False),
    ("key_gen_hybrid", (), {"a": 2}, "key_gen_hybrid() takes no keyword arguments", False),
    ("key_gen_hybrid", (1,), {}, "key_gen_hybrid() takes no arguments (1 given)", False),
    ("key_gen_hybrid", (1, 2), {}, "key_gen_hybrid() takes no arguments (2 given)", False),
]


@pytest.mark.parametrize("path", list(CALL_PATHS))
@pytest.mark.parametrize("fn,args,kwargs,message,entry", BINDING_ERRORS,
                         ids=[f"{r[0]}-{i}" for i, r in enumerate(BINDING_ERRORS)])
def test_binding_errors(mod, world, rec, path, fn, args, kwargs, message, entry):
    f = getattr(mod, fn)
    with pytest.raises(TypeError) as ei:
        CALL_PATHS[path](f, args, kwargs)
    assert type(ei.value) is TypeError
    assert str(ei.value) == message
    assert rec.calls == [], "body ran despite a malformed call"
    names = tb_names(ei.value)
    velmora_entries = [n for n in names if n.startswith("Velmora.")]
    if entry:
        assert names[-1] == f"Velmora.{fn}", names
        assert velmora_entries == [f"Velmora.{fn}"], names
    else:
        assert velmora_entries == [], names


def test_keyword_names_match_by_text(mod, world):
    fresh = "".join(["hex_", "str", "1"])  # not the interned parameter name
    assert mod.xor_hex_strings(**{fresh: "ff", "".join(["hex_str", "2"]): "0f"}) == "f0"
    with pytest.raises(TypeError, match=r"^xor_hex_strings\(\) got an unexpected "
                                        r"keyword argument 'hex_str3'$"):
        mod.xor_hex_strings(**{"hex_str1": "ff", "hex_str2": "0f", "".join(["hex_str", "3"]): 1})


def test_key_gen_hybrid_empty_kwargs_is_no_keywords(mod, world):
    for path in CALL_PATHS.values():
        pk, sk = path(mod.key_gen_hybrid, (), {})
        assert pk == hybrid_pk(world) and sk == hybrid_sk(world)


@pytest.mark.parametrize("path", list(CALL_PATHS))
def test_keyword_calls_bind_like_positional(mod, world, rec, path):
    call = CALL_PATHS[path]
    key, iv = "00112233445566778899aabbccddeeff", "ffeeddccbbaa99887766554433221100"
    ct = bytes(a ^ b for a, b in zip(b"hello", bytes.fromhex(key))).hex()  # stand-in cipher
    expected = mod.sm4_decode(key, iv, ct)
    expected_calls = list(rec.calls)
    variants = [
        ((), {"key": key, "IV": iv, "data": ct}),
        ((), {"data": ct, "key": key, "IV": iv}),
        ((), {"IV": iv, "data": ct, "key": key}),
        ((key,), {"IV": iv, "data": ct}),
        ((key,), {"data": ct, "IV": iv}),
        ((key, iv), {"data": ct}),
    ]
    for a, kw in variants:
        rec.calls.clear()
        assert call(mod.sm4_decode, a, kw) == expected
        assert rec.calls == expected_calls
    assert call(mod.xor_hex_strings, (), {"hex_str2": "0f", "hex_str1": "ff"}) == "f0"
    assert call(mod.xor_hex_strings, ("a1b2c3",), {"hex_str2": "ff"}) == "5e"
    pk = hybrid_pk(world)
    rec.calls.clear()
    r = call(mod.enc_hybrid, (), {"pk": pk})
    assert len(r) == 4
    assert rec.of("CCA_Enc")[0][1][0] == pk[:1600]
    c1, c2, k, v = r
    assert call(mod.dec_hybrid, (), {"sk": hybrid_sk(world), "c_text1": c1, "c_text2": c2}) == (k, v)
    assert call(mod.dec_hybrid, (c1,), {"sk": hybrid_sk(world), "c_text2": c2}) == (k, v)


def test_replaced_attributes_do_not_change_binding(mod, monkeypatch):
    f = mod.enc_hybrid
    monkeypatch.setattr(f, "__name__", "renamed")
    monkeypatch.setattr(f, "__qualname__", "renamed")
    monkeypatch.setattr(f, "__defaults__", ("x",))
    monkeypatch.setattr(f, "__annotations__", {})
    monkeypatch.setattr(f, "__kwdefaults__", {"pk": "x"})
    monkeypatch.setattr(f, "__doc__", "replaced")
    monkeypatch.setattr(f, "__dict__", {"extra": 1})
    assert (f.__name__, f.__doc__, f.extra) == ("renamed", "replaced", 1)
    with pytest.raises(TypeError) as ei:
        f()
    assert str(ei.value) == N1.format("enc_hybrid", 0)
    with pytest.raises(TypeError) as ei:
        f(b"x")
    assert str(ei.value) == BADTYPE.format("pk", "bytes")


# ---------------------------------------------------------------------------
# introspection
# ---------------------------------------------------------------------------
def doc(lines):
    body = "\n".join((" " * ind + text) if text else "" for ind, text in lines)
    return "\n" + body + "\n    "


E = (0, "")
DOCS = {
    "key_gen_hybrid": doc([
        (4, "Generates the public key and private key for the hybrid encryption scheme."), E,
        (4, "Returns:"),
        (8, "Tuple containing the public key and private key."),
        (8, "- pk (bytes): Public key containing two parts of information."),
        (8, "- sk (bytes): Private key containing two parts of information,"),
        (10, "private key for Kyber algorithm and private key for SM2 encryption."),
    ]),
    "enc_hybrid": doc([
        (4, "Encrypts the given message using the hybrid encryption scheme."), E,
        (4, "Args:"),
        (8, "- pk (bytes): Public key containing two parts of information, Kyber pk || SM2 pk ."),
        (8, "- msg (list): List of messages to be encrypted."), E,
        (4, "Returns:"),
        (8, "Tuple containing the encrypted ciphertext, symmetric key, and encrypted message."),
        (8, "- c_text (bytes): Encrypted ciphertext containing two parts of information,"),
        (10, "ciphertext encrypted using Kyber algorithm and ciphertext encrypted using SM2 encryption."),
        (8, "- sym_key (str): Symmetric key used for encryption."),
        (8, "- msg_enc (list): Encrypted message."),
    ]),
    "dec_hybrid": doc([
        (4, "Decrypts the given ciphertext using the hybrid encryption scheme."), E,
        (4, "Args:"),
        (8, "- c_text (bytes): Ciphertext to be decrypted, containing two parts of information,"),
        (10, "ciphertext encrypted using Kyber algorithm and ciphertext encrypted using SM2 encryption."),
        (8, "- sk (bytes): Private key containing two parts of information,"),
        (10, "private key for Kyber algorithm and private key for SM2 encryption."),
        (8, "- msg_enc (list): Encrypted message."), E,
        (4, "Returns:"),
        (8, "Decrypted message."),
    ]),
    "xor_hex_strings": doc([
        (4, "Performs a bitwise XOR operation on two hexadecimal strings."), E,
        (4, "Args:"),
        (8, "hex_str1 (str): The first hexadecimal string."),
        (8, "hex_str2 (str): The second hexadecimal string."), E,
        (4, "Returns:"),
        (8, "The result of the XOR operation as a hexadecimal string."),
    ]),
    "sm4_encode": doc([
        (4, "Encrypts the given data using the SM4 encryption algorithm."), E,
        (4, "Args:"),
        (8, "key (str): The encryption key."),
        (8, "data (str): The data to be encrypted."), E,
        (4, "Returns:"),
        (8, "The encrypted data as a hexadecimal string."),
        (8, ":param key:"),
        (8, ":param data:"),
        (8, ":param IV:"),
    ]),
    "sm4_decode": None,
}

ANNOTATIONS = {
    "key_gen_hybrid": {"return": "Tuple[str, str]"},
    "enc_hybrid": {"pk": "str"},
    "dec_hybrid": {"return": "[str, str]"},
    "xor_hex_strings": {"hex_str1": "str", "hex_str2": "str"},
    "sm4_encode": {},
    "sm4_decode": {},
}

VARNAMES = {
    "key_gen_hybrid": (0, ("len_para", "KEYs", "pk1", "sk1", "pk2", "sk2")),
    "enc_hybrid": (1, ("pk", "pk1", "pk2", "len_para", "info11", "m1", "c_text1", "K_key",
                       "sec_K", "info0", "sm33", "sym_key", "c_text2", "sym_iv")),
    "dec_hybrid": (3, ("c_text1", "c_text2", "sk", "sk1", "sk2", "len_para", "sec_E",
                       "sec_K", "info1", "sm3", "sym_key", "IV")),
    "xor_hex_strings": (2, ("hex_str1", "hex_str2", "bytes1", "bytes2", "result_bytes",
                            "result_hex_str", "genexpr", "genexpr")),
    "sm4_encode": (3, ("key", "IV", "data", "sm4Alg", "dateStr", "enRes", "enHexStr")),
    "sm4_decode": (3, ("key", "IV", "data", "sm4Alg", "deRes", "deHexStr")),
}

SIGNATURES = {
    "key_gen_hybrid": "() -> 'Tuple[str, str]'",
    "enc_hybrid": "(pk: 'str')",
    "dec_hybrid": "(c_text1, c_text2, sk) -> '[str, str]'",
    "xor_hex_strings": "(hex_str1: 'str', hex_str2: 'str')",
    "sm4_encode": "(key, IV, data)",
    "sm4_decode": "(key, IV, data)",
}


@pytest.mark.parametrize("fn", FUNCS)
def test_function_attributes(mod, fn):
    f = getattr(mod, fn)
    assert f.__name__ == fn
    assert f.__qualname__ == fn
    assert f.__module__ == "Velmora"
    assert f.__doc__ == DOCS[fn]
    assert f.__annotations__ == ANNOTATIONS[fn]
    assert list(f.__annotations__) == list(ANNOTATIONS[fn])
    assert all(type(v) is str for v in f.__annotations__.values())
    assert f.__defaults__ is None
    assert f.__kwdefaults__ is None
    assert f.__closure__ is None
    assert f.__globals__ is mod.__dict__
    assert mod.__dict__[fn] is f


@pytest.mark.parametrize("fn", FUNCS)
def test_code_information(mod, fn):
    code = getattr(mod, fn).__code__
    argcount, varnames = VARNAMES[fn]
    assert isinstance(code, types.CodeType)
    assert code.co_varnames == varnames
    assert code.co_argcount == argcount
    assert code.co_posonlyargcount == 0
    assert code.co_kwonlyargcount == 0
    assert code.co_name == fn
    assert code.co_qualname == fn


@pytest.mark.parametrize("fn", FUNCS)
def test_signature(mod, fn):
    sig = inspect.signature(getattr(mod, fn))
    assert str(sig) == SIGNATURES[fn]
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
               and p.default is inspect.Parameter.empty for p in sig.parameters.values())


def test_function_dict_is_writable(mod):
    f = mod.xor_hex_strings
    f.tag = 42
    try:
        assert f.__dict__["tag"] == 42
        assert f.tag == 42
        assert mod.sm4_decode.__dict__.get("tag") is None
    finally:
        del f.tag
    assert "tag" not in f.__dict__


def test_all_functions_share_one_type(mod):
    kinds = {type(getattr(mod, fn)) for fn in FUNCS}
    assert len(kinds) == 1
    assert all(callable(getattr(mod, fn)) for fn in FUNCS)
