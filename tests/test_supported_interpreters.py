"""The build accepts CPython 3.11 to 3.15 with the GIL and refuses, with a
clear message, older interpreters and free-threaded builds (configure step only)."""

import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[1]
TOOLS = os.pathsep.join([str(Path(sys.executable).parent), os.environ.get("PATH", "")])
CMAKE = shutil.which("cmake", path=TOOLS)
NINJA = shutil.which("ninja", path=TOOLS)
pytestmark = pytest.mark.skipif(not (CMAKE and NINJA), reason="cmake and ninja are needed to configure the build")

# Makes an interpreter report itself as a free-threaded build to sysconfig.
FREE_THREADED_SITE = """
import sysconfig
_real = sysconfig.get_config_var
sysconfig.get_config_var = lambda name: 1 if name == "Py_GIL_DISABLED" else _real(name)
"""


def older_python():
    pyenv_versions = Path(os.environ.get("PYENV_ROOT", Path.home() / ".pyenv")) / "versions"
    candidates = [shutil.which(name) for name in ("python3.10", "python3.9")]
    candidates += sorted(str(p) for p in pyenv_versions.glob("3.*/bin/python"))
    for found in filter(None, candidates):
        older = subprocess.run(
            [found, "-c", "import sys; sys.exit(not (3, 6) <= sys.version_info < (3, 11))"], capture_output=True
        )
        if older.returncode == 0:
            return found
    return None


def configure(tmp_path, python, extra_env=None):
    env = dict(os.environ, PATH=TOOLS, **(extra_env or {}))
    return subprocess.run(
        [
            CMAKE,
            "-S",
            str(ROOT),
            "-B",
            str(tmp_path / "build"),
            "-G",
            "Ninja",
            f"-DCMAKE_MAKE_PROGRAM={NINJA}",
            f"-DPython_EXECUTABLE={python}",
        ],
        capture_output=True,
        text=True,
        env=env,
        timeout=300,
    )


@pytest.mark.parametrize("case", ["this interpreter", "free-threaded", "older"])
def test_configure_accepts_or_refuses_the_interpreter(tmp_path, case):
    python, env = sys.executable, None
    if case == "free-threaded":
        site = tmp_path / "site"
        site.mkdir()
        (site / "sitecustomize.py").write_text(FREE_THREADED_SITE)
        env = {"PYTHONPATH": str(site)}
    if case == "older":
        python = older_python()
        if python is None:
            pytest.skip("no CPython older than 3.11 on PATH or under pyenv")
    result = configure(tmp_path, python, env)
    message = " ".join(result.stderr.split())
    if case == "this interpreter":
        assert result.returncode == 0, result.stderr
    elif case == "free-threaded":
        assert result.returncode != 0 and "free-threaded CPython builds" in message and "are not supported" in message
    else:
        assert result.returncode != 0 and "builds for CPython 3.11 to 3.15" in message
