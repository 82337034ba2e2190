"""Which namespace a function reads its names from, on every supported
interpreter: the cache sees each way of changing the module dict (setattr
is covered with the bodies), and
function objects that outlive a failed load keep reading their own module's
namespace (their __globals__) and the builtins found when it loaded."""

import builtins
import sys

import pytest
from velmora_support import FAKE_OUTSIDE, SM2_PK, make_package, needs_so, run_python, write_tree


def pop_then_setdefault(namespace, name, value):
    namespace.pop(name)
    namespace.setdefault(name, value)


def clear_then_copy_back(namespace, name, value):
    # update() into the emptied dict copies the other dict whole.
    saved = dict(namespace)
    saved[name] = value
    namespace.clear()
    namespace.update(saved)


def assign_in_exec(namespace, name, value):
    namespace["_new_value"] = value
    exec(f"{name} = _new_value\ndel _new_value", namespace)


def delete_then_builtin(namespace, name, value):
    del namespace[name]
    setattr(builtins, name, value)


ROUTES = {
    "item": dict.__setitem__,
    "update": lambda namespace, name, value: namespace.update({name: value}),
    "exec": assign_in_exec,
    "pop then setdefault": pop_then_setdefault,
    "clear then copy back": clear_then_copy_back,
    "delete then builtin": delete_then_builtin,
}


@pytest.mark.parametrize("route", list(ROUTES))
def test_next_call_sees_every_kind_of_rebinding(mod, world, route):
    namespace = mod.__dict__
    saved = dict(namespace)
    first = mod.key_gen_hybrid()  # fills the cache with the current generate_keypair
    try:
        ROUTES[route](namespace, "generate_keypair", lambda n: (b"\x07" * 64, b"\x08" * 32))
        second = mod.key_gen_hybrid()
    finally:
        namespace.clear()
        namespace.update(saved)
        if hasattr(builtins, "generate_keypair"):
            del builtins.generate_keypair
    assert first[0].endswith(SM2_PK.hex())
    assert second[0].endswith("07" * 64) and second[1].endswith("08" * 32)
    assert mod.key_gen_hybrid() == first  # and the restored binding after that


def test_functions_of_a_failed_load_keep_their_own_namespace(tmp_path):
    """The self-test of a module object loaded as __main__ fails in a broken
    Decrypt; a second module object then loads normally. The first object's
    functions still read the first namespace, and its builtins."""
    site = make_package(tmp_path / "site")
    fakes = write_tree(tmp_path / "fakes", FAKE_OUTSIDE)
    rc, lines, r, proc = run_python(
        """
        import builtins
        import pysmx.SM2 as S2
        real_decrypt, real_type_error = S2.Decrypt, builtins.TypeError
        class FirstTypeError(Exception):
            pass
        def broken_decrypt(*args):
            raise RuntimeError("broken Decrypt")
        S2.Decrypt, builtins.TypeError = broken_decrypt, FirstTypeError
        spec = importlib.util.find_spec("pkg.Velmora")
        first = importlib.util.module_from_spec(spec)
        first.__name__ = "__main__"
        try:
            spec.loader.exec_module(first)
        except RuntimeError as e:
            load_error = str(e)
        S2.Decrypt, builtins.TypeError = real_decrypt, real_type_error
        import pkg.Velmora as second

        def outcome(function, *args):
            try:
                return ["ok", list(function(*args))]
            except Exception as e:
                return [type(e).__name__, str(e)]

        pk, sk = second.key_gen_hybrid()
        c1, c2, key, iv = second.enc_hybrid(pk)
        old = {name: getattr(first, name) for name in ("dec_hybrid", "enc_hybrid")}
        result = dict(
            load_error=load_error,
            globals=[old["dec_hybrid"].__globals__ is first.__dict__, second.dec_hybrid.__globals__ is second.__dict__],
            old_dec=outcome(old["dec_hybrid"], c1, c2, sk),
            new_dec=outcome(second.dec_hybrid, c1, c2, sk),
            old_pk_error=outcome(old["enc_hybrid"], ""),
            new_pk_error=outcome(second.enc_hybrid, ""))
        first.Decrypt = real_decrypt                 # repaired in its own namespace
        second.Decrypt = broken_decrypt              # and broken in the other one
        result.update(old_dec_repaired=outcome(old["dec_hybrid"], c1, c2, sk),
                      new_dec_broken=outcome(second.dec_hybrid, c1, c2, sk), expected=[key, iv])
        emit(**result)
    """,
        pythonpath=[site, fakes],
    )
    assert r["load_error"] == "broken Decrypt" and r["globals"] == [True, True]
    assert r["old_dec"] == ["RuntimeError", "broken Decrypt"]
    assert r["new_dec"] == ["ok", r["expected"]]
    assert r["old_pk_error"] == ["FirstTypeError", "pk error!"]
    assert r["new_pk_error"] == ["TypeError", "pk error!"]
    assert r["old_dec_repaired"] == ["ok", r["expected"]]
    assert r["new_dec_broken"] == ["RuntimeError", "broken Decrypt"]


