import sys
from pathlib import Path

import pytest
from hypothesis import HealthCheck, settings

# Properties are checked for what they compute, never for how fast: a loaded
# machine must not turn a slow example into a failure.
settings.register_profile("kyber_alg", deadline=None, suppress_health_check=[HealthCheck.too_slow])
settings.load_profile("kyber_alg")

# Lets test modules import the small shared helpers that live beside them.
sys.path.insert(0, str(Path(__file__).resolve().parent))

from read_guard import ReadGuard  # noqa: E402

_guard = ReadGuard()


# The groups that take most of the suite's time (type checkers, valgrind, fresh venvs and builds,
# leak and exit checks in fresh interpreters, property and thread stress tests) are marked slow:
# `pytest -m "not slow"` leaves them out for a quick first check.
SLOW_MODULES = {
    "test_typing",
    "test_reference_leaks",
    "test_exit_with_daemon_threads",
    "test_main_job",
    "test_supported_interpreters",
    "test_docs_examples",
    "test_kyber_ct",
    "test_mlkem_ct",
    "test_sm_ct",
    "test_sm2_ct",
    "test_sm2_native",
    "test_thread_stress",
    "test_kyber_properties",
    "test_velmora_properties",
}
SLOW_TESTS = {"test_one_gib_file_in_constant_memory"}


def pytest_collection_modifyitems(config, items):
    for item in items:
        if item.path.stem in SLOW_MODULES or item.originalname in SLOW_TESTS:
            item.add_marker(pytest.mark.slow)


def pytest_collectstart(collector):
    _guard.armed = True


def pytest_collection_finish(session):
    _guard.armed = False
    outside = _guard.take()
    if outside:
        raise pytest.UsageError("collecting the tests opened files outside the repository: " + ", ".join(outside))


@pytest.fixture(autouse=True)
def _no_reads_outside_repository():
    _guard.take()
    _guard.armed = True
    yield
    _guard.armed = False
    outside = _guard.take()
    assert not outside, f"the test opened files outside the repository: {outside}"


@pytest.fixture
def read_guard():
    """The suite's own guard, for the test that checks it notices outside reads."""
    return _guard
