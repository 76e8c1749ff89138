#!/usr/bin/env bash
# Installs what the build and the tests need from Debian's packages, once, and the packages
# named as arguments (what a benchmark adds). Quiet and idempotent: a machine that has
# everything pays one dpkg query.
set -eu

packages=(
  cmake ninja-build
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine64 xvfb xauth
  googletest
  clang libclang-rt-14-dev
  python3
  imagemagick x11-utils
  "$@"
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "bootstrap: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq >/dev/null
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
