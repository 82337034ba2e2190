#!/usr/bin/env bash
# A Debian unstable root with the CPythons this machine's Debian does not package (3.14 and 3.15),
# made with mmdebstrap and kept in a cache folder outside the checkout, so that runs on the same
# machine share it. It is made again when it is missing or when its recipe (the packages and
# make_root_locked below) changed.
#
#   tools/debian-root.sh path               make the root if needed, print its folder
#   tools/debian-root.sh run DIR CMD...     run CMD as root inside it, the checkout's files (the
#                                           tracked and untracked ones, not the ignored) copied to
#                                           DIR inside the root first; DIR is emptied first
#
# KYBER_ALG_ROOT_CACHE picks the cache folder (default /var/cache/kyber-alg). Making the root needs
# mmdebstrap and root privileges; the Debian mirror is the one of this machine's apt configuration.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  python3.14 python3.14-dev python3.14-venv python3.15 python3.15-dev python3.15-venv
  g++ make cmake ninja-build git ca-certificates openssl valgrind binutils
)
cache="${KYBER_ALG_ROOT_CACHE:-/var/cache/kyber-alg}"

# The first deb URI of the machine's apt sources (deb822 .sources or one-line .list files).
debian_mirror() {
  local uri
  uri="$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk '/^URIs:/ { for (i = 2; i <= NF; i++) print $i }' |
    grep -v -e security -e updates | head -n1 || true)"
  [ -n "$uri" ] || uri="$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }' |
    grep -v security | head -n1 || true)"
  [ -n "$uri" ] || { echo "debian-root: no Debian mirror in this machine's apt configuration" >&2; return 1; }
  echo "$uri"
}

# Local folders the machine's pip configuration reads (find-links, file:// indexes, the constraint
# file's folder); they are bind-mounted read-only at the same place, so pip inside reaches the index
# as pip outside does.
pip_folders() {
  python3 -m pip config list 2>/dev/null | sed -E "s/^[^=]*='(.*)'$/\1/" | tr ' ' '\n' |
    sed -E 's#^file://##' | while read -r entry; do
      [ -f "$entry" ] && entry="$(dirname "$entry")"
      # A file:// index (.../simple) links to files beside it: take the repository's whole folder.
      [ "$(basename "$entry")" = simple ] && entry="$(dirname "$entry")"
      [ -d "$entry" ] && case "$entry" in /*) echo "$entry" ;; esac
    done | sort -u
  true
}

make_root() {
  [ -f "$root/.complete" ] && return 0
  mkdir -p "$cache"
  # One run makes the root while the others wait; the lock is let go once it exists.
  exec 9>"$cache/.lock"
  flock 9
  [ -f "$root/.complete" ] || make_root_locked
  exec 9>&-
}

make_root_locked() {
  local mirror partial
  mirror="$(debian_mirror)"
  partial="$root.partial"
  rm -rf --one-file-system "$partial"
  echo "debian-root: making $root from $mirror (a few minutes)" >&2
  mmdebstrap --quiet --variant=apt --include="$(IFS=,; echo "${packages[*]}")" \
    --aptopt='Acquire::Check-Valid-Until "false"' sid "$partial" "$mirror"
  # pip inside uses the same certificates and configuration as outside.
  local bundle file
  bundle="$(python3 -c 'import ssl; print(ssl.get_default_verify_paths().openssl_cafile)')"
  [ -f "${SSL_CERT_FILE:-}" ] && bundle="$SSL_CERT_FILE"
  [ -f "$bundle" ] && install -D -m 0644 "$bundle" "$partial/etc/kyber-alg-ca.pem"
  for file in /etc/pip.conf /etc/xdg/pip/pip.conf /etc/xdg/pip/constraints.txt "$HOME/.config/pip/pip.conf" "$HOME/.pip/pip.conf"; do
    [ -f "$file" ] && install -D -m 0644 "$file" "$partial$file"
  done
  # Old roots of earlier recipes go; this one becomes visible only when complete.
  find "$cache" -maxdepth 1 -name 'sid-*' ! -name "sid-$recipe*" -exec rm -rf --one-file-system {} +
  touch "$partial/.complete"
  mv "$partial" "$root"
}

run_in_root() {
  local dir="$1" mounts=() folder status=0
  shift
  make_root
  rm -rf --one-file-system "${root:?}$dir"
  mkdir -p "$root$dir"
  # The checkout as a fresh clone sees it (with the working tree's changes), without ignored files.
  git ls-files -z --cached --others --exclude-standard | xargs -0 tar -cf - --no-recursion | tar -xf - -C "$root$dir"
  cp -f /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
  mount --rbind /dev "$root/dev" && mounts+=("$root/dev")
  mount -t proc proc "$root/proc" && mounts+=("$root/proc")
  while read -r folder; do
    [ -n "$folder" ] || continue
    mkdir -p "$root$folder"
    mount --bind -o ro "$folder" "$root$folder" && mounts+=("$root$folder")
  done < <(pip_folders)
  local env=(HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM="${TERM:-dumb}")
  if [ -f "$root/etc/kyber-alg-ca.pem" ]; then
    env+=(SSL_CERT_FILE=/etc/kyber-alg-ca.pem PIP_CERT=/etc/kyber-alg-ca.pem REQUESTS_CA_BUNDLE=/etc/kyber-alg-ca.pem)
  fi
  local name
  for name in PIP_FIND_LINKS PIP_DEFAULT_TIMEOUT PIP_DISABLE_PIP_VERSION_CHECK PIP_INDEX_URL PIP_EXTRA_INDEX_URL \
    HTTP_PROXY HTTPS_PROXY NO_PROXY http_proxy https_proxy no_proxy CMAKE_BUILD_PARALLEL_LEVEL KYBER_ALG_EXIT_RUNS; do
    [ -n "${!name:-}" ] && env+=("$name=${!name}")
  done
  chroot "$root" /usr/bin/env -i "${env[@]}" /bin/sh -c 'cd "$0" && exec "$@"' "$dir" "$@" || status=$?
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -R "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true; done
  return "$status"
}

recipe="$( (printf '%s\n' "${packages[@]}" && declare -f make_root_locked) | sha256sum | cut -c1-16)"
root="$cache/sid-$recipe"

case "${1:-}" in
  path) make_root && echo "$root" ;;
  run) shift && run_in_root "$@" ;;
  *) echo "usage: $0 path | run DIR CMD..." >&2 && exit 2 ;;
esac
