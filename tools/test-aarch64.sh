#!/usr/bin/env bash
# The aarch64 stage of CI, on an x86-64 Debian machine: cross-builds the wheel
# (tools/build-wheel.sh --arch aarch64), installs it with pip into a venv of an
# arm64 CPython run by qemu-user-static, and under two CPU models runs the main
# job and a sample of the suite: every algorithm's known-answer vectors, the
# code-path tests and the round trips. QEMU_CPU=max has PMULL, SHA3, SM3 and
# SM4 (the instruction paths are chosen); cortex-a72 has none of SHA3, SM3 and
# SM4 (the fallbacks are).
#
# The arm64 CPython is not a whole Debian root: its packages and the libraries
# they need are fetched with apt-get download and unpacked with dpkg -x, and
# the test dependencies come as aarch64 wheels. Both are kept in a cache folder
# outside the checkout, so later runs set up in seconds.
#
#   tools/test-aarch64.sh [--wheel FILE] [--cpu MODEL]... [pytest arguments]
#   KYBER_ALG_CACHE_DIR (default /var/cache/kyber-alg, else ~/.cache/kyber-alg): where the cache lives.
set -euo pipefail
cd "$(dirname "$0")/.."
repo="$(pwd)"
started=$SECONDS

wheel=""
cpus=()
while [ $# -gt 0 ]; do
  case "$1" in
    --wheel) wheel="$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"; shift 2 ;;
    --cpu) cpus+=("$2"); shift 2 ;;
    *) break ;;
  esac