@pytest.mark.parametrize(
    "call",
    [
        ("xor_hex_strings", ("zz", "00")),
        ("sm4_decode", ("00" * 16, "00" * 16, "zz")),
        ("enc_hybrid", ("",)),
        ("dec_hybrid", ("", "zz", "")),
    ],
)
def test_traceback_entry_is_an_empty_frame_in_the_module_source(mod, call):
    name, args = call
    with pytest.raises(Exception) as info:
        getattr(mod, name)(*args)
    entry = info.value.__traceback__
    while entry.tb_next:
        entry = entry.tb_next
    code = entry.tb_frame.f_code
    assert (code.co_name, code.co_filename, entry.tb_lineno) == (f"Velmora.{name}", "<Velmora>", 0)
    assert entry.tb_frame.f_globals == {} and code.co_firstlineno == 0


@pytest.mark.skipif(sys.version_info < (3, 12), reason="subinterpreters with a GIL of their own came in 3.12")
@needs_so
def test_subinterpreter_with_its_own_gil_is_refused_by_the_interpreter(tmp_path):
    site = make_package(tmp_path / "site")
    fakes = write_tree(tmp_path / "fakes", FAKE_OUTSIDE)
    sub_code = "\\n".join(
        [
            "import sys",
            f"sys.path[:0] = [{str(site)!r}, {str(fakes)!r}]",
            "try:",
            "    import pkg.Velmora",
            "except ImportError as e:",
            "    print('SUB:' + str(e), flush=True)",
        ]
    )
    rc, lines, r, proc = run_python(
        f'''
        try:
            import _interpreters as si
        except ImportError:
            import _xxsubinterpreters as si
        sub = si.create()
        si.run_string(sub, "{sub_code}")
        si.destroy(sub)
        import pkg.Velmora as m
        emit(works=m.xor_hex_strings("ff", "0f"))
    ''',
        pythonpath=[site, fakes],
    )
    assert lines == ["SUB:module pkg.Velmora does not support loading in subinterpreters"], proc.stderr
    assert r["works"] == "f0"


@pytest.mark.skipif(sys.version_info < (3, 12), reason="dict watchers came in 3.12")
@needs_so
def test_lookups_stay_right_when_every_dict_watcher_is_taken(tmp_path):
    pytest.importorskip("_testcapi")
    site = make_package(tmp_path / "site")
    fakes = write_tree(tmp_path / "fakes", FAKE_OUTSIDE)
    rc, lines, r, proc = run_python(
        """
        import _testcapi
        taken = 0
        try:
            while True:
                _testcapi.add_dict_watcher(0)
                taken += 1
        except RuntimeError:
            pass
        import pkg.Velmora as m
        before = m.key_gen_hybrid()
        m.__dict__["generate_keypair"] = lambda n: (b"\\x07" * 64, b"\\x08" * 32)
        after = m.key_gen_hybrid()
        m.__dict__.update(generate_keypair=lambda n: (b"\\x09" * 64, b"\\x0a" * 32))
        emit(taken=taken, before=before[0][-2:], after=after[0][-2:], again=m.key_gen_hybrid()[0][-2:])
    """,
        pythonpath=[site, fakes],
    )
    assert r["taken"] > 0 and r["before"] != "07"
    assert (r["after"], r["again"]) == ("07", "09")
