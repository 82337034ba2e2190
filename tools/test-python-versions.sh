#!/usr/bin/env bash
# Runs the README's two commands for each supported CPython in a fresh virtual environment: build and
# install, the main job (one full exchange), then build with the test tools and run the suite.
#
#   tools/test-python-versions.sh [--except X.Y] [--whole] [X.Y ...]
#
# Versions default to 3.11 to 3.15. The newest and the oldest of them run the whole suite; the others
# run the sample below (--whole: the whole suite everywhere). An interpreter is found as pythonX.Y on
# PATH or under $(pyenv root)/versions; a version found in neither (3.14 and 3.15 on Debian 12) runs
# inside the Debian unstable root of tools/debian-root.sh, which needs root privileges and mmdebstrap.
set -euo pipefail
cd "$(dirname "$0")/.."

skip=""
whole=0
while [ $# -gt 0 ]; do
  case "$1" in
    --except) skip="$2" && shift 2 ;;
    --whole) whole=1 && shift ;;
    *) break ;;
  esac
done
all=(3.11 3.12 3.13 3.14 3.15)
versions=("$@")
[ ${#versions[@]} -gt 0 ] || versions=("${all[@]}")

# The sample (docs/development.md, "Other CPythons"): every known-answer and standard-example test,
# the equality of the code paths, the round trips and exchanges, and what depends most on the
# interpreter (exit with daemon threads, reference leaks, exported symbols, interpreter checks,
# Velmora's failures and the peers of the interop tests).
SAMPLE=(-k "(vectors or standard_examples or code_path or path_switch or paths_agree or round_trip or roundtrip"\
" or exchange or main_job or exit_with_daemon_threads or reference_leaks or exported_symbols or unwind_tables"\
" or supported_interpreters or sm4_failures or interop or outside_components) and not (test_kyber_ct or test_mlkem_ct"\
" or test_sm_ct or test_sm2_ct)")

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

# The README's two commands with pythonX.Y for python3, then the suite (whole or the sample). The
# build folder is kept between the two installs, so the second one builds incrementally.
readme_commands() {
  local python="$1" scope="$2"
  shift 2
  export SKBUILD_BUILD_DIR=build/readme-commands
  "$python" -m venv .venv && .venv/bin/python -m pip install -q . && .venv/bin/python -P -m kyber_alg >main-job.txt ||
    return 1
  [ "$(wc -l <main-job.txt)" -eq 10 ] && [ "$(sed -n 5,6p main-job.txt)" = "$(sed -n 7,8p main-job.txt)" ] ||
    { echo "unexpected main job output:" >&2; cat main-job.txt >&2; return 1; }
  "$python" -m venv .venv && .venv/bin/python -m pip install -q '.[test]' && .venv/bin/python -P -m pytest -q "$@" ||
    return 1
  echo "$("$python" --version): README commands and the $scope suite passed"
}

# At most two compile jobs: the CI machine has two cores.
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-2}"
# The fresh-venv main-job test would build a second time; the main job runs here instead.
unset KYBER_ALG_VENV_TEST

for version in "${versions[@]}"; do
  [ "$version" = "$skip" ] && continue
  args=("${SAMPLE[@]}") scope=sampled
  if [ "$whole" = 1 ] || [ "$version" = "${all[0]}" ] || [ "$version" = "${all[-1]}" ]; then
    args=() scope=whole
  fi
  started=$SECONDS
  if python="$(find_python "$version")"; then
    echo "== CPython $version ($python), $scope suite"
    work="$(mktemp -d)"
    git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - --no-recursion | tar -xf - -C "$work"
    (cd "$work" && readme_commands "$python" "$scope" "${args[@]}")
    rm -rf "$work"
  else
    echo "== CPython $version (Debian unstable root), $scope suite"
    tools/debian-root.sh run "/build/kyber_alg-$version" bash -c "$(declare -f readme_commands); set -euo pipefail; readme_commands \"\$@\"" \
      readme "python$version" "$scope" "${args[@]}"
  fi
  echo "test-python-versions: CPython $version took $((SECONDS - started)) s"
done
