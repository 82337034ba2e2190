"""The code-path functions every native component shares: switching to an unknown or
unavailable path, or with a name that is not a str, is refused and leaves the path as it was."""

import importlib
import importlib.machinery
import pathlib

import pytest

import kyber_alg


def _native_modules() -> list[str]:
    """Every built module of the installed package that has code paths to switch."""
    root = pathlib.Path(kyber_alg.__file__).parent
    suffixes = sorted(importlib.machinery.EXTENSION_SUFFIXES, key=len, reverse=True)  # the longest first
    names = []
    for path in root.rglob("*.so"):
        suffix = next(s for s in suffixes if path.name.endswith(s))
        name = ".".join(("kyber_alg", *path.relative_to(root).parent.parts, path.name[: -len(suffix)]))
        if hasattr(importlib.import_module(name), "_set_backend"):
            names.append(name)
    return sorted(names)


MODULES = _native_modules()


def test_every_native_component_is_found():
    # The drop-ins and the package's own API alike; a module missing here would escape the checks below.
    assert {
        "kyber_alg.Kyber",
        "kyber_alg._mlkem",
        "kyber_alg._mldsa",
        "kyber_alg.sm.SM2",
        "kyber_alg._sm2",
        "kyber_alg.sm.SM3",
        "kyber_alg._sm3",
        "kyber_alg.sm.sm4",
        "kyber_alg._sm4",
    } <= set(MODULES)


@pytest.mark.parametrize("module", MODULES)
@pytest.mark.parametrize(
    "name, error",
    [
        ("avx512", ValueError),
        ("nope", ValueError),
        ("", ValueError),
        (1, TypeError),
        (None, TypeError),
        (b"portable", TypeError),
    ],
)
def test_bad_code_path_is_refused(module, name, error):
    mod = importlib.import_module(module)
    if name in mod._available_backends():
        pytest.skip(f"{name} is available here")
    before = mod._backend()
    with pytest.raises(error, match="not available" if error is ValueError else "must be str"):
        mod._set_backend(name)
    assert mod._backend() == before


@pytest.mark.parametrize("module", MODULES)
def test_every_available_path_can_be_selected(module):
    mod = importlib.import_module(module)
    before = mod._backend()
    paths = mod._available_backends()
    assert "portable" in paths and before in paths
    try:
        for path in paths:
            mod._set_backend(path)
            assert mod._backend() == path
    finally:
        mod._set_backend(before)
