"""The code-path functions every native component shares: switching to an unknown or
unavailable path, or with a name that is not a str, is refused and leaves the path as it was."""
import importlib

import pytest

MODULES = ["kyber_alg.Kyber", "kyber_alg._mlkem", "kyber_alg._mldsa", "kyber_alg.sm.SM2", "kyber_alg.sm.SM3", "kyber_alg.sm.sm4", "kyber_alg._sm3",
           "kyber_alg._sm4"]


@pytest.mark.parametrize("module", MODULES)
@pytest.mark.parametrize("name, error", [("avx512", ValueError), ("nope", ValueError), ("", ValueError),
                                         (1, TypeError), (None, TypeError), (b"portable", TypeError)])
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
