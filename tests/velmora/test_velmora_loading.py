"""Loading, initialisation and the self-test, each scenario in a fresh
interpreter (one module object and one interpreter per process)."""

import os

import pytest
from velmora_support import (
    FAKE_KYBER,
    FAKE_OUTSIDE,
    FUNCS,
    HAS_REAL_KYBER,
    PKG_DIR,
    SAMPLE_TEXT,
    make_package,
    needs_so,
    run_python,
    write_tree,
)

pytestmark = needs_so

PLAIN_LABEL = "\u660e\u6587\uff1a"  # "plaintext" and a full-width colon
NAMESPACE = [
    "__builtins__",
    "os",
    "Kyber",
    "random",
    "Tuple",
    "binascii",
    "generate_keypair",
    "Encrypt",
    "Decrypt",
    "SM3",
    "hash_msg",
    "sm4",
    *FUNCS,
    "__test__",
]


@pytest.fixture
def site(tmp_path):
    return make_package(tmp_path / "site")


@pytest.fixture
def fakes(tmp_path):
    return write_tree(tmp_path / "fakes", FAKE_OUTSIDE)


@pytest.mark.parametrize("taken", [False, True], ids=["plain-name-free", "plain-name-taken"])
def test_import_binds_namespace_in_order(site, fakes, taken):
    rc, lines, r, proc = run_python(
        f"""
        import builtins, os, typing, binascii, types
        taken = {taken}
        other = types.ModuleType("Velmora")
        if taken:
            sys.modules["Velmora"] = other
        fake_random = sys.modules["random"] = types.ModuleType("random")   # taken from the table
        import pkg.Velmora as m
        import pkg.Kyber, pysmx.SM2 as S2, pysmx.SM3 as S3
        emit(keys=list(m.__dict__), failed=[k for k, ok in dict(
            builtins=m.__builtins__ is builtins, os=m.os is os, Kyber=m.Kyber is pkg.Kyber,
            random=m.random is fake_random, Tuple=m.Tuple is typing.Tuple, binascii=m.binascii is binascii,
            SM2=(m.generate_keypair, m.Encrypt, m.Decrypt) == (S2.generate_keypair, S2.Encrypt, S2.Decrypt),
            SM3=m.SM3 is S3.SM3 and m.hash_msg is S3.hash_msg, sm4=m.sm4 is sys.modules["gmssl.sm4"],
            test=type(m.__test__) is dict and m.__test__ == {{}}, doc=m.__doc__ is None,
            attrs=(m.__name__, m.__file__, m.__loader__, m.__package__) ==
                 ("pkg.Velmora", m.__spec__.origin, m.__spec__.loader, "pkg"),
            no_path=not hasattr(m, "__path__"), plain=sys.modules["Velmora"] is (other if taken else m),
            dicts=all(getattr(m, f).__dict__ == {{}} for f in {FUNCS!r}),
            no_selftest=not any(hasattr(m, n) for n in ("pk0", "key0", "text", "cc_text")),
        ).items() if not ok])
    """,
        pythonpath=[site, fakes],
    )
    assert rc == 0 and lines == [] and proc.stderr == "", proc  # an ordinary import prints nothing
    start = r["keys"].index("__builtins__")
    assert r["keys"][start:] == NAMESPACE
    assert set(r["keys"][:start]) <= {"__name__", "__doc__", "__package__", "__loader__", "__spec__", "__file__"}
    assert r["failed"] == []


def test_reimport_and_reload_run_nothing_again(site, fakes):
    rc, lines, r, proc = run_python(
        f"""
        import pkg.Velmora as m
        counts, test, keys = dict(sys._velmora_counts), m.__test__, list(m.__dict__)
        funcs = [getattr(m, n) for n in {FUNCS!r}]
        for k in [k for k in sys.modules if k == "pkg.Velmora" or k.split(".")[0] in ("pysmx", "gmssl")]:
            del sys.modules[k]
        import pkg.Velmora as again
        emit(same=[again is m, importlib.reload(m) is m, sys._velmora_counts == counts,
                   "pysmx.SM2" not in sys.modules, [getattr(m, n) for n in {FUNCS!r}] == funcs,
                   m.__test__ is test, list(m.__dict__) == keys])
    """,
        pythonpath=[site, fakes],
    )
    assert r["same"] == [True] * 7


