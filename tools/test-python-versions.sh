#!/usr/bin/env bash
# Builds the checkout into a fresh virtual environment for each supported
# CPython and runs what the README's two commands run there: the main job,
# then the whole test suite.
#
#   tools/test-python-versions.sh [--except X.Y] [X.Y ...]
#
# Versions default to 3.11 3.12 3.13. Each interpreter is found as pythonX.Y
# on PATH or under $(pyenv root)/versions; a missing one fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

skip=""
if [ "${1:-}" = "--except" ]; then
  skip="$2"
  shift 2
fi
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=(3.11 3.12 3.13)

find_python() {
  local version="$1" candidate
  for candidate in "$(command -v "python$version" 2>/dev/null || true)" \
    $(ls -d "$(pyenv root 2>/dev/null || echo /nonexistent)"/versions/"$version".*/bin/python 2>/dev/null | sort -V); do
    if [ -x "$candidate" ] && "$candidate" -c "import sys; sys.exit(sys.version_info[:2] != tuple(map(int, '$version'.split('.'))))" 2>/dev/null; then
      echo "$candidate"
      return 0
    fi
  done
  return 1
}

# At most two compile jobs: the CI machine has two cores.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
# The fresh-venv main-job test would build a second time; the main job runs here instead.
unset KYBER_ALG_VENV_TEST

for version in "${versions[@]}"; do
  [ "$version" = "$skip" ] && continue
  python="$(find_python "$version")" || { echo "test-python-versions: no CPython $version found" >&2; exit 1; }
  work="$(mktemp -d)"
  echo "== CPython $version ($python)"
  "$python" -m venv "$work/venv"
  (
    # shellcheck disable=SC1091
    . "$work/venv/bin/activate"
    python -m pip install -q --upgrade pip
    # One build serves both commands: '.[test]' is '.' plus the test tools.
    python -m pip install -q '.[test]'
    python -P -m kyber_alg >"$work/main-job.txt"
    [ "$(wc -l <"$work/main-job.txt")" -eq 10 ] || { cat "$work/main-job.txt"; exit 1; }
    python -P -m pytest -q
  )
  rm -rf "$work"
done
