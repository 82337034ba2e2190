"""`python -m kyber_alg` in the installed package: options, errors, and the ten-line self-test."""

import subprocess
import sys

import pytest

LABELS = [
    "pk:",
    "sk:",
    "cipher1:",
    "cipher2:",
    "sym_key:",
    "sym_iv:",
    "sym_key:",
    "sym_iv:",
    "cipher3(SM4_CBC):",
    "明文：",
]


def run(*args: str) -> subprocess.CompletedProcess[str]:
    return subprocess.run(
        [sys.executable, "-P", "-m", "kyber_alg", *args], capture_output=True, encoding="utf-8", timeout=120
    )


@pytest.mark.parametrize("option", ["--help", "-h"])
def test_help_prints_usage_and_runs_nothing(option):
    result = run(option)
    assert result.returncode == 0
    assert result.stdout.startswith("usage: python -m kyber_alg")
    assert "pk:" not in result.stdout and result.stderr == ""


@pytest.mark.parametrize("args", [["--bogus"], ["run"], ["-h", "extra"], ["-x"]], ids=" ".join)
def test_unknown_arguments_are_refused(args):
    result = run(*args)
    assert result.returncode == 2
    assert result.stdout == ""
    assert result.stderr.startswith("usage: python -m kyber_alg")


def test_no_arguments_runs_one_exchange():
    result = run()
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert [line.split(" ", 1)[0] for line in lines] == LABELS
    values = [line.split(" ", 1)[1] for line in lines]
    assert values[4:6] == values[6:8]  # sender and receiver derived the same key and IV
