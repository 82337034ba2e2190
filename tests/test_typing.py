"""The type stubs are true: stubtest against the built modules, a user's script under mypy --strict
and pyright strict, and pyright's type-completeness score of the installed package."""

from __future__ import annotations

import ast
import importlib
import importlib.util
import inspect
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent / "typing"
# Every native module with a stub; later modules join by being added here.
MODULES = [
    "kyber_alg.Velmora",
    "kyber_alg.Kyber",
    "kyber_alg.sm",
    "kyber_alg.sm.SM3",
    "kyber_alg.sm.sm4",
    "kyber_alg.sm.SM2",
    "kyber_alg.hybrid",
    *(f"kyber_alg.hybrid._{part}" for part in ("common", "tls", "kem", "seal", "stream")),
    "kyber_alg._sm2",
    "kyber_alg._sm4",
    "kyber_alg._sm3",
    "kyber_alg._mlkem",
    "kyber_alg.mlkem",
    "kyber_alg._mldsa",
    "kyber_alg.mldsa",
    "kyber_alg.x509",
]


def _tool(module: str) -> None:
    if importlib.util.find_spec(module) is None:
        pytest.skip(f"{module} is not installed (pip install '.[test]')")


def _run(args: list[str], cwd: Path) -> subprocess.CompletedProcess[str]:
    # pyright's --verifytypes finds packages through the `python` on PATH, so that is this interpreter.
    path = os.pathsep.join([str(Path(sys.executable).parent), os.environ.get("PATH", "")])
    return subprocess.run(args, cwd=cwd, capture_output=True, text=True, timeout=600, env={**os.environ, "PATH": path})


def _stub_path(module: str) -> Path:
    spec = importlib.util.find_spec(module)
    assert spec is not None and spec.origin is not None
    origin = Path(spec.origin)
    if spec.submodule_search_locations is not None:  # a package: its stub is __init__.pyi, if it has one
        stub = origin.with_suffix(".pyi")
        return stub if stub.exists() else origin
    if origin.suffix == ".py":  # an annotated Python module is its own stub
        return origin
    return origin.parent / (module.rpartition(".")[2] + ".pyi")


def test_stubtest_passes(tmp_path):
    _tool("mypy")
    # stubtest checks a package's submodules with it and refuses to be given them twice.
    roots = [m for m in MODULES if not any(m.startswith(p + ".") for p in MODULES)]
    result = _run(
        [sys.executable, "-m", "mypy.stubtest", "--allowlist", str(HERE / "stubtest_allowlist.txt"), *roots],
        cwd=tmp_path,
    )
    assert result.returncode == 0, result.stdout + result.stderr
    assert f"no issues found in {len(MODULES)} modules" in result.stdout, result.stdout


def _stub_functions() -> list[tuple[str, ast.FunctionDef]]:
    found = []
    for module in MODULES:
        tree = ast.parse(_stub_path(module).read_text(encoding="utf-8"))
        found += [(module, node) for node in tree.body if isinstance(node, ast.FunctionDef)]
    return found


# stubtest cannot compare these (see the allowlist), so the parameter lists are compared here.
@pytest.mark.parametrize("module, stub", _stub_functions(), ids=lambda v: getattr(v, "name", v))
def test_stub_parameters_match_runtime(module, stub):
    runtime = inspect.signature(getattr(importlib.import_module(module), stub.name))
    args = stub.args
    kinds = [(a.arg, "POSITIONAL_ONLY") for a in args.posonlyargs] + [
        (a.arg, "POSITIONAL_OR_KEYWORD") for a in args.args
    ]
    kinds += [(a.arg, "KEYWORD_ONLY") for a in args.kwonlyargs]
    assert [(p.name, p.kind.name) for p in runtime.parameters.values()] == kinds
    defaults = len(args.defaults) + sum(d is not None for d in args.kw_defaults)
    assert [p.default is inspect.Parameter.empty for p in runtime.parameters.values()].count(False) == defaults


def test_user_script_runs():
    result = _run([sys.executable, "-P", str(HERE / "user_script.py")], cwd=HERE)
    assert result.returncode == 0 and result.stdout == "ok\n", result.stderr


@pytest.mark.parametrize("checker", ["mypy", "pyright"])
def test_user_script_type_checks_strictly(checker, tmp_path):
    _tool(checker)
    script = tmp_path / "user_script.py"
    shutil.copy(HERE / "user_script.py", script)  # away from the checkout, so the installed package is checked
    if checker == "mypy":
        args = [sys.executable, "-m", "mypy", "--strict", "--cache-dir", str(tmp_path / ".mypy_cache"), str(script)]
    else:
        args = [sys.executable, "-m", "pyright", "--pythonpath", sys.executable, str(script)]
    result = _run(args, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_pyright_finds_every_public_type(tmp_path):
    _tool("pyright")
    result = _run(
        [
            sys.executable,
            "-m",
            "pyright",
            "--pythonpath",
            sys.executable,
            "--outputjson",
            "--verifytypes",
            "kyber_alg",
            "--ignoreexternal",
        ],
        cwd=tmp_path,
    )
    report = json.loads(result.stdout)["typeCompleteness"]
    assert report["completenessScore"] == 1.0, result.stdout
    # pyright's --verifytypes does not resolve a module whose name is all capitals (kyber_alg.sm.SM3:
    # "cannot be resolved", as for any such name); stubtest and the user script's strict checks cover it.
    # It leaves out private modules (kyber_alg._sm2, ...): their public face is the Python module over them.
    resolvable = {m for m in MODULES if not m.rpartition(".")[2].isupper() and not m.rpartition(".")[2].startswith("_")}
    assert resolvable | {"kyber_alg.sm2", "kyber_alg.sm3", "kyber_alg.sm4"} <= {m["name"] for m in report["modules"]}
