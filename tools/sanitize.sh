#!/usr/bin/env bash
# Builds every native module with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the test suite (or the pytest arguments given) against that build.
# Fails when a test fails or when any process of the run (subprocesses of the
# tests included) wrote a sanitizer report.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/sanitize"
stage="$build/stage"
reports="$build/reports"
python="${PYTHON:-python3}"

if ! command -v cmake >/dev/null 2>&1 || ! command -v ninja >/dev/null 2>&1; then
  "$python" -m pip install -q cmake ninja
fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKYBER_ALG_SANITIZE=ON \
  -DPython_EXECUTABLE="$(command -v "$python")" >/dev/null
cmake --build "$build" -j2

# The package as a wheel would hold it: every Python file, stub and marker of
# kyber_alg/ in its folder, and every module where its install rule puts it.
rm -rf "$stage" "$reports" && mkdir -p "$stage" "$reports"
(cd "$root" && find kyber_alg \( -name '*.py' -o -name '*.pyi' -o -name py.typed \) -print0 |
  xargs -0 cp --parents -t "$stage")
cmake --install "$build" --prefix "$stage" >/dev/null
modules="$(cd "$stage" && find kyber_alg -name '*.so' | sort)"
echo "sanitized modules:" $modules

# The interpreter itself is not instrumented, so the runtimes are preloaded.
# Leak detection is off: CPython keeps many objects alive until exit by design;
# reference leaks are checked by tests/leak_check.py. Every report goes to a
# file under $reports (one per process), so reports from subprocesses count too.
export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:log_path=$reports/ubsan"
export PYTHONPATH="$stage${PYTHONPATH:+:$PYTHONPATH}"
# Tests too slow for a sanitizer build (the 1 GiB command-line run) skip themselves on this.
export KYBER_ALG_SANITIZED=1
cd "$root"

# The reports must reach $reports: an invalid read in this process has to leave one.
{ "$python" -c 'import ctypes; ctypes.string_at(1)' >/dev/null 2>&1 || true; } 2>/dev/null
if [ -z "$(ls "$reports")" ]; then
  echo "sanitize.sh: the AddressSanitizer runtime did not report a bad read" >&2
  exit 1
fi
rm -f "$reports"/*

# The constant-time tests run their own drivers under valgrind, which cannot run
# beside the preloaded sanitizer runtimes; they are left to the ordinary run.
if [ $# -eq 0 ]; then set -- tests; fi
for ct_test in "$root"/tests/*/test_*_ct.py; do set -- --ignore="${ct_test#"$root"/}" "$@"; done
status=0
"$python" -P -m pytest -p no:cacheprovider "$@" || status=$?
if [ -n "$(ls "$reports")" ]; then
  echo "sanitize.sh: sanitizer reports:" >&2
  for report in "$reports"/*; do echo "== $report" >&2; head -60 "$report" >&2; done
  status=1
fi
exit $status