@pytest.mark.parametrize("missing,taken", [("pysmx", False), ("gmssl", False), ("pysmx", True)])
def test_failed_load_then_success_in_same_process(tmp_path, site, fakes, missing, taken):
    partial = tmp_path / "partial"
    partial.mkdir()
    for sub in {"pysmx", "gmssl"} - {missing}:
        os.symlink(fakes / sub, partial / sub)
    rc, lines, r, proc = run_python(
        f"""
        import types
        other = types.ModuleType("Velmora")
        if {taken}:
            sys.modules["Velmora"] = other
        try:
            import pkg.Velmora
        except BaseException as e:
            first = [type(e).__name__, e.name, "init Velmora" in tb_names(e)]
        after = [sys.modules.get("Velmora") is (other if {taken} else None), "pkg.Velmora" not in sys.modules]
        sys.path.insert(0, {str(fakes)!r})
        import pkg.Velmora as m
        emit(first=first, after=after, works=m.xor_hex_strings("ff", "0f"),
             plain=sys.modules["Velmora"] is ({taken} and other or m))
    """,
        pythonpath=[site, partial],
    )
    assert r["first"] == ["ModuleNotFoundError", missing, True]
    # the failed module is not left behind under the plain name either
    assert r["after"] == [True, True] and r["works"] == "f0" and r["plain"]


@pytest.mark.parametrize("case", ["no Kyber", "no hash_msg", "no zip builtin", "plain name replaced"])
def test_load_failures_stop_at_the_failing_statement(tmp_path, case):
    files = dict(FAKE_OUTSIDE)
    if case in ("no hash_msg", "plain name replaced"):
        files["pysmx/SM3.py"] = files["pysmx/SM3.py"].replace("def hash_msg", "def _hash_msg")
    if case == "plain name replaced":  # someone else's entry: a failed load leaves it alone
        files["pysmx/SM3.py"] += "import types\nsys.modules['Velmora'] = types.ModuleType('other')\n"
    site = make_package(tmp_path / "site", kyber=None if case == "no Kyber" else FAKE_KYBER)
    rc, lines, r, proc = run_python(
        f"""
        import builtins
        if {case == "no zip builtin"}:
            zip_ = builtins.zip
            del builtins.zip
        try:
            import pkg.Velmora
        except BaseException as e:
            if {case == "no zip builtin"}:
                builtins.zip = zip_   # reading a traceback imports tokenize, which needs zip (3.13)
            err = [type(e).__name__, str(e), "init Velmora" in tb_names(e)]
        emit(err=err, imported=sorted(getattr(sys, "_velmora_counts", {{}})),
             plain=getattr(sys.modules.get("Velmora"), "__name__", None))
    """,
        pythonpath=[site, write_tree(tmp_path / "fakes", files)],
    )
    expected = {
        "no Kyber": (["ImportError", "cannot import name Kyber", True], []),
        "no hash_msg": (["ImportError", "cannot import name hash_msg", True], ["pkg.Kyber", "pysmx.SM2", "pysmx.SM3"]),
        "no zip builtin": (["NameError", "name 'zip' is not defined", True], []),
    }
    expected["plain name replaced"] = expected["no hash_msg"]
    assert (r["err"], r["imported"], r["plain"]) == (
        *expected[case],
        "other" if case == "plain name replaced" else None,
    )


@pytest.mark.parametrize("first_load", ["succeeded", "failed"])
def test_second_interpreter_is_refused(site, fakes, first_load):
    sub_code = "\\n".join(
        [
            "import sys",
            f"sys.path.insert(0, {str(fakes)!r})",
            "try:",
            "    import pkg.Velmora",
            "except ImportError as e:",
            "    print('SUB:' + str(e), flush=True)",
        ]
    )
    rc, lines, r, proc = run_python(
        f'''
        try:                                 # a subinterpreter sharing the main one's GIL
            import _interpreters as si       # 3.13
            sub_config = ("legacy",)
        except ImportError:
            import _xxsubinterpreters as si  # 3.11, 3.12
            sub_config = ()
        try:
            import pkg.Velmora
        except ImportError:
            pass
        sub = si.create(*sub_config) if sub_config else si.create(isolated=False)
        si.run_string(sub, "{sub_code}")
        si.destroy(sub)
        sys.path.insert(0, {str(fakes)!r})
        import pkg.Velmora as m
        emit(works=m.xor_hex_strings("ff", "0f"))
    ''',
        pythonpath=[site, fakes] if first_load == "succeeded" else [site],
    )
    assert (
        lines == ["SUB:Interpreter change detected - this module can only be loaded into one interpreter per process."]
        and r["works"] == "f0"
    )