done
[ ${#cpus[@]} -gt 0 ] || cpus=(max cortex-a72)

cache="${KYBER_ALG_CACHE_DIR:-/var/cache/kyber-alg}"
mkdir -p "$cache" 2>/dev/null && [ -w "$cache" ] || cache="${XDG_CACHE_HOME:-$HOME/.cache}/kyber-alg"
cache="$cache/aarch64"
mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9  # one run at a time sets up the cache

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# --- the emulator -----------------------------------------------------------
if ! command -v qemu-aarch64-static >/dev/null 2>&1 || ! command -v update-binfmts >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq qemu-user-static binfmt-support >/dev/null
fi
# binfmt_misc runs aarch64 programs that the emulated ones start (pip, the
# venv, tests that run a fresh interpreter) through the same emulator.
[ -e /proc/sys/fs/binfmt_misc/status ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
[ -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ] || update-binfmts --enable qemu-aarch64

# --- an arm64 CPython, unpacked from Debian's packages ----------------------
packages=(python3.11-minimal libpython3.11-minimal libpython3.11-stdlib python3.11 python3.11-venv
  libc6 libssl3 libffi8 zlib1g libexpat1 libbz2-1.0 liblzma5 libsqlite3-0 libncursesw6 libtinfo6 libreadline8
  libuuid1 libdb5.3 libgdbm6 libcrypt1 libnsl2 libtirpc3 libgcc-s1 libstdc++6 libgssapi-krb5-2 libkrb5-3
  libk5crypto3 libcom-err2 libkrb5support0 libkeyutils1)
all_packages=(python3-pip-whl python3-setuptools-whl media-types)
key="$(printf '%s\n' "${packages[@]}" "${all_packages[@]}" | sha256sum | cut -c1-16)"
root="$cache/root-$key"
if [ ! -e "$root/.complete" ]; then
  echo "aarch64: unpacking an arm64 CPython into $root"
  if ! dpkg --print-foreign-architectures | grep -qx arm64; then
    dpkg --add-architecture arm64
  fi
  apt-get update -qq
  rm -rf "$root" "$cache/debs"
  mkdir -p "$cache/debs"
  (cd "$cache/debs" && apt-get download -qq "${packages[@]/%/:arm64}" "${all_packages[@]}")
  mkdir -p "$root.partial"
  for deb in "$cache"/debs/*.deb; do dpkg -x "$deb" "$root.partial"; done
  rm -rf "$cache/debs"
  touch "$root.partial/.complete"
  mv "$root.partial" "$root"
fi
export QEMU_LD_PREFIX="$root"
python_arm64="$root/usr/bin/python3.11"

# --- the test dependencies, as aarch64 wheels ---------------------------------
# gmssl-pyx has no aarch64 wheel; the tests that use it are not in the sample.
requirements=(pytest hypothesis kyber-py==1.2.0 cryptography snowland-smx==1.1.0 gmssl==3.2.2)
key="$(printf '%s\n' "${requirements[@]}" | sha256sum | cut -c1-16)"
deps="$cache/deps-$key"
if [ ! -e "$deps/.complete" ]; then
  echo "aarch64: fetching the test dependencies into $deps"
  rm -rf "$deps" "$deps.partial"
  python3 -m pip install -q --target "$deps.partial" --platform manylinux2014_aarch64 --only-binary=:all: \
    --python-version 3.11 "${requirements[@]}"
  touch "$deps.partial/.complete"
  mv "$deps.partial" "$deps"
fi
echo "aarch64: set up at $((SECONDS - started)) s"

# --- the wheel, installed with pip in a fresh arm64 venv --------------------
if [ -z "$wheel" ]; then
  tools/build-wheel.sh --arch aarch64 "$work/dist"
  wheel="$(ls "$work"/dist/kyber_alg-*manylinux*_aarch64.whl)"
  echo "aarch64: wheel built at $((SECONDS - started)) s"
fi
"$python_arm64" -m venv --without-pip "$work/venv"
venv_python="$work/venv/bin/python"
# pip runs from Debian's pip wheel inside the venv (no ensurepip round trip).
pip_wheel="$(ls "$root"/usr/share/python-wheels/pip-*.whl)"
"$venv_python" "$pip_wheel/pip" install -q --no-cache-dir --disable-pip-version-check "$wheel"
site="$("$venv_python" -c 'import sysconfig; print(sysconfig.get_paths()["purelib"])')"
# The suite reads only the checkout and the running Python's own trees: the
# test dependencies go into the venv.
cp -r "$deps"/. "$site"/
rm -f "$site/.complete"
echo "aarch64: installed at $((SECONDS - started)) s"

# --- under each CPU model -----------------------------------------------------
# The sample: known-answer vectors of every algorithm (each on every code
# path; ML-KEM's through kyber_alg._mlkem, on the same core as kyber_alg.Kyber),
# the code-path switch, the round trips of the hybrid and Velmora.
sample=(
  tests/test_code_path_switch.py
  tests/sm/test_sm3.py tests/sm/test_sm4.py tests/sm3_sm4/test_sm3_sm4_vectors.py
  tests/sm2/test_sm2_standard_examples.py tests/sm/test_sm2_vectors.py
  tests/mlkem/test_mlkem_vectors.py
  tests/hybrid/test_hybrid_vectors.py tests/velmora/test_velmora_exchange.py
)
for cpu in "${cpus[@]}"; do
  export QEMU_CPU="$cpu"
  (cd "$work" && "$venv_python" -P -m kyber_alg) > "$work/main-job.txt"
  labels="$(cut -d' ' -f1 "$work/main-job.txt" | tr '\n' ' ')"
  expected='pk: sk: cipher1: cipher2: sym_key: sym_iv: sym_key: sym_iv: cipher3(SM4_CBC): 明文： '
  [ "$labels" = "$expected" ] || { echo "unexpected main job output:" >&2; cat "$work/main-job.txt" >&2; exit 1; }
  [ "$(sed -n 5,6p "$work/main-job.txt")" = "$(sed -n 7,8p "$work/main-job.txt")" ] || { echo "key or IV differ" >&2; exit 1; }
  # The best path this CPU model runs is the one chosen.
  (cd "$work" && "$venv_python" -P - "$cpu") <<'PY'
import sys
from kyber_alg import Kyber
from kyber_alg.sm import SM2, SM3, sm4
paths = {m.__name__: (m._backend(), m._available_backends()) for m in (Kyber, SM2, SM3, sm4)}
print(f"aarch64 ({sys.argv[1]}):", paths)
for name, (chosen, available) in paths.items():
    assert chosen == available[-1], (name, chosen, available)
if sys.argv[1] == "max":
    assert paths["kyber_alg.sm.SM3"][0] == "smce" and paths["kyber_alg.sm.sm4"][0] == "smce", paths
    assert paths["kyber_alg.Kyber"][0] == "sha3", paths
PY
  # SM4's one-million-encryption example is one long serial chain, a minute
  # emulated on the paths without the SM4 instructions: each path runs it once
  # (portable and smce under max, pmull under cortex-a72; neon is pmull's SM4).
  if [ "$cpu" = max ]; then
    only=(-k "not (one_million_encryptions and (neon or pmull))")
  else
    only=(-k "not (one_million_encryptions and not pmull)")
  fi
  (cd "$repo" && "$venv_python" -P -m pytest -q -p no:cacheprovider "${sample[@]}" "${only[@]}" "$@")
  echo "aarch64: QEMU_CPU=$cpu done at $((SECONDS - started)) s"
done
