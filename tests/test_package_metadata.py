"""The installed distribution says what it is: one version everywhere, its licence, its classifiers."""

from importlib import metadata

import pytest

import kyber_alg

DIST = metadata.distribution("kyber_alg")


def test_version_has_one_source():
    assert kyber_alg.__version__ == DIST.version


@pytest.mark.parametrize(
    "field, expected",
    [
        ("License-Expression", "Apache-2.0"),
        ("License-File", "LICENSE"),
        ("Classifier", "Operating System :: POSIX :: Linux"),
        ("Classifier", "Programming Language :: C++"),
        ("Classifier", "Programming Language :: Python :: 3.11"),
        ("Classifier", "Topic :: Security :: Cryptography"),
    ],
)
def test_metadata_field(field, expected):
    assert expected in (DIST.metadata.get_all(field) or [])


def test_licence_text_ships_with_the_wheel():
    licence = next(f for f in DIST.files or [] if f.name == "LICENSE")
    assert "Apache License" in licence.read_text() and "Version 2.0, January 2004" in licence.read_text()
