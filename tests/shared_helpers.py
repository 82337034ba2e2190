"""Small helpers shared by tests in several folders (tests/conftest.py puts this folder on sys.path)."""

import threading

import pytest


def switched_path(module, path):
    """For a fixture: `yield from switched_path(module, path)` runs the test on that code path of a native
    module (its _set_backend) and restores the one before."""
    before = module._backend()
    module._set_backend(path)
    try:
        yield path
    finally:
        module._set_backend(before)


def code_path_fixture(module, name):
    """A fixture `name` that runs a test once per code path this build and CPU offer in the native module."""

    @pytest.fixture(name=name, params=module._available_backends())
    def fixture(request):
        yield from switched_path(module, request.param)

    return fixture


def run_threads(target, count=4):
    """Runs target(i) in `count` threads at once; re-raises the first exception any of them raised."""
    errors = []

    def guarded(i):
        try:
            target(i)
        except BaseException as e:  # reported in the main thread
            errors.append(e)

    threads = [threading.Thread(target=guarded, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    if errors:
        raise errors[0]
