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
