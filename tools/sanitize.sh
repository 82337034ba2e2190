#!/usr/bin/env bash
# Builds both extensions with AddressSanitizer and UndefinedBehaviorSanitizer
# and runs the test suite (or the pytest arguments given) against that build.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/sanitize"
stage="$build/stage"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKYBER_ALG_SANITIZE=ON >/dev/null
cmake --build "$build" -j2

# A package folder holding the Python files and the sanitized modules.
rm -rf "$stage" && mkdir -p "$stage/kyber_alg"
cp "$root"/kyber_alg/*.py "$root"/kyber_alg/*.pyi "$root/kyber_alg/py.typed" "$stage/kyber_alg/"
find "$build" -name '*.so' -path '*kyber_alg*' ! -path '*kyber_alg/sm[0-9]/*' -exec cp {} "$stage/kyber_alg/" \;
# The SM modules live in the kyber_alg.sm subpackage.
mkdir -p "$stage/kyber_alg/sm"
cp "$root"/kyber_alg/sm/*.py "$root"/kyber_alg/sm/*.pyi "$stage/kyber_alg/sm/"
find "$build" -name '*.so' -path '*kyber_alg/sm[0-9]/*' -exec cp {} "$stage/kyber_alg/sm/" \;

# The interpreter itself is not instrumented, so the runtimes are preloaded.
# Leak detection is off: CPython keeps many objects alive until exit by design;
# reference leaks are checked separately by bench/leaks.py.
export LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libubsan.so)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export PYTHONPATH="$stage${PYTHONPATH:+:$PYTHONPATH}"
cd "$root"
# The constant-time test runs its own driver under valgrind, which cannot run
# beside the preloaded sanitizer runtimes; it is left to the ordinary run.
if [ $# -eq 0 ]; then set -- tests --ignore=tests/kyber/test_kyber_ct.py --ignore=tests/sm/test_sm_ct.py --ignore=tests/sm/test_sm2_ct.py; fi
python3 -P -m pytest -p no:cacheprovider "$@"