def test_top_level_import_fails_then_package_import_works(site, fakes):
    rc, lines, r, proc = run_python(
        f"""
        sys.path.insert(0, {str(site / "pkg")!r})      # the same file, outside its package
        try:
            import Velmora
        except BaseException as e:
            first = [type(e).__name__, "relative import" in str(e), "init Velmora" in tb_names(e)]
        left = "Velmora" in sys.modules
        import pkg.Velmora as m
        emit(first=first, left=left, plain=sys.modules["Velmora"] is m, works=m.xor_hex_strings("ff", "0f"))
    """,
        pythonpath=[site, fakes],
    )
    assert r == {"first": ["ImportError", True, True], "left": False, "plain": True, "works": "f0"}


def test_second_module_object_is_refused(site, fakes):
    rc, lines, r, proc = run_python(
        """
        spec = importlib.util.find_spec("pkg.Velmora")
        m1, m2 = importlib.util.module_from_spec(spec), importlib.util.module_from_spec(spec)
        spec.loader.exec_module(m1)
        try:
            spec.loader.exec_module(m2)
        except BaseException as e:
            second = [type(e).__name__, str(e)]
        spec.loader.exec_module(m1)                        # the loaded module again: nothing happens
        emit(second=second, checks=[m1 is not m2, importlib.util.module_from_spec(spec) is m1,
                                    m1.xor_hex_strings("ff", "0f") == "f0", not hasattr(m2, "os")])
    """,
        pythonpath=[site, fakes],
    )
    assert r["second"] == [
        "RuntimeError",
        "Module 'Velmora' has already been imported. Re-initialisation is not supported.",
    ]
    assert r["checks"] == [True] * 4


def test_create_step_copies_loader_origin_parent_and_path(site):
    rc, lines, r, proc = run_python(
        """
        import _imp
        class Bare:                      # no loader, parent or search locations
            name, origin = "pkg.Velmora", importlib.util.find_spec("pkg.Velmora").origin
        class Full(Bare):
            loader, parent, submodule_search_locations = "L", None, ["/nowhere"]
        class Broken(Bare):
            loader = property(lambda self: {}["unreadable"])
        bare, full = _imp.create_dynamic(Bare()), _imp.create_dynamic(Full())
        try:
            _imp.create_dynamic(Broken())
        except BaseException as e:
            broken = type(e).__name__
        emit(bare=[bare.__file__ == Bare.origin, bare.__loader__, bare.__package__, hasattr(bare, "__path__")],
             full=[full.__loader__, full.__package__, full.__path__, list(full.__dict__)[-3:]], broken=broken)
    """,
        pythonpath=[site],
    )
    assert r == {
        "bare": [True, None, None, False],
        "broken": "KeyError",
        "full": ["L", None, ["/nowhere"], ["__spec__", "__file__", "__path__"]],
    }


def test_builtins_found_at_load_are_kept(site, fakes):
    rc, lines, r, proc = run_python(
        """
        import builtins
        real = {n: getattr(builtins, n) for n in ("print", "zip", "TypeError")}
        pairs = []
        class PkError(Exception):
            pass
        builtins.zip = lambda a, b: pairs.append((a, b)) or real["zip"](a, b)
        builtins.print = lambda *a: real["print"]("P:", *a)
        builtins.TypeError = PkError
        spec = importlib.util.find_spec("pkg.Velmora")
        m = importlib.util.module_from_spec(spec)
        m.__name__ = "__main__"
        spec.loader.exec_module(m)
        for n, v in real.items():
            setattr(builtins, n, v)
        try:
            m.enc_hybrid("")
        except BaseException as e:
            pk_error = [type(e).__name__, e.args]
        pairs.clear()
        emit(xor=m.xor_hex_strings("a1b2c3", "ff"), pairs=[[a.hex(), b.hex()] for a, b in pairs],
             pk_error=pk_error)
    """,
        pythonpath=[site, fakes],
    )
    assert len(lines) == 10 and all(line.startswith("P: ") for line in lines), lines
    assert r == {"xor": "5e", "pairs": [["a1b2c3", "ff"]], "pk_error": ["PkError", ["pk error!"]]}


SELF_TEST = """
    spec = importlib.util.find_spec("pkg.Velmora")
    m = importlib.util.module_from_spec(spec)
    m.__name__ = "__main__"
    try:
        spec.loader.exec_module(m)
        err = None
    except BaseException as e:
        err = [type(e).__name__, str(e), "init Velmora" in tb_names(e)]
    emit(err=err, keys=list(m.__dict__), cipher1_bytes=type(getattr(m, "cipher1", None)) is bytes,
         **{n: str(getattr(m, n, None)) for n in "pk0 sk0 cipher0 cipher1 key0 iv text c_text cc_text".split()})
"""


def ten_lines(pk0, sk0, cipher0, cipher1, key0, iv, c_text, **_):
    return [
        f"pk: {pk0}",
        f"sk: {sk0}",
        f"cipher1: {cipher0}",
        f"cipher2: {cipher1}",
        f"sym_key: {key0}",
        f"sym_iv: {iv}",
        f"sym_key: {key0}",
        f"sym_iv: {iv}",
        f"cipher3(SM4_CBC): {c_text}",
        f"{PLAIN_LABEL} {SAMPLE_TEXT}",
    ]


@pytest.mark.parametrize("outside", ["stand-ins", "real"])
def test_self_test_prints_ten_lines(site, fakes, outside):
    if outside == "real":
        pytest.importorskip("pysmx.SM2")
        pytest.importorskip("gmssl.sm4")
    rc, lines, r, proc = run_python(
        SELF_TEST, pythonpath=[site] + ([fakes] if outside != "real" else []), site=outside == "real"
    )
    assert r["err"] is None and lines == ten_lines(**r), proc
    assert len(r["pk0"]) == 1728 and r["cipher1_bytes"] and r["text"] == r["cc_text"] == SAMPLE_TEXT
    assert (
        r["keys"][r["keys"].index("sm4_decode") + 1 :]
        == "pk0 sk0 cipher0 cipher1 key0 iv text c_text cc_text __test__".split()
    )


# Kyber stand-ins that break the exchange, or meddle with the module while the
# self-test runs: it looks its functions up at each call, unpacks strictly and
# prints through the builtin found at load.
MEDDLING = "\ndef CCA_KeyGen():\n    import sys, builtins\n    {}\n    return (PK, SK)\n"
SELF_TEST_CASES = {
    "wrong Kyber secret": ("WRONG = bytes(32)", ["ValueError", "bad padding", True], 9),
    "enc returns three": (
        MEDDLING.format('sys.modules["Velmora"].enc_hybrid = lambda pk: ("c1", b"c2", "k")'),
        ["ValueError", "need more than 3 values to unpack", True],
        2,
    ),
    "dec returns list of three": (
        MEDDLING.format('sys.modules["Velmora"].dec_hybrid = lambda *a: [1, 2, 3]'),
        ["ValueError", "too many values to unpack (expected 2)", True],
        6,
    ),
    "dec returns one": (
        MEDDLING.format('sys.modules["Velmora"].dec_hybrid = lambda *a: iter([1])'),
        ["ValueError", "need more than 1 value to unpack", True],
        6,
    ),
    "print replaced": (MEDDLING.format("builtins.print = lambda *a, **k: None"), None, 10),
}


@pytest.mark.parametrize("case", list(SELF_TEST_CASES))
def test_self_test_failures(tmp_path, fakes, case):
    extra, err, count = SELF_TEST_CASES[case]
    site = make_package(tmp_path / "site", kyber=FAKE_KYBER + "\n" + extra + "\n")
    rc, lines, r, proc = run_python(SELF_TEST, pythonpath=[site, fakes])
    assert r["err"] == err and len(lines) == count, (r["err"], lines)
    if case == "wrong Kyber secret":  # key0 and iv were rebound to what decryption derived
        assert lines[4:6] != lines[6:8] == [f"sym_key: {r['key0']}", f"sym_iv: {r['iv']}"]
    if case == "print replaced":
        assert lines[-1] == f"{PLAIN_LABEL} {SAMPLE_TEXT}"


@pytest.mark.skipif(not HAS_REAL_KYBER, reason="real kyber_alg.Kyber not built yet")
def test_python_m_runs_the_self_test_with_real_components(tmp_path):
    if not (PKG_DIR / "__main__.py").exists():
        pytest.skip("kyber_alg/__main__.py not written yet")
    rc, lines, r, proc = run_python(
        None, pythonpath=[PKG_DIR.parent], site=True, cwd=tmp_path, args=["-m", PKG_DIR.name]
    )
    assert rc == 0 and len(lines) == 10, proc
    labels = [
        "pk:",
        "sk:",
        "cipher1:",
        "cipher2:",
        "sym_key:",
        "sym_iv:",
        "sym_key:",
        "sym_iv:",
        "cipher3(SM4_CBC):",
        PLAIN_LABEL,
    ]
    assert [line.split(" ", 1)[0] for line in lines] == labels
    assert len(lines[0]) == 4 + 1728 and lines[3].startswith("cipher2: b'")
    assert lines[4:6] == lines[6:8] and lines[-1] == f"{PLAIN_LABEL} {SAMPLE_TEXT}"
